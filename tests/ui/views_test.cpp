#include <gtest/gtest.h>
#include <QHeaderView>
#include <QMenu>
#include <QTcpSocket>
#include <QTest>

#include "unit/qt_print.h"
#include "unit/store_test_gateway.h"

#include "mail/mail_listeners.h"
#include "mail/smtp_server.h"
#include "platform/ini_file.h"
#include "support/free_port.h"
#include "ui/client_view.h"
#include "ui/secondary_windows.h"
#include "ui/store_view.h"
#include "ui/window_placement.h"

using namespace kolvane;
using namespace kolvane::ui;

namespace {

class Views : public ::testing::Test {
 protected:
  Views() { installSecondaryWindows(openers, t.g(), &owner); }
  StoreView* store(const char* form) { return owner.findChild<StoreView*>(form); }
  ClientView* clients(const char* form) { return owner.findChild<ClientView*>(form); }
  // Lets posted refreshes run until the view has rows rows, or gives up.
  bool filled(QTableWidget* grid, int rows) {
    for (int i = 0; i < 20000 && grid->rowCount() < rows; ++i) QCoreApplication::processEvents();
    return grid->rowCount() == rows;
  }
  QByteArray records(int n, const char* subj = "test") {
    QByteArray all;
    for (int i = 0; i < n; ++i) {
      all += MailRecToStr(job(QByteArray::number(251130000000LL + i),
                              "<+4206031" + QByteArray::number(i) + "@sms.lan>",
                              "body " + QByteArray::number(i), subj));
    }
    return all;
  }

