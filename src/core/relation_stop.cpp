#include "core/gateway.h"
#include "core/gateway_start.h"
#include "gsm/serial_device_link.h"
#include "settings/catalogue.h"

namespace kolvane {

namespace {

void refreshStatusDisplay(Gateway& g) {
  GatewayState& gs = g.state();
  if (g.hooks().cycle.refreshStatusDisplay) {
    g.hooks().cycle.refreshStatusDisplay();
  } else {
    gs.LampShown = gs.Lamps;
    gs.StatusShown = gs.StatusText;
  }
}

void focusStartStop(Gateway& g) {
  if (g.hooks().focusStartStop) g.hooks().focusStartStop();
}

void openSettingsAt(Gateway& g, GatewayHooks::SettingsField field) {
  if (g.hooks().openSettingsAt) g.hooks().openSettingsAt(field);
}

// Shows the explanation and acts on the answer; headless it is logged line by line.
void explainFailure(Gateway& g, int code, const QString& text) {
  GatewayState& gs = g.state();
  GatewayHooks& hooks = g.hooks();
  const bool okCancel = code != 5;
  bool ok = false;
  if (hooks.askExplanation) {
    ok = hooks.askExplanation(text, okCancel);
  } else {
    for (const QString& line : text.split(QLatin1Char('\r'))) g.Log(true, line);
  }
  using Field = GatewayHooks::SettingsField;
  if (code >= 1 && code <= 4) {
    if (ok && gs.cfg.ComParamOn) {
      openSettingsAt(g, g.link().LinkKind == 1 ? Field::ComPort : Field::GatewayAddress);
    } else {
      focusStartStop(g);
    }
  }
}

}  // namespace

QString startFailureExplanation(const Gateway& g, int code) {
  const QString cr = QStringLiteral("\r");
  switch (code) {
    case 1:
    case 2: {
      // A serial device that did not open is named by its path, with the reason.
      const GatewayState& gs = g.state();
      const QString failed =
          g.link().LinkKind == 1 && !gs.DeviceOpenProblem.isEmpty()
              ? fillPlaceholders(g.Text(406), {serialDeviceOf(gs), gs.DeviceOpenProblem})
              : fillPlaceholders(g.Text(75), {gs.ComTcpText()});
      return failed + cr + g.Text(76) + cr + g.Text(83);
    }
    case 3:
      return g.Text(77) + cr + g.Text(83);
    case 4:
      return g.Text(78) + cr + g.Text(83);
    case 5:
      return g.Text(79);
    default:
      return {};
  }
}

void RelationStop(Gateway& g) {
  GatewayState& gs = g.state();
  gs.StartStopCaption = QStringLiteral("Start");
  gs.StartStopImage = 0;
  gs.RelationBase = 0;
  gs.StatusText = QLatin1Char(' ') + g.Text(92);
  gs.LinkControlsEnabled = true;
  g.link().GsmConnected = false;

  const bool recoveryMode = gs.cfg.RecoveryStartIncMin != 0;
  if (gs.TestStart) {
    gs.TestStart = false;
    if (gs.TestStartErr == 0) return;
    const int code = gs.TestStartErr;
    gs.Lamps.semaphore = 0;
    refreshStatusDisplay(g);
    const QString text = startFailureExplanation(g, code);
    if (recoveryMode) {
      g.Log(true, QStringLiteral("!!! RelationStop !!! - RecoveryMode"));
      g.Log(true, QStringLiteral("!!! Warning !!! ") + text);
      return;
    }
    explainFailure(g, code, text);
    return;
  }
  if (!recoveryMode) {
    gs.FirstStart = false;
    focusStartStop(g);
  }
}

}  // namespace kolvane
