// How long the event loop is held while a store view of 10,000 records fills: the longest
// delivery of one event (wall and thread CPU time: on a loaded machine wall time includes
// waiting for a core), the longest gap between ticks of a 5 ms timer, and one chunk alone.
#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <ctime>

#include "unit/store_test_gateway.h"

#include "ui/secondary_windows.h"
#include "ui/store_view.h"

using namespace kolvane;

namespace {

qint64 threadCpuNs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Times every event the loop delivers (outermost deliveries only).
class TimedApp : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    if (depth_++ > 0) {
      const bool r = QApplication::notify(receiver, event);
      --depth_;
      return r;
    }
    QElapsedTimer wall;
    wall.start();
    const qint64 cpu = threadCpuNs();
    const bool r = QApplication::notify(receiver, event);
    longestWall = std::max(longestWall, wall.nsecsElapsed());
    longestCpu = std::max(longestCpu, threadCpuNs() - cpu);
    --depth_;
    return r;
  }
  qint64 longestWall = 0;
  qint64 longestCpu = 0;

 private:
  int depth_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  TimedApp app(argc, argv);
  StoreTestGateway t;
  QByteArray all;
  for (int i = 0; i < 10000; ++i) {
    all += MailRecToStr(
        job(QByteArray::number(251130000000LL + i),
            "<+420603" + QByteArray::number(100000 + i) + "@sms.lan>",
            "A text of an ordinary length for one SMS, number " + QByteArray::number(i)));
  }
  t.write("Smtp.Tmp", all);

  QWidget owner;
  ui::WindowOpeners openers;
  ui::installSecondaryWindows(openers, t.g(), &owner);
  auto* view = owner.findChild<ui::StoreView*>("fSmtpTmpView");

  QElapsedTimer clock;
  qint64 last = 0, longestGap = 0;
  QTimer ticker;
  ticker.setInterval(5);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    const qint64 now = clock.elapsed();
    longestGap = std::max(longestGap, now - last);
    last = now;
  });
  clock.start();
  ticker.start();
  app.longestWall = app.longestCpu = 0;
  openers.openView(ui::ViewKind::SmtpStore);
  while (view->grid()->rowCount() < 10000 && clock.elapsed() < 120000) {
    app.processEvents(QEventLoop::AllEvents);
  }
  const qint64 fill = clock.elapsed();
  const qint64 eventWall = app.longestWall, eventCpu = app.longestCpu;

  // One chunk on its own, timed many times from the start of the file.
  qint64 longestChunk = 0, totalChunk = 0;
  for (int i = 0; i < 200; ++i) {
    view->FiPosView = 0;
    view->LineNoView = 1;
    QElapsedTimer one;
    one.start();
    view->refreshChunk();
    longestChunk = std::max(longestChunk, one.nsecsElapsed());
    totalChunk += one.nsecsElapsed();
  }
  std::printf("store view, %lld bytes, %d rows filled in %lld ms\n",
              static_cast<long long>(all.size()), view->grid()->rowCount(),
              static_cast<long long>(fill));
  std::printf("longest event delivery while filling: %.2f ms wall, %.2f ms thread CPU\n",
              eventWall / 1e6, eventCpu / 1e6);
  std::printf("longest gap between 5 ms timer ticks while filling: %lld ms\n",
              static_cast<long long>(longestGap));
  std::printf("single refresh (one 2048-byte chunk): longest %.2f ms, mean %.2f ms\n",
              longestChunk / 1e6, totalChunk / 200 / 1e6);
  return 0;
}
