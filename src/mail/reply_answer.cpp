#include "mail/reply_answer.h"

#include <QList>
#include <QRegularExpression>
#include <QStringList>
#include <algorithm>
#include <array>
#include <vector>

#include "mail/flowed_text.h"

namespace kolvane {

namespace {

// The Outlook header block names the date within this many lines after its "From:".
constexpr qsizetype kHeaderDateLines = 2;
// An attribution that a mail program wrapped runs over at most this many lines.
constexpr qsizetype kAttributionLines = 3;

// How mail programs in English, Czech, German and French introduce a quote ("On … wrote:",
// "Dne … napsal(a):", "Am … schrieb …:", "Le … a écrit :") and head the message they answer.
constexpr std::array<QStringView, 4> kAttributionVerbs = {u"wrote", u"napsal", u"schrieb",
                                                          u"écrit"};
constexpr std::array<QStringView, 4> kAttributionStarts = {u"On ", u"Dne ", u"Am ", u"Le "};
constexpr std::array<QStringView, 5> kHeaderFrom = {u"From:", u"Od:", u"Von:", u"De:", u"De :"};
constexpr std::array<QStringView, 7> kHeaderDate = {
    u"Sent:", u"Odesláno:", u"Date:", u"Datum:", u"Gesendet:", u"Envoyé :", u"Envoyé:"};

struct Line {
  QByteArray bytes;
  QString text;  // trimmed
  bool quoted = false;
  bool blank = false;
};

template <std::size_t N>
bool startsWithAny(const QString& text, const std::array<QStringView, N>& starts) {
  return std::any_of(starts.begin(), starts.end(),
                     [&text](QStringView s) { return text.startsWith(s, Qt::CaseInsensitive); });
}

bool isSignature(const Line& line) {
  return line.text == QLatin1String("--");
}

bool isOriginalMessage(const Line& line) {
  static const QRegularExpression kMarker(
      QStringLiteral("^-{2,}\\s*(original message|původní zpráva|ursprüngliche nachricht|"
                     "message d'origine|forwarded message|přeposlaná zpráva)\\s*-{2,}$"),
      QRegularExpression::CaseInsensitiveOption);
  return kMarker.match(line.text).hasMatch();
}

// Outlook and mail programs that render bold as "*From:*".
QString withoutStars(const QString& text) {
  qsizetype i = 0;
  while (i < text.size() && (text[i] == u'*' || text[i] == u' ')) ++i;
  return text.mid(i);
}

bool isHeaderBlock(const QList<Line>& lines, qsizetype i) {
  if (!startsWithAny(withoutStars(lines[i].text), kHeaderFrom)) return false;
  for (qsizetype j = i + 1; j < lines.size() && j <= i + kHeaderDateLines; ++j) {
    if (!lines[j].quoted && startsWithAny(withoutStars(lines[j].text), kHeaderDate)) return true;
  }
  return false;
}

bool isSeparator(const Line& line) {
  return line.text.size() >= 2 &&
         std::all_of(line.text.begin(), line.text.end(), [](QChar c) { return c == u'_'; });
}

// Where the person's text ends: at the first unquoted signature or Outlook header block, with
// the separator and blank lines above it.
qsizetype answerEnd(const QList<Line>& lines) {
  qsizetype end = 0;
  while (end < lines.size()) {
    const Line& line = lines[end];
    if (!line.quoted && (isSignature(line) || isOriginalMessage(line) || isHeaderBlock(lines, end)))
      break;
    ++end;
  }
  if (end == lines.size()) return end;
  while (end > 0 && (lines[end - 1].blank || isSeparator(lines[end - 1]))) --end;
  return end;
}

// The first line of an attribution that ends at line k.
qsizetype attributionStart(const QList<Line>& lines, qsizetype k) {
  for (qsizetype m = k; m >= 0 && m > k - kAttributionLines; --m) {
    if (lines[m].blank || lines[m].quoted) break;
    if (startsWithAny(lines[m].text, kAttributionStarts)) return m;
  }
  // Wrapped: the sender's address, or the last words, on a line of their own.
  const QString& last = lines[k].text;
  const bool wrapped = last.startsWith(u'<') || startsWithAny(last, kAttributionVerbs) ||
                       last.startsWith(u"a écrit");
  if (k > 0 && !lines[k - 1].blank && !lines[k - 1].quoted &&
      (wrapped || lines[k - 1].text.endsWith(u'<')))
    return k - 1;
  return k;
}

// The attribution above the quoted block that starts at line q, blank lines between included.
void dropAttribution(const QList<Line>& lines, qsizetype q, std::vector<bool>& keep) {
  qsizetype k = q - 1;
  while (k >= 0 && lines[k].blank) --k;
  if (k < 0 || lines[k].quoted || !lines[k].text.endsWith(u':')) return;
  const qsizetype start = attributionStart(lines, k);
  QString said;
  for (qsizetype m = start; m <= k; ++m) said += lines[m].text + u' ';
  // Apple Mail in some languages names only the sender: "10. 12. 2026 v 9:58, Jan <j@x.cz>:".
  const bool sender = lines[k].text.endsWith(QLatin1String(">:"));
  if (!sender &&
      std::none_of(kAttributionVerbs.begin(), kAttributionVerbs.end(),
                   [&said](QStringView v) { return said.contains(v, Qt::CaseInsensitive); }))
    return;
  for (qsizetype m = start; m < q; ++m) keep[m] = false;
}

}  // namespace

bool IsReply(const QString& subject, bool answersAMail) {
  static const QRegularExpression kPrefix(
      QStringLiteral(R"(^\s*(re|aw|odp|sv|fwd|fw|wg|tr|pd)\s*(\[\d+\])?\s*:)"),
      QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch m = kPrefix.match(subject);
  if (!m.hasMatch()) return answersAMail;
  const QString prefix = m.captured(1).toLower();
  return prefix == QLatin1String("re") || prefix == QLatin1String("aw") ||
         prefix == QLatin1String("odp") || prefix == QLatin1String("sv");
}

QByteArray ReplyAnswer(const QByteArray& text, const QString& read) {
  const QList<QByteArray> raw = TextLines(text);
  QStringList readLines = read.split(u'\n');
  // Charsets that keep the line feed a byte of its own read line for line; any other as Latin-1.
  if (readLines.size() != raw.size()) readLines = QString::fromLatin1(text).split(u'\n');
  QList<Line> lines;
  for (qsizetype i = 0; i < raw.size(); ++i) {
    const QString t = readLines[i].trimmed();
    lines.append({raw[i], t, raw[i].startsWith('>'), t.isEmpty()});
  }
  const qsizetype end = answerEnd(lines);
  std::vector<bool> keep(static_cast<std::size_t>(end), true);
  for (qsizetype i = 0; i < end; ++i) {
    if (!lines[i].quoted) continue;
    keep[i] = false;
    if (i == 0 || !lines[i - 1].quoted) dropAttribution(lines, i, keep);
  }
  QList<QByteArray> out;
  bool gap = false;  // a blank line is due before the next kept line
  for (qsizetype i = 0; i < end; ++i) {
    if (!keep[i]) continue;
    if (lines[i].blank) {
      gap = !out.isEmpty();
      continue;
    }
    if (gap) out << QByteArray();
    gap = false;
    out << lines[i].bytes;
  }
  if (out.isEmpty()) return text;
  return out.join("\r\n");
}

}  // namespace kolvane
