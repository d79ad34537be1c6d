#pragma once

#include <QByteArray>
#include <cstdint>
#include <deque>

namespace kolvane {

// One entry of a device's SMS listing: where it is stored and what it holds. A device whose
// delete failed shows the same entry again at its next listing.
struct ListedEntry {
  std::uint8_t storage = 0;  // 0 SIM, 1 phone memory
  std::int32_t index = -1;
  QByteArray sender;
  QByteArray time;
  QByteArray text;
  bool operator==(const ListedEntry&) const = default;
};

// Listed entries the gateway has dealt with (an action run, a message stored) while the device
// has not confirmed their delete, so that no later listing deals with them again. Bounded: the
// oldest are forgotten first.
class ListedEntryGuard {
 public:
  enum class State {
    New,     // never acted on
    Ran,     // acted on; its report has not reached the store yet
    Stored,  // acted on and reported
  };
  State state(const ListedEntry& e) const;
  void ran(const ListedEntry& e);
  void stored(const ListedEntry& e);
  // True the first time a stored entry is listed again: the device did not delete it.
  bool firstRepeat(const ListedEntry& e);
  // The device confirmed the delete at this place: what is listed there later is another SMS.
  void deleted(std::uint8_t storage, std::int32_t index);

  static constexpr std::size_t kMax = 1000;

 private:
  struct Item {
    ListedEntry entry;
    State state = State::Ran;
    bool repeatNoted = false;
  };
  Item* find(const ListedEntry& e);
  std::deque<Item> items_;
};

}  // namespace kolvane
