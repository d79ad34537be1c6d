#include "gsm/modem_error_text.h"

#include <algorithm>
#include <array>
#include <utility>

#include "settings/catalogue.h"
#include "settings/language.h"

namespace kolvane {

namespace {

using at::FinalKind;

// Code and catalogue number, in ascending code order.
constexpr std::array<std::pair<int, int>, 21> kEquipment = {{
    {0, 200},  {3, 201},  {4, 202},  {10, 203}, {11, 204}, {12, 205}, {13, 206},
    {14, 207}, {15, 208}, {16, 209}, {17, 210}, {18, 211}, {20, 212}, {21, 213},
    {22, 214}, {23, 215}, {24, 216}, {30, 217}, {31, 218}, {32, 219}, {100, 220},
}};
constexpr std::array<std::pair<int, int>, 32> kMessage = {{
    {21, 230},  {27, 231},  {28, 232},  {29, 233},  {38, 234},  {41, 235},  {42, 236},  {47, 237},
    {50, 238},  {96, 239},  {300, 240}, {301, 241}, {302, 242}, {303, 243}, {304, 244}, {305, 245},
    {310, 246}, {311, 247}, {312, 248}, {313, 249}, {314, 250}, {315, 251}, {316, 252}, {317, 253},
    {318, 254}, {320, 255}, {321, 256}, {322, 257}, {330, 258}, {331, 259}, {332, 260}, {500, 261},
}};

template <std::size_t N>
int NumberIn(const std::array<std::pair<int, int>, N>& table, int code) {
  const auto it = std::lower_bound(table.begin(), table.end(), code,
                                   [](const std::pair<int, int>& e, int c) { return e.first < c; });
  return it != table.end() && it->first == code ? it->second : 0;
}

// The result as the modem writes it.
QString AsSaid(const at::FinalResult& r) {
  QString word;
  switch (r.kind) {
    case FinalKind::Ok:
      return QStringLiteral("OK");
    case FinalKind::Error:
      word = QStringLiteral("ERROR");
      break;
    case FinalKind::CmeError:
      word = QStringLiteral("+CME ERROR");
      break;
    case FinalKind::CmsError:
      word = QStringLiteral("+CMS ERROR");
      break;
    case FinalKind::ExtError:
      word = QStringLiteral("+EXT ERROR");
      break;
    case FinalKind::CommandNotSupport:
      return QStringLiteral("COMMAND NOT SUPPORT");
    case FinalKind::TooManyParameters:
      return QStringLiteral("TOO MANY PARAMETERS");
    case FinalKind::NoCarrier:
      return QStringLiteral("NO CARRIER");
    case FinalKind::Busy:
      return QStringLiteral("BUSY");
    case FinalKind::NoAnswer:
      return QStringLiteral("NO ANSWER");
    case FinalKind::NoDialtone:
      return QStringLiteral("NO DIALTONE");
  }
  if (r.code >= 0) return word + QStringLiteral(": ") + QString::number(r.code);
  // Verbose texts come from the device: only what is printable is shown.
  QString words = QString::fromLatin1(r.words).simplified();
  words.removeIf([](QChar c) { return !c.isPrint(); });
  return words.isEmpty() ? word : word + QStringLiteral(": ") + words.left(80);
}

// Letters and digits only, lower case, without the tail words some modems add.
QByteArray WordsKey(QByteArrayView words) {
  QByteArray key;
  for (const char c : words) {
    if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')) key += c;
    if (c >= 'A' && c <= 'Z') key += static_cast<char>(c - 'A' + 'a');
  }
  for (const QByteArrayView tail : {QByteArrayView("unspecified"), QByteArrayView("error")}) {
    if (key.endsWith(tail) && key.size() > tail.size()) key.chop(tail.size());
  }
  return key;
}

}  // namespace

int MessageErrorCodeOfWords(QByteArrayView words) {
  const QByteArray key = WordsKey(words);
  if (key.isEmpty()) return -1;
  for (const auto& [code, number] : kMessage) {
    const CatalogueEntry* entry = catalogueEntry(number);
    if (entry == nullptr) continue;
    // "+CMS ERROR: 38 (network out of order)": the words are in the brackets.
    const QByteArrayView english(entry->english);
    const qsizetype open = english.indexOf('(');
    const qsizetype close = english.lastIndexOf(')');
    if (open >= 0 && close > open && WordsKey(english.sliced(open + 1, close - open - 1)) == key)
      return code;
  }
  return -1;
}

int ModemErrorNumber(const at::FinalResult& result) {
  if (result.code < 0) return 0;
  if (result.kind == FinalKind::CmeError) return NumberIn(kEquipment, result.code);
  if (result.kind == FinalKind::CmsError) return NumberIn(kMessage, result.code);
  return 0;
}

QString ModemErrorText(const Language& language, const at::FinalResult& result) {
  const int number = ModemErrorNumber(result);
  const QString words = number != 0 ? language.Text(number) : QString();
  // A language file may leave an entry out or empty it.
  return words.trimmed().isEmpty() ? AsSaid(result) : words;
}

}  // namespace kolvane
