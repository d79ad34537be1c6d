#pragma once

#include <QString>
#include <optional>

namespace kolvane {

// How values of section CFG are written and read back; unreadable text gives std::nullopt,
// which callers turn into the key's default.
std::optional<long long> parseIniInt(const QString& text);
std::optional<bool> parseIniBool(const QString& text);
inline QString formatIniBool(bool value) { return value ? QStringLiteral("1") : QStringLiteral("0"); }

}  // namespace kolvane
