#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdint>

namespace kolvane {

class GatewayContext;

// One offered message. Its id is the same in every session: the record's identifier with a
// digest of the record, so records that share an identifier still differ.
struct Pop3Message {
  QByteArray text;  // RenderMessage of the record
  std::int64_t posId = 0;
  QByteArray uid;
  bool retrieved = false;
  bool deleted = false;
};

// The messages a PC is offered at USER, with the positions its QUIT needs.
struct Pop3MsgListBuild {
  QList<Pop3Message> Pop3MsgList;  // every record offered
  std::int64_t Pop3ClientPos = 0;  // the PC's saved position
  std::int64_t Pop3MaxPosID = 0;   // the highest PosID in the store
};

// Reads the POP3 store and offers every record above the PC's saved position that it may
// fetch. Store errors are logged; the PC then sees fewer or no messages.
Pop3MsgListBuild BuildPop3MsgList(GatewayContext& g, const QString& client);

}  // namespace kolvane
