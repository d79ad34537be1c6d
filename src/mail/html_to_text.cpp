#include "mail/html_to_text.h"

#include <QStringList>
#include <algorithm>
#include <array>
#include <utility>
#include <vector>

namespace kolvane {

namespace {

// Elements whose content is never shown.
constexpr std::array<QLatin1StringView, 4> kHidden = {
    QLatin1StringView("head"), QLatin1StringView("style"), QLatin1StringView("script"),
    QLatin1StringView("title")};

// Elements that start or end a line of their own.
constexpr std::array<QLatin1StringView, 25> kBlocks = {
    QLatin1StringView("br"),      QLatin1StringView("p"),      QLatin1StringView("div"),
    QLatin1StringView("li"),      QLatin1StringView("tr"),     QLatin1StringView("h1"),
    QLatin1StringView("h2"),      QLatin1StringView("h3"),     QLatin1StringView("h4"),
    QLatin1StringView("h5"),      QLatin1StringView("h6"),     QLatin1StringView("table"),
    QLatin1StringView("ul"),      QLatin1StringView("ol"),     QLatin1StringView("dl"),
    QLatin1StringView("dt"),      QLatin1StringView("dd"),     QLatin1StringView("blockquote"),
    QLatin1StringView("hr"),      QLatin1StringView("pre"),    QLatin1StringView("section"),
    QLatin1StringView("article"), QLatin1StringView("header"), QLatin1StringView("footer"),
    QLatin1StringView("address")};

constexpr std::array<std::pair<QLatin1StringView, char16_t>, 23> kEntities = {{
    {QLatin1StringView("amp"), u'&'},    {QLatin1StringView("lt"), u'<'},
    {QLatin1StringView("gt"), u'>'},     {QLatin1StringView("quot"), u'"'},
    {QLatin1StringView("apos"), u'\''},  {QLatin1StringView("nbsp"), u' '},
    {QLatin1StringView("copy"), u'©'},   {QLatin1StringView("reg"), u'®'},
    {QLatin1StringView("euro"), u'€'},   {QLatin1StringView("ndash"), u'–'},
    {QLatin1StringView("mdash"), u'—'},  {QLatin1StringView("hellip"), u'…'},
    {QLatin1StringView("laquo"), u'«'},  {QLatin1StringView("raquo"), u'»'},
    {QLatin1StringView("lsquo"), u'‘'},  {QLatin1StringView("rsquo"), u'’'},
    {QLatin1StringView("ldquo"), u'“'},  {QLatin1StringView("rdquo"), u'”'},
    {QLatin1StringView("bdquo"), u'„'},  {QLatin1StringView("bull"), u'•'},
    {QLatin1StringView("middot"), u'·'}, {QLatin1StringView("deg"), u'°'},
    {QLatin1StringView("times"), u'×'},
}};

bool isBlank(QChar c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f';
}

// The lower-case name of the tag text between "<" and ">", without "/" or attributes.
QString tagName(QStringView tag) {
  qsizetype i = 0;
  while (i < tag.size() && (tag[i] == u'/' || isBlank(tag[i]))) ++i;
  qsizetype end = i;
  while (end < tag.size() && (tag[end].isLetterOrNumber())) ++end;
  return tag.sliced(i, end - i).toString().toLower();
}

// The character of an entity at text[at] ("&"), with the entity's length; none when it is not one.
std::pair<QString, qsizetype> entityAt(QStringView text, qsizetype at) {
  const qsizetype semi = text.indexOf(u';', at + 1);
  if (semi < 0 || semi - at > 10) return {};
  const QStringView name = text.sliced(at + 1, semi - at - 1);
  if (name.startsWith(u'#')) {
    bool ok = false;
    const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
    const uint code = name.sliced(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
    if (!ok || code == 0 || code > 0x10FFFF) return {};
    const char32_t ch = code;
    return {QString::fromUcs4(&ch, 1), semi - at + 1};
  }
  const auto it = std::find_if(kEntities.begin(), kEntities.end(),
                               [&name](const auto& e) { return name == e.first; });
  if (it == kEntities.end()) return {};
  return {QString(QChar(it->second)), semi - at + 1};
}

// Quoted blocks: blockquote elements, and the div of Gmail's quote with everything in it (the
// attribution too).
void trackQuotes(const QString& name, QStringView tag, bool closing, std::vector<bool>& divs,
                 int& depth) {
  if (name == QLatin1String("blockquote")) {
    depth = closing ? std::max(0, depth - 1) : depth + 1;
  } else if (name == QLatin1String("div") && !closing) {
    divs.push_back(tag.contains(QLatin1String("gmail_quote"), Qt::CaseInsensitive));
    if (divs.back()) ++depth;
  } else if (name == QLatin1String("div") && !divs.empty()) {
    if (divs.back()) depth = std::max(0, depth - 1);
    divs.pop_back();
  }
}

}  // namespace

QString HtmlToText(const QString& html, HtmlQuotes quotes) {
  QString out;
  QString hiddenUntil;  // the closing tag that ends a hidden element
  bool blank = false;
  int quoteDepth = 0;
  std::vector<bool> divs;  // open div elements, true for a quote block
  for (qsizetype i = 0; i < html.size();) {
    const QChar c = html[i];
    if (c == u'<') {
      if (html.mid(i, 4) == QLatin1String("<!--")) {
        const qsizetype end = html.indexOf(QLatin1String("-->"), i + 4);
        i = end < 0 ? html.size() : end + 3;
        continue;
      }
      const qsizetype close = html.indexOf(u'>', i + 1);
      if (close < 0) break;  // a tag cut off at the end shows nothing
      const QStringView tag = QStringView(html).sliced(i + 1, close - i - 1);
      const QString name = tagName(tag);
      const bool closing = tag.trimmed().startsWith(u'/');
      i = close + 1;
      if (!hiddenUntil.isEmpty()) {
        if (closing && name == hiddenUntil) hiddenUntil.clear();
        continue;
      }
      if (quotes == HtmlQuotes::Marked) trackQuotes(name, tag, closing, divs, quoteDepth);
      if (!closing && std::find(kHidden.begin(), kHidden.end(), name) != kHidden.end() &&
          !tag.trimmed().endsWith(u'/')) {
        hiddenUntil = name;
      } else if (std::find(kBlocks.begin(), kBlocks.end(), name) != kBlocks.end()) {
        out += u'\n';
        blank = false;
      } else if (name == QLatin1String("td") || name == QLatin1String("th")) {
        blank = true;
      }
      continue;
    }
    if (!hiddenUntil.isEmpty()) {
      ++i;
      continue;
    }
    if (isBlank(c)) {
      blank = true;
      ++i;
      continue;
    }
    if (blank && !out.isEmpty() && !out.endsWith(u'\n')) out += u' ';
    blank = false;
    if (quoteDepth > 0 && (out.isEmpty() || out.endsWith(u'\n'))) out += QLatin1String("> ");
    if (c == u'&') {
      const auto [text, length] = entityAt(html, i);
      if (length > 0) {
        out += text;
        i += length;
        continue;
      }
    }
    out += c;
    ++i;
  }
  QStringList lines;
  for (const QString& line : out.split(u'\n')) {
    const QString t = line.trimmed();
    if (!t.isEmpty()) lines << t;
  }
  return lines.join(u'\n');
}

}  // namespace kolvane
