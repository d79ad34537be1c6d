#include "ui/client_view.h"

#include <QMenu>

#include "core/gateway.h"
#include "mail/pop3_server.h"
#include "mail/smtp_server.h"
#include "platform/regional.h"

namespace kolvane::ui {

namespace {

const QString kConnected = QStringLiteral("Connected");

std::vector<ViewWindow::Column> columnsOf(bool pop3) {
  std::vector<ViewWindow::Column> c{
      {"NamePC", 150}, {"On/Off", 150}, {"Connect", 150}, {"Date+Time", -1}};
  if (pop3) c.push_back({"PosID", 150});
  return c;
}

}  // namespace

ClientView::ClientView(Gateway& g, bool pop3, QWidget* parent)
    : ViewWindow(
          g, pop3 ? QStringLiteral("fPop3CliView") : QStringLiteral("fSmtpCliView"),
          pop3 ? QStringLiteral("Pop3 Clients Explorer") : QStringLiteral("Smtp Clients Explorer"),
          columnsOf(pop3), parent),
      pop3_(pop3),
      menu_(new QMenu(this)) {
  delete_ = menu_->addAction(QStringLiteral("Delete item"));
  switch_ = menu_->addAction(QStringLiteral("Switch On/Off"));
  disconnect_ = menu_->addAction(QStringLiteral("Disconnect"));
  const auto act = [this](bool (TdmSMTP::*smtp)(const QString&),
                          bool (TdmPOP3::*pop)(const QString&)) {
    return [this, smtp, pop] {
      if (pop3_) {
        (g_.pop3().*pop)(PopUpNamePC);
      } else {
        (g_.smtp().*smtp)(PopUpNamePC);
      }
      refresh();
    };
  };
  connect(delete_, &QAction::triggered, this, act(&TdmSMTP::deleteItem, &TdmPOP3::deleteItem));
  connect(switch_, &QAction::triggered, this, act(&TdmSMTP::switchOnOff, &TdmPOP3::switchOnOff));
  connect(disconnect_, &QAction::triggered, this,
          act(&TdmSMTP::disconnectClient, &TdmPOP3::disconnectClient));
  const auto changed = [this] {
    if (isVisible()) refresh();
  };
  if (pop3) {
    connect(&g.pop3(), &TdmPOP3::clientsChanged, this, changed);
  } else {
    connect(&g.smtp(), &TdmSMTP::clientsChanged, this, changed);
  }
}

void ClientView::refresh() {
  const QList<tSocketClient>& clients = pop3_ ? g_.pop3().Clients() : g_.smtp().Clients();
  QTableWidget* sg = grid();
  sg->setRowCount(0);
  int row = 0;
  for (const tSocketClient& c : clients) {
    // Only PCs with a real date of their last connection.
    if (c.ConTime < 1.0) continue;
    sg->setRowCount(row + 1);
    QStringList cells{
        QString::number(row + 1), c.Name, c.SetOn ? QStringLiteral("On") : QStringLiteral("Off"),
        c.ConOn ? kConnected : QStringLiteral("Disconnected"), regional::formatDateTime(c.ConTime)};
    if (pop3_) cells << QString::fromUtf8(c.PosID);
    // Connected PCs black on white, the others grey on silver.
    const QColor ink = c.ConOn ? Qt::black : QColor(128, 128, 128);
    const QColor paper = c.ConOn ? Qt::white : QColor(192, 192, 192);
    for (int col = 0; col < cells.size(); ++col) {
      auto* item = new QTableWidgetItem(cells[col]);
      if (col > 0) {
        item->setForeground(ink);
        item->setBackground(paper);
      }
      sg->setItem(row, col, item);
    }
    if (c.Name == PopUpNamePC) setMenuState(row);
    ++row;
  }
  if (row == 0) sg->setRowCount(1);
}

void ClientView::setMenuState(int row) {
  const QTableWidgetItem* connect = grid()->item(row, 3);
  const bool connected = connect && connect->text() == kConnected;
  delete_->setEnabled(!connected);
  switch_->setEnabled(!connected);
  disconnect_->setEnabled(connected);
}

QMenu* ClientView::rowMenu(int row) {
  const QTableWidgetItem* name = grid()->item(row, 1);
  if (!name || name->text().isEmpty()) return nullptr;
  PopUpNamePC = name->text();
  setMenuState(row);
  return menu_;
}

}  // namespace kolvane::ui
