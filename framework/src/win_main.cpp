// Start-up: the display check, the toolkit's application, and the application object's run.
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QApplication>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "framework_internal.h"

namespace {

bool IsSet(const char* variable) {
    const char* value = std::getenv(variable);
    return value && *value;
}

// Whether a local X server answers on display ":n" (socket file or abstract socket).
bool LocalXServerAnswers(const std::string& display) {
    const std::string number = display.substr(1, display.find('.') - 1);
    const std::string path = "/tmp/.X11-unix/X" + number;
    for (const bool abstract : {false, true}) {
        const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
        if (fd < 0) return true;  // cannot tell; let the toolkit try
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const size_t offset = abstract ? 1 : 0;
        std::memcpy(address.sun_path + offset, path.c_str(),
                    std::min(path.size(), sizeof(address.sun_path) - 1 - offset));
        const socklen_t length =
            static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + offset + path.size());
        const bool connected = connect(fd, reinterpret_cast<sockaddr*>(&address), length) == 0;
        close(fd);
        if (connected) return true;
    }
    return false;
}

// Whether the toolkit will find somewhere to show windows. Checked before it starts,
// because without a display it aborts with a message of its own.
bool DisplayAvailable() {
    if (IsSet("QT_QPA_PLATFORM") || IsSet("WAYLAND_DISPLAY")) return true;
    if (!IsSet("DISPLAY")) return false;
    const std::string display = std::getenv("DISPLAY");
    return display[0] != ':' || LocalXServerAnswers(display);
}

}  // namespace

int AfxWinMain(int argc, char* argv[]) {
    afx::InstallStringTable();
    if (!DisplayAvailable()) {
        std::fprintf(stderr,
                     "%s: no display to show the window on (DISPLAY and WAYLAND_DISPLAY name none "
                     "that answers); QT_QPA_PLATFORM=offscreen or QT_QPA_PLATFORM=vnc run it "
                     "without one.\n",
                     AfxGetAppName());
        return EXIT_FAILURE;
    }
    QApplication application(argc, argv);
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
