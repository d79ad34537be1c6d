#include "context/gateway_context.h"
#include "gsm/at_commands.h"
#include "gsm/at_steps.h"
#include "gsm/link_state.h"

namespace kolvane::at {

namespace {

// The SIM cannot be used: one line while the state lasts, and the alarm.
AtState SimBlocked(GatewayContext& g, int textNumber) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  const QByteArray notice = QByteArray::number(textNumber) + link.SimState;
  if (link.SimNotice != notice) {
    link.SimNotice = notice;
    g.Log(true, g.Text(textNumber));
    gs.AlarmBeep = true;
    gs.AlarmBeepTick = 0;
  }
  link.GsmSendStr.clear();
  return AtState::Stop;
}

AtState AfterPinQuery(GatewayContext& g) {
  LinkState& link = g.link();
  const QString& pin = g.state().cfg.SimPin;
  if (link.SimState == "SIM PUK") return SimBlocked(g, 16);
  if (link.SimState != "SIM PIN") {
    link.SimNotice.clear();
    return AtState::Registration;
  }
  if (pin.isEmpty()) return SimBlocked(g, 15);
  // A refused PIN locks the SIM further with every try; only a changed setting is tried.
  if (link.PinRefused == pin) return SimBlocked(g, 14);
  return AtState::PinEntry;
}

}  // namespace

AtState AfterSignal(GatewayContext& g) {
  const LinkState& link = g.link();
  const Settings& cfg = g.state().cfg;
  if (cfg.OnLine && cfg.SmsIndication && !link.IndicationRefused && !link.IndicationOn)
    return AtState::Indication;
  return cfg.MemCheOn ? AtState::Storage : AtState::List;
}

AtState SimOk(GatewayContext& g, AtState state) {
  LinkState& link = g.link();
  switch (state) {
    case AtState::PinQuery:
      return AfterPinQuery(g);
    case AtState::PinEntry:
      link.PinRefused.reset();
      link.SimNotice.clear();
      g.Log(true, g.Text(13));
      return AtState::Registration;
    case AtState::Registration:
      link.NotRegistered = link.RegState != -1 && link.RegState != 1 && link.RegState != 5;
      // Jobs wait for a relation with the network; SMS stored meanwhile are read.
      if (link.NotRegistered && !link.RegNoticeLogged) g.Log(true, g.Text(17));
      link.RegNoticeLogged = link.NotRegistered;
      return AtState::Charset;
    default:  // Indication
      link.IndicationOn = true;
      return AfterSignal(g);
  }
}

AtState SimError(GatewayContext& g, AtState state) {
  LinkState& link = g.link();
  switch (state) {
    case AtState::PinEntry:
      link.PinRefused = g.state().cfg.SimPin;
      link.SimNotice = "14" + link.SimState;
      g.Log(true, g.Text(14));
      g.state().AlarmBeep = true;
      g.state().AlarmBeepTick = 0;
      link.GsmSendStr.clear();
      return AtState::Stop;
    case AtState::Indication:
      link.IndicationRefused = true;  // polled as before
      return AfterSignal(g);
    default:
      // A device that knows no SIM or registration questions is driven as before.
      return state == AtState::PinQuery ? AtState::Registration : AtState::Charset;
  }
}

bool WriteSimCommand(GatewayContext& g, AtState N) {
  LinkState& link = g.link();
  switch (N) {
    case AtState::PinQuery:
      link.SimState.clear();
      link.GsmSendStr = kPinQuery;
      return true;
    case AtState::PinEntry:
      link.GsmSendStr = kPinEntry + ('"' + g.state().cfg.SimPin.toUtf8() + '"');
      return true;
    case AtState::Registration:
      link.RegState = -1;
      link.GsmSendStr = kRegistration;
      return true;
    case AtState::Indication:
      link.GsmSendStr = kIndication;
      return true;
    default:
      return false;
  }
}

void SimInformation(GatewayContext& g, const QByteArray& upper) {
  LinkState& link = g.link();
  if (upper.startsWith("+CPIN:")) {
    link.SimState = upper.mid(6).trimmed();
  } else if (upper.startsWith("+CREG:")) {
    // "+CREG: n,stat[,lac,ci]": the state is the second field.
    const QList<QByteArray> fields = upper.mid(6).split(',');
    bool ok = false;
    const int stat = fields.value(1).trimmed().toInt(&ok);
    link.RegState = ok && stat >= 0 && stat <= 10 ? static_cast<std::int8_t>(stat) : -1;
  }
}

QByteArray Traced(const QByteArray& line) {
  if (!line.toUpper().startsWith(kPinEntry)) return line;
  return kPinEntry + QByteArrayLiteral("\"****\"");
}

}  // namespace kolvane::at
