#include <gtest/gtest.h>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "context/settings_loader.h"
#include "platform/regional.h"
#include "settings/exe_ini_block.h"

using namespace kolvane;

namespace {

const DateTime kNow = toDateTime(QDateTime(QDate(2026, 12, 9), QTime(12, 0)));

struct Loaded {
  GatewayState gs;
  QStringList log;
};

Loaded load(const QString& text, DateTime now = kNow) {
  Loaded out;
  loadSettings(out.gs, IniText::parse(text), now, [&](const QString& l) { out.log << l; });
  return out;
}

QByteArray readAll(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ExeIniBlock blockOf(const QByteArray& bytes) {
  QBuffer buffer;
  buffer.setData(bytes);
  buffer.open(QIODevice::ReadOnly);
  return readExeIniBlock(buffer);
}

// A device that claims more bytes than it delivers.
class ShortDevice : public QBuffer {
 public:
  qint64 size() const override { return 100; }
};

}  // namespace

TEST(SettingsLoader, DefaultsWithoutFile) {
  const Loaded l = load(QString());
  const Settings& s = l.gs.cfg;
  EXPECT_EQ(s.SmtpPort, 25);
  EXPECT_EQ(s.BaudRate, 9600);
  EXPECT_TRUE(s.PDUText);
  EXPECT_EQ(s.SmsInCnt + s.SmsOutCnt + s.EmlInCnt + s.EmlOutCnt, 0);
  EXPECT_EQ(s.TtsMark, "#");
  EXPECT_EQ(l.gs.IntervalMs, 300000u);
  EXPECT_EQ(l.gs.RefrOn, 3600000u);
  EXPECT_EQ(l.gs.RefrPer, 600000u);
  EXPECT_EQ(l.gs.ComNoText, "1");
  EXPECT_EQ(l.gs.InMailAdrPlusPos, 0);
  EXPECT_TRUE(l.log.isEmpty());
  // Before the first paint the lamps differ from what is shown, so the first refresh happens.
  EXPECT_NE(l.gs.Lamps, l.gs.LampShown);
}

TEST(SettingsLoader, ValueEncodings) {
  const Loaded l = load(
      "[CFG]\nDebug=7\nMultiRun=yes\nSmtpPort=0x1F\nPop3Port=abc\nSendFiTxtDelay=65537\n"
      "ExpireDay=260\nGtIPAdress=10.0.0.9\nComName=\nPrioritySw=1\nCommandMark=!\n");
  const Settings& s = l.gs.cfg;
  EXPECT_TRUE(s.Debug);
  EXPECT_FALSE(s.MultiRun);  // not an integer: default
  EXPECT_EQ(s.SmtpPort, 31);
  EXPECT_EQ(s.Pop3Port, 110);
  EXPECT_EQ(s.SendFiTxtDelay, 65535);  // clamped, not wrapped
  EXPECT_EQ(s.ExpireDay, 255);
  EXPECT_EQ(s.GtIPAdress, "10.0.0.9");
  EXPECT_EQ(s.ComName, "");
  EXPECT_FALSE(s.PrioritySw);  // every run starts without priority
  EXPECT_EQ(s.TtsMark, "!");   // follows CommandMark when missing
}

TEST(SettingsLoader, DerivedValues) {
  EXPECT_EQ(load("[CFG]\nInterval=" + regional::formatReal(0.1)).gs.IntervalMs, 0u);
  EXPECT_EQ(load("[CFG]\nInterval=1000").gs.IntervalMs, 60000000u);
  EXPECT_EQ(load("[CFG]\nOnLine=1\nIntervalOnLine=3000").gs.IntervalMs, 3000u);
  EXPECT_EQ(load("[CFG]\nComNdx=4\nComNo=0").gs.ComNoText, "5");
  EXPECT_EQ(load("[CFG]\nComNdx=4\nComNo=100").gs.ComNoText, "5");
  EXPECT_EQ(load("[CFG]\nComNdx=4\nComNo=99").gs.ComNoText, "99");
  EXPECT_EQ(load("[CFG]\nLanguage=cz").gs.cfg.Language, "CZ");
  EXPECT_EQ(load("[CFG]\nLanguage=DE").gs.cfg.Language, "EN");
  EXPECT_EQ(load("[CFG]\nGsmDevice=prImAgAtE").gs.cfg.GsmDevice, "PRImaGate");
  EXPECT_EQ(load("[CFG]\nGsmDevice=Modem9000").gs.GsmDeviceIdx, 0);
  EXPECT_EQ(load("[FCfg]\nPgNdx=19").gs.PgNdx, 0);
  EXPECT_EQ(load("[FCfg]\nPgNdx=18").gs.PgNdx, 18);
  EXPECT_EQ(load("[CFG]\nInMailAdr=sms-<+>@x").gs.InMailAdrPlusPos, 4);
}

TEST(SettingsLoader, CharacterTableFromSettings) {
  const Loaded ok = load("[CFG]\nMailSmsInCh=abca\nMailSmsOutCh=xyzw\n");
  EXPECT_EQ(ok.gs.charRepl.ChReplTab['a'], 'w');  // the later position wins
  EXPECT_EQ(ok.gs.charRepl.ChReplTab['b'], 'y');
  const Loaded bad = load("[CFG]\nMailSmsInCh=ab\nMailSmsOutCh=x\n");
  EXPECT_EQ(bad.gs.charRepl.ChReplTab['a'], 'a');
  EXPECT_EQ(bad.log, QStringList{"Error - different length of MailSmsInCh and MailSmsOutCh"});
}

TEST(SettingsLoader, CountersOnlyFromToday) {
  const QString today = regional::formatDateTime(kNow - 0.4);
  const QString yesterday = regional::formatDateTime(kNow - 1);
  const QString counters = "SmsInCnt=3\nSmsOutCnt=4\nEmlInCnt=5\nEmlOutCnt=6\n";
  EXPECT_EQ(load("[CFG]\nDTSaveToIni=" + today + "\n" + counters).gs.cfg.EmlOutCnt, 6);
  const Settings old = load("[CFG]\nDTSaveToIni=" + yesterday + "\n" + counters).gs.cfg;
  EXPECT_EQ(old.SmsInCnt + old.SmsOutCnt + old.EmlInCnt + old.EmlOutCnt, 0);
}

TEST(SettingsLoader, ListSections) {
  const QString future = regional::formatReal(kNow + 0.5);
  const QString past = regional::formatReal(kNow - 0.5);
  const Loaded l = load(
      "[CFG]\nAutoPop3Routing=1\n[AliasComp]\nA0=pc1\nA1=pc2\n[AliasName]\nA0=boss\n"
      "[ReplAdrTel]\n+420123=a@b.cz\n[SmsToCmdTelNo]\nA0=+420777\n"
      "[SmsToCmdSubst]\nbackup=/usr/bin/backup --now\n"
      "[AutoPop3Routing]\n111=" +
      future + "|PC1\n222=" + past + "|PC2\n333=nonsense|PC3\n444=" + future + "\n");
  ASSERT_EQ(l.gs.Aliases.size(), 2);
  EXPECT_EQ(l.gs.Aliases[0].AliasName, "boss");
  EXPECT_EQ(l.gs.Aliases[1].AliasName, "");
  EXPECT_EQ(l.gs.Replacements[0].EmlAddr, "a@b.cz");
  EXPECT_EQ(l.gs.SmsToCmdTelNo, QStringList{"+420777"});
  EXPECT_EQ(l.gs.SmsToCmdSubst[0].CmdStr, "/usr/bin/backup --now");
  ASSERT_EQ(l.gs.AutoPop3RoutArr.size(), 1);
  EXPECT_EQ(l.gs.AutoPop3RoutArr[0].NamePC, "PC1");
  EXPECT_TRUE(load("[AutoPop3Routing]\n111=" + future + "|PC1\n").gs.AutoPop3RoutArr.isEmpty());
}

TEST(SettingsSaver, SavedItemsInTheirDocumentedOrder) {
  Loaded l = load("[CFG]\nInterval=0.1\n");
  l.gs.cfg.AutoPop3Routing = true;
  l.gs.AutoPop3RoutArr = {{"111", kNow + 1, "PC1"}, {"222", kNow - 0.001, "PC2"}};
  l.gs.ComNoText = "COM?";
  l.gs.cfg.ComParamOn = false;
  QStringList keys;
  QMap<QString, QString> values;
  for (const SavedItem& item : savedItems(l.gs, kNow)) {
    keys << (item.isList() ? "[" + item.section + "]" : item.key);
    if (item.isList() && item.section == "AutoPop3Routing") {
      ASSERT_EQ(item.entries.size(), 1);
      EXPECT_EQ(item.entries[0].first, "111");
    }
    if (!item.isList()) values[item.key] = item.value;
  }
  EXPECT_EQ(values["Interval"], "0");
  EXPECT_EQ(values["ComNo"], "1");
  EXPECT_FALSE(keys.contains("BaudRate"));
  const auto pos = [&](const char* k) { return keys.indexOf(QLatin1String(k)); };
  EXPECT_LT(pos("GsmDevice"), pos("SmtpRunPos"));
  EXPECT_LT(pos("SmtpRunPos"), pos("Language"));
  EXPECT_LT(pos("Language"), pos("[AutoPop3Routing]"));
  EXPECT_LT(pos("SendUCS2SmsPermit"), pos("SmsToCmdSw"));
  EXPECT_LT(pos("PriorityEmail"), pos("GtIPAdress"));
  EXPECT_EQ(keys.last(), "EmlOutCnt");
}

TEST(ParamAsSms, NextNumericKey) {
  QTemporaryDir dir;
  IniFile file(dir.filePath("Kolvane.ini"));
  ASSERT_TRUE(storeParamAsSms(file, "first"));
  EXPECT_EQ(file.read().keys("ParamAsSMS"), QStringList{"1"});
  ASSERT_TRUE(file.update([](IniText& t) {
    t.eraseSection("ParamAsSMS");
    t.setValue("ParamAsSMS", "3", "a");
    t.setValue("ParamAsSMS", "x", "b");
  }));
  ASSERT_TRUE(storeParamAsSms(file, "next"));
  EXPECT_EQ(file.value("ParamAsSMS", "4"), "next");
}

TEST(SettingsLoader, CarelessValuesAreLoggedWithTheValueUsed) {
  const struct {
    const char* line;
    int Settings::*member;
    int value;
    const char* log;
  } cases[] = {
      {"IntervalOnLine=-5", &Settings::IntervalOnLine, 5000,
       "Settings: IntervalOnLine=-5 is outside 1000..86400000, 5000 used"},
      {"IntervalOnLine=1", &Settings::IntervalOnLine, 5000,
       "Settings: IntervalOnLine=1 is outside 1000..86400000, 5000 used"},
      {"IntervalOnLine=1000", &Settings::IntervalOnLine, 1000, nullptr},
      {"SmtpPort=abc", &Settings::SmtpPort, 25, "Settings: SmtpPort=abc is not a number, 25 used"},
      {"SmtpPort=1e30", &Settings::SmtpPort, 25,
       "Settings: SmtpPort=1e30 is not a number, 25 used"},
      {"Pop3Port=65535", &Settings::Pop3Port, 65535, nullptr},
      {"GtTCPPort=70000", &Settings::GtTCPPort, 70000, nullptr},
      {"CutEMax=256", &Settings::CutEMax, 5, "Settings: CutEMax=256 is outside 1..255, 5 used"},
      {"MaxSmsSendNo=0", &Settings::MaxSmsSendNo, 20,
       "Settings: MaxSmsSendNo=0 is outside 1..1000000, 20 used"},
  };
  for (const auto& c : cases) {
    const Loaded l = load(QStringLiteral("[CFG]\n") + c.line);
    EXPECT_EQ(l.gs.cfg.*c.member, c.value) << c.line;
    EXPECT_EQ(l.log, c.log ? QStringList{c.log} : QStringList{}) << c.line;
  }
}

TEST(SettingsLoader, NarrowValuesOutOfRangeAreClampedAndLogged) {
  const struct {
    const char* line;
    long long delay;
    int expireDay;
    const char* log;
  } cases[] = {
      {"SendFiTxtDelay=65536", 65535, 7,
       "Settings: SendFiTxtDelay=65536 is outside 0..65535, 65535 used"},
      {"SendFiTxtDelay=-1", 0, 7, "Settings: SendFiTxtDelay=-1 is outside 0..65535, 0 used"},
      {"SendFiTxtDelay=65535", 65535, 7, nullptr},
      {"ExpireDay=300", 10, 255, "Settings: ExpireDay=300 is outside 0..255, 255 used"},
      {"ExpireDay=x", 10, 7, "Settings: ExpireDay=x is not a number, 7 used"},
  };
  for (const auto& c : cases) {
    const Loaded l = load(QStringLiteral("[CFG]\n") + c.line);
    EXPECT_EQ(l.gs.cfg.SendFiTxtDelay, c.delay) << c.line;
    EXPECT_EQ(l.gs.cfg.ExpireDay, c.expireDay) << c.line;
    EXPECT_EQ(l.log, c.log ? QStringList{c.log} : QStringList{}) << c.line;
  }
}

TEST(ParamAsSms, TextWithLineBreaksStaysOneValue) {
  QTemporaryDir dir;
  IniFile file(dir.filePath("Kolvane.ini"));
  ASSERT_TRUE(file.setValue("CFG", "RunParamAsSMS", "1"));
  const QString texts[] = {"Server down\nDisk 97%\r\nCPU 12%\n", "plain text 12%", " leading blank",
                           "\"quoted\"", "%%mark"};
  for (const QString& text : texts) ASSERT_TRUE(storeParamAsSms(file, text));
  const IniText ini = file.read();
  EXPECT_EQ(ini.sections(), (QStringList{"CFG", "ParamAsSMS"}));
  EXPECT_EQ(ini.keys("ParamAsSMS"), (QStringList{"1", "2", "3", "4", "5"}));
  EXPECT_EQ(ini.value("ParamAsSMS", "2"), "plain text 12%");  // older copies read it as it is
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(paramAsSmsText(*ini.value("ParamAsSMS", QString::number(i + 1))), texts[i]);
  }
}

