#include "context/settings_baseline.h"

#include <algorithm>

#include "platform/regional.h"

namespace kolvane {

namespace {

const QString kCfg = QStringLiteral("CFG");

bool sameItem(const SavedItem& a, const SavedItem& b) {
  return a.section.compare(b.section, Qt::CaseInsensitive) == 0 &&
         a.key.compare(b.key, Qt::CaseInsensitive) == 0;
}

bool sameContent(const SavedItem& a, const SavedItem& b) {
  return a.isList() ? a.entries == b.entries : a.value == b.value;
}

const SavedItem* findItem(const SavedItems& items, const SavedItem& item) {
  const auto it = std::find_if(items.begin(), items.end(),
                               [&](const SavedItem& i) { return sameItem(i, item); });
  return it == items.end() ? nullptr : &*it;
}

void keep(SavedItems& items, const SavedItem& item) {
  const auto it = std::find_if(items.begin(), items.end(),
                               [&](const SavedItem& i) { return sameItem(i, item); });
  if (it == items.end()) {
    items.append(item);
  } else {
    *it = item;
  }
}

// What the file holds of an item; a missing key or section differs from an empty one.
struct FileContent {
  bool present = false;
  QString value;
  QList<IniText::Entry> entries;
  bool operator==(const FileContent&) const = default;
};

FileContent contentOf(const IniText& ini, const SavedItem& item) {
  if (item.isList()) return {ini.hasSection(item.section), {}, ini.entries(item.section)};
  const auto value = ini.value(item.section, item.key);
  return {value.has_value(), value.value_or(QString()), {}};
}

FileContent asContent(const SavedItem& item) {
  if (item.isList()) return {true, {}, item.entries};
  return {true, item.value, {}};
}

void write(IniText& ini, const SavedItem& item) {
  if (!item.isList()) {
    ini.setValue(item.section, item.key, item.value);
    return;
  }
  ini.eraseSection(item.section);
  for (const IniText::Entry& e : item.entries) ini.setValue(item.section, e.first, e.second);
}

void restore(IniText& ini, const SavedItem& item, const FileContent& content) {
  if (item.isList()) {
    ini.eraseSection(item.section);
    for (const IniText::Entry& e : content.entries) ini.setValue(item.section, e.first, e.second);
  } else if (content.present) {
    ini.setValue(item.section, item.key, content.value);
  } else {
    ini.removeKey(item.section, item.key);
  }
}

bool isCounter(const SavedItem& item) {
  static const QStringList kCounters{QStringLiteral("SmsInCnt"), QStringLiteral("SmsOutCnt"),
                                     QStringLiteral("EmlInCnt"), QStringLiteral("EmlOutCnt")};
  return item.section == kCfg && kCounters.contains(item.key);
}

}  // namespace

QString SettingsBaseline::nameOf(const SavedItem& item) {
  if (item.isList()) return QLatin1Char('[') + item.section + QLatin1Char(']');
  if (item.section == kCfg) return item.key;
  return item.section + QLatin1Char(' ') + item.key;
}

void SettingsBaseline::take(const IniText& file, SavedItems program) {
  file_ = file;
  program_ = std::move(program);
}

bool SettingsBaseline::writeBack(IniFile& file, const SavedItems& now, DateTime at,
                                 const ConflictFn& conflict) {
  QList<SavedItem> written;
  QList<QPair<SavedItem, FileContent>> conflicts;
  const bool ok = file.update([&](IniText& ini) {
    written.clear();
    conflicts.clear();
    bool counters = false;
    for (const SavedItem& item : now) {
      const SavedItem* before = findItem(program_, item);
      if (before && sameContent(*before, item)) continue;
      const FileContent there = contentOf(ini, item);
      // Changed in the file meanwhile, and not to what the program holds (the program writes
      // some keys at once, such as the run position).
      if (!(there == contentOf(file_, item)) && !(there == asContent(item))) {
        conflicts.append({item, there});
        continue;
      }
      write(ini, item);
      written.append(item);
      counters = counters || isCounter(item);
    }
    if (counters) {
      const SavedItem stamp{kCfg, QStringLiteral("DTSaveToIni"), regional::formatDateTime(at), {}};
      write(ini, stamp);
      write(file_, stamp);
    }
  });
  if (!ok) return false;
  for (const SavedItem& item : written) {
    write(file_, item);
    keep(program_, item);
  }
  // The administrator's value stands; the program's change is not offered again.
  for (const auto& [item, there] : conflicts) {
    restore(file_, item, there);
    keep(program_, item);
    if (conflict) conflict(nameOf(item));
  }
  return true;
}

SettingsBaseline::FileChanges SettingsBaseline::changesIn(const IniText& fileNow,
                                                          const QStringList& listSections) const {
  FileChanges out;
  QStringList keys = file_.keys(kCfg) + fileNow.keys(kCfg);
  keys.removeDuplicates();
  for (const QString& key : keys) {
    if (file_.value(kCfg, key) != fileNow.value(kCfg, key) && !out.has(key)) out.cfgKeys << key;
  }
  for (const QString& section : listSections) {
    if (file_.hasSection(section) != fileNow.hasSection(section) ||
        file_.entries(section) != fileNow.entries(section)) {
      out.sections << section;
    }
  }
  return out;
}

void SettingsBaseline::reloaded(const IniText& fileNow, const SavedItems& before,
                                const SavedItems& after, const ConflictFn& conflict) {
  for (const SavedItem& item : after) {
    const FileContent there = contentOf(fileNow, item);
    if (there == contentOf(file_, item)) continue;
    const SavedItem* reference = findItem(program_, item);
    const SavedItem* was = findItem(before, item);
    const bool programChanged = reference && was && !sameContent(*reference, *was);
    if (programChanged && !(there == asContent(*was)) && conflict) conflict(nameOf(item));
    keep(program_, item);
  }
  file_ = fileNow;
}

}  // namespace kolvane
