#include <QDir>
#include <utility>

#include "context/gateway_context.h"
#include "gsm/at_commands.h"
#include "gsm/at_steps.h"
#include "gsm/link_state.h"
#include "gsm/modem_error_text.h"
#include "gsm/sim_pin_mark.h"
#include "settings/catalogue.h"

namespace kolvane::at {

namespace {

// A SIM reading itself after its PIN or a power-up says "busy" for some seconds.
constexpr std::uint32_t kSimBusyRetryMs = 2000;
constexpr std::uint32_t kSimBusyMaxMs = 30000;
// Refusals of the new-message indications in a row before the modem is polled.
constexpr std::uint8_t kIndicationTries = 3;

bool Is(const FinalResult& r, int cme, int cms) {
  return (r.kind == FinalKind::CmeError && r.code == cme) ||
         (r.kind == FinalKind::CmsError && r.code == cms);
}

QString ErrorWords(GatewayContext& g) {
  return ModemErrorText(g.language(), g.link().At.lastResult);
}

// The SIM cannot be used: one line while the state lasts, and the alarm.
AtState SimBlocked(GatewayContext& g, const QString& text) {
  LinkState& link = g.link();
  GatewayState& gs = g.state();
  if (link.SimNotice != text) {
    link.SimNotice = text;
    g.Log(true, text);
    gs.AlarmBeep = true;
    gs.AlarmBeepTick = 0;
  }
  link.GsmSendStr.clear();
  return AtState::Stop;
}

// The SIM refused the PIN: its mark stays in the settings file, and the lines of later
// relations (message 14) are the same state, not logged again.
AtState PinRefused(GatewayContext& g, const QString& why) {
  SimBlocked(g, fillPlaceholders(g.Text(177), {why}));
  g.link().SimNotice = g.Text(14);
  return AtState::Stop;
}

// The SIM is busy: "AT+CPIN?" again in 2 s (the watchdog writes it when its time is up), for
// 30 s at most; false when the time is over.
bool WaitForSim(GatewayContext& g) {
  LinkState& link = g.link();
  const Tick now = g.clock().tick();
  if (!link.SimBusySince) link.SimBusySince = now;
  if (!tickBefore(now, *link.SimBusySince + kSimBusyMaxMs)) return false;
  NewCommand(link);
  link.GsmSendStr = kPinQuery;
  link.SimState.clear();
  link.GsmSendOn = false;
  link.NoAnswerCnt = 1;
  link.LastSendTick = now;
  link.AnswerActTick = now;
  link.LastActTick = now;
  link.GsmTimeout = kSimBusyRetryMs;
  return true;
}

AtState AfterPinQuery(GatewayContext& g) {
  LinkState& link = g.link();
  const QString& pin = g.state().cfg.SimPin;
  link.SimBusySince.reset();
  if (link.SimState == "SIM PUK") return SimBlocked(g, g.Text(16));
  if (link.SimState != "SIM PIN") {
    // A PIN whose answer never came has taken when the SIM is ready.
    if (link.SimState == "READY" && std::exchange(link.PinUnanswered, false)) {
      ClearPinMark(g);
      g.Log(true, g.Text(13));
    }
    link.SimNotice.clear();
    return AtState::Registration;
  }
  if (std::exchange(link.PinUnanswered, false))
    return PinRefused(g, QStringLiteral("+CPIN: SIM PIN"));
  if (pin.isEmpty()) return SimBlocked(g, g.Text(15));
  // A refused PIN locks the SIM further with every try; only a changed setting is tried.
  if (PinMarked(g)) return SimBlocked(g, g.Text(14));
  if (!MarkPin(g)) {
    const IniFile* file = g.settingsFile();
    return SimBlocked(
        g,
        fillPlaceholders(g.Text(173), {file ? QDir::toNativeSeparators(file->path()) : QString()}));
  }
  return AtState::PinEntry;
}

AtState PinQueryError(GatewayContext& g) {
  const FinalResult& r = g.link().At.lastResult;
  if (Is(r, 14, 314) && WaitForSim(g)) return AtState::None;
  g.link().SimBusySince.reset();
  if (Is(r, 10, 310)) return SimBlocked(g, g.Text(171));
  if (Is(r, 13, 313) || Is(r, 15, 315))
    return SimBlocked(g, fillPlaceholders(g.Text(172), {ErrorWords(g)}));
  // A device that knows no SIM questions is driven as before.
  return AtState::Registration;
}

AtState PinEntryError(GatewayContext& g) {
  LinkState& link = g.link();
  // Busy before it checked the PIN, or after: the SIM's next "+CPIN:" tells.
  if (Is(link.At.lastResult, 14, 314)) {
    link.PinUnanswered = true;
    return WaitForSim(g) ? AtState::None : SimBlocked(g, g.Text(174));
  }
  return PinRefused(g, ErrorWords(g));
}

}  // namespace

AtState ReadingStart(const GatewayContext& g) {
  return g.state().cfg.MemCheOn ? AtState::Storage : AtState::List;
}

AtState AfterSignal(GatewayContext& g) {
  const LinkState& link = g.link();
  const Settings& cfg = g.state().cfg;
  if (cfg.OnLine && cfg.SmsIndication && link.IndicationRefusals < kIndicationTries &&
      !link.IndicationOn)
    return AtState::Indication;
  return ReadingStart(g);
}

AtState SimOk(GatewayContext& g, AtState state) {
  LinkState& link = g.link();
  switch (state) {
    case AtState::PinQuery:
      return AfterPinQuery(g);
    case AtState::PinEntry:
      ClearPinMark(g);
      link.SimNotice.clear();
      g.Log(true, g.Text(13));
      return AtState::PinQuery;  // the SIM reads itself now, and may say so
    case AtState::Registration:
      link.NotRegistered = link.RegState != -1 && link.RegState != 1 && link.RegState != 5;
      // Jobs wait for a relation with the network; SMS stored meanwhile are read.
      if (link.NotRegistered && !link.RegNoticeLogged) g.Log(true, g.Text(17));
      link.RegNoticeLogged = link.NotRegistered;
      return AtState::Charset;
    default:  // Indication
      link.IndicationOn = true;
      link.IndicationRefusals = 0;
      return AfterSignal(g);
  }
}

AtState SimError(GatewayContext& g, AtState state) {
  LinkState& link = g.link();
  switch (state) {
    case AtState::PinQuery:
      return PinQueryError(g);
    case AtState::PinEntry:
      return PinEntryError(g);
    case AtState::Indication:
      // A module still booting refuses it: asked again by the next relation.
      if (++link.IndicationRefusals == kIndicationTries)
        g.Log(true, fillPlaceholders(g.Text(175), {ErrorWords(g)}));
      return ReadingStart(g);
    default:
      return AtState::Charset;
  }
}

void PinEntryTimedOut(GatewayContext& g) {
  LinkState& link = g.link();
  link.PinUnanswered = true;
  NewCommand(link);  // an answer that still comes answers nothing
  link.GsmSendStr.clear();
  link.GsmSendOn = false;
  link.NoAnswerCnt = 0;
  g.Log(true, g.Text(174));
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
