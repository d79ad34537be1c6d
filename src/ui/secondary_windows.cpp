#include "ui/secondary_windows.h"

#include <QFileInfo>
#include <QPointer>

#include "core/gateway.h"
#include "ui/client_view.h"
#include "ui/settings_dialog.h"
#include "ui/store_view.h"

namespace kolvane::ui {

namespace {

// The windows, deleted with the gateway when no owner widget holds them.
class SecondaryWindows : public QObject {
 public:
  explicit SecondaryWindows(QObject* parent) : QObject(parent) {}
  ~SecondaryWindows() override {
    for (const QPointer<QWidget>& w : owned) delete w.data();
  }
  QList<QPointer<QWidget>> owned;
};

// Size and presence of a store file, to tell whether a scan changed it.
qint64 sizeOf(const QString& path) {
  const QFileInfo info(path);
  return info.exists() ? info.size() : -1;
}

}  // namespace

void installSecondaryWindows(WindowOpeners& openers, Gateway& gateway, QWidget* owner) {
  auto* holder = new SecondaryWindows(&gateway);
  const auto adopt = [&](auto* w) {
    if (!owner) holder->owned << w;
    return w;
  };
  FCfg* settings = adopt(new FCfg(gateway, owner));
  StoreView* smtpStore = adopt(new StoreView(gateway, StoreView::Store::Smtp, owner));
  StoreView* pop3Store = adopt(new StoreView(gateway, StoreView::Store::Pop3, owner));
  StoreView* waitStore = adopt(new StoreView(gateway, StoreView::Store::Wait, owner));
  ClientView* smtpClients = adopt(new ClientView(gateway, false, owner));
  ClientView* pop3Clients = adopt(new ClientView(gateway, true, owner));
  const std::array<ViewWindow*, 5> views{smtpClients, pop3Clients, smtpStore, pop3Store, waitStore};

  openers.openSettings = [settings](int node, const QString& focus) {
    settings->openAt(node, focus);
  };
  openers.openView = [views](ViewKind kind) {
    ViewWindow* view = views[static_cast<std::size_t>(kind)];
    view->show();
    view->raise();
    view->activateWindow();
  };

  GatewayHooks& hooks = gateway.hooks();
  if (!hooks.openSettingsAt) {
    hooks.openSettingsAt = [open = openers.openSettings](GatewayHooks::SettingsField field) {
      switch (field) {
        case GatewayHooks::SettingsField::ComPort:
          return open(0, QStringLiteral("ComNo"));
        case GatewayHooks::SettingsField::GatewayAddress:
          return open(0, QStringLiteral("GtIPAdress"));
        case GatewayHooks::SettingsField::SmtpPort:
          return open(1, QStringLiteral("SmtpPort"));
        case GatewayHooks::SettingsField::Pop3Port:
          return open(1, QStringLiteral("Pop3Port"));
      }
    };
  }
  hooks.applyLanguageToWindows = [previous = hooks.applyLanguageToWindows, settings, views] {
    if (previous) previous();
    settings->applyLanguage();
    for (ViewWindow* v : views) v->applyLanguage();
  };
  hooks.savePlacementsOfOpenWindows = [previous = hooks.savePlacementsOfOpenWindows, views] {
    if (previous) previous();
    for (ViewWindow* v : views) {
      if (v->isVisible()) v->savePlacement();
    }
  };
  // The scan of the waiting store reloads the views of the files it changed.
  hooks.cycle.runWaitingStore = [previous = hooks.cycle.runWaitingStore, &gateway, smtpStore,
                                 pop3Store, waitStore] {
    if (!previous) return;
    // Only a view on show is reloaded: with none, the files need no look before and after.
    if (!waitStore->isVisible() && !smtpStore->isVisible() && !pop3Store->isVisible()) {
      previous();
      return;
    }
    const GatewayState& gs = gateway.state();
    const auto sizes = [&gs] {
      return std::array{sizeOf(gs.file(files::kSmtpWaitTmp)), sizeOf(gs.file(files::kSmtpTmp)),
                        sizeOf(gs.file(files::kPop3Tmp))};
    };
    const bool requests =
        !gs.WaitStore.ReturnSenderID.isEmpty() || !gs.WaitStore.DeleteItemID.isEmpty();
    const auto before = sizes();
    previous();
    const auto after = sizes();
    const bool served =
        requests && gs.WaitStore.ReturnSenderID.isEmpty() && gs.WaitStore.DeleteItemID.isEmpty();
    if (waitStore->isVisible() && (served || before[0] != after[0])) waitStore->reload();
    if (smtpStore->isVisible() && before[1] != after[1]) smtpStore->reload();
    if (pop3Store->isVisible() && before[2] != after[2]) pop3Store->reload();
  };
}

}  // namespace kolvane::ui
