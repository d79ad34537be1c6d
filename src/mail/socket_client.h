#pragma once

#include <QByteArray>
#include <QString>
#include <cstdint>

#include "platform/clock.h"

namespace kolvane {

// One client PC known to a mail server.
struct tSocketClient {
  std::int32_t Handle = 0;  // connection of the PC being served or waiting; 0 = none
  QString Name;             // host name, or the IP address with DNSOff; the registry key
  DateTime ConTime = 0;     // last connection; 0 = removed from the registry
  bool SetOn = true;        // the PC may use the server
  bool ConOn = false;       // the PC is connected now
  QByteArray PosID;         // POP3 only: the PC's position in the POP3 store
  std::int32_t RowSG = -1;  // row in the clients window; -1 = none
};

}  // namespace kolvane
