#pragma once

#include <QByteArray>
#include <QString>
#include <functional>
#include <optional>

#include "core/command_line.h"

namespace kolvane {

class Language;

// What the password tools print: one line, for standard output or for standard error.
struct AccountAnswer {
  int exitCode = 0;
  QString line;
  bool error = false;
};

// Reads the new password of account: from a terminal asked twice, not echoed; otherwise the first
// line of standard input. nullopt, with the reason in *why, when the two differ.
std::optional<QByteArray> readNewPassword(const QString& account, const Language& language,
                                          QString* why);

// --set-password and --delete-user on a folder; password reads the new password. A program
// running on the folder is told at once.
AccountAnswer accountCommand(const CommandLine& cl, const QString& folder, const Language& language,
                             const std::function<std::optional<QByteArray>(QString*)>& password);

}  // namespace kolvane
