#include <gtest/gtest.h>
#include <sys/resource.h>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>

#include "core/alarm.h"
#include "core/gateway_start.h"
#include "core/received_sms_dispatch.h"
#include "core/run_command.h"
#include "core/waiting_sms_parts.h"
#include "mail/mail_rec.h"
#include "mail/quoted_printable.h"
#include "support/free_port.h"
#include "support/sim_modem_device.h"
#include "support/sim_time_loop.h"

using namespace kolvane;

namespace {

struct CommandCall {
  QByteArray telNo;
  QString commandLine, params;
};

// A headless gateway on a manual clock in a given folder (so that a second one can follow it
// there, as after a restart), whose serial port is the in-process simulated modem.
class Station {
 public:
  Station(const QString& dir, ManualClock& c, std::shared_ptr<SimModem> modem,
          const QByteArray& cfg)
      : clock(c), sim(std::move(modem)) {
    QFile ini(dir + "/Kolvane.ini");
    if (!ini.exists() && ini.open(QIODevice::WriteOnly)) {
      ini.write("[CFG]\n" + FreeMailPorts() + "ComTcp=0\nInterval=0\n" + cfg);
      ini.close();
    }
    StartupOptions o;
    o.programFile = QCoreApplication::applicationFilePath();
    o.programDir = dir;
    o.headless = true;
    gateway = std::make_unique<Gateway>(clock, o);
    gateway->log().setEchoSink([this](const QString& line) { shown << line.mid(10); });
    gateway->hooks().openSerial = [this](const SerialParams&) -> std::unique_ptr<DeviceLink> {
      return std::make_unique<SimModemDevice>(sim);
    };
    gateway->hooks().runSmsCommand = [this](const QByteArray& tel, const QString& cmd,
                                            const QString& params) {
      commands.push_back({tel, cmd, params});
    };
    gateway->hooks().speak = [this](const QString& text) { spoken << text; };
    loop = std::make_unique<SimTimeLoop>(*gateway, clock);
    EXPECT_TRUE(gateway->InitX());
    gateway->state().FirstPaintPending = false;
    path = dir + '/';
  }

  // One whole relation; the commands the modem saw.
  QList<QByteArray> relation() {
    sim->commands.clear();
    BBt1Click(*gateway, StartSender::Button);
    EXPECT_TRUE(loop->runUntil([&] { return gateway->state().RelationClosing; }, 60000));
    loop->runUntil([&] { return gateway->state().RelationIdle; }, 2000);
    return sim->commands;
  }

  // The records of the POP3 store with their bodies decoded.
  QList<tMailRec> pop3() const {
    QFile f(path + "Pop3.Tmp");
    QList<tMailRec> out;
    if (!f.open(QIODevice::ReadOnly)) return out;
    const QByteArray data = f.readAll();
    for (qsizetype off = 0; off < data.size();) {
      tMailRec rec = StrToMailRec(data.mid(off), {"Report", "SendTime", {}, clock.now()});
      if (rec.EndPos < 0) break;
      off += rec.EndPos + 1;
      rec.MimeBody = QpDecode(rec.MimeBody);
      out << rec;
    }
    return out;
  }

