#pragma once

#include <QTimer>

#include "ui/view_window.h"

class QPlainTextEdit;

namespace kolvane::ui {

// A store file shown record by record. The file is read 2048 bytes per refresh request and
// each refresh posts the next while the file goes on, so a large store fills the grid while the
// program stays responsive.
class StoreView : public ViewWindow {
  Q_OBJECT

 public:
  enum class Store { Smtp, Pop3, Wait };
  StoreView(Gateway& g, Store store, QWidget* parent = nullptr);

  // Posts a refresh request; it does nothing while the view is hidden or refreshing.
  void requestRefresh();
  // Reads the file afresh from its start.
  void reload();
  // One refresh: one chunk of the file.
  void refreshChunk();

  qint64 FiPosView = 0;
  int LineNoView = 1;
  bool ToViewRun = false;
  // Waiting view: the PosID under the data-row menu.
  QByteArray PopUpPosID;
  QPlainTextEdit* memo() const { return memo_; }
  QMenu* waitMenu() const { return waitMenu_; }

  static constexpr qint64 kChunk = 2048;
  static constexpr qint64 kWindow = 800;

 protected:
  void shown() override;
  QMenu* rowMenu(int row) override;
  void cellEntered(int row, int column) override;

 private:
  void poll();

  Store store_;
  QString path_;
  QPlainTextEdit* memo_;
  QMenu* waitMenu_ = nullptr;
  QTimer poll_;
  qint64 seenSize_ = -1;
};

}  // namespace kolvane::ui
