#include <gtest/gtest.h>

#include "unit/qt_print.h"

#include <QByteArrayView>
#include <algorithm>
#include <cstdlib>
#include <random>

#include "gsm/gsm_alphabet.h"
#include "gsm/pdu_codec.h"
#include "gsm/ucs2.h"
#include "gsm/utf8_conversion.h"

// Arbitrary input for every reader of outside data. Run under AddressSanitizer and
// UndefinedBehaviorSanitizer this is the crash check; the assertions catch outputs that are
// not what the callers rely on (valid UTF-8, 7-bit GSM bytes, an intact header).
// KOLVANE_RANDOM_SEED and KOLVANE_RANDOM_ROUNDS change the run.

namespace kolvane {
namespace {

class RandomInput : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* seed = std::getenv("KOLVANE_RANDOM_SEED");
    seed_ = seed ? std::strtoul(seed, nullptr, 10) : 20240611u;
    rng_.seed(seed_);
    const char* rounds = std::getenv("KOLVANE_RANDOM_ROUNDS");
    rounds_ = rounds ? std::atoi(rounds) : 60000;
  }

  int Int(int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng_); }
  char Byte() { return static_cast<char>(Int(0, 255)); }

  QByteArray Bytes(int maxLen) {
    QByteArray b(Int(0, maxLen), '\0');
    for (char& c : b) c = Byte();
    return b;
  }

  // Mostly hex digits, sometimes lower case, blanks or anything.
  QByteArray HexLike(int maxLen) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray b(Int(0, maxLen), '\0');
    for (char& c : b) {
      const int kind = Int(0, 99);
      c = kind < 90 ? kHex[Int(0, 15)] : kind < 95 ? "abcdef \r\n\""[Int(0, 10)] : Byte();
    }
    return b;
  }

  // Lead and continuation bytes in the mix, so that near-valid sequences are common.
  QByteArray Utf8Like(int maxLen) {
    QByteArray b(Int(0, maxLen), '\0');
    for (char& c : b) {
      const int kind = Int(0, 9);
      c = static_cast<char>(kind < 4   ? Int(0x20, 0x7E)
                            : kind < 7 ? Int(0x80, 0xBF)
                                       : Int(0xC0, 0xFF));
    }
    return b;
  }

  QByteArray Mutate(QByteArray pdu) {
    for (int n = Int(1, 4); n > 0 && !pdu.isEmpty(); --n) {
      const int at = Int(0, int(pdu.size()) - 1);
      switch (Int(0, 3)) {
        case 0:
          pdu[at] = "0123456789ABCDEF"[Int(0, 15)];
          break;
        case 1:
          pdu.truncate(at);
          break;
        case 2:
          pdu.insert(at, Byte());
          break;
        default:
          pdu[at] = Byte();
      }
    }
    return pdu;
  }

  SmsSubmitJob RandomJob() {
    SmsSubmitJob job;
    const int prefix = Int(0, 2);
    job.JobTelNo = prefix == 0 ? "+" : prefix == 1 ? "00" : "";
    job.JobTelNo += char('1' + Int(0, 8));  // "00" alone would leave no number at all
    for (int n = Int(0, 19); n > 0; --n) job.JobTelNo += char('0' + Int(0, 9));
    job.SmscNo = Int(0, 1) ? QByteArray("+42060300") : QByteArray();
    for (int n = Int(0, 170); n > 0; --n) {
      if (Int(0, 9) == 0) job.JobText += char(27);
      job.JobText += char(Int(0, 127));
    }
    if (Int(0, 1)) {
      job.JobLoID = std::uint8_t(Int(0, 255));
      job.JobLoHi = std::uint8_t(Int(2, 9));
      job.JobLoNo = std::uint8_t(Int(1, job.JobLoHi));
    }
    job.statusReport = Int(0, 1);
    return job;
  }

  std::mt19937 rng_;
  unsigned long seed_ = 0;
  int rounds_ = 0;
};

bool ValidUtf8(const QByteArray& s) {
  return QByteArrayView(s).isValidUtf8();
}

bool All7Bit(const QByteArray& s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return (c & 0x80) == 0; });
}

