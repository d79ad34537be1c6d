#pragma once

#include <QByteArray>
#include <functional>

namespace kolvane {

// Assembles the bytes of one connection into lines. The CR or LF that first ends a non-empty
// line becomes the connection's terminator; the other one is dropped without ending a line,
// so the CR ends the lines of a CR LF client. Each connection learns its own terminator.
class SmtpLineReader {
 public:
  // Feeds received bytes; onLine gets every completed line without its terminator.
  void feed(const QByteArray& bytes, const std::function<void(const QByteArray& line)>& onLine);
  // Drops the incomplete line.
  void clearLine() { line_.clear(); }
  // The learned terminator; 0 while none is.
  char terminator() const { return crLf1_; }

 private:
  QByteArray line_;
  char crLf1_ = 0;
};

}  // namespace kolvane
