// CWnd, CMenu and painting: window operations on the widgets behind the handles.
#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>

#include <unordered_map>

#include "controls.h"
#include "dialog_window.h"
#include "framework_internal.h"

namespace afx {

namespace {

constexpr char kControlIdProperty[] = "afxControlId";

std::unordered_map<const QWidget*, CWnd*>& PermanentObjects() {
    static std::unordered_map<const QWidget*, CWnd*> objects;
    return objects;
}

QWidget* g_widgetBeingPainted = nullptr;

}  // namespace

int ControlId(const QWidget* widget) {
    return widget ? widget->property(kControlIdProperty).toInt() : 0;
}

void SetControlId(QWidget* widget, int id) {
    widget->setProperty(kControlIdProperty, id);
}

void Attach(CWnd& wnd, QWidget* widget) {
    wnd.m_hWnd = ToHandle(widget);
    PermanentObjects()[widget] = &wnd;
}

void Detach(CWnd& wnd) {
    if (!wnd.m_hWnd) return;
    auto found = PermanentObjects().find(ToWidget(wnd.m_hWnd));
    if (found != PermanentObjects().end() && found->second == &wnd) PermanentObjects().erase(found);
    wnd.m_hWnd = nullptr;
}

CWnd* PermanentObject(const QWidget* widget) {
    auto found = PermanentObjects().find(widget);
    return found == PermanentObjects().end() ? nullptr : found->second;
}

CWnd* ObjectFor(QWidget* widget) {
    if (!widget) return nullptr;
    if (CWnd* permanent = PermanentObject(widget)) return permanent;
    DialogWindow* dialog = DialogWindow::Of(widget);
    return dialog && dialog != widget ? dialog->TemporaryObject(widget) : nullptr;
}

QString WidgetText(const QWidget* widget) {
    if (!widget) return QString();
    if (widget->isWindow()) return widget->windowTitle();
    if (auto* button = qobject_cast<const QAbstractButton*>(widget)) return button->text();
    if (auto* label = qobject_cast<const QLabel*>(widget)) return label->text();
    if (auto* edit = qobject_cast<const QLineEdit*>(widget)) return edit->text();
    if (auto* group = dynamic_cast<const GroupBox*>(widget)) return group->Title();
    if (auto* combo = qobject_cast<const QComboBox*>(widget)) return combo->currentText();
    return QString();
}

void SetWidgetText(QWidget* widget, const QString& text) {
    if (!widget) return;
    if (widget->isWindow()) {
        widget->setWindowTitle(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
        button->setText(text);
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
        label->setText(text);
    } else if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
        edit->setText(text);
    } else if (auto* group = dynamic_cast<GroupBox*>(widget)) {
        group->SetTitle(text);
    }
    // Labels and titles name controls for screen readers.
    if (DialogWindow* dialog = DialogWindow::Of(widget)) dialog->NameControlsForAccessibility();
}

QWidget* WidgetBeingPainted() {
    return g_widgetBeingPainted;
}
void SetWidgetBeingPainted(QWidget* widget) {
    g_widgetBeingPainted = widget;
}

}  // namespace afx

using afx::ToQString;
using afx::ToWidget;

// ---------------------------------------------------------------------------------------
// CMenu

BOOL CMenu::AppendMenu(UINT nFlags, UINT_PTR nIDNewItem, LPCTSTR lpszNewItem) {
    if (nFlags & MF_SEPARATOR) {
        m_items.push_back({nFlags, 0, CString()});
    } else {
        m_items.push_back({nFlags, nIDNewItem, CString(lpszNewItem)});
    }
    return TRUE;
}

UINT CMenu::GetMenuItemCount() const {
    return static_cast<UINT>(m_items.size());
}

UINT CMenu::GetMenuItemID(int nPos) const {
    if (nPos < 0 || nPos >= static_cast<int>(m_items.size())) return static_cast<UINT>(-1);
    return static_cast<UINT>(m_items[nPos].id);
}

