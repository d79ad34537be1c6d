#pragma once

#include <QString>
#include <functional>

#include "context/gateway_state.h"
#include "platform/ini_file.h"
#include "platform/ini_text.h"

namespace kolvane {

using LogFn = std::function<void(const QString&)>;

// The device table: identifiers as written in the settings file and their display names.
struct GsmDeviceEntry {
  const char* id;
  const char* displayName;
};
const std::array<GsmDeviceEntry, 11>& gsmDevices();
// Index of the device whose identifier matches (last match wins), 0 ("Unknown") for none.
int gsmDeviceIndex(const QString& id);

inline constexpr int kCfgTreePages = 19;
// Forms whose placement the settings file keeps.
inline constexpr const char* kPlacementForms[] = {"FMain",        "FCfg",         "fSiSend",
                                                  "fSmtpTmpView", "fPop3TmpView", "fWaitTmpView",
                                                  "fSmtpCliView", "fPop3CliView"};

// Reads every CFG key and list section of the layered settings (Exe-Ini block with the file
// written over it) into the state and derives the values the program works with.
// startTime decides which routing entries are still in force and whether the day's counters
// are restored.
void loadSettings(GatewayState& gs, const IniText& layered, DateTime startTime, const LogFn& log);

// Derived values that follow the settings and change when the settings dialog changes them.
void applyIntervals(GatewayState& gs);

// Queues a command-line text under the next numeric key of section ParamAsSMS.
bool storeParamAsSms(IniFile& ini, const QString& text);
// A queued text as one INI value: a text with line breaks, blanks at its ends or enclosing
// quotes is percent-encoded behind "%%"; other texts are stored as they are.
QString paramAsSmsValue(const QString& text);
QString paramAsSmsText(const QString& value);

// One thing the program writes back into the settings file: a key with its value, or a whole
// list section (key empty) with its lines.
struct SavedItem {
  QString section;
  QString key;
  QString value;
  QList<IniText::Entry> entries;
  bool isList() const { return key.isEmpty(); }
};
using SavedItems = QList<SavedItem>;

// What the program keeps of its state in the settings file, in the documented order: the saved
// keys, the list sections and the window placements. now decides which routing entries are
// still in force.
SavedItems savedItems(const GatewayState& gs, DateTime now);
// The same as the program holds it right after reading the file: the routing entries as the
// file lists them, so that those the load let expire count as the program's change.
SavedItems savedItemsAsRead(const GatewayState& gs, const IniText& read, DateTime now);

}  // namespace kolvane
