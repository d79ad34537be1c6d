#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>

#include "context/cycle_hooks.h"

namespace kolvane {

class DeviceLink;
struct SerialParams;

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
  // Command runner, SMS form: queues a command line from an SMS with its parameters; the
  // result goes back to the sender's number. Empty: commands are not available.
  std::function<void(const QByteArray& telNo, const QString& commandLine, const QString& params)>
      runSmsCommand;
  // Speech: queues a text to be spoken. Empty: speech is not available.
  std::function<void(const QString& text)> speak;

  // Opens the serial device of a relation; null or a closed link when it cannot be opened.
  // The gateway sets it to the real serial port; tests plug in a simulated device.
  std::function<std::unique_ptr<DeviceLink>(const SerialParams&)> openSerial;

  // ISDN/LAN gateway devices: starts their line protocol; receives one byte (already appended
  // to GsmRecvStr).
  std::function<void()> startGateProtocol;
  std::function<void()> gateReceiver;

  // A checked start's failure explained in a message box (OK and Cancel, or OK alone); true
  // when the answer is OK. Empty (headless): the explanation is logged.
  std::function<bool(const QString& text, bool okCancel)> askExplanation;
  // Settings dialog opened on a page with the focus on one field.
  enum class SettingsField { ComPort, GatewayAddress, SmtpPort, Pop3Port };
  std::function<void(SettingsField field)> openSettingsAt;
  // Focus on the Start/Stop button.
  std::function<void()> focusStartStop;

  // The main cycle's hand-overs.
  CycleHooks cycle;

  // Windows that save their placement at shutdown (open views, send-SMS dialog).
  std::function<void()> savePlacementsOfOpenWindows;

  // The settings file was read again (SIGHUP) and its changes applied: whatever holds more
  // than the settings themselves (windows, certificates, accounts) takes them over.
  std::function<void()> settingsReloaded;
};

}  // namespace kolvane
