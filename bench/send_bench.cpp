// Sending speed and the cost of the store protocols.
// 1. A relation against the in-process simulated modem answering at once, SendSMSDelay 0, in
//    simulated time: SMS per minute and the time per SMS beyond the floor set by the polling
//    passes (each SMS waits for two answers, the prompt and the result, read by the 250 ms
//    receive pass).
// 2. NewPosID, PriHMerge and SmtpRunCut on stores of 100 and 10,000 jobs (wall time).
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <cstdio>

#include "core/gateway_start.h"
#include "mail/mail_rec.h"
#include "mail/pseudo_address.h"
#include "mail/store_file.h"
#include "mail/store_protocols.h"
#include "support/link_test_gateway.h"
#include "support/sim_modem_device.h"

using namespace kolvane;

namespace {

QByteArray jobs(int count) {
  QByteArray out;
  for (int i = 0; i < count; ++i) {
    tMailRec r;
    r.PosID = QByteArray::number(260201000000LL + i);
    r.NamePC = "localhost";
    r.From = "<bench@kolvane.lan>";
    r.Toe = PseudoRecipient("+420777" + QByteArray::number(100000 + i % 900000));
    r.Subj = "bench " + QByteArray::number(i);
    r.MimeBody = "Benchmark message number " + QByteArray::number(i);
    out += MailRecToStr(r);
  }
  return out;
}

void write(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (f.open(QIODevice::WriteOnly | QIODevice::Truncate)) f.write(bytes);
}

void sendingSpeed() {
  constexpr int kSms = 100;
  LinkTestGateway t("ComTcp=0\nInterval=0\nSendSMSDelay=0\n");
  auto sim = std::make_shared<SimModem>(t.clock);
  t.g().hooks().openSerial = [&](const SerialParams&) -> std::unique_ptr<DeviceLink> {
    return std::make_unique<SimModemDevice>(sim);
  };
  write(t.path("Smtp.Tmp"), jobs(kSms));
  BBt1Click(t.g(), StartSender::Button);
  // Up to the first job: initialisation and listing.
  t.loop().runUntil([&] { return t.link().WaitPrompt; }, 60000);
  const Tick start = t.clock.tick();
  QElapsedTimer wall;
  wall.start();
  t.loop().runUntil([&] { return t.gs().cfg.SmsOutCnt >= kSms; }, 3600000);
  const double perSms = double(t.clock.tick() - start) / kSms;
  const double floorMs = 2 * 250.0;
  std::printf(
      "sending: %d SMS, %.0f SMS per minute, %.1f ms per SMS (floor %.0f ms, +%.1f %%), "
      "%.1f ms wall time per simulated SMS\n",
      t.gs().cfg.SmsOutCnt, 60000.0 / perSms, perSms, floorMs, 100.0 * (perSms - floorMs) / floorMs,
      double(wall.elapsed()) / kSms);
}

void storeProtocols(int count) {
  LinkTestGateway t("MaxSmsSendNo=" + QByteArray::number(count / 2) + "\n");
  const QByteArray store = jobs(count);
  QElapsedTimer timer;

  write(t.path("Smtp.Tmp"), store);
  timer.start();
  constexpr int kRounds = 100;
  for (int i = 0; i < kRounds; ++i) {
    auto f = FileOpenAppend(t.path("Smtp.Tmp"));
    NewPosID(t.g(), f->file());
  }
  const double newPosId = double(timer.nsecsElapsed()) / kRounds / 1000.0;

  write(t.path("Smtp.Tmp"), store);
  write(t.path("SmtpPriH.Tmp"), store);
  timer.restart();
  PriHMerge(t.g());
  const double merge = double(timer.nsecsElapsed()) / 1e6;

  write(t.path("Smtp.Run"), store);
  QFile::remove(t.path("Smtp.Tmp"));
  timer.restart();
  SmtpRunCut(t.g());
  const double cut = double(timer.nsecsElapsed()) / 1e6;

  std::printf("store of %5d jobs: NewPosID %.1f us, PriHMerge %.2f ms, SmtpRunCut %.2f ms\n", count,
              newPosId, merge, cut);
}

}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  sendingSpeed();
  storeProtocols(100);
  storeProtocols(10000);
  return 0;
}
