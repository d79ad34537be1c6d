#include "gsm/sms_groups.h"

#include <algorithm>

#include "context/gateway_context.h"
#include "gsm/link_state.h"
#include "gsm/sms_list_reader.h"

namespace kolvane {

namespace {

bool IsGroupedPart(const tSmsRec& rec) {
  return rec.LoHi >= 2 && rec.LoNo >= 1 && rec.LoNo <= rec.LoHi;
}

}  // namespace

// A group is known by its filled slots. Another sender, reference or part count is another
// message: two phones may well choose the same reference.
qsizetype FindSmsGroup(const SmsLongArray& groups, const tSmsRec& part) {
  for (qsizetype i = groups.size() - 1; i >= 0; --i) {
    const QList<tSmsRec>& group = groups[i];
    if (group.size() != part.LoHi) continue;
    const bool same = std::any_of(group.begin(), group.end(), [&part](const tSmsRec& slot) {
      return slot.LoStat != 0 && slot.LoID == part.LoID && slot.TelStr == part.TelStr;
    });
    if (same) return i;
  }
  return -1;
}

std::int32_t CommonTelType(const QList<tSmsRec>& group) {
  std::int32_t type = -1;
  bool first = true;
  for (const tSmsRec& slot : group) {
    if (slot.LoStat == 0) continue;
    if (!first && slot.TelType != type) return -1;
    type = slot.TelType;
    first = false;
  }
  return type;
}

void PutPartInGroup(SmsLongArray& groups, const tSmsRec& part) {
  if (!IsGroupedPart(part)) return;
  qsizetype g = FindSmsGroup(groups, part);
  if (g < 0) {
    groups.append(QList<tSmsRec>(part.LoHi));
    g = groups.size() - 1;
  }
  tSmsRec& slot = groups[g][part.LoNo - 1];
  slot = part;
  slot.LoStat = 1;  // a part listed twice overwrites its slot
}

void SmsRecvArrToSmsRec(GatewayContext& gateway, int index, tSmsRec& out) {
  LinkState& link = gateway.link();
  out = tSmsRec{};
  if (index < 0 || index >= link.SmsRecvArr.size()) {
    gateway.Log(true, QStringLiteral("!!!!  Pozor !!!! špatný parametr SmsRecvArrToSmsRec : ") +
                          QString::number(index));
    return;
  }
  const tSmsRec& entry = link.SmsRecvArr[index];
  out.TelType = entry.TelType;
  out.Undecodable = entry.Undecodable;
  if (!IsGroupedPart(entry)) {
    out.Text = entry.Text;
  } else {
    const qsizetype g = FindSmsGroup(link.SmsLongArr, entry);
    if (g < 0) return;
    QList<tSmsRec>& group = link.SmsLongArr[g];
    // Not ready while a part is missing; already delivered at an earlier part.
    if (!std::all_of(group.begin(), group.end(),
                     [](const tSmsRec& slot) { return slot.LoStat == 1; }))
      return;
    out.TelType = CommonTelType(group);
    for (tSmsRec& slot : group) {
      out.Text += slot.Text;
      slot.LoStat = 2;
    }
  }
  out.MemPos = entry.MemPos;
  out.TelStr = entry.TelStr;
  out.Time = entry.Time;
  out.OK = true;
}

void FreeSMSArr(LinkState& link) {
  link.SmsRecvArr.clear();
  for (QList<tSmsRec>& group : link.SmsLongArr)
    if (!group.isEmpty() && group.first().LoStat == 2) group.clear();
  while (!link.SmsLongArr.isEmpty() && link.SmsLongArr.last().isEmpty())
    link.SmsLongArr.removeLast();
}

}  // namespace kolvane
