#include "context/gateway_context.h"

#include "settings/catalogue.h"

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

bool GatewayContext::writeBackSettings() {
  if (!settingsFile_) return false;
  const DateTime now = clock_.now();
  return settingsBaseline_.writeBack(*settingsFile_, savedItems(gs_, now), now,
                                     [this](const QString& name) { logSettingsConflict(name); });
}

void GatewayContext::logSettingsConflict(const QString& name) {
  Log(true, fillPlaceholders(Text(411), {name}));
}

}  // namespace kolvane
