// Command lines from hooks and SMS through the gateway, their reports, and the speech queue.
#include <gtest/gtest.h>
#include <QFile>
#include <QThread>

#include "core/host_actions.h"
#include "mail/pseudo_address.h"
#include "mail/quoted_printable.h"
#include "store_test_gateway.h"

namespace kolvane {
namespace {

class HostActionsTest : public ::testing::Test {
 protected:
  HostActions& actions() { return t.g().hostActions(); }

  // Lets the worker finish and the gateway's loop take its notice, then reports.
  void report() {
    actions().runner().waitUntilIdle();
    QCoreApplication::sendPostedEvents();
    ASSERT_TRUE(t.gs().RunResultsDue);
    EXPECT_FALSE(t.gs().RunThreadOn);
    t.g().hooks().cycle.reportRunResults();
    EXPECT_FALSE(t.gs().RunResultsDue);
  }

  QString writeScript(const QString& name) {
    const QString path = t.path(name);
    QFile f(path);
    f.open(QIODevice::WriteOnly);
    f.write("#!/bin/sh\nprintf '%s|' \"$@\" > \"$0.tmp\"; mv \"$0.tmp\" \"$0.out\"\n");
    f.close();
    f.setPermissions(f.permissions() | QFile::ExeOwner);
    return path;
  }
  QByteArray scriptOutput(const QString& name) {
    // The started program runs on its own; give it up to ten seconds.
    for (int i = 0; i < 1000 && !t.exists(name + ".out"); ++i) QThread::msleep(10);
    return t.read(name + ".out");
  }

  StoreTestGateway t;
};

TEST_F(HostActionsTest, HookRunsTheSiblingProgramAndLogsItsResult) {
  ASSERT_TRUE(t.started);
  t.logs();
  t.g().hooks().runHookCommand("closing");
  EXPECT_TRUE(t.gs().RunThreadOn);
  report();
  EXPECT_EQ(t.logs(), QStringList({"ShellExecute Errcode:2 Description:Error - file not found",
                                   "Commandline:" + t.path("CmdKolvane") + " closing"}));

  writeScript("CmdKolvane");
  t.g().hooks().runHookCommand(R"(link "COM 3" failed)");
  report();
  EXPECT_EQ(scriptOutput("CmdKolvane"), "link|COM 3|failed|");
  EXPECT_EQ(t.logs(), QStringList({"CMD OK:" + t.path("CmdKolvane") + R"( link "COM 3" failed)"}));
  EXPECT_FALSE(t.exists("Smtp.Tmp"));
}

TEST_F(HostActionsTest, SmsCommandsReturnTheirResultsToTheSenderInOrder) {
  const QString missing = t.path("missing");
  const QString script = writeScript("do it");
  t.g().hooks().runSmsCommand("+420777000111", missing, "a b");
  t.g().hooks().runSmsCommand("+420777000222", script, "x; touch " + t.path("pwned") + " $(id)");
  t.g().hooks().runSmsCommand("+420777000333", t.path("nofolder") + "/prog", {});
  report();
  EXPECT_EQ(scriptOutput("do it"), "x;|touch|" + t.path("pwned").toUtf8() + "|$(id)|");
  EXPECT_FALSE(t.exists("pwned"));

  const QList<tMailRec> jobs = t.records("Smtp.Tmp");
  ASSERT_EQ(jobs.size(), 3);
  EXPECT_EQ(jobs[0].Toe, PseudoRecipient("+420777000111"));
  EXPECT_EQ(jobs[0].From, "<Kolvane>");
  EXPECT_EQ(jobs[0].NamePC, "localhost");
  EXPECT_EQ(jobs[0].Subj, "Kolvane sent the return value of the command line launch as SMS");
  // The program's own exit status, never its path.
  EXPECT_EQ(QpDecode(jobs[0].MimeBody),
            "Return code : 2\r\nDescription : Error - file not found\r\nParameters : a b");
  EXPECT_EQ(jobs[1].Toe, PseudoRecipient("+420777000222"));
  EXPECT_TRUE(QpDecode(jobs[1].MimeBody).startsWith("Return code : 0\r\nDescription : OK\r\n"));
  EXPECT_EQ(QpDecode(jobs[2].MimeBody), "Return code : 3\r\nDescription : Error - path not found");
  EXPECT_NE(jobs[0].PosID, jobs[1].PosID);
  EXPECT_TRUE(t.gs().Lamps.smtpBits & kLampStore);
}

TEST_F(HostActionsTest, ReportsOffStillReleaseTheResults) {
  t.gs().cfg.SmsToCmdStat = false;
  t.logs();
  t.g().hooks().runSmsCommand("+420777000111", t.path("missing"), {});
  t.g().hooks().runHookCommand("x");
  report();
  EXPECT_FALSE(t.exists("Smtp.Tmp"));
  EXPECT_TRUE(t.logs().isEmpty());
  EXPECT_TRUE(actions().runner().takeFinished().empty());
}

TEST(RunResultText, DescribesTheCodes) {
  EXPECT_EQ(RunResultText(33), "OK");
  EXPECT_EQ(RunResultText(2), "Error - file not found");
  EXPECT_EQ(RunResultText(3), "Error - path not found");
  EXPECT_EQ(RunResultText(5), "Error - access denied");
  EXPECT_EQ(RunResultText(31),
            "Error - no application associated with the given filename extension");
  EXPECT_EQ(RunResultText(-2), "Error - application is already running");
  EXPECT_EQ(RunResultText(-1), "Error - error code not assigned");
  EXPECT_EQ(RunResultText(11), "Error - any error no.:11");
}

// A speech engine that records what it is asked to say; each text ends when the test says so.
struct SpeechRecord {
  QStringList said;
  int voice = -1;
  int engines = 0;
  std::function<void(bool)> speaking;

