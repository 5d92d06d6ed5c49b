// main() of tests that link the test driver: GoogleTest on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#include "framework_internal.h"
#include "testing/session_runner.h"

int main(int argc, char* argv[]) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);  // unless the caller chose a platform
    QApplication application(argc, argv);
    afx::InstallStringTable();
    afxtest::StartWatchingWindows();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
