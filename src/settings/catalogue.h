#pragma once

#include <QString>
#include <QStringList>
#include <span>

namespace kolvane {

// One message of the catalogue. The texts are UTF-8 and used exactly as they are, including
// leading and trailing spaces; "\r" separates lines.
struct CatalogueEntry {
  int number;
  const char* key;
  const char* english;
  const char* czech;
};

inline constexpr int kCatalogueFirst = 1;
// Numbers up to 999: the texts added after the first 165 come in ranges of their own.
inline constexpr int kCatalogueLast = 999;

// Every entry, in ascending number order; numbers without entry are absent.
std::span<const CatalogueEntry> catalogueEntries();
// The entry of a number, or nullptr when the number has none.
const CatalogueEntry* catalogueEntry(int number);

// Replaces the "%s" placeholders of text by args, in order. Placeholders without an argument
// stay as they are and surplus arguments are ignored, so a user-edited text with a different
// number of placeholders cannot break the caller.
QString fillPlaceholders(const QString& text, const QStringList& args);

}  // namespace kolvane
