#include "mail/pop3_received.h"

#include <QFile>

#include "context/gateway_context.h"
#include "mail/mail_date.h"
#include "mail/mail_rec.h"
#include "mail/pop3_routing.h"
#include "mail/quoted_printable.h"
#include "mail/store_file.h"

namespace kolvane {

bool AppendReceivedSms(GatewayContext& g, QFile& store, TrafficLogFile& log,
                       const QByteArray& number, const QByteArray& time, const QByteArray& text,
                       bool byRouteMark, bool senderIsName) {
  GatewayState& gs = g.state();
  const Settings& cfg = gs.cfg;
  bool written = true;
  // An SMS without a sender comes from an address that says so; an empty one is still a record.
  const QByteArray sender = number.isEmpty() ? QByteArrayLiteral("unknown") : number;
  tMailRec rec;
  rec.PosID = NewPosID(g, store);
  const bool isName = senderIsName && !number.isEmpty();
  // A name spelled like a number must not take that number's routing.
  rec.NamePC = RouteNames(g, isName ? QByteArray() : number, text, byRouteMark);
  rec.From = '<' + SenderMailAddr(g, sender, isName) + '>';
  rec.Toe = '<' + cfg.UserName.toUtf8() + '>';
  rec.Subj = SenderSubject(sender, isName);
  rec.Date = ReceivedSmsDate(g, time);
  if (cfg.TimeToSubject) rec.Subj = time + ' ' + rec.Subj;
  const QByteArray mark = SubjectMark(g, text);
  if (!mark.isEmpty()) {
    rec.Subj = cfg.ToSubjBeginSubj.toUtf8() + mark + cfg.ToSubjEndSubj.toUtf8() + ' ' + rec.Subj;
  }
  // The text as received, a leading dot and blanks at its ends included.
  rec.MimeBody = QpKeepEdges(cfg.TimeToBody ? time + ' ' + text : text);
  const QByteArray bytes = MailRecToStr(rec);
  if (!AppendWhole(store, bytes)) {
    g.Log(true, QStringLiteral("!!! Pop3.Tmp - WriteFile error !!!"));
    written = false;
  }
  log.write(sender, LogText(text));
  gs.Lamps.pop3Bits |= kLampStore;
  return written;
}

}  // namespace kolvane
