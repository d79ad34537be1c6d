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

// "COMMAND N": the value for command lines that match COMMAND; N 0 or "off" removes it.
bool setCommandValue(QList<QPair<QString, int>>& list, const QStringList& words) {
  int value = 0;
  if (words.size() != 2 || !number(words[1], &value)) return false;
  list.removeIf([&](const auto& e) { return e.first == words[0]; });
  if (value > 0) list.append({words[0], value});
  return true;
}

// The value of the first pattern the command line matches; 0 for none.
int valueFor(const QList<QPair<QString, int>>& list, const QByteArray& commandLine) {
  for (const auto& [pattern, value] : list)
    if (matchesCommand(pattern, commandLine)) return value;
  return 0;
}

}  // namespace

bool matchesCommand(const QString& pattern, const QByteArray& commandLine) {
  const QString line = QString::fromLatin1(commandLine).trimmed();
  if (pattern.endsWith(u'*')) return line.startsWith(pattern.chopped(1), Qt::CaseInsensitive);
  return line.compare(pattern, Qt::CaseInsensitive) == 0;
}

namespace {

bool matchesAny(const QStringList& patterns, const QByteArray& commandLine) {
  return std::any_of(patterns.begin(), patterns.end(),
                     [&](const QString& pattern) { return matchesCommand(pattern, commandLine); });
}

}  // namespace

bool Faults::answersError(const QByteArray& commandLine) const {
  return matchesAny(errorOn, commandLine);
}

bool Faults::unsupports(const QByteArray& commandLine) const {
  return matchesAny(unsupported, commandLine);
}

int Faults::cmeError(const QByteArray& commandLine) const {
  return valueFor(cmeErrorOn, commandLine);
}

int Faults::answerDelay(const QByteArray& commandLine, quint32* seed) const {
  if (const int ms = valueFor(delayOn, commandLine); ms > 0) return ms;
  if (delayMaxMs <= delayMs) return delayMs;
  // xorshift: the same run of delays every time, so a failing run can be repeated.
  *seed ^= *seed << 13;
  *seed ^= *seed >> 17;
  *seed ^= *seed << 5;
  return delayMs + static_cast<int>(*seed % static_cast<quint32>(delayMaxMs - delayMs + 1));
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
  } else if (verb == u"send-errors") {
    faults.sendScript.clear();
    ok = !rest.isEmpty();
    if (ok && rest.compare(u"off", Qt::CaseInsensitive) != 0) {
      faults.sendScript = rest.split(u'|');
      for (const QString& step : std::as_const(faults.sendScript)) {
        int code = 0;
        ok = ok && (step == u"ok" || step == u"error" || (number(step, &code) && code > 0));
      }
      if (!ok) faults.sendScript.clear();
    }
  } else if (verb == u"high-bytes") {
    ok = onOff(first, &faults.highBytes);
  } else if (verb == u"drop-after") {
    ok = number(first, &faults.dropAfter);
  } else if (verb == u"delay") {
    const QStringList range = first.split(u'-');
    int low = 0;
    int high = 0;
    ok = range.size() == 2 ? number(range[0], &low) && number(range[1], &high) && high >= low
                           : number(first, &low);
    if (ok) {
      faults.delayMs = low;
      faults.delayMaxMs = high;
    }
  } else if (verb == u"delay-on") {
    ok = setCommandValue(faults.delayOn, words);
  } else if (verb == u"split") {
    ok = number(first, &faults.splitBytes) &&
         (words.size() < 2 || number(words[1], &faults.splitPauseMs));
  } else if (verb == u"stall-body") {
    ok = number(first, &faults.stallBodyMs);
  } else if (verb == u"creg") {
    ok = number(first, &faults.registration) && faults.registration <= 5;
  } else if (verb == u"urc") {
    ok = number(first, &faults.unsolicitedMs);
  } else if (verb == u"unsupported") {
    ok = !rest.isEmpty();
    if (ok && !faults.unsupported.contains(rest, Qt::CaseInsensitive))
      faults.unsupported.append(rest);
  } else if (verb == u"cme-error") {
    ok = setCommandValue(faults.cmeErrorOn, words);
  } else if (verb == u"prompt-codes") {
    ok = !rest.isEmpty();
    faults.promptCodes.clear();
    if (ok && rest.compare(u"off", Qt::CaseInsensitive) != 0) faults.promptCodes = rest.split(u'|');
  } else if (verb == u"echo-stuck") {
    ok = onOff(first, &faults.echoStuck);
  } else if (verb == u"send-delay") {
    ok = number(first, &faults.sendDelayMs);
  } else if (verb == u"list-code" || verb == u"list-cut") {
    int entry = 0;
    const QString code = verb == u"list-cut" ? QString() : rest.mid(first.size()).trimmed();
    ok = number(first, &entry) && entry > 0 &&
         (verb == u"list-cut" ? words.size() == 1 : !code.isEmpty());
    if (ok) faults.listCodes.append({entry, code});
  } else if (verb == u"sim-busy") {
    ok = number(first, &faults.simBusyMs);
  } else if (verb == u"no-sim") {
    ok = onOff(first, &faults.noSim);
  } else if (verb == u"cnmi-boot") {
    ok = number(first, &faults.cnmiBootMs);
  } else if (verb == u"reset") {
    faults = Faults{};
    ok = true;
  }
  if (!ok && error) *error = QStringLiteral("bad control command: ") + text;
  return ok;
}

}  // namespace kolvane::modemsim
