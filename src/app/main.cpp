// Kolvane, the program with windows. Without a display, or with --headless, it runs the
// gateway as the service program kolvaned does.
#include <QApplication>
#include <QMessageBox>
#include <memory>

#include "app/gateway_run.h"
#include "context/startup_options.h"
#include "core/gateway.h"
#include "core/service_probe.h"
#include "install/setup_program.h"
#include "platform/display_probe.h"
#include "ui/service_notice.h"
#include "ui/windows.h"

namespace {

using kolvane::app::printLine;

class WindowFront final : public kolvane::app::Front {
 public:
  // The window program without --dir beside the system service starts no second gateway: it
  // says so, in the language of the user's settings, with the service's status where readable.
  bool yieldsToService(const kolvane::StartupOptions& options) override {
    const kolvane::ServiceProbe service = kolvane::probeSystemService();
    if (!service.running) return false;
    const kolvane::Language language =
        kolvane::app::folderLanguage(kolvane::resolveProgramDir(options));
    printLine(stderr, QStringLiteral("Kolvane: the service runs on %1; no second gateway starts")
                          .arg(service.folder));
    kolvane::ui::showServiceNotice(service.folder, service.status, language);
    return true;
  }

  void attach(kolvane::Gateway& gateway) override {
    // Hidden to the tray, the program still runs; it ends with the gateway.
    QGuiApplication::setQuitOnLastWindowClosed(false);
    windows_ = std::make_unique<kolvane::ui::Windows>(gateway);
  }

  void show() override { windows_->showMainWindow(); }

  void anotherCopyRuns(const QString& text) override {
    QMessageBox::warning(nullptr, QStringLiteral("Kolvane"), text);
  }

  void detach() override { windows_.reset(); }

 private:
  std::unique_ptr<kolvane::ui::Windows> windows_;
};

}  // namespace

int main(int argc, char** argv) {
  kolvane::CommandLine cl;
  if (const auto rc = kolvane::app::startProgram(argc, argv, cl)) return *rc;
  // Installer and uninstaller copy: a widget application of their own.
  if (kolvane::install::isSetupRun(argc, argv)) return kolvane::install::runSetup(argc, argv);

  using kolvane::app::runOn;
  if (cl.headless) return runOn<QCoreApplication>(argc, argv, cl);
  const kolvane::DisplayProbe display = kolvane::probeDisplay();
  if (display.usable) {
    return runOn<QApplication>(argc, argv, cl, [] { return std::make_unique<WindowFront>(); });
  }
  // A display that is named but does not answer is worth a line; none named is a plain service.
  const QString why = display.problem.isEmpty()
                          ? QString()
                          : display.problem + QStringLiteral(": running without windows");
  return runOn<QCoreApplication>(argc, argv, cl, {}, why);
}
