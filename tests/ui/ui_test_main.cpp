#include <gtest/gtest.h>
#include <QApplication>

// Window tests need a widget application; they draw offscreen unless told otherwise, also when
// the build lists their tests on a machine without a display.
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