TEST(ExeIniBlock, ResultsAndBlock) {
  const ExeIniBlock b = blockOf(QByteArray("\x7f"
                                           "ELF\0\0\0",
                                           7) +
                                "\r\n[CFG]\r\nUserName=blk\r\n");
  EXPECT_EQ(b.result, 23);
  EXPECT_EQ(b.ini.value("CFG", "UserName"), "blk");
  EXPECT_EQ(blockOf(QByteArray("ELF\0\0", 5)).result, 0);
  EXPECT_EQ(blockOf(QByteArray(70000, 'a')).result, -3);
  // Only the last 65535 bytes are looked at.
  EXPECT_EQ(blockOf(QByteArray(1, '\0') + QByteArray(65535, 'a')).result, -3);
  ShortDevice shortDevice;
  shortDevice.setData(QByteArray(10, 'a'));
  shortDevice.open(QIODevice::ReadOnly);
  EXPECT_EQ(readExeIniBlock(shortDevice).result, -2);
  EXPECT_EQ(readExeIniBlock(QStringLiteral("/nonexistent/Kolvane")).result, -1);
  EXPECT_EQ(exeIniErrorText(-1), "Error Exe-Ini open");
  EXPECT_EQ(exeIniErrorText(-2), "Error Exe-Ini read");
  EXPECT_EQ(exeIniErrorText(-3), "Error Exe-Ini over");
  EXPECT_EQ(exeIniErrorText(-9), "Error Exe-Ini unknown");
  EXPECT_EQ(exeIniErrorText(0), "");
}

