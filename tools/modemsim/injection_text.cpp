#include "modemsim/injection_text.h"

#include <QStringList>

#include "modemsim/sent_sms.h"

namespace kolvane::modemsim {
namespace {

// An empty number is an SMS without a sender, as networks deliver now and then.
Injection make(const QString& number, const QString& text, Coding coding, bool concat,
               Storage storage) {
  Injection sms;
  sms.sender = number.trimmed();
  sms.coding = coding;
  sms.concat = concat;
  sms.storage = storage;
  if (concat && text.contains(u'|')) {
    for (const QString& part : text.split(u'|')) sms.parts.append(unescapeField(part));
  } else {
    sms.text = unescapeField(text);
  }
  return sms;
}

}  // namespace

std::optional<Injection> parseSmsArgument(const QString& arg, Coding coding, bool concat,
                                          Storage storage, QString* error) {
  const qsizetype colon = arg.indexOf(u':');
  if (colon < 0) {
    if (error) *error = QStringLiteral("expected NUMBER:TEXT, got ") + arg;
    return std::nullopt;
  }
  return make(arg.left(colon), arg.mid(colon + 1), coding, concat, storage);
}

std::optional<Injection> parseInjectLine(const QString& line, Storage storage, QString* error) {
  const QStringList fields = line.split(u'\t');
  if (fields.size() < 2 || fields.size() > 3) {
    if (error) *error = QStringLiteral("expected NUMBER<TAB>TEXT[<TAB>FLAGS], got ") + line;
    return std::nullopt;
  }
  Coding coding = Coding::Auto;
  bool concat = false;
  Injection extra;  // what only an inject line can ask for
  bool rawEntry = false;
  for (const QString& raw : fields.value(2).split(u',', Qt::SkipEmptyParts)) {
    const QString flag = raw.trimmed().toLower();
    bool refOk = false;
    if (flag == u"alpha") {
      extra.alphanumericSender = true;
    } else if (flag == u"raw") {
      rawEntry = true;
    } else if (flag.startsWith(u"ref=") && (extra.reference = flag.mid(4).toInt(&refOk), refOk) &&
               extra.reference >= 0 && extra.reference <= 0xFFFF) {
      concat = true;
    } else if (flag.startsWith(u"age=") && (extra.age = flag.mid(4).toInt(&refOk), refOk) &&
               extra.age >= 0) {
    } else if (flag.startsWith(u"stamp=")) {
      // The network's time stamp, local time: two SMS may well carry the same one.
      extra.time = QDateTime::fromString(raw.trimmed().mid(6), Qt::ISODate);
      if (!extra.time.isValid()) {
        if (error) *error = QStringLiteral("bad time stamp ") + raw;
        return std::nullopt;
      }
    } else if (flag == u"gsm") {
      coding = Coding::Gsm7;
    } else if (flag == u"ucs2") {
      coding = Coding::Ucs2;
    } else if (flag == u"8bit") {
      coding = Coding::Data8;
    } else if (flag == u"concat") {
      concat = true;
    } else if (flag == u"sm") {
      storage = Storage::SM;
    } else if (flag == u"me") {
      storage = Storage::ME;
    } else {
      if (error) *error = QStringLiteral("unknown flag ") + raw;
      return std::nullopt;
    }
  }
  std::optional<Injection> sms = make(fields[0], fields[1], coding, concat, storage);
  if (sms) {
    sms->alphanumericSender = extra.alphanumericSender;
    sms->reference = extra.reference;
    sms->age = extra.age;
    if (extra.time.isValid()) sms->time = extra.time;
    if (rawEntry) sms->rawEntry = sms->text.toLatin1();
  }
  return sms;
}

}  // namespace kolvane::modemsim
