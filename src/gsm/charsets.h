#pragma once

#include <QByteArrayView>
#include <QString>
#include <array>
#include <optional>
#include <string_view>

namespace kolvane {

// The mail charsets the gateway converts, in the order of the EmlSmsChConv choice list.
inline constexpr std::array<std::string_view, 15> kMailCharsets = {
    "windows-1250", "windows-1251", "windows-1252", "windows-1253", "windows-1254",
    "windows-1257", "iso-8859-1",   "iso-8859-2",   "iso-8859-4",   "iso-8859-5",
    "iso-8859-7",   "iso-8859-9",   "iso-8859-13",  "iso-8859-16",  "utf-8"};

// Known charset: one of kMailCharsets, compared exactly.
bool IsKnownCharset(QByteArrayView name);

// Decode from a named charset; empty for a name that is not known.
QString DecodeFromNamedCharset(QByteArrayView name, QByteArrayView bytes);

// The character of every byte of a known single-byte charset, taken from the system's converter
// (U+FFFD where the code page leaves a byte undefined); none for "utf-8" and unknown names.
std::optional<std::array<char16_t, 256>> SingleByteCodePage(QByteArrayView name);

}  // namespace kolvane
