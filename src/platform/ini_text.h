#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <optional>

namespace kolvane {

// INI text held line by line, so that every edit leaves comments, unknown keys and the user's
// layout in place. Section and key names match without regard to case (the first occurrence
// wins, as with the Windows profile functions); values are trimmed and lose one pair of
// enclosing double quotes.
class IniText {
 public:
  using Entry = QPair<QString, QString>;

  IniText() = default;
  static IniText parse(const QString& text);
  // The bytes of a file: each line is read as UTF-8, or as Windows-1250 (the 8-bit code page of
  // older files) when it is no valid UTF-8.
  static IniText parseBytes(const QByteArray& bytes);
  // The text with every line ended by the line end the parsed text used ("\r\n" for new text).
  QString toString() const;
  // The same as bytes: lines no edit touched come back exactly as they were read.
  QByteArray toBytes() const;

  bool isEmpty() const { return lines_.isEmpty(); }
  std::optional<QString> value(const QString& section, const QString& key) const;
  QString value(const QString& section, const QString& key, const QString& fallback) const {
    return value(section, key).value_or(fallback);
  }
  bool hasSection(const QString& section) const;
  bool hasKey(const QString& section, const QString& key) const {
    return value(section, key).has_value();
  }
  // Section names in file order (first spelling of each).
  QStringList sections() const;
  // Key names of a section in file order (first occurrence of each).
  QStringList keys(const QString& section) const;
  // key=value pairs of a section in file order (first occurrence of each key).
  QList<Entry> entries(const QString& section) const;

  // Replaces the value in place, or appends the key at the end of the section's key lines,
  // or appends the section at the end of the text.
  void setValue(const QString& section, const QString& key, const QString& value);
  void removeKey(const QString& section, const QString& key);
  // Removes the section header and every line up to the next section.
  void eraseSection(const QString& section);
  // Writes every key of every section of other over this text, value by value.
  void mergeFrom(const IniText& other);

 private:
  struct KeyLine {
    int line;
    QString key;
    QString value;
  };
  // Index range [header, end) of the first section with this name; header == -1 if missing.
  QPair<int, int> sectionRange(const QString& section) const;
  std::optional<KeyLine> findKey(const QString& section, const QString& key) const;
  static std::optional<QString> sectionName(const QString& line);
  static std::optional<Entry> splitKeyLine(const QString& line);

  void setLine(int index, const QString& line);
  void insertLine(int index, const QString& line);
  void removeLines(int index, int count);

  QStringList lines_;
  QList<QByteArray> raw_;  // the bytes of each line as read, or UTF-8 of an edited line
  QByteArray bom_;         // a UTF-8 byte-order mark the file began with
  QString eol_ = QStringLiteral("\r\n");
};

}  // namespace kolvane
