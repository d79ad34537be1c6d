#include "mail/pop3_routing.h"

#include <algorithm>

#include "context/gateway_context.h"
#include "gsm/utf8_conversion.h"
#include "mail/mail_accounts.h"
#include "mail/mail_rec.h"
#include "mail/quoted_printable.h"

namespace kolvane {

namespace {

const QByteArray kPlus = QByteArrayLiteral("<+>");
const QByteArray kNameMark = QByteArrayLiteral("name.");

}  // namespace

QByteArray MailLocalPart(const QByteArray& name) {
  static const QByteArray kSigns = QByteArrayLiteral("!#$%&'*+-/=?^_`{|}~");
  const QString text = QString::fromUtf8(name);
  QByteArray out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    const char16_t c = text[i].unicode();
    if (QChar::isLowSurrogate(c)) continue;  // one "_" for a character beyond 16 bits
    const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                       (c < 128 && kSigns.contains(static_cast<char>(c)));
    // A dot may only stand between other characters, never twice in a row.
    const bool dot = c == '.' && !out.isEmpty() && out.back() != '.' && i + 1 < text.size() &&
                     text[i + 1] != u'.';
    out += plain || dot ? static_cast<char>(c) : '_';
  }
  return out;
}

QByteArray PhoneToMailAddr(const GatewayContext& g, const QByteArray& number) {
  QByteArray pattern = g.state().cfg.InMailAdr.toUtf8();
  const qsizetype at = pattern.indexOf(kPlus);
  if (at < 0) return MailLocalPart(number);
  return pattern.replace(at, kPlus.size(), MailLocalPart(number));
}

QByteArray NameToMailAddr(const GatewayContext& g, const QByteArray& name) {
  const auto digit = [](char c) { return c >= '0' && c <= '9'; };
  QByteArray local = kNameMark;
  for (const char c : MailLocalPart(name)) {
    if (digit(c) && !local.isEmpty() && digit(local.back())) local += '-';
    local += c == '+' ? '_' : c;
  }
  QByteArray pattern = g.state().cfg.InMailAdr.toUtf8();
  const qsizetype at = pattern.indexOf(kPlus);
  return at < 0 ? local : pattern.replace(at, kPlus.size(), local);
}

bool IsNameMailAddr(const GatewayContext& g, const QByteArray& address) {
  const QByteArray pattern = g.state().cfg.InMailAdr.toUtf8();
  const qsizetype at = pattern.indexOf(kPlus);
  const QByteArray head = (at < 0 ? QByteArray() : pattern.left(at)) + kNameMark;
  const QByteArray tail = at < 0 ? QByteArray() : pattern.mid(at + kPlus.size());
  const QByteArray a = address.toLower();
  return a.size() > head.size() + tail.size() && a.startsWith(head.toLower()) &&
         a.endsWith(tail.toLower()) && TelNoFromStr(a).size() < 4;
}

QByteArray SenderMailAddr(const GatewayContext& g, const QByteArray& sender, bool isName) {
  return isName ? NameToMailAddr(g, sender) : PhoneToMailAddr(g, sender);
}

QByteArray SenderSubject(const QByteArray& sender, bool isName) {
  return isName ? "SMS from: " + sender + " (name)" : "SMS from phone No.: " + sender;
}

bool IsKnownPc(const GatewayContext& g, const QString& name) {
  if (name.isEmpty()) return false;
  const auto same = [&name](const QString& other) {
    return name.compare(other, Qt::CaseInsensitive) == 0;
  };
  const GatewayState& gs = g.state();
  const auto& knownClient = g.hooks().knownClientPc;
  return (knownClient && knownClient(name)) || FindAccount(gs.cfg, name) ||
         same(gs.cfg.BasketName) ||
         std::any_of(gs.Aliases.begin(), gs.Aliases.end(), [&](const AliasType& a) {
           return same(a.NamePC) || (gs.cfg.AliasOn && same(a.AliasName));
         });
}

QByteArray KnownPcNames(const GatewayContext& g, const QByteArray& names) {
  QByteArrayList known;
  for (const QByteArray& name : names.split(',')) {
    if (IsKnownPc(g, QString::fromUtf8(name))) known << name;
  }
  return known.join(',');
}

QByteArray RouteNames(const GatewayContext& g, const QByteArray& number, const QByteArray& text,
                      bool byRouteMark) {
  const GatewayState& gs = g.state();
  QByteArray names;
  const QByteArray& mark = gs.cfg.RouteMark;
  if (byRouteMark && !mark.isEmpty()) {
    // Zero-based here: the first mark within the first three characters, the names up to the
    // next mark, at least one character long.
    const qsizetype a = text.indexOf(mark);
    const qsizetype b = a >= 0 ? text.indexOf(mark, a + 1) : -1;
    if (a >= 0 && a <= 2 && a + 1 < b) names = KnownPcNames(g, text.mid(a + 1, b - a - 1));
  }
  if (gs.cfg.AutoPop3Routing) {
    if (!names.isEmpty()) names += ',';
    const DateTime now = g.clock().now();
    for (const tAutoPop3RoutRec& r : gs.AutoPop3RoutArr) {
      if (r.TelNo == number && r.EndTime >= now) names += r.NamePC + ',';
    }
    if (names.endsWith(',')) names.chop(1);
  }
  return names;
}

void NoteAutoRoute(GatewayState& gs, const QByteArray& telNo, const QByteArray& pc,
                   DateTime endTime, DateTime now) {
  auto& arr = gs.AutoPop3RoutArr;
  auto it = std::find_if(arr.rbegin(), arr.rend(),
                         [&telNo](const tAutoPop3RoutRec& r) { return r.TelNo == telNo; });
  if (it == arr.rend()) {
    arr.removeIf([now](const tAutoPop3RoutRec& r) { return r.EndTime < now; });
    if (arr.size() >= kMaxAutoRoutes) {
      arr.erase(std::min_element(arr.begin(), arr.end(), [](const auto& a, const auto& b) {
        return a.EndTime < b.EndTime;
      }));
    }
    arr.append({telNo, endTime, pc});
    return;
  }
  it->EndTime = endTime;
  it->NamePC = pc;
}

QByteArray SubjectMark(const GatewayContext& g, const QByteArray& text) {
  const Settings& cfg = g.state().cfg;
  if (cfg.ToSubjBeginBody.isEmpty() || cfg.ToSubjEndBody.isEmpty()) return {};
  const QByteArray body = QpDecode(text);
  const QByteArray begin = cfg.ToSubjBeginBody.toUtf8();
  const qsizetype from = body.indexOf(begin);
  if (from < 0) return {};
  const qsizetype start = from + begin.size();
  const qsizetype end = body.indexOf(cfg.ToSubjEndBody.toUtf8(), start);
  if (end < 0) return {};
  return QpEncode(Utf8TranslitToPlainAscii(body.mid(start, end - start)));
}

}  // namespace kolvane
