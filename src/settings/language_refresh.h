#pragma once

#include <QString>
#include <QStringList>

namespace kolvane {

class Language;

// What the windows and the gateway show that is built from the catalogue, refreshed each
// time the language is set.
struct LanguageRefreshInput {
  QString version;            // the program version
  QString deviceDisplayName;  // display name of the GSM device type
  QString EmlSmsChConv;       // the charset setting
};

struct LanguageRefresh {
  QString sentTitle;              // FMain lblC10
  QString receivedTitle;          // FMain lblC20
  QString mainVersionPanel;       // FMain stat1 panel 0
  QString mainDevicePanel;        // FMain stat1 panel 1
  QString installerVersionPanel;  // FInst status panel 0
  QStringList charsetItems;       // FCfg charset list
  int charsetIndex = 0;           // its selected item
  QString concatenationHint;      // FCfg, below the long-SMS caption
  QString speechTestText;         // FCfg speech test field: the "Verification text" label
  QString memoryName;             // the modem memory in status texts
};

LanguageRefresh refreshTexts(const Language& language, const LanguageRefreshInput& input);

// The sixteen charset items in list order.
QStringList charsetItems(const Language& language);
// The last item naming the charset: its text followed by "|" contains the setting followed
// by "|", so "iso-8859-1" does not pick the "iso-8859-16" item; 0 when none does.
int selectedCharsetItem(const QStringList& items, const QString& EmlSmsChConv);

// The long-SMS caption of the settings dialog for the maximum-number field and the
// concatenation check box; empty unless the field reads as a positive whole number.
QString longSmsCaption(const Language& language, const QString& maxField, bool concatenate);

}  // namespace kolvane
