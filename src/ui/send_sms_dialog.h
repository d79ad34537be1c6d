#pragma once

#include <QPlainTextEdit>
#include <QWidget>

class QLabel;
class QLineEdit;
class QPushButton;

namespace kolvane {
class Gateway;
}

namespace kolvane::ui {

// The SMS text field: Backspace, Enter and the characters from space to "}" only, however
// they arrive, at most 160 characters (a line break counts as CR LF).
class SmsTextEdit : public QPlainTextEdit {
  Q_OBJECT

 public:
  static constexpr int kMaxLength = 160;
  explicit SmsTextEdit(QWidget* parent);
  // The text with CR LF line breaks, as it is counted and sent.
  QString smsText() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void insertFromMimeData(const QMimeData* source) override;

 private:
  void insertFiltered(const QString& text);
  void filterChange(int position, int removed, int added);

  bool filtering_ = false;
};

// True for the characters the text field takes.
bool smsTextAccepts(QChar c);

// The send-SMS dialog fSiSend: one typed SMS becomes a job of the mail store, sent like any
// other by the next relation.
class TfSiSend : public QWidget {
  Q_OBJECT

 public:
  explicit TfSiSend(Gateway& gateway, QWidget* parent = nullptr);

  // Restores the placement, empties both fields and updates the status.
  void showDialog();
  // Captions in the language in force.
  void applyLanguage();
  // Keeps the placement while the dialog is open (the shutdown saves it).
  void keepPlacement();

 protected:
  void hideEvent(QHideEvent* event) override;

 private:
  void updateStatus();
  void send();

  Gateway& g_;
  QLabel* telLabel_ = nullptr;
  QLineEdit* telNo_ = nullptr;
  SmsTextEdit* text_ = nullptr;
  QPushButton* send_ = nullptr;
  QLabel* counter_ = nullptr;
  QLabel* state_ = nullptr;
};

}  // namespace kolvane::ui
