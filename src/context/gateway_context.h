#pragma once

#include <QObject>
#include <QString>
#include <memory>
#include <optional>

#include "context/gateway_hooks.h"
#include "context/gateway_state.h"
#include "context/settings_baseline.h"
#include "context/startup_options.h"
#include "log/log_memo.h"
#include "log/log_writer.h"
#include "log/traffic_logs.h"
#include "platform/clock.h"
#include "platform/ini_file.h"
#include "settings/language.h"

namespace kolvane {

class LinkPasses;
class MailListeners;
class TdmGtNET;
struct LinkState;

// What every layer reaches of the running gateway: the shared state, the log, the texts, the
// settings file, the clock, the hooks, and the link's and the mail servers' own objects. The
// gateway that starts, cycles and stops the program builds it.
// Status kinds of the link; a relation after a failed one shows them all again.
inline const QString kLinkStatus = QStringLiteral("link.");

class GatewayContext {
 public:
  GatewayContext(const GatewayContext&) = delete;
  GatewayContext& operator=(const GatewayContext&) = delete;

  GatewayState& state() { return gs_; }
  const GatewayState& state() const { return gs_; }
  const Clock& clock() const { return clock_; }
  LogWriter& log() { return *log_; }
  LogMemo& memo() { return memo_; }
  TrafficLogs& traffic() { return *traffic_; }
  Language& language() { return language_; }
  QString Text(int n) const { return language_.Text(n); }
  // The live settings file; exists from start-up step 11 on.
  IniFile* settingsFile() { return settingsFile_ ? &*settingsFile_ : nullptr; }
  // The file as last read and the program's state then.
  SettingsBaseline& settingsBaseline() { return settingsBaseline_; }
  // Writes into the settings file what the program changed of its settings since it read the
  // file (the dialog's changes, counters, placements, registries); every other line stays, and
  // an item the administrator changed meanwhile keeps the file's value, with a log line.
  bool writeBackSettings();
  // The log line of an item the administrator changed too.
  void logSettingsConflict(const QString& name);
  GatewayHooks& hooks() { return hooks_; }
  const GatewayHooks& hooks() const { return hooks_; }
  const StartupOptions& options() const { return options_; }

  // The link's state, its receive and send passes, the TCP gateway client, the mail listening
  // sockets.
  virtual LinkState& link() = 0;
  virtual const LinkState& link() const = 0;
  virtual LinkPasses& passes() = 0;
  virtual TdmGtNET& gtNet() = 0;
  virtual MailListeners& listeners() = 0;
  // The object the modules' timers belong to: they end with the gateway.
  virtual QObject* timerOwner() = 0;

  // Log(show, text) of every module.
  void Log(bool show, const QString& text) { log_->Log(show, text); }
  // A line that repeats a state ("connected", the signal): shown when it changed, otherwise at
  // most once an hour (LogWriter::status). The kinds of the link begin with kLinkStatus.
  void LogStatus(const QString& kind, const QString& text) { log_->status(kind, text); }
  void LogStatusEnded(const QString& prefix) { log_->statusEnded(prefix); }

 protected:
  GatewayContext(const Clock& clock, StartupOptions options, const QString& programDir);
  virtual ~GatewayContext();

  const Clock& clock_;
  StartupOptions options_;
  Language language_;
  GatewayState gs_;
  std::unique_ptr<LogWriter> log_;
  std::unique_ptr<TrafficLogs> traffic_;
  LogMemo memo_;
  std::optional<IniFile> settingsFile_;
  SettingsBaseline settingsBaseline_;
  GatewayHooks hooks_;
};

}  // namespace kolvane
