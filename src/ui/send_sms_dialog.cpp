#include "ui/send_sms_dialog.h"

#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QStatusBar>
#include <QTextDocument>
#include <QVBoxLayout>

#include "core/gateway.h"
#include "core/local_sms.h"
#include "settings/caption_texts.h"
#include "ui/svg_pixmap.h"
#include "ui/window_placement.h"

namespace kolvane::ui {

namespace {

const QString kCrLf = QStringLiteral("\r\n");

}  // namespace

bool smsTextAccepts(QChar c) {
  // Any printable character: letters beyond ASCII go out whole as UCS-2. "~" stays refused.
  return c.unicode() >= 32 && c != QLatin1Char('~') && c.isPrint() && !c.isSurrogate();
}

SmsTextEdit::SmsTextEdit(QWidget* parent) : QPlainTextEdit(parent) {
  setObjectName(QStringLiteral("MeText"));
  // Keys and pastes are filtered before they arrive; whatever else changes the text (an input
  // method's composed letters, a drop, a program) is filtered here.
  connect(document(), &QTextDocument::contentsChange, this, &SmsTextEdit::filterChange);
}

void SmsTextEdit::filterChange(int position, int /*removed*/, int added) {
  if (filtering_ || added <= 0) return;
  filtering_ = true;
  QTextDocument* doc = document();
  const auto removeAt = [doc](int at) {
    QTextCursor c(doc);
    c.setPosition(at);
    c.setPosition(at + 1, QTextCursor::KeepAnchor);
    c.removeSelectedText();
  };
  // The last character of a document is its closing block end, never part of the text.
  int end = std::min(position + added, doc->characterCount() - 1);
  for (int at = end - 1; at >= position; --at) {
    const QChar c = doc->characterAt(at);
    if (c == QChar::ParagraphSeparator || smsTextAccepts(c)) continue;
    removeAt(at);
    --end;
  }
  // Over the limit: what came last goes.
  while (end > position && smsText().size() > kMaxLength) removeAt(--end);
  filtering_ = false;
}

QString SmsTextEdit::smsText() const {
  return toPlainText().replace(QLatin1Char('\n'), kCrLf);
}

void SmsTextEdit::insertFiltered(const QString& text) {
  qsizetype room = kMaxLength - smsText().size() + textCursor().selectedText().size();
  QString kept;
  for (const QChar c : text) {
    const bool lineBreak = c == QLatin1Char('\n') || c == QLatin1Char('\r');
    if (c == QLatin1Char('\r') || !(lineBreak || smsTextAccepts(c))) continue;
    const qsizetype cost = lineBreak ? 2 : 1;
    if (cost > room) break;
    room -= cost;
    kept += c;
  }
  if (!kept.isEmpty()) insertPlainText(kept);
}

void SmsTextEdit::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  const bool editing = key == Qt::Key_Backspace || key == Qt::Key_Delete || key == Qt::Key_Left ||
                       key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down ||
                       key == Qt::Key_Home || key == Qt::Key_End || key == Qt::Key_PageUp ||
                       key == Qt::Key_PageDown || key == Qt::Key_Tab || key == Qt::Key_Backtab;
  if (editing || event->matches(QKeySequence::Copy) || event->matches(QKeySequence::SelectAll) ||
      event->matches(QKeySequence::Undo) || event->matches(QKeySequence::Redo) ||
      event->matches(QKeySequence::Cut)) {
    QPlainTextEdit::keyPressEvent(event);
    return;
  }
  if (event->matches(QKeySequence::Paste)) {
    QPlainTextEdit::keyPressEvent(event);  // goes through insertFromMimeData
    return;
  }
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    insertFiltered(QStringLiteral("\n"));
    return;
  }
  // Everything else is typed text: only what the set holds gets through.
  insertFiltered(event->text());
}

void SmsTextEdit::insertFromMimeData(const QMimeData* source) {
  if (source->hasText()) insertFiltered(source->text());
}

