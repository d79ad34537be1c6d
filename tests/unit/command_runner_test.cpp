// The command runner's queue and worker, and starting programs without a shell. The suite also
// runs under ThreadSanitizer (scripts/sanitize.sh tsan).
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <future>

#include <atomic>

#include "core/command_runner.h"
#include "core/shell_open.h"
#include "core/top_window.h"
#include "core/waited_run.h"

namespace kolvane {
namespace {

ExtAppRunRec record(const QString& commandLine, const QByteArray& telNo = {}) {
  ExtAppRunRec r;
  r.CmdTelNo = telNo;
  r.CmdLi = commandLine;
  return r;
}

// Writes a script that records its arguments, one a line, into a file of the folder.
QString argumentRecorder(const QTemporaryDir& dir, const QString& name = "record args") {
  const QString path = dir.filePath(name);
  QFile f(path);
  f.open(QIODevice::WriteOnly);
  f.write(
      "#!/bin/sh\nfor a in \"$@\"; do printf '%s\\n' \"$a\"; done > \"$0.out.tmp\"\n"
      "mv \"$0.out.tmp\" \"$0.out\"\n");
  f.close();
  f.setPermissions(f.permissions() | QFile::ExeOwner);
  return path;
}

// The recorded arguments, once the started script has written them.
QStringList recordedArgs(const QString& script) {
  QFile out(script + ".out");
  // The program runs on its own; give it up to ten seconds.
  for (int i = 0; i < 1000 && !out.exists(); ++i) QThread::msleep(10);
  if (!out.open(QIODevice::ReadOnly)) return {QStringLiteral("<not run>")};
  return QString::fromUtf8(out.readAll()).split('\n', Qt::SkipEmptyParts);
}

TEST(ShellOpen, StartsProgramsAndReportsTheClassicCodes) {
  QTemporaryDir dir;
  EXPECT_GT(ShellOpen("/bin/true", {}), 32);
  EXPECT_GT(ShellOpen("true", {}), 32);  // found on the search path
  EXPECT_EQ(ShellOpen(dir.filePath("missing"), {}), 2);
  EXPECT_EQ(ShellOpen("no-such-program-kolvane", "x"), 2);
  EXPECT_EQ(ShellOpen(dir.filePath("nodir/prog"), {}), 3);
  EXPECT_EQ(ShellOpen({}, {}), 2);

  QFile hidden(dir.filePath("secret.txt"));
  hidden.open(QIODevice::WriteOnly);
  hidden.close();
  hidden.setPermissions({});
  if (!QFileInfo(hidden.fileName()).isReadable()) {  // root reads everything
    EXPECT_EQ(ShellOpen(hidden.fileName(), {}), 5);
  }
}

TEST(ShellOpen, QuotesGroupWordsAndAWholeFileNameWins) {
  QTemporaryDir dir;
  const QString script = argumentRecorder(dir);  // its name holds a space
  EXPECT_GT(ShellOpen(script, R"(one "two words"  three)"), 32);
  EXPECT_EQ(recordedArgs(script), QStringList({"one", "two words", "three"}));

  const OpenTarget t = SplitCommandLine(R"("/opt/my tool" -v)", "a b");
  EXPECT_EQ(t.program, "/opt/my tool");
  EXPECT_EQ(t.arguments, QStringList({"-v", "a", "b"}));
}

TEST(ShellOpen, ShellSyntaxReachesTheProgramAsPlainText) {
  QTemporaryDir dir;
  const QString script = argumentRecorder(dir, "rec");
  const QString marker = dir.filePath("injected");
  const QString params =
      QStringLiteral("; touch %1 $(touch %1) `touch %1` | touch %1 && touch %1").arg(marker);
  EXPECT_GT(ShellOpen(script, params), 32);
  const QStringList args = recordedArgs(script);
  EXPECT_EQ(args.first(), ";");
  EXPECT_TRUE(args.contains("$(touch"));
  EXPECT_TRUE(args.contains("`touch"));
  EXPECT_TRUE(args.contains("|"));
  EXPECT_FALSE(QFile::exists(marker));

  // The same text as the command line itself names no program.
  EXPECT_EQ(ShellOpen("; touch " + marker, {}), 2);
  EXPECT_EQ(ShellOpen("$(touch " + marker + ")", {}), 2);
  EXPECT_FALSE(QFile::exists(marker));
}

TEST(RunAndWait, GivesTheExitStatusAndFirstLineOrLeavesTheProgramRunning) {
  const std::atomic<bool> go = false;
  const struct {
    QString line;
    int waitMs;
    std::int32_t code;
    bool ended;
    int status;
    QByteArray first;
  } cases[] = {
      {"/bin/false", 5000, 42, true, 1, ""},
      {"/bin/true", 5000, 42, true, 0, ""},
      {"/bin/kolvane-no-such-program", 5000, 2, false, -1, ""},
      {"sh -c \"printf 'one\\r\\ntwo\\n'; exit 3\"", 5000, 42, true, 3, "one"},
      // Far more than a pipe holds: read to the end, never blocking the program.
      {"sh -c \"head -c 3000000 /dev/zero | tr '\\0' x; echo; exit 0\"", 20000, 42, true, 0,
       QByteArray(1024, 'x')},
      {"sh -c \"echo started; exec sleep 3\"", 300, 42, false, -1, "started"},
  };
  for (const auto& c : cases) {
    const WaitedRun run = RunAndWait(c.line, {}, c.waitMs, go);
    EXPECT_EQ(run.code, c.code) << c.line.toStdString();
    EXPECT_EQ(run.ended, c.ended) << c.line.toStdString();
    EXPECT_EQ(run.exitStatus, c.status) << c.line.toStdString();
    EXPECT_EQ(run.firstLine, c.first) << c.line.toStdString();
  }
}

TEST(CommandRunner, RunsInQueueOrderAndReportsOnTheOwnersThread) {
  std::vector<QString> launched;  // written by the worker only while the owner waits
  int due = 0;
  // The first command holds the worker until the whole queue is in, so one worker runs it all.
  std::promise<void> allQueued;
  const std::shared_future<void> queued = allQueued.get_future().share();
  CommandRunner runner(
      [&](const ExtAppRunRec& r, const std::atomic<bool>&) {
        queued.wait();
        launched.push_back(r.CmdLi);
        return r.CmdLi == "bad" ? 2 : 42;
      },
      [&] { ++due; });
  for (const char* c : {"a", "bad", "", "c"}) runner.append(record(c));
  allQueued.set_value();
  runner.waitUntilIdle();
  EXPECT_FALSE(runner.workerActive());
  EXPECT_EQ(due, 0);  // only from the loop
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(due, 1);

  EXPECT_EQ(launched, (std::vector<QString>{"a", "bad", "c"}));  // an empty line runs nothing
  const std::vector<ExtAppRunRec> done = runner.takeFinished();
  ASSERT_EQ(done.size(), 4u);
  EXPECT_EQ(done[1].RunErrCode, 2);
  EXPECT_EQ(done[2].RunErrCode, -1);
  EXPECT_TRUE(std::all_of(done.begin(), done.end(), [](auto& r) { return r.SaveStatus; }));
  EXPECT_TRUE(runner.takeFinished().empty());

  // A later command starts a new worker.
  EXPECT_TRUE(runner.append(record("d")));
  runner.waitUntilIdle();
  ASSERT_EQ(runner.takeFinished().size(), 1u);
}

TEST(CommandRunner, ConcurrentAppendsAndTakesLoseNothing) {
  std::atomic<int> launches = 0;
  CommandRunner runner(
      [&](const ExtAppRunRec&, const std::atomic<bool>&) {
        ++launches;
        return 42;
      },
      {});
  // The owner appends and takes while the worker moves records between the two queues.
  std::vector<ExtAppRunRec> taken;
  constexpr int kCount = 2000;
  for (int i = 0; i < kCount; ++i) {
    runner.append(record("x", QByteArray::number(i)));
    if (i % 7 == 0) {
      for (auto& r : runner.takeFinished()) taken.push_back(std::move(r));
    }
  }
  runner.waitUntilIdle();
  for (auto& r : runner.takeFinished()) taken.push_back(std::move(r));
  EXPECT_EQ(launches.load(), kCount);
  ASSERT_EQ(taken.size(), size_t(kCount));
  for (int i = 0; i < kCount; ++i) EXPECT_EQ(taken[i].CmdTelNo, QByteArray::number(i));
  QCoreApplication::sendPostedEvents();
}

TEST(TopWindow, ReadsTheTitlesOfTheXTools) {
  EXPECT_EQ(WmctrlTitles("0x01e00003  0 host Kolvane - Alarm\n0x02000001 -1 N/A \n"),
            QStringList({"Kolvane - Alarm", ""}));
  EXPECT_EQ(XpropClientIds("_NET_CLIENT_LIST(WINDOW): window id # 0x1e00003, 0x2200003\n"),
            QStringList({"0x1e00003", "0x2200003"}));
  EXPECT_EQ(XpropNames("_NET_WM_NAME(UTF8_STRING) = \"say \\\"hi\\\"\"\nWM_NAME(STRING) = \"x\"\n"),
            QStringList({"say \"hi\"", "x"}));
  EXPECT_TRUE(XpropClientIds("_NET_CLIENT_LIST:  not found.\n").isEmpty());
}

}  // namespace
}  // namespace kolvane
