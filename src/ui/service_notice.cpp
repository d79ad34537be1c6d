#include "ui/service_notice.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>

#include "settings/catalogue.h"
#include "settings/language.h"
#include "ui/svg_pixmap.h"

namespace kolvane::ui {

void showServiceNotice(const QString& folder, const QStringList& status, const Language& language) {
  QDialog dialog;
  dialog.setObjectName(QStringLiteral("ServiceNotice"));
  dialog.setWindowTitle(QStringLiteral("Kolvane"));
  dialog.setWindowIcon(svgIcon(QStringLiteral("app")));
  auto* layout = new QVBoxLayout(&dialog);
  const QString shown = QDir::toNativeSeparators(folder);
  QString text = fillPlaceholders(language.Text(418), {shown});
  if (status.isEmpty()) text += QLatin1Char('\r') + fillPlaceholders(language.Text(419), {shown});
  auto* label = new QLabel(text.replace(QLatin1Char('\r'), QLatin1Char('\n')), &dialog);
  label->setObjectName(QStringLiteral("LaService"));
  label->setWordWrap(true);
  layout->addWidget(label);
  if (!status.isEmpty()) {
    auto* lines = new QPlainTextEdit(status.join(QLatin1Char('\n')), &dialog);
    lines->setObjectName(QStringLiteral("MeStatus"));
    lines->setReadOnly(true);
    lines->setLineWrapMode(QPlainTextEdit::NoWrap);
    lines->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    lines->setMinimumSize(560, 360);
    layout->addWidget(lines, 1);
  }
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, &dialog);
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  layout->addWidget(buttons);
  dialog.exec();
}

}  // namespace kolvane::ui
