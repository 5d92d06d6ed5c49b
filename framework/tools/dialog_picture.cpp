#include "dialog_picture.h"

#include <QApplication>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QWidget>

#include "afx_testing.h"

bool SaveDialogPicture(HWND dialog, const std::string& path) {
    QWidget* window = afx::testing::WidgetOf(dialog);
    const QPixmap client = window->grab();
    const int captionHeight = window->fontMetrics().height() + 8;
    QImage image(client.width() + 2, client.height() + captionHeight + 1, QImage::Format_RGB32);
    image.fill(QColor(128, 128, 128));
    QPainter painter(&image);
    const QRect caption(1, 1, client.width(), captionHeight - 1);
    painter.fillRect(caption, QColor(0, 0, 128));
    QFont font = window->font();
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(Qt::white);
    painter.drawText(caption.adjusted(6, 0, -6, 0), Qt::AlignLeft | Qt::AlignVCenter,
                     window->windowTitle());
    painter.drawPixmap(1, captionHeight, client);
    painter.end();
    return image.save(QString::fromStdString(path), "PNG");
}

// Polls: the window is shown by DoModal after OnInitDialog, and only the event loop tells
// when that has happened.
void PictureNextDialog(const std::string& path, bool& saved) {
    QTimer::singleShot(5, [&path, &saved] {
        QWidget* window = QApplication::activeModalWidget();
        const HWND handle = afx::testing::HandleOf(window);
        if (!window || !window->isVisible() || !afx::testing::DialogOf(handle)) {
            PictureNextDialog(path, saved);
            return;
        }
        saved = SaveDialogPicture(handle, path);
        afx::testing::DialogOf(handle)->EndDialog(IDCANCEL);
    });
}
