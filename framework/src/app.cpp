// The application object, message boxes, and the resources and measures every window uses.
#include <QApplication>
#include <QBuffer>
#include <QFontMetrics>
#include <QImageReader>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>

#include <filesystem>
#include <map>
#include <memory>

#include "framework_internal.h"

namespace afx {

namespace {

CWinApp* g_app = nullptr;

LPCTSTR LookUpString(UINT id) {
    return res::FindString(id);
}

// Rounds a * b / c to the nearest whole number, halves away from zero, as MulDiv does.
int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long rounded = product >= 0 ? product + c / 2 : product - c / 2;
    return static_cast<int>(rounded / c);
}

struct IconResource {
    QIcon icon;
};

std::string ExecutableName() {
    std::error_code error;
    const std::filesystem::path path = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error || path.empty()) return "Marrowick";
    return path.stem().string();
}

}  // namespace

void InstallStringTable() {
    AfxSetStringLookup(&LookUpString);
}

QString LoadResourceString(UINT id) {
    return ToQString(res::FindString(id));
}

HICON IconHandle(UINT id) {
    static std::map<UINT, std::unique_ptr<IconResource>> icons;
    if (auto found = icons.find(id); found != icons.end()) {
        return reinterpret_cast<HICON>(found->second.get());
    }
    const std::span<const unsigned char> bytes = res::FindIcon(id);
    if (bytes.empty()) return nullptr;
    auto resource = std::make_unique<IconResource>();
    QByteArray data(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<qsizetype>(bytes.size()));
    QBuffer buffer(&data);
    QImageReader reader(&buffer, "ico");
    // Every image of the group, each at its own size.
    do {
        const QImage image = reader.read();
        if (!image.isNull()) resource->icon.addPixmap(QPixmap::fromImage(image));
    } while (reader.jumpToNextImage());
    HICON handle = reinterpret_cast<HICON>(resource.get());
    icons.emplace(id, std::move(resource));
    return handle;
}

QIcon IconOf(HICON icon) {
    return icon ? reinterpret_cast<const IconResource*>(icon)->icon : QIcon();
}

BaseUnits BaseUnitsOf(const QFont& font) {
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

QRect DialogUnitsToPixels(const QRect& dialogUnits, BaseUnits base) {
    return QRect(MulDiv(dialogUnits.x(), base.x, 4), MulDiv(dialogUnits.y(), base.y, 8),
                 MulDiv(dialogUnits.width(), base.x, 4), MulDiv(dialogUnits.height(), base.y, 8));
}

QFont DialogFont(const res::DialogTemplate& dialog) {
    // The Windows dialog faces do not exist here. They are Helvetica-like sans-serifs, so
    // the platform's stand-in for Arial comes first (fontconfig gives a metric-compatible
    // face where one is installed), then its plain sans-serif. Faces that are not Windows'
    // own are asked for by name.
    const QString face = ToQString(dialog.fontName);
    QFont font;
    font.setStyleHint(QFont::SansSerif);
    if (face.startsWith(QLatin1String("MS ")) || face == QLatin1String("Microsoft Sans Serif")) {
        font.setFamilies({QStringLiteral("Arial"), QStringLiteral("sans-serif")});
    } else {
        font.setFamilies({face, QStringLiteral("sans-serif")});
    }
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int dpi = screen ? qRound(screen->logicalDotsPerInchY()) : 96;
    font.setPixelSize(MulDiv(dialog.pointSize, dpi, 72));
    return font;
}

CWinApp* TheApp() {
    return g_app;
}
void SetTheApp(CWinApp* app) {
    g_app = app;
}

}  // namespace afx

// ---------------------------------------------------------------------------------------
// CWinApp

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

CWinApp::CWinApp(LPCTSTR lpszAppName) {
    ASSERT(afx::TheApp() == nullptr);  // there is only one application object
    afx::SetTheApp(this);
    afx::InstallStringTable();
    if (lpszAppName) {
        m_appName = lpszAppName;
    } else {
        m_appName = afx::ExecutableName();
    }
    m_pszAppName = m_appName.c_str();
}

CWinApp::~CWinApp() {
    if (afx::TheApp() == this) afx::SetTheApp(nullptr);
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::ExitInstance() {
    return 0;
}

HICON CWinApp::LoadIcon(UINT nIDResource) const {
    return afx::IconHandle(nIDResource);
}

BOOL CWinApp::Enable3dControls() {
    // Qt draws its controls three-dimensionally anyway.
    return TRUE;
}

void CWinApp::OnHelp() {
    // The program has no help file.
}

CWinApp* AfxGetApp() {
    return afx::TheApp();
}

CWnd* AfxGetMainWnd() {
    CWinApp* app = AfxGetApp();
    return app ? app->m_pMainWnd : nullptr;
}

LPCTSTR AfxGetAppName() {
    if (CWinApp* app = AfxGetApp(); app && app->m_pszAppName) return app->m_pszAppName;
    static const std::string executableName = afx::ExecutableName();
    return executableName.c_str();
}

// ---------------------------------------------------------------------------------------
// Message boxes

int AfxMessageBox(LPCTSTR lpszText, UINT nType, UINT) {
    QWidget* owner = QApplication::activeModalWidget();
    if (!owner) owner = QApplication::activeWindow();
    QMessageBox box(owner);
    box.setWindowTitle(afx::ToQString(AfxGetAppName()));
    box.setTextFormat(Qt::PlainText);
    box.setText(afx::ToQString(lpszText));
    box.setIcon(QMessageBox::NoIcon);
    QPushButton* ok = box.addButton(afx::LoadResourceString(AFX_IDS_OK), QMessageBox::AcceptRole);
    QPushButton* cancel = nullptr;
    if ((nType & 0x0F) == MB_OKCANCEL) {
        cancel = box.addButton(afx::LoadResourceString(AFX_IDS_CANCEL), QMessageBox::RejectRole);
    }
    box.setDefaultButton(ok);
    // Escape and the close box answer Cancel, or OK when that is the only button.
    box.setEscapeButton(cancel ? cancel : ok);
    box.exec();
    return cancel && box.clickedButton() == cancel ? IDCANCEL : IDOK;
}

int AfxMessageBox(UINT nIDPrompt, UINT nType, UINT nIDHelp) {
    CString text;
    text.LoadString(nIDPrompt);
    return AfxMessageBox(text, nType, nIDHelp);
}
