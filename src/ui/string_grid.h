#pragma once

#include <QList>
#include <QStringList>
#include <QTableWidget>

namespace kolvane::ui {

// An editable grid of text cells whose column titles come from the caption table. A key
// pressed in the last row adds an empty row below it, so the list can grow without buttons.
class StringGrid : public QTableWidget {
  Q_OBJECT

 public:
  StringGrid(const QString& name, int columns, QWidget* parent = nullptr);

  // The entries, one per row; an empty list shows one empty row.
  void setRows(const QList<QStringList>& rows);
  QList<QStringList> rows() const;
  QString cell(int row, int column) const;
  void setCell(int row, int column, const QString& text);
  void setTitle(int column, const QString& text);

 protected:
  void keyPressEvent(QKeyEvent* event) override;
};

}  // namespace kolvane::ui
