#include "mail/pop3_dialogue_list.h"

#include <exception>

#include "context/gateway_context.h"
#include "mail/mail_rec.h"
#include "mail/pop3_render.h"
#include "mail/store_file.h"
#include "mail/store_repair.h"

namespace kolvane {

namespace {

constexpr qint64 kWindow = 1024;

std::int64_t savedPosition(GatewayContext& g, const QString& client) {
  IniFile* ini = g.settingsFile();
  if (!ini) return 0;
  bool ok = false;
  const std::int64_t pos =
      ini->value(QStringLiteral("ClientsPos"), client, QStringLiteral("0")).toLongLong(&ok);
  return ok ? pos : 0;
}

// Appends every record of the store that this client may fetch and has not been offered.
void readMessages(GatewayContext& g, const QString& client, QFile& file, Pop3MsgListBuild& out) {
  const SubjectRules rules = subjectRules(g.state().cfg, g.clock().now());
  const QByteArray date = DateHeaderNow(g);
  const bool debug = g.state().cfg.Debug;
  qsizetype denied = 0;
  for (qint64 offset = 0;;) {
    // Records longer than the window are read whole, so a long message is offered too.
    const auto window = ReadRecordWindow(file, offset, kWindow, HoldsWholeRecord);
    if (!window) {
      g.Log(true, QStringLiteral("POP3.TMP Error FileRead"));
      break;
    }
    if (window->isEmpty()) break;
    const tMailRec rec = StrToMailRec(*window, rules);
    if (rec.EndPos < 0) {
      g.Log(true, QStringLiteral("POP3.TMP Mishmash from FilePos = ") + QString::number(offset));
      offset += window->size();
      continue;
    }
    offset += rec.EndPos + 1;
    bool ok = false;
    const std::int64_t id = rec.PosID.toLongLong(&ok);
    // An identifier of another length (written by a sequence run past its digits) would move
    // the PC's position above every later record.
    if (!ok || id < 0 || rec.PosID.size() != 12) {
      g.Log(debug, QStringLiteral("POP3.TMP Error - PosID =|") + QString::fromLatin1(rec.PosID) +
                       QLatin1Char('|'));
      continue;
    }
    out.Pop3MaxPosID = std::max(out.Pop3MaxPosID, id);
    if (id <= out.Pop3ClientPos) continue;  // offered at an earlier QUIT
    if (!IsReleasable(g.state(), rec, client)) {
      ++denied;
      LogRefusedRecord(g, rec);
      continue;
    }
    out.Pop3MsgList.append({RenderMessage(g, rec, date), id, UniqueId(rec), false, false});
  }
  LogDeniedReleases(g, client, denied);
}

}  // namespace

Pop3MsgListBuild BuildPop3MsgList(GatewayContext& g, const QString& client) {
  Pop3MsgListBuild out;
  const auto store = OpenStoreToAppend(g, g.state().file(files::kPop3Tmp));
  out.Pop3ClientPos = savedPosition(g, client);
  if (!store->isOpen()) {
    g.Log(true, QStringLiteral("POP3.TMP Error CreateFile"));
    return out;
  }
  try {
    readMessages(g, client, store->file(), out);
  } catch (const std::exception&) {
    // What was read so far is offered.
    g.Log(true, QStringLiteral("POP3.TMP Exception Read or Seek"));
  }
  return out;
}

}  // namespace kolvane
