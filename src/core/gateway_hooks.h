#pragma once

#include <QString>
#include <functional>

namespace kolvane {

// Points where start-up and shutdown reach subsystems that are wired in by their own modules
// (windows, installer, servers, link, command runner, speech). An empty hook does nothing.
struct GatewayHooks {
  // Message boxes; headless runs log them instead.
  std::function<void(const QString& text)> showInfo;
  std::function<void(const QString& text)> showError;

  // Installer: runs the installer form modally.
  std::function<void()> runInstaller;
  // Uninstaller: removes the installed folder; true when it is gone.
  std::function<bool(const QString& folder)> runUninstaller;

  // Windows: apply the language in force to every form.
  std::function<void()> applyLanguageToWindows;

  // Mail servers: load the SMTP and POP3 client registries, check the POP3 store.
  std::function<void()> loadClientLists;
  std::function<void()> checkPop3Store;

  // GSM link: start the receive and send passes; ask them to stop; release the port.
  std::function<void()> startLinkPasses;
  std::function<void()> stopLinkPasses;
  // True when a device handle is open and must be closed 400 ms after the stop.
  std::function<bool()> linkHandleOpen;
  std::function<void()> closeLinkHandle;

  // Speech: fill the voice list.
  std::function<void()> fillVoiceList;

  // Command runner, hook form: runs the sibling command program with the hook's text.
  std::function<void(const QString& commandLine)> runHookCommand;

  // Windows that save their placement at shutdown (open views, send-SMS dialog).
  std::function<void()> savePlacementsOfOpenWindows;
};

}  // namespace kolvane
