#include "gsm/unsolicited_code.h"

#include <gtest/gtest.h>

namespace kolvane {
namespace {

struct Case {
  const char* line;
  const char* command;  // in flight
  Unsolicited kind;
};

TEST(UnsolicitedCode, RecognisedWhereverTheyArriveButNeverInPlaceOfTheAnswer) {
  const Case cases[] = {
      {"RING", "AT+CMGS=\"+420777\"", Unsolicited::Ring},
      {"ring", "AT", Unsolicited::Ring},
      {"RINGING", "AT", Unsolicited::None},  // whole-line codes are not prefixes
      {"NO CARRIER", "AT+CSQ", Unsolicited::Ring},
      {"+CRING: VOICE", "AT", Unsolicited::Ring},
      {"+CLIP: \"+420777000999\",145,,,,0", "AT+CPAS", Unsolicited::Ring},
      {"+CREG: 1", "AT+CMGL=4", Unsolicited::Registration},
      {"+CREG: 0,1", "AT+CREG?", Unsolicited::None},  // the answer asked for
      {"+CGREG: 5", "AT+CREG?", Unsolicited::Registration},
      {"+CMTI: \"SM\",3", "AT+CMGL=\"ALL\"", Unsolicited::NewMessage},
      {"+CMTI: \"ME\",12", "", Unsolicited::NewMessage},
      {"+CDSI: \"SM\",7", "AT+CMGD=1", Unsolicited::Report},
      {"+CDS: 25", "AT", Unsolicited::Report},
      {"+CBM: 88", "AT", Unsolicited::Report},
      {"^RSSI:17", "AT+CSQ", Unsolicited::StickStatus},
      {"^BOOT:20123456,0,0,0,75", "AT", Unsolicited::StickStatus},
      {"  ^MODE:5,4 ", "AT", Unsolicited::StickStatus},
      {"+CMGL: 1,\"REC UNREAD\",\"+420\"", "AT+CMGL=\"ALL\"", Unsolicited::None},
      {"+CMGS: 12", "AT+CMGS=\"+420\"", Unsolicited::None},
      {"+CSQ: 20,99", "AT+CSQ", Unsolicited::None},
      {"+CPIN: SIM PIN", "AT+CPIN?", Unsolicited::None},
      {"OK", "AT", Unsolicited::None},
      {"+CMS ERROR: 500", "AT+CMGS=\"+420\"", Unsolicited::None},
      {">", "AT+CMGS=\"+420\"", Unsolicited::None},
      {"", "AT", Unsolicited::None},
      {"^", "AT", Unsolicited::StickStatus},
  };
  for (const Case& c : cases)
    EXPECT_EQ(RecogniseUnsolicited(c.line, AnswerPrefixOf(c.command)), c.kind) << c.line;
}

}  // namespace
}  // namespace kolvane
