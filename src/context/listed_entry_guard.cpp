#include "context/listed_entry_guard.h"

#include <algorithm>

namespace kolvane {

ListedEntryGuard::Item* ListedEntryGuard::find(const ListedEntry& e) {
  const auto it =
      std::find_if(items_.begin(), items_.end(), [&e](const Item& i) { return i.entry == e; });
  return it == items_.end() ? nullptr : &*it;
}

ListedEntryGuard::State ListedEntryGuard::state(const ListedEntry& e) const {
  for (const Item& item : items_) {
    if (item.entry == e) return item.state;
  }
  return State::New;
}

void ListedEntryGuard::ran(const ListedEntry& e) {
  if (find(e)) return;
  items_.push_back({e, State::Ran, false});
  if (items_.size() > kMax) items_.pop_front();
}

void ListedEntryGuard::stored(const ListedEntry& e) {
  if (Item* item = find(e)) item->state = State::Stored;
}

bool ListedEntryGuard::firstRepeat(const ListedEntry& e) {
  Item* item = find(e);
  if (!item || item->state != State::Stored || item->repeatNoted) return false;
  item->repeatNoted = true;
  return true;
}

void ListedEntryGuard::deleted(std::uint8_t storage, std::int32_t index) {
  std::erase_if(
      items_, [&](const Item& i) { return i.entry.storage == storage && i.entry.index == index; });
}

}  // namespace kolvane
