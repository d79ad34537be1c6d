#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTextBlock>
#include <QTextCursor>

#include "context/settings_loader.h"
#include "core/gateway.h"
#include "settings/caption_texts.h"
#include "settings/language_refresh.h"
#include "ui/lamp_image.h"
#include "ui/main_window.h"
#include "ui/serial_port_picker.h"
#include "ui/svg_pixmap.h"

namespace kolvane::ui {

namespace {

void showOnly(QWidget& window, const QString& name, bool visible) {
  if (auto* w = window.findChild<LampImage*>(name)) w->setVisible(visible);
}

void showServerBits(QWidget& window, QLabel& label, const QString& prefix, std::uint8_t bits) {
  QPalette pal = label.palette();
  pal.setColor(QPalette::WindowText,
               (bits & kLampListening)
                   ? QColor(Qt::black)
                   : window.palette().color(QPalette::Disabled, QPalette::WindowText));
  label.setPalette(pal);
  const bool store = bits & kLampStore;
  const bool client = bits & kLampClient;
  showOnly(window, prefix + QStringLiteral("TmpOn"), store);
  showOnly(window, prefix + QStringLiteral("TmpOff"), !store);
  showOnly(window, prefix + QStringLiteral("CliOn"), client);
  showOnly(window, prefix + QStringLiteral("CliOff"), !client);
}

}  // namespace

void TFMain::StBPanelSet() {
  GatewayState& gs = g_.state();
  const LampState& lamps = gs.Lamps;
  showOnly(*this, QStringLiteral("imgSemafOff"), lamps.semaphore == 0);
  showOnly(*this, QStringLiteral("imgSemafOn"), lamps.semaphore == 1);
  for (int k = 0; k < 7; ++k) {
    showOnly(*this, QStringLiteral("imgConnect%1").arg(k + 1), lamps.linkStage == k);
  }
  showServerBits(*this, *smtpLabel_, QStringLiteral("imgSmtp"), lamps.smtpBits);
  showServerBits(*this, *pop3Label_, QStringLiteral("imgPop3"), lamps.pop3Bits);
  const bool presetTimes = gs.WaitLamp & 1;
  showOnly(*this, QStringLiteral("imgWaitTmpSd"), !presetTimes);
  showOnly(*this, QStringLiteral("imgWaitTmpOn"), presetTimes && (gs.WaitLamp & 2));
  showOnly(*this, QStringLiteral("imgWaitTmpOff"), presetTimes && !(gs.WaitLamp & 2));
  statusText_->setText(gs.StatusText);
  // The device chosen in the settings dialog shows at once.
  showDevice();
  gs.LampShown = gs.Lamps;
  gs.StatusShown = gs.StatusText;
}

void TFMain::showCounters() {
  const GatewayState& gs = g_.state();
  const Settings& s = gs.cfg;
  counters_[0]->setText(gs.CounterDateText);
  counters_[4]->setText(QString::number(s.SmsOutCnt));
  counters_[5]->setText(QString::number(s.EmlOutCnt));
  counters_[7]->setText(QString::number(s.SmsInCnt));
  counters_[8]->setText(QString::number(s.EmlInCnt));
}

void TFMain::applyLanguage() {
  const Language& language = g_.language();
  for (const char* name : {"LaMa1", "LaMa2"}) {
    findChild<QLabel*>(QLatin1String(name))
        ->setText(captionText(language, objectName(), QLatin1String(name)));
  }
  btMa2_->setText(captionText(language, objectName(), btMa2_->objectName()));
  const GatewayState& gs = g_.state();
  LanguageRefreshInput input;
  input.version = gs.ProgramVersion;
  input.EmlSmsChConv = gs.cfg.EmlSmsChConv;
  const LanguageRefresh texts = refreshTexts(language, input);
  counters_[3]->setText(texts.sentTitle);
  counters_[6]->setText(texts.receivedTitle);
  versionPanel_->setText(texts.mainVersionPanel);
  showDevice();
}

void TFMain::showDevice() {
  const QString device = QString::fromUtf8(gsmDevices().at(g_.state().GsmDeviceIdx).displayName);
  devicePanel_->setText(g_.language().Text(12) + QLatin1Char(' ') + device);
}

void TFMain::syncFromGateway() {
  const GatewayState& gs = g_.state();
  if (windowTitle() != gs.MainCaption) setWindowTitle(gs.MainCaption);
  if (bbt1_->text() != gs.StartStopCaption) bbt1_->setText(gs.StartStopCaption);
  if (shownImage_ != gs.StartStopImage) {
    shownImage_ = gs.StartStopImage;
    bbt1_->setIcon(svgIcon(shownImage_ == 0 ? QStringLiteral("start") : QStringLiteral("stop")));
  }
  cb1x_->setEnabled(gs.LinkControlsEnabled);
  e1c_->setEnabled(gs.LinkControlsEnabled);
  btMa2_->setEnabled(gs.LinkControlsEnabled);
  if (cb1x_->currentIndex() != gs.ComTcpIdx) cb1x_->setCurrentIndex(gs.ComTcpIdx);
  e1c_->setVisible(gs.ComTcpIdx == 0);
  if (e1c_->text() != gs.ComNoText) e1c_->setText(gs.ComNoText);
  comName_->setEnabled(gs.LinkControlsEnabled);
  comName_->setVisible(gs.ComTcpIdx == 0);
  if (!comName_->hasFocus() && comName_->path() != gs.cfg.ComName)
    comName_->setPath(gs.cfg.ComName);
  syncMemo();
}

void TFMain::syncMemo() {
  const LogMemo& memo = g_.memo();
  // Lines dropped from the top since the last look, then the lines added.
  QTextDocument* doc = me1_->document();
  const std::uint64_t dropped = memo.droppedCount() - memoDropped_;
  if (dropped >= static_cast<std::uint64_t>(doc->blockCount())) {
    me1_->clear();
  } else {
    for (std::uint64_t n = 0; n < dropped; ++n) {
      QTextCursor c(doc->firstBlock());
      c.movePosition(QTextCursor::NextBlock, QTextCursor::KeepAnchor);
      c.removeSelectedText();
    }
  }
  memoDropped_ = memo.droppedCount();
  const std::uint64_t added = memo.addedCount() - memoAdded_;
  memoAdded_ = memo.addedCount();
  const qsizetype from =
      memo.lineCount() - static_cast<qsizetype>(std::min<std::uint64_t>(
                             added, static_cast<std::uint64_t>(memo.lineCount())));
  for (qsizetype i = from; i < memo.lineCount(); ++i) me1_->appendPlainText(memo.lines()[i]);
}

}  // namespace kolvane::ui
