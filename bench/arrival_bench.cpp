// Received SMS announced by the modem, with the built program headless beside kolvane-modemsim
// over TCP, on-line mode with its default interval:
// 1. an SMS arriving at a random moment until it is in "Pop3.Tmp", median and worst, the modem
//    announcing it with "+CMTI" (and, for comparison, with SmsIndication=0: polled);
// 2. AT commands the modem receives in an idle minute, default settings, both ways.
// Arguments: arrivals to time (default 20). KOLVANE_PROGRAM measures another build instead.
#include <QRandomGenerator>

#include "program_rig.h"

namespace {

using namespace bench;

void arrivals(const char* what, const QString& cfg, int samples) {
  Rig rig;
  if (!rig.start(cfg) ||
      !rig.pumpUntil([&] { return rig.gateway().saw("POP3 server listens"); }, 60000)) {
    std::fprintf(stderr, "%s: the gateway did not start\n", what);
    return;
  }
  QRandomGenerator random(27);
  std::vector<double> delays;
  for (int i = 0; i < samples; ++i) {
    // Between 1 and 9 s after the last one was stored: any moment of the interval's cycle.
    const auto due = Clock::now() + std::chrono::milliseconds(random.bounded(1000, 9000));
    rig.pumpUntil([&] { return Clock::now() >= due; }, 20000);
    const QByteArray text = "arrival " + QByteArray::number(i);
    const auto t0 = Clock::now();
    rig.inject("+420777999000\t" + text);
    if (!rig.pumpUntil([&] { return fileHolds(rig.path("Pop3.Tmp"), text); }, 120000)) {
      std::fprintf(stderr, "%s: \"%s\" never reached the store\n", what, text.constData());
      return;
    }
    delays.push_back(msBetween(t0, Clock::now()));
  }
  std::sort(delays.begin(), delays.end());
  std::printf(
      "received SMS to Pop3.Tmp, %s: median %.2f s, worst %.2f s of %d (fastest %.2f s; "
      "target median 0.5 s, worst 2 s)\n",
      what, delays[delays.size() / 2] / 1000.0, delays.back() / 1000.0, samples,
      delays.front() / 1000.0);
}

void idleMinute(const char* what, const QString& cfg) {
  Rig rig;
  if (!rig.start(cfg) ||
      !rig.pumpUntil([&] { return rig.gateway().saw("POP3 server listens"); }, 60000)) {
    std::fprintf(stderr, "%s: the gateway did not start\n", what);
    return;
  }
  // The first relation's one-time questions are not part of an idle minute.
  rig.pumpUntil([] { return false; }, 15000);
  const auto commands = [&] {
    return std::count_if(rig.modem().lines.begin(), rig.modem().lines.end(),
                         [](const Line& l) { return l.text.startsWith("<-"); });
  };
  const long before = commands();
  rig.pumpUntil([] { return false; }, 60000);
  std::printf("AT commands in an idle minute, %s: %ld\n", what, commands() - before);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const int samples = argc > 1 ? std::max(1, std::atoi(argv[1])) : 20;
  // Arrivals as in link_pace_bench (no phone storage); the idle minute with default settings.
  const QString online = QStringLiteral("OnLine=1\n");
  arrivals("announced with +CMTI", online, samples);
  arrivals("polled (SmsIndication=0)", online + QStringLiteral("SmsIndication=0\n"), samples);
  idleMinute("announced", online + QStringLiteral("MemCheOn=1\n"));
  idleMinute("polled (SmsIndication=0)", online + QStringLiteral("SmsIndication=0\nMemCheOn=1\n"));
  return 0;
}
