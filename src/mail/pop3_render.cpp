#include "mail/pop3_render.h"

#include <QCryptographicHash>

#include "context/gateway_context.h"
#include "mail/mail_date.h"
#include "mail/mime_text.h"
#include "mail/quoted_printable.h"

namespace kolvane {

namespace {

QByteArray senderOf(const GatewayState& gs, const tMailRec& rec) {
  if (!gs.cfg.ReplTelNoOn || gs.Replacements.isEmpty()) return rec.From;
  const QByteArray number = TelNoFromStr(rec.From);
  QByteArray sender = rec.From;
  for (const ReplaceType& r : gs.Replacements) {
    if (r.TelNo == number) sender = r.EmlAddr;
  }
  return sender;
}

bool containsName(const QString& list, const QString& name) {
  return (QLatin1Char(',') + list + QLatin1Char(','))
      .contains(QLatin1Char(',') + name + QLatin1Char(','), Qt::CaseInsensitive);
}

}  // namespace

QByteArray RenderMessage(const GatewayContext& g, const tMailRec& rec, const QByteArray& date) {
  QByteArray m;
  m.reserve(rec.MimeBody.size() + rec.Subj.size() + 256);
  m += "From: " + senderOf(g.state(), rec) + "\r\n";
  if (!rec.ReplyTo.isEmpty()) m += "Reply-To: " + rec.ReplyTo + "\r\n";
  m += "To: " + rec.Toe + "\r\n";
  m += "Subject: " + EncodedWordsHeader(rec.Subj, g.state().cfg.EmlSmsChConv.toLatin1()) + "\r\n";
  // Records written before they carried their own date show the time of fetching.
  m += "Date: " +
       (!rec.Date.isEmpty() ? rec.Date
        : date.isEmpty()    ? DateHeaderNow(g)
                            : date) +
       "\r\n";
  // Clients that sort out duplicates by this id see one message wherever it is fetched.
  m += "Message-ID: <" + UniqueId(rec) + "@kolvane>\r\n";
  m += "MIME-Version: 1.0\r\n";
  m += "Content-Type: text/plain; charset=\"UTF-8\"\r\n";
  m += "Content-Transfer-Encoding: quoted-printable\r\n";
  m += "\r\n";
  // The stored form is one long line; mail readers want the standard's lines.
  m += QpBodyLines(AsValidUtf8(QpDecode(rec.MimeBody)));
  return m;
}

QByteArray DateHeaderNow(const GatewayContext& g) {
  return MailDateNow(g);
}

QByteArray UniqueId(const tMailRec& rec) {
  QCryptographicHash hash(QCryptographicHash::Sha1);
  for (const QByteArray* field :
       {&rec.PosID, &rec.NamePC, &rec.From, &rec.Toe, &rec.Subj, &rec.MimeBody}) {
    hash.addData(*field);
    hash.addData(QByteArrayView("\n"));
  }
  return rec.PosID + '-' + hash.result().left(4).toHex();
}

bool IsReleasable(const GatewayState& gs, const tMailRec& rec, const QString& client) {
  const auto isBasket = [&] {
    return gs.cfg.BasketName.isEmpty() ||
           client.compare(gs.cfg.BasketName, Qt::CaseInsensitive) == 0;
  };
  if (rec.NamePC.isEmpty()) return !gs.cfg.BasketOn || isBasket();
  const QString names = QString::fromUtf8(rec.NamePC);
  if (containsName(names, client)) return true;
  if (gs.cfg.AliasOn && std::any_of(gs.Aliases.begin(), gs.Aliases.end(), [&](const AliasType& a) {
        return a.NamePC.compare(client, Qt::CaseInsensitive) == 0 &&
               containsName(names, a.AliasName);
      })) {
    return true;
  }
  return gs.cfg.BasketToo && isBasket();
}

void LogRefusedRecord(GatewayContext& g, const tMailRec& rec) {
  const bool debug = g.state().cfg.Debug;
  g.Log(debug, QStringLiteral("From : ") + QString::fromUtf8(rec.From));
  if (!rec.NamePC.isEmpty()) {
    g.Log(debug, QStringLiteral("To name PC : ") + QString::fromUtf8(rec.NamePC));
  }
}

void LogDeniedReleases(GatewayContext& g, const QString& client, qsizetype count) {
  if (count <= 0) return;
  QString line = QStringLiteral("POP3 Email denied release to : ") + client;
  if (count > 1) line += QStringLiteral(" (%1 records)").arg(count);
  g.Log(true, line);
}

bool MayRelease(GatewayContext& g, const tMailRec& rec, const QString& client) {
  if (IsReleasable(g.state(), rec, client)) return true;
  LogDeniedReleases(g, client, 1);
  LogRefusedRecord(g, rec);
  return false;
}

}  // namespace kolvane
