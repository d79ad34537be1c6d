// Real networks, with the built program headless beside kolvane-modemsim over TCP:
// 1. SMS in bursts of 3 (as the parts of a long SMS arrive), announced with "+CMTI", on-line
//    mode with its default interval and both storages: each arrival until it is in "Pop3.Tmp",
//    median and worst;
// 2. 3 SMS on a network that takes 40 s to accept each: how often each went out.
// Arguments: bursts to time (default 10). KOLVANE_PROGRAM measures another build instead.
#include <QRandomGenerator>
#include <map>

#include "program_rig.h"

namespace {

using namespace bench;

void bursts(int count) {
  Rig rig;
  if (!rig.start(QStringLiteral("OnLine=1\nMemCheOn=1\n")) ||
      !rig.pumpUntil([&] { return rig.gateway().saw("POP3 server listens"); }, 60000)) {
    std::fprintf(stderr, "bursts: the gateway did not start\n");
    return;
  }
  QRandomGenerator random(34);
  std::vector<double> delays;
  for (int b = 0; b < count; ++b) {
    const auto due = Clock::now() + std::chrono::milliseconds(random.bounded(1000, 9000));
    rig.pumpUntil([&] { return Clock::now() >= due; }, 20000);
    std::vector<std::pair<QByteArray, Clock::time_point>> sent;
    for (int k = 0; k < 3; ++k) {
      // The parts come a few hundred milliseconds apart.
      if (k > 0) {
        const auto next = Clock::now() + std::chrono::milliseconds(random.bounded(300, 1500));
        rig.pumpUntil([&] { return Clock::now() >= next; }, 5000);
      }
      const QByteArray text = "burst " + QByteArray::number(b) + "." + QByteArray::number(k);
      sent.emplace_back(text, Clock::now());
      rig.inject("+420777999000\t" + text);
    }
    std::map<QByteArray, double> stored;
    rig.pumpUntil(
        [&] {
          for (const auto& [text, at] : sent)
            if (!stored.count(text) && fileHolds(rig.path("Pop3.Tmp"), text))
              stored[text] = msBetween(at, Clock::now());
          return stored.size() == sent.size();
        },
        120000);
    if (stored.size() != sent.size()) {
      std::fprintf(stderr, "bursts: burst %d never reached the store whole\n", b);
      return;
    }
    for (const auto& [text, ms] : stored) delays.push_back(ms);
  }
  std::sort(delays.begin(), delays.end());
  std::printf(
      "SMS in bursts of 3, +CMTI, on-line mode, both storages: arrival to Pop3.Tmp median %.2f "
      "s, worst %.2f s of %zu (target worst 2 s)\n",
      delays[delays.size() / 2] / 1000.0, delays.back() / 1000.0, delays.size());
}

void slowNetwork() {
  Rig rig;
  if (!rig.start(QStringLiteral("OnLine=1\nSendFiTxtDelay=1\n"),
                 {QStringLiteral("--send-delay"), QStringLiteral("40000")}) ||
      !rig.pumpUntil([&] { return rig.gateway().saw("POP3 server listens"); }, 60000)) {
    std::fprintf(stderr, "slow network: the gateway did not start\n");
    return;
  }
  QFile drop(rig.path("SendUp.txt"));
  if (!drop.open(QIODevice::WriteOnly)) return;
  for (int i = 0; i < 3; ++i)
    drop.write("+42060355500" + QByteArray::number(i) + "\tSlow " + QByteArray::number(i) + "\r\n");
  drop.close();
  const auto t0 = Clock::now();
  const auto sends = [&](int i) {
    const QByteArray number = "+42060355500" + QByteArray::number(i);
    return std::count_if(rig.modem().lines.begin(), rig.modem().lines.end(), [&](const Line& l) {
      return l.text.startsWith("sent: ") && l.text.contains(number);
    });
  };
  rig.pumpUntil(
      [&] { return sends(0) && sends(1) && sends(2) && msBetween(t0, Clock::now()) > 1000; },
      400000);
  // Late results and a next round have their chance to send anything twice.
  rig.pumpUntil([] { return false; }, 70000);
  std::printf(
      "3 SMS on a network taking 40 s per SMS: sent %ld, %ld and %ld times (target each "
      "once)\n",
      sends(0), sends(1), sends(2));
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  std::setvbuf(stdout, nullptr, _IOLBF, 0);
  bursts(argc > 1 ? std::max(1, std::atoi(argv[1])) : 10);
  slowNetwork();
  return 0;
}
