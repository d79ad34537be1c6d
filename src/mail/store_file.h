#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "platform/exclusive_file.h"

namespace kolvane {

class GatewayContext;

// Opens a store for appending without sharing, creating it empty when missing. The result is
// never null; isOpen() tells success and error() a file held by another writer (Busy). The file
// is unbuffered, so a failed write leaves nothing behind to be written later.
std::unique_ptr<ExclusiveFile> FileOpenAppend(const QString& path);

// Appends the bytes whole and on disk, or leaves the store exactly as it was (a full disk or a
// file-size limit cuts a write short).
bool AppendWhole(QFile& store, const QByteArray& bytes);

// The next record identifier of a store opened with FileOpenAppend: today's "yymmdd" and the
// sequence number after the highest identifier among the last records, never below it and
// always 12 digits. Only labels that start a record count, never text inside a record. The
// file position is kept.
QByteArray NewPosID(GatewayContext& g, QFile& store);

// The identifier after id: the next sequence number, or the next day's first one when the
// sequence is used up.
QByteArray PosIdAfter(const QByteArray& id);

// The highest record identifier among the store's last records; 0 for an empty store.
long long LastPosID(QFile& store);

// True when the window holds the end of its first record (the empty line after the headers and
// then a line starting with ".").
bool HoldsWholeRecord(const QByteArray& window);

// The bytes of the file from offset: at least minSize (fewer at the end of the file), and more
// while `whole` finds no complete record in them and the file goes on, so that records of any
// length are read whole. nullopt when the read fails.
std::optional<QByteArray> ReadRecordWindow(QFile& file, qint64 offset, qint64 minSize,
                                           const std::function<bool(const QByteArray&)>& whole);

// A whole file read without sharing; nullopt when it cannot be opened or read.
std::optional<QByteArray> ReadWholeFile(const QString& path);

}  // namespace kolvane
