#include "gsm/gate_frame.h"

#include <algorithm>
#include <cctype>

namespace kolvane {

namespace {

constexpr char kEscTilde = 1;
constexpr char kEscZ = 16;

std::uint8_t u8(char c) {
  return static_cast<std::uint8_t>(c);
}

void store(GateIEs& ies, std::uint8_t id, const QByteArray& v) {
  switch (id) {
    case gate::kCause:
      ies.hasCause = true;
      ies.cause = v;
      break;
    case gate::kIdent:
      ies.hasIdent = true;
      ies.ident = v;
      break;
    case gate::kReadAck:
      ies.hasReadAck = true;
      break;
    case gate::kData1:
      ies.hasData1 = true;
      ies.data1 = v;
      break;
    case gate::kData2:
      ies.hasData2 = true;
      ies.data2 = v;
      break;
    case gate::kSctp:
      ies.hasSctp = true;
      ies.sctp = v;
      break;
    case gate::kModule:
      ies.hasModule = true;
      ies.module = v.isEmpty() ? 255 : u8(v[0]);
      break;
    case gate::kCounter:
      ies.hasCounter = true;
      ies.counter = v.size() >= 2 ? (u8(v[0]) << 8) | u8(v[1]) : (v.isEmpty() ? -1 : u8(v[0]));
      break;
    case gate::kTypeSms:
      ies.hasTypeSms = true;
      ies.typeSms = v;
      break;
    default:
      break;
  }
}

bool known(std::uint8_t id) {
  static constexpr std::uint8_t kKnown[] = {gate::kCause,  gate::kIdent,   gate::kReadAck,
                                            gate::kData1,  gate::kData2,   gate::kSctp,
                                            gate::kModule, gate::kCounter, gate::kTypeSms};
  return std::find(std::begin(kKnown), std::end(kKnown), id) != std::end(kKnown);
}

}  // namespace

QByteArray GateEscape(const QByteArray& body) {
  QByteArray out;
  out.reserve(body.size() + 8);
  for (const char c : body) {
    if (c == gate::kEnd) {
      out.append(gate::kEscape).append(kEscZ);
    } else if (c == gate::kBegin) {
      out.append(gate::kEscape).append(kEscTilde);
    } else if (c == gate::kEscape) {
      out.append(gate::kEscape).append(gate::kEscape);
    } else {
      out.append(c);
    }
  }
  return out;
}

QByteArray GateUnescape(const QByteArray& escaped) {
  QByteArray out;
  out.reserve(escaped.size());
  for (qsizetype i = 0; i < escaped.size(); ++i) {
    const char c = escaped[i];
    if (c == gate::kEscape && i + 1 < escaped.size()) {
      const char next = escaped[i + 1];
      const char plain = next == kEscZ           ? gate::kEnd
                         : next == kEscTilde     ? gate::kBegin
                         : next == gate::kEscape ? gate::kEscape
                                                 : 0;
      // An escape byte before anything else stands for itself.
      if (plain != 0) {
        out.append(plain);
        ++i;
        continue;
      }
    }
    out.append(c);
  }
  return out;
}

QByteArray GateIE(std::uint8_t id, const QByteArray& value) {
  const QByteArray v = value.left(255);
  QByteArray ie;
  ie.append(static_cast<char>(id)).append(static_cast<char>(v.size())).append(v);
  return ie;
}

QByteArray GateIE8(std::uint8_t id, std::uint8_t value) {
  return GateIE(id, QByteArray(1, static_cast<char>(value)));
}

QByteArray GateIE16(std::uint8_t id, std::uint16_t value) {
  QByteArray v;
  v.append(static_cast<char>(value >> 8)).append(static_cast<char>(value & 0xFF));
  return GateIE(id, v);
}

QByteArray GateFrameOfType(std::uint8_t type, QByteArray ieList) {
  ieList.truncate(255);
  QByteArray body;
  body.append(static_cast<char>(type)).append(static_cast<char>(ieList.size())).append(ieList);
  std::uint8_t sum = 0;
  for (const char c : body) sum = static_cast<std::uint8_t>(sum + u8(c));
  body.append(static_cast<char>(static_cast<std::uint8_t>(-sum)));
  return gate::kBegin + GateEscape(body) + gate::kEnd;
}

QByteArray GateFrame(const QByteArray& ieList) {
  return GateFrameOfType(gate::kTypeSent, ieList);
}

GateParsed ParseGateFrame(const QByteArray& raw, bool fromDevice) {
  GateParsed p;
  const qsizetype start = raw.indexOf(gate::kBegin);
  const QByteArray frame = start > 0 ? raw.mid(start) : raw;
  const auto drop = [&p](const char* reason) {
    p.dropped = true;
    p.reason = QString::fromLatin1(reason);
    return p;
  };
  if (frame.size() < 3) return drop("length");
  if (frame.front() != gate::kBegin) return drop("begin");
  if (frame.back() != gate::kEnd) return drop("end");
  const QByteArray f = GateUnescape(frame);
  if (f.size() < 5) return drop("length<5");
  p.type = u8(f[1]);
  const bool deviceType = p.type == gate::kTypeAnswer || p.type == gate::kTypeIndication;
  if (fromDevice ? !deviceType : p.type != gate::kTypeSent) return drop("echo");
  if (f.size() != u8(f[2]) + 5) return drop("LEN");

  // The IE list ends before the checksum and the "z".
  const qsizetype listEnd = f.size() - 2;
  qsizetype pos = 3;
  while (pos < listEnd) {
    const std::uint8_t id = u8(f[pos]);
    if (pos + 2 > listEnd || pos + 2 + u8(f[pos + 1]) > listEnd) {
      p.reason = QStringLiteral("len") + QString::number(id);
      break;
    }
    const int n = u8(f[pos + 1]);
    if (known(id)) {
      store(p.ies, id, f.mid(pos + 2, n));
    } else {
      p.reason = QStringLiteral("IE_") + QString::number(id);
    }
    pos += 2 + n;
  }
  return p;
}

GateTake TakeGateFrame(QByteArray& buffer) {
  GateTake t;
  const qsizetype first = buffer.indexOf(gate::kBegin);
  const qsizetype last = buffer.lastIndexOf(gate::kBegin);
  if (buffer.size() > 6 && buffer.back() == gate::kEnd) {
    // A raw "~" only ever starts a frame: one before the last belongs to a frame cut off.
    t.cut = first >= 0 && last > first;
    t.frame = t.cut ? buffer.mid(last) : buffer;
    buffer.clear();
    return t;
  }
  if (buffer.size() > gate::kMaxPending) {
    t.cut = true;
    if (last > 0 && buffer.size() - last <= gate::kMaxPending) {
      buffer.remove(0, last);
    } else {
      buffer.clear();
    }
  }
  return t;
}

int ModuleFromSubject(const QByteArray& subject) {
  const QByteArray upper = subject.toUpper();
  const qsizetype at = upper.indexOf("MODUL");
  if (at < 0) return 255;
  qsizetype i = at + 5;
  while (i < upper.size() && !std::isdigit(u8(upper[i]))) ++i;
  int n = 0;
  bool any = false;
  for (; i < upper.size() && std::isdigit(u8(upper[i])); ++i) {
    n = std::min(n * 10 + (upper[i] - '0'), 1000);
    any = true;
  }
  return any && n >= 1 && n <= 32 ? n : 255;
}

QString GateHexBytes(const QByteArray& bytes) {
  QString out;
  out.reserve(bytes.size() * 3);
  for (const char c : bytes) {
    out += QStringLiteral("%1 ").arg(u8(c), 2, 16, QLatin1Char('0')).toUpper();
  }
  return out;
}

}  // namespace kolvane
