#pragma once

#include <QCoreApplication>
#include <QString>
#include <exception>
#include <functional>

namespace kolvane {

// Where the application object hands errors that escaped an event or timer handler.
class ErrorHandlerSlot {
 public:
  using Handler = std::function<void(const QObject* sender, const QString& message)>;
  void setErrorHandler(Handler handler) { handler_ = std::move(handler); }

 protected:
  void report(const QObject* sender, const QString& message) {
    if (handler_) handler_(sender, message);
  }

 private:
  Handler handler_;
};

// The application object (QCoreApplication headless, QApplication with windows) whose event
// dispatch catches any error escaping an event or timer handler and hands it on, instead of
// ending the program.
template <class App>
class ErrorCatchingApp : public App, public ErrorHandlerSlot {
 public:
  ErrorCatchingApp(int& argc, char** argv) : App(argc, argv) {}

  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return App::notify(receiver, event);
    } catch (const std::exception& e) {
      report(receiver, QString::fromLocal8Bit(e.what()));
    } catch (...) {
      report(receiver, QStringLiteral("unknown error"));
    }
    return false;
  }
};

}  // namespace kolvane
