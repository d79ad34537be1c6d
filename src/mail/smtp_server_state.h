#pragma once

#include <QByteArray>

namespace kolvane {

// What the SMTP dialogue shares with the connection layer and the main cycle: the one pending
// reply (sent with CR LF by the cycle's delivery step) and the mail-conversion flag.
struct SmtpServerState {
  bool SmtpSendOn = false;
  QByteArray SmtpSendStr;  // without CR LF
  // A completed mail is being turned into jobs; the file drop waits meanwhile.
  bool SmtpNetRun = false;

  // A later reply before delivery replaces an earlier one.
  void setReply(const QByteArray& text) {
    SmtpSendStr = text;
    SmtpSendOn = true;
  }
  void clearReply() {
    SmtpSendOn = false;
    SmtpSendStr.clear();
  }
};

}  // namespace kolvane
