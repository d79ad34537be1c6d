#pragma once

#include <QString>

namespace kolvane {

enum class HtmlQuotes {
  Text,    // quoted blocks read like the rest
  Marked,  // each line of a quoted block (<blockquote>, Gmail's quote block) begins with "> "
};

// The text a person reads in an HTML mail: tags, comments, the head, styles and scripts go,
// entities are decoded, runs of blanks become one space and blocks (paragraphs, line breaks,
// list items, rows) one line each.
QString HtmlToText(const QString& html, HtmlQuotes quotes = HtmlQuotes::Text);

}  // namespace kolvane
