#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>
#include <functional>

#include "context/settings_baseline.h"
#include "platform/regional.h"

using namespace kolvane;

namespace {

const DateTime kNow = toDateTime(QDateTime(QDate(2026, 12, 9), QTime(12, 0)));
const QByteArray kFile =
    "; the office's gateway\r\n[CFG]\r\nInterval=5\r\nMystery=42\r\nStartGo=0\r\n"
    "SmtpRunPos=0\r\n[ReplAdrTel]\r\n+420777=boss@lan\r\n";

// A program that read kFile, then the program's and the administrator's changes, and the
// write-back at its end.
struct Program {
  QTemporaryDir dir;
  QString path = dir.filePath("Kolvane.ini");
  GatewayState gs;
  SettingsBaseline baseline;
  QStringList conflicts;

  Program() {
    write(kFile);
    const IniText read = IniFile(path).read();
    loadSettings(gs, read, kNow, [](const QString&) {});
    baseline.take(read, savedItems(gs, kNow));
  }
  void write(const QByteArray& bytes) const {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(bytes);
  }
  // The administrator's edit: one line of the file replaced.
  void edit(const QByteArray& from, const QByteArray& to) const {
    QByteArray bytes = read();
    ASSERT_TRUE(bytes.contains(from));
    write(bytes.replace(from, to));
  }
  QByteArray read() const {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  IniText ini() const { return IniFile(path).read(); }
  void writeBack() {
    IniFile file(path);
    ASSERT_TRUE(baseline.writeBack(file, savedItems(gs, kNow), kNow,
                                   [this](const QString& name) { conflicts << name; }));
  }
};

void setInterval(GatewayState& gs, double minutes) {
  gs.cfg.Interval = minutes;
  applyIntervals(gs);
}

}  // namespace

TEST(SettingsWriteBack, OnlyWhatTheProgramChangedReachesTheFileAsItIsThen) {
  const struct {
    const char* name;
    std::function<void(Program&)> meanwhile;
    const char* interval;  // in the file afterwards
    const char* startGo;
    QStringList conflicts;
  } cases[] = {
      {"nothing changed", [](Program&) {}, "5", "0", {}},
      {"the administrator's edit survives",
       [](Program& r) { r.edit("Interval=5", "Interval=2"); },
       "2",
       "0",
       {}},
      {"the program's change", [](Program& r) { setInterval(r.gs, 10); }, "10", "0", {}},
      {"both: the file wins",
       [](Program& r) {
         setInterval(r.gs, 10);
         r.gs.cfg.StartGo = true;
         r.edit("Interval=5", "Interval=2");
       },
       "2",
       "1",
       {"Interval"}},
      {"the program wrote the run position at once",
       [](Program& r) {
         r.gs.cfg.SmtpRunPos = 120;
         r.edit("SmtpRunPos=0", "SmtpRunPos=120");
       },
       "5",
       "0",
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Program r;
    c.meanwhile(r);
    const QByteArray before = r.read();
    r.writeBack();
    const IniText after = r.ini();
    EXPECT_EQ(after.value("CFG", "Interval"), c.interval);
    EXPECT_EQ(after.value("CFG", "StartGo"), c.startGo);
    EXPECT_EQ(after.value("CFG", "Mystery"), "42");
    EXPECT_EQ(r.conflicts, c.conflicts);
    if (c.conflicts.isEmpty() && QString(c.name) != "the program's change") {
      EXPECT_EQ(r.read(), before) << "an unchanged program leaves the file's bytes";
    }
    EXPECT_TRUE(r.read().startsWith("; the office's gateway\r\n[CFG]\r\n"));
  }
}

TEST(SettingsWriteBack, CountersCarryTheSaveMomentAndListsGoWhole) {
  Program r;
  r.gs.cfg.SmsOutCnt = 3;
  r.gs.Aliases = {{"PC1", "boss"}};
  r.edit("+420777=boss@lan", "+420777=chief@lan");
  r.writeBack();
  const IniText after = r.ini();
  EXPECT_EQ(after.value("CFG", "SmsOutCnt"), "3");
  EXPECT_NEAR(*regional::parseDateTime(*after.value("CFG", "DTSaveToIni")), kNow, 1e-5);
  EXPECT_EQ(after.value("AliasComp", "A0"), "PC1");
  EXPECT_EQ(after.value("ReplAdrTel", "+420777"), "chief@lan");
  EXPECT_FALSE(after.hasKey("CFG", "SmsInCnt"));
  // Written once: a second write-back finds nothing new.
  const QByteArray once = r.read();
  r.writeBack();
  EXPECT_EQ(r.read(), once);
}

TEST(SettingsWriteBack, AReloadMakesTheFileTheReference) {
  Program r;
  r.gs.cfg.StartGo = true;  // the dialog's change, not yet written
  setInterval(r.gs, 7);     // changed by the program, then by the administrator
  r.edit("Interval=5", "Interval=2");
  const IniText now = r.ini();
  const SettingsBaseline::FileChanges changes = r.baseline.changesIn(now, {"ReplAdrTel"});
  EXPECT_EQ(changes.cfgKeys, QStringList{"Interval"});
  EXPECT_TRUE(changes.sections.isEmpty());
  const SavedItems before = savedItems(r.gs, kNow);
  setInterval(r.gs, 2);  // the reload applies the file's value
  r.baseline.reloaded(now, before, savedItems(r.gs, kNow),
                      [&r](const QString& name) { r.conflicts << name; });
  EXPECT_EQ(r.conflicts, QStringList{"Interval"});
  r.conflicts.clear();
  r.writeBack();
  EXPECT_EQ(r.ini().value("CFG", "Interval"), "2");
  EXPECT_EQ(r.ini().value("CFG", "StartGo"), "1");
  EXPECT_TRUE(r.conflicts.isEmpty());
}
