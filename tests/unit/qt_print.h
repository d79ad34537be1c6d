#pragma once

#include <QByteArray>
#include <QString>
#include <ostream>

// Readable gtest failure messages for Qt strings (found by argument-dependent lookup).
inline void PrintTo(const QString& s, std::ostream* os) {
  *os << '"' << s.toStdString() << '"';
}

inline void PrintTo(const QByteArray& b, std::ostream* os) {
  *os << '"';
  for (char c : b) {
    const auto u = static_cast<unsigned char>(c);
    if (u < 32 || u == 127)
      *os << "\\x"
          << "0123456789ABCDEF"[u >> 4] << "0123456789ABCDEF"[u & 15];
    else
      *os << c;
  }
  *os << "\" (hex " << b.toHex().toUpper().toStdString() << ')';
}
