#include "ui/settings_pages.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QVBoxLayout>
#include <functional>
#include <initializer_list>

#include "ui/serial_port_picker.h"
#include "ui/string_grid.h"

namespace kolvane::ui {

namespace {

// Builds one page top to bottom; untranslated captions are given here, the others come from
// the caption table when the language is applied.
class Page {
 public:
  explicit Page(QStackedWidget* stack) : page_(new QWidget), box_(new QVBoxLayout(page_)) {
    stack->addWidget(page_);
    stack_.push_back(box_);
  }
  ~Page() { box_->addStretch(1); }

  template <typename W>
  W* named(W* w, const char* name) {
    w->setObjectName(QLatin1String(name));
    return w;
  }
  QLabel* lab(const char* name, const char* fixed = "") {
    return named(new QLabel(QString::fromUtf8(fixed)), name);
  }
  QCheckBox* chk(const char* name) { return named(new QCheckBox, name); }
  QRadioButton* radio(const char* name, QButtonGroup* group, const char* fixed = "") {
    auto* r = named(new QRadioButton(QString::fromUtf8(fixed)), name);
    group->addButton(r);
    return r;
  }
  QLineEdit* edit(const char* name, int width = 80) {
    auto* e = named(new QLineEdit, name);
    if (width > 0) e->setFixedWidth(width);
    return e;
  }
  QComboBox* combo(const char* name, std::initializer_list<const char*> items, int width) {
    auto* c = named(new QComboBox, name);
    for (const char* i : items) c->addItem(QString::fromUtf8(i));
    c->setMinimumWidth(width);
    return c;
  }
  QPushButton* btn(const char* name, const char* fixed = "") {
    return named(new QPushButton(QString::fromUtf8(fixed)), name);
  }
  QButtonGroup* group() { return new QButtonGroup(page_); }
  // Two radio buttons of one choice, each on its own line.
  void choice(const char* first, const char* second, int indent) {
    QButtonGroup* g = group();
    add(radio(first, g), indent);
    add(radio(second, g), indent);
  }

  // One line of controls, left-aligned; indent moves it right under a heading.
  void row(std::initializer_list<QWidget*> widgets, int indent = 0) {
    auto* h = new QHBoxLayout;
    if (indent) h->addSpacing(indent);
    for (QWidget* w : widgets) h->addWidget(w);
    h->addStretch(1);
    stack_.back()->addLayout(h);
  }
  // A label on a line of its own wraps at the page's width.
  void add(QWidget* w, int indent = 0) {
    if (auto* label = qobject_cast<QLabel*>(w)) label->setWordWrap(true);
    auto* h = new QHBoxLayout;
    h->addSpacing(indent);
    h->addWidget(w, 1);
    stack_.back()->addLayout(h);
  }
  void gap(int px = 8) { stack_.back()->addSpacing(px); }
  // Controls added until endGroup() go into a framed group with a caption.
  QGroupBox* beginGroup(const char* name, const char* fixed = "") {
    auto* g = named(new QGroupBox(QString::fromUtf8(fixed)), name);
    stack_.back()->addWidget(g);
    stack_.push_back(new QVBoxLayout(g));
    return g;
  }
  void endGroup() { stack_.pop_back(); }
  QWidget* widget() const { return page_; }

