#include "mail/mail_addresses.h"

#include "settings/settings.h"

namespace kolvane {

namespace {

bool isListSpace(char c) {
  return c == '\t' || c == '\n' || c == '\r' || c == ' ' || c == ',' || c == ';';
}

qsizetype firstOf(const QByteArray& s, char a, char b) {
  const qsizetype pa = s.indexOf(a);
  const qsizetype pb = s.indexOf(b);
  if (pa < 0) return pb;
  if (pb < 0) return pa;
  return std::min(pa, pb);
}

// Address lists are read one token at a time; both readers share the walk.
template <typename Take>
bool walkList(QByteArray list, Take take) {
  if (list.contains(':') || !list.contains('@')) return false;
  bool found = false;
  while (!list.isEmpty()) {
    const NextAddress next = NextMailAddr(list);
    list.remove(0, next.consumed);
    if (next.address.isEmpty()) continue;
    take(next.address);
    found = true;
  }
  return found;
}

}  // namespace

NextAddress NextMailAddr(const QByteArray& list) {
  NextAddress out;
  out.consumed = list.size();
  qsizetype stripped = 0;
  while (stripped < list.size() && isListSpace(list[stripped])) ++stripped;
  QByteArray rest = list.mid(stripped);

  // The token ends at the first line break, then at the first separator.
  for (const auto& [a, b] : {std::pair{'\r', '\n'}, std::pair{',', ';'}}) {
    const qsizetype p = firstOf(rest, a, b);
    if (p < 0) continue;
    out.consumed = p + 1 + stripped;
    rest.truncate(p + 1);
  }

  const qsizetype lt = rest.indexOf('<');
  qsizetype at = lt >= 0 ? rest.indexOf('@', lt) : -1;
  if (at < 0) at = rest.indexOf('@');
  if (at < 0) return out;

  if (lt >= 0) {
    const qsizetype gt = rest.indexOf('>');
    if (lt < at && at < gt) out.address = rest.mid(lt + 1, gt - lt - 1);
    return out;
  }
  while (!rest.isEmpty() && isListSpace(rest.back())) rest.chop(1);
  if (rest.size() > at + 1) out.address = rest;
  return out;
}

bool AddRcptList(QByteArray list, QList<QByteArray>& to, const AddressReplacement& repl) {
  return walkList(std::move(list), [&](QByteArray address) {
    if (repl.on && repl.table) {
      for (const ReplaceType& entry : *repl.table) {
        if (entry.EmlAddr == address) {
          address = entry.TelNo + '@' + QByteArray(kPseudoDomain);
          break;
        }
      }
    }
    to << address;
  });
}

bool TestRcptList(QByteArray list) {
  return walkList(std::move(list), [](const QByteArray&) {});
}

}  // namespace kolvane
