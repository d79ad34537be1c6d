#include "modemsim/faults.h"

#include <algorithm>

namespace kolvane::modemsim {
namespace {

bool onOff(const QString& word, bool* value) {
  const bool on = word.compare(u"on", Qt::CaseInsensitive) == 0;
  if (!on && word.compare(u"off", Qt::CaseInsensitive) != 0) return false;
  *value = on;
  return true;
}

// A count, or "off" for 0.
bool number(const QString& word, int* value) {
  bool ok = word.compare(u"off", Qt::CaseInsensitive) == 0;
  const int n = ok ? 0 : word.toInt(&ok);
  if (!ok || n < 0) return false;
  *value = n;
  return true;
}

}  // namespace

bool Faults::answersError(const QByteArray& commandLine) const {
  const QString line = QString::fromLatin1(commandLine).trimmed();
  return std::any_of(errorOn.begin(), errorOn.end(), [&](const QString& pattern) {
    if (pattern.endsWith(u'*')) return line.startsWith(pattern.chopped(1), Qt::CaseInsensitive);
    return line.compare(pattern, Qt::CaseInsensitive) == 0;
  });
}

bool applyFaultCommand(Faults& faults, const QString& line, QString* error) {
  const QString text = line.trimmed();
  const qsizetype blank = text.indexOf(u' ');
  const QString verb = text.left(blank < 0 ? text.size() : blank).toLower();
  const QString rest = blank < 0 ? QString() : text.mid(blank + 1).trimmed();
  const QStringList words = rest.split(u' ', Qt::SkipEmptyParts);
  const QString first = words.value(0);
  bool flag = false;
  bool ok = false;

  if (verb == u"silent") {
    ok = onOff(first, &faults.silent);
  } else if (verb == u"busy") {
    ok = onOff(first, &flag);
    if (ok) faults.cpas = flag ? 3 : 0;
  } else if (verb == u"cpas") {
    ok = number(first, &faults.cpas);
  } else if (verb == u"error-on") {
    ok = !rest.isEmpty();
    if (ok && !faults.errorOn.contains(rest, Qt::CaseInsensitive)) faults.errorOn.append(rest);
  } else if (verb == u"error-off") {
    ok = !rest.isEmpty();
    if (rest.compare(u"all", Qt::CaseInsensitive) == 0)
      faults.errorOn.clear();
    else
      faults.errorOn.removeIf(
          [&](const QString& p) { return p.compare(rest, Qt::CaseInsensitive) == 0; });
  } else if (verb == u"cms-error") {
    ok = number(first, &faults.cmsError);
  } else if (verb == u"high-bytes") {
    ok = onOff(first, &faults.highBytes);
  } else if (verb == u"drop-after") {
    ok = number(first, &faults.dropAfter);
  } else if (verb == u"delay") {
    ok = number(first, &faults.delayMs);
  } else if (verb == u"split") {
    ok = number(first, &faults.splitBytes) &&
         (words.size() < 2 || number(words[1], &faults.splitPauseMs));
  } else if (verb == u"stall-body") {
    ok = number(first, &faults.stallBodyMs);
  } else if (verb == u"creg") {
    ok = number(first, &faults.registration) && faults.registration <= 5;
  } else if (verb == u"urc") {
    ok = number(first, &faults.unsolicitedMs);
  } else if (verb == u"reset") {
    faults = Faults{};
    ok = true;
  }
  if (!ok && error) *error = QStringLiteral("bad control command: ") + text;
  return ok;
}

}  // namespace kolvane::modemsim
