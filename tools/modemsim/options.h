#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "modemsim/modem_sim.h"

namespace kolvane::modemsim {

struct RunOptions {
  ModemConfig modem;
  std::optional<quint16> tcpPort;  // --tcp / --port (0 = any free port)
  QString ptyLink;                 // --pty
  QString sentPath;
  QString injectPath;
  QString controlPath;
  QString simStatePath;                 // the SIM's tries and PIN, kept across restarts
  Storage injectStorage = Storage::SM;  // the last --storage, for inject-file lines
  bool trace = false;
  std::vector<Injection> injections;  // in command-line order
};

struct ParsedOptions {
  std::optional<RunOptions> options;  // empty: error or help
  bool help = false;
  QString text;  // the help, or the error
};

ParsedOptions parseOptions(const QStringList& arguments);

}  // namespace kolvane::modemsim
