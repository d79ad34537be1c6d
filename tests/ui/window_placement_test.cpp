#include <gtest/gtest.h>

#include "ui/window_placement.h"
#include "unit/qt_print.h"

using namespace kolvane;

TEST(WindowPlacement, CentredByDefaultAndKeptWholeOnTheScreenItLiesOn) {
  const QRect primary(0, 0, 1920, 1040);
  const QRect second(1920, 0, 1280, 1024);
  const auto stored = [](int left, int top, int width, int height) {
    return WindowPlacement{top, left, height, width, true};
  };
  const struct {
    const char* what;
    WindowPlacement stored;
    QList<QRect> screens;
    QRect expected;
  } cases[] = {
      {"none stored: centred", {}, {primary}, {760, 370, 400, 300}},
      {"on the screen", stored(100, 50, 500, 400), {primary}, {100, 50, 500, 400}},
      {"past the right edge", stored(3000, 50, 500, 400), {primary}, {1420, 50, 500, 400}},
      {"half off the left", stored(-300, 50, 500, 400), {primary}, {0, 50, 500, 400}},
      {"above the top", stored(100, -50, 500, 400), {primary}, {100, 0, 500, 400}},
      {"below the bottom", stored(100, 900, 500, 400), {primary}, {100, 640, 500, 400}},
      {"on the second screen",
       stored(2000, 100, 500, 400),
       {primary, second},
       {2000, 100, 500, 400}},
      {"second screen unplugged", stored(2000, 100, 500, 400), {primary}, {1420, 100, 500, 400}},
      {"larger than the screen", stored(10, 10, 2500, 1500), {primary}, {0, 0, 1920, 1040}},
      {"no size stored keeps the current", stored(10, 10, 0, 0), {primary}, {10, 10, 400, 300}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ui::placeWindow(c.stored, {400, 300}, c.screens), c.expected) << c.what;
  }
}
