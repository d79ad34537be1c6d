#pragma once

#include <QString>

namespace kolvane {

// Settings that steer the log writer; the settings loader fills them.
struct LogOptions {
  bool Debug = false;
  bool ExceptReport = false;
  bool LogFiOn = false;
  qint64 LogSeekMax = 100000;
  QString LogFiNumMask = QStringLiteral("000");
  QString LogFiDateMask = QStringLiteral("YYMMDD");
  int MeMaxLi = 200;
};

}  // namespace kolvane
