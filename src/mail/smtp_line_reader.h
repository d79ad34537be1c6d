#pragma once

#include <QByteArray>
#include <cstdint>
#include <functional>

namespace kolvane {

// How a received line ended.
enum class LineEnd : std::uint8_t { CrLf, Lf, Cr };

// Assembles the bytes of one connection into lines. CR LF is one line end; a bare LF or a
// bare CR ends a line too, so a file with LF line ends reads as the lines it has. A line keeps
// at most maxLine bytes; the rest of it is counted and dropped.
class SmtpLineReader {
 public:
  // onLine gets every completed line without its end, how many of its bytes were dropped,
  // how it ended and how the line before it ended (what tells the end of a mail's data).
  using OnLine =
      std::function<void(const QByteArray& line, qsizetype dropped, LineEnd end, LineEnd before)>;

  explicit SmtpLineReader(qsizetype maxLine) : maxLine_(maxLine) {}

  // Feeds received bytes.
  void feed(const QByteArray& bytes, const OnLine& onLine);
  // Drops the incomplete line.
  void clearLine() {
    line_.clear();
    dropped_ = 0;
    heldDot_ = false;
  }

 private:
  void deliver(const QByteArray& line, qsizetype dropped, LineEnd end, const OnLine& onLine);

  qsizetype maxLine_;
  QByteArray line_;
  qsizetype dropped_ = 0;
  bool afterCr_ = false;  // the last byte taken was a CR that ended a line
  // A "." whose CR was the last byte received waits for the next byte: only with its LF is it
  // the end of a mail.
  bool heldDot_ = false;
  LineEnd before_ = LineEnd::CrLf;
};

}  // namespace kolvane
