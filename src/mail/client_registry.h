#pragma once

#include <QList>
#include <QString>
#include <cstdint>
#include <functional>

#include "mail/socket_client.h"
#include "platform/ini_text.h"

namespace kolvane {

class IniFile;

// The client PCs of one mail server, kept in two sections of the settings file keyed by the
// client name: the time of the last connection (0 = removed) and whether the PC may connect.
// The registry holds at most kMax PCs: a new one makes room by the oldest entry that is removed,
// switched off or never admitted (and not connected), which leaves the sections too; a
// switched-on PC never goes, so when none other is left the new PC is not admitted.
class ClientRegistry {
 public:
  static constexpr qsizetype kMax = 1000;

  ClientRegistry(QString dateTimeSection, QString onOffSection);

  // Entries of the sections with a connection time other than 0, in section order. An
  // unreadable time is taken as now and reported through log.
  void load(const IniText& ini, DateTime now, const std::function<void(const QString&)>& log);

  struct Limit {
    bool on = false;
    int max = 100;
  };
  // A connect of the PC name over handle. A PC not yet known is appended and, with the limit
  // on, switched on only while at most max switched-on PCs are registered before it. Returns
  // the entry, stamped with now; both values are written to file (when given).
  tSocketClient& connect(const QString& name, std::int32_t handle, DateTime now, Limit limit,
                         IniFile* file);
  // Entries connected over handle no longer are.
  void forgetHandle(std::int32_t handle);
  // The name registered for handle; "!?!?!?!" when none is.
  QString nameOf(std::int32_t handle) const;
  // Exact, case-sensitive look-up; -1 when unknown.
  qsizetype indexOf(const QString& name) const;
  tSocketClient* find(const QString& name);
  // A connection logged in as an account: it is the account's from now on, as connect gives
  // it. The account takes over the entry of a PC known by its name in another case, renamed to
  // the account's spelling (the settings sections are read without regard to case).
  tSocketClient& loginAs(const QString& account, std::int32_t handle, DateTime now, Limit limit,
                         IniFile* file);

  // Clients-window actions on a PC that is not connected; false when the PC is unknown or
  // connected. A deleted PC leaves the window and the limit's count until it connects again.
  bool deleteItem(const QString& name, IniFile* file);
  bool switchOnOff(const QString& name, IniFile* file);

  QList<tSocketClient>& clients() { return clients_; }
  const QList<tSocketClient>& clients() const { return clients_; }

 private:
  // The entry that gives way to a new PC; -1 when every entry is a switched-on or connected PC.
  qsizetype oldestExpendable() const;

  QString dateTimeSection_;
  QString onOffSection_;
  QList<tSocketClient> clients_;
};

}  // namespace kolvane
