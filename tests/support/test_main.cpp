#include <QCoreApplication>
#include <gtest/gtest.h>

// Gateway code uses Qt objects (timers, sockets, files); one application object per test binary.
int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
