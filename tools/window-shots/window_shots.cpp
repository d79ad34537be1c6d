// Takes a picture of every settings page and every monitor view, in one language, with sample
// data in a temporary program folder: kolvane-window-shots OUTPUT_FOLDER EN|CZ
#include <QAbstractItemView>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

#include "core/gateway.h"
#include "mail/mail_rec.h"
#include "platform/clock.h"
#include "ui/secondary_windows.h"
#include "ui/serial_port_picker.h"
#include "ui/settings_dialog.h"
#include "ui/settings_pages.h"
#include "ui/store_view.h"

using namespace kolvane;

namespace {

void write(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (f.open(QIODevice::WriteOnly)) f.write(bytes);
}

QByteArray records(const char* subject, std::initializer_list<const char*> bodies) {
  QByteArray all;
  int n = 0;
  for (const char* body : bodies) {
    tMailRec r;
    r.PosID = "261209" + QByteArray::number(100 + n).rightJustified(6, '0');
    r.NamePC = n % 2 ? "RECEPTION" : "OFFICE-PC";
    r.From = "<clerk@office.lan>";
    r.Toe = "<+42060311122" + QByteArray::number(n) + "@sms.lan>";
    r.Subj = subject;
    r.MimeBody = body;
    all += MailRecToStr(r);
    ++n;
  }
  return all;
}

// A program folder with settings, stores and client registries to show.
void prepare(const QString& dir) {
  write(dir + "/Kolvane.ini",
        "[CFG]\r\nDebug=1\r\nGsmDevice=Unknown\r\nComTcp=0\r\nComNo=3\r\nPreSetTimeSw=1\r\n"
        "EmlSmsChConv=windows-1250\r\nCutEMail=1\r\nConcatenateSMS=1\r\nBasketToo=1\r\n"
        "BasketName=RECEPTION\r\nAliasOn=1\r\nSmsToCmdSw=1\r\n"
        "[AliasComp]\r\nA0=OFFICE-PC\r\nA1=RECEPTION\r\n[AliasName]\r\nA0=boss\r\nA1=desk\r\n"
        "[ReplAdrTel]\r\n+420603111222=boss@office.lan\r\n"
        "[SmsToCmdTelNo]\r\nA0=603111222\r\nA1=+420603111222\r\n"
        "[SmsToCmdSubst]\r\nntp=/usr/sbin/ntpdate pool.ntp.org\r\nreboot=/sbin/reboot\r\n"
        "[SmtpCliDateTime]\r\nOFFICE-PC=46365,4\r\nRECEPTION=46364,6\r\n"
        "[SmtpCliOnOff]\r\nOFFICE-PC=1\r\nRECEPTION=0\r\n"
        "[Pop3CliDateTime]\r\nOFFICE-PC=46365,4\r\nRECEPTION=46365,2\r\n");
  write(dir + "/Smtp.Tmp", records("Order", {"Your order 1234 is ready.", "Meeting at 10:00."}));
  write(dir + "/Pop3.Tmp",
        records("SMS from +420603111220", {"Thanks, I will come.", "Call me back please."}));
  write(dir + "/SmtpWait.Tmp",
        records("SendTime 2026-12-24 08:00:00", {"Merry Christmas!", "Office closed today."}));
}

void save(QWidget* w, const QString& path) {
  for (int i = 0; i < 30; ++i) QApplication::processEvents();
  if (!w->grab().save(path)) std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3) {
    std::fprintf(stderr, "usage: kolvane-window-shots OUTPUT_FOLDER EN|CZ\n");
    return 2;
  }
  const QString out = QString::fromLocal8Bit(argv[1]);
  const QString lang = QString::fromLocal8Bit(argv[2]).toUpper();
  QDir().mkpath(out);
  QTemporaryDir folder;
  prepare(folder.path());

