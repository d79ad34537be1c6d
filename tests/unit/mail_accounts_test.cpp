#include "mail/mail_accounts.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QTemporaryDir>

#include "core/command_line.h"
#include "mail/secret_mask.h"

namespace kolvane {
namespace {

TEST(MailAccounts, NameRule) {
  for (const char* good :
       {"a", "Alice", "front-desk_2", "j.novak", "abcdefghijklmnopqrstuvwxyz012345"})
    EXPECT_TRUE(ValidAccountName(QString::fromUtf8(good))) << good;
  for (const char* bad :
       {"", "a b", "bob@office", "abcdefghijklmnopqrstuvwxyz0123456", "Žofie", "x=y", "[s]"})
    EXPECT_FALSE(ValidAccountName(QString::fromUtf8(bad))) << bad;
}

TEST(MailAccounts, HashIsSaltedYescryptAndChecks) {
  const QString hash = HashPassword("s3cret PW");
  EXPECT_TRUE(hash.startsWith(QLatin1String("$y$"))) << hash.toStdString();
  EXPECT_FALSE(hash.contains(QLatin1String("s3cret")));
  EXPECT_NE(hash, HashPassword("s3cret PW"));
  EXPECT_TRUE(IsPasswordHash(hash));
  EXPECT_TRUE(PasswordMatches(hash, "s3cret PW"));
  for (const QByteArray& wrong : {QByteArray("s3cret pw"), QByteArray(""), QByteArray("s3cret PW "),
                                  QByteArray("s3cret PW\0x", 11)})
    EXPECT_FALSE(PasswordMatches(hash, wrong));
  EXPECT_TRUE(HashPassword("").isEmpty());
  EXPECT_TRUE(HashPassword(QByteArray("a\0b", 3)).isEmpty());
  // A password in clear or a broken hash never lets anybody in.
  for (const char* value : {"s3cret", "", "$y$", "$1$salt$x", "$y$j9T$abc"})
    EXPECT_FALSE(PasswordMatches(QString::fromLatin1(value), "s3cret")) << value;
  EXPECT_FALSE(IsPasswordHash(QStringLiteral("secret")));
}

TEST(MailAccounts, SectionRoundTripKeepsTheRestOfTheFile) {
  QTemporaryDir dir;
  const QString path = dir.filePath(QStringLiteral("Kolvane.ini"));
  const QString hash = HashPassword("pw");
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(("; mine\r\n[CFG]\r\nDebug=1\r\n[MailUsers]\r\nbad name=" + hash +
           "\r\nclear=secret\r\n"
           "Alice=" +
           hash + "\r\n[AliasComp]\r\nA0=pc1\r\n")
              .toUtf8());
  f.close();
  IniFile ini(path);
  QStringList logged;
  const auto log = [&](const QString& line) { logged << line; };
  std::vector<MailUser> users = ReadMailUsers(ini.read(), log);
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0].name, QStringLiteral("Alice"));
  EXPECT_EQ(logged.size(), 2);
  EXPECT_FALSE(logged.join(QLatin1Char(' ')).contains(QLatin1String("secret")));

  Settings cfg;
  cfg.MailUsers = users;
  EXPECT_EQ(FindAccount(cfg, QStringLiteral("ALICE")), &cfg.MailUsers[0]);
  EXPECT_EQ(FindAccount(cfg, QStringLiteral("bob")), nullptr);

  const QString other = HashPassword("pw2");
  ASSERT_TRUE(
      StoreAccountChanges(ini, {{QStringLiteral("alice"), {}}, {QStringLiteral("bob"), other}}));
  users = ReadMailUsers(ini.read(), log);
  ASSERT_EQ(users.size(), 1u);
  EXPECT_EQ(users[0].name, QStringLiteral("bob"));
  EXPECT_TRUE(PasswordMatches(users[0].hash, "pw2"));
  const IniText after = ini.read();
  EXPECT_EQ(after.value(QStringLiteral("CFG"), QStringLiteral("Debug"), {}), QStringLiteral("1"));
  EXPECT_EQ(after.value(QStringLiteral("AliasComp"), QStringLiteral("A0"), {}),
            QStringLiteral("pc1"));
  EXPECT_TRUE(after.toString().startsWith(QLatin1String("; mine")));
}

TEST(MailAccounts, SecretsAreMaskedInTraces) {
  const struct {
    const char* line;
    ClientLine expected;
    const char* traced;
  } cases[] = {
      {"PASS s3cret", ClientLine::Command, "PASS ****"},
      {"pass s3cret", ClientLine::Command, "pass ****"},
      {"PASSs3cret", ClientLine::Command, "PASS ****"},
      {"PASS", ClientLine::Command, "PASS"},
      {"AUTH PLAIN AGJvYgBzM2NyZXQ=", ClientLine::Command, "AUTH PLAIN ****"},
      {"auth login Ym9i", ClientLine::Command, "auth login ****"},
      {"AUTH LOGIN", ClientLine::Command, "AUTH LOGIN"},
      {"AUTH PLAIN ", ClientLine::Command, "AUTH PLAIN "},
      {"czNjcmV0", ClientLine::Secret, "****"},
      {"USER bob", ClientLine::Command, "USER bob"},
      {"MAIL FROM:<a@b>", ClientLine::Command, "MAIL FROM:<a@b>"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(MaskSecrets(c.line, c.expected), QByteArray(c.traced)) << c.line;
}

TEST(MailAccounts, PasswordToolsOnTheCommandLine) {
  const auto parse = [](QStringList args) {
    args.prepend(QStringLiteral("Kolvane"));
    return parseCommandLine(args);
  };
  CommandLine cl = parse({QStringLiteral("--set-password"), QStringLiteral("bob"),
                          QStringLiteral("--dir"), QStringLiteral("/x")});
  EXPECT_EQ(cl.action, CommandLine::Action::SetPassword);
  EXPECT_EQ(cl.account, QStringLiteral("bob"));
  EXPECT_EQ(cl.dir, QStringLiteral("/x"));
  EXPECT_EQ(parse({QStringLiteral("--delete-user"), QStringLiteral("bob")}).action,
            CommandLine::Action::DeleteUser);
  for (const QStringList& wrong :
       {QStringList{QStringLiteral("--set-password")},
        {QStringLiteral("--set-password"), QStringLiteral("a b")},
        {QStringLiteral("--delete-user"), QStringLiteral("--status")},
        {QStringLiteral("--status"), QStringLiteral("--set-password"), QStringLiteral("bob")}})
    EXPECT_EQ(parse(wrong).action, CommandLine::Action::Wrong)
        << wrong.join(QLatin1Char(' ')).toStdString();
}

}  // namespace
}  // namespace kolvane
