#include <gtest/gtest.h>

#include "gsm/at_engine.h"

namespace kolvane::at {
namespace {

// What is in flight when the line comes.
struct InFlight {
  const char* command = "AT";
  bool prompt = false;         // awaiting the send prompt
  const char* body = nullptr;  // the body is out, this much of it not echoed yet
  int continuation = 0;
};

struct Case {
  const char* line;
  InFlight in;
  LineKind kind;
  std::optional<FinalKind> final = std::nullopt;
  int code = -1;
  UnsolicitedKind unsolicited = UnsolicitedKind::Other;
};

CommandInFlight Of(const InFlight& in) {
  CommandInFlight c;
  c.continuation = in.continuation;
  if (in.body) {
    c.bodyOut = true;
    c.bodyLeft = in.body;
    c.expected = {"+CMGS"};
    return c;
  }
  c.command = in.command;
  c.promptAwaited = in.prompt;
  if (!in.prompt) c.expected = ExpectedPrefixes(c.command);
  c.dialling = c.command.startsWith("ATD");
  return c;
}

constexpr InFlight kSend{"AT+CMGS=\"+420777111222\"", true};
constexpr InFlight kListing{"AT+CMGL=\"ALL\""};

TEST(AtLineReader, SortsWhatRealModemsSay) {
  using K = LineKind;
  using F = FinalKind;
  using U = UnsolicitedKind;
  const Case cases[] = {
      // Final results.
      {"OK", {}, K::Final, F::Ok},
      {"ERROR", {"AT+CPAS"}, K::Final, F::Error},
      {"+CME ERROR: 16", {"AT+CPIN=\"1234\""}, K::Final, F::CmeError, 16},
      {"+CME ERROR: SIM PIN required", {"AT+CPIN?"}, K::Final, F::CmeError},
      {"+CME ERROR: 3", {"AT+CNMI=2,1,0,0,0"}, K::Final, F::CmeError, 3},
      {"+CMS ERROR: 500", kSend, K::Final, F::CmsError, 500},
      {"+CMS ERROR:304", {"AT+CMGS=16"}, K::Final, F::CmsError, 304},
      {"+EXT ERROR: 1", {"AT+CSMP=17,167,0,0"}, K::Final, F::ExtError, 1},
      {"COMMAND NOT SUPPORT", {"AT+CSDH=1"}, K::Final, F::CommandNotSupport},
      {"TOO MANY PARAMETERS", {"AT+CNMI=2,1,0,0,0"}, K::Final, F::TooManyParameters},
      {"+CMS: 1,\"ERRATA\"", {"AT+CSQ"}, K::Unsolicited},
      // The prompt, with and without its blank, is the prompt only while it is awaited.
      {">", kSend, K::Prompt},
      {"> ", kSend, K::Prompt},
      // Echo: the command, after an echoed ESC too; the body after the prompt.
      {"AT+CSQ", {"AT+CSQ"}, K::Echo},
      {"\x1B"
       "AT",
       {},
       K::Echo},
      {"AT+CMGS=\"+420777111222\"", kSend, K::Echo},
      {"> Hello there", {.body = "Hello there"}, K::Echo},
      {"OK", {.body = ""}, K::Final, F::Ok},
      // Codes with and without a colon, wherever they come.
      {"RING", kSend, K::Unsolicited, {}, -1, U::Call},
      {"Call Ready", kSend, K::Unsolicited, {}, -1, U::Restart},
      {"SMS Ready", kListing, K::Unsolicited, {}, -1, U::Restart},
      {"RDY", {}, K::Unsolicited, {}, -1, U::Restart},
      {"UNDER-VOLTAGE WARNNING", kSend, K::Unsolicited},
      {"+CPIN: READY", kSend, K::Unsolicited},
      {"+CIEV: 2,3", kSend, K::Unsolicited},
      {"*PSUTTZ: 2024,5,1,10,20,30,\"+08\",1", kSend, K::Unsolicited},
      {"+CTZV: 24/05/01,10:20:30,+08", kSend, K::Unsolicited},
      {"+QIND: SMS DONE", kSend, K::Unsolicited},
      {"+WIND: 4", kSend, K::Unsolicited},
      {"+CUSD: 0,\"Balance 5 EUR\",15", kSend, K::Unsolicited},
      {"+CMTI: \"SM\",3", kListing, K::Unsolicited, {}, -1, U::NewMessage},
      {"^RSSI:17", {"AT+CSQ"}, K::Unsolicited, {}, -1, U::StickStatus},
      {"+CREG: 1", kListing, K::Unsolicited, {}, -1, U::Registration},
      // Information lines of the command in flight, and of another command.
      {"+CSQ: 20,99", {"AT+CSQ"}, K::Information},
      {"+CSQ:20,99", {"AT+CSQ"}, K::Information},
      {"+CREG: 0,1", {"AT+CREG?"}, K::Information},
      {"+CPIN: SIM PIN", {"AT+CPIN?"}, K::Information},
      {"+CMGL: 1,\"REC UNREAD\",\"+420777\",,\"24/05/01,10:20:30+08\"", kListing, K::Information},
      {"+CSQ: 20,99", {"AT+CPMS=\"SM\""}, K::Unsolicited},
      {"+CPMS: 0,30,0,30,0,30", kListing, K::Unsolicited},
      {"+CMGS: 12", kSend, K::Unsolicited},
      {"+CMGS: 12", {.body = ""}, K::Information},
      // The four call results end a dial only; for any other command a caller hung up.
      {"NO CARRIER", {"AT+CSQ"}, K::Unsolicited, {}, -1, U::Call},
      {"BUSY", kListing, K::Unsolicited, {}, -1, U::Call},
      {"NO ANSWER", {}, K::Unsolicited, {}, -1, U::Call},
      {"NO DIALTONE", {}, K::Unsolicited, {}, -1, U::Call},
      {"BUSY", {"ATD+420777111222;"}, K::Final, F::Busy},
      {"NO DIALTONE", {"ATD+420777111222;"}, K::Final, F::NoDialtone},
      // A listed body reads as anything; only its later lines may be the end.
      {"OK", {kListing.command, false, nullptr, 1}, K::Continuation},
      {"RING", {kListing.command, false, nullptr, 1}, K::Continuation},
      {"and more", {kListing.command, false, nullptr, 2}, K::Continuation},
      {"OK", {kListing.command, false, nullptr, 2}, K::Final, F::Ok},
      {"+CMGL: 2,\"REC READ\",\"+420\",,\"\"",
       {kListing.command, false, nullptr, 2},
       K::Information},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    const SortedLine s = SortLine(c.line, Of(c.in));
    EXPECT_EQ(s.kind, c.kind);
    if (c.final) {
      ASSERT_TRUE(s.final);
      EXPECT_EQ(s.final->kind, *c.final);
      EXPECT_EQ(s.final->code, c.code);
    }
    if (c.kind == LineKind::Unsolicited) {
      EXPECT_EQ(s.code, c.unsolicited);
    }
  }
}

TEST(AtLineReader, NotSupportedAnswers) {
  struct Answer {
    const char* line;
    bool notSupported;
  };
  for (const Answer& a :
       {Answer{"COMMAND NOT SUPPORT", true}, Answer{"+CME ERROR: 4", true},
        Answer{"+CMS ERROR: 303", true}, Answer{"+CME ERROR: operation not supported", true},
        Answer{"+CME ERROR: 3", false}, Answer{"ERROR", false},
        Answer{"TOO MANY PARAMETERS", false}}) {
    const std::optional<FinalResult> r = FinalResultOf(a.line);
    ASSERT_TRUE(r) << a.line;
    EXPECT_EQ(r->notSupported(), a.notSupported) << a.line;
  }
}

}  // namespace
}  // namespace kolvane::at
