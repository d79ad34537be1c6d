#pragma once

#include <map>

#include "modemsim/stored_sms.h"

namespace kolvane::modemsim {

// One message storage (SIM or phone): numbered slots from 1 to the capacity.
class MessageStore {
 public:
  explicit MessageStore(int capacity) : capacity_(capacity) {}

  int capacity() const { return capacity_; }
  int used() const { return static_cast<int>(messages_.size()); }
  int freeSlots() const { return capacity_ - used(); }
  // The lowest free index, or -1 when full.
  int add(StoredSms sms);
  bool remove(int index);
  StoredSms* find(int index);
  const std::map<int, StoredSms>& messages() const { return messages_; }
  std::map<int, StoredSms>& messages() { return messages_; }

 private:
  int capacity_;
  std::map<int, StoredSms> messages_;
};

}  // namespace kolvane::modemsim