  ManualClock& clock;
  std::shared_ptr<SimModem> sim;
  std::unique_ptr<Gateway> gateway;
  std::unique_ptr<SimTimeLoop> loop;
  QString path;
  QStringList shown;
  std::vector<CommandCall> commands;
  QStringList spoken;
};

const DateTime kStart = toDateTime(QDateTime(QDate(2026, 12, 9), QTime(10, 0)));

// The modem and the station share one clock, also across a restart; the modem's time stamps
// follow it.
std::shared_ptr<SimModem> makeModem(ManualClock& clock) {
  modemsim::ModemConfig config;
  config.wallClock = [&clock] { return fromDateTime(clock.now()); };
  return std::make_shared<SimModem>(clock, config);
}

QList<int> inject(SimModem& sim, const QString& sender, const QString& text,
                  modemsim::Coding coding = modemsim::Coding::Auto) {
  modemsim::Injection sms;
  sms.sender = sender;
  sms.text = text;
  sms.coding = coding;
  return sim.modem.inject(sms, sim.clock.tick());
}

// A full disk while it lives: no file of this process may grow.
struct FullDisk {
  FullDisk() {
    std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &lim);
    saved = lim.rlim_cur;
    lim.rlim_cur = 1;
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~FullDisk() {
    lim.rlim_cur = saved;
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  FullDisk(const FullDisk&) = delete;
  FullDisk& operator=(const FullDisk&) = delete;
  rlimit lim{};
  rlim_t saved = 0;
};

QList<QByteArray> deletes(const QList<QByteArray>& commands) {
  QList<QByteArray> out;
  for (const QByteArray& c : commands) {
    if (c.startsWith("AT+CMGD=")) out << c;
  }
  return out;
}

const QString kCzech = QStringLiteral("Příliš žluťoučký kůň úpěl ďábelské ódy");
const QString kCyrillic = QStringLiteral("Привет, как дела?");
// The listing trims the end of a text, so the test text ends without a blank.
const QString kLong = QString(QStringLiteral("Long message in two parts. ")).repeated(8).trimmed();

void storesEverySmsAndDeletesThemInListOrder(const QByteArray& cfg) {
  QTemporaryDir dir;
  ManualClock clock(100000, kStart);
  auto sim = makeModem(clock);
  Station s(dir.path(), clock, sim, cfg);
  // The modem sees the station's time through its own clock, kept alike.
  inject(*sim, "+420777111222", "Hello\n.dot line");
  inject(*sim, "+420777333444", kLong);
  inject(*sim, "+420777555666", kCzech);
  inject(*sim, "+79161234567", kCyrillic);

  const QList<QByteArray> commands = s.relation();
  EXPECT_EQ(deletes(commands),
            (QList<QByteArray>{"AT+CMGD=1", "AT+CMGD=2", "AT+CMGD=3", "AT+CMGD=4", "AT+CMGD=5"}));
  EXPECT_EQ(sim->modem.storage(modemsim::Storage::SM).used(), 0);
  EXPECT_TRUE(s.shown.contains("POP3 server saved 5 SMS"));
  EXPECT_EQ(s.gateway->state().cfg.SmsInCnt, 5);

  const QList<tMailRec> recs = s.pop3();
  ASSERT_EQ(recs.size(), 4);
  EXPECT_EQ(recs[0].MimeBody, "Hello\n.dot line");
  EXPECT_EQ(recs[0].From, "<+420777111222@kolvane.lan>");
  EXPECT_EQ(recs[0].Toe, "<kolvane>");
  EXPECT_EQ(recs[0].Subj, "SMS from phone No.: +420777111222");
  EXPECT_EQ(recs[0].NamePC, "");
  EXPECT_EQ(recs[0].PosID, "261209000000");
  EXPECT_EQ(recs[1].MimeBody, kLong.toUtf8());
  EXPECT_EQ(recs[2].MimeBody, kCzech.toUtf8());
  EXPECT_EQ(recs[3].MimeBody, kCyrillic.toUtf8());
  EXPECT_EQ(recs[3].PosID, "261209000003");
  EXPECT_FALSE(QFile::exists(s.path + kSmsPartsFile));
}

}  // namespace

TEST(ReceivedSms, TextModeSingleConcatenatedAndUcs2) {
  storesEverySmsAndDeletesThemInListOrder("PDUText=1\n");
}

TEST(ReceivedSms, PduModeSingleConcatenatedAndUcs2) {
  storesEverySmsAndDeletesThemInListOrder("PDUText=0\n");
}

TEST(ReceivedSms, CommandsSpeechAndRoutingRules) {
  QTemporaryDir dir;
  ManualClock clock(100000, kStart);
  auto sim = makeModem(clock);
  Station s(dir.path(), clock, sim,
            "SmsToCmdSw=1\nSmsToTtsSw=1\nTimeToSubject=1\n"
            "[SmsToCmdTelNo]\nA0=+420777111222\n[SmsToCmdSubst]\nreport=/usr/bin/report\n"
            "[AliasComp]\nA0=PC7\n");
  inject(*sim, "+420777111222", "#command#report# -a  b=c");
  inject(*sim, "+420777111222", "#COMMAND#/bin/echo hi");
  inject(*sim, "+420777111222", "#Command#unknown#x");
  // Not an allowed number: the speech rule is tried next, then the store.
  inject(*sim, "+421777111222", "#command#report#x");
  inject(*sim, "+421777111222", "#tts#Dobrý den");
  inject(*sim, "+421777111222", "#TTS#");
  inject(*sim, "+421777111222", "#PC7#for PC seven");
  // No PC of that name: no route, the message is for every PC.
  inject(*sim, "+421777111222", "#1 priority: call me back #urgent");
  s.relation();

  // Only the listed name runs; the other two are ordinary messages.
  ASSERT_EQ(s.commands.size(), 1u);
  EXPECT_EQ(s.commands[0].telNo, "+420777111222");
  EXPECT_EQ(s.commands[0].commandLine, "/usr/bin/report");
  EXPECT_EQ(s.commands[0].params, "-a  b=c");
  EXPECT_EQ(s.shown.filter("names no listed command").size(), 2);
  EXPECT_EQ(s.spoken, QStringList{QStringLiteral("Dobrý den")});
  EXPECT_TRUE(s.shown.contains(QStringLiteral("TtsVoiceSpeak begin \\/  \\/  \\/ |Dobrý den|")));
  EXPECT_EQ(s.shown.filter("TtsVoiceSpeak").size(), 2);
  EXPECT_TRUE(s.shown.contains("POP3 server saved 8 SMS"));

  const QList<tMailRec> recs = s.pop3();
  ASSERT_EQ(recs.size(), 8);
  EXPECT_EQ(recs[0].NamePC, "localhost");
  EXPECT_EQ(recs[0].Subj, "SMS from phone No.: +420777111222 SMS to Command Line");
  EXPECT_EQ(recs[0].MimeBody, "#command#report# -a  b=c\r\nCommand Line: /usr/bin/report");
  EXPECT_EQ(recs[1].MimeBody, "#COMMAND#/bin/echo hi");
  EXPECT_TRUE(recs[1].Subj.endsWith(" SMS from phone No.: +420777111222"));
  EXPECT_EQ(recs[2].MimeBody, "#Command#unknown#x");
  // From another country prefix it is an ordinary message, with the time stamp in front.
  EXPECT_EQ(recs[3].MimeBody, "#command#report#x");
  EXPECT_TRUE(recs[3].Subj.endsWith(" SMS from phone No.: +421777111222"));
  EXPECT_TRUE(recs[3].Subj.startsWith("26/12/09,"));
  EXPECT_EQ(recs[4].Subj, "SMS from phone No.: +421777111222 SMS to Text-to-Speech");
  EXPECT_EQ(recs[4].MimeBody,
            QStringLiteral("#tts#Dobrý den\r\nText-to-Speech: Dobrý den").toUtf8());
  EXPECT_EQ(recs[5].MimeBody, "#TTS#\r\nText-to-Speech - error");
  EXPECT_EQ(recs[6].NamePC, "PC7");
  EXPECT_EQ(recs[7].NamePC, "");
  // A refused command reaches every PC, not one named like the command word.
  for (int i : {1, 2, 3}) EXPECT_EQ(recs[i].NamePC, "") << i;
}

// A device that cannot delete lists the same entries again at every relation, and a store
// that cannot take a listing has it read again: a command runs once and a text is spoken once
// per listed entry, its report stored once, the undeleted entry logged once.
TEST(ReceivedSms, CommandAndSpeechRunOncePerListedEntry) {
  struct Case {
    const char* what;
    QString text;
    const char* noticed;
  };
  const Case cases[] = {
      {"command", QStringLiteral("#command#log#hello"), "Command SMS from +420777111222 at SM 1"},
      {"speech", QStringLiteral("#TTS#Dobrý den"),
       "Speech SMS from +420777111222 at SM 1 was not deleted: it is not spoken"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    QTemporaryDir dir;
    ManualClock clock(100000, kStart);
    auto sim = makeModem(clock);
    Station s(dir.path(), clock, sim,
              "SmsToCmdSw=1\nSmsToTtsSw=1\n[SmsToCmdTelNo]\nA0=+420777111222\n"
              "[SmsToCmdSubst]\nlog=/usr/bin/logger\n");
    sim->modem.faults().errorOn << "AT+CMGD*";
    inject(*sim, "+420777111222", c.text);
    {
      // The first listing's store write fails: the action has run, its report is not stored.
      const FullDisk full;
      s.relation();
    }
    for (int i = 0; i < 3; ++i) s.relation();
    EXPECT_EQ(s.commands.size() + s.spoken.size(), 1u);
    EXPECT_EQ(s.pop3().size(), 1);
    EXPECT_EQ(s.shown.filter(QLatin1String(c.noticed)).size(), 1)
        << s.shown.join('\n').toStdString();
    EXPECT_EQ(sim->modem.storage(modemsim::Storage::SM).used(), 1);
  }
}

TEST(ReceivedSms, OnlyListedNamesMakeCommands) {
  const QList<SmsToCmdSubstType> subst = {
      {"report", "/usr/bin/report"}, {"empty", ""}, {"twice", "/bin/a"}, {"twice", "/bin/b"}};
  struct Case {
    QString rest;
    std::optional<SmsCommand> command;
  };
  const Case cases[] = {
      {"report# -a  b=c", SmsCommand{"/usr/bin/report", "-a  b=c"}},
      {"report#", SmsCommand{"/usr/bin/report", ""}},
      {"twice#x", SmsCommand{"/bin/b", "x"}},  // the last entry of a name wins
      {"/usr/bin/touch /tmp/x", std::nullopt},
      {"../../usr/bin/touch", std::nullopt},
      {"Report#x", std::nullopt},  // names match exactly
      {"unknown#x", std::nullopt},
      {"empty#x", std::nullopt},
      {"#x", std::nullopt},
  };
  for (const Case& c : cases) {
    const auto got = SmsCommandFromText(c.rest, QStringLiteral("#"), subst);
    ASSERT_EQ(got.has_value(), c.command.has_value()) << c.rest.toStdString();
    if (got) {
      EXPECT_EQ(got->commandLine, c.command->commandLine);
      EXPECT_EQ(got->params, c.command->params);
    }
  }
}

TEST(ReceivedSms, WaitingPartsSurviveARestartAndAreJoined) {
  QTemporaryDir dir;
  ManualClock clock(100000, kStart);
  auto sim = makeModem(clock);
  modemsim::Injection sms;
  sms.sender = "+420777111222";
  sms.parts = {"First half, ", "second half."};
  sms.reference = 77;
  {
    Station s(dir.path(), clock, sim, {});
    const QList<int> idx = sim->modem.inject(sms, clock.tick());
    sim->modem.storage(modemsim::Storage::SM).remove(idx[1]);  // part 2 still on its way
    EXPECT_EQ(deletes(s.relation()), QList<QByteArray>{"AT+CMGD=" + QByteArray::number(idx[0])});
    EXPECT_TRUE(s.pop3().isEmpty());
    EXPECT_TRUE(QFile::exists(s.path + kSmsPartsFile));
    EXPECT_TRUE(s.shown.contains("POP3 server saved 1 SMS"));
  }
  clock.setNow(kStart + 0.5);
  Station s(dir.path(), clock, sim, {});
  ASSERT_EQ(s.gateway->link().SmsLongArr.size(), 1);
  const QList<int> idx = sim->modem.inject(sms, clock.tick());
  sim->modem.storage(modemsim::Storage::SM).remove(idx[0]);  // part 1 was read before
  s.relation();
  const QList<tMailRec> recs = s.pop3();
  ASSERT_EQ(recs.size(), 1);
  EXPECT_EQ(recs[0].MimeBody, "First half, second half.");
  EXPECT_FALSE(QFile::exists(s.path + kSmsPartsFile));
  EXPECT_TRUE(s.gateway->link().SmsLongArr.isEmpty());
}

TEST(ReceivedSms, IncompleteMessageIsDeliveredADayAfterItsFirstPart) {
  QTemporaryDir dir;
  ManualClock clock(100000, kStart);
  auto sim = makeModem(clock);
  Station s(dir.path(), clock, sim, {});
  modemsim::Injection sms;
  sms.sender = "+420777111222";
  sms.parts = {"one ", "two ", "three"};
  const QList<int> idx = sim->modem.inject(sms, clock.tick());
  sim->modem.storage(modemsim::Storage::SM).remove(idx[1]);
  s.relation();
  EXPECT_TRUE(s.pop3().isEmpty());

  // Not yet a day: nothing moves.
  s.clock.setNow(kStart + 0.9);
  DeliverOverdueParts(*s.gateway);
  EXPECT_TRUE(s.pop3().isEmpty());

  // A day later another SMS comes; the listing settles the overdue message too.
  s.clock.setNow(kStart + 1.01);
  inject(*sim, "+420777999888", "Unrelated");
  s.relation();
  const QList<tMailRec> recs = s.pop3();
  ASSERT_EQ(recs.size(), 2);
  EXPECT_EQ(recs[0].MimeBody, "Unrelated");
  EXPECT_EQ(recs[1].MimeBody, QStringLiteral("one […]three").toUtf8());
  EXPECT_EQ(recs[1].From, "<+420777111222@kolvane.lan>");
  EXPECT_FALSE(QFile::exists(s.path + kSmsPartsFile));
}

TEST(ReceivedSms, OverduePartsLoadedAtStartAreDeliveredThen) {
  QTemporaryDir dir;
  ManualClock clock(100000, kStart);
  auto sim = makeModem(clock);
  {
    QFile parts(dir.path() + '/' + kSmsPartsFile);
    ASSERT_TRUE(parts.open(QIODevice::WriteOnly));
    parts.write("P\t" + QByteArray::number(kStart - 2, 'g', 17) +
                "\t5\t2\t2\t+420777111222\t26/12/07,10:00:00+04\tsecond=3D3D2\r\n"
                "garbage line\r\nP\tx\t1\t2\t1\t\t\t\r\n");
  }
  Station s(dir.path(), clock, sim, {});
  const QList<tMailRec> recs = s.pop3();
  ASSERT_EQ(recs.size(), 1);
  EXPECT_EQ(recs[0].MimeBody, QStringLiteral("[…]second=2").toUtf8());
  EXPECT_EQ(s.shown.filter("not readable").size(), 2);
  EXPECT_FALSE(QFile::exists(s.path + kSmsPartsFile));
}

TEST(ReceivedSms, NamedSendersArriveByNameAndNeverRunCommands) {
  for (const QByteArray mode : {"PDUText=1\n", "PDUText=0\n"}) {
    SCOPED_TRACE(mode.data());
    QTemporaryDir dir;
    ManualClock clock(100000, kStart);
    auto sim = makeModem(clock);
    Station s(dir.path(), clock, sim,
              mode +
                  "SmsToCmdSw=1\n[SmsToCmdTelNo]\nA0=111111111\nA1=+420777111222\n"
                  "[SmsToCmdSubst]\nreport=/usr/bin/report\n");
    auto named = [&](const QString& name, const QString& text) {
      modemsim::Injection sms;
      sms.sender = name;
      sms.text = text;
      sms.alphanumericSender = true;
      sim->modem.inject(sms, clock.tick());
    };
    named("111111111", "#command#report#x");  // spelled like an allowed number
    named("InfoSMS", "Your code");
    named("Info SMS<1>", "Spaced");
    inject(*sim, "+420777111222", "#command#report#y");
    EXPECT_EQ(deletes(s.relation()).size(), 4);

    ASSERT_EQ(s.commands.size(), 1u);
    EXPECT_EQ(s.commands[0].telNo, "+420777111222");
    EXPECT_EQ(s.shown.filter("refused").size(), 1);
    QList<QByteArray> got;
    for (const tMailRec& r : s.pop3())
      got << r.From + " | " + r.Subj + " | " + r.MimeBody + " | " + r.NamePC;
    EXPECT_EQ(got.mid(0, 3),
              (QList<QByteArray>{
                  "<name.1-1-1-1-1-1-1-1-1@kolvane.lan> | SMS from: 111111111 (name) | "
                  "#command#report#x | ",
                  "<name.InfoSMS@kolvane.lan> | SMS from: InfoSMS (name) | Your code | ",
                  "<name.Info_SMS_1_@kolvane.lan> | SMS from: Info SMS<1> (name) | Spaced | "}));
    ASSERT_EQ(got.size(), 4);
    EXPECT_TRUE(got[3].contains(" SMS to Command Line | "));
  }
}

TEST(ReceivedSms, PartsOfTwoSendersWithOneReferenceStayApart) {
  QTemporaryDir dir;
  ManualClock clock(100000, kStart);
  auto sim = makeModem(clock);
  Station s(dir.path(), clock, sim, "PDUText=0\n");
  auto parts = [&](const QString& sender, int reference, const QStringList& texts) {
    modemsim::Injection sms;
    sms.sender = sender;
    sms.parts = texts;
    sms.reference = reference;
    return sim->modem.inject(sms, clock.tick());
  };
  parts("+420777111222", 7, {"One ", "two"});
  parts("+420777333444", 7, {"Three ", "four"});
  parts("+420777333444", 0x0107, {"Five ", "six"});
  const QList<int> late = parts("+420777333444", 0x0207, {"Seven ", "eight"});
  sim->modem.storage(modemsim::Storage::SM).remove(late[1]);  // still on its way
  s.relation();
  QList<QByteArray> got;
  for (const tMailRec& r : s.pop3()) got << r.From + " " + r.MimeBody;
  EXPECT_EQ(got, (QList<QByteArray>{"<+420777111222@kolvane.lan> One two",
                                    "<+420777333444@kolvane.lan> Three four",
                                    "<+420777333444@kolvane.lan> Five six"}));
  // The waiting part keeps its whole reference, sender and type on disk.
  QFile parts_(s.path + kSmsPartsFile);
  ASSERT_TRUE(parts_.open(QIODevice::ReadOnly));
  const QList<QByteArray> f = parts_.readAll().trimmed().split('\t');
  ASSERT_EQ(f.size(), 9);
  EXPECT_EQ(f[2], "519");
  EXPECT_EQ(f[5], "+420777333444");
  EXPECT_EQ(f[8], "145");
}

TEST(ReceivedSms, UndecodableEntriesReachTheMailboxAndLeaveTheDevice) {
  QTemporaryDir dir;
  ManualClock clock(100000, kStart);
  auto sim = makeModem(clock);
  Station s(dir.path(), clock, sim, "PDUText=0\n");
  modemsim::Injection raw;
  raw.sender = "-";
  raw.rawEntry = "1,,12\r\n00040C9124707711212200004250100102030005C8";  // cut short
  sim->modem.inject(raw, clock.tick());
  raw.rawEntry = "1,,4\r\n00040B9113";  // not even a whole sender
  sim->modem.inject(raw, clock.tick());
  inject(*sim, "+420777111222", "Fine");
  EXPECT_EQ(deletes(s.relation()).size(), 3);
  EXPECT_EQ(sim->modem.storage(modemsim::Storage::SM).used(), 0);
  const QList<tMailRec> recs = s.pop3();
  ASSERT_EQ(recs.size(), 3);
  EXPECT_EQ(recs[0].Subj, "Undecodable SMS: +420777111222");
  EXPECT_EQ(recs[0].MimeBody, "+CMGL: 1,1,,12\r\n00040C9124707711212200004250100102030005C8");
  EXPECT_EQ(recs[1].Subj, "Undecodable SMS: 2");
  EXPECT_EQ(recs[1].From, "<kolvane>");
  EXPECT_EQ(recs[2].MimeBody, "Fine");
}

TEST(ReceivedSms, BodyCutByAStallIsReadWholeNextTime) {
  QTemporaryDir dir;
  ManualClock clock(100000, kStart);
  auto sim = makeModem(clock);
  Station s(dir.path(), clock, sim, "PDUText=1\n");
  inject(*sim, "+420777111222", "Whole text of the first message");
  inject(*sim, "+420777333444", "Second");
  sim->modem.faults().stallBodyMs = 3000;
  // The first body stops half way: the second comes after the stall and is stored, the first
  // stays in the device.
  EXPECT_EQ(deletes(s.relation()), QList<QByteArray>{"AT+CMGD=2"});
  EXPECT_TRUE(
      s.shown.contains("SMS 1 incomplete when the listing stalled, left for the next "
                       "reading"));
  EXPECT_EQ(deletes(s.relation()), QList<QByteArray>{"AT+CMGD=1"});
  QList<QByteArray> bodies;
  for (const tMailRec& r : s.pop3()) bodies << r.MimeBody;
  EXPECT_EQ(bodies, (QList<QByteArray>{"Second", "Whole text of the first message"}));
}

TEST(ReceivedSms, AlarmBeepsUntilItsWindowIsClosedAndComesBackWithTheNextSms) {
  QTemporaryDir dir;
  ManualClock clock(100000, kStart);
  auto sim = makeModem(clock);
  Station s(dir.path(), clock, sim, "InSmsAlarmStr=Door open\n");
  int shown = 0, beeps = 0;
  s.gateway->hooks().cycle.showAlarmWindow = [&] { ++shown; };
  s.gateway->hooks().cycle.beep = [&] { ++beeps; };
  s.relation();
  EXPECT_EQ(shown, 0);  // nothing listed, no alarm
  inject(*sim, "+420777111222", "Alarm!");
  s.relation();
  EXPECT_EQ(shown, 1);
  EXPECT_TRUE(s.gateway->state().AlarmBeep);
  beeps = 0;
  s.loop->run(2200);  // 22 ticks: a beep every 11
  EXPECT_EQ(beeps, 2);

  CloseAlarm(s.gateway->state());
  s.loop->run(2200);
  EXPECT_EQ(beeps, 2);
  inject(*sim, "+420777111222", "Again");
  s.relation();
  EXPECT_EQ(shown, 2);
  EXPECT_TRUE(s.gateway->state().AlarmBeep);

  // Without windows: one line and one bell per listing, nothing left beeping.
  CloseAlarm(s.gateway->state());
  QStringList lines;
  int bells = 0;
  installHeadlessAlarm(
      *s.gateway, [&](const QString& line) { lines << line; }, [&] { ++bells; });
  inject(*sim, "+420777111222", "Third");
  s.relation();
  s.loop->run(2200);
  EXPECT_EQ(lines, QStringList{"Kolvane - Alarm: Door open"});
  EXPECT_EQ(bells, 1);
  EXPECT_FALSE(s.gateway->state().AlarmBeep);
}

TEST(ReceivedSms, SmsTheStoreCouldNotTakeStayInTheDeviceUntilStored) {
  QTemporaryDir dir;
  ManualClock clock(100000, kStart);
  auto sim = makeModem(clock);
  Station s(dir.path(), clock, sim, {});
  inject(*sim, "+420777111222", "kept while the disk is full");
  QList<QByteArray> failed;
  {
    const FullDisk full;
    failed = s.relation();
  }
  EXPECT_TRUE(deletes(failed).isEmpty());
  EXPECT_EQ(sim->modem.storage(modemsim::Storage::SM).used(), 1);
  EXPECT_TRUE(s.pop3().isEmpty());

  EXPECT_EQ(deletes(s.relation()), QList<QByteArray>{"AT+CMGD=1"});
  const QList<tMailRec> recs = s.pop3();
  ASSERT_EQ(recs.size(), 1);
  EXPECT_EQ(recs[0].MimeBody, "kept while the disk is full");
}

TEST(ReceivedSms, AnOverdueMessageTheStoreCouldNotTakeKeepsItsParts) {
  QTemporaryDir dir;
  ManualClock clock(100000, kStart);
  auto sim = makeModem(clock);
  Station s(dir.path(), clock, sim, {});
  modemsim::Injection sms;
  sms.sender = "+420777111222";
  sms.parts = {"one ", "two"};
  const QList<int> idx = sim->modem.inject(sms, clock.tick());
  sim->modem.storage(modemsim::Storage::SM).remove(idx[1]);
  s.relation();
  const QByteArray waiting = [&] {
    QFile f(s.path + kSmsPartsFile);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }();
  ASSERT_FALSE(waiting.isEmpty());
  s.clock.setNow(kStart + 1.01);
  // Both ways an overdue message reaches the store: the hourly check and a listing.
  for (const bool byListing : {false, true}) {
    {
      const FullDisk full;
      if (byListing) {
        inject(*sim, "+420777999888", "Unrelated");
        s.relation();
      } else {
        DeliverOverdueParts(*s.gateway);
      }
    }
    EXPECT_TRUE(s.pop3().isEmpty()) << byListing;
    EXPECT_EQ(s.gateway->link().SmsLongArr.size(), 1) << byListing;
    QFile f(s.path + kSmsPartsFile);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), waiting) << byListing;
  }
  DeliverOverdueParts(*s.gateway);
  const QList<tMailRec> recs = s.pop3();
  ASSERT_EQ(recs.size(), 1);
  EXPECT_EQ(recs[0].MimeBody, QStringLiteral("one […]").toUtf8());
}

