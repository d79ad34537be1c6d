#include "ui/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QSystemTrayIcon>
#include <QTimer>

#include "core/gateway.h"
#include "core/gateway_start.h"
#include "ui/lamp_image.h"
#include "ui/serial_port_picker.h"
#include "ui/svg_pixmap.h"
#include "ui/window_placement.h"

namespace kolvane::ui {

namespace {

const QString kTrayText = QStringLiteral("Close press Ctrl+Alt+Q");

QFrame* sunkenPanel(const char* name, QWidget* parent) {
  auto* f = new QFrame(parent);
  f->setObjectName(QLatin1String(name));
  f->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
  return f;
}

QLabel* namedLabel(const char* name, const QString& text, QWidget* parent) {
  auto* l = new QLabel(text, parent);
  l->setObjectName(QLatin1String(name));
  return l;
}

}  // namespace

TFMain::TFMain(Gateway& gateway, WindowOpeners& openers, QWidget* parent)
    : QMainWindow(parent), g_(gateway), openers_(openers) {
  setObjectName(QStringLiteral("FMain"));
  setWindowTitle(g_.state().MainCaption);
  setWindowIcon(svgIcon(QStringLiteral("app")));

  auto* central = new QWidget(this);
  auto* column = new QVBoxLayout(central);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(0);
  column->addWidget(buildHeader());
  me1_ = new QPlainTextEdit(central);
  me1_->setObjectName(QStringLiteral("Me1"));
  me1_->setReadOnly(true);
  me1_->setLineWrapMode(QPlainTextEdit::NoWrap);
  me1_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  me1_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  column->addWidget(me1_, 1);
  column->addWidget(buildBottomRow());
  setCentralWidget(central);

  auto* bar = new QStatusBar(this);
  bar->setObjectName(QStringLiteral("stat1"));
  versionPanel_ = namedLabel("stat1_0", {}, bar);
  devicePanel_ = namedLabel("stat1_1", {}, bar);
  bar->addWidget(versionPanel_);
  bar->addWidget(devicePanel_, 1);
  setStatusBar(bar);

  tray_ = new QSystemTrayIcon(windowIcon(), this);
  tray_->setObjectName(QStringLiteral("trycn1"));
  tray_->setToolTip(QStringLiteral("Kolvane (") + kTrayText + QLatin1Char(')'));
  connect(tray_, &QSystemTrayIcon::activated, this, [this] { showFromTray(); });

  resize(531, 338);
  syncTimer_ = new QTimer(this);
  syncTimer_->setInterval(100);
  connect(syncTimer_, &QTimer::timeout, this, &TFMain::syncFromGateway);
  syncTimer_->start();
  qApp->installEventFilter(this);
  applyLanguage();
  syncFromGateway();
}

TFMain::~TFMain() {
  qApp->removeEventFilter(this);
}

QWidget* TFMain::buildHeader() {
  QFrame* pnl1 = sunkenPanel("pnl1", this);
  pnl1->setFrameStyle(QFrame::StyledPanel | QFrame::Raised);
  auto* grid = new QGridLayout(pnl1);
  grid->setContentsMargins(8, 6, 8, 6);
  QLabel* title = namedLabel("LaMa1", {}, pnl1);
  QFont bold = title->font();
  bold.setBold(true);
  title->setFont(bold);
  grid->addWidget(title, 0, 0, 1, 6);

  grid->addWidget(namedLabel("LaMa2", {}, pnl1), 1, 0);
  cb1x_ = new QComboBox(pnl1);
  cb1x_->setObjectName(QStringLiteral("CB1x"));
  cb1x_->addItems({QStringLiteral("COM"), QStringLiteral("TCP-IP")});
  grid->addWidget(cb1x_, 1, 1);
  e1c_ = new QLineEdit(pnl1);
  e1c_->setObjectName(QStringLiteral("E1c"));
  e1c_->setMaxLength(2);
  e1c_->setFixedWidth(e1c_->fontMetrics().horizontalAdvance(QStringLiteral("000")) + 12);
  grid->addWidget(e1c_, 1, 2);
  // The serial device by its path; empty leaves the COM number in force.
  comName_ = new SerialPortPicker(pnl1);
  comName_->setObjectName(QStringLiteral("CbComName"));
  comName_->setMinimumContentsLength(12);
  grid->addWidget(comName_, 1, 3);
  grid->setColumnStretch(3, 1);

  bbt1_ = new QPushButton(pnl1);
  bbt1_->setObjectName(QStringLiteral("BBt1"));
  bbt1_->setFont(bold);
  bbt1_->setDefault(true);
  bbt1_->setMinimumWidth(bbt1_->fontMetrics().horizontalAdvance(QStringLiteral("MMMMMM")) + 24);
  grid->addWidget(bbt1_, 1, 4);
  btMa2_ = new QPushButton(svgIcon(QStringLiteral("settings")), {}, pnl1);
  btMa2_->setObjectName(QStringLiteral("BtMa2"));
  grid->addWidget(btMa2_, 1, 5);

  connect(cb1x_, &QComboBox::currentIndexChanged, this, &TFMain::onPortKindChanged);
  connect(e1c_, &QLineEdit::textEdited, this,
          [this](const QString& t) { g_.state().ComNoText = t; });
  const auto takeComName = [this] { storeComName(g_, comName_->path()); };
  connect(comName_->lineEdit(), &QLineEdit::editingFinished, this, takeComName);
  connect(comName_, &QComboBox::activated, this, takeComName);
  connect(bbt1_, &QPushButton::clicked, this, [this] {
    BBt1Click(g_, StartSender::Button);
    syncFromGateway();
  });
  connect(btMa2_, &QPushButton::clicked, this, [this] {
    if (openers_.openSettings) openers_.openSettings(g_.state().PgNdx, {});
  });
  return pnl1;
}

LampImage* TFMain::lamp(const QString& name, const QString& image, QSize size, QWidget* parent) {
  return new LampImage(name, image, size, parent);
}

QWidget* TFMain::buildBottomRow() {
  auto* pnl2 = new QWidget(this);
  pnl2->setObjectName(QStringLiteral("pnl2"));
  auto* row = new QHBoxLayout(pnl2);
  row->setContentsMargins(2, 2, 2, 2);
  row->setSpacing(2);
  const QSize lampSize(20, 20);

  // Pictures named for one panel place share one grid cell: exactly one shows at a time.
  QFrame* semaf = sunkenPanel("pnlSemafor", pnl2);
  auto* semafGrid = new QGridLayout(semaf);
  semafGrid->setContentsMargins(4, 3, 4, 3);
  semafGrid->addWidget(lamp("imgSemafOff", "semaf_off", {14, 36}, semaf), 0, 0);
  semafGrid->addWidget(lamp("imgSemafOn", "semaf_on", {14, 36}, semaf), 0, 0);
  row->addWidget(semaf);

  QFrame* connect_ = sunkenPanel("pnlConnect", pnl2);
  auto* connectGrid = new QGridLayout(connect_);
  connectGrid->setContentsMargins(4, 3, 4, 3);
  connectGrid->setHorizontalSpacing(2);
  LampImage* gate = lamp("imgGsmGate", "gsm_gate", {24, 36}, connect_);
  connectGrid->addWidget(gate, 0, 0);
  for (int k = 0; k < 7; ++k) {
    connectGrid->addWidget(lamp(QStringLiteral("imgConnect%1").arg(k + 1),
                                QStringLiteral("connect_%1").arg(k), {36, 20}, connect_),
                           0, 1);
  }
  LampImage* pc = lamp("imgPececko", "pc", {24, 36}, connect_);
  connectGrid->addWidget(pc, 0, 2);
  row->addWidget(connect_);
  connect(gate, &LampImage::pressed, this, [this](Qt::MouseButton button) {
    if (button == Qt::LeftButton && btMa2_->isEnabled() && openers_.openSettings) {
      openers_.openSettings(0, {});
    }
  });
  connect(pc, &LampImage::clicked, this, &TFMain::sendDialogWanted);

  const auto openView = [this](ViewKind kind) {
    return [this, kind] {
      if (openers_.openView) openers_.openView(kind);
    };
  };
  const auto serverPanel = [&](const char* panel, const char* label, const char* text,
                               const char* prefix, bool withWait) {
    QFrame* f = sunkenPanel(panel, pnl2);
    auto* grid = new QGridLayout(f);
    grid->setContentsMargins(4, 1, 4, 1);
    grid->setSpacing(2);
    auto* caption = namedLabel(label, QLatin1String(text), f);
    grid->addWidget(caption, 0, 0, 1, withWait ? 3 : 2, Qt::AlignHCenter);
    const QString p = QLatin1String(prefix);
    grid->addWidget(lamp(p + QStringLiteral("TmpOff"), "store_off", lampSize, f), 1, 0);
    grid->addWidget(lamp(p + QStringLiteral("TmpOn"), "store_on", lampSize, f), 1, 0);
    if (withWait) {
      grid->addWidget(lamp("imgWaitTmpOff", "wait_off", lampSize, f), 1, 1);
      grid->addWidget(lamp("imgWaitTmpOn", "wait_on", lampSize, f), 1, 1);
      grid->addWidget(lamp("imgWaitTmpSd", "wait_sd", lampSize, f), 1, 1);
    }
    const int cli = withWait ? 2 : 1;
    grid->addWidget(lamp(p + QStringLiteral("CliOff"), "client_off", lampSize, f), 1, cli);
    grid->addWidget(lamp(p + QStringLiteral("CliOn"), "client_on", lampSize, f), 1, cli);
    row->addWidget(f);
    return std::pair{f, caption};
  };
  auto [smtp, smtpLabel] = serverPanel("pnlSmtp", "lblSMTPOn", "SMTP", "imgSmtp", true);
  auto [pop3, pop3Label] = serverPanel("pnlPop3", "lblPop3on", "POP3", "imgPop3", false);
  smtpLabel_ = smtpLabel;
  pop3Label_ = pop3Label;
  const auto onClick = [](QWidget* panel, const char* name, auto slot) {
    QObject::connect(panel->findChild<LampImage*>(QLatin1String(name)), &LampImage::clicked, panel,
                     slot);
  };
  onClick(smtp, "imgSmtpTmpOn", openView(ViewKind::SmtpStore));
  onClick(smtp, "imgWaitTmpOn", openView(ViewKind::WaitStore));
  onClick(smtp, "imgSmtpCliOn", openView(ViewKind::SmtpClients));
  onClick(smtp, "imgSmtpCliOff", openView(ViewKind::SmtpClients));
  onClick(pop3, "imgPop3TmpOn", openView(ViewKind::Pop3Store));
  onClick(pop3, "imgPop3CliOn", openView(ViewKind::Pop3Clients));
  onClick(pop3, "imgPop3CliOff", openView(ViewKind::Pop3Clients));

  QFrame* cnt = sunkenPanel("pnlCnt", pnl2);
  auto* cntGrid = new QGridLayout(cnt);
  cntGrid->setContentsMargins(4, 1, 4, 1);
  cntGrid->setHorizontalSpacing(8);
  cntGrid->setVerticalSpacing(0);
  for (int col = 0; col < 3; ++col) {
    for (int r = 0; r < 3; ++r) {
      const QByteArray name = "lblC" + QByteArray::number(col) + QByteArray::number(r);
      QLabel* l = namedLabel(name.constData(), {}, cnt);
      l->setAlignment(col == 0 ? Qt::AlignLeft : Qt::AlignRight);
      cntGrid->addWidget(l, r, col);
      counters_[static_cast<std::size_t>(col * 3 + r)] = l;
    }
  }
  counters_[1]->setText(QStringLiteral("SMS"));
  counters_[2]->setText(QStringLiteral("email"));
  row->addWidget(cnt);

  QFrame* stb = sunkenPanel("pnlStbText", pnl2);
  auto* stbLayout = new QHBoxLayout(stb);
  stbLayout->setContentsMargins(4, 1, 4, 1);
  statusText_ = namedLabel("pnlStbTextCaption", {}, stb);
  statusText_->setWordWrap(true);
  statusText_->setMinimumWidth(statusText_->fontMetrics().horizontalAdvance(QStringLiteral("M")) *
                               10);
  stbLayout->addWidget(statusText_);
  row->addWidget(stb, 1);
  return pnl2;
}

void TFMain::onPortKindChanged(int index) {
  g_.state().ComTcpIdx = index;
  e1c_->setVisible(index == 0);
  comName_->setVisible(index == 0);
}

void TFMain::paintEvent(QPaintEvent* event) {
  QMainWindow::paintEvent(event);
  GatewayState& gs = g_.state();
  if (gs.FirstPaintPending) {
    gs.FirstPaintPending = false;
    gs.StartupDue = true;
  }
}

void TFMain::closeEvent(QCloseEvent* event) {
  // Also asked when the event loop ends: the gateway has shut down by then and agrees.
  event->setAccepted(closeQuery());
}

bool TFMain::closeQuery() {
  GatewayState& gs = g_.state();
  const bool toTray = !gs.ShortcutClose && gs.cfg.CloseOff;
  if (g_.requestClose()) return true;
  if (toTray) hideToTray();
  return false;
}

void TFMain::hideToTray() {
  keepPlacement();
  // Without a notification area the window is minimised instead, so it is never lost.
  if (!QSystemTrayIcon::isSystemTrayAvailable()) {
    showMinimized();
    return;
  }
  hide();
  tray_->show();
  tray_->showMessage(QStringLiteral("Kolvane"), kTrayText);
}

void TFMain::showFromTray() {
  showNormal();
  raise();
  activateWindow();
  tray_->hide();
}

bool TFMain::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    // Alt+Q closes past the close-to-tray rule; Ctrl is not asked for, a held key repeats
    // nothing.
    if (key->key() == Qt::Key_Q && (key->modifiers() & Qt::AltModifier) && !key->isAutoRepeat()) {
      g_.state().ShortcutClose = true;
      closeQuery();
      return true;
    }
  }
  return QMainWindow::eventFilter(watched, event);
}

void TFMain::keepPlacement() {
  ui::keepPlacement(*this, g_.state(), objectName());
}

}  // namespace kolvane::ui
