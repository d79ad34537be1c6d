// A window of a store file as the readers find it after a crash or a hand edit.
#include <cstddef>
#include <cstdint>

#include "mail/mail_rec.h"
#include "mail/store_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray window(reinterpret_cast<const char*>(data), qsizetype(size));
  kolvane::SubjectRules rules;
  rules.ReportPrefix = "Report";
  rules.PreSetPrefix = "SendTime";
  rules.PreSetMaskDT = QStringLiteral("dd.mm.yyyy hh:nn:ss");
  rules.now = 46365.5;
  const kolvane::tMailRec rec = kolvane::StrToMailRec(window, rules);
  if (rec.OK) (void)kolvane::StrToMailRec(kolvane::MailRecToStr(rec), rules);
  (void)kolvane::HoldsWholeRecord(window);
  (void)kolvane::TelNoFromStr(window);
  (void)kolvane::PreSetTimeParse(window, rules);
  return 0;
}
