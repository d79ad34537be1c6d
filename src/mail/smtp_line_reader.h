#pragma once

#include <QByteArray>
#include <functional>

namespace kolvane {

// Assembles the bytes of one connection into lines. The CR or LF that first ends a non-empty
// line becomes the connection's terminator; the other one is dropped without ending a line,
// so the CR ends the lines of a CR LF client. Each connection learns its own terminator.
// A line keeps at most maxLine bytes; the rest of it is counted and dropped.
class SmtpLineReader {
 public:
  // onLine gets every completed line without its terminator, and how many of its bytes were
  // dropped.
  using OnLine = std::function<void(const QByteArray& line, qsizetype dropped)>;

  explicit SmtpLineReader(qsizetype maxLine) : maxLine_(maxLine) {}

  // Feeds received bytes.
  void feed(const QByteArray& bytes, const OnLine& onLine);
  // Drops the incomplete line.
  void clearLine() {
    line_.clear();
    dropped_ = 0;
  }
  // The learned terminator; 0 while none is.
  char terminator() const { return crLf1_; }

 private:
  qsizetype maxLine_;
  QByteArray line_;
  qsizetype dropped_ = 0;
  char crLf1_ = 0;
};

}  // namespace kolvane
