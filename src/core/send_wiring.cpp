#include "core/send_wiring.h"

#include <memory>

#include "core/file_drop.h"
#include "core/gateway.h"
#include "core/non_delivery.h"
#include "core/param_as_sms.h"
#include "mail/job_reader.h"
#include "mail/store_protocols.h"
#include "mail/waiting_store_watch.h"

namespace kolvane {

void installSendHooks(Gateway& g) {
  CycleHooks& c = g.hooks().cycle;
  c.queueParamAsSms = [&g] { QueueParamAsSms(g); };
  c.priHMerge = [&g] { PriHMerge(g); };
  c.smtpRunCut = [&g] { SmtpRunCut(g); };
  c.readNextJob = [&g] { return ReadNextJob(g); };
  c.reportNonDelivery = [&g] { return JobNotDelivered(g); };
  c.sendUpFiles = [&g] { SendUpFiles(g); };
  c.runWaitingStore = [&g, watch = std::make_shared<WaitingStoreWatch>(g.state().ProgramDir)] {
    watch->run(g);
  };
}

}  // namespace kolvane
