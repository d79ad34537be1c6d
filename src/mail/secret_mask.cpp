#include "mail/secret_mask.h"

namespace kolvane {

namespace {

constexpr char kMask[] = "****";

bool blank(char c) {
  return c == ' ' || c == '\t';
}

qsizetype skip(const QByteArray& line, qsizetype at, bool blanks) {
  while (at < line.size() && blank(line[at]) == blanks) ++at;
  return at;
}

}  // namespace

QByteArray MaskSecrets(const QByteArray& line, ClientLine expected) {
  if (expected == ClientLine::Secret) return kMask;
  const QByteArray verb = line.left(4).toUpper();
  // The servers read the verb from the first four bytes, so "PASSword" is a PASS too.
  if (verb == "PASS") return line.size() > 4 ? line.left(4) + ' ' + kMask : line;
  if (verb != "AUTH") return line;
  // "AUTH mechanism [initial-response]": the mechanism stays readable.
  const qsizetype mechanism = skip(line, 4, true);
  const qsizetype response = skip(line, skip(line, mechanism, false), true);
  if (response >= line.size()) return line;
  return line.left(response) + kMask;
}

}  // namespace kolvane
