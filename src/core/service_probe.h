#pragma once

#include <QString>
#include <QStringList>

namespace kolvane {

// The system service of this machine as the window program sees it: whether it runs (its
// unit is active, or its folder's status socket answers) and, where this user may read it,
// its --status.
struct ServiceProbe {
  bool running = false;
  QString folder;
  QStringList status;  // empty when this user may not read it
};

// The service's folder: /var/lib/kolvane, or KOLVANE_SERVICE_DIR where a test puts it.
QString serviceFolder();
ServiceProbe probeSystemService();

}  // namespace kolvane
