#pragma once

#include <QString>

namespace kolvane {

// Tells whether entries of a folder were created, deleted or renamed since the last look, by
// this process or any other. A look costs one read of a queue the system fills as the changes
// happen, so a change made just before it is never missed. Where the folder cannot be watched,
// every look reports a change.
class DirChangeProbe {
 public:
  explicit DirChangeProbe(const QString& folder);
  DirChangeProbe(const DirChangeProbe&) = delete;
  DirChangeProbe& operator=(const DirChangeProbe&) = delete;
  ~DirChangeProbe();

  // True at the first look and whenever the folder's entries may have changed since the last.
  bool changed();
  // A descriptor that becomes readable at a change (to wake an event loop); -1 when none.
  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  bool first_ = true;
};

}  // namespace kolvane
