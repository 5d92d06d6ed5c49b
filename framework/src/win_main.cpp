// Start-up: the toolkit's application, and the application object's run.
#include <fcntl.h>
#include <sys/mman.h>
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
// of its own instead and exits; when start-up succeeded, the held messages go on as usual.
// Libraries below the toolkit (the Wayland client library, for one) write to the error
// stream directly, so that stream is held back too, in an anonymous memory file.
class StartUpMessages {
public:
    static void Begin() {
        s_previous = qInstallMessageHandler(&StartUpMessages::Handle);
        HoldErrorStream();
    }
    // Start-up succeeded: the previous handler again, and the held messages to it.
    static void End() {
        ReleaseErrorStream(true);
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
            ReleaseErrorStream(false);
            std::string line = afx::LoadResourceString(AFX_IDS_NO_DISPLAY).toStdString();
            if (const std::size_t at = line.find("%1"); at != std::string::npos) {
                line.replace(at, 2, AfxGetAppName());
            }
            std::fprintf(stderr, "%s\n", line.c_str());
            _exit(EXIT_FAILURE);
        }
        s_held.push_back({type, context.category ? context.category : "", text});
    }

    static void HoldErrorStream() {
        s_realErrors = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
        s_heldErrors = memfd_create("start-up messages", MFD_CLOEXEC);
        if (s_realErrors < 0 || s_heldErrors < 0) {
            // Nothing held: the messages go straight out, as without this.
            if (s_realErrors >= 0) close(s_realErrors);
            if (s_heldErrors >= 0) close(s_heldErrors);
            s_realErrors = s_heldErrors = -1;
            return;
        }
        std::fflush(stderr);
        dup2(s_heldErrors, STDERR_FILENO);
    }

    // The real error stream back; what was written meanwhile goes on to it when passOn.
    static void ReleaseErrorStream(bool passOn) {
        if (s_realErrors < 0) return;
        std::fflush(stderr);
        dup2(s_realErrors, STDERR_FILENO);
        close(s_realErrors);
        if (passOn && lseek(s_heldErrors, 0, SEEK_SET) == 0) {
            char buffer[4096];
            ssize_t count;
            while ((count = read(s_heldErrors, buffer, sizeof buffer)) > 0) {
                for (ssize_t done = 0; done < count;) {
                    const ssize_t written = write(STDERR_FILENO, buffer + done, count - done);
                    if (written <= 0) break;
                    done += written;
                }
            }
        }
        close(s_heldErrors);
        s_realErrors = s_heldErrors = -1;
    }

    static inline QtMessageHandler s_previous = nullptr;
    static inline std::vector<Held> s_held;
    static inline int s_realErrors = -1;
    static inline int s_heldErrors = -1;
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
