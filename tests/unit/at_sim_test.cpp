#include <gtest/gtest.h>

#include <QFile>

#include "gsm/sim_pin_mark.h"
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
  QByteArray pinQueryError = {};  // "+CME ERROR: 14" (busy), "+CME ERROR: 10" (no SIM)
  bool pinUnanswered = false;

  QByteArray operator()(const QByteArray& command) {
    if (command == "AT+CPIN?" && !pinQueryError.isEmpty()) return "\r\n" + pinQueryError + "\r\n";
    if (command == "AT+CPIN?") return "\r\n+CPIN: " + sim + "\r\n" + kOk;
    if (command.startsWith("AT+CPIN=")) {  // echoed, as before "ATE0"
      if (command != "AT+CPIN=\"1234\"") return command + "\r\r\n+CME ERROR: 16\r\n";
      sim = "READY";
      return pinUnanswered ? command + "\r" : command + "\r" + kOk;
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
  // The relation goes on for ms, the watchdog run as the passes run it.
  QList<QByteArray> waits(std::uint32_t ms) {
    QList<QByteArray> commands;
    for (std::uint32_t waited = 0; waited < ms; waited += 250) {
      t.clock.advance(250);
      AnswerWatch(t.g(), t.clock.tick());
      commands += t.converse(std::ref(modem));
    }
    return commands;
  }
  QString fileMark() {
    return t.g().settingsFile()->value(QStringLiteral("CFG"), QStringLiteral("SimPinRefused"));
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
  EXPECT_EQ(logsWith("SIM PIN refused"),
            QStringList{"SIM PIN refused: +CME ERROR: 16 (incorrect PIN); it is not tried again "
                        "until SIM PIN is changed in the settings"});
  EXPECT_FALSE(t.link().ListDone);
  // The file holds a digest of the refused PIN at once, never the PIN.
  EXPECT_FALSE(fileMark().contains("9999"));
  EXPECT_TRUE(DigestMatches(fileMark(), "9999"));
  EXPECT_FALSE(DigestMatches(fileMark(), "1234"));
  // Relation after relation: no try, no new line.
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(pinEntries(relation()).isEmpty());
  EXPECT_TRUE(logsWith("SIM PIN refused").isEmpty());
  t.gs().cfg.SimPin = "1234";
  EXPECT_EQ(pinEntries(relation()), QList<QByteArray>{"AT+CPIN=\"1234\""});
  EXPECT_EQ(logsWith("SIM PIN entered").size(), 1);
  EXPECT_TRUE(t.link().ListDone);
  EXPECT_EQ(fileMark(), QString());
}

// The PIN's answer does not come in time: it is not written again, and the SIM's next answer
// decides whether it took.
TEST_F(AtSim, AnUnansweredPinIsNeverWrittenAgain) {
  for (const char* later : {"READY", "SIM PIN"}) {
    SCOPED_TRACE(later);
    AtTestGateway fresh;
    modem = SimModem{"SIM PIN"};
    modem.pinUnanswered = true;
    fresh.gs().cfg.SimPin = "1234";
    KickOffAT(fresh.g());
    QList<QByteArray> commands = fresh.converse(std::ref(modem));
    for (int i = 0; i < 10; ++i) {
      fresh.clock.advance(2000);
      AnswerWatch(fresh.g(), fresh.clock.tick());
      commands += fresh.converse(std::ref(modem));
    }
    EXPECT_EQ(pinEntries(commands).size(), 1);
    EXPECT_TRUE(fresh.logs().contains(
        "SIM PIN got no answer in time; it is not entered again, the SIM's next answer tells "
        "whether it took"));
    modem.sim = later;
    fresh.link().ListDone = false;
    ClearCommandInFlight(fresh.link());  // the next relation
    KickOffAT(fresh.g());
    commands = fresh.converse(std::ref(modem));
    EXPECT_TRUE(pinEntries(commands).isEmpty());
    const QStringList logs = fresh.logs();
    const bool took = QByteArray(later) == "READY";
    EXPECT_EQ(logs.contains("SIM PIN entered"), took);
    EXPECT_EQ(logs.filter("SIM PIN refused").size(), took ? 0 : 1);
    EXPECT_EQ(fresh.link().ListDone, took);
  }
}

// Without a place to remember a refusal the PIN is not risked.
TEST_F(AtSim, APinIsNotEnteredWhenItsMarkCannotBeWritten) {
  modem.sim = "SIM PIN";
  t.gs().cfg.SimPin = "1234";
  ASSERT_TRUE(t.g().settingsFile()->setValue("CFG", "Debug", "1"));
  QFile file(t.g().settingsFile()->path());
  ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner));
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(pinEntries(relation()).isEmpty());
  EXPECT_EQ(logsWith("cannot be written").size(), 1);
  EXPECT_TRUE(t.gs().AlarmBeep);
  ASSERT_TRUE(file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner));
  EXPECT_EQ(pinEntries(relation()).size(), 1);
  EXPECT_TRUE(t.link().ListDone);
}

