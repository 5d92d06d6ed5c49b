// The common controls of the class framework: up-down control and list view.
#pragma once

#include <afxwin.h>

#ifndef UD_MAXVAL
#define UD_MAXVAL 0x7fff
#define UD_MINVAL (-UD_MAXVAL)
#endif

// An up-down control. With set-buddy-integer its position is the whole number shown in
// its buddy, and stays at its last valid value while the buddy shows anything else.
class CSpinButtonCtrl : public CWnd {
    DECLARE_DYNAMIC(CSpinButtonCtrl)

public:
    // Sets the position (16 bits, clamped into the range); returns the previous one.
    int SetPos(int nPos);
    // The position in the low word; the high word is nonzero when the buddy's text is
    // no whole number inside the range (the low word then holds the last valid value).
    int GetPos() const;
    void SetRange(short nLower, short nUpper);
    void GetRange(int& lower, int& upper) const;
    CWnd* GetBuddy() const;
};

// A list view in report mode.
class CListCtrl : public CWnd {
    DECLARE_DYNAMIC(CListCtrl)

public:
    int InsertColumn(int nCol, LPCTSTR lpszColumnHeading, int nFormat = LVCFMT_LEFT,
                     int nWidth = -1, int nSubItem = -1);
    int GetColumnWidth(int nCol) const;
    // Inserts a row at nItem (clamped to the end); returns its index, -1 on failure.
    int InsertItem(int nItem, LPCTSTR lpszItem);
    BOOL SetItemText(int nItem, int nSubItem, LPCTSTR lpszText);
    CString GetItemText(int nItem, int nSubItem) const;
    int GetItemCount() const;
    BOOL DeleteAllItems();
    // The item the user last selected; -1 when none. Deleting all items clears it.
    int GetSelectionMark() const;
    // FALSE while filling many rows: they are shown together once it is TRUE again.
    void SetRedraw(BOOL bRedraw = TRUE);
};
