#include <gtest/gtest.h>
#include <QApplication>

// Window tests need a widget application; the platform is offscreen under ctest.
int main(int argc, char** argv) {
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
