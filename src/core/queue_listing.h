#pragma once

#include <QString>
#include <QStringList>
#include <vector>

#include "mail/mail_rec.h"

namespace kolvane {

// One SMS job waiting in a store of the program folder.
struct WaitingJob {
  const char* store;      // the store's file name
  QByteArray telNo;       // the number it goes to
  QString firstWords;     // the start of its text, on one line
  QString since;          // the day it was queued ("2025-03-01"), from its record identifier
  DateTime sendTime = 0;  // a preset sending time, 0 = none
  int attempts = 0;       // 1 for the job the modem has in hand
};

// The jobs of one store, and whether the store could be read.
struct StoreJobs {
  const char* store;
  std::vector<WaitingJob> jobs;
  bool readable = true;
};

// The waiting jobs of a folder, store by store in the order they are sent: the run file from
// the run position on, the high-priority store, the mail store, then the jobs that wait for a
// preset time. A store that is missing holds no jobs; one held by a writer is unreadable.
std::vector<StoreJobs> waitingJobs(const QString& folder, qint64 runPos, const SubjectRules& rules,
                                   bool jobInHand);

// The listing printed by --queue: a header and one line per job.
QStringList queueLines(const std::vector<StoreJobs>& stores);

}  // namespace kolvane
