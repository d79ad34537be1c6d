#include "ui/view_window.h"

#include <QHeaderView>
#include <QMenu>
#include <QVBoxLayout>

#include "core/gateway.h"
#include "settings/caption_texts.h"
#include "ui/window_placement.h"

namespace kolvane::ui {

namespace {

QString widthKey(int column) {
  return QStringLiteral("SgColWi%1").arg(column);
}

}  // namespace

ViewWindow::ViewWindow(Gateway& g, const QString& form, const QString& title,
                       const std::vector<Column>& columns, QWidget* parent)
    : QWidget(parent, Qt::Window), g_(g), form_(form), title_(title), columns_(columns) {
  setObjectName(form);
  setWindowTitle(title);
  grid_ = new QTableWidget(0, static_cast<int>(columns.size()) + 1, this);
  grid_->setObjectName(QStringLiteral("SG1"));
  grid_->verticalHeader()->hide();
  grid_->verticalHeader()->setDefaultSectionSize(20);
  grid_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  grid_->setMouseTracking(true);
  grid_->setHorizontalHeaderItem(0, new QTableWidgetItem);
  for (int c = 1; c <= static_cast<int>(columns.size()); ++c) {
    grid_->setHorizontalHeaderItem(
        c, new QTableWidgetItem(QLatin1String(columns[static_cast<std::size_t>(c - 1)].title)));
  }
  grid_->setColumnWidth(0, 30);
  grid_->horizontalHeader()->setStretchLastSection(false);
  grid_->horizontalHeader()->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(grid_->horizontalHeader(), &QHeaderView::customContextMenuRequested, this,
          [this](const QPoint& at) {
            if (headerMenu_) headerMenu_->popup(grid_->horizontalHeader()->mapToGlobal(at));
          });
  grid_->setContextMenuPolicy(Qt::CustomContextMenu);
  connect(grid_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
    const int row = grid_->rowAt(at.y());
    if (row < 0) return;
    if (QMenu* menu = rowMenu(row)) menu->popup(grid_->viewport()->mapToGlobal(at));
  });
  connect(grid_, &QTableWidget::cellEntered, this, [this](int row, int column) {
    if (row == LRow && column == LCol) return;
    LRow = row;
    LCol = column;
    cellEntered(row, column);
  });
  auto* box = new QVBoxLayout(this);
  box->setContentsMargins(2, 2, 2, 2);
  box->addWidget(grid_, 1);
  resize(640, 360);
  applyLanguage();
}

void ViewWindow::applyLanguage() {
  const Language& language = g_.language();
  const QString title = captionText(language, form_, QLatin1String(kCaptionTitle));
  setWindowTitle(title.isEmpty() ? title_ : title);
  for (int c = 1; c < grid_->columnCount(); ++c) {
    const QString text = captionColumnText(language, form_, QLatin1String(kViewGrid), c);
    grid_->horizontalHeaderItem(c)->setText(
        text.isEmpty() ? QLatin1String(columns_[static_cast<std::size_t>(c - 1)].title) : text);
  }
  // The header menu names the columns as the header does.
  if (isVisible()) buildHeaderMenu();
}

QList<int> ViewWindow::columnWidths() const {
  QList<int> out;
  for (int c = 1; c < grid_->columnCount(); ++c) {
    out << (grid_->isColumnHidden(c) ? -1 : grid_->columnWidth(c));
  }
  return out;
}

void ViewWindow::setWidth(int column, int width) {
  grid_->setColumnHidden(column, width < 0);
  if (width >= 0) grid_->setColumnWidth(column, width);
}

void ViewWindow::showEvent(QShowEvent* event) {
  restorePlacement();
  buildHeaderMenu();
  QWidget::showEvent(event);
  shown();
}

void ViewWindow::hideEvent(QHideEvent* event) {
  savePlacement();
  QWidget::hideEvent(event);
}

void ViewWindow::restorePlacement() {
  // Kept on a screen; centred when nothing is stored.
  ui::restorePlacement(*this, g_.state(), form_);
  const IniFile* file = g_.settingsFile();
  for (int c = 1; c < grid_->columnCount(); ++c) {
    int width = columns_[static_cast<std::size_t>(c - 1)].width;
    if (file) {
      bool ok = false;
      const int saved = file->value(form_, widthKey(c)).toInt(&ok);
      if (ok) width = saved;
    }
    setWidth(c, width);
  }
}

void ViewWindow::savePlacement() {
  ui::keepPlacement(*this, g_.state(), form_);
  IniFile* file = g_.settingsFile();
  if (!file) return;
  const QList<int> widths = columnWidths();
  file->update([&](IniText& ini) {
    for (int c = 1; c <= widths.size(); ++c) {
      ini.setValue(form_, widthKey(c), QString::number(widths[c - 1]));
    }
  });
}

void ViewWindow::buildHeaderMenu() {
  delete headerMenu_;
  headerMenu_ = new QMenu(this);
  for (int c = 1; c < grid_->columnCount(); ++c) {
    QAction* a = headerMenu_->addAction(grid_->horizontalHeaderItem(c)->text());
    a->setCheckable(true);
    a->setChecked(!grid_->isColumnHidden(c));
    connect(a, &QAction::triggered, this,
            [this, c](bool on) { setWidth(c, on ? kDefaultColumnWidth : -1); });
  }
}

}  // namespace kolvane::ui