TEST(DefCopy, BuildsCopyWithBlockOrReportsMissingFile) {
  QTemporaryDir dir;
  const QString program = dir.filePath("Kolvane");
  {
    QFile f(program);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QByteArray("BIN\0", 4));
    QFile def(dir.filePath("Office.def"));
    ASSERT_TRUE(def.open(QIODevice::WriteOnly));
    def.write("[CFG]\r\nSmtpPort=2525\r\n");
  }
  EXPECT_TRUE(isDefCopyRequest("Office.def"));
  EXPECT_FALSE(isDefCopyRequest("Office.def.txt"));
  const QString folder = dir.path() + "/";
  const QString settings = folder + "Kolvane.ini";
  const DefCopyResult r = buildDefCopy(program, folder, "Office.def", settings);
  EXPECT_TRUE(r.ok);
  EXPECT_EQ(r.message, "Kolvane + Office.def = Office");
  const ExeIniBlock b = readExeIniBlock(dir.filePath("Office"));
  EXPECT_EQ(b.ini.value("CFG", "SmtpPort"), "2525");
  const DefCopyResult missing = buildDefCopy(program, folder, "None.DEF", settings);
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.message, "None.DEF neexistuje");
}

TEST(DefCopy, RefusesTheProgramAndItsSettingsFile) {
  QTemporaryDir dir;
  const QString folder = dir.path() + "/";
  const QString program = folder + "Kolvane";
  const QString settings = folder + "Kolvane.ini";
  const struct {
    const char* param;
    const char* message;
  } cases[] = {
      {"Kolvane.DEF", "Kolvane + Kolvane.DEF = Kolvane refused: Kolvane is the running program"},
      {"kolvane.def", "Kolvane + kolvane.def = kolvane refused: kolvane is the running program"},
      {"Kolvane.ini.DEF",
       "Kolvane + Kolvane.ini.DEF = Kolvane.ini refused: Kolvane.ini is the settings file"},
  };
  for (const auto& c : cases) {
    QFile::remove(program);
    QFile p(program);
    ASSERT_TRUE(p.open(QIODevice::WriteOnly));
    p.write(QByteArray("BIN\0", 4));
    p.close();
    QFile ini(settings);
    ASSERT_TRUE(ini.open(QIODevice::WriteOnly));
    ini.write("[CFG]\r\n");
    ini.close();
    QFile def(folder + c.param);
    ASSERT_TRUE(def.open(QIODevice::WriteOnly));
    def.write("[CFG]\r\nSmtpPort=2525\r\n");
    def.close();
    const DefCopyResult r = buildDefCopy(program, folder, c.param, settings);
    EXPECT_FALSE(r.ok);
    EXPECT_EQ(r.message, c.message);
    EXPECT_EQ(readAll(program), QByteArray("BIN\0", 4));
    EXPECT_EQ(readAll(settings), "[CFG]\r\n");
    QFile::remove(folder + c.param);
  }
  EXPECT_EQ(QDir(folder).entryList(QDir::Files), (QStringList{"Kolvane", "Kolvane.ini"}));
}
