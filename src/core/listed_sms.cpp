#include "core/cycle_stages.h"
#include "core/gateway.h"
#include "gsm/at_automaton.h"
#include "gsm/at_commands.h"
#include "gsm/at_steps.h"
#include "gsm/relation_phases.h"
#include "gsm/sms_list_reader.h"

namespace kolvane {

void storageSwitchOrSendPhase(Gateway& g) {
  LinkState& link = g.link();
  // Closing: no further listing and no send phase; the relation ends at once.
  if (g.state().CloseWanted) return;
  // A listing for announced SMS reads their storage only; another announced one follows it.
  if (g.state().cfg.MemCheOn && link.MemIdx == 0 && link.PhoneMemOn && !link.ListingAnnounced) {
    // The phone's own storage is listed next, within the same relation.
    link.MemIdx = 1;
    link.DelCnt = 0;
    link.DelPos = -1;
    link.WaitPrompt = false;
    link.WaitResult = false;
    link.SmsSendFail = false;
    at::NewCommand(link);
    link.GsmSendStr = at::kStoragePhone;
    link.NoAnswerCnt = 0;
    link.GsmTimeout = at::kLongTimeout;
    link.GsmSendOn = true;
    return;
  }
  scheduleSendPhase(g);
}

void listedSmsStage(Gateway& g) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  if (!link.ListDone) return;
  link.LastActTick = gs.TickBegin;
  link.ListDone = false;
  if (link.ListDoubtful && !link.ListReread && !gs.CloseWanted) {
    // Read once more before anything of it is deleted: what garbled it is seldom there twice.
    link.ListReread = true;
    g.Log(true, g.Text(482));
    FreeSMSArr(link);
    GsmAutomat(g, AtState::List);
    return;
  }
  link.ListReread = false;
  if (!link.SmsRecvArr.isEmpty()) {
    gs.Lamps.linkStage = 4;
    if (link.SmsRecvArr.size() >= 10 && !link.PhoneMemOn) gs.ExtraRoundWanted = true;
    if (g.hooks().cycle.dispatchReceivedSms) {
      g.hooks().cycle.dispatchReceivedSms();
    } else {
      // Nobody stores them yet, so nothing is deleted from the device: the relation goes on
      // as after an empty list.
      FreeSMSArr(link);
      storageSwitchOrSendPhase(g);
    }
    if (!gs.cfg.InSmsAlarmStr.isEmpty()) {
      gs.AlarmBeep = true;
      gs.AlarmBeepTick = 0;
      if (g.hooks().cycle.showAlarmWindow) g.hooks().cycle.showAlarmWindow();
    }
  } else {
    if (!link.LinkFailed) gs.Lamps.linkStage = 2;
    storageSwitchOrSendPhase(g);
  }
  link.LastActTick = g.clock().tick();
}

void allDeletedStage(Gateway& g) {
  GatewayState& gs = g.state();
  LinkState& link = g.link();
  if (!(link.DelPos > link.SmsRecvArr.size() - 1)) return;
  if (!link.LinkFailed) gs.Lamps.linkStage = 2;
  link.LastActTick = gs.TickBegin;
  link.DelCnt = 0;
  link.DelPos = -1;
  FreeSMSArr(link);
  gs.StatusText.clear();
  storageSwitchOrSendPhase(g);
}

}  // namespace kolvane
