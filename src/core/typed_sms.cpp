#include "core/typed_sms.h"

#include "core/gateway.h"
#include "mail/pseudo_address.h"
#include "mail/quoted_printable.h"
#include "mail/store_append.h"

namespace kolvane {

tMailRec LocalSmsJob(const QByteArray& telNo, const QByteArray& subject, const QString& text) {
  tMailRec rec;
  rec.NamePC = QByteArrayLiteral("localhost");
  rec.From = QByteArrayLiteral("<Kolvane>");
  rec.Toe = PseudoRecipient(telNo);
  rec.Subj = subject;
  rec.MimeBody = QpEncode(text.toUtf8());
  return rec;
}

bool SendTypedSms(Gateway& g, const QString& telNo, const QString& text) {
  GatewayState& gs = g.state();
  const tMailRec rec = LocalSmsJob(telNo.toLatin1(), QByteArrayLiteral("Kolvane send SMS"), text);
  if (AppendRecord(g, gs.file(files::kSmtpTmp), rec, true) == AppendResult::Failed) return false;
  gs.Lamps.smtpBits |= kLampStore;
  return true;
}

}  // namespace kolvane
