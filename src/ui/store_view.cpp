#include "ui/store_view.h"

#include <QFileInfo>
#include <QMenu>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "core/gateway.h"
#include "mail/mail_rec.h"
#include "mail/quoted_printable.h"
#include "mail/store_file.h"
#include "platform/exclusive_file.h"

namespace kolvane::ui {

namespace {

struct StoreForm {
  const char* form;
  const char* title;
  const char* file;
  std::array<int, 6> widths;
};
constexpr StoreForm kForms[] = {
    {"fSmtpTmpView", "Smtp.Tmp  Explorer", files::kSmtpTmp, {-1, -1, -1, 150, -1, 350}},
    {"fPop3TmpView", "Pop3.Tmp  Explorer", files::kPop3Tmp, {-1, -1, -1, -1, 200, 350}},
    {"fWaitTmpView", "SmtpWait.Tmp  Explorer", files::kSmtpWaitTmp, {-1, -1, -1, 150, 110, 350}},
};

const StoreForm& formOf(StoreView::Store store) {
  return kForms[static_cast<int>(store)];
}

std::vector<ViewWindow::Column> columnsOf(StoreView::Store store) {
  const auto& w = formOf(store).widths;
  return {{"PosID", w[0]}, {"NamePC", w[1]},  {"From", w[2]},
          {"To", w[3]},    {"Subject", w[4]}, {"Body", w[5]}};
}

// The body as the traffic logs show it, control characters as spaces.
QString shownBody(const QByteArray& body) {
  QString text = QString::fromUtf8(LogText(body));
  for (QChar& c : text) {
    if (c.unicode() < 32) c = QLatin1Char(' ');
  }
  return text;
}

}  // namespace

StoreView::StoreView(Gateway& g, Store store, QWidget* parent)
    : ViewWindow(g, QLatin1String(formOf(store).form), QLatin1String(formOf(store).title),
                 columnsOf(store), parent),
      store_(store),
      path_(g.state().file(formOf(store).file)),
      memo_(new QPlainTextEdit(this)) {
  memo_->setObjectName(QStringLiteral("Me1"));
  memo_->setReadOnly(true);
  memo_->setFixedHeight(60);
  static_cast<QVBoxLayout*>(layout())->insertWidget(0, memo_);
  if (store == Store::Wait) {
    waitMenu_ = new QMenu(this);
    connect(waitMenu_->addAction(QStringLiteral("Delete item")), &QAction::triggered, this,
            [this] { g_.state().WaitStore.DeleteItemID = PopUpPosID; });
    connect(waitMenu_->addAction(QStringLiteral("Return sender")), &QAction::triggered, this,
            [this] { g_.state().WaitStore.ReturnSenderID = PopUpPosID; });
  }
  // Stores change under the gateway's hands; a grown file is read on.
  poll_.setInterval(1000);
  connect(&poll_, &QTimer::timeout, this, &StoreView::poll);
}

void StoreView::shown() {
  if (store_ == Store::Wait) {
    g_.state().WaitStore.ReturnSenderID.clear();
    g_.state().WaitStore.DeleteItemID.clear();
  }
  poll_.start();
  reload();
}

void StoreView::reload() {
  FiPosView = 0;
  LineNoView = 1;
  grid()->setRowCount(0);
  seenSize_ = -1;
  requestRefresh();
}

void StoreView::requestRefresh() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        if (!isVisible() || ToViewRun) return;
        ToViewRun = true;
        refreshChunk();
        ToViewRun = false;
      },
      Qt::QueuedConnection);
}

void StoreView::poll() {
  if (!isVisible()) {
    poll_.stop();
    return;
  }
  const qint64 size = QFileInfo(path_).size();
  if (size == seenSize_) return;
  // A store that was taken away or compacted is read again from its start.
  if (size < FiPosView) {
    reload();
    return;
  }
  seenSize_ = size;
  requestRefresh();
}

void StoreView::refreshChunk() {
  ExclusiveFile file(path_);
  if (!file.open(QIODevice::ReadOnly)) return;
  const qint64 size = file.file().size();
  if (size == 0 || !file.file().seek(FiPosView)) return;
  const qint64 start = FiPosView;
  // Records longer than a chunk are read whole rather than skipped as unreadable.
  const auto window = ReadRecordWindow(file.file(), FiPosView, kChunk, HoldsWholeRecord);
  file.close();
  if (!window || window->isEmpty()) return;
  QByteArray chunk = *window;
  const SubjectRules rules = subjectRules(g_.state().cfg, g_.clock().now());
  QTableWidget* sg = grid();
  while (!chunk.isEmpty()) {
    const tMailRec rec = StrToMailRec(chunk, rules);
    const bool complete = rec.EndPos > 0 && (store_ != Store::Pop3 || !rec.PosID.isEmpty());
    if (!complete) {
      // An unreadable stretch is skipped; a record cut by the chunk's end waits for the next.
      if (FiPosView == start && chunk.size() >= kWindow) FiPosView += kWindow;
      break;
    }
    const int row = LineNoView - 1;
    if (sg->rowCount() <= row) sg->setRowCount(row + 1);
    const QStringList cells{QString::number(LineNoView),   QString::fromUtf8(rec.PosID),
                            QString::fromUtf8(rec.NamePC), QString::fromUtf8(rec.From),
                            QString::fromUtf8(rec.Toe),    QString::fromUtf8(rec.Subj),
                            shownBody(rec.MimeBody)};
    for (int c = 0; c < cells.size(); ++c) sg->setItem(row, c, new QTableWidgetItem(cells[c]));
    chunk.remove(0, rec.EndPos);
    FiPosView += rec.EndPos;
    ++LineNoView;
  }
  if (sg->rowCount() > 0) {
    sg->scrollToBottom();
    sg->setCurrentCell(sg->rowCount() - 1, 1);
  }
  // A tail that does not parse yet waits for the file to grow instead of spinning.
  if (FiPosView > start && FiPosView < size - 10) requestRefresh();
}

QMenu* StoreView::rowMenu(int row) {
  if (!waitMenu_) return nullptr;
  // Withdrawn while a request waits for the waiting-store scan.
  const WaitStoreState& w = g_.state().WaitStore;
  if (!w.ReturnSenderID.isEmpty() || !w.DeleteItemID.isEmpty()) return nullptr;
  const QTableWidgetItem* id = grid()->item(row, 1);
  if (!id || id->text().isEmpty()) return nullptr;
  PopUpPosID = id->text().toUtf8();
  return waitMenu_;
}

void StoreView::cellEntered(int row, int column) {
  const QTableWidgetItem* cell = grid()->item(row, column);
  memo_->setPlainText(cell ? cell->text() : QString());
}

}  // namespace kolvane::ui
