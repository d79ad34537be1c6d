#include "core/command_line.h"

#include <gtest/gtest.h>

#include "unit/qt_print.h"

namespace kolvane {
namespace {

TEST(CommandLine, OptionsBeginWithTwoDashesAndEverythingElseKeepsItsMeaning) {
  using A = CommandLine::Action;
  const struct {
    QStringList args;
    A action;
    QString dir;
    QStringList rest;
    QString wrong;
  } cases[] = {
      {{}, A::Run, {}, {}, {}},
      {{"--help"}, A::Help, {}, {}, {}},
      {{"--version", "--version"}, A::Version, {}, {}, {}},
      {{"--status", "--dir", "/srv/k"}, A::Status, "/srv/k", {}, {}},
      {{"--dir", "/srv/k", "--queue"}, A::Queue, "/srv/k", {}, {}},
      {{"--headless", "--dir", "D", "send", "this"}, A::Run, "D", {"send", "this"}, {}},
      {{"*I"}, A::Run, {}, {"*I"}, {}},
      {{"Office.DEF"}, A::Run, {}, {"Office.DEF"}, {}},
      {{"-h"}, A::Run, {}, {"-h"}, {}},
      {{"--", "--help", "x"}, A::Run, {}, {"--help", "x"}, {}},
      {{"--demo"}, A::Run, "kolvane-demo", {}, {}},
      {{"--demo", "here", "--device", "gate"}, A::Run, "here", {}, {}},
      {{"--bogus"}, A::Wrong, {}, {}, "unknown option --bogus"},
      {{"text", "--Help"}, A::Wrong, {}, {"text"}, "unknown option --Help"},
      {{"--dir"}, A::Wrong, {}, {}, "--dir needs a folder"},
      {{"--dir", "--status"}, A::Wrong, {}, {}, "--dir needs a folder"},
      {{"--device", "fax"}, A::Wrong, {}, {}, "--device takes modem or gate"},
      {{"--status", "--queue"}, A::Wrong, {}, {}, "--queue with another"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.args.join(' ').toStdString());
    const CommandLine cl = parseCommandLine(QStringList{"Kolvane"} + c.args);
    EXPECT_EQ(cl.action, c.action);
    EXPECT_EQ(cl.dir, c.dir);
    EXPECT_EQ(cl.rest, c.rest);
    EXPECT_EQ(cl.wrong, c.wrong);
  }
  EXPECT_TRUE(parseCommandLine({"Kolvane", "--headless"}).headless);
  EXPECT_EQ(parseCommandLine({"Kolvane", "--demo", "--device", "gate"}).demoDevice,
            DemoDevice::Gate);
  EXPECT_TRUE(parseCommandLine({"Kolvane", "--dir", "x"}).dirGiven);
}

}  // namespace
}  // namespace kolvane