TEST_F(RandomInput, DecodePduOfArbitraryInput) {
  SCOPED_TRACE(testing::Message() << "seed " << seed_);
  const QByteArray header = "CMGL: 7,1,,40";
  for (int i = 0; i < 2 * rounds_; ++i) {
    QByteArray pdu;
    switch (i % 3) {
      case 0:
        pdu = HexLike(200);
        break;
      case 1:
        pdu = Bytes(120);
        break;
      default:
        pdu = Mutate(EncodeSmsSubmit(RandomJob()));
    }
    const DecodedPdu d = DecodePdu(pdu, header, QStringLiteral("!!! Error !!!"), {});
    ASSERT_TRUE(ValidUtf8(d.text)) << pdu.toHex().toStdString();
    ASSERT_TRUE(d.header.startsWith("CMGL: 7,1,\"")) << pdu.toHex().toStdString();
    ASSERT_EQ(d.header.count('"'), 4) << pdu.toHex().toStdString();
    ASSERT_TRUE(d.header.endsWith(",,")) << pdu.toHex().toStdString();
  }
}

TEST_F(RandomInput, EncodedSubmitDecodesToTheSameMessage) {
  SCOPED_TRACE(testing::Message() << "seed " << seed_);
  for (int i = 0; i < rounds_ / 4; ++i) {
    const SmsSubmitJob job = RandomJob();
    const QByteArray pdu = EncodeSmsSubmit(job);
    const DecodedPdu d = DecodePdu(pdu, "CMGL: 1,2", {}, {});
    const bool parts = job.JobLoHi >= 2;
    ASSERT_TRUE(d.error.isEmpty()) << pdu.toStdString() << ' ' << d.error.toStdString();
    ASSERT_EQ(d.text, GsmAlphabetToText(job.JobText.left(parts ? 153 : 160))) << pdu.toStdString();
    ASSERT_EQ(d.LoID, parts ? job.JobLoID : 0);
    ASSERT_EQ(d.LoHi, parts ? job.JobLoHi : 0);
    ASSERT_EQ(d.LoNo, parts ? job.JobLoNo : 0);
    QByteArray number = job.JobTelNo;
    if (number.startsWith("00")) number.replace(0, 2, "+");
    ASSERT_TRUE(d.header.contains("\"" + number + "\"")) << d.header.toStdString();
  }
}

TEST_F(RandomInput, Utf8WalkersOfArbitraryBytes) {
  SCOPED_TRACE(testing::Message() << "seed " << seed_);
  for (int i = 0; i < rounds_; ++i) {
    const QByteArray in = i % 2 ? Utf8Like(60) : Bytes(60);
    const QByteArray gsm = Utf8ToGsmAlphabet(in);
    ASSERT_TRUE(All7Bit(gsm)) << in.toHex().toStdString();
    ASSERT_TRUE(All7Bit(Utf8TranslitToPlainAscii(in))) << in.toHex().toStdString();
    ASSERT_TRUE(ValidUtf8(Utf8TranslitToAscii(in))) << in.toHex().toStdString();
    ASSERT_TRUE(ValidUtf8(GsmAlphabetToText(in))) << in.toHex().toStdString();
    ASSERT_TRUE(ValidUtf8(GsmAlphabetToText(gsm))) << in.toHex().toStdString();
    IsGsmSpecial(in.left(4));
    TextModeForm(in);
  }
}

TEST_F(RandomInput, Ucs2ReadersOfArbitraryInput) {
  SCOPED_TRACE(testing::Message() << "seed " << seed_);
  for (int i = 0; i < rounds_; ++i) {
    const QByteArray hex = i % 2 ? HexLike(80) : Bytes(80);
    ASSERT_TRUE(ValidUtf8(TextOfUcs2Hex(hex))) << hex.toHex().toStdString();
    ASSERT_TRUE(ValidUtf8(StrictTextOfUcs2Hex(hex))) << hex.toHex().toStdString();
    const QString units = TextOfUcs2Bytes(hex);
    ASSERT_EQ(units.size(), hex.size() / 2);
    ASSERT_EQ(Ucs2Bytes(units), hex.left(hex.size() & ~qsizetype(1)));
    ASSERT_EQ(TextOfUcs2Hex(Ucs2HexOfText(units)), Utf16UnitsToUtf8(units));
  }
}

}  // namespace
}  // namespace kolvane