const CMenu::Item* CMenu::FindItem(UINT nIDItem, UINT nFlags) const {
    if (nFlags & MF_BYPOSITION) return nIDItem < m_items.size() ? &m_items[nIDItem] : nullptr;
    for (const Item& item : m_items) {
        if (!(item.flags & MF_SEPARATOR) && item.id == nIDItem) return &item;
    }
    return nullptr;
}

int CMenu::GetMenuString(UINT nIDItem, CString& rString, UINT nFlags) const {
    const Item* item = FindItem(nIDItem, nFlags);
    rString = item ? item->text : CString();
    return rString.GetLength();
}

// ---------------------------------------------------------------------------------------
// CWnd

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

BEGIN_MESSAGE_MAP(CWnd, CCmdTarget)
END_MESSAGE_MAP()

CWnd::~CWnd() {
    afx::Detach(*this);
}

CWnd* CWnd::GetDlgItem(int nID) const {
    auto* dialog = dynamic_cast<afx::DialogWindow*>(ToWidget(m_hWnd));
    return dialog ? afx::ObjectFor(dialog->Control(nID)) : nullptr;
}

int CWnd::GetDlgCtrlID() const {
    return afx::ControlId(ToWidget(m_hWnd));
}

void CWnd::SetDlgItemText(int nID, LPCTSTR lpszString) {
    if (CWnd* item = GetDlgItem(nID)) item->SetWindowText(lpszString);
}

int CWnd::GetDlgItemText(int nID, CString& rString) const {
    rString.Empty();
    if (CWnd* item = GetDlgItem(nID)) item->GetWindowText(rString);
    return rString.GetLength();
}

void CWnd::SetWindowText(LPCTSTR lpszString) {
    afx::SetWidgetText(ToWidget(m_hWnd), ToQString(lpszString));
}

void CWnd::GetWindowText(CString& rString) const {
    rString = afx::ToCString(afx::WidgetText(ToWidget(m_hWnd)));
}

BOOL CWnd::EnableWindow(BOOL bEnable) {
    QWidget* widget = ToWidget(m_hWnd);
    if (!widget) return FALSE;
    const BOOL wasDisabled = !widget->isEnabled();
    widget->setEnabled(bEnable);
    return wasDisabled;
}

CWnd* CWnd::SetFocus() {
    CWnd* previous = GetFocus();
    if (QWidget* widget = ToWidget(m_hWnd)) widget->setFocus(Qt::OtherFocusReason);
    return previous;
}

CWnd* CWnd::GetFocus() {
    return afx::ObjectFor(QApplication::focusWidget());
}

void CWnd::GetClientRect(LPRECT lpRect) const {
    QWidget* widget = ToWidget(m_hWnd);
    QRect client;
    if (auto* list = dynamic_cast<QAbstractScrollArea*>(widget)) {
        client = list->contentsRect();  // inside the border
    } else if (widget) {
        client = widget->rect();
    }
    *lpRect = {0, 0, client.width(), client.height()};
}

BOOL CWnd::IsIconic() const {
    QWidget* widget = ToWidget(m_hWnd);
    return widget && widget->isMinimized();
}

CMenu* CWnd::GetSystemMenu(BOOL bRevert) const {
    auto* dialog = dynamic_cast<afx::DialogWindow*>(ToWidget(m_hWnd));
    if (!dialog || !(dialog->Template().style & WS_SYSMENU)) return nullptr;
    if (bRevert) {
        m_systemMenu.reset();
        return nullptr;
    }
    if (!m_systemMenu) {
        m_systemMenu = std::make_unique<CMenu>();
        m_systemMenu->AppendMenu(MF_STRING, SC_CLOSE,
                                 afx::ToCString(afx::LoadResourceString(AFX_IDS_SYSMENU_CLOSE)));
    }
    return m_systemMenu.get();
}

