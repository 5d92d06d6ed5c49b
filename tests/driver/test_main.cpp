// main() of tests that link the test driver: GoogleTest on the offscreen platform.
#include <gtest/gtest.h>

#include <QApplication>

#include <cstdlib>

#include "afx_testing.h"
#include "session_runner.h"

namespace {

// The offscreen platform tells about every window feature it lacks; tests need none.
void QuietOffscreenNotes(QtMsgType type, const QMessageLogContext& context,
                         const QString& message) {
    if (message.startsWith(QLatin1String("This plugin does not support"))) return;
    qt_message_output(type, context, message);
}

}  // namespace

int main(int argc, char* argv[]) {
    qInstallMessageHandler(QuietOffscreenNotes);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);  // unless the caller chose a platform
    QApplication application(argc, argv);
    afx::testing::InstallStringTable();
    afxtest::StartWatchingWindows();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
