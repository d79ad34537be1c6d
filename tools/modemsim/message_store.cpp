#include "modemsim/message_store.h"

namespace kolvane::modemsim {

int MessageStore::add(StoredSms sms) {
  for (int index = 1; index <= capacity_; ++index) {
    if (messages_.count(index) == 0) {
      messages_.emplace(index, std::move(sms));
      return index;
    }
  }
  return -1;
}

bool MessageStore::remove(int index) {
  return messages_.erase(index) > 0;
}

StoredSms* MessageStore::find(int index) {
  const auto it = messages_.find(index);
  return it == messages_.end() ? nullptr : &it->second;
}

}  // namespace kolvane::modemsim