  SystemClock clock;
  StartupOptions options;
  options.programFile = QCoreApplication::applicationFilePath();
  options.programDir = folder.path();
  options.headless = true;
  Gateway gateway(clock, options);
  QWidget owner;
  ui::WindowOpeners openers;
  ui::installSecondaryWindows(openers, gateway, &owner);
  if (!gateway.InitX()) return 1;
  gateway.language().setLanguage(lang);
  gateway.hooks().applyLanguageToWindows();

  auto* dialog = owner.findChild<ui::FCfg*>();
  dialog->loadControls();
  dialog->show();
  for (int node = 0; node < ui::kCfgNodes; ++node) {
    dialog->selectNode(node);
    save(dialog, QStringLiteral("%1/settings-%2-%3.png")
                     .arg(out, lang.toLower())
                     .arg(node, 2, 10, QLatin1Char('0')));
  }
  // The device picker open on the serial ports of a machine with two USB modems.
  QTemporaryDir dev;
  for (const char* name : {"ttyUSB0", "ttyUSB2", "ttyACM0"}) write(dev.filePath(name), {});
  QDir(dev.path()).mkdir(QStringLiteral("by-id"));
  QFile::link(dev.filePath("ttyUSB2"), dev.filePath("by-id/usb-Quectel_EC25-if02-port0"));
  QFile::link(dev.filePath("ttyACM0"), dev.filePath("by-id/usb-Siemens_MC35i_0001-if00"));
  const QList<ui::SerialPortChoice> found =
      ui::serialPortChoices({{dev.filePath("ttyUSB0"), "FTDI", "FT232R USB UART"},
                             {dev.filePath("ttyUSB2"), "Quectel", "EC25 LTE modem"},
                             {dev.filePath("ttyACM0"), "Siemens", "MC35i"}},
                            dev.filePath("by-id"));
  auto* picker = dialog->findChild<ui::SerialPortPicker*>(QStringLiteral("ComName"));
  picker->setPortSource([&] {
    // Shown under the names the machine gives them.
    QList<ui::SerialPortChoice> shown = found;
    for (ui::SerialPortChoice& c : shown) {
      c.path.replace(dev.path() + "/by-id", QStringLiteral("/dev/serial/by-id"));
      c.path.replace(dev.path(), QStringLiteral("/dev"));
      c.text.replace(dev.path() + "/by-id", QStringLiteral("/dev/serial/by-id"));
      c.text.replace(dev.path(), QStringLiteral("/dev"));
    }
    return shown;
  });
  dialog->selectNode(0);
  picker->setPath(QStringLiteral("/dev/serial/by-id/usb-Quectel_EC25-if02-port0"));
  picker->showPopup();
  for (int i = 0; i < 30; ++i) QApplication::processEvents();
  const QRect area = dialog->frameGeometry().united(picker->view()->window()->frameGeometry());
  if (!dialog->screen()
           ->grabWindow(0, area.x(), area.y(), area.width(), area.height())
           .save(QStringLiteral("%1/settings-%2-device-picker.png").arg(out, lang.toLower()))) {
    std::fprintf(stderr, "cannot write the picker's picture\n");
  }
  picker->hidePopup();
  dialog->hide();

  const std::pair<ui::ViewKind, const char*> views[] = {{ui::ViewKind::SmtpClients, "smtp-clients"},
                                                        {ui::ViewKind::Pop3Clients, "pop3-clients"},
                                                        {ui::ViewKind::SmtpStore, "smtp-store"},
                                                        {ui::ViewKind::Pop3Store, "pop3-store"},
                                                        {ui::ViewKind::WaitStore, "wait-store"}};
  for (const auto& [kind, name] : views) {
    openers.openView(kind);
    QWidget* view = QApplication::activeWindow();
    for (QWidget* w : QApplication::topLevelWidgets()) {
      if (w->isVisible() && w != dialog) view = w;
    }
    save(view, QStringLiteral("%1/view-%2-%3.png").arg(out, lang.toLower(), QLatin1String(name)));
    view->hide();
  }
  return 0;
}
