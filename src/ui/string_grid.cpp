#include "ui/string_grid.h"

#include <QHeaderView>
#include <QKeyEvent>

namespace kolvane::ui {

StringGrid::StringGrid(const QString& name, int columns, QWidget* parent)
    : QTableWidget(1, columns, parent) {
  setObjectName(name);
  horizontalHeader()->setStretchLastSection(true);
  horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  verticalHeader()->setDefaultSectionSize(22);
  setSelectionMode(QAbstractItemView::SingleSelection);
  for (int c = 0; c < columns; ++c) setHorizontalHeaderItem(c, new QTableWidgetItem);
}

void StringGrid::setRows(const QList<QStringList>& rows) {
  clearContents();
  setRowCount(std::max<int>(1, static_cast<int>(rows.size())));
  for (int r = 0; r < rows.size(); ++r) {
    for (int c = 0; c < columnCount() && c < rows[r].size(); ++c) setCell(r, c, rows[r][c]);
  }
}

QList<QStringList> StringGrid::rows() const {
  QList<QStringList> out;
  for (int r = 0; r < rowCount(); ++r) {
    QStringList row;
    for (int c = 0; c < columnCount(); ++c) row << cell(r, c);
    out << row;
  }
  return out;
}

QString StringGrid::cell(int row, int column) const {
  const QTableWidgetItem* it = item(row, column);
  return it ? it->text() : QString();
}

void StringGrid::setCell(int row, int column, const QString& text) {
  if (QTableWidgetItem* it = item(row, column)) {
    it->setText(text);
    return;
  }
  setItem(row, column, new QTableWidgetItem(text));
}

void StringGrid::setTitle(int column, const QString& text) {
  if (QTableWidgetItem* it = horizontalHeaderItem(column)) it->setText(text);
}

void StringGrid::keyPressEvent(QKeyEvent* event) {
  if (currentRow() == rowCount() - 1 && state() != QAbstractItemView::EditingState) {
    insertRow(rowCount());
  }
  QTableWidget::keyPressEvent(event);
}

}  // namespace kolvane::ui