// A busy SIM is asked again every 2 s for up to 30 s; a missing one is told once.
TEST_F(AtSim, BusyAndMissingSims) {
  modem.pinQueryError = "+CME ERROR: 14";
  QList<QByteArray> commands = relation();
  commands += waits(4000);
  EXPECT_EQ(commands.count("AT+CPIN?"), 2);
  EXPECT_FALSE(t.link().ListDone);
  modem.pinQueryError.clear();
  commands = waits(3000);
  EXPECT_EQ(commands.first(), "AT+CPIN?");
  EXPECT_TRUE(t.link().ListDone);
  EXPECT_TRUE(t.logs().filter("GSM gateway inactive").isEmpty());

  modem.pinQueryError = "+CME ERROR: 14";  // for ever: the relation goes on after 30 s
  commands = relation();
  commands += waits(33000);
  EXPECT_EQ(commands.count("AT+CPIN?"), 15);
  EXPECT_TRUE(t.link().ListDone);

  modem.pinQueryError = "+CME ERROR: 10";
  for (int i = 0; i < 3; ++i) {
    t.gs().AlarmBeep = false;
    commands = relation();
    EXPECT_EQ(commands.last(), "AT+CPIN?");  // nothing after it
    EXPECT_FALSE(t.link().ListDone);
    EXPECT_EQ(t.gs().AlarmBeep, i == 0);
  }
  EXPECT_EQ(logsWith("No SIM card in the modem").size(), 1);
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

// A refusal is asked again by the next relation; three in a row are given up until the module
// restarts.
TEST_F(AtSim, OnLineModeAsksForIndicationsUntilRefusedThreeTimes) {
  t.gs().cfg.OnLine = true;
  EXPECT_TRUE(relation().contains("AT+CNMI=2,1,0,0,0"));
  EXPECT_TRUE(t.link().IndicationOn);
  EXPECT_TRUE(t.link().ListDone);
  modem.refusesIndication = true;
  for (int i = 0; i < 3; ++i) {
    const QList<QByteArray> c = relation();
    EXPECT_EQ(c.count("AT+CNMI=2,1,0,0,0"), 1);
    EXPECT_FALSE(t.link().IndicationOn);
    EXPECT_TRUE(t.link().ListDone);  // polled as before
  }
  EXPECT_EQ(logsWith("refused to announce new SMS three times").size(), 1);
  EXPECT_FALSE(relation().contains("AT+CNMI=2,1,0,0,0"));
  t.line("SMS Ready");
  modem.refusesIndication = false;
  EXPECT_TRUE(relation().contains("AT+CNMI=2,1,0,0,0"));
  EXPECT_TRUE(t.link().IndicationOn);
  t.gs().cfg.OnLine = false;
  EXPECT_FALSE(relation().contains("AT+CNMI=2,1,0,0,0"));
}

}  // namespace
}  // namespace kolvane
