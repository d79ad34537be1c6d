#include <algorithm>
#include <cstring>

#include "context/gateway_context.h"
#include "mail/client_limits.h"
#include "mail/mail_addresses.h"
#include "mail/mail_recv.h"

namespace kolvane {

namespace {

constexpr qsizetype kMaxInnerBoundaries = 16;

bool isQuote(char c) {
  return c == '"' || c == '\'';
}

QByteArray stripLeading(QByteArray s, const char* chars) {
  qsizetype n = 0;
  while (n < s.size() && std::strchr(chars, s[n]) != nullptr && s[n] != '\0') ++n;
  return s.mid(n);
}

QByteArray stripTrailing(QByteArray s, const char* chars) {
  while (!s.isEmpty() && s.back() != '\0' && std::strchr(chars, s.back()) != nullptr) s.chop(1);
  return s;
}

// A header parameter value from just after its "=": a quoted value up to its closing quote, a
// plain one up to the next ";" or blank, so parameters that follow it are not taken along.
QByteArray parameterValue(const QByteArray& afterEquals) {
  QByteArray v = stripLeading(afterEquals, " \t");
  if (!v.isEmpty() && isQuote(v[0])) {
    const qsizetype close = v.indexOf(v[0], 1);
    return close < 0 ? stripTrailing(v.mid(1), "\n\r \"';") : v.mid(1, close - 1);
  }
  qsizetype end = 0;
  while (end < v.size() && v[end] != ';' && v[end] != ' ' && v[end] != '\t') ++end;
  return v.left(end);
}

QByteArray charsetValue(const QByteArray& line, const QByteArray& idStr) {
  qsizetype eq = line.indexOf('=', idStr.indexOf("CHARSET"));
  if (eq < 0) eq = line.indexOf('=');
  return parameterValue(line.mid(eq + 1).toLower());
}

QByteArray encodingValue(const QByteArray& line, const QByteArray& idStr) {
  const QByteArray v = line.mid(idStr.indexOf("ENCODING") + 9);
  return stripTrailing(stripLeading(v, " \"':"), "\n\r \"'");
}

QByteArray boundaryValue(const QByteArray& line, const QByteArray& idStr) {
  return parameterValue(line.mid(idStr.indexOf("BOUNDARY=") + 9));
}

// The media type of a Content-Type line (upper-cased).
MailPartType partTypeOf(const QByteArray& idStr) {
  const QByteArray type = stripLeading(idStr.mid(idStr.indexOf(':') + 1), " \t");
  if (type.isEmpty()) return MailPartType::None;
  if (type.startsWith("TEXT/PLAIN")) return MailPartType::Plain;
  if (type.startsWith("TEXT/HTML")) return MailPartType::Html;
  if (type.startsWith("MULTIPART/")) return MailPartType::Multipart;
  return MailPartType::Other;
}

bool isTextType(MailPartType type) {
  return type == MailPartType::None || type == MailPartType::Plain || type == MailPartType::Html;
}

void readFormat(const QByteArray& idStr, TextFormat& format) {
  if (idStr.contains("FORMAT=FLOWED") || idStr.contains("FORMAT=\"FLOWED\"")) format.flowed = true;
  if (idStr.contains("DELSP=YES") || idStr.contains("DELSP=\"YES\"")) format.delSp = true;
}

bool isBlankText(const QByteArray& text) {
  return std::all_of(text.begin(), text.end(),
                     [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; });
}

// A part with a file name, or marked as an attachment, is a file, not the mail's text.
bool namesAFile(const QByteArray& idStr) {
  return idStr.contains("ATTACHMENT") || idStr.contains("NAME=") || idStr.contains("NAME*");
}

}  // namespace

void TMailRecv::MailLine() {
  if (SmtpBodyOn) {
    bodyLine();
  } else {
    headerLine();
  }
}

void TMailRecv::headerLine() {
  GatewayState& gs = g_.state();
  const Settings& cfg = gs.cfg;
  const QByteArray& line = SmtpRecvStr;
  const AddressReplacement repl{cfg.ReplAddrOn, &gs.Replacements};
  const auto addresses = [&](const QByteArray& list) {
    if (cfg.ToTakeFromRcpt) return TestRcptList(list);
    QList<QByteArray> found;
    const bool any = AddRcptList(list, found, repl);
    takeRecipients(found);
    return any;
  };
  const bool important = cfg.PrioritySw && cfg.PriorityEmail;

  // Folded continuation lines of an address header carry more addresses.
  if (SmtpTo_Go) SmtpTo_Go = addresses(line);
  if (IdStr.startsWith("CONTENT-TYPE:")) mailType_ = partTypeOf(IdStr);
  if (IdStr.startsWith("CONTENT-DISPOSITION:") && namesAFile(IdStr)) mailIsFile_ = true;
  if (IdStr.startsWith("IN-REPLY-TO:") || IdStr.startsWith("REFERENCES:")) replyHeader_ = true;
  readFormat(IdStr, mailFormat_);

  if (IdStr.startsWith("FROM:")) {
    From_Str = NextMailAddr(line.mid(5)).address;
  } else if (IdStr.startsWith("TO:") || IdStr.startsWith("CC:")) {
    SmtpTo_Go = addresses(line.mid(3));
  } else if (IdStr.startsWith("SUBJECT:")) {
    Subj_Str = line.mid(8);
  } else if (IdStr.contains("CHARSET") && line.contains('=')) {
    MailCharset = charsetValue(line, IdStr);
  } else if (IdStr.contains("ENCODING")) {
    Encoding_Str = encodingValue(line, IdStr);
  } else if (IdStr.contains("BOUNDARY=")) {
    Boundary_Str = boundaryValue(line, IdStr);
  } else if (IdStr.contains("IMPORTANCE")) {
    if (important && IdStr.contains("HIGH")) Importance = true;
  } else if (IdStr.contains("X-PRIORITY")) {
    if (important && line.contains('1')) Importance = true;
  } else if (line.isEmpty()) {
    SmtpBodyOn = true;
    // A multipart mail's text before its first part is no body.
    const bool multipart = mailType_ == MailPartType::Multipart || !Boundary_Str.isEmpty();
    SmtpBodyGo = !multipart && isTextType(mailType_) && !mailIsFile_ ? 2 : 0;
    BodyIsHtml = mailType_ == MailPartType::Html;
    BodyFormat = mailFormat_;
    headerCharset_ = MailCharset;
  }
}

bool TMailRecv::isBoundaryLine() const {
  const QByteArray& line = SmtpRecvStr;
  if (!Boundary_Str.isEmpty() && line.contains(Boundary_Str)) return true;
  return std::any_of(InnerBoundaries.begin(), InnerBoundaries.end(),
                     [&line](const QByteArray& b) { return line.contains(b); });
}

void TMailRecv::bodyLine() {
  // The first text part is the body; later parts are attachments or other forms of it.
  if (bodyChosen_) return;
  const QByteArray& line = SmtpRecvStr;
  if (SmtpBodyGo == 2) {
    if (Boundary_Str.isEmpty() && IdStr.contains("-BOUNDARY")) {
      Boundary_Str = stripTrailing(stripLeading(line, " \"'"), "\n\r \"'");
      SmtpBodyGo = 0;
    } else if (!Boundary_Str.isEmpty() && line.contains(Boundary_Str)) {
      SmtpBodyGo = 0;
    }
    // A lone "." here is a content line the client sent as "..": the end of the mail never
    // reaches the body.
    if (SmtpBodyGo == 2 && (line.contains("-=_") || isBoundaryLine())) {
      SmtpBodyGo = 0;
    }
    if (SmtpBodyGo == 2) {
      if (BodyMail_Str.size() + line.size() + 2 <= kMaxMailTextBytes) BodyMail_Str += line + "\r\n";
      return;
    }
    // An empty text part (the plain form of an HTML mail left empty) is no body: the next
    // text part is.
    if (partCollected_ && !partIsBlank()) {
      bodyChosen_ = true;
      return;
    }
    partCollected_ = false;
    BodyMail_Str.clear();
    startPart();
    return;
  }
  if (isBoundaryLine()) {
    startPart();
    return;
  }
  // A nested multipart ends its parts with a boundary of its own.
  if (IdStr.contains("BOUNDARY=")) {
    const QByteArray inner = boundaryValue(line, IdStr);
    // Real mails nest a few levels; more only slows every line down.
    if (!inner.isEmpty() && inner != Boundary_Str && !InnerBoundaries.contains(inner) &&
        InnerBoundaries.size() < kMaxInnerBoundaries) {
      InnerBoundaries << inner;
    }
  }
  if (SmtpBodyGo != 1) return;
  if (IdStr.startsWith("CONTENT-TYPE")) partType_ = partTypeOf(IdStr);
  if (namesAFile(IdStr)) partIsFile_ = true;
  if (IdStr.contains("CHARSET") && line.contains('=')) partCharset_ = charsetValue(line, IdStr);
  if (IdStr.contains("ENCODING")) partEncoding_ = encodingValue(line, IdStr);
  readFormat(IdStr, partFormat_);
  if (line.isEmpty()) endPartHeader();
}

void TMailRecv::startPart() {
  // After a closing boundary comes the epilogue (or more of an outer part), not a header.
  if (SmtpRecvStr.trimmed().endsWith("--")) {
    SmtpBodyGo = 0;
    return;
  }
  SmtpBodyGo = 1;
  partType_ = MailPartType::None;
  partIsFile_ = false;
  partCharset_.clear();
  partEncoding_.clear();
  partFormat_ = {};
}

void TMailRecv::endPartHeader() {
  if (!isTextType(partType_) || partIsFile_) {
    SmtpBodyGo = 0;
    return;
  }
  SmtpBodyGo = 2;
  BodyMail_Str.clear();
  partCollected_ = true;
  BodyIsHtml = partType_ == MailPartType::Html;
  BodyFormat = partFormat_;
  MailCharset = partCharset_.isEmpty() ? headerCharset_ : partCharset_;
  Encoding_Str = partEncoding_;
}

bool TMailRecv::partIsBlank() const {
  if (Encoding_Str.toUpper() != "BASE64") return isBlankText(BodyMail_Str);
  return isBlankText(QByteArray::fromBase64(BodyMail_Str));
}

}  // namespace kolvane
