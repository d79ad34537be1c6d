#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace kolvane {

// Faults of the link that can repeat many times a second (a noisy or vanished device). The
// first of each kind in a relation is logged at once; the rest are only counted and summed up
// in one line when the relation ends, so a bad device cannot flood the log.
class RelationFaults {
 public:
  // True for the first fault of this kind since the last summary: the caller logs it.
  bool first(const QString& kind);
  // One line per kind that came more than once, with its count; then starts over.
  QStringList takeSummary();

 private:
  struct Count {
    QString kind;
    int n = 0;
  };
  QList<Count> counts_;
};

}  // namespace kolvane
