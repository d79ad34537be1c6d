#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "settings/caption_table.h"

namespace kolvane {

class Language;

// What one caption entry shows in the language in force.
struct CaptionText {
  const CaptionEntry* entry;
  QString text;       // control, tree node (and its page) or grid cell
  QStringList items;  // list box
  bool keep = false;  // leave the target as it is (the licence list under the language file)
};

// Every entry of the caption table, in table order, as Set language applies it.
std::vector<CaptionText> captionTexts(const Language& language);
// The text of one control of a form in the language in force; empty when not in the table.
QString captionText(const Language& language, const QString& form, const QString& control);
// The title of one column of a grid of a form; empty when not in the table.
QString captionColumnText(const Language& language, const QString& form, const QString& grid,
                          int column);

}  // namespace kolvane
