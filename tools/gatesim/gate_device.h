#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QSet>
#include <QString>
#include <deque>
#include <vector>

#include "gsm/gate_frame.h"

namespace kolvane::gatesim {

// A received SMS the device holds until the gateway acknowledges it.
struct StoredSms {
  QString number;
  QString text;
  bool ucs2 = false;
  int module = 1;
  QDateTime time;
};

// Every job the device was handed, with what it answered.
struct JobRecord {
  QDateTime time;
  int counter = -1;
  int module = 255;
  QString number;
  QString text;
  bool ucs2 = false;
  QString outcome;  // "confirmed", "unconfirmed" or "cause N"
};

struct DeviceConfig {
  int modules = 4;
  QSet<int> inactive;
  int cause = 0;  // answer every job with this cause (240, 254, 255); 0 none
  bool confirm = true;
  bool echo = false;       // every frame comes back as it was before the answer
  bool malformed = false;  // the next answer follows a frame of the wrong length
  bool truncated = false;  // the next answer follows a frame cut off mid-body
  bool reply = false;      // a confirmed job comes back as a received SMS "Re: " + text
  QByteArray name = "GATESIM";
};

// The ISDN/LAN gateway device: answers identification, hands over its stored SMS one at a time
// (each removed only when acknowledged with the running counter), and takes jobs.
class GateDevice {
 public:
  explicit GateDevice(DeviceConfig config) : config_(std::move(config)) {}

  DeviceConfig& config() { return config_; }
  void store(StoredSms sms) { stored_.push_back(std::move(sms)); }
  int storedCount() const { return static_cast<int>(stored_.size()); }
  // A new link: a frame in progress is forgotten.
  void connectionOpened();
  // Bytes from the gateway; returns the device's answer bytes.
  QByteArray receive(const QByteArray& bytes);
  std::vector<JobRecord> takeJobs() { return std::exchange(jobs_, {}); }
  std::vector<StoredSms> takeHanded() { return std::exchange(handed_, {}); }
  // Frames the device could not read, with the reason.
  QStringList takeRejected() { return std::exchange(rejected_, {}); }

 private:
  QByteArray handle(const GateIEs& ies);
  QByteArray acknowledged(int counter);
  QByteArray job(const GateIEs& ies);
  QByteArray withFaults(const QByteArray& answer);
  // A module able to send or receive (first active one for stored SMS without one).
  bool moduleActive(int module) const;

  DeviceConfig config_;
  QByteArray buffer_;
  std::deque<StoredSms> stored_;
  bool outstanding_ = false;  // the first stored SMS was handed over, no acknowledge yet
  int delivered_ = 0;         // SMS acknowledged since identification
  std::uint16_t smsCounter_ = 0;
  std::vector<JobRecord> jobs_;
  std::vector<StoredSms> handed_;
  QStringList rejected_;
};

// A device control command: "cause 240|254|255|off", "confirm on|off", "echo on|off",
// "malformed", "truncated", "inactive N", "active N", "reply on|off".
bool applyControl(DeviceConfig& config, const QString& line, QString* error);
inline constexpr const char* kControlHelp =
    "  cause 240|254|255|off   answer every job with this IE_CAUSE\n"
    "  confirm on|off          confirm jobs by their counter\n"
    "  echo on|off             send every frame back before answering\n"
    "  malformed               put a frame of the wrong length before the next answer\n"
    "  truncated               put a frame cut off mid-body before the next answer\n"
    "  inactive N | active N   switch GSM module N off or on\n"
    "  reply on|off            a confirmed job comes back as SMS \"Re: \" + text\n";

// The jobs-file line (no line end), TAB-separated: time, counter, module, number, text,
// coding (gsm|ucs2), outcome.
QString jobLine(const JobRecord& job);

}  // namespace kolvane::gatesim
