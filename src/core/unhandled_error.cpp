#include "core/unhandled_error.h"

#include <QObject>

#include "core/gateway.h"
#include "log/exception_report.h"
#include "log/stack_trace.h"

namespace kolvane {

void OnUnhandledError(Gateway& g, const QObject* sender, const QString& message) {
  try {
    g.Log(true, QStringLiteral("!!! Exception - Message = ") + message);
    if (sender != nullptr) {
      g.Log(true, QStringLiteral("!!! Exception - Sender ClassName = ") +
                      QString::fromLatin1(sender->metaObject()->className()));
      if (!sender->objectName().isEmpty()) {
        g.Log(true,
              QStringLiteral("!!! Exception - Sender Component.Name = ") + sender->objectName());
      }
    }
    const GatewayState& gs = g.state();
    if (gs.cfg.ExceptReport) {
      appendExceptionReport(g.log().exceptReportPath(),
                            exceptionReportText(g.clock().now(), g.log().historyInReportOrder(),
                                                currentStackTrace()));
    }
    if (!gs.cfg.CmdOnException.isEmpty() && g.hooks().runHookCommand) {
      g.hooks().runHookCommand(gs.cfg.CmdOnException);
    }
  } catch (...) {
    // Nothing may escape the last handler; the program goes on.
  }
}

}  // namespace kolvane
