#include <QByteArray>
#include <array>
#include <utility>

#include "gsm/at_commands.h"
#include "gsm/at_engine.h"

namespace kolvane::at {

namespace {

bool StartsWithNoCase(QByteArrayView text, QByteArrayView prefix) {
  return text.size() >= prefix.size() &&
         text.first(prefix.size()).compare(prefix, Qt::CaseInsensitive) == 0;
}

bool EqualsNoCase(QByteArrayView a, QByteArrayView b) {
  return a.size() == b.size() && a.compare(b, Qt::CaseInsensitive) == 0;
}

// "name" followed by the end, a colon or a blank: "+CSQ: 20,99", "+CSQ:20,99".
bool HasPrefix(QByteArrayView line, QByteArrayView name) {
  if (!StartsWithNoCase(line, name)) return false;
  return line.size() == name.size() || line[name.size()] == ':' || line[name.size()] == ' ';
}

FinalResult Result(FinalKind kind) {
  FinalResult r;
  r.kind = kind;
  return r;
}

SortedLine Sorted(LineKind kind) {
  SortedLine s;
  s.kind = kind;
  return s;
}

// What follows a "+CME ERROR" style word: the number, or the words of a verbose text.
FinalResult ErrorWithCode(FinalKind kind, QByteArrayView rest) {
  FinalResult r = Result(kind);
  QByteArrayView value = rest.trimmed();
  if (value.startsWith(':')) value = value.sliced(1).trimmed();
  bool ok = false;
  const int code = value.toInt(&ok);
  if (ok && code >= 0)
    r.code = code;
  else
    r.words = value.toByteArray();
  return r;
}

struct Word {
  const char* text;
  FinalKind kind;
};

// Results that stand alone on their line.
constexpr std::array<Word, 7> kWholeResults = {{
    {"OK", FinalKind::Ok},
    {"ERROR", FinalKind::Error},
    {"TOO MANY PARAMETERS", FinalKind::TooManyParameters},
    {"NO CARRIER", FinalKind::NoCarrier},
    {"BUSY", FinalKind::Busy},
    {"NO ANSWER", FinalKind::NoAnswer},
    {"NO DIALTONE", FinalKind::NoDialtone},
}};

// Results followed by a code.
constexpr std::array<Word, 3> kCodedResults = {{
    {"+CME", FinalKind::CmeError},
    {"+CMS", FinalKind::CmsError},
    {"+EXT", FinalKind::ExtError},
}};

struct Code {
  const char* text;
  bool whole;  // the whole line, not a prefix
  UnsolicitedKind kind;
};

constexpr std::array<Code, 18> kCodes = {{
    {"RING", true, UnsolicitedKind::Call},
    {"NO CARRIER", true, UnsolicitedKind::Call},
    {"BUSY", true, UnsolicitedKind::Call},
    {"NO ANSWER", true, UnsolicitedKind::Call},
    {"NO DIALTONE", true, UnsolicitedKind::Call},
    {"+CRING:", false, UnsolicitedKind::Call},
    {"+CLIP:", false, UnsolicitedKind::Call},
    {"+CREG:", false, UnsolicitedKind::Registration},
    {"+CGREG:", false, UnsolicitedKind::Registration},
    {"+CEREG:", false, UnsolicitedKind::Registration},
    {"+CMTI:", false, UnsolicitedKind::NewMessage},
    {"+CDSI:", false, UnsolicitedKind::Report},
    {"+CDS:", false, UnsolicitedKind::Report},
    {"+CBM:", false, UnsolicitedKind::Report},
    {"^", false, UnsolicitedKind::StickStatus},
    {"RDY", true, UnsolicitedKind::Restart},
    {"CALL READY", true, UnsolicitedKind::Restart},
    {"SMS READY", true, UnsolicitedKind::Restart},
}};

// After the prompt the modem echoes the body as it is typed: on the prompt's own line first,
// then line by line. How much of what is left of the body the line covers; 0 when it is none
// of it.
qsizetype BodyEcho(QByteArrayView raw, const CommandInFlight& c) {
  QByteArrayView line = raw;
  if (!c.bodyEchoing) {
    const QByteArrayView visible = Visible(raw);
    if (!visible.startsWith('>')) return 0;
    line = visible.sliced(1);
    if (line.startsWith(' ')) line = line.sliced(1);
  }
  while (line.endsWith(kCtrlZ)) line.chop(1);
  qsizetype skipped = 0;
  while (skipped < c.bodyLeft.size() &&
         (c.bodyLeft[skipped] == '\r' || c.bodyLeft[skipped] == '\n'))
    ++skipped;
  if (line.isEmpty() || !c.bodyLeft.sliced(skipped).startsWith(line)) return 0;
  return skipped + line.size();
}

}  // namespace

QByteArrayView Visible(QByteArrayView line) {
  qsizetype from = 0;
  while (from < line.size() && static_cast<unsigned char>(line[from]) <= 32) ++from;
  qsizetype to = line.size();
  while (to > from && static_cast<unsigned char>(line[to - 1]) <= 32) --to;
  return line.sliced(from, to - from);
}

bool FinalResult::notSupported() const {
  return kind == FinalKind::CommandNotSupport || (kind == FinalKind::CmeError && code == 4) ||
         (kind == FinalKind::CmsError && code == 303) ||
         (code < 0 &&
          QByteArrayView(words).compare("operation not supported", Qt::CaseInsensitive) == 0);
}

bool FinalResult::callResult() const {
  return kind == FinalKind::NoCarrier || kind == FinalKind::Busy || kind == FinalKind::NoAnswer ||
         kind == FinalKind::NoDialtone;
}

std::optional<FinalResult> FinalResultOf(QByteArrayView line) {
  const QByteArrayView text = Visible(line);
  for (const Word& w : kWholeResults)
    if (EqualsNoCase(text, w.text)) return Result(w.kind);
  // Sticks say "COMMAND NOT SUPPORT"; some add the "ED".
  if (StartsWithNoCase(text, "COMMAND NOT SUPPORT")) return Result(FinalKind::CommandNotSupport);
  if (HasPrefix(text, "ERROR")) return ErrorWithCode(FinalKind::Error, text.sliced(5));
  for (const Word& w : kCodedResults) {
    if (!StartsWithNoCase(text, w.text)) continue;
    // "+CMS ERROR: 500", "+CMS ERROR:500"; "+CMS: 1,..." is no error.
    const QByteArrayView rest = text.sliced(qstrlen(w.text)).trimmed();
    if (StartsWithNoCase(rest, "ERROR")) return ErrorWithCode(w.kind, rest.sliced(5));
  }
  return std::nullopt;
}

UnsolicitedKind UnsolicitedKindOf(QByteArrayView line) {
  const QByteArrayView text = Visible(line);
  for (const Code& code : kCodes) {
    const QByteArrayView c(code.text);
    if (code.whole ? EqualsNoCase(text, c) : StartsWithNoCase(text, c)) return code.kind;
  }
  return UnsolicitedKind::Other;
}

QList<QByteArrayView> ExpectedPrefixes(QByteArrayView command) {
  static constexpr std::array<std::pair<const char*, const char*>, 12> kPrefixes = {{
      {kPinQuery, "+CPIN"},
      {kRegistration, "+CREG"},
      {kActivity, "+CPAS"},
      {kServiceCentre, "+CSCA"},
      {kSignal, "+CSQ"},
      {kStorage, "+CPMS"},
      {kList, "+CMGL"},
      {"AT+CMGS=", "+CMGS"},
      {"AT+CMGW", "+CMGW"},
      {"AT+CNMI?", "+CNMI"},
      {"AT+CMGR=", "+CMGR"},
      {"AT+CMEE?", "+CMEE"},
  }};
  for (const auto& [cmd, prefix] : kPrefixes)
    if (StartsWithNoCase(command, cmd)) return {QByteArrayView(prefix)};
  return {};
}

SortedLine SortLine(QByteArrayView line, const CommandInFlight& c) {
  const QByteArrayView text = Visible(line);
  const std::optional<FinalResult> final = FinalResultOf(text);
  const auto expected = [&] {
    for (const QByteArrayView prefix : c.expected)
      if (HasPrefix(text, prefix)) return true;
    return false;
  };
  // A body reads as anything, even "OK"; only a later line of it may turn out to be the end.
  if (c.continuation == 1 || (c.continuation == 2 && !final && !expected()))
    return Sorted(LineKind::Continuation);
  if (c.bodyOut) {
    if (const qsizetype echoed = BodyEcho(line, c); echoed > 0) {
      SortedLine s = Sorted(LineKind::Echo);
      s.bodyEchoed = echoed;
      return s;
    }
  }
  if (!c.command.isEmpty() && EqualsNoCase(text, c.command)) return Sorted(LineKind::Echo);
  if (final && (!final->callResult() || c.dialling)) {
    SortedLine s = Sorted(LineKind::Final);
    s.final = final;
    return s;
  }
  if (text.startsWith('>') && text.sliced(1).trimmed().isEmpty()) return Sorted(LineKind::Prompt);
  if (!c.promptAwaited && expected()) return Sorted(LineKind::Information);
  SortedLine s = Sorted(LineKind::Unsolicited);
  s.code = UnsolicitedKindOf(text);
  return s;
}

QByteArray CommandName(QByteArrayView command) {
  qsizetype end = 0;
  while (end < command.size() && command[end] != '=' && command[end] != '?') ++end;
  return command.first(end).toByteArray().toUpper();
}

}  // namespace kolvane::at
