#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <functional>

namespace kolvane {

// What the POP3 dialogue shares with the connection layer and the main cycle: the connection
// being served and the one pending reply (sent with CR LF as soon as it is set, or by the cycle's
// delivery step).
struct Pop3ServerState {
  std::int32_t Pop3RunSockHandle = 0;  // 0 = none
  QString Pop3RunName;                 // empty = none
  bool Pop3SendOn = false;
  QByteArray Pop3SendStr;  // without CR LF
  // A connect is being handled (name lookup and the pause after it); replies wait meanwhile.
  bool Pop3ConnectBusy = false;
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
