#include "mail/client_registry.h"

#include <algorithm>

#include "platform/ini_file.h"
#include "platform/regional.h"
#include "settings/value_codec.h"

namespace kolvane {

ClientRegistry::ClientRegistry(QString dateTimeSection, QString onOffSection)
    : dateTimeSection_(std::move(dateTimeSection)), onOffSection_(std::move(onOffSection)) {}

void ClientRegistry::load(const IniText& ini, DateTime now,
                          const std::function<void(const QString&)>& log) {
  clients_.clear();
  for (const auto& [key, text] : ini.entries(dateTimeSection_)) {
    DateTime conTime = now;
    if (const auto v = regional::parseReal(text)) {
      conTime = *v;
    } else if (log) {
      log(QStringLiteral("Error Read ") + dateTimeSection_ + QLatin1Char(' ') + key);
    }
    if (conTime == 0) continue;
    tSocketClient c;
    c.Name = key;
    c.ConTime = conTime;
    c.SetOn = parseIniBool(ini.value(onOffSection_, key, QString())).value_or(true);
    clients_ << c;
  }
  for (qsizetype at; clients_.size() > kMax && (at = oldestExpendable()) >= 0;) {
    clients_.removeAt(at);
  }
}

qsizetype ClientRegistry::oldestExpendable() const {
  qsizetype found = -1;
  for (qsizetype i = 0; i < clients_.size(); ++i) {
    const tSocketClient& c = clients_[i];
    if (c.ConOn || (c.SetOn && c.ConTime != 0)) continue;
    if (found < 0 || c.ConTime < clients_[found].ConTime) found = i;
  }
  return found;
}

tSocketClient& ClientRegistry::connect(const QString& name, std::int32_t handle, DateTime now,
                                       Limit limit, IniFile* file) {
  qsizetype at = indexOf(name);
  const bool isNew = at < 0;
  QString evicted;
  if (isNew) {
    tSocketClient c;
    c.Name = name;
    const auto counted = std::count_if(clients_.cbegin(), clients_.cend(),
                                       [](const auto& e) { return e.ConTime > 0 && e.SetOn; });
    if (limit.on) c.SetOn = counted <= limit.max;
    // A registry full of switched-on PCs admits no stranger.
    if (counted >= kMax) c.SetOn = false;
    if (clients_.size() >= kMax) {
      const qsizetype old = oldestExpendable();
      if (old >= 0) {
        evicted = clients_[old].Name;
        clients_.removeAt(old);
      }
    }
    clients_ << c;
    at = clients_.size() - 1;
  }
  tSocketClient& c = clients_[at];
  c.ConOn = true;
  c.ConTime = now;
  c.Handle = handle;
  if (file) {
    file->update([&](IniText& ini) {
      if (!evicted.isEmpty()) {
        ini.removeKey(onOffSection_, evicted);
        ini.removeKey(dateTimeSection_, evicted);
      }
      if (isNew) ini.setValue(onOffSection_, name, formatIniBool(c.SetOn));
      ini.setValue(dateTimeSection_, name, regional::formatReal(c.ConTime));
    });
  }
  return c;
}

void ClientRegistry::forgetHandle(std::int32_t handle) {
  if (handle == 0) return;
  for (tSocketClient& c : clients_) {
    if (c.Handle == handle) c.Handle = 0;
  }
}

QString ClientRegistry::nameOf(std::int32_t handle) const {
  for (const tSocketClient& c : clients_) {
    if (handle != 0 && c.Handle == handle) return c.Name;
  }
  return QStringLiteral("!?!?!?!");
}

qsizetype ClientRegistry::indexOf(const QString& name) const {
  for (qsizetype i = 0; i < clients_.size(); ++i) {
    if (clients_[i].Name == name) return i;
  }
  return -1;
}

tSocketClient* ClientRegistry::find(const QString& name) {
  const qsizetype at = indexOf(name);
  return at < 0 ? nullptr : &clients_[at];
}

tSocketClient& ClientRegistry::loginAs(const QString& account, std::int32_t handle, DateTime now,
                                       Limit limit, IniFile* file) {
  forgetHandle(handle);
  if (indexOf(account) < 0) {
    const auto known = std::find_if(clients_.begin(), clients_.end(), [&](const tSocketClient& c) {
      return c.Name.compare(account, Qt::CaseInsensitive) == 0;
    });
    if (known != clients_.end()) known->Name = account;
  }
  return connect(account, handle, now, limit, file);
}

bool ClientRegistry::deleteItem(const QString& name, IniFile* file) {
  tSocketClient* c = find(name);
  if (!c || c->ConOn) return false;
  c->ConTime = 0;
  if (file) file->setValue(dateTimeSection_, name, QStringLiteral("0"));
  return true;
}

bool ClientRegistry::switchOnOff(const QString& name, IniFile* file) {
  tSocketClient* c = find(name);
  if (!c || c->ConOn) return false;
  c->SetOn = !c->SetOn;
  if (file) file->setValue(onOffSection_, name, formatIniBool(c->SetOn));
  return true;
}

}  // namespace kolvane
