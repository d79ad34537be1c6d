// The pace of the link with the built program headless beside kolvane-modemsim over TCP, the
// modem answering at once, so that every figure is the gateway's own time:
// 1. a relation with nothing to receive or send, from the modem's connect to its last answer
//    (300 ms of it the quiet line the kick-off waits for after its ESC);
// 2. the time per SMS of a run of jobs from the file drop, SendSMSDelay 0;
// 3. an SMS arriving at the modem until it is in "Pop3.Tmp", OnLine with IntervalOnLine 1000
//    (median). SMS arrive every 10 s, as phones send them, whatever the relation is doing;
// 4. SIGTERM to the end of the process, in the middle of a run of jobs and right after a burst
//    of received SMS, OnLine with the default interval.
// Arguments: SMS to send (default 100), arrivals to time (default 20); or "stop" for part 4 alone.
#include "program_rig.h"

namespace {

using namespace bench;

void idleRelation() {
  Rig rig;
  if (!rig.start(QStringLiteral("OnLine=0\nInterval=60\n")) ||
      !rig.pumpUntil([&] { return rig.gateway().saw("GSM Gate disconnected"); }, 60000)) {
    std::fprintf(stderr, "idle relation: the relation did not end\n");
    return;
  }
  const auto& lines = rig.modem().lines;
  const auto connected = std::find_if(lines.begin(), lines.end(),
                                      [](const Line& l) { return l.text.contains("connected"); });
  const auto lastAnswer = std::find_if(lines.rbegin(), lines.rend(),
                                       [](const Line& l) { return l.text.startsWith("->"); });
  if (connected == lines.end() || lastAnswer == lines.rend()) return;
  const long commands = std::count_if(lines.begin(), lines.end(),
                                      [](const Line& l) { return l.text.startsWith("<-"); });
  std::printf(
      "idle relation: %ld commands, %.0f ms from the modem's connect to its last answer "
      "(target 600 ms)\n",
      commands, msBetween(connected->at, lastAnswer->at));
}

void sendingPace(int count) {
  Rig rig;
  QByteArray drop;
  for (int i = 0; i < count; ++i) {
    drop += "+420777" + QByteArray::number(100000 + i) + "\tpace " + QByteArray::number(i) + "\r\n";
  }
  QFile f(rig.path("SendUp.txt"));
  if (!f.open(QIODevice::WriteOnly)) return;
  f.write(drop);
  f.close();
  const auto sentCount = [&] {
    return std::count_if(rig.modem().lines.begin(), rig.modem().lines.end(),
                         [](const Line& l) { return l.text.startsWith("sent:"); });
  };
  if (!rig.start(QStringLiteral("OnLine=1\nIntervalOnLine=1000\nSendSMSDelay=0\n"
                                "SendFiTxtDelay=1\n")) ||
      !rig.pumpUntil([&] { return sentCount() >= count; }, 600000) || count < 2) {
    std::fprintf(stderr, "sending: not every SMS left\n");
    return;
  }
  std::vector<Clock::time_point> at;
  for (const Line& l : rig.modem().lines) {
    if (l.text.startsWith("sent:")) at.push_back(l.at);
  }
  const double perSms = msBetween(at.front(), at.back()) / (count - 1);
  std::printf(
      "sending: %d SMS, %.1f ms per SMS, %.0f SMS per minute (target 150 ms, 300 per minute)\n",
      count, perSms, 60000.0 / perSms);
}

void arrivalToStore(int samples) {
  Rig rig;
  if (!rig.start(QStringLiteral("OnLine=1\nIntervalOnLine=1000\n")) ||
      !rig.pumpUntil([&] { return rig.gateway().saw("POP3 server listens"); }, 60000)) {
    std::fprintf(stderr, "arrivals: the gateway did not start\n");
    return;
  }
  std::vector<double> delays;
  const auto first = Clock::now();
  for (int i = 0; i < samples; ++i) {
    const QByteArray text = "arrival " + QByteArray::number(i);
    const auto due = first + std::chrono::seconds(10) * i;
    rig.pumpUntil([&] { return Clock::now() >= due; }, 20000);
    const auto t0 = Clock::now();
    rig.inject("+420777999000\t" + text);
    if (!rig.pumpUntil([&] { return fileHolds(rig.path("Pop3.Tmp"), text); }, 60000)) {
      std::fprintf(stderr, "arrivals: \"%s\" never reached the store\n", text.constData());
      return;
    }
    delays.push_back(msBetween(t0, Clock::now()));
  }
  std::sort(delays.begin(), delays.end());
  std::printf(
      "received SMS to Pop3.Tmp: median %.2f s of %d (fastest %.2f s, slowest %.2f s; "
      "target 2.5 s)\n",
      delays[delays.size() / 2] / 1000.0, samples, delays.front() / 1000.0, delays.back() / 1000.0);
}

// SIGTERM until the process has ended.
double stopMs(Rig& rig) {
  const auto t0 = Clock::now();
  rig.gateway().p.terminate();
  rig.gateway().p.waitForFinished(60000);
  return msBetween(t0, Clock::now());
}

void stopFigures() {
  {
    Rig rig;
    QByteArray drop;
    for (int i = 0; i < 100; ++i) drop += "+420777" + QByteArray::number(200000 + i) + "\tstop\r\n";
    QFile f(rig.path("SendUp.txt"));
    if (!f.open(QIODevice::WriteOnly)) return;
    f.write(drop);
    f.close();
    const auto sent = [&] {
      return std::count_if(rig.modem().lines.begin(), rig.modem().lines.end(),
                           [](const Line& l) { return l.text.startsWith("sent:"); });
    };
    if (!rig.start(QStringLiteral("OnLine=1\nSendFiTxtDelay=1\n")) ||
        !rig.pumpUntil([&] { return sent() >= 5; }, 120000)) {
      std::fprintf(stderr, "stop: the jobs did not leave\n");
      return;
    }
    std::printf("SIGTERM to exit in the middle of 100 jobs: %.0f ms (target 3,000 ms)\n",
                stopMs(rig));
  }
  Rig rig;
  if (!rig.start(QStringLiteral("OnLine=1\n")) ||
      !rig.pumpUntil([&] { return rig.gateway().saw("POP3 server listens"); }, 60000)) {
    std::fprintf(stderr, "stop: the gateway did not start\n");
    return;
  }
  for (int i = 0; i < 20; ++i) rig.inject("+420777999000\tburst " + QByteArray::number(i));
  if (!rig.pumpUntil([&] { return fileHolds(rig.path("Pop3.Tmp"), "burst 19"); }, 60000)) {
    std::fprintf(stderr, "stop: the burst was not stored\n");
    return;
  }
  std::printf("SIGTERM to exit right after a burst of 20 received SMS: %.0f ms (target 3,000 ms)\n",
              stopMs(rig));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  // Each figure shows as soon as it is known, even if a later part never ends.
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  const int count = argc > 1 ? std::max(2, std::atoi(argv[1])) : 100;
  const int samples = argc > 2 ? std::max(1, std::atoi(argv[2])) : 20;
  // "stop" alone measures only the stops.
  const bool stopsOnly = argc > 1 && std::strcmp(argv[1], "stop") == 0;
  if (!stopsOnly) {
    idleRelation();
    sendingPace(count);
    arrivalToStore(samples);
  }
  stopFigures();
  return 0;
}
