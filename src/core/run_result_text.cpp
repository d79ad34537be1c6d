#include "core/ext_app_run.h"

namespace kolvane {

QString RunResultText(std::int32_t code) {
  if (code > 32) return QStringLiteral("OK");
  const char* text = nullptr;
  switch (code) {
    case 2:
      text = "file not found";
      break;
    case 3:
      text = "path not found";
      break;
    case 5:
      text = "access denied";
      break;
    case 8:
      text = "not enough memory";
      break;
    case 26:
      text = "sharing violation";
      break;
    case 27:
      text = "filename association incomplete or invalid";
      break;
    case 28:
      text = "DDE request timed out";
      break;
    case 29:
      text = "DDE transaction failed";
      break;
    case 30:
      text = "DDE busy";
      break;
    case 31:
      text = "no application associated with the given filename extension";
      break;
    case 32:
      text = "dynamic-link library not found";
      break;
    case -2:
      text = "application is already running";
      break;
    case -1:
      text = "error code not assigned";
      break;
    default:
      return QStringLiteral("Error - any error no.:%1").arg(code);
  }
  return QStringLiteral("Error - ") + QLatin1String(text);
}

}  // namespace kolvane
