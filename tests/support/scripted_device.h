#pragma once

#include <QByteArray>
#include <QList>
#include <deque>
#include <functional>
#include <memory>
#include <optional>

#include "gsm/device_link.h"

namespace kolvane {

// What a scripted device saw and will answer; shared with the test, since the gateway owns
// (and may drop) the device itself.
struct ScriptedDeviceState {
  QList<QByteArray> writes;  // the data of every write call, as offered
  QByteArray accepted;       // everything the device took
  QByteArray incoming;       // what the next read returns
  // Bytes to take per write call, in order (-1: the write fails); when empty, all of it.
  std::deque<qint64> acceptPlan;
  bool readError = false;
  bool gone = false;  // unplugged: reads fail for good
  bool open = true;
  std::optional<bool> rts, dtr;
  int purges = 0;
  // The answer to each complete line written (up to its CR); none when empty.
  std::function<QByteArray(const QByteArray& line)> answer;
  QByteArray partialLine;
};

// A device that records writes and returns canned replies.
class ScriptedDevice final : public DeviceLink {
 public:
  explicit ScriptedDevice(std::shared_ptr<ScriptedDeviceState> state) : s_(std::move(state)) {}

  bool isOpen() const override { return s_->open; }
  QByteArray readAvailable(bool* error) override {
    *error = s_->readError;
    if (s_->readError) return {};
    return std::exchange(s_->incoming, QByteArray());
  }
  qint64 write(const QByteArray& data) override {
    s_->writes << data;
    qint64 n = data.size();
    if (!s_->acceptPlan.empty()) {
      n = std::min<qint64>(s_->acceptPlan.front(), data.size());
      s_->acceptPlan.pop_front();
    }
    if (n < 0) return -1;
    const QByteArray taken = data.left(n);
    s_->accepted += taken;
    for (const char c : taken) {
      if (c != '\r') {
        s_->partialLine += c;
        continue;
      }
      if (s_->answer) s_->incoming += s_->answer(s_->partialLine);
      s_->partialLine.clear();
    }
    return n;
  }
  void setRts(bool on) override { s_->rts = on; }
  void setDtr(bool on) override { s_->dtr = on; }
  void purge() override { ++s_->purges; }
  bool gone() const override { return s_->gone; }
  void close() override { s_->open = false; }

 private:
  std::shared_ptr<ScriptedDeviceState> s_;
};

// The answers of a plain modem with an empty storage: "OK" to everything, in the form a modem
// sends it.
inline QByteArray okModem(const QByteArray& line) {
  if (line == "AT+CPAS") return "\r\n+CPAS: 0\r\n\r\nOK\r\n";
  if (line == "AT+CSQ") return "\r\n+CSQ: 20,99\r\n\r\nOK\r\n";
  if (line == "AT+CSCA?") return "\r\n+CSCA: \"+420600000100\",145\r\n\r\nOK\r\n";
  return "\r\nOK\r\n";
}

}  // namespace kolvane
