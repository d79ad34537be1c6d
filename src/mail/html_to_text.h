#pragma once

#include <QString>

namespace kolvane {

// The text a person reads in an HTML mail: tags, comments, the head, styles and scripts go,
// entities are decoded, runs of blanks become one space and blocks (paragraphs, line breaks,
// list items, rows) one line each.
QString HtmlToText(const QString& html);

}  // namespace kolvane
