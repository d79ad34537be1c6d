#include "settings/language_refresh.h"

#include <array>

#include "settings/caption_texts.h"
#include "settings/language.h"

namespace kolvane {

namespace {

constexpr std::array kCharsetTexts{124, 125, 161, 126, 127, 128, 155, 129,
                                   130, 157, 163, 131, 132, 159, 153, 133};

}  // namespace

QStringList charsetItems(const Language& language) {
  QStringList items;
  for (const int number : kCharsetTexts) items << language.Text(number);
  return items;
}

int selectedCharsetItem(const QStringList& items, const QString& EmlSmsChConv) {
  const QString wanted = EmlSmsChConv + QLatin1Char('|');
  for (qsizetype i = items.size() - 1; i > 0; --i) {
    if ((items[i] + QLatin1Char('|')).contains(wanted)) return static_cast<int>(i);
  }
  return 0;
}

QString longSmsCaption(const Language& language, const QString& maxField, bool concatenate) {
  bool ok = false;
  // A whole number as the field takes it; the products fit easily in 64 bits.
  const qlonglong parts = maxField.trimmed().toInt(&ok);
  if (!ok || parts <= 0) return {};
  const qlonglong perSms = concatenate ? 153 : 160;
  const QString total = QString::number(parts * perSms);
  return language.Text(123, {total, QString::number(parts), QString::number(perSms), total});
}

LanguageRefresh refreshTexts(const Language& language, const LanguageRefreshInput& input) {
  const QString space = QStringLiteral(" ");
  LanguageRefresh out;
  out.sentTitle = language.Text(164);
  out.receivedTitle = language.Text(165);
  out.mainVersionPanel = space + language.Text(6) + space + input.version;
  out.mainDevicePanel = language.Text(12) + space + input.deviceDisplayName;
  out.installerVersionPanel = space + language.Text(7) + space + input.version;
  out.charsetItems = charsetItems(language);
  out.charsetIndex = selectedCharsetItem(out.charsetItems, input.EmlSmsChConv);
  out.concatenationHint = language.Text(151);
  out.speechTestText = captionText(language, QStringLiteral("FCfg"), QStringLiteral("LaVerify"));
  out.memoryName = language.Text(86);
  return out;
}

}  // namespace kolvane
