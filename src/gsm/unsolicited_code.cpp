#include "gsm/unsolicited_code.h"

#include <QByteArray>
#include <array>
#include <utility>

#include "gsm/at_commands.h"

namespace kolvane {

namespace {

struct Code {
  const char* text;
  bool whole;  // the whole line, not a prefix
  Unsolicited kind;
};

constexpr std::array<Code, 12> kCodes = {{
    {"RING", true, Unsolicited::Ring},
    {"NO CARRIER", true, Unsolicited::Ring},
    {"+CRING:", false, Unsolicited::Ring},
    {"+CLIP:", false, Unsolicited::Ring},
    {"+CREG:", false, Unsolicited::Registration},
    {"+CGREG:", false, Unsolicited::Registration},
    {"+CEREG:", false, Unsolicited::Registration},
    {"+CMTI:", false, Unsolicited::NewMessage},
    {"+CDSI:", false, Unsolicited::Report},
    {"+CDS:", false, Unsolicited::Report},
    {"+CBM:", false, Unsolicited::Report},
    {"^", false, Unsolicited::StickStatus},
}};

bool StartsWithNoCase(QByteArrayView text, QByteArrayView prefix) {
  return text.size() >= prefix.size() &&
         text.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

}  // namespace

Unsolicited RecogniseUnsolicited(QByteArrayView line, QByteArrayView answerPrefix) {
  const QByteArrayView text = QByteArrayView(line).trimmed();
  if (text.isEmpty()) return Unsolicited::None;
  if (!answerPrefix.isEmpty() && StartsWithNoCase(text, answerPrefix)) return Unsolicited::None;
  for (const Code& code : kCodes) {
    const QByteArrayView c(code.text);
    const bool match = code.whole ? text.size() == c.size() && StartsWithNoCase(text, c)
                                  : StartsWithNoCase(text, c);
    if (match) return code.kind;
  }
  return Unsolicited::None;
}

QByteArrayView AnswerPrefixOf(QByteArrayView command) {
  static constexpr std::array<std::pair<const char*, const char*>, 11> kPrefixes = {{
      {at::kPinQuery, "+CPIN:"},
      {at::kRegistration, "+CREG:"},
      {at::kActivity, "+CPAS:"},
      {at::kServiceCentre, "+CSCA:"},
      {at::kSignal, "+CSQ:"},
      {at::kStorage, "+CPMS:"},
      {at::kList, "+CMGL:"},
      {"AT+CMGS=", "+CMGS:"},
      {"AT+CMGW", "+CMGW:"},
      {"AT+CNMI?", "+CNMI:"},
      {"AT+CMGR=", "+CMGR:"},
  }};
  for (const auto& [cmd, prefix] : kPrefixes)
    if (StartsWithNoCase(command, cmd)) return prefix;
  return {};
}

}  // namespace kolvane
