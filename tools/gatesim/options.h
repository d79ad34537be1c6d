#pragma once

#include <QString>
#include <QStringList>
#include <optional>
#include <vector>

#include "gate_device.h"

namespace kolvane::gatesim {

struct RunOptions {
  DeviceConfig device;
  std::optional<quint16> tcpPort;  // --tcp / --port (0 = any free port)
  QString ptyLink;                 // --pty
  QString jobsPath;
  QString injectPath;
  QString controlPath;
  bool trace = false;
  std::vector<StoredSms> stored;  // in command-line order
};

struct ParsedOptions {
  std::optional<RunOptions> options;  // empty: error or help
  bool help = false;
  QString text;  // the help, or the error
};

ParsedOptions parseOptions(const QStringList& arguments);

// An SMS to hand over: "NUMBER:TEXT" (command line) or NUMBER<TAB>TEXT[<TAB>FLAGS] (inject
// file; FLAGS a comma list of ucs2 and module=N). Texts take the escapes \n, \t, \\ and \xNN.
std::optional<StoredSms> parseStoredSms(const QString& number, const QString& text,
                                        const QString& flags, int modules, QString* error);
std::optional<StoredSms> parseInjectLine(const QString& line, int modules, QString* error);

}  // namespace kolvane::gatesim
