#pragma once

#include <QByteArray>
#include <functional>

namespace kolvane {

// What the SMTP dialogue shares with the connection layer and the main cycle: the one pending
// reply (sent with CR LF as soon as it is set, or by the cycle's delivery step) and the
// mail-conversion flag.
struct SmtpServerState {
  bool SmtpSendOn = false;
  QByteArray SmtpSendStr;  // without CR LF
  // A completed mail is being turned into jobs; the file drop waits meanwhile.
  bool SmtpNetRun = false;

  // The connection layer sends a reply when it is set, if it can.
  std::function<void()> onReply;

  // A later reply before delivery replaces an earlier one.
  void setReply(const QByteArray& text) {
    SmtpSendStr = text;
    SmtpSendOn = true;
    if (onReply) onReply();
  }
  void clearReply() {
    SmtpSendOn = false;
    SmtpSendStr.clear();
  }
};

}  // namespace kolvane