  StoreTestGateway t;
  QWidget owner;
  WindowOpeners openers;
};

TEST_F(Views, LargeStoreFillsChunkByChunkAndMatchesTheFile) {
  t.write("Smtp.Tmp", records(10000));
  StoreView* view = store("fSmtpTmpView");
  ASSERT_NE(view, nullptr);
  openers.openView(ViewKind::SmtpStore);
  EXPECT_EQ(view->windowTitle(), "Smtp.Tmp  Explorer");
  // One refresh reads one chunk at most.
  QCoreApplication::processEvents();
  EXPECT_GT(view->grid()->rowCount(), 0);
  EXPECT_LE(view->FiPosView, StoreView::kChunk);
  ASSERT_TRUE(filled(view->grid(), 10000));
  const QList<tMailRec> recs = t.records("Smtp.Tmp");
  ASSERT_EQ(recs.size(), 10000);
  for (int r : {0, 1, 4999, 9999}) {
    EXPECT_EQ(view->grid()->item(r, 0)->text(), QString::number(r + 1));
    EXPECT_EQ(view->grid()->item(r, 1)->text().toUtf8(), recs[r].PosID);
    EXPECT_EQ(view->grid()->item(r, 4)->text().toUtf8(), recs[r].Toe);
    EXPECT_EQ(view->grid()->item(r, 6)->text(), "body " + QString::number(r));
  }
  // Default columns of this view: only "To" and "Body" are shown.
  EXPECT_EQ(view->columnWidths(), (QList<int>{-1, -1, -1, 150, -1, 350}));
}

TEST_F(Views, UnreadableStretchIsSkippedAndAGrowingFileIsReadOn) {
  t.write("Pop3.Tmp", QByteArray(900, 'x') + records(2));
  openers.openView(ViewKind::Pop3Store);
  StoreView* view = store("fPop3TmpView");
  ASSERT_TRUE(filled(view->grid(), 2));
  t.append("Pop3.Tmp", records(1));
  view->requestRefresh();
  EXPECT_TRUE(filled(view->grid(), 3));
  // A record longer than a chunk is shown whole.
  const QByteArray longBody(3000, 'L');
  t.append("Pop3.Tmp", MailRecToStr(job("251130999999", "<+420603999999@sms.lan>", longBody)));
  view->requestRefresh();
  ASSERT_TRUE(filled(view->grid(), 4));
  EXPECT_EQ(view->grid()->item(3, 6)->text(), QString(longBody));
  t.append("Pop3.Tmp", records(1));
  view->requestRefresh();
  EXPECT_TRUE(filled(view->grid(), 5));
  // A tail that does not parse leaves the view waiting, not re-reading for ever.
  t.append("Pop3.Tmp", "PosID=2602");
  view->requestRefresh();
  for (int i = 0; i < 50; ++i) QCoreApplication::processEvents();
  EXPECT_EQ(view->grid()->rowCount(), 5);
}

TEST_F(Views, ViewsOpenCentredOrWhereStoredButAlwaysOnTheScreen) {
  const QRect screen = availableScreens().first();
  t.gs().Placements["fPop3TmpView"] = {2000, 3000, 360, 640, true};
  for (const auto& [kind, form] : {std::pair{ViewKind::SmtpStore, "fSmtpTmpView"},
                                   std::pair{ViewKind::WaitStore, "fWaitTmpView"},
                                   std::pair{ViewKind::Pop3Store, "fPop3TmpView"}}) {
    openers.openView(kind);
    const QRect shown = store(form)->frameGeometry();
    EXPECT_TRUE(screen.contains(shown)) << form;
    if (QLatin1String(form) != QLatin1String("fPop3TmpView")) {
      EXPECT_LE((shown.center() - screen.center()).manhattanLength(), 2) << form;  // not at 0,0
    }
    store(form)->hide();
    EXPECT_TRUE(screen.contains(QPoint(t.gs().Placements[form].Left, t.gs().Placements[form].Top)));
  }
}

TEST_F(Views, HiddenColumnStaysHiddenAfterReopening) {
  openers.openView(ViewKind::WaitStore);
  StoreView* view = store("fWaitTmpView");
  QMenu* menu = view->headerMenu();
  ASSERT_EQ(menu->actions().size(), 6);
  EXPECT_FALSE(menu->actions()[0]->isChecked());  // PosID hidden
  menu->actions()[4]->trigger();                  // hide "Subject"
  menu->actions()[0]->trigger();                  // show "PosID"
  view->hide();
  EXPECT_EQ(IniFile(t.path("Kolvane.ini")).value("fWaitTmpView", "SgColWi5"), "-1");
  EXPECT_EQ(IniFile(t.path("Kolvane.ini")).value("fWaitTmpView", "SgColWi1"), "64");
  openers.openView(ViewKind::WaitStore);
  EXPECT_EQ(view->columnWidths(), (QList<int>{64, -1, -1, 150, -1, 350}));
  EXPECT_TRUE(view->headerMenu()->actions()[0]->isChecked());
}

TEST_F(Views, WaitingViewReturnsAndDeletesThroughTheScan) {
  t.gs().cfg.PreSetTimeSw = true;
  t.write("SmtpWait.Tmp", records(3, "SendTime 2099-01-01 10:00:00"));
  openers.openView(ViewKind::WaitStore);
  openers.openView(ViewKind::Pop3Store);
  StoreView* wait = store("fWaitTmpView");
  ASSERT_TRUE(filled(wait->grid(), 3));

  struct Case {
    int row;
    const char* action;
    int rowsAfter;
  };
  for (const Case& k : {Case{0, "Return sender", 2}, Case{0, "Delete item", 1}}) {
    QMenu* menu = nullptr;
    const QPoint at = wait->grid()->visualItemRect(wait->grid()->item(k.row, 0)).center();
    Q_EMIT wait->grid()->customContextMenuRequested(at);
    menu = wait->waitMenu();
    ASSERT_TRUE(menu->isVisible()) << k.action;
    EXPECT_EQ(wait->PopUpPosID, wait->grid()->item(k.row, 1)->text().toUtf8());
    for (QAction* a : menu->actions()) {
      if (a->text() == k.action) a->trigger();
    }
    menu->hide();
    // A pending request withdraws the menu.
    Q_EMIT wait->grid()->customContextMenuRequested(at);
    EXPECT_FALSE(menu->isVisible());
    t.g().hooks().cycle.runWaitingStore();
    EXPECT_TRUE(t.gs().WaitStore.ReturnSenderID.isEmpty());
    EXPECT_TRUE(t.gs().WaitStore.DeleteItemID.isEmpty());
    // The view follows the scan.
    ASSERT_TRUE(filled(wait->grid(), k.rowsAfter));
  }
  const QList<tMailRec> waiting = t.records("SmtpWait.Tmp");
  ASSERT_EQ(waiting.size(), 1);
  EXPECT_EQ(waiting[0].PosID, "251130000002");
  const QList<tMailRec> returned = t.records("Pop3.Tmp");
  ASSERT_EQ(returned.size(), 1);
  EXPECT_TRUE(returned[0].Subj.startsWith("Manual return SMS: "));
  EXPECT_NE(returned[0].PosID, "251130000000");
  EXPECT_TRUE(t.traffic(t.gs().cfg.SmtpTxtMask).last().contains("!Manual delete SMS: !body 1"));
  EXPECT_EQ(wait->grid()->item(0, 1)->text(), "251130000002");
  EXPECT_TRUE(filled(store("fPop3TmpView")->grid(), 1));
}

TEST_F(Views, ClientViewSwitchesAPcOffSoItsNextConnectionIsRefused) {
  ClientView* view = clients("fSmtpCliView");
  openers.openView(ViewKind::SmtpClients);
  // An empty registry shows one empty row.
  EXPECT_EQ(view->grid()->rowCount(), 1);
  EXPECT_EQ(view->grid()->item(0, 1), nullptr);

  t.gs().cfg.DNSOff = true;
  ASSERT_TRUE(t.g().listeners().listenSmtp(FreePort()));
  t.gs().SmtpListen = true;
  const quint16 port = t.g().listeners().smtpPort();
  const auto until = [](const std::function<bool()>& done) {
    for (int i = 0; i < 2000 && !done(); ++i) {
      QTest::qWait(2);
    }
    return done();
  };
  {
    QTcpSocket pc;
    pc.connectToHost(QHostAddress::LocalHost, port);
    ASSERT_TRUE(until([&] { return view->grid()->item(0, 3) != nullptr; }));
    EXPECT_EQ(view->grid()->item(0, 3)->text(), "Connected");
    EXPECT_EQ(view->grid()->item(0, 1)->background().color(), QColor(Qt::white));
    const QPoint at = view->grid()->visualItemRect(view->grid()->item(0, 1)).center();
    Q_EMIT view->grid()->customContextMenuRequested(at);
    const QList<QAction*> items = view->dataMenu()->actions();
    EXPECT_FALSE(items[0]->isEnabled());  // Delete item
    EXPECT_FALSE(items[1]->isEnabled());  // Switch On/Off
    EXPECT_TRUE(items[2]->isEnabled());   // Disconnect
    view->dataMenu()->hide();
    pc.disconnectFromHost();
    ASSERT_TRUE(until([&] { return view->grid()->item(0, 3)->text() == "Disconnected"; }));
  }
  EXPECT_EQ(view->grid()->item(0, 1)->background().color(), QColor(192, 192, 192));
  const QPoint at = view->grid()->visualItemRect(view->grid()->item(0, 1)).center();
  Q_EMIT view->grid()->customContextMenuRequested(at);
  QAction* onOff = view->dataMenu()->actions()[1];
  ASSERT_TRUE(onOff->isEnabled());
  onOff->trigger();
  view->dataMenu()->hide();
  EXPECT_EQ(view->grid()->item(0, 2)->text(), "Off");

  QTcpSocket again;
  again.connectToHost(QHostAddress::LocalHost, port);
  ASSERT_TRUE(until([&] { return again.state() == QAbstractSocket::UnconnectedState; }));
  EXPECT_EQ(again.readAll(), "");
}

}  // namespace

TEST_F(Views, TitlesAndColumnTitlesFollowTheLanguage) {
  StoreView* view = store("fSmtpTmpView");
  ClientView* pop3 = clients("fPop3CliView");
  const struct {
    const char* language;
    const char* storeTitle;
    const char* subject;
    const char* clientsTitle;
  } cases[] = {{"CZ", "Prohlížeč Smtp.Tmp", "Předmět", "Prohlížeč POP3 klientů"},
               {"EN", "Smtp.Tmp  Explorer", "Subject", "Pop3 Clients Explorer"}};
  for (const auto& c : cases) {
    t.g().language().setLanguage(c.language);
    t.g().hooks().applyLanguageToWindows();
    EXPECT_EQ(view->windowTitle(), c.storeTitle);
    EXPECT_EQ(view->grid()->horizontalHeaderItem(5)->text(), c.subject);
    EXPECT_EQ(pop3->windowTitle(), c.clientsTitle);
    EXPECT_EQ(pop3->grid()->horizontalHeaderItem(5)->text(), "PosID");
  }
}
