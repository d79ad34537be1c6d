#pragma once

#include <gtest/gtest.h>
#include <QApplication>

namespace kolvane {

// Window tests need a QApplication; the offscreen platform keeps them off any display.
inline int runUiTests(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}

}  // namespace kolvane
