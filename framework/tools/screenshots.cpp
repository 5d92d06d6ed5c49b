// Renders every dialog template, as the framework builds it, to <directory>/dialog-<id>.png.
#include <QApplication>
#include <QDir>
#include <QTimer>
#include <QWidget>

#include <cstdio>

#include "afx_testing.h"
#include "dialog_picture.h"
#include "dialog_template.h"

namespace {

// Pictures the dialog once its modal loop shows it, then closes it. Polls: the window is
// shown by DoModal after OnInitDialog, and only the event loop tells when that has happened.
void PictureWhenShown(const std::string& path, int& failures) {
    QTimer::singleShot(5, [&path, &failures] {
        QWidget* window = QApplication::activeModalWidget();
        const HWND handle = afx::testing::HandleOf(window);
        if (!window || !window->isVisible() || !afx::testing::DialogOf(handle)) {
            PictureWhenShown(path, failures);
            return;
        }
        if (SaveDialogPicture(handle, path)) {
            std::printf("%s\n", path.c_str());
        } else {
            ++failures;
        }
        afx::testing::DialogOf(handle)->EndDialog(IDCANCEL);
    });
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <directory>\n", argv[0]);
        return 2;
    }
    QApplication application(argc, argv);
    const QString directory = QString::fromLocal8Bit(argv[1]);
    QDir().mkpath(directory);
    int failures = 0;
    for (const res::DialogTemplate& dialog : res::DialogTemplates()) {
        const std::string path =
            QDir(directory).filePath(QStringLiteral("dialog-%1.png").arg(dialog.id)).toStdString();
        PictureWhenShown(path, failures);
        CDialog window(dialog.id);
        window.DoModal();
    }
    return failures == 0 ? 0 : 1;
}
