// CDialog and dialog data exchange.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>

#include <climits>
#include <cstdlib>

#include "dialog_window.h"
#include "framework_internal.h"

using afx::ToWidget;

// ---------------------------------------------------------------------------------------
// CDialog

IMPLEMENT_DYNAMIC(CDialog, CWnd)

BEGIN_MESSAGE_MAP(CDialog, CWnd)
ON_COMMAND(IDOK, &CDialog::OnOK)
ON_COMMAND(IDCANCEL, &CDialog::OnCancel)
END_MESSAGE_MAP()

CDialog::CDialog(UINT nIDTemplate, CWnd* pParentWnd)
    : m_nIDTemplate(nIDTemplate), m_pParentWnd(pParentWnd) {}

CDialog::~CDialog() = default;

INT_PTR CDialog::DoModal() {
    const res::DialogTemplate* dialogTemplate = res::FindDialogTemplate(m_nIDTemplate);
    if (!dialogTemplate || m_hWnd) return -1;

    // Without a parent the dialog belongs to the window that is active now, as on Windows.
    QWidget* owner = m_pParentWnd ? ToWidget(m_pParentWnd->m_hWnd) : nullptr;
    if (!owner) owner = QApplication::activeModalWidget();
    if (!owner) owner = QApplication::activeWindow();

    m_bEnded = false;
    m_nModalResult = -1;
    {
        afx::DialogWindow window(*dialogTemplate, *this, owner);
        afx::Attach(*this, &window);
        if (OnInitDialog()) window.FocusFirstTabStop();
        if (!m_bEnded) window.exec();
        CWndAccess::ResetSystemMenu(*this);
        afx::Detach(*this);
    }
    return m_nModalResult;
}

BOOL CDialog::OnInitDialog() {
    UpdateData(FALSE);
    return TRUE;
}

void CDialog::OnOK() {
    if (!UpdateData(TRUE)) return;
    EndDialog(IDOK);
}

void CDialog::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialog::EndDialog(int nResult) {
    m_nModalResult = nResult;
    m_bEnded = true;
    if (auto* window = dynamic_cast<afx::DialogWindow*>(ToWidget(m_hWnd))) {
        if (window->isVisible()) window->done(nResult);
    }
}

BOOL CDialog::UpdateData(BOOL bSaveAndValidate) {
    CDataExchange exchange(this, bSaveAndValidate);
    try {
        DoDataExchange(&exchange);
    } catch (const CUserException&) {
        return FALSE;
    }
    return TRUE;
}

void CDialog::DoDataExchange(CDataExchange*) {}

LRESULT CDialog::DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    // Closing a dialog is pressing its Cancel.
    if (message == WM_CLOSE) return SendMessage(WM_COMMAND, IDCANCEL, 0);
    return CWnd::DefWindowProc(message, wParam, lParam);
}

void CWndAccess::ResetSystemMenu(CWnd& wnd) {
    wnd.m_systemMenu.reset();
}

// ---------------------------------------------------------------------------------------
// Data exchange

CDataExchange::CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate)
    : m_bSaveAndValidate(bSaveAndValidate), m_pDlgWnd(pDlgWnd) {}

HWND CDataExchange::PrepareCtrl(int nIDC) {
    CWnd* control = m_pDlgWnd->GetDlgItem(nIDC);
    ASSERT(control != nullptr);  // the template has no such control
    m_hWndLastControl = control ? control->m_hWnd : nullptr;
    m_bEditLastControl = FALSE;
    return m_hWndLastControl;
}

HWND CDataExchange::PrepareEditCtrl(int nIDC) {
    HWND hWnd = PrepareCtrl(nIDC);
    m_bEditLastControl = TRUE;
    return hWnd;
}

void CDataExchange::Fail() {
    if (m_bSaveAndValidate && m_hWndLastControl) {
        QWidget* control = ToWidget(m_hWndLastControl);
        control->setFocus(Qt::OtherFocusReason);
        if (auto* edit = qobject_cast<QLineEdit*>(control); edit && m_bEditLastControl) {
            edit->selectAll();
        }
    }
    throw CUserException();
}

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl) {
    if (rControl.m_hWnd) return;  // bound by an earlier exchange
    HWND hWnd = pDX->PrepareCtrl(nIDC);
    if (hWnd) afx::Attach(rControl, ToWidget(hWnd));
}

namespace {

// Whole numbers as the framework reads them from an edit: blanks around, a sign, digits.
bool ParseInt(const CString& text, int& value) {
    const char* cursor = text.GetString();
    while (*cursor == ' ' || *cursor == '\t') ++cursor;
    const char* digits = cursor + ((*cursor == '+' || *cursor == '-') ? 1 : 0);
    if (*digits < '0' || *digits > '9') return false;
    char* end = nullptr;
    errno = 0;
    const long long parsed = std::strtoll(cursor, &end, 10);
    while (*end == ' ' || *end == '\t') ++end;
    if (*end != '\0' || errno == ERANGE || parsed < INT_MIN || parsed > INT_MAX) return false;
    value = static_cast<int>(parsed);
    return true;
}

}  // namespace

void DDX_Text(CDataExchange* pDX, int nIDC, int& value) {
    HWND hWnd = pDX->PrepareEditCtrl(nIDC);
    CWnd* control = afx::ObjectFor(ToWidget(hWnd));
    if (!control) return;
    if (pDX->m_bSaveAndValidate) {
        CString text;
        control->GetWindowText(text);
        if (!ParseInt(text, value)) {
            AfxMessageBox(afx::ToCString(afx::LoadResourceString(AFX_IDP_PARSE_INT)));
            pDX->Fail();
        }
    } else {
        CString text;
        text.Format("%d", value);
        control->SetWindowText(text);
    }
}

void DDX_Text(CDataExchange* pDX, int nIDC, CString& value) {
    HWND hWnd = pDX->PrepareEditCtrl(nIDC);
    CWnd* control = afx::ObjectFor(ToWidget(hWnd));
    if (!control) return;
    if (pDX->m_bSaveAndValidate) {
        control->GetWindowText(value);
    } else {
        control->SetWindowText(value);
    }
}

void DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index) {
    HWND hWnd = pDX->PrepareCtrl(nIDC);
    auto* combo = qobject_cast<QComboBox*>(ToWidget(hWnd));
    if (!combo) return;
    if (pDX->m_bSaveAndValidate) {
        index = combo->currentIndex();
    } else {
        combo->setCurrentIndex(index >= 0 && index < combo->count() ? index : -1);
    }
}

void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal) {
    if (!pDX->m_bSaveAndValidate || (value >= minVal && value <= maxVal)) return;
    QString message = afx::LoadResourceString(AFX_IDP_PARSE_INT_RANGE);
    message.replace("%1", QString::number(minVal)).replace("%2", QString::number(maxVal));
    AfxMessageBox(afx::ToCString(message));
    pDX->Fail();
}
