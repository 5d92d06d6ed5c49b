// Start-up: the toolkit's application, and the application object's run.
#include <unistd.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework_internal.h"

namespace {

// While the toolkit starts, its messages are held back: when it finds no display it
// reports a fatal error and would abort with a core dump. The program says so in one line
// of its own instead and exits; when start-up succeeds, the held messages go on as usual.
class StartUpMessages {
public:
    static void Begin() { s_previous = qInstallMessageHandler(&StartUpMessages::Handle); }
    // Start-up succeeded: the previous handler again, and the held messages to it.
    static void End() {
        qInstallMessageHandler(s_previous);
        for (const Held& held : s_held) {
            const QMessageLogContext context(nullptr, 0, nullptr, held.category.c_str());
            if (s_previous) s_previous(held.type, context, held.text);
        }
        s_held.clear();
    }

private:
    struct Held {
        QtMsgType type;
        std::string category;
        QString text;
    };

    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& text) {
        if (type == QtFatalMsg) {
            std::fprintf(stderr,
                         "%s: no display to show the window on (DISPLAY, WAYLAND_DISPLAY and "
                         "QT_QPA_PLATFORM name none that works); QT_QPA_PLATFORM=offscreen or "
                         "QT_QPA_PLATFORM=vnc run it without one.\n",
                         AfxGetAppName());
            _exit(EXIT_FAILURE);
        }
        s_held.push_back({type, context.category ? context.category : "", text});
    }

    static inline QtMessageHandler s_previous = nullptr;
    static inline std::vector<Held> s_held;
};

}  // namespace

int AfxWinMain(int argc, char* argv[]) {
    afx::InstallStringTable();
    StartUpMessages::Begin();
    QApplication application(argc, argv);
    StartUpMessages::End();
    QApplication::setApplicationName(afx::ToQString(AfxGetAppName()));

    CWinApp* app = AfxGetApp();
    if (!app) {
        std::fprintf(stderr, "%s: the program has no application object.\n", AfxGetAppName());
        return EXIT_FAILURE;
    }
    // A dialog-based program returns FALSE once its dialog has closed: no message loop.
    if (app->InitInstance() && app->m_pMainWnd) QApplication::exec();
    return app->ExitInstance();
}
