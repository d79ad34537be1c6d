#include <gtest/gtest.h>

#include "unit/at_test_gateway.h"
#include "unit/qt_print.h"

namespace kolvane {
namespace {

const QByteArray kOk = "\r\nOK\r\n";
const QByteArray kError = "\r\nERROR\r\n";

// A modem whose SIM is in `sim` ("READY", "SIM PIN", "SIM PUK") and takes the PIN "1234".
struct SimModem {
  QByteArray sim = "READY";
  QByteArray registration = "1";
  bool refusesIndication = false;

  QByteArray operator()(const QByteArray& command) {
    if (command == "AT+CPIN?") return "\r\n+CPIN: " + sim + "\r\n" + kOk;
    if (command.startsWith("AT+CPIN=")) {  // echoed, as before "ATE0"
      if (command != "AT+CPIN=\"1234\"") return command + "\r\r\n+CME ERROR: 16\r\n";
      sim = "READY";
      return command + "\r" + kOk;
    }
    if (command == "AT+CREG?") return "\r\n+CREG: 0," + registration + "\r\n" + kOk;
    if (command.startsWith("AT+CNMI")) return refusesIndication ? "\r\n+CME ERROR: 3\r\n" : kOk;
    if (command.startsWith("AT+CMGL=")) return kOk;
    return kOk;
  }
};

class AtSim : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(t.started);
    t.gs().cfg.Debug = true;  // traces must not show the PIN either
  }
  QList<QByteArray> relation() {
    t.link().FirstOkPending = true;
    t.link().ListDone = false;
    KickOffAT(t.g());
    return t.converse(std::ref(modem));
  }
  QList<QByteArray> pinEntries(const QList<QByteArray>& commands) {
    QList<QByteArray> out;
    for (const QByteArray& c : commands)
      if (c.startsWith("AT+CPIN=")) out << c;
    return out;
  }
  QStringList logsWith(const char* text) {
    QStringList out;
    for (const QString& l : t.logs()) {
      EXPECT_FALSE(l.contains("1234") || l.contains("9999")) << qPrintable(l);
      if (l.contains(QLatin1String(text))) out << l;
    }
    return out;
  }

  AtTestGateway t;
  SimModem modem;
};

TEST_F(AtSim, SimStatesDecideWhetherThePinIsEnteredAndTheRelationGoesOn) {
  struct Case {
    const char* sim;
    const char* pin;
    bool entered;
    bool listed;
    const char* logged;
  };
  const Case cases[] = {
      {"READY", "1234", false, true, "GSM gateway connected"},
      {"SIM PIN", "1234", true, true, "SIM PIN entered"},
      {"SIM PIN", "", false, false, "SIM card asks for its PIN"},
      {"SIM PUK", "1234", false, false, "it asks for its PUK"},
  };
  for (const Case& c : cases) {
    AtTestGateway fresh;
    modem = SimModem{c.sim};
    fresh.gs().cfg.SimPin = QString::fromLatin1(c.pin);
    fresh.link().FirstOkPending = true;
    KickOffAT(fresh.g());
    const QList<QByteArray> commands = fresh.converse(std::ref(modem));
    EXPECT_EQ(commands.contains("AT+CPIN=\"1234\""), c.entered) << c.sim << c.pin;
    EXPECT_EQ(fresh.link().ListDone, c.listed) << c.sim << c.pin;
    EXPECT_EQ(fresh.gs().AlarmBeep, !c.listed) << c.sim << c.pin;
    const QStringList logs = fresh.logs();
    EXPECT_TRUE(std::any_of(logs.begin(), logs.end(),
                            [&](const QString& l) { return l.contains(QLatin1String(c.logged)); }))
        << c.sim << c.pin;
  }
}

TEST_F(AtSim, RefusedPinIsNeverTriedAgainUntilTheSettingChanges) {
  modem.sim = "SIM PIN";
  t.gs().cfg.SimPin = "9999";
  EXPECT_EQ(pinEntries(relation()).size(), 1);
  EXPECT_EQ(logsWith("SIM PIN refused").size(), 1);
  EXPECT_FALSE(t.link().ListDone);
  // Relation after relation: no try, no new line.
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(pinEntries(relation()).isEmpty());
  EXPECT_TRUE(logsWith("SIM PIN refused").isEmpty());
  t.gs().cfg.SimPin = "1234";
  EXPECT_EQ(pinEntries(relation()), QList<QByteArray>{"AT+CPIN=\"1234\""});
  EXPECT_EQ(logsWith("SIM PIN entered").size(), 1);
  EXPECT_TRUE(t.link().ListDone);
}

TEST_F(AtSim, NotRegisteredLogsOnceAndStillReads) {
  modem.registration = "2";
  relation();
  EXPECT_EQ(logsWith("GSM network not registered").size(), 1);
  EXPECT_TRUE(t.link().NotRegistered);
  EXPECT_TRUE(t.link().ListDone);
  relation();
  EXPECT_TRUE(logsWith("GSM network not registered").isEmpty());  // once while it lasts
  modem.registration = "5";                                       // roaming is registered
  relation();
  EXPECT_FALSE(t.link().NotRegistered);
}

TEST_F(AtSim, OnLineModeAsksForIndicationsUntilRefused) {
  t.gs().cfg.OnLine = true;
  EXPECT_TRUE(relation().contains("AT+CNMI=2,1,0,0,0"));
  EXPECT_TRUE(t.link().IndicationOn);
  EXPECT_TRUE(t.link().ListDone);
  modem.refusesIndication = true;
  EXPECT_TRUE(relation().contains("AT+CNMI=2,1,0,0,0"));
  EXPECT_FALSE(t.link().IndicationOn);
  EXPECT_TRUE(t.link().ListDone);  // polled as before
  EXPECT_FALSE(relation().contains("AT+CNMI=2,1,0,0,0"));
  t.gs().cfg.OnLine = false;
  t.link().IndicationRefused = false;
  EXPECT_FALSE(relation().contains("AT+CNMI=2,1,0,0,0"));
}

}  // namespace
}  // namespace kolvane
