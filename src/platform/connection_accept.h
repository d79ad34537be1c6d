#pragma once

#include <QString>
#include <QtGlobal>

namespace kolvane {

// One connection taken from a listening socket.
struct AcceptedConnection {
  qintptr descriptor = -1;  // the new connection, non-blocking; -1 when none was taken
  bool exhausted = false;   // one waits but cannot be taken for want of descriptors or memory
  QString error;            // why, when exhausted
};

// Takes the next connection waiting on a non-blocking listening socket.
AcceptedConnection AcceptWaiting(qintptr listening);
// Closes a descriptor nothing else owns.
void CloseDescriptor(qintptr descriptor);
// How many descriptors the process may hold open.
qintptr DescriptorLimit();

}  // namespace kolvane
