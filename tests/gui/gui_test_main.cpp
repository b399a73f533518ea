// The widget tests need one QApplication for the whole run. Without a
// display they use Qt's invisible "offscreen" platform.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>

// Qt, fontconfig and the graphics stack keep some allocations for the life of
// the process; the leak checker of the sanitizer build reads this list.
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libQt6Core.so\n"
         "leak:libQt6Gui.so\n"
         "leak:libQt6Widgets.so\n"
         "leak:libfontconfig.so\n"
         "leak:libdbus-1.so\n"
         "leak:libglib-2.0.so\n";
}

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  ::testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
