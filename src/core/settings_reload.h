#pragma once

#include <QString>

namespace kolvane {

class Gateway;

// SIGHUP: reads Kolvane.ini again and applies, of what the administrator changed in it, all
// that can change without a restart: intervals and delays, the texts' language, limits,
// routing, command and alert settings, the lists. The rest (device, ports, counters, the run
// position, log files) is named in one line and takes effect at the next start. A port that
// did not open is tried again at once. Logs "Settings reloaded".
void reloadSettings(Gateway& gateway);

// Keys whose change takes effect only at the next start.
bool needsRestart(const QString& key);

}  // namespace kolvane
