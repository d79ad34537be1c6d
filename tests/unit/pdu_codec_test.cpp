#include <gtest/gtest.h>

#include "unit/qt_print.h"

#include <vector>

#include "gsm/pdu_codec.h"
#include "gsm/utf8_conversion.h"

namespace kolvane {
namespace {

const QString kErrLine = QStringLiteral("!!! Error in SMS PDU structure !!!");

SmsSubmitJob Job(const QByteArray& number, const QByteArray& utf8Text) {
  SmsSubmitJob job;
  job.JobTelNo = number;
  job.JobText = Utf8ToGsmAlphabet(utf8Text);
  return job;
}

// The part of the PDU after the destination address: PID, DCS, VP, UDL, UD.
QByteArray AfterAddress(const QByteArray& pdu, const QByteArray& address) {
  const qsizetype at = pdu.indexOf(address);
  return at < 0 ? QByteArray() : pdu.mid(at + address.size());
}

TEST(HexByte, UpperCaseHexOnly) {
  bool err = false;
  EXPECT_EQ(HexByte("A0", err), 0xA0);
  EXPECT_EQ(HexByte("0F", err), 0x0F);
  EXPECT_FALSE(err);
  EXPECT_EQ(HexByte("a0", err), 0xA0);  // value still read, but the octet is bad
  EXPECT_TRUE(err);
  for (const char* bad : {"G0", " 1", "1", ""}) {
    err = false;
    HexByte(bad, err);
    EXPECT_TRUE(err) << bad;
  }
}

TEST(ScTimeStamp, SwappedPairsTimeZoneIgnored) {
  EXPECT_EQ(ScTimeStamp("20806291731408"), "02/08/26,19:37:41");
  EXPECT_EQ(ScTimeStamp("208062917314"), "02/08/26,19:37:41");
  EXPECT_EQ(ScTimeStamp("20806291731"), "");
  EXPECT_EQ(ScTimeStamp("2080629173\"4"), "02/08/26,19:37:4-");  // cannot break the header
}

TEST(EncodeSmsSubmit, WholePdu) {
  SmsSubmitJob job = Job("+31641600986", "How are you?");
  job.SmscNo = "+31624000000";
  EXPECT_EQ(EncodeSmsSubmit(job),
            "07911326040000F0"
            "11"
            "00"
            "0B911346610089F6"
            "00"
            "00"
            "AA"
            "0C"
            "C8F71D14969741F977FD07");
  job.SmscNo = "";
  EXPECT_TRUE(EncodeSmsSubmit(job).startsWith("001100"));
  job.SmscNo = "+420 603";
  EXPECT_TRUE(EncodeSmsSubmit(job).startsWith("001100"));
  job.SmscNo = "0042060305";
  EXPECT_TRUE(
      EncodeSmsSubmit(job).startsWith("059124603050"
                                      "11"));
}

TEST(EncodeSmsSubmit, DestinationAddress) {
  const QByteArray plus = EncodeSmsSubmit(Job("+31641600986", "x"));
  EXPECT_EQ(plus.mid(6, 16), "0B911346610089F6");
  EXPECT_EQ(EncodeSmsSubmit(Job("0031641600986", "x")), plus);
  EXPECT_EQ(EncodeSmsSubmit(Job("603123456", "x")).mid(6, 14), "098106133254F6");
  for (const char* bad : {"603 123 456", "603-123", "+", "", "+420abc"})
    EXPECT_EQ(EncodeSmsSubmit(Job(bad, "x")),
              "0011"
              "00"
              "00"
              "0000AA0178")
        << bad;
  // An address field holds 20 digits; more cannot be addressed and must not widen the field.
  EXPECT_EQ(EncodeSmsSubmit(Job(QByteArray(21, '1'), "x")).mid(6, 2), "00");
}

TEST(EncodeSmsSubmit, SeptetPacking) {
  const QByteArray a = "0B911346610089F6";
  EXPECT_EQ(AfterAddress(EncodeSmsSubmit(Job("+31641600986", "a")), a), "0000AA0161");
  EXPECT_EQ(AfterAddress(EncodeSmsSubmit(Job("+31641600986", "1234567")), a),
            "0000AA0731D98C56B3DD00");
  EXPECT_EQ(AfterAddress(EncodeSmsSubmit(Job("+31641600986", "12345678")), a),
            "0000AA0831D98C56B3DD70");
  // Extension characters count two septets each.
  EXPECT_EQ(AfterAddress(EncodeSmsSubmit(Job("+31641600986", "€")), a), "0000AA029B32");
}

TEST(EncodeSmsSubmit, LengthLimits) {
  const QByteArray a = "0B911346610089F6";
  SmsSubmitJob job = Job("+31641600986", QByteArray(170, 'a'));
  const QByteArray single = AfterAddress(EncodeSmsSubmit(job), a);
  EXPECT_EQ(single.mid(6, 2), "A0");
  EXPECT_EQ(single.size(), 8 + 2 * 140);

  job.JobLoID = 0x2A, job.JobLoHi = 2, job.JobLoNo = 1;
  const QByteArray pdu = EncodeSmsSubmit(job);
  EXPECT_EQ(pdu.mid(2, 2), "51");
  const QByteArray part = AfterAddress(pdu, a);
  EXPECT_EQ(part.mid(6, 2), "A0");  // 153 septets of text after 7 of header
  EXPECT_EQ(part.size(), 8 + 2 * 140);
  EXPECT_EQ(part.mid(8, 14), "0500032A0201C2");  // fill bit, then the first "a" shifted by one
}

TEST(EncodeSmsSubmit, FirstOctetFlags) {
  SmsSubmitJob job = Job("+31641600986", "Hi");
  job.statusReport = StatusReportWanted(true, false, true);
  EXPECT_EQ(EncodeSmsSubmit(job).mid(2, 2), "31");
  job.JobLoID = 1, job.JobLoHi = 2, job.JobLoNo = 1;
  EXPECT_EQ(EncodeSmsSubmit(job),
            "00"
            "71"
            "00"
            "0B911346610089F6"
            "0000AA"
            "09"
            "050003010201"
            "9069");
  job.JobLoNo = 3;  // a part number past the count gets no header
  EXPECT_EQ(EncodeSmsSubmit(job).mid(2, 2), "31");
  EXPECT_FALSE(StatusReportWanted(false, true, true));
  EXPECT_FALSE(StatusReportWanted(true, false, false));
  EXPECT_TRUE(StatusReportWanted(true, true, false));
}

struct Decoded {
  DecodedPdu pdu;
  std::vector<QString> log;
};

Decoded Decode(const QByteArray& pdu, const QByteArray& header = "CMGL: 1,0,,99") {
  Decoded d;
  d.pdu = DecodePdu(pdu, header, kErrLine, [&](const QString& l) { d.log.push_back(l); });
  return d;
}

const QByteArray kSender = "0B911346610089F6";
const QByteArray kTime = "20806291731408";

TEST(DecodePdu, PublicDeliverVector) {
  const Decoded d =
      Decode("07911326040000F0040B911346610089F60000208062917314080CC8F71D14969741F977FD07\r",
             "CMGL: 3,1,,33");
  EXPECT_EQ(d.pdu.text, "How are you?");
  EXPECT_EQ(d.pdu.header, "CMGL: 3,1,\"+31641600986\",,\"02/08/26,19:37:41\",4,12,,");
  EXPECT_EQ(d.pdu.LoHi, 0);
  EXPECT_TRUE(d.log.empty());
}

TEST(DecodePdu, PublicStatusReportVector) {
  const Decoded d = Decode("079194710600403406D70B911326880736F4111011719551401110117195714000");
  EXPECT_EQ(d.pdu.text,
            "SMS-STATUS-REPORT  -  Sent : 11/01/11,17:59:15  -  Received : 11/01/11,17:59:17");
  EXPECT_EQ(d.pdu.header, "CMGL: 1,0,\"+31628870634\",,\"11/01/11,17:59:15\",6,-1,,");
}

TEST(DecodePdu, FailedStatusReportIsNotReportedAsReceived) {
  const Decoded d = Decode("0006D70B911326880736F4111011719551401110117195714046");
  EXPECT_EQ(d.pdu.text,
            "SMS-STATUS-REPORT  -  Sent : 11/01/11,17:59:15  -  "
            "Not delivered (status 46) : 11/01/11,17:59:17");
}

TEST(DecodePdu, SevenBitKeepsTrailingAtSign) {
  // "abcdefg@": the last septet is 0 and fills the seventh octet.
  EXPECT_EQ(Decode("0004" + kSender + "0000" + kTime + "0861F1985C369F01").pdu.text, "abcdefg@");
  EXPECT_EQ(Decode("0004" + kSender + "0000" + kTime + "024100").pdu.text, "A@");
}

TEST(DecodePdu, ExtensionAndGreekCharacters) {
  // "[x]€Ω" as GSM: 27 60 'x' 27 62 27 101 21
  const Decoded d = Decode("0004" + kSender + "0000" + kTime + "081B1E7EE3DB942B");
  EXPECT_EQ(d.pdu.text, "[x]€Ω");
}

TEST(DecodePdu, EightBitAndUcs2) {
  const Decoded eight = Decode("0004" + kSender + "0004" + kTime + "03616263");
  EXPECT_EQ(eight.pdu.text, "abc");
  EXPECT_TRUE(eight.pdu.header.endsWith(",4,3,,"));
  const Decoded ucs2 = Decode("0004" + kSender + "0008" + kTime + "0A00500159004E010D002B");
  EXPECT_EQ(ucs2.pdu.text, "PřNč+");
  EXPECT_TRUE(ucs2.pdu.header.endsWith(",4,-1,,"));
  EXPECT_EQ(Decode("0004" + kSender + "0008" + kTime + "04D83DDE00").pdu.text, "😀");
}

TEST(DecodePdu, ConcatenationHeader) {
  const QByteArray deliver = "0044" + kSender + "00";
  const Decoded seven = Decode(deliver + "00" + kTime + "090500032A02019069");
  EXPECT_EQ(seven.pdu.text, "Hi");
  EXPECT_EQ(seven.pdu.LoID, 0x2A);
  EXPECT_EQ(seven.pdu.LoHi, 2);
  EXPECT_EQ(seven.pdu.LoNo, 1);
  const Decoded ucs2 = Decode(deliver + "08" + kTime + "0A0500030702020041017E");
  EXPECT_EQ(ucs2.pdu.text, "Až");
  EXPECT_EQ(ucs2.pdu.LoNo, 2);
  const Decoded eight = Decode(deliver + "04" + kTime + "080500030903036162");
  EXPECT_EQ(eight.pdu.text, "ab");
  EXPECT_EQ(eight.pdu.LoID, 9);
}

TEST(DecodePdu, OtherUserDataHeadersAreSkippedNotShown) {
  const QByteArray deliver = "0044" + kSender + "00";
  // 16-bit reference 0x1234, part 2 of 3: seven header octets, 8 septets, then "Hi".
  const Decoded ref16 = Decode(deliver + "00" + kTime + "0A06080412340302" + "C8" + "34");
  EXPECT_EQ(ref16.pdu.text, "Hi");
  EXPECT_EQ(ref16.pdu.LoID, 0x1234);  // whole, not its low octet
  EXPECT_EQ(ref16.pdu.LoHi, 3);
  EXPECT_EQ(ref16.pdu.LoNo, 2);
  // Port addressing only: the header is skipped, no concatenation.
  const Decoded port = Decode(deliver + "04" + kTime + "08060504000B000078");
  EXPECT_EQ(port.pdu.text, "x");
  EXPECT_EQ(port.pdu.LoHi, 0);
  // Without the header indicator leading "050003" is text.
  const Decoded plain = Decode("0004" + kSender + "0004" + kTime + "03050003");
  EXPECT_EQ(plain.pdu.LoHi, 0);
  EXPECT_EQ(plain.pdu.text, "é@¥");
}

TEST(DecodePdu, FirstOctetByMessageType) {
  // Status-report indication, reply path or "more messages" do not make a message unreadable.
  for (const char* fo : {"00", "24", "A4", "84", "0C"})
    EXPECT_EQ(Decode(QByteArray("00") + fo + kSender + "0000" + kTime + "024100").pdu.text, "A@")
        << fo;
  const Decoded bad = Decode("0003" + kSender + "0000" + kTime + "024100", "CMGL: 4,0,,24");
  EXPECT_EQ(bad.pdu.error, "First octet (03)");
  EXPECT_EQ(bad.log, std::vector<QString>{"PDU to Text Err : First octet (03)"});
  EXPECT_EQ(bad.pdu.text, "");
  EXPECT_EQ(bad.pdu.header, "CMGL: 4,0,\"\",,\"\",3,-1,,");
}

TEST(DecodePdu, StoredSubmit) {
  SmsSubmitJob job = Job("+31641600986", "Hello [world]");
  job.JobLoID = 5, job.JobLoHi = 3, job.JobLoNo = 3;
  job.statusReport = true;
  const Decoded d = Decode(EncodeSmsSubmit(job));
  EXPECT_EQ(d.pdu.text, "Hello [world]");
  EXPECT_EQ(d.pdu.LoID, 5);
  EXPECT_EQ(d.pdu.LoNo, 3);
  EXPECT_EQ(d.pdu.header, "CMGL: 1,0,\"+31641600986\",,\"\",113,22,,");
}

TEST(DecodePdu, AddressTypes) {
  const Decoded national = Decode("0004098106133254F60000" + kTime + "0161");
  EXPECT_TRUE(national.pdu.header.contains("\"603123456\""));
  // Alphanumeric senders (type of number 5) are names in packed GSM 7-bit; a length counted in
  // whole octets leaves zero septets of padding, which are no part of the name.
  struct Alpha {
    QByteArray address;
    QByteArray name;
  };
  for (const Alpha& a :
       {Alpha{"0DD049B7F93D6D4E01", "InfoSMS"}, Alpha{"0ED0C8329BFD060100", "Hello "},
        Alpha{"12D0B1582C168BC562B118", "1111111111"}}) {
    const Decoded d = Decode("0004" + a.address + "0000" + kTime + "0161");
    EXPECT_EQ(d.pdu.address, a.name);
    EXPECT_EQ(d.pdu.addressType, 0xD0);
    EXPECT_TRUE(d.pdu.error.isEmpty()) << d.pdu.error.toStdString();
    EXPECT_EQ(d.pdu.text, "a");
    EXPECT_TRUE(d.pdu.header.contains("\"" + a.name + "\""));
  }
  // Other unknown types are recorded and read as digits.
  EXPECT_EQ(
      Decode("0004" + kSender.left(2) + "A1" + kSender.mid(4) + "0000" + kTime + "0161").pdu.error,
      "Type of address Sender No. (A1)");
}

TEST(DecodePdu, StructureErrors) {
  EXPECT_EQ(Decode("0").pdu.error, "TotalLength = 1");
  EXPECT_EQ(Decode("0791").pdu.error, "SMSC Length * 2 (14) > TotalLength (2)");
  EXPECT_EQ(Decode("07A1132604000000"
                   "04" +
                   kSender + "0000" + kTime + "0161")
                .pdu.error,
            "Type of address SMSC (A1)");
  EXPECT_EQ(Decode("00040B9113").pdu.error, "Sender No.Length (13) > TotalLength (4)");
  EXPECT_EQ(Decode("0004" + kSender + "00002080").pdu.error, "Time Length (14) > TotalLength (4)");
  EXPECT_EQ(Decode("0004" + kSender + "000C" + kTime + "0161").pdu.error, "DCS - ?-bit alphabet");
  const Decoded cut = Decode("0004" + kSender + "0000" + kTime + "0CC8F71D14969741");
  EXPECT_EQ(cut.pdu.error, "Text Length (22) > TotalLength (14)");
  EXPECT_EQ(cut.pdu.text, "How are ");  // what is there is decoded
  const Decoded cut8 = Decode("0004" + kSender + "0004" + kTime + "08616263");
  EXPECT_EQ(cut8.pdu.error, "Text Length (16) > TotalLength (6)");
  const Decoded cut16 = Decode("0004" + kSender + "0008" + kTime + "0800410042");
  EXPECT_EQ(cut16.pdu.error, "Text Length (16) > TotalLength (8)");
  EXPECT_EQ(cut16.pdu.text, "AB");
}

TEST(DecodePdu, UndecodableWhenNoMessageCanBeMadeOfIt) {
  struct Case {
    QByteArray pdu;
    bool undecodable;
  };
  const Case cases[] = {
      {"0004" + kSender + "0000" + kTime + "0161", false},
      {"0004" + kSender + "0000" + kTime + "0CC8F71D14969741", true},           // cut short
      {"00040B9113", true},                                                     // sender cut short
      {"0004" + kSender + "000C" + kTime + "0161", true},                       // reserved alphabet
      {"0004" + kSender + "0000" + kTime + "A1" + QByteArray(282, '1'), true},  // 161 septets
      {"0004" + kSender + "0008" + kTime + "8D" + QByteArray(282, '1'), true},  // 141 octets
      {"0003" + kSender + "0000" + kTime + "0161", true},                       // no SMS type
      {"0006D70B911326880736F4111011719551401110117195714046", false},          // status report
  };
  for (const Case& c : cases)
    EXPECT_EQ(Decode(c.pdu).pdu.undecodable, c.undecodable) << c.pdu.data();
}

TEST(DecodePdu, BadOctetsMarkTheText) {
  const QByteArray mark = kErrLine.toUtf8() + "\r\n";
  EXPECT_EQ(Decode("0004" + kSender + "0000" + kTime + "0161").pdu.text, "a");
  EXPECT_EQ(Decode("0004" + kSender + "00f0" + kTime + "0161").pdu.text, mark + "a");  // DCS
  EXPECT_EQ(Decode("000c" + kSender + "0000" + kTime + "0161").pdu.text, mark + "a");  // FO
  EXPECT_EQ(Decode("0004" + kSender + "0000" + kTime + "01e1").pdu.text, mark + "a");  // data
  EXPECT_EQ(Decode("0004" + kSender + "0000" + kTime + "02").pdu.text.startsWith(mark), false);
  EXPECT_EQ(Decode("0004" + kSender + "0000" + kTime).pdu.text, mark);  // no length at all
  // A quote inside the sender field cannot break the rewritten header.
  const Decoded q = Decode("00040B911346\"10089F60000" + kTime + "0161");
  EXPECT_TRUE(q.pdu.text.startsWith(mark));
  EXPECT_EQ(q.pdu.header.count('"'), 4);
}

TEST(DecodePdu, EmptyMessageIsListedWithLengthZero) {
  EXPECT_TRUE(Decode("0004" + kSender + "0000" + kTime + "00").pdu.header.endsWith(",4,0,,"));
  EXPECT_TRUE(Decode("0004" + kSender + "0008" + kTime + "00").pdu.header.endsWith(",4,0,,"));
}

}  // namespace
}  // namespace kolvane
