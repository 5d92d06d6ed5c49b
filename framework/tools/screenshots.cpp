// Renders every dialog template, as the framework builds it, to <directory>/dialog-<id>.png.
#include <QApplication>
#include <QDir>

#include <cstdio>

#include "dialog_picture.h"
#include "dialog_template.h"

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
        bool saved = false;
        PictureNextDialog(path, saved);
        CDialog window(dialog.id);
        window.DoModal();
        if (saved) {
            std::printf("%s\n", path.c_str());
        } else {
            ++failures;
        }
    }
    return failures == 0 ? 0 : 1;
}
