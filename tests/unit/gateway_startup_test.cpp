#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QSysInfo>
#include <QTemporaryDir>

#include "core/gateway.h"
#include "core/settings_reload.h"
#include "mail/tls_identity.h"
#include "mail/tls_pem.h"
#include "platform/regional.h"

using namespace kolvane;

namespace {

class GatewayStartup : public ::testing::Test {
 protected:
  std::unique_ptr<Gateway> make(const QString& text = {}) {
    StartupOptions o;
    // The test binary stands in for the program file: it lies outside the temporary folder.
    o.programFile = QCoreApplication::applicationFilePath();
    o.programDir = dir.path();
    o.commandLineText = text;
    o.headless = true;
    return std::make_unique<Gateway>(clock, o);
  }
  void writeIni(const QByteArray& text) {
    QFile f(dir.filePath("Kolvane.ini"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(text);
  }
  QStringList drain(Gateway& g) {
    QStringList lines;
    while (auto l = g.log().takePendingLine()) lines << l->mid(10);
    return lines;
  }

  QTemporaryDir dir;
  ManualClock clock{5000, toDateTime(QDateTime(QDate(2026, 12, 9), QTime(10, 0)))};
};

}  // namespace

TEST_F(GatewayStartup, FreshFolderStartsWithDefaultsAndSavesWhatChangedAtClose) {
  auto g = make();
  ASSERT_TRUE(g->InitX());
  const GatewayState& gs = g->state();
  EXPECT_EQ(gs.MainCaption, "Kolvane");
  EXPECT_EQ(gs.StartStopCaption, "Start");
  EXPECT_EQ(gs.CounterDateText, "9.12.");
  EXPECT_EQ(gs.cfg.SmsOutCnt, 0);
  EXPECT_TRUE(gs.RelationIdle);
  // The separator line of a new run, the missing settings file, the mail servers' certificate
  // made for this machine.
  ASSERT_TRUE(gs.MailTls && gs.MailTls->own);
  const QString crt = dir.filePath("Kolvane.crt");
  EXPECT_EQ(drain(*g),
            (QStringList{"",
                         QStringLiteral("Settings file %1 not found: the defaults are used")
                             .arg(dir.filePath("Kolvane.ini")),
                         QStringLiteral("The gateway's own TLS certificate %1 was made for %2")
                             .arg(crt, QSysInfo::machineHostName()),
                         QStringLiteral("Mail servers' TLS certificate: %1, SHA-256 fingerprint %2")
                             .arg(crt, gs.MailTls->fingerprint)}));
  g->state().cfg.SmsOutCnt = 2;
  QSignalSpy finished(g.get(), &Gateway::finished);
  ASSERT_TRUE(g->requestClose());
  EXPECT_TRUE(finished.wait(1000));
  const IniText saved = IniFile(dir.filePath("Kolvane.ini")).read();
  EXPECT_EQ(saved.keys("CFG"), (QStringList{"SmsOutCnt", "DTSaveToIni"}));
  EXPECT_EQ(saved.value("CFG", "DTSaveToIni"), regional::formatDateTime(clock.now()));
}

TEST_F(GatewayStartup, AReloadAppliesWhatCanChangeAndNamesWhatWaitsForAStart) {
  writeIni(
      "[CFG]\nOnLine=1\nIntervalOnLine=60000\nSendSMSDelay=1000\nSmtpPort=2999\n"
      "[SmsToCmdTelNo]\nA0=+420111\n");
  auto g = make();
  ASSERT_TRUE(g->InitX());
  drain(*g);
  writeIni(
      "[CFG]\nOnLine=1\nIntervalOnLine=2000\nSendSMSDelay=300\nSmtpPort=3000\n"
      "Language=CZ\n[SmsToCmdTelNo]\nA0=+420222\n");
  reloadSettings(*g);
  const GatewayState& gs = g->state();
  EXPECT_EQ(gs.IntervalMs, 2000u);
  EXPECT_EQ(gs.cfg.SendSMSDelay, 300);
  EXPECT_EQ(gs.cfg.SmtpPort, 2999);
  EXPECT_EQ(gs.SmsToCmdTelNo, QStringList{"+420222"});
  EXPECT_EQ(g->language().id(), LanguageId::Cz);
  EXPECT_EQ(drain(*g), (QStringList{"Nastavení znovu načteno",
                                    "Nastavení: SmtpPort se projeví při příštím startu"}));
  // The file's values are the administrator's: the close writes none of them back.
  const QByteArray before = [this] {
    QFile f(dir.filePath("Kolvane.ini"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }();
  EXPECT_TRUE(g->requestClose());
  QFile f(dir.filePath("Kolvane.ini"));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), before);
}

TEST_F(GatewayStartup, AReloadServesAReplacedNamedCertificate) {
  const auto named = [this](const char* host) {
    const auto pem = makeSelfSignedPem(QLatin1String(host), {}, nullptr);
    QFile f(dir.filePath("office.pem"));
    EXPECT_TRUE(pem && f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(pem->certificate + pem->key);
  };
  named("first");
  writeIni("[CFG]\nTlsCertFile=office.pem\n");
  auto g = make();
  ASSERT_TRUE(g->InitX());
  const auto cn = [&g] {
    return g->state().MailTls->certificate.subjectInfo(QSslCertificate::CommonName);
  };
  EXPECT_EQ(cn(), QStringList{"first"});
  named("second");
  drain(*g);
  reloadSettings(*g);
  EXPECT_EQ(cn(), QStringList{"second"});
  EXPECT_EQ(drain(*g).filter(g->state().MailTls->fingerprint).size(), 1);
  EXPECT_FALSE(QFile::exists(dir.filePath("Kolvane.crt")));
}

TEST_F(GatewayStartup, LampsFollowTheStoreFiles) {
  for (const char* name : {"Smtp.Tmp", "SmtpWait.Tmp"}) {
    QFile f(dir.filePath(name));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  }
  writeIni("[CFG]\nPreSetTimeSw=1\n");
  auto g = make();
  ASSERT_TRUE(g->InitX());
  EXPECT_EQ(g->state().Lamps.smtpBits, kLampStore);
  EXPECT_EQ(g->state().Lamps.pop3Bits, 0);
  EXPECT_EQ(g->state().WaitLamp, 3);
}

TEST_F(GatewayStartup, CloseIsRefusedDuringARelation) {
  writeIni("[CFG]\nLanguage=cz\nCloseOff=1\n");
  auto g = make();
  ASSERT_TRUE(g->InitX());
  drain(*g);
  g->state().RelationIdle = false;
  g->state().ShortcutClose = true;
  EXPECT_FALSE(g->requestClose());
  EXPECT_FALSE(g->state().ShortcutClose);
  EXPECT_EQ(drain(*g), QStringList{"Ukončení odmítnuto - ukončení je možné po dokončení relace"});
  g->state().RelationIdle = true;
  EXPECT_TRUE(g->requestClose());
}

TEST_F(GatewayStartup, SecondInstanceOnTheSameFolderEnds) {
  auto first = make();
  ASSERT_TRUE(first->InitX());
  writeIni("[CFG]\nRunParamAsSMS=1\n");
  auto second = make("hello there");
  EXPECT_FALSE(second->InitX());
  // The text was queued for the running copy first.
  EXPECT_EQ(IniFile(dir.filePath("Kolvane.ini")).value("ParamAsSMS", "1"), "hello there");
  EXPECT_TRUE(second->anotherCopyRuns() && second->textHandedOver());
  EXPECT_EQ(second->exitCode(), 0);
  // Without a text to hand over the refusal is a failure.
  auto empty = make();
  EXPECT_FALSE(empty->InitX());
  EXPECT_TRUE(empty->anotherCopyRuns() && !empty->textHandedOver());
  EXPECT_EQ(empty->exitCode(), 1);

  writeIni("[CFG]\nMultiRun=1\n");
  auto third = make();
  EXPECT_TRUE(third->InitX());
}

TEST_F(GatewayStartup, InstallerSwitchEndsWithoutSaving) {
  writeIni("[CFG]\nRunParamAsSMS=1\n");
  auto g = make("*i");
  bool installerShown = false;
  g->hooks().runInstaller = [&] { installerShown = true; };
  EXPECT_FALSE(g->InitX());
  EXPECT_TRUE(installerShown);
  EXPECT_TRUE(g->state().InstallMode);
  // The switch is not a text to send.
  EXPECT_FALSE(IniFile(dir.filePath("Kolvane.ini")).read().hasSection("ParamAsSMS"));
  // The wizard runs from wherever it was downloaded and leaves no lock there.
  EXPECT_FALSE(QFileInfo::exists(dir.filePath("Kolvane.lock")));
}

TEST_F(GatewayStartup, CycleWaitsForStartupAndResetsCountersAtMidnight) {
  writeIni("[CFG]\nDTSaveToIni=" + regional::formatDateTime(clock.now()).toUtf8() +
           "\nSmsOutCnt=7\n");
  auto g = make();
  ASSERT_TRUE(g->InitX());
  GatewayState& gs = g->state();
  EXPECT_EQ(gs.cfg.SmsOutCnt, 7);
  for (int i = 0; i < 100; ++i) g->TimerTimer();
  EXPECT_TRUE(gs.FirstPaintPending);
  g->TimerTimer();
  EXPECT_FALSE(gs.FirstPaintPending);
  EXPECT_TRUE(gs.StartupDue);
  // The POP3 store expires at the date change, not only at start-up (ExpireDay 7).
  const auto record = [](const char* id) {
    return QByteArray("PosID: ") + id +
           "\r\nNamePC: \r\nFrom: <1>\r\nTo: <k>\r\nSubject: s\r\n\r\nt\r\n.\r\n";
  };
  QFile store(dir.filePath("Pop3.Tmp"));
  ASSERT_TRUE(store.open(QIODevice::WriteOnly));
  store.write(record("261202000000") + record("261203000000"));
  store.close();
  clock.setNow(QDateTime(QDate(2026, 12, 10), QTime(0, 0, 1)));
  g->TimerTimer();
  EXPECT_EQ(gs.cfg.SmsOutCnt, 0);
  EXPECT_EQ(gs.CounterDateText, "10.12.");
  ASSERT_TRUE(store.open(QIODevice::ReadOnly));
  EXPECT_EQ(store.readAll(), record("261203000000"));
  // The tick took every line logged into the memo.
  EXPECT_GT(g->memo().lineCount(), 0);
  EXPECT_EQ(g->log().pendingCount(), 0u);
}

TEST(SystemClockTime, AgreesWithTheLocalDateTime) {
  const SystemClock clock;
  for (int i = 0; i < 2; ++i) {  // the second reading uses the offset looked up by the first
    const DateTime before = toDateTime(QDateTime::currentDateTime());
    const DateTime now = clock.now();
    const DateTime after = toDateTime(QDateTime::currentDateTime());
    EXPECT_LE(before, now);
    EXPECT_LE(now, after);
  }
}
