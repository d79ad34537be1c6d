#pragma once

#include <QByteArray>
#include <QString>
#include <memory>

#include "platform/exclusive_file.h"

namespace kolvane {

class GatewayContext;

// The line of the unreadable-records file that keeps the bytes, and that file's path.
QByteArray MishmashLine(GatewayContext& g, const QByteArray& bytes);
QString MishmashPath(const GatewayContext& g, const QString& storeName);

// Appends one line to the unreadable-records file of the store ("Mishmash" + its name): the
// date-time, "->|", the bytes, "|<-". False when it cannot be written.
bool KeepMishmash(GatewayContext& g, const QString& storeName, const QByteArray& bytes);

// FileOpenAppend for a store of records. A record store that ends in a record cut off (a crash
// in the middle of a write) has those bytes moved to its unreadable-records file first, with a
// log line, so that the next record never joins them. When they cannot be kept the store is
// left as it is and reported as not opened (Failed).
std::unique_ptr<ExclusiveFile> OpenStoreToAppend(GatewayContext& g, const QString& path);

// The same for each record store of the program folder that exists, at start-up.
void RepairCutStores(GatewayContext& g);

}  // namespace kolvane
