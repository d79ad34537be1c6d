#pragma once

#include "ui/view_window.h"

namespace kolvane::ui {

// The client PCs of one mail server: who is known, switched on and connected, with the
// operator's actions on one PC.
class ClientView : public ViewWindow {
  Q_OBJECT

 public:
  ClientView(Gateway& g, bool pop3, QWidget* parent = nullptr);

  void refresh();
  QMenu* dataMenu() const { return menu_; }
  // The computer name under the data-row menu.
  QString PopUpNamePC;

 protected:
  void shown() override { refresh(); }
  QMenu* rowMenu(int row) override;

 private:
  void setMenuState(int row);

  bool pop3_;
  QMenu* menu_;
  QAction* delete_;
  QAction* switch_;
  QAction* disconnect_;
};

}  // namespace kolvane::ui
