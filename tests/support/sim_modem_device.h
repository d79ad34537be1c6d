#pragma once

#include <QByteArray>
#include <QList>
#include <memory>

#include "gsm/device_link.h"
#include "modemsim/modem_sim.h"
#include "platform/clock.h"

namespace kolvane {

// The simulated modem and the command lines it was sent, shared between the test and the
// device the gateway opens (and drops) for each relation.
struct SimModem {
  explicit SimModem(const Clock& c, modemsim::ModemConfig config = {})
      : clock(c), modem(std::move(config)) {}
  const Clock& clock;
  modemsim::ModemSim modem;
  QList<QByteArray> commands;  // every line written, up to its CR; an ESC alone as "\x1B"
  QByteArray partial;
  int opens = 0;
};

// The gateway's serial device, answered in process by the simulated modem.
class SimModemDevice final : public DeviceLink {
 public:
  explicit SimModemDevice(std::shared_ptr<SimModem> sim) : s_(std::move(sim)) {
    ++s_->opens;
    s_->modem.connectionOpened(s_->clock.tick());
  }
  bool isOpen() const override { return open_; }
  QByteArray readAvailable(bool* error) override {
    *error = false;
    const QByteArray out = s_->modem.takeOutput(s_->clock.tick());
    if (s_->modem.takeHangup()) open_ = false;
    return out;
  }
  qint64 write(const QByteArray& data) override {
    if (data == "\x1B") s_->commands << data;
    for (const char c : data) {
      if (c == '\x1B') continue;
      if (c == '\r') {
        s_->commands << s_->partial;
        s_->partial.clear();
      } else {
        s_->partial += c;
      }
    }
    s_->modem.receive(data, s_->clock.tick());
    return data.size();
  }
  void setRts(bool) override {}
  void setDtr(bool) override {}
  void close() override { open_ = false; }

 private:
  std::shared_ptr<SimModem> s_;
  bool open_ = true;
};

}  // namespace kolvane
