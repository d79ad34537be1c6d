#include "gsm/send_failure.h"

#include <algorithm>
#include <array>

#include "context/gateway_context.h"
#include "gsm/link_state.h"
#include "gsm/modem_error_text.h"
#include "settings/catalogue.h"

namespace kolvane {

QByteArray FinalResultText(const at::FinalResult& result) {
  const auto coded = [&result](const char* name) {
    QByteArray text = name;
    if (result.code >= 0) return text + ": " + QByteArray::number(result.code);
    return result.words.isEmpty() ? text : text + ": " + result.words;
  };
  switch (result.kind) {
    case at::FinalKind::Ok:
      return "OK";
    case at::FinalKind::CmsError:
      return coded("+CMS ERROR");
    case at::FinalKind::CmeError:
      return coded("+CME ERROR");
    case at::FinalKind::ExtError:
      return coded("+EXT ERROR");
    case at::FinalKind::CommandNotSupport:
      return "COMMAND NOT SUPPORT";
    case at::FinalKind::TooManyParameters:
      return "TOO MANY PARAMETERS";
    case at::FinalKind::NoCarrier:
      return "NO CARRIER";
    case at::FinalKind::Busy:
      return "BUSY";
    case at::FinalKind::NoAnswer:
      return "NO ANSWER";
    case at::FinalKind::NoDialtone:
      return "NO DIALTONE";
    case at::FinalKind::Error:
      break;
  }
  return "ERROR";
}

bool IsTemporarySendError(const at::FinalResult& result) {
  // 38 network out of order, 41 temporary failure, 42 congestion, 47 resources unavailable,
  // 331 no network service, 332 network time-out, 500 unknown error.
  static constexpr std::array kTemporary{38, 41, 42, 47, 331, 332, 500};
  if (result.kind == at::FinalKind::Error) return true;
  // A modem set to verbose errors names the code in words, in either kind of error.
  const bool verbose =
      result.code < 0 && !result.words.isEmpty() &&
      (result.kind == at::FinalKind::CmsError || result.kind == at::FinalKind::CmeError);
  const int code = verbose ? MessageErrorCodeOfWords(result.words) : result.code;
  return (verbose || result.kind == at::FinalKind::CmsError) &&
         std::find(kTemporary.begin(), kTemporary.end(), code) != kTemporary.end();
}

void JobNotSent(GatewayContext& g, const QByteArray& reason, bool temporary) {
  LinkState& link = g.link();
  if (!link.LinkFailed) g.state().Lamps.linkStage = 2;
  // A job tried again later is no non-delivery yet; the retry logs its own line.
  if (!temporary) {
    g.Log(true, fillPlaceholders(g.Text(59), {QString::fromUtf8(g.state().JobTelNo)}));
  }
  link.SendFailReason = reason;
  link.SendFailTemporary = temporary;
  link.WaitPrompt = false;
  link.WaitResult = false;
  link.SmsSendFail = true;
  link.NoAnswerCnt = 0;
}

}  // namespace kolvane
