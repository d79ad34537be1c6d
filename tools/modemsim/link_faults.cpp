#include "modemsim/link_faults.h"

#include <QStringList>

namespace kolvane::modemsim {

bool LinkFaults::use(int& count) {
  if (count <= 0) return false;
  --count;
  return true;
}

std::optional<bool> applyLinkFaultCommand(LinkFaults& faults, const QString& line, QString* error) {
  const QStringList words = line.trimmed().split(u' ', Qt::SkipEmptyParts);
  if (words.isEmpty()) return std::nullopt;
  const QString verb = words[0].toLower();
  if (verb == u"drop-after-answer") {
    if (words.size() != 2) {
      if (error) *error = QStringLiteral("bad control command: ") + line.trimmed();
      return false;
    }
    faults.dropAfterAnswer.append(words[1]);
    return true;
  }
  if (verb == u"unplug" || verb == u"replug") {
    faults.unplugged = verb == u"unplug";
    return true;
  }
  int* count = verb == u"silent-body"         ? &faults.silentBodies
               : verb == u"drop-at-send"      ? &faults.dropAtSend
               : verb == u"drop-after-accept" ? &faults.dropAfterAccept
               : verb == u"noise"             ? &faults.noiseBytes
                                              : nullptr;
  if (!count) return std::nullopt;
  const QString value = words.value(1);
  bool ok = value.compare(u"off", Qt::CaseInsensitive) == 0;
  const int n = ok ? 0 : value.toInt(&ok);
  const bool spread = count == &faults.noiseBytes && words.size() == 3;
  int ms = 0;
  if (spread) ms = words[2].toInt(&ok);
  if (!ok || n < 0 || ms < 0 || words.size() > (spread ? 3 : 2)) {
    if (error) *error = QStringLiteral("bad control command: ") + line.trimmed();
    return false;
  }
  *count = n;
  if (count == &faults.noiseBytes) faults.noiseSpreadMs = ms;
  return true;
}

QByteArray noise(int bytes) {
  QByteArray out;
  out.reserve(bytes);
  quint32 state = 0x2545F491u;
  for (int i = 0; i < bytes; ++i) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    const quint32 r = state % 100;
    // Mostly text with some line ends, like a device babbling; every tenth byte is 8-bit.
    out.append(r < 10   ? static_cast<char>(0x80 + state % 0x80)
               : r < 15 ? (r % 2 ? '\r' : '\n')
                        : static_cast<char>(' ' + state % 95));
  }
  return out;
}

}  // namespace kolvane::modemsim
