#pragma once

#include <QString>
#include <QStringList>
#include <functional>

#include "context/settings_loader.h"

namespace kolvane {

// The settings file as the program last read it, and what the program would have written of
// its state at that moment. A write-back writes only the items the program changed since, into
// the file as it is then: every other line stays, and an item the administrator changed in the
// file meanwhile keeps the file's value (the caller logs it).
class SettingsBaseline {
 public:
  // An item the program and the administrator both changed, by its name ("Interval",
  // "[AliasComp]", "FMain Top").
  using ConflictFn = std::function<void(const QString& name)>;

  void take(const IniText& file, SavedItems program);

  // Writes the items of now that differ from the program's last state; DTSaveToIni goes with
  // the counters. False when the file could not be written (the baseline then stays).
  bool writeBack(IniFile& file, const SavedItems& now, DateTime at, const ConflictFn& conflict);

  // The CFG keys and list sections whose text in fileNow differs from the file as last read.
  struct FileChanges {
    QStringList cfgKeys;
    QStringList sections;
    bool has(const QString& cfgKey) const { return cfgKeys.contains(cfgKey, Qt::CaseInsensitive); }
    bool hasSection(const QString& s) const { return sections.contains(s, Qt::CaseInsensitive); }
  };
  FileChanges changesIn(const IniText& fileNow, const QStringList& listSections) const;

  // After a reload applied the file's changes: the program's state before and after it. Items
  // the file changed take the program's new state as their reference, so they are not written
  // back; where the program had changed such an item too, the file's change wins.
  void reloaded(const IniText& fileNow, const SavedItems& before, const SavedItems& after,
                const ConflictFn& conflict);

  static QString nameOf(const SavedItem& item);

 private:
  IniText file_;
  SavedItems program_;
};

}  // namespace kolvane
