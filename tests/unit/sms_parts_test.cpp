#include <gtest/gtest.h>

#include "mail/sms_parts.h"
#include "unit/qt_print.h"

using namespace kolvane;

TEST(SmsParts, ALongTextIsCarriedWholeOrRefused) {
  const QString czech = QStringLiteral("Příliš žluťoučký kůň úpěl ďábelské ódy. ");  // 40
  const QString czech110 = (czech + czech + czech).left(110);
  const QString emoji = QString(66, QLatin1Char('x')) + QStringLiteral("\U0001F600") + "yzw";
  // "{" is two GSM bytes, and the 153rd and 154th here.
  const QString braces = QString(152, QLatin1Char('a')) + "{" + QString(8, QLatin1Char('b'));
  struct Case {
    const char* what;
    QString text;
    SmsCoding coding;
    bool concatenate, cut, longOk;
    int maxParts;
    QList<int> lengths;  // of the parts; empty when refused
    bool concatenated;
    int refusedOver;
  };
  const Case cases[] = {
      {"fits one", czech110.left(70), SmsCoding::Ucs2, false, false, true, 5, {70}, false, 0},
      {"refused", czech110, SmsCoding::Ucs2, false, false, true, 5, {}, false, 70},
      {"concatenated", czech110, SmsCoding::Ucs2, true, false, true, 5, {67, 43}, true, 0},
      {"concatenated wins", czech110, SmsCoding::Ucs2, true, true, true, 5, {67, 43}, true, 0},
      {"several", czech110, SmsCoding::Ucs2, false, true, true, 5, {70, 40}, false, 0},
      {"too many parts cut", czech110, SmsCoding::Ucs2, true, false, true, 1, {67}, false, 0},
      {"too many parts refused", czech110, SmsCoding::Ucs2, true, false, false, 1, {}, false, 67},
      {"pair kept whole", emoji, SmsCoding::Ucs2, true, false, true, 5, {66, 5}, true, 0},
      {"gsm fits",
       QString(160, QLatin1Char('a')),
       SmsCoding::Gsm,
       false,
       false,
       true,
       5,
       {160},
       false,
       0},
      {"gsm escape kept whole", braces, SmsCoding::Gsm, true, false, true, 5, {152, 9}, true, 0},
      {"gsm refused", braces, SmsCoding::Gsm, false, false, true, 5, {}, false, 160},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Settings cfg;
    cfg.ConcatenateSMS = c.concatenate;
    cfg.CutEMail = c.cut;
    cfg.CutELong = c.longOk;
    cfg.CutEMax = c.maxParts;
    const SmsSplit split = SplitSmsText(c.text, c.coding, cfg);
    QList<int> lengths;
    for (const QString& p : split.parts) lengths << static_cast<int>(p.size());
    EXPECT_EQ(lengths, c.lengths);
    EXPECT_EQ(split.concatenated, c.concatenated);
    EXPECT_EQ(split.refusedOver, c.refusedOver);
    if (c.refusedOver == 0 && !split.shortened) {
      EXPECT_EQ(split.parts.join(QString()), c.text);
    }
  }
}

TEST(SmsParts, LocalTextsGoAsUcs2OnlyInTextModeAndWhenTheAlphabetCannotKeepThem) {
  Settings cfg;
  EXPECT_EQ(LocalSmsCoding(QStringLiteral("Žluťoučký"), cfg), SmsCoding::Ucs2);
  EXPECT_EQ(LocalSmsCoding(QStringLiteral("plain {text} @ 5€"), cfg), SmsCoding::Gsm);
  cfg.PDUText = false;  // the PDU encoder writes the GSM alphabet only
  EXPECT_EQ(LocalSmsCoding(QStringLiteral("Žluťoučký"), cfg), SmsCoding::Gsm);
}
