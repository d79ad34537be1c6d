// Lists the program grows while it runs keep a bound, and give way in the right order.
#include <gtest/gtest.h>
#include <QTemporaryDir>

#include "context/gateway_state.h"
#include "mail/client_registry.h"
#include "mail/pop3_routing.h"
#include "platform/ini_file.h"

using namespace kolvane;

TEST(BoundedLists, AFullRegistryMakesRoomByItsOldestSwitchedOffEntryNeverASwitchedOnOne) {
  QTemporaryDir dir;
  IniFile file(dir.filePath("Kolvane.ini"));
  ClientRegistry r(QStringLiteral("SmtpCliDT"), QStringLiteral("SmtpCliOn"));
  const ClientRegistry::Limit noLimit;
  for (int i = 0; i < ClientRegistry::kMax; ++i) {
    r.connect(QStringLiteral("pc%1").arg(i), 0, 100 + i, noLimit, nullptr).ConOn = false;
  }
  r.find("pc7")->SetOn = false;  // switched off by the operator
  r.find("pc3")->SetOn = false;  // older: goes first
  r.connect("new1", 0, 5000, noLimit, &file).ConOn = false;
  EXPECT_EQ(r.clients().size(), ClientRegistry::kMax);
  EXPECT_EQ(r.indexOf("pc3"), -1);
  EXPECT_TRUE(r.find("new1")->SetOn);
  r.connect("new2", 0, 5001, noLimit, &file).ConOn = false;
  EXPECT_EQ(r.indexOf("pc7"), -1);
  // Only switched-on PCs left: a stranger is registered, but not admitted, and gives way next.
  EXPECT_FALSE(r.connect("new3", 0, 5002, noLimit, &file).SetOn);
  r.find("new3")->ConOn = false;
  EXPECT_FALSE(r.connect("new4", 0, 5003, noLimit, &file).SetOn);
  EXPECT_EQ(r.indexOf("new3"), -1);
  EXPECT_EQ(r.clients().size(), ClientRegistry::kMax + 1);
  EXPECT_FALSE(file.read().value("SmtpCliDT", "new3").has_value());
  EXPECT_TRUE(file.read().value("SmtpCliDT", "new4").has_value());
}

TEST(BoundedLists, RoutingEntriesDropTheirExpiredOnesThenTheOneEndingFirst) {
  GatewayState gs;
  NoteAutoRoute(gs, "+1", "pc1", 10, 0);
  NoteAutoRoute(gs, "+2", "pc2", 20, 0);
  NoteAutoRoute(gs, "+1", "pc3", 30, 0);  // the same number: its entry changes
  ASSERT_EQ(gs.AutoPop3RoutArr.size(), 2);
  EXPECT_EQ(gs.AutoPop3RoutArr[0].NamePC, "pc3");
  NoteAutoRoute(gs, "+3", "pc1", 40, 25);  // +2 has ended
  ASSERT_EQ(gs.AutoPop3RoutArr.size(), 2);
  EXPECT_EQ(gs.AutoPop3RoutArr[1].TelNo, "+3");
  for (int i = 0; i < 2 * kMaxAutoRoutes; ++i) {
    NoteAutoRoute(gs, QByteArray::number(1000 + i), "pc", 100 + i, 25);
  }
  EXPECT_EQ(gs.AutoPop3RoutArr.size(), kMaxAutoRoutes);
  EXPECT_EQ(gs.AutoPop3RoutArr.back().TelNo, QByteArray::number(999 + 2 * kMaxAutoRoutes));
}
