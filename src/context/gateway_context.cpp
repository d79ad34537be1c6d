#include "context/gateway_context.h"

namespace kolvane {

GatewayContext::GatewayContext(const Clock& clock, StartupOptions options,
                               const QString& programDir)
    : clock_(clock), options_(std::move(options)), language_(programDir) {
  gs_.ProgramDir = programDir;
  gs_.CommandLineText = options_.commandLineText;
  gs_.TimerLast = clock_.now();
  log_ = std::make_unique<LogWriter>(clock_, gs_.ProgramDir);
  traffic_ = std::make_unique<TrafficLogs>(clock_, gs_.ProgramDir);
}

GatewayContext::~GatewayContext() = default;

}  // namespace kolvane
