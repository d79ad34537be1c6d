#include <gtest/gtest.h>

#include <cstdlib>
#include <random>

#include "gsm/gate_frame.h"

// Random bytes from a gateway device, fed one at a time as the receive pass does. Under
// AddressSanitizer and UndefinedBehaviorSanitizer this is the crash check; the assertions catch
// a buffer that grows without end and IE values that overrun their frame.
// KOLVANE_RANDOM_SEED and KOLVANE_RANDOM_ROUNDS change the run.

namespace kolvane {
namespace {

class GateRandomInput : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* seed = std::getenv("KOLVANE_RANDOM_SEED");
    rng_.seed(seed ? std::strtoul(seed, nullptr, 10) : 20261209u);
    const char* rounds = std::getenv("KOLVANE_RANDOM_ROUNDS");
    rounds_ = rounds ? std::atoi(rounds) : 40000;
  }
  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }

  // Mostly frame-like input: the frame bytes, escapes and IE identifiers turn up often.
  char Byte() {
    static constexpr unsigned char kHot[] = {'~', 'z', 205, 1,   16,  163, 165, 166, 113, 144,
                                             145, 149, 150, 151, 152, 154, 156, 0,   255};
    return Int(0, 2) == 0 ? static_cast<char>(kHot[Int(0, sizeof kHot - 1)])
                          : static_cast<char>(Int(0, 255));
  }
  QByteArray Chunk() {
    if (Int(0, 3) == 0) {
      // A sound frame, sometimes damaged or cut.
      QByteArray ies;
      for (int n = Int(0, 6); n > 0; --n) {
        QByteArray v(Int(0, 40), '\0');
        for (char& c : v) c = Byte();
        ies += GateIE(static_cast<std::uint8_t>(Byte()), v);
      }
      QByteArray f = GateFrameOfType(static_cast<std::uint8_t>(Int(0, 1) ? 166 : 163), ies);
      if (Int(0, 2) == 0 && !f.isEmpty()) f[Int(0, f.size() - 1)] = Byte();
      if (Int(0, 3) == 0) f.truncate(Int(0, f.size()));
      return f;
    }
    QByteArray b(Int(0, 30), '\0');
    for (char& c : b) c = Byte();
    return b;
  }

  std::mt19937 rng_;
  int rounds_ = 0;
};

TEST_F(GateRandomInput, ReceiverNeverOverrunsOrGrowsWithoutEnd) {
  QByteArray buffer;
  for (int round = 0; round < rounds_; ++round) {
    for (const char c : Chunk()) {
      buffer.append(c);
      const GateTake take = TakeGateFrame(buffer);
      ASSERT_LE(buffer.size(), gate::kMaxPending + 1);
      if (take.frame.isEmpty()) continue;
      const GateParsed p = ParseGateFrame(take.frame);
      const qsizetype total = p.ies.cause.size() + p.ies.ident.size() + p.ies.data1.size() +
                              p.ies.data2.size() + p.ies.sctp.size() + p.ies.typeSms.size();
      ASSERT_LE(total, take.frame.size());
      ASSERT_TRUE(p.ies.module >= 0 && p.ies.module <= 255);
      ASSERT_TRUE(p.ies.counter >= -1 && p.ies.counter <= 0xFFFF);
      ASSERT_TRUE(!p.dropped || !p.reason.isEmpty());
    }
  }
}

TEST_F(GateRandomInput, UnescapeUndoesEscapeAndModuleStaysInRange) {
  for (int round = 0; round < rounds_ / 4; ++round) {
    const QByteArray b = Chunk();
    ASSERT_EQ(GateUnescape(GateEscape(b)), b);
    const int m = ModuleFromSubject("MODUL" + b);
    ASSERT_TRUE(m == 255 || (m >= 1 && m <= 32));
  }
}

}  // namespace
}  // namespace kolvane
