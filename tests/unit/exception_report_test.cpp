#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <stdexcept>

#include "core/error_catching_app.h"
#include "core/unhandled_error.h"
#include "log/exception_report.h"
#include "log/stack_trace.h"
#include "support/link_test_gateway.h"
#include "unit/qt_print.h"

using namespace kolvane;

namespace {

ErrorCatchingApp<QCoreApplication>* app = nullptr;

// A gateway whose unhandled errors reach OnUnhandledError through the application object.
struct Station {
  explicit Station(const QByteArray& cfg) : t("CmdOnException=onexception.sh\n" + cfg) {
    app->setErrorHandler([this](const QObject* sender, const QString& message) {
      OnUnhandledError(t.g(), sender, message);
    });
  }
  ~Station() { app->setErrorHandler({}); }

  // Runs a timer whose handler throws `count` times; the event loop goes on meanwhile.
  int throwFromTimer(int count) {
    QTimer timer;
    timer.setObjectName(QStringLiteral("TmrTest"));
    timer.setInterval(1);
    int fired = 0;
    QObject::connect(&timer, &QTimer::timeout, [&] {
      if (++fired <= count) throw std::runtime_error("disk on fire");
    });
    timer.start();
    EXPECT_TRUE(QTest::qWaitFor([&] { return fired > count; }, 5000));
    return fired;
  }
  QByteArray report() const {
    QFile f(t.path("ExceptReport.txt"));
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  QStringList exceptionLines() { return t.shown().filter(QStringLiteral("!!! Exception")); }

  LinkTestGateway t;
};

}  // namespace

TEST(ExceptionReport, ErrorInATimerIsLoggedReportedAndTheProgramGoesOn) {
  Station s("ExceptReport=1\n");
  for (int i = 1; i <= 60; ++i) s.t.g().Log(i % 2 == 0, QStringLiteral("line %1").arg(i));
  EXPECT_GT(s.throwFromTimer(2), 2);  // the timer kept firing after both errors
  EXPECT_EQ(s.exceptionLines(), QStringList({"!!! Exception - Message = disk on fire",
                                             "!!! Exception - Sender ClassName = QTimer",
                                             "!!! Exception - Sender Component.Name = TmrTest",
                                             "!!! Exception - Message = disk on fire",
                                             "!!! Exception - Sender ClassName = QTimer",
                                             "!!! Exception - Sender Component.Name = TmrTest"}));
  EXPECT_EQ(s.t.commands, QStringList({"onexception.sh", "onexception.sh"}));
  const QByteArray all = s.report();
  EXPECT_EQ(all.count("!!! Exception - Date : 2026-12-09 10:00:00\r\n"), 2);
  // The first report: the newest 50 lines, the three exception lines last.
  const qsizetype from = all.indexOf("what preceded");
  const qsizetype to = all.indexOf("!!! Exception - StackTrace = ... \\/");
  const QList<QByteArray> history = all.mid(from, to - from).split('\n').mid(1, 50);
  EXPECT_TRUE(history.first().endsWith("  line 14\r"));
  EXPECT_TRUE(history[46].endsWith("  line 60\r"));
  EXPECT_TRUE(history.last().endsWith("Component.Name = TmrTest\r"));
  EXPECT_TRUE(all.contains("QCoreApplication::notify"));  // a demangled stack
  EXPECT_TRUE(all.endsWith("/\\  /\\  /\\\r\n\r\n"));
}

TEST(ExceptionReport, ErrorOfTheMainCycleNamesItsTimerAndWithoutReportNoFile) {
  Station s("ExceptReport=0\n");
  s.t.g().hooks().cycle.showCounters = [] { throw std::logic_error("bad counter"); };
  s.t.gs().CountersChanged = true;
  s.t.g().TimerTimer();
  EXPECT_EQ(s.exceptionLines(), QStringList({"!!! Exception - Message = bad counter",
                                             "!!! Exception - Sender ClassName = QTimer",
                                             "!!! Exception - Sender Component.Name = Timer"}));
  EXPECT_FALSE(s.t.gs().Run);
  EXPECT_FALSE(QFile::exists(s.t.path("ExceptReport.txt")));
}

TEST(ExceptionReport, LayoutWithAShortHistory) {
  const DateTime when = toDateTime(QDateTime(QDate(2026, 3, 1), QTime(8, 5, 9)));
  EXPECT_EQ(exceptionReportText(when, {"08:05:01  a", "08:05:02  b"}, "frame\r\n"),
            "!!! Exception - Date : 2026-03-01 08:05:09\r\n"
            "!!! Exception - what preceded = ... \\/  \\/  \\/\r\n"
            "08:05:01  a\r\n08:05:02  b\r\n"
            "!!! Exception - StackTrace = ... \\/  \\/  \\/\r\n"
            "frame\r\n"
            "!!! Exception - StackTrace = ... /\\  /\\  /\\\r\n\r\n");
}

TEST(ExceptionReport, FramesAreDemangled) {
  const struct {
    const char* frame;
    const char* expected;
  } cases[] = {
      {"./Kolvane(_ZN7kolvane4TickEv+0x1f) [0x55]", "./Kolvane(kolvane::Tick()+0x1f) [0x55]"},
      {"/lib/libc.so.6(+0x2724a) [0x7f]", "/lib/libc.so.6(+0x2724a) [0x7f]"},
      {"./Kolvane(main+0x10) [0x56]", "./Kolvane(main+0x10) [0x56]"},
      {"garbage", "garbage"},
  };
  for (const auto& c : cases) EXPECT_EQ(demangledFrame(c.frame), c.expected);
}

int main(int argc, char** argv) {
  ErrorCatchingApp<QCoreApplication> application(argc, argv);
  app = &application;
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
