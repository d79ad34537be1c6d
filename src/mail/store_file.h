#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

#include "platform/exclusive_file.h"

namespace kolvane {

class Gateway;

// Opens a store for appending without sharing, creating it empty when missing. The result is
// never null; isOpen() tells success and error() a file held by another writer (Busy).
std::unique_ptr<ExclusiveFile> FileOpenAppend(const QString& path);

// The next record identifier of a store opened with FileOpenAppend: today's "yymmdd" and the
// sequence number after the last record's, never below the last record's identifier. The file
// position is kept.
QByteArray NewPosID(Gateway& g, QFile& store);

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
