#pragma once

#include <gtest/gtest.h>
#include <QTest>

#include "mail/mail_recv.h"
#include "mail/quoted_printable.h"
#include "unit/store_test_gateway.h"

namespace kolvane {

// A dialogue object on a started gateway in a temporary folder, driven line by line.
class SmtpTestSession : public ::testing::Test {
 protected:
  SmtpTestSession() {
    t.g().hooks().runHookCommand = [this](const QString& cmd) { commands << cmd; };
    recv.StartInitX(QStringLiteral("pc1"));
  }

  Settings& cfg() { return t.gs().cfg; }

  // The pending reply, taken out of the slot; "-" when there is none.
  QByteArray reply() {
    if (!server.SmtpSendOn) return "-";
    server.SmtpSendOn = false;
    return server.SmtpSendStr;
  }
  QByteArray say(const QByteArray& line) {
    recv.AddRecvStr(line);
    return reply();
  }

  // Sends one mail (text lines separated by "\n", dot-stuffed like a client does) and returns
  // the reply to its end.
  QByteArray mail(const QList<QByteArray>& rcpts, const QByteArray& text) {
    say("MAIL FROM:<sender@lan>");
    for (const QByteArray& r : rcpts) say("RCPT TO:<" + r + ">");
    EXPECT_EQ(say("DATA"), "354 Kolvane");
    for (QByteArray line : text.split('\n')) {
      if (line.startsWith('.')) line.prepend('.');
      recv.AddRecvStr(line);
    }
    return say(".");
  }
  QByteArray mailTo(const QByteArray& rcpt, const QByteArray& headers, const QByteArray& body) {
    return mail({rcpt}, headers + "\n\n" + body);
  }

  // The decoded texts of the records of a store.
  QList<QByteArray> texts(const QString& store) {
    QList<QByteArray> out;
    for (const tMailRec& r : t.records(store)) out << QpDecode(r.MimeBody);
    return out;
  }

  // Runs the event loop until the mail in hand is stored or refused.
  bool waitStored() {
    return QTest::qWaitFor([this] { return !recv.Storing(); }, 10000);
  }

  StoreTestGateway t;
  SmtpServerState server;
  TMailRecv recv{t.g(), server};
  QStringList commands;
};

}  // namespace kolvane
