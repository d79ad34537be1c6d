#include <algorithm>

#include "context/gateway_context.h"
#include "gate/gate_protocol.h"
#include "gsm/gate_frame.h"
#include "gsm/gsm_alphabet.h"
#include "gsm/link_state.h"
#include "gsm/ucs2.h"
#include "gsm/utf8_conversion.h"
#include "mail/mail_date.h"
#include "mail/mail_rec.h"
#include "mail/pop3_routing.h"
#include "mail/quoted_printable.h"
#include "mail/store_append.h"

namespace kolvane {

namespace {

constexpr char kGateNoticeFrom[] = "<ISDNGsmGate@isdn-gate.kolvane.lan>";

bool isHexText(const QByteArray& text) {
  return !text.isEmpty() && std::all_of(text.begin(), text.end(), [](char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
  });
}

QByteArray subjectOf(const Settings& cfg, const GateIEs& ies, bool ucs2) {
  const QByteArray& number = ies.data2;
  const QByteArray& type = ies.typeSms;
  QByteArray subj;
  if (!ies.hasTypeSms) {
    subj = "Missing IE_TYPE_SMS, NUMBER_SMS = " + number;
  } else if (type.size() != 1 && type.size() != 2) {
    subj = "Length IE_TYPE_SMS = " + QByteArray::number(type.size()) + ", NUMBER_SMS=" + number;
  } else if (type[0] == 10) {
    subj = "SMS from phone No.: " + number;
  } else if (type[0] == 14) {
    subj = "Non-delivery SMS: " + number;
  } else {
    subj = "Unknown IE_TYPE_SMS = 0x" + type.left(1).toHex().toUpper() + ", NUMBER_SMS=" + number;
  }
  if (ucs2) subj += " UCS2";
  subj += ", GSM MODUL No.: " + QByteArray::number(ies.module) + ' ';
  if (cfg.TimeToSubject) subj += ies.hasSctp ? ", Time: " + ies.sctp : ", Missing SCTP_SMS";
  return subj;
}

}  // namespace

bool GateStoreSms(GatewayContext& g, const GateIEs& ies) {
  GatewayState& gs = g.state();
  const Settings& cfg = gs.cfg;
  const bool ucs2 =
      cfg.LiptelUCS2 && ies.hasTypeSms && ies.typeSms.size() == 2 && ies.typeSms[1] == 8;
  // GSM bytes become UTF-8 like the texts read from a modem; the mail body says UTF-8.
  const QByteArray text =
      ucs2 ? Utf16UnitsToUtf8(TextOfUcs2Bytes(ies.data1)) : GsmAlphabetToText(ies.data1);

  tMailRec rec;
  rec.Subj = subjectOf(cfg, ies, ucs2);
  if (cfg.TimeToBody) {
    rec.MimeBody = (ies.hasSctp ? "Time: " + ies.sctp : QByteArray("Missing SCTP_SMS")) + "\r\n";
  }
  rec.MimeBody += QpEncode(text);
  if (!cfg.LiptelUCS2 && isHexText(text) && text.size() % 4 == 0) {
    rec.MimeBody += "\r\nDecoded to Unicode: \r\n" + QpEncode(TextOfUcs2Hex(text));
  }
  rec.NamePC = RouteNames(g, ies.data2, QpEncode(text));
  rec.From = '<' + PhoneToMailAddr(g, ies.data2) + '>';
  rec.Toe = '<' + cfg.UserName.toUtf8() + '>';
  if (ies.hasSctp) rec.Date = ReceivedSmsDate(g, ies.sctp);
  if (AppendRecord(g, gs.file(files::kPop3Tmp), rec, true) == AppendResult::Failed) return false;
  g.traffic().trafficLine(cfg.Pop3TxtMask, ies.data2,
                          ucs2 ? Utf8TranslitToPlainAscii(text) : LogTextOfRaw(text));
  g.link().Gate.GateRecvCnt += 1;
  gs.Lamps.pop3Bits |= kLampStore;
  return true;
}

void GateQueueFullNotice(GatewayContext& g) {
  GatewayState& gs = g.state();
  static const QByteArray kText("Internal queue for received SMS in ISDN Gsm Gate is full.");
  tMailRec rec;
  rec.From = kGateNoticeFrom;
  rec.Toe = '<' + gs.cfg.UserName.toUtf8() + '>';
  rec.Subj = "!!! caution !!!";
  rec.MimeBody = QpEncode(kText);
  if (AppendRecord(g, gs.file(files::kPop3Tmp), rec, true) == AppendResult::Failed) return;
  g.traffic().trafficLine(gs.cfg.Pop3TxtMask, "ISDNGsmGate", kText);
  gs.Lamps.pop3Bits |= kLampStore;
}

}  // namespace kolvane
