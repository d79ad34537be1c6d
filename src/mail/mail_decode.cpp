#include "context/gateway_context.h"
#include "gsm/charset_to_gsm.h"
#include "gsm/charsets.h"
#include "gsm/utf8_conversion.h"
#include "mail/flowed_text.h"
#include "mail/html_to_text.h"
#include "mail/mail_recv.h"
#include "mail/mime_text.h"
#include "mail/quoted_printable.h"
#include "mail/reply_answer.h"

namespace kolvane {

namespace {

bool isBase64Char(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
         c == '/';
}

// Malformed input never fails: stray characters are skipped and a short last group is filled.
QByteArray decodeBase64(const QByteArray& text) {
  QByteArray clean;
  clean.reserve(text.size() + 4);
  std::copy_if(text.begin(), text.end(), std::back_inserter(clean), isBase64Char);
  clean += "AAAA";
  clean.truncate(clean.size() / 4 * 4);
  QByteArray bytes = QByteArray::fromBase64(clean);
  while (!bytes.isEmpty() && bytes.back() == '\0') bytes.chop(1);
  return bytes;
}

QByteArray trimmedLeading(const QByteArray& s) {
  qsizetype n = 0;
  while (n < s.size() && (s[n] == '\r' || s[n] == '\n' || s[n] == ' ')) ++n;
  return s.mid(n);
}

// The ASCII runs of a text in the GSM alphabet ("$", "@", "_" and the brackets have other codes
// in it), the runs of 8-bit bytes as `upper` makes them.
template <typename Upper>
QByteArray recodeAscii(const QByteArray& bytes, const Upper& upper) {
  QByteArray out;
  out.reserve(bytes.size());
  qsizetype i = 0;
  while (i < bytes.size()) {
    qsizetype j = i;
    const bool ascii = static_cast<unsigned char>(bytes[i]) < 128;
    while (j < bytes.size() && (static_cast<unsigned char>(bytes[j]) < 128) == ascii) ++j;
    const QByteArrayView run(bytes.constData() + i, j - i);
    out += ascii ? Utf8ToGsmAlphabet(run) : upper(run);
    i = j;
  }
  return out;
}

// A single-byte text in the GSM alphabet: the upper half through the charset's replacement in
// force, the ASCII half recoded like any text ("$", "@", "_" and the brackets have other codes
// in the GSM alphabet).
QByteArray eightBitToGsm(GatewayContext& g, const QByteArray& charset, const QByteArray& bytes) {
  GatewayState& gs = g.state();
  const CharsetChoice choice{gs.cfg.EmlSmsAuto, gs.cfg.EmlSmsChConv.toLatin1()};
  EightBitCharsetToGsmAlphabet(charset, {}, choice, gs.charRepl,
                               [&g](const QString& line) { g.Log(true, line); });
  return recodeAscii(bytes,
                     [&gs](QByteArrayView run) { return ApplyCharReplacement(run, gs.charRepl); });
}

// Only the ASCII of the text in the GSM alphabet; its 8-bit bytes stay as they are.
QByteArray asciiToGsm(const QByteArray& bytes) {
  return recodeAscii(bytes, [](QByteArrayView run) { return run.toByteArray(); });
}

}  // namespace

bool TMailRecv::isReply() const {
  return IsReply(DecodeEncodedWords(Subj_Str, g_.state().cfg.EmlSmsChConv.toLatin1()),
                 replyHeader_);
}

void TMailRecv::MailDecode() {
  const Settings& cfg = g_.state().cfg;
  SmtpDataOn = false;
  while (!BodyMail_Str.isEmpty() &&
         (BodyMail_Str.back() == '\r' || BodyMail_Str.back() == '\n' || BodyMail_Str.back() == ' '))
    BodyMail_Str.chop(1);
  OKChar = true;

  const QByteArray encoding = Encoding_Str.toUpper();
  if (encoding == "BASE64") {
    BodyASCI_Str = decodeBase64(BodyMail_Str);
  } else if (encoding == "QUOTED-PRINTABLE") {
    BodyASCI_Str = QpDecode(BodyMail_Str);
  } else {
    // 7bit, 8bit or none: an "=" in the text is just an equals sign.
    BodyASCI_Str = BodyMail_Str;
  }

  // Each mail in its own charset: declared (under any of its names), else as its bytes say.
  CharsetText text = ResolveCharset(MailCharset, BodyASCI_Str, cfg.EmlSmsChConv.toLatin1());
  QByteArray charset = std::move(text.charset);
  BodyASCI_Str = std::move(text.bytes);
  const bool known = IsKnownCharset(charset);
  const bool cutQuotes = cfg.MailCutQuotes && isReply();
  if (BodyIsHtml) {
    // Entities may name any character: the text goes on as UTF-8.
    const QString html =
        known ? DecodeFromNamedCharset(charset, BodyASCI_Str) : QString::fromLatin1(BodyASCI_Str);
    BodyASCI_Str = HtmlToText(html, cutQuotes ? HtmlQuotes::Marked : HtmlQuotes::Text).toUtf8();
    charset = "utf-8";
  } else if (BodyFormat.flowed) {
    BodyASCI_Str = JoinFlowedLines(BodyASCI_Str, BodyFormat.delSp);
  }
  if (cutQuotes) {
    BodyASCI_Str = ReplyAnswer(BodyASCI_Str, IsKnownCharset(charset)
                                                 ? DecodeFromNamedCharset(charset, BodyASCI_Str)
                                                 : QString::fromLatin1(BodyASCI_Str));
  }

  if (charset == "utf-8") {
    BodySMS_StrA = Utf8ToGsmAlphabet(BodyASCI_Str);
  } else if (IsKnownCharset(charset)) {
    BodySMS_StrA = eightBitToGsm(g_, charset, BodyASCI_Str);
  } else {
    // A charset no converter knows: its 8-bit bytes cannot be converted.
    BodySMS_StrA = asciiToGsm(BodyASCI_Str);
  }
  for (char& c : BodySMS_StrA) {
    if (static_cast<unsigned char>(c) >= 128) {
      c = '-';
      OKChar = false;
    }
  }

  BodySMS_Utf8Str.clear();
  BodySMS_StrB.clear();
  BodySMS_Utf8WinOk = IsKnownCharset(charset);
  if (BodySMS_Utf8WinOk) {
    BodySMS_Utf8Str = trimmedLeading(DecodeFromNamedCharset(charset, BodyASCI_Str).toUtf8());
    BodySMS_StrB = Utf8ToGsmAlphabet(Utf8TranslitToAscii(BodySMS_Utf8Str));
    BodySMS_Str = BodySMS_StrB;
  } else {
    BodySMS_Str = BodySMS_StrA;
  }
  BodySMS_Str = trimmedLeading(BodySMS_Str);
}

}  // namespace kolvane
