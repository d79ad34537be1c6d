#pragma once

#include <QString>
#include <optional>
#include <utility>

#include "platform/dir_change_probe.h"

namespace kolvane {

class GatewayContext;

// The main cycle's waiting-store stage without the scans that can only repeat the last one:
// while no waiting file exists, no request is pending and no file of the folder has come or
// gone, a scan would find nothing and set the store lamps as they already are.
class WaitingStoreWatch {
 public:
  explicit WaitingStoreWatch(QString folder) : folderPath_(std::move(folder)) {}

  void run(GatewayContext& g);

 private:
  struct StoreLamps {
    bool smtp = false;
    bool pop3 = false;
  };
  QString folderPath_;
  std::optional<DirChangeProbe> folder_;  // watched from the first run on
  std::optional<StoreLamps> quiet_;       // what the last scan found when it left no waiting file
};

}  // namespace kolvane