 private:
  QWidget* page_;
  QVBoxLayout* box_;
  std::vector<QVBoxLayout*> stack_;
};

void gsmPage(QStackedWidget* s) {
  Page p(s);
  p.row({p.lab("LaDevice"),
         p.combo("GsmDevice",
                 {"GSM modem", "Blue Gate ISDN", "Mini Gate A", "Blue Gate SIP", "PRIma Gate",
                  "Blue Gate A", "Blue Gate ISDN Brave", "Blue Gate A Brave"},
                 200)});
  p.row({p.combo("ComTcp", {"Serial COM port", "Ethernet TCP-IP"}, 200)});
  p.beginGroup("GbSerial");
  p.row(
      {p.lab("LaComNo"), p.edit("ComNo", 50), p.lab("LaBaudRate"),
       p.combo("BaudRate", {"9600", "19200", "38400", "57600", "115200", "128000", "256000"}, 100),
       p.chk("CbDTROn"), p.chk("CbRTSOn")});
  // A device path wins over the COM number.
  auto* device = p.named(new SerialPortPicker, "ComName");
  device->setMinimumContentsLength(44);
  p.row({p.lab("LaComName", "Device"), device});
  p.endGroup();
  p.beginGroup("GbEthernet");
  p.row({p.lab("LaIPAdress"), p.edit("GtIPAdress", 140), p.lab("LaTCPPort"),
         p.edit("GtTCPPort", 70), p.btn("BtDefault")});
  p.endGroup();
  p.beginGroup("GbSmsMode");
  QButtonGroup* mode = p.group();
  p.row({p.radio("RbText", mode, "text"), p.radio("RbPdu", mode, "PDU")});
  p.endGroup();
  p.add(p.lab("LaUcs2Text"));
  p.add(p.lab("LaPduNot"));
  QLineEdit* pin = p.edit("SimPin", 90);
  pin->setEchoMode(QLineEdit::Password);
  p.row({p.lab("LaSimPin"), pin});
  p.row({p.lab("LaSendRetryHours"), p.edit("SendRetryHours", 50), p.lab("LaSendRetryUnit")});
  p.row({p.lab("LaSendResultTimeout"), p.edit("SendResultTimeout", 60),
         p.lab("LaSendResultUnit", "s")});
}

// Encryption of both servers: the ports with TLS from the first byte, the certificate and
// whether anything may pass in clear.
void tlsGroup(Page& p) {
  p.beginGroup("GbTls", "TLS");
  p.row({p.lab("LaSmtpsPort"), p.edit("SmtpsPort", 70), p.lab("LaPop3sPort"),
         p.edit("Pop3sPort", 70)});
  p.row({p.lab("LaTlsCertFile"), p.edit("TlsCertFile", 230), p.lab("LaTlsKeyFile"),
         p.edit("TlsKeyFile", 230)});
  // Read-only but selectable: the administrator copies it into the mail programs.
  QLineEdit* fingerprint = p.edit("TlsFingerprint", 0);
  fingerprint->setReadOnly(true);
  fingerprint->setFrame(false);
  // Wide enough for all of its 32 bytes.
  fingerprint->setMinimumWidth(
      fingerprint->fontMetrics().horizontalAdvance(QStringLiteral("DD:").repeated(32)));
  p.add(p.lab("LaTlsFingerprint"));
  p.add(fingerprint);
  p.add(p.chk("CbMailTlsRequired"));
  p.endGroup();
}

void serversPage(QStackedWidget* s) {
  Page p(s);
  for (const auto& [group, title, portLabel, port, limit, maxLabel, max] :
       {std::array{"GbSmtp", "SMTP", "LaSmtpPort", "SmtpPort", "CbSmtpCliLimOn", "LaSmtpCliMax",
                   "SmtpCliMax"},
        std::array{"GbPop3", "POP3", "LaPop3Port", "Pop3Port", "CbPop3CliLimOn", "LaPop3CliMax",
                   "Pop3CliMax"}}) {
    p.beginGroup(group, title);
    p.row({p.lab(portLabel), p.edit(port, 70)});
    p.row({p.chk(limit)});
    p.row({p.lab(maxLabel), p.edit(max, 70)});
    p.endGroup();
  }
  p.row({p.lab("LaMailCliPerHostMax"), p.edit("MailCliPerHostMax", 70)});
  p.row({p.lab("LaMailCliTotalMax"), p.edit("MailCliTotalMax", 70)});
  p.row({p.lab("LaMailListenAddress"), p.edit("MailListenAddress", 200)});
  p.row({p.lab("LaUserName"), p.edit("UserName", 200)});
  tlsGroup(p);
}

void exchangePage(QStackedWidget* s) {
  Page p(s);
  QButtonGroup* mode = p.group();
  p.row({p.lab("LaExMode"), p.radio("RbPeriodically", mode), p.radio("RbOnLine", mode)});
  p.row({p.lab("LaInterval"), p.edit("Interval", 70), p.lab("LaIntervalUnit", "min."),
         p.lab("LaIntervalState")});
  p.gap();
  p.add(p.chk("CbStartGo"));
  p.gap();
  p.add(p.chk("CbMaxSmsSendOn"));
  p.row({p.lab("LaMaxSmsSendNo"), p.edit("MaxSmsSendNo", 70)}, 20);
  p.add(p.lab("LaMaxSmsNote"), 20);
}

void longMailPage(QStackedWidget* s) {
  Page p(s);
  p.add(p.lab("LaLongEml"));
  p.add(p.chk("CbCutEMail"), 20);
  p.row({p.lab("LaCutEMax"), p.edit("CutEMax", 60)}, 40);
  p.gap();
  p.add(p.lab("LaLongSms"), 20);
  p.choice("RbSendPart", "RbReturnLong", 40);
  p.gap();
  p.add(p.lab("LaConcatHint"), 20);
  p.add(p.chk("CbConcatenateSMS"), 20);
  p.gap();
  p.add(p.lab("LaUcs2NoCut"));
  p.add(p.lab("LaUcs2Max"));
  p.gap();
  p.add(p.chk("CbMailCutQuotes"));
}

void charsetPage(QStackedWidget* s) {
  Page p(s);
  p.row({p.lab("LaChConv"), p.btn("BtTest", "Test")});
  p.add(p.chk("CbEmlSmsAuto"), 20);
  p.add(p.lab("LaChNext"), 20);
  p.row({p.combo("EmlSmsChConv", {}, 420)}, 20);
  auto* description = p.named(new QListWidget, "ChDescription");
  description->setFixedHeight(84);
  p.add(description, 20);
  p.gap();
  p.add(p.lab("LaNotGsm"));
  p.add(p.chk("CbSendUCS2SmsPermit"), 20);
  p.add(p.lab("LaUcs2Sms"), 40);
  p.add(p.lab("LaUcs2One"), 40);
  p.gap();
  p.add(p.lab("LaConvFail"));
  p.choice("RbUndispatched", "RbReplaceDash", 20);
}

void presetPage(QStackedWidget* s) {
  Page p(s);
  p.add(p.lab("LaPreSetSubj"));
  p.add(p.chk("CbPreSetTimeSw"), 20);
  p.gap();
  p.row({p.lab("LaPrefix"), p.edit("PreSetPrefix", 140), p.lab("LaPrefixNote")});
  p.row({p.lab("LaMask"), p.lab("LaMaskNote")});
  p.add(p.lab("LaMaskLetters"), 20);
  p.row({p.lab("LaMaskDT"), p.edit("PreSetMaskDT", 200)}, 20);
  p.row({p.lab("LaMaskTi"), p.edit("PreSetMaskTi", 200)}, 20);
  p.gap();
  p.add(p.lab("LaPreSetErr1"));
  p.add(p.lab("LaPreSetErr2"));
  p.choice("RbSentNoDelay", "RbReturned", 20);
}

void reportPage(QStackedWidget* s) {
  Page p(s);
  p.add(p.lab("LaReportPdu"));
  p.add(p.lab("LaReportSubj"));
  p.gap();
  p.add(p.chk("CbReportSw"));
  p.gap();
  p.add(p.lab("LaReportOne"), 20);
  p.row({p.lab("LaReportPrefix"), p.edit("ReportPrefix", 140)}, 40);
  p.add(p.lab("LaReportAll"), 20);
  p.add(p.chk("CbReportAll"), 40);
}

void priorityPage(QStackedWidget* s) {
  Page p(s);
  p.add(p.lab("LaPriorityNote"));
  p.gap();
  p.add(p.chk("CbPrioritySw"));
  p.add(p.chk("CbPriorityEmail"), 20);
}

void autoroutingPage(QStackedWidget* s) {
  Page p(s);
  p.add(p.chk("CbAutoPop3Routing"));
  p.row({p.lab("LaRouteTout"), p.edit("AutoPop3RouteTout", 60), p.lab("LaRouteUnit", "min")}, 20);
  p.gap();
  for (const char* name : {"LaRoute1", "LaRoute2", "LaRoute3"}) p.add(p.lab(name), 20);
  p.gap();
  for (const char* name : {"LaRoute4", "LaRoute5"}) p.add(p.lab(name), 20);
}

void basketPage(QStackedWidget* s) {
  Page p(s);
  p.add(p.lab("LaBasket1"));
  p.add(p.lab("LaBasket2"), 20);
  p.gap();
  p.add(p.lab("LaBasket3"));
  p.add(p.lab("LaBasket4"), 20);
  QButtonGroup* to = p.group();
  p.row({p.lab("LaBasket5"), p.radio("RbEveryone", to), p.radio("RbBasketOn", to)}, 20);
  p.row({p.lab("LaBasket6"), p.chk("CbBasketToo")}, 20);
  p.gap();
  p.row({p.lab("LaBasketName"), p.edit("BasketName", 160)}, 20);
  p.gap();
  p.add(p.lab("LaBasket7"));
}

void aliasesPage(QStackedWidget* s) {
  Page p(s);
  p.row({p.chk("CbAliasOn"), p.btn("BtAddKnown")});
  p.add(new StringGrid(QStringLiteral("SgAs1"), 2));
}

void replacePage(QStackedWidget* s) {
  Page p(s);
  p.add(p.lab("LaReplace1"));
  p.add(p.chk("CbReplAddrOn"), 20);
  p.add(p.chk("CbReplTelNoOn"), 20);
  p.add(p.lab("LaReplace2"));
  p.add(new StringGrid(QStringLiteral("SgRp1"), 2));
}

// The first page of an action on received SMS: its switch, the copy as e-mail and who gets
// it, and an example.
struct ActionPage {
  const char* on;
  const char* copy;
  const char* pcLabel;
  const char* pc;
  const char* result;  // may be null
  std::initializer_list<const char*> example;
};

void actionPage(QStackedWidget* s, const ActionPage& a,
                const std::function<void(Page&)>& more = {}) {
  Page p(s);
  p.add(p.chk(a.on));
  p.add(p.chk(a.copy), 20);
  p.row({p.lab(a.pcLabel), p.edit(a.pc, 160)}, 40);
  if (a.result) p.add(p.chk(a.result), 20);
  p.gap(16);
  for (const char* name : a.example) p.add(p.lab(name), name == *a.example.begin() ? 0 : 20);
  if (more) more(p);
}

void commandPage(QStackedWidget* s) {
  actionPage(
      s,
      {"CbSmsToCmdSw",
       "CbSmsToCmdEml",
       "LaSmsToCmdPC",
       "SmsToCmdPC",
       "CbSmsToCmdStat",
       {"LaCmdEx1", "LaCmdEx2", "LaCmdEx3", "LaCmdEx4", "LaCmdEx5"}},
      [](Page& p) {
        p.gap(16);
        p.row({p.lab("LaCmdTimeout"), p.edit("CmdTimeout", 70), p.lab("LaCmdTimeoutUnit", "s")});
      });
}

void numbersPage(QStackedWidget* s) {
  Page p(s);
  p.add(p.lab("LaAuthList"));
  auto* grid = new StringGrid(QStringLiteral("SgTn1"), 1);
  grid->setFixedWidth(260);
  auto* notes = new QWidget;
  auto* v = new QVBoxLayout(notes);
  v->setContentsMargins(0, 0, 0, 0);
  for (const char* name : {"LaAuthRecom", "LaAuthShapes"}) v->addWidget(p.lab(name));
  v->addWidget(p.lab("LaAuthExample", "123456789 , +420123456789 , 00420123456789"));
  v->addWidget(p.lab("LaAuthRows"));
  v->addStretch(1);
  p.row({grid, notes});
}

void substitutePage(QStackedWidget* s) {
  Page p(s);
  p.add(p.lab("LaSubstList"));
  p.add(new StringGrid(QStringLiteral("SgSc1"), 2));
}

void speechPage(QStackedWidget* s) {
  actionPage(s, {"CbSmsToTtsSw",
                 "CbSmsToTtsEml",
                 "LaSmsToTtsPC",
                 "SmsToTtsPC",
                 nullptr,
                 {"LaTtsEx1", "LaTtsEx2", "LaTtsEx3"}});
}

void voicePage(QStackedWidget* s) {
  Page p(s);
  p.add(p.lab("LaVoice"));
  auto* voices = p.named(new QListWidget, "TtsVoice");
  voices->setFixedHeight(140);
  p.add(voices);
  p.row({p.edit("LaVerify", 360), p.btn("BtReadVerify")});
}

}  // namespace

QStackedWidget* buildSettingsPages(QWidget* parent) {
  auto* stack = new QStackedWidget(parent);
  stack->setObjectName(QStringLiteral("pc1"));
  for (const auto build :
       {gsmPage, serversPage, exchangePage, longMailPage, charsetPage, presetPage, reportPage,
        priorityPage, autoroutingPage, basketPage, aliasesPage, replacePage, commandPage,
        numbersPage, substitutePage, speechPage, voicePage}) {
    build(stack);
  }
  return stack;
}

}  // namespace kolvane::ui