TfSiSend::TfSiSend(Gateway& gateway, QWidget* parent) : QWidget(parent, Qt::Window), g_(gateway) {
  setObjectName(QStringLiteral("fSiSend"));
  setWindowIcon(svgIcon(QStringLiteral("app")));
  auto* column = new QVBoxLayout(this);
  telLabel_ = new QLabel(this);
  telLabel_->setObjectName(QStringLiteral("LaTelNo"));
  telNo_ = new QLineEdit(this);
  telNo_->setObjectName(QStringLiteral("EdTelNo"));
  // Typed and pasted alike: "+" and digits only.
  telNo_->setValidator(
      new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[+0-9]*")), telNo_));
  text_ = new SmsTextEdit(this);
  send_ = new QPushButton(this);
  send_->setObjectName(QStringLiteral("BtSend"));
  auto* bar = new QStatusBar(this);
  bar->setObjectName(QStringLiteral("StatusBar"));
  bar->setSizeGripEnabled(false);
  counter_ = new QLabel(bar);
  counter_->setObjectName(QStringLiteral("StatusBar_0"));
  state_ = new QLabel(bar);
  state_->setObjectName(QStringLiteral("StatusBar_1"));
  bar->addWidget(counter_);
  bar->addWidget(state_, 1);
  column->addWidget(telLabel_);
  column->addWidget(telNo_);
  column->addWidget(text_, 1);
  column->addWidget(send_);
  column->addWidget(bar);
  column->setContentsMargins(8, 8, 8, 0);

  connect(telNo_, &QLineEdit::textChanged, this, &TfSiSend::updateStatus);
  connect(text_, &QPlainTextEdit::textChanged, this, &TfSiSend::updateStatus);
  connect(send_, &QPushButton::clicked, this, &TfSiSend::send);
  applyLanguage();
  resize(380, 240);
  updateStatus();
}

void TfSiSend::applyLanguage() {
  const Language& language = g_.language();
  telLabel_->setText(captionText(language, objectName(), telLabel_->objectName()));
  send_->setText(captionText(language, objectName(), send_->objectName()));
  setWindowTitle(captionText(language, objectName(), QLatin1String(kCaptionTitle)));
}

void TfSiSend::showDialog() {
  if (!isVisible()) restorePlacement(*this, g_.state(), objectName());
  telNo_->clear();
  text_->clear();
  updateStatus();
  show();
  raise();
  activateWindow();
}

void TfSiSend::keepPlacement() {
  ui::keepPlacement(*this, g_.state(), objectName());
}

void TfSiSend::hideEvent(QHideEvent* event) {
  keepPlacement();
  QWidget::hideEvent(event);
}

void TfSiSend::updateStatus() {
  const qsizetype length = text_->smsText().size();
  counter_->setText(QStringLiteral(" %1 / %2")
                        .arg(length, 3, 10, QLatin1Char('0'))
                        .arg(SmsTextEdit::kMaxLength - length, 3, 10, QLatin1Char('0')));
  send_->setEnabled(length >= 1 && telNo_->text().size() > 4);
  state_->setText(g_.Text(95));
}

void TfSiSend::send() {
  if (!send_->isEnabled()) return;
  const LocalSmsResult result = StoreLocalSms(
      g_, {telNo_->text().toLatin1(), QByteArrayLiteral("Kolvane send SMS"), text_->smsText()});
  // A store that cannot be written, or a text that would not arrive whole, must not look like
  // a sent SMS.
  switch (result.outcome) {
    case LocalSmsResult::Stored:
      state_->setText(g_.Text(96));
      break;
    case LocalSmsResult::Refused:
      state_->setText(result.reason);
      break;
    case LocalSmsResult::Held:  // only for a caller that keeps the text itself
    case LocalSmsResult::Failed:
      state_->setText(g_.Text(121).replace(QLatin1String("%s"), QLatin1String(files::kSmtpTmp)));
      break;
  }
}

}  // namespace kolvane::ui
