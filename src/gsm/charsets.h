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

// The standard name of a charset as a mail declares it: the name in kMailCharsets for any of
// its aliases ("UTF8", "utf_8", "latin2", "cp1250", "ISO_8859-2:1987"), else the name in lower
// case without quotes and blanks.
QByteArray CanonicalCharset(QByteArrayView name);

// Whether the platform's converter knows a charset outside kMailCharsets ("us-ascii", "koi8-r").
bool SystemConverterKnows(QByteArrayView name);

// Bytes in a charset the platform's converter knows; none when it does not know the charset or
// the bytes are not valid in it.
std::optional<QString> DecodeWithSystemConverter(QByteArrayView name, QByteArrayView bytes);

// The charset of a text that declares none: "utf-8" when the bytes are valid UTF-8, else the
// 8-bit charset chosen in the settings when it is one of kMailCharsets, else "windows-1252".
QByteArray UndeclaredCharset(QByteArrayView bytes, QByteArrayView eightBit);

// A text that declares no charset, read as UndeclaredCharset says.
QString ReadUndeclared(QByteArrayView bytes, QByteArrayView eightBit);

// The charset in which a mail's text is read, and its bytes. A declared charset (any alias)
// of kMailCharsets is kept; another one that the platform's converter reads comes back as
// UTF-8; one whose bytes are not valid in it, and no charset at all, go by UndeclaredCharset;
// a name no converter knows stays as it is (its 8-bit bytes cannot be converted).
struct CharsetText {
  QByteArray charset;
  QByteArray bytes;
};
CharsetText ResolveCharset(QByteArrayView declared, const QByteArray& bytes,
                           QByteArrayView eightBit);

// Header text in a declared charset, bytes invalid in it read as if none were declared.
QString ReadDeclared(QByteArrayView declared, const QByteArray& bytes, QByteArrayView eightBit);

}  // namespace kolvane