  void finish(bool ok) {
    std::exchange(speaking, {})(ok);
    QCoreApplication::sendPostedEvents();
  }
};

class RecordingEngine : public SpeechEngine {
 public:
  explicit RecordingEngine(std::shared_ptr<SpeechRecord> r) : r_(std::move(r)) { ++r_->engines; }
  QStringList voices() const override { return {"Anna", "Jan", "Zdena"}; }
  void selectVoice(const QString& name, int index) override {
    const int named = static_cast<int>(voices().indexOf(name));
    r_->voice = named >= 0 ? named : index;
  }
  void say(const QString& text, std::function<void(bool)> done) override {
    r_->said << text;
    r_->speaking = std::move(done);
  }

 private:
  std::shared_ptr<SpeechRecord> r_;
};

class SpeechTest : public ::testing::Test {
 protected:
  SpeechTest() : speech(t.g(), [this] { return std::make_unique<RecordingEngine>(rec); }) {}
  StoreTestGateway t;
  std::shared_ptr<SpeechRecord> rec = std::make_shared<SpeechRecord>();
  SpeechQueue speech;
};

TEST_F(SpeechTest, TextsQueuedWhileSpeakingFollowInOrderWithOneEngine) {
  speech.TtsSpeak("first");
  speech.TtsSpeak("");  // nothing to say
  speech.TtsSpeak("second");
  speech.TtsSpeak("third");
  EXPECT_TRUE(t.gs().SpeakThreadOn);
  EXPECT_EQ(rec->said, QStringList({"first"}));
  rec->finish(true);
  speech.TtsSpeak("fourth");
  rec->finish(true);
  rec->finish(true);
  rec->finish(true);
  EXPECT_EQ(rec->said, QStringList({"first", "second", "third", "fourth"}));
  EXPECT_EQ(rec->engines, 1);
  EXPECT_FALSE(t.gs().SpeakThreadOn);
  EXPECT_TRUE(speech.SpeakQueue().isEmpty());

  speech.TtsSpeak("again");
  EXPECT_EQ(rec->engines, 2);
  EXPECT_TRUE(t.gs().SpeakThreadOn);
}

TEST_F(SpeechTest, VoiceListAndTheSelectedVoice) {
  speech.fillVoiceList();
  EXPECT_EQ(speech.voiceList(), QStringList({"Anna", "Jan", "Zdena"}));
  EXPECT_EQ(speech.selectedVoice(), 0);
  t.gs().cfg.TtsVoice = "Zdena";
  speech.TtsSpeak("hello");
  EXPECT_EQ(rec->voice, 2);
  rec->finish(true);

  t.gs().cfg.TtsVoice = "Nobody";
  speech.selectVoice(1);
  speech.TtsSpeak("hello");
  EXPECT_EQ(rec->voice, 1);
}

TEST_F(SpeechTest, FailuresLogTtsErrorAndDropTheQueue) {
  t.logs();
  speech.TtsSpeak("one");
  speech.TtsSpeak("two");
  rec->finish(false);
  EXPECT_EQ(rec->said, QStringList({"one"}));
  EXPECT_FALSE(t.gs().SpeakThreadOn);
  EXPECT_TRUE(speech.SpeakQueue().isEmpty());
  EXPECT_EQ(t.logs(), QStringList({"TTS error"}));

  // An engine that never says it has finished: the text fails when its time is up.
  speech.TtsSpeak("four");
  speech.TtsSpeak("five");
  EXPECT_TRUE(speech.waitingForEngine());
  speech.speakingTimedOut();
  EXPECT_FALSE(speech.waitingForEngine());
  EXPECT_FALSE(t.gs().SpeakThreadOn);
  EXPECT_TRUE(speech.SpeakQueue().isEmpty());
  EXPECT_EQ(t.logs(), QStringList({"TTS error"}));
  speech.TtsSpeak("six");
  EXPECT_EQ(rec->said.last(), "six");
  rec->finish(true);
  t.logs();

  speech.setEngineFactory([] { return nullptr; });
  speech.TtsSpeak("three");
  EXPECT_FALSE(t.gs().SpeakThreadOn);
  speech.fillVoiceList();
  EXPECT_EQ(speech.voiceList(), QStringList({"Error"}));
  EXPECT_EQ(t.logs(), QStringList({"TTS error", "TTS error"}));
}

}  // namespace
}  // namespace kolvane