HICON CWnd::SetIcon(HICON hIcon, BOOL bBigIcon) {
    HICON& slot = bBigIcon ? m_bigIcon : m_smallIcon;
    const HICON previous = slot;
    slot = hIcon;
    if (QWidget* widget = ToWidget(m_hWnd)) {
        // Qt keeps one icon with all its sizes; the big one wins when both are set.
        widget->setWindowIcon(afx::IconOf(m_bigIcon ? m_bigIcon : m_smallIcon));
    }
    return previous;
}

HICON CWnd::GetIcon(BOOL bBigIcon) const {
    return bBigIcon ? m_bigIcon : m_smallIcon;
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowProc(message, wParam, lParam);
}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    const CurrentMessage outer = m_currentMessage;
    m_currentMessage = {message, wParam, lParam};
    LRESULT result = 0;
    if (message == WM_COMMAND) {
        if (!OnCommand(wParam, lParam)) result = DefWindowProc(message, wParam, lParam);
    } else if (const AFX_MSGMAP_ENTRY* entry = FindMessageEntry(message, 0, 0)) {
        const auto handler = static_cast<AFX_PMSGW>(entry->pfn);
        switch (entry->nSig) {
            case AfxSig_vwl:
                (this->*std::bit_cast<void (CWnd::*)(UINT, LPARAM)>(handler))(
                    static_cast<UINT>(wParam), lParam);
                break;
            case AfxSig_vv:
                (this->*handler)();
                break;
            case AfxSig_hv:
                result = reinterpret_cast<LRESULT>(
                    (this->*std::bit_cast<HCURSOR (CWnd::*)()>(handler))());
                break;
            default:
                result = DefWindowProc(message, wParam, lParam);
        }
    } else {
        result = DefWindowProc(message, wParam, lParam);
    }
    m_currentMessage = outer;
    return result;
}

BOOL CWnd::OnCommand(WPARAM wParam, LPARAM) {
    return OnCmdMsg(LOWORD(wParam), HIWORD(wParam));
}

void CWnd::OnSysCommand(UINT nID, LPARAM lParam) {
    DefWindowProc(WM_SYSCOMMAND, nID, lParam);
}

void CWnd::OnPaint() {
    DefWindowProc(WM_PAINT, 0, 0);
}

HCURSOR CWnd::OnQueryDragIcon() {
    return reinterpret_cast<HCURSOR>(DefWindowProc(WM_QUERYDRAGICON, 0, 0));
}

LRESULT CWnd::Default() {
    return DefWindowProc(m_currentMessage.message, m_currentMessage.wParam,
                         m_currentMessage.lParam);
}

LRESULT CWnd::DefWindowProc(UINT message, WPARAM wParam, LPARAM) {
    if (message == WM_SYSCOMMAND && (wParam & 0xFFF0) == SC_CLOSE) return SendMessage(WM_CLOSE);
    // Painting is Qt's; there is no drag icon of the system's own.
    return 0;
}

// ---------------------------------------------------------------------------------------
// Painting

int GetSystemMetrics(int nIndex) {
    switch (nIndex) {
        case SM_CXICON:
        case SM_CYICON:
            return 32;
        case SM_CXSMICON:
        case SM_CYSMICON:
            return 16;
        default:
            return 0;
    }
}

BOOL CDC::DrawIcon(int x, int y, HICON hIcon) {
    auto* painter = reinterpret_cast<QPainter*>(m_hDC);
    if (!painter || !hIcon) return FALSE;
    const int size = GetSystemMetrics(SM_CXICON);
    painter->drawPixmap(x, y, afx::IconOf(hIcon).pixmap(size, size));
    return TRUE;
}

CPaintDC::CPaintDC(CWnd* pWnd) : m_hWnd(pWnd ? pWnd->m_hWnd : nullptr) {
    // Only a window inside its own paint message can be painted on.
    QWidget* widget = ToWidget(m_hWnd);
    if (widget && widget == afx::WidgetBeingPainted()) {
        m_hDC = reinterpret_cast<HDC>(new QPainter(widget));
    }
}

CPaintDC::~CPaintDC() {
    delete reinterpret_cast<QPainter*>(m_hDC);
}
