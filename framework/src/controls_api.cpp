// The control classes: the operations the program calls, on the widgets behind them.
#include <afxcmn.h>

#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>

#include "controls.h"
#include "framework_internal.h"

using afx::ToQString;
using afx::ToWidget;

IMPLEMENT_DYNAMIC(CStatic, CWnd)
IMPLEMENT_DYNAMIC(CButton, CWnd)
IMPLEMENT_DYNAMIC(CEdit, CWnd)
IMPLEMENT_DYNAMIC(CComboBox, CWnd)
IMPLEMENT_DYNAMIC(CSpinButtonCtrl, CWnd)
IMPLEMENT_DYNAMIC(CListCtrl, CWnd)

namespace {

template <class Widget>
Widget* As(HWND hWnd) {
    return dynamic_cast<Widget*>(ToWidget(hWnd));
}

}  // namespace

// ---------------------------------------------------------------------------------------

int CButton::GetCheck() const {
    auto* button = As<QAbstractButton>(m_hWnd);
    return button && button->isChecked() ? BST_CHECKED : BST_UNCHECKED;
}

void CButton::SetCheck(int nCheck) {
    // Only the state changes; the other buttons of the group are the caller's business.
    if (auto* button = As<QAbstractButton>(m_hWnd); button && button->isCheckable()) {
        button->setChecked(nCheck == BST_CHECKED);
    }
}

// ---------------------------------------------------------------------------------------

int CComboBox::AddString(LPCTSTR lpszString) {
    auto* combo = As<QComboBox>(m_hWnd);
    if (!combo) return CB_ERR;
    // Appending must not select anything: a drop-down list starts with no selection.
    const int selection = combo->currentIndex();
    combo->addItem(ToQString(lpszString));
    combo->setCurrentIndex(selection);
    return combo->count() - 1;
}

int CComboBox::GetCurSel() const {
    auto* combo = As<QComboBox>(m_hWnd);
    return combo ? combo->currentIndex() : CB_ERR;
}

int CComboBox::SetCurSel(int nSelect) {
    auto* combo = As<QComboBox>(m_hWnd);
    if (!combo) return CB_ERR;
    if (nSelect < 0 || nSelect >= combo->count()) {
        combo->setCurrentIndex(-1);
        return CB_ERR;
    }
    combo->setCurrentIndex(nSelect);
    return nSelect;
}

void CComboBox::GetLBText(int nIndex, CString& rString) const {
    auto* combo = As<QComboBox>(m_hWnd);
    rString = combo && nIndex >= 0 && nIndex < combo->count()
                  ? afx::ToCString(combo->itemText(nIndex))
                  : CString();
}

// ---------------------------------------------------------------------------------------

int CSpinButtonCtrl::SetPos(int nPos) {
    auto* upDown = As<afx::UpDownControl>(m_hWnd);
    return upDown ? upDown->SetPos(nPos) : 0;
}

int CSpinButtonCtrl::GetPos() const {
    auto* upDown = As<afx::UpDownControl>(m_hWnd);
    if (!upDown) return 1 << 16;
    bool valid = false;
    const int position = upDown->Pos(&valid);
    // As the message returns it: the position's 16 bits, and a nonzero high word on error.
    return static_cast<int>(static_cast<WORD>(position) | (valid ? 0u : 1u << 16));
}

void CSpinButtonCtrl::SetRange(short nLower, short nUpper) {
    if (auto* upDown = As<afx::UpDownControl>(m_hWnd)) upDown->SetRange(nLower, nUpper);
}

void CSpinButtonCtrl::GetRange(int& lower, int& upper) const {
    auto* upDown = As<afx::UpDownControl>(m_hWnd);
    lower = upDown ? upDown->Lower() : 0;
    upper = upDown ? upDown->Upper() : 0;
}

CWnd* CSpinButtonCtrl::GetBuddy() const {
    auto* upDown = As<afx::UpDownControl>(m_hWnd);
    return upDown ? afx::ObjectFor(upDown->Buddy()) : nullptr;
}

// ---------------------------------------------------------------------------------------

int CListCtrl::InsertColumn(int nCol, LPCTSTR lpszColumnHeading, int, int nWidth, int) {
    auto* list = As<afx::ListView>(m_hWnd);
    return list ? list->InsertColumn(nCol, ToQString(lpszColumnHeading), nWidth) : -1;
}

int CListCtrl::GetColumnWidth(int nCol) const {
    auto* list = As<afx::ListView>(m_hWnd);
    return list && nCol >= 0 && nCol < list->ColumnCount() ? list->columnWidth(nCol) : 0;
}

int CListCtrl::InsertItem(int nItem, LPCTSTR lpszItem) {
    auto* list = As<afx::ListView>(m_hWnd);
    return list ? list->InsertItem(nItem, lpszItem ? lpszItem : "") : -1;
}

BOOL CListCtrl::SetItemText(int nItem, int nSubItem, LPCTSTR lpszText) {
    auto* list = As<afx::ListView>(m_hWnd);
    return list && list->SetItemText(nItem, nSubItem, lpszText ? lpszText : "");
}

CString CListCtrl::GetItemText(int nItem, int nSubItem) const {
    auto* list = As<afx::ListView>(m_hWnd);
    return list ? afx::ToCString(list->ItemText(nItem, nSubItem)) : CString();
}

int CListCtrl::GetItemCount() const {
    auto* list = As<afx::ListView>(m_hWnd);
    return list ? list->ItemCount() : 0;
}

BOOL CListCtrl::DeleteAllItems() {
    auto* list = As<afx::ListView>(m_hWnd);
    if (!list) return FALSE;
    list->DeleteAllItems();
    return TRUE;
}

void CListCtrl::SetRedraw(BOOL bRedraw) {
    if (auto* list = As<afx::ListView>(m_hWnd)) list->SetRedraw(bRedraw);
}

int CListCtrl::GetSelectionMark() const {
    auto* list = As<afx::ListView>(m_hWnd);
    return list ? list->SelectionMark() : -1;
}