// Only the same entry listed again is the same SMS: one whose delete failed is not stored
// twice, while another alike in sender, time stamp and text, at the place the first left, is.
TEST(ReceivedSms, SmsStoredButNotDeletedAreNotStoredAgain) {
  QTemporaryDir dir;
  ManualClock clock(100000, kStart);
  auto sim = makeModem(clock);
  Station s(dir.path(), clock, sim, {});
  modemsim::Injection sms;
  sms.sender = "+420777111222";
  sms.text = "stored once";
  sms.time = fromDateTime(kStart);
  sim->modem.inject(sms, clock.tick());
  sim->modem.faults().errorOn = QStringList{"AT+CMGD*"};
  s.relation();
  EXPECT_EQ(sim->modem.storage(modemsim::Storage::SM).used(), 1);
  sim->modem.faults().errorOn.clear();
  EXPECT_EQ(deletes(s.relation()), QList<QByteArray>{"AT+CMGD=1"});
  EXPECT_EQ(s.pop3().size(), 1);
  EXPECT_EQ(s.shown.filter("POP3 server saved 0 SMS").size(), 1);
  EXPECT_EQ(s.gateway->state().cfg.SmsInCnt, 1);

  sim->modem.inject(sms, clock.tick());
  EXPECT_EQ(deletes(s.relation()), QList<QByteArray>{"AT+CMGD=1"});
  EXPECT_EQ(s.pop3().size(), 2);
  EXPECT_EQ(s.shown.filter("POP3 server saved 1 SMS").size(), 2);
}
