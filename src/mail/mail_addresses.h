#pragma once

#include <QByteArray>
#include <QList>
#include <QStringList>

#include "context/gateway_state.h"

namespace kolvane {

// The next address of a list such as a "To:" header value, and how many bytes of the list it
// used up (always at least one for a non-empty list). The address is empty when the token holds
// none.
struct NextAddress {
  QByteArray address;
  qsizetype consumed = 0;
};
NextAddress NextMailAddr(const QByteArray& list);

// Address replacement of recipients (ReplAddrOn with the ReplaceType table).
struct AddressReplacement {
  bool on = false;
  const QList<ReplaceType>* table = nullptr;
};

// Adds the addresses of a list to `to`. A list with ":" (a header name, a group) or without "@"
// adds nothing. True when at least one address was added.
bool AddRcptList(QByteArray list, QList<QByteArray>& to, const AddressReplacement& repl);
// Whether the list holds an address, without adding anything.
bool TestRcptList(QByteArray list);

}  // namespace kolvane
