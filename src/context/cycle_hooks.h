#pragma once

#include <functional>

namespace kolvane {

// Points where the main cycle hands work to the modules that do it (dispatch, job reader,
// mail stores, servers, file drop, windows), so the cycle names none of them. An empty hook does
// nothing unless its comment says what happens instead.
struct CycleHooks {
  // Between ticks, when an answer has come: the relation's stages of the cycle, in the tick's
  // order and under the same guard.
  std::function<void()> runRelationStages;

  // Counter labels: the four counters changed.
  std::function<void()> showCounters;

  // Listed SMS: hands SmsRecvArr to the dispatcher, which ends by starting the delete phase.
  // While none is wired in, the listed SMS stay in the device.
  std::function<void()> dispatchReceivedSms;
  // Raises the alarm window and brings it to the front.
  std::function<void()> showAlarmWindow;

  // Send phase: "ParamAsSMS" entries become jobs of the mail store.
  std::function<void()> queueParamAsSms;
  // Send phase: merges the high-priority store and the pending appends into the mail store.
  std::function<void()> priHMerge;
  // Send phase: the run file keeps MaxSmsSendNo jobs, the rest goes back to the mail store.
  std::function<void()> smtpRunCut;
  // Send phase: reads the next job of the run file. 1 ready, 2 ready after a charset change,
  // 0 not sendable and reported, 3 / -3 nothing read. Empty: -3.
  std::function<int()> readNextJob;
  // The job in hand was not sent: it waits for a retry (false), or its report goes into the
  // POP3 store (true).
  std::function<bool()> reportNonDelivery;

  // The one pending reply of each mail dialogue, sent to its client.
  std::function<void()> deliverPop3Reply;
  std::function<void()> deliverSmtpReply;

  // Redraws lamps and status text. Empty (headless): the shown values simply follow.
  std::function<void()> refreshStatusDisplay;

  // File drop: true while an SMTP client is in a session; the drop file's reader.
  std::function<bool()> smtpSessionActive;
  std::function<void()> sendUpFiles;

  // The waiting store's preset-time pass (the view decides whether it is due).
  std::function<void()> runWaitingStore;

  // The system's error beep.
  std::function<void()> beep;

  // Reports finished command lines.
  std::function<void()> reportRunResults;

  // Closes the main window through its close query. Empty: the gateway's own close.
  std::function<void()> closeMainWindow;
};

}  // namespace kolvane
