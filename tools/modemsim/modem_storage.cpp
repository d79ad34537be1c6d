#include "modemsim/modem_sim.h"

// Message storage commands: storage choice, listing and deleting.

#include <algorithm>

#include "modemsim/at_replies.h"
#include "modemsim/deliver_pdu.h"
#include "modemsim/gsm7.h"

namespace kolvane::modemsim {

using namespace replies;

QByteArray ModemSim::cpms(const AtCommand& cmd) {
  const auto usage = [this](int which) {
    return QByteArray::number(mem(which).used()) + "," + QByteArray::number(mem(which).capacity());
  };
  if (cmd.kind == AtCommand::Kind::Test)
    return info("+CPMS: (\"SM\",\"ME\"),(\"SM\",\"ME\"),(\"SM\",\"ME\")");
  if (cmd.kind == AtCommand::Kind::Read) {
    QByteArrayList fields;
    for (int i = 0; i < 3; ++i) fields.append(quoted(storageName(mems_[i])) + "," + usage(i));
    return info("+CPMS: " + fields.join(','));
  }
  if (cmd.kind != AtCommand::Kind::Set || cmd.params.size() > 3) return kError;
  std::array<Storage, 3> chosen = mems_;
  for (qsizetype i = 0; i < cmd.params.size(); ++i) {
    const QByteArray name = cmd.param(i).toUpper();
    if (name == "SM")
      chosen[i] = Storage::SM;
    else if (name == "ME")
      chosen[i] = Storage::ME;
    else if (!(i > 0 && name.isEmpty()))
      return cmsError(kNotAllowed);
  }
  mems_ = chosen;
  return info("+CPMS: " + usage(0) + "," + usage(1) + "," + usage(2));
}

QByteArray ModemSim::cmgl(const AtCommand& cmd) {
  if (cmd.kind == AtCommand::Kind::Test)
    return info(textMode_
                    ? "+CMGL: (\"REC UNREAD\",\"REC READ\",\"STO UNSENT\",\"STO SENT\",\"ALL\")"
                    : "+CMGL: (0-4)");
  int wanted = 0;  // received unread, when no status is given
  if (cmd.kind == AtCommand::Kind::Set) {
    const QByteArray p = cmd.param(0).toUpper();
    if (textMode_) {
      const auto it = std::find(kStatusNames.begin(), kStatusNames.end(), p);
      if (!cmd.quoted(0) || (it == kStatusNames.end() && p != "ALL"))
        return cmsError(kBadTextParameter);
      wanted = p == "ALL" ? 4 : static_cast<int>(it - kStatusNames.begin());
    } else {
      bool ok = false;
      wanted = p.toInt(&ok);
      if (!ok || cmd.quoted(0) || wanted < 0 || wanted > 4) return cmsError(kBadPduParameter);
    }
  } else if (cmd.kind != AtCommand::Kind::Execute) {
    return kError;
  }

  QByteArrayList entries;
  std::vector<StoredSms*> listed;
  for (auto& [index, sms] : mem(0).messages()) {
    if (wanted != 4 && static_cast<int>(sms.status) != wanted) continue;
    entries.append(listEntry(index, sms));
    listed.push_back(&sms);
  }
  // Listing a received message marks it read.
  for (StoredSms* sms : listed)
    if (sms->status == SmsStatus::RecUnread) sms->status = SmsStatus::RecRead;
  if (!config_.faults.listCodes.isEmpty()) {
    const auto [entry, code] = config_.faults.listCodes.takeFirst();
    if (entry <= entries.size()) {
      QByteArray& e = entries[entry - 1];
      const qsizetype headerEnd = e.indexOf("\r\n");
      // Modules frame what they say on their own with line ends, wherever it falls.
      e = code.isEmpty() ? e.left(headerEnd)
                         : e.left(headerEnd) + "\r\n\r\n" + code.toLatin1() + e.mid(headerEnd);
    }
  }
  if (entries.isEmpty()) return kOk;
  return "\r\n" + entries.join("\r\n") + "\r\n" + kOk;
}

QByteArray ModemSim::listEntry(int index, const StoredSms& sms) const {
  const QByteArray number = QByteArray::number(index);
  if (!sms.rawEntry.isEmpty()) return "+CMGL: " + number + "," + sms.rawEntry;
  if (!textMode_) {
    const QByteArray tpdu = deliverTpdu(sms);
    return "+CMGL: " + number + "," + QByteArray::number(static_cast<int>(sms.status)) + ",," +
           QByteArray::number(tpdu.size()) + "\r\n" +
           (serviceCentreField(serviceCentre_) + tpdu).toHex().toUpper();
  }
  QByteArray header =
      "+CMGL: " + number + "," + quoted(kStatusNames[static_cast<int>(sms.status)]) + "," +
      quoted(teString(sms.sender)) + ",," + quoted(timeStampText(sms.timeStamp).toLatin1());
  if (showHeader_)
    header += "," + QByteArray::number(addressType(sms.sender, sms.alphanumericSender)) + "," +
              QByteArray::number(userDataLength(sms));
  // 8-bit and UCS2 data and anything with a header are shown as hex of the user data.
  const QByteArray data = sms.coding == Coding::Gsm7 && sms.header.isEmpty()
                              ? teString(gsm7::toText(sms.data))
                              : userData(sms).toHex().toUpper();
  return header + "\r\n" + data;
}

QByteArray ModemSim::cmgd(const AtCommand& cmd) {
  MessageStore& store = mem(0);
  if (cmd.kind == AtCommand::Kind::Test) {
    QByteArrayList indices;
    for (const auto& [index, sms] : store.messages()) indices.append(QByteArray::number(index));
    return info("+CMGD: (" + indices.join(',') + "),(0-4)");
  }
  if (cmd.kind != AtCommand::Kind::Set || cmd.params.size() > 2) return kError;
  bool ok = false;
  const int flag = cmd.params.size() > 1 && !cmd.param(1).isEmpty() ? cmd.param(1).toInt(&ok) : 0;
  if (cmd.params.size() > 1 && !cmd.param(1).isEmpty() && (!ok || flag < 0 || flag > 4))
    return cmsError(kNotAllowed);
  if (flag == 0) {
    const int index = cmd.param(0).toInt(&ok);
    return ok && store.remove(index) ? QByteArray(kOk) : cmsError(kBadIndex);
  }
  // 1: read; 2: also sent; 3: also unsent; 4: everything.
  std::erase_if(store.messages(), [flag](const auto& entry) {
    const SmsStatus s = entry.second.status;
    return s == SmsStatus::RecRead || flag == 4 || (flag >= 2 && s == SmsStatus::StoSent) ||
           (flag >= 3 && s == SmsStatus::StoUnsent);
  });
  return kOk;
}

}  // namespace kolvane::modemsim
