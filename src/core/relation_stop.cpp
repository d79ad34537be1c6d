#include "core/gateway.h"
#include "core/gateway_start.h"
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
  } else if (code == 6 || code == 7) {
    openSettingsAt(g, code == 6 ? Field::SmtpPort : Field::Pop3Port);
  }
}

}  // namespace

QString startFailureExplanation(const Gateway& g, int code) {
  const QString cr = QStringLiteral("\r");
  switch (code) {
    case 1:
    case 2:
      return fillPlaceholders(g.Text(75), {g.state().ComTcpText()}) + cr + g.Text(76) + cr +
             g.Text(83);
    case 3:
      return g.Text(77) + cr + g.Text(83);
    case 4:
      return g.Text(78) + cr + g.Text(83);
    case 5:
      return g.Text(79);
    case 6:
      return g.Text(81) + cr + g.Text(84);
    case 7:
      return g.Text(82) + cr + g.Text(84);
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
      g.Log(true, QStringLiteral("!!! Varning !!! ") + text);
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
