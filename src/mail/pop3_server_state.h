#pragma once

#include <QByteArray>
#include <functional>

namespace kolvane {

// What the POP3 dialogue of one session shares with the connection layer: the line being
// received and the one pending reply (sent with CR LF as soon as it is set, or once the pause
// after the connect is over).
struct Pop3ServerState {
  bool Pop3SendOn = false;
  QByteArray Pop3SendStr;  // without CR LF
  QByteArray Pop3RecvStr;  // the line being received

  // The connection layer sends a reply when it is set, if it can.
  std::function<void()> onReply;

  // A later reply before delivery replaces an earlier one.
  void setReply(const QByteArray& text) {
    Pop3SendStr = text;
    Pop3SendOn = true;
    if (onReply) onReply();
  }
  void clearReply() {
    Pop3SendOn = false;
    Pop3SendStr.clear();
  }
};

}  // namespace kolvane
