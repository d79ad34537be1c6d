#pragma once

#include <QString>
#include <QStringList>
#include <QTableWidget>
#include <QWidget>
#include <vector>

class QMenu;

namespace kolvane {
class Gateway;
}

namespace kolvane::ui {

// What every monitor view shares: a grid with a row-number column, the header menu that hides
// and shows columns, and the placement and column widths kept in the settings file under the
// view's form name.
class ViewWindow : public QWidget {
  Q_OBJECT

 public:
  // Column widths in pixels; -1 hides the column.
  struct Column {
    const char* title;
    int width;
  };
  ViewWindow(Gateway& g, const QString& form, const QString& title,
             const std::vector<Column>& columns, QWidget* parent = nullptr);

  QTableWidget* grid() const { return grid_; }
  const QString& form() const { return form_; }
  // Widths of columns 1..n as they would be saved (-1 hidden).
  QList<int> columnWidths() const;
  // The header menu, built when the view is shown.
  QMenu* headerMenu() const { return headerMenu_; }
  // Placement and widths into the settings (and the file when there is one).
  void savePlacement();
  // Title and column titles in the language in force.
  void applyLanguage();

  static constexpr int kDefaultColumnWidth = 64;

 protected:
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  // The first refresh after the view is shown.
  virtual void shown() = 0;
  // The data-row menu for a row, or none.
  virtual QMenu* rowMenu(int row) {
    Q_UNUSED(row);
    return nullptr;
  }
  virtual void cellEntered(int row, int column) {
    Q_UNUSED(row);
    Q_UNUSED(column);
  }
  Gateway& g_;
  int LCol = -1;
  int LRow = -1;

 private:
  void restorePlacement();
  void buildHeaderMenu();
  void setWidth(int column, int width);

  QString form_;
  QString title_;  // English, when the caption table has none
  QTableWidget* grid_;
  std::vector<Column> columns_;
  QMenu* headerMenu_ = nullptr;
};

}  // namespace kolvane::ui
