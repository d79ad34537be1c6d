// The settings file as a user may have left it: any bytes, any encoding.
#include <cstddef>
#include <cstdint>

#include "platform/ini_text.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
  kolvane::IniText ini = kolvane::IniText::parse(QString::fromUtf8(bytes));
  for (const QString& section : ini.sections()) {
    for (const auto& entry : ini.entries(section)) ini.setValue(section, entry.first, entry.second);
  }
  ini.setValue(QStringLiteral("CFG"), QStringLiteral("SmtpRunPos"), QStringLiteral("0"));
  const kolvane::IniText again = kolvane::IniText::parse(ini.toString());
  (void)again.value(QStringLiteral("CFG"), QStringLiteral("SmtpRunPos"));
  return 0;
}
