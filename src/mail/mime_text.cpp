#include "mail/mime_text.h"

#include <QRegularExpression>
#include <algorithm>

#include "gsm/charsets.h"

namespace kolvane {

namespace {

constexpr qsizetype kQpLineChars = 76;
constexpr qsizetype kWordUtf8Bytes = 45;  // base64 of 45 bytes and the word's frame: 72 chars

bool isUtf8Lead(char c) {
  return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
}

// One text line as quoted-printable, with soft breaks keeping each line to 76 characters.
void appendQpLine(QByteArrayView line, QByteArray& out) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  qsizetype column = 0;
  for (qsizetype i = 0; i < line.size(); ++i) {
    const auto b = static_cast<unsigned char>(line[i]);
    const bool last = i + 1 == line.size();
    // Blanks at a line's end would be lost in transit.
    const bool escape =
        b == '=' || b >= 127 || (b < 32 && b != '\t') || (last && (b == ' ' || b == '\t'));
    const qsizetype width = escape ? 3 : 1;
    // The soft break "=" takes the last column, unless this piece ends the line.
    if (column + width > (last ? kQpLineChars : kQpLineChars - 1)) {
      out += "=\r\n";
      column = 0;
    }
    if (escape) {
      out += '=';
      out += kHex[b >> 4];
      out += kHex[b & 15];
    } else {
      out += static_cast<char>(b);
    }
    column += width;
  }
  out += "\r\n";
}

QByteArray decodeQWord(QByteArray text) {
  text.replace('_', ' ');
  QByteArray out;
  for (qsizetype i = 0; i < text.size(); ++i) {
    if (text[i] == '=' && i + 2 < text.size()) {
      bool ok = false;
      const int v = text.mid(i + 1, 2).toInt(&ok, 16);
      if (ok) {
        out += static_cast<char>(v);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

}  // namespace

QByteArray AsValidUtf8(const QByteArray& bytes) {
  return bytes.isValidUtf8() ? bytes : QString::fromLatin1(bytes).toUtf8();
}

QByteArray QpBodyLines(const QByteArray& text) {
  QByteArray body = text;
  if (body.contains('\r')) body.replace("\r\n", "\n").replace('\r', '\n');
  QByteArray out;
  out.reserve(body.size() + body.size() / 32 + 2);
  for (qsizetype at = 0;;) {
    const qsizetype end = body.indexOf('\n', at);
    appendQpLine(QByteArrayView(body).sliced(at, (end < 0 ? body.size() : end) - at), out);
    if (end < 0) return out;
    at = end + 1;
  }
}

QByteArray EncodedWordsHeader(const QByteArray& value, QByteArrayView eightBit) {
  const bool plain = std::all_of(value.begin(), value.end(), [](char c) {
    const auto b = static_cast<unsigned char>(c);
    return b >= 32 && b < 127;
  });
  if (plain) return value;
  const QByteArray utf8 = ReadUndeclared(value, eightBit).toUtf8();
  QByteArray out;
  for (qsizetype at = 0; at < utf8.size();) {
    qsizetype n = std::min(kWordUtf8Bytes, utf8.size() - at);
    // A word holds whole characters.
    while (at + n < utf8.size() && n > 1 && !isUtf8Lead(utf8[at + n])) --n;
    if (!out.isEmpty()) out += "\r\n ";
    out += "=?UTF-8?B?" + utf8.mid(at, n).toBase64() + "?=";
    at += n;
  }
  return out;
}

QString DecodeEncodedWords(const QByteArray& value, QByteArrayView eightBit) {
  static const QRegularExpression kWord(QStringLiteral(R"(=\?([^?\s]+)\?([BbQq])\?([^?\s]*)\?=)"));
  const QString text = ReadUndeclared(value, eightBit);
  QString out;
  qsizetype at = 0;
  bool afterWord = false;
  for (auto it = kWord.globalMatch(text); it.hasNext();) {
    const QRegularExpressionMatch m = it.next();
    const QString between = text.mid(at, m.capturedStart() - at);
    if (!(afterWord && between.trimmed().isEmpty())) out += between;
    // A language tag ("utf-8*en") names no charset.
    const QByteArray charset = m.captured(1).section(QLatin1Char('*'), 0, 0).toLatin1();
    const QByteArray data = m.captured(3).toLatin1();
    const bool base64 = m.captured(2).compare(QLatin1String("B"), Qt::CaseInsensitive) == 0;
    out +=
        ReadDeclared(charset, base64 ? QByteArray::fromBase64(data) : decodeQWord(data), eightBit);
    at = m.capturedEnd();
    afterWord = true;
  }
  out += text.mid(at);
  return out;
}

}  // namespace kolvane
