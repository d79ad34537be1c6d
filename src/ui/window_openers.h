#pragma once

#include <QString>
#include <functional>

namespace kolvane::ui {

// The monitor views the main window opens.
enum class ViewKind { SmtpClients, Pop3Clients, SmtpStore, Pop3Store, WaitStore };

// How the main window (and the start-up message boxes) open the other windows, so that it
// does not depend on how they are built.
struct WindowOpeners {
  // node: the settings dialog's page-tree node in flat order (0 "GSM device", 1 "SMTP, POP3",
  // ...); focus: objectName of the control to focus on that page, empty for none. Used names:
  // "ComNo", "GtIPAdress", "SmtpPort", "Pop3Port".
  std::function<void(int node, const QString& focus)> openSettings;
  std::function<void(ViewKind kind)> openView;
};

}  // namespace kolvane::ui
