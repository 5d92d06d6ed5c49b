// The window part of the class framework: application object, windows, modal dialogs
// built from templates, dialog data exchange, the standard controls and message boxes.
// Names and signatures follow the Windows framework, so the program's code compiles
// against either. No Qt here; the drawing lives in the framework's sources.
#pragma once

#include <afx.h>

#include <bit>
#include <memory>
#include <string>
#include <vector>

// ---------------------------------------------------------------------------------------
// Window constants, as <windows.h> defines them.

#ifndef IDOK
#define IDOK 1
#define IDCANCEL 2
#endif
#ifndef MB_OK
#define MB_OK 0x00000000L
#define MB_OKCANCEL 0x00000001L
#endif
#ifndef WM_PAINT
#define WM_PAINT 0x000F
#define WM_CLOSE 0x0010
#define WM_ICONERASEBKGND 0x0027
#define WM_QUERYDRAGICON 0x0037
#define WM_INITDIALOG 0x0110
#define WM_SYSCOMMAND 0x0112
#endif
#ifndef SC_CLOSE
#define SC_CLOSE 0xF060
#endif
#ifndef MF_STRING
#define MF_BYCOMMAND 0x00000000L
#define MF_STRING 0x00000000L
#define MF_BYPOSITION 0x00000400L
#define MF_SEPARATOR 0x00000800L
#endif
#ifndef SM_CXICON
#define SM_CXICON 11
#define SM_CYICON 12
#define SM_CXSMICON 49
#define SM_CYSMICON 50
#endif
#ifndef BST_UNCHECKED
#define BST_UNCHECKED 0x0000
#define BST_CHECKED 0x0001
#endif
#ifndef CB_ERR
#define CB_ERR (-1)
#endif
#ifndef LVCFMT_LEFT
#define LVCFMT_LEFT 0x0000
#endif
#ifndef ID_HELP
#define ID_HELP 0xE146
#endif

int GetSystemMetrics(int nIndex);

// ---------------------------------------------------------------------------------------
// Message-map entries for window messages.

class CWnd;
typedef void (AFX_MSG_CALL CWnd::*AFX_PMSGW)();

// A window-message handler stored in the map's common handler type; the entry's
// signature code says how to call it back. The bits are kept as they are.
template <class Handler>
AFX_PMSG AfxWindowHandler(Handler handler) {
    static_assert(sizeof(Handler) == sizeof(AFX_PMSGW));
    return static_cast<AFX_PMSG>(std::bit_cast<AFX_PMSGW>(handler));
}

#define ON_WM_SYSCOMMAND() \
    {WM_SYSCOMMAND,        \
     0,                    \
     0,                    \
     0,                    \
     AfxSig_vwl,           \
     AfxWindowHandler(     \
         static_cast<void (AFX_MSG_CALL CWnd::*)(UINT, LPARAM)>(&ThisClass::OnSysCommand))},
#define ON_WM_PAINT() \
    {                 \
        WM_PAINT,     \
        0,            \
        0,            \
        0,            \
        AfxSig_vv,    \
        AfxWindowHandler(static_cast<void (AFX_MSG_CALL CWnd::*)()>(&ThisClass::OnPaint))},
#define ON_WM_QUERYDRAGICON() \
    {WM_QUERYDRAGICON,        \
     0,                       \
     0,                       \
     0,                       \
     AfxSig_hv,               \
     AfxWindowHandler(        \
         static_cast<HCURSOR (AFX_MSG_CALL CWnd::*)()>(&ThisClass::OnQueryDragIcon))},
#define ON_BN_CLICKED(id, memberFxn) \
    {WM_COMMAND, BN_CLICKED, (WORD)id, (WORD)id, AfxSigCmd_v, static_cast<AFX_PMSG>(memberFxn)},

// ---------------------------------------------------------------------------------------
// Menus: the window's system menu is the only one the program sees.

class CMenu : public CObject {
public:
    CMenu() = default;

    BOOL AppendMenu(UINT nFlags, UINT_PTR nIDNewItem = 0, LPCTSTR lpszNewItem = nullptr);
    UINT GetMenuItemCount() const;
    // The command of the item at nPos; 0 for a separator, (UINT)-1 past the end.
    UINT GetMenuItemID(int nPos) const;
    // The text of an item chosen by command (MF_BYCOMMAND) or position (MF_BYPOSITION).
    int GetMenuString(UINT nIDItem, CString& rString, UINT nFlags) const;

private:
    struct Item {
        UINT flags;
        UINT_PTR id;
        CString text;
    };
    const Item* FindItem(UINT nIDItem, UINT nFlags) const;
    std::vector<Item> m_items;
};

// ---------------------------------------------------------------------------------------
// Windows. m_hWnd names the window the object is attached to; null when none.

class CWnd : public CCmdTarget {
    DECLARE_DYNAMIC(CWnd)

public:
    CWnd() = default;
    ~CWnd() override;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;

    HWND m_hWnd = nullptr;
    HWND GetSafeHwnd() const { return m_hWnd; }

    CWnd* GetDlgItem(int nID) const;
    int GetDlgCtrlID() const;
    void SetDlgItemText(int nID, LPCTSTR lpszString);
    int GetDlgItemText(int nID, CString& rString) const;

    void SetWindowText(LPCTSTR lpszString);
    void GetWindowText(CString& rString) const;
    // Returns the previous state: nonzero when the window was disabled.
    BOOL EnableWindow(BOOL bEnable = TRUE);
    // Returns the window that had the focus, when the framework knows its object.
    CWnd* SetFocus();
    static CWnd* GetFocus();
    void GetClientRect(LPRECT lpRect) const;
    BOOL IsIconic() const;

    CMenu* GetSystemMenu(BOOL bRevert) const;
    HICON SetIcon(HICON hIcon, BOOL bBigIcon);
    HICON GetIcon(BOOL bBigIcon) const;

    // Delivers a message through the message map, or to the default processing.
    LRESULT SendMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
    virtual LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam);
    virtual BOOL OnCommand(WPARAM wParam, LPARAM lParam);

protected:
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    // The system's processing of the message being handled.
    LRESULT Default();
    virtual LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam);

    DECLARE_MESSAGE_MAP()

private:
    friend class CWndAccess;  // the framework's own code
    struct CurrentMessage {
        UINT message = 0;
        WPARAM wParam = 0;
        LPARAM lParam = 0;
    };
    CurrentMessage m_currentMessage;
    mutable std::unique_ptr<CMenu> m_systemMenu;
    HICON m_bigIcon = nullptr;
    HICON m_smallIcon = nullptr;
};

// ---------------------------------------------------------------------------------------
// Painting.

class CDC : public CObject {
public:
    HDC m_hDC = nullptr;
    HDC GetSafeHdc() const { return m_hDC; }
    // Draws the icon's large image with its top left corner at (x, y).
    BOOL DrawIcon(int x, int y, HICON hIcon);
};

// Painting of a window during its paint message; without one it paints nothing.
class CPaintDC : public CDC {
public:
    explicit CPaintDC(CWnd* pWnd);
    ~CPaintDC() override;
    CPaintDC(const CPaintDC&) = delete;
    CPaintDC& operator=(const CPaintDC&) = delete;

protected:
    HWND m_hWnd;
};

// ---------------------------------------------------------------------------------------
// Standard controls.

class CStatic : public CWnd {
    DECLARE_DYNAMIC(CStatic)
};

class CButton : public CWnd {
    DECLARE_DYNAMIC(CButton)

public:
    int GetCheck() const;
    void SetCheck(int nCheck);
};

class CEdit : public CWnd {
    DECLARE_DYNAMIC(CEdit)
};

class CComboBox : public CWnd {
    DECLARE_DYNAMIC(CComboBox)

public:
    int AddString(LPCTSTR lpszString);
    int GetCurSel() const;
    // Selects item nSelect; -1 clears the selection. CB_ERR when out of range.
    int SetCurSel(int nSelect);
    void GetLBText(int nIndex, CString& rString) const;
};

// ---------------------------------------------------------------------------------------
// Dialog data exchange.

// What CDataExchange::Fail throws; UpdateData catches it.
class CUserException : public CObject {};

class CDataExchange {
public:
    CDataExchange(CWnd* pDlgWnd, BOOL bSaveAndValidate);

    BOOL m_bSaveAndValidate;
    CWnd* m_pDlgWnd;
    HWND m_hWndLastControl = nullptr;
    BOOL m_bEditLastControl = FALSE;

    HWND PrepareCtrl(int nIDC);
    HWND PrepareEditCtrl(int nIDC);
    // Ends the exchange: focuses the last prepared control (selecting an edit's text)
    // and throws CUserException.
    [[noreturn]] void Fail();
};

void DDX_Control(CDataExchange* pDX, int nIDC, CWnd& rControl);
void DDX_Text(CDataExchange* pDX, int nIDC, int& value);
void DDX_Text(CDataExchange* pDX, int nIDC, CString& value);
void DDX_CBIndex(CDataExchange* pDX, int nIDC, int& index);
void DDV_MinMaxInt(CDataExchange* pDX, int value, int minVal, int maxVal);

// ---------------------------------------------------------------------------------------
// Modal dialogs.

class CDialog : public CWnd {
    DECLARE_DYNAMIC(CDialog)

public:
    explicit CDialog(UINT nIDTemplate, CWnd* pParentWnd = nullptr);
    ~CDialog() override;

    // Builds the dialog from its template, initialises it and runs it until EndDialog.
    // Returns the EndDialog result, or -1 when the template does not exist.
    virtual INT_PTR DoModal();
    virtual BOOL OnInitDialog();
    virtual void OnOK();
    virtual void OnCancel();
    void EndDialog(int nResult);
    BOOL UpdateData(BOOL bSaveAndValidate = TRUE);

    UINT GetTemplateID() const { return m_nIDTemplate; }

protected:
    virtual void DoDataExchange(CDataExchange* pDX);
    LRESULT DefWindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    DECLARE_MESSAGE_MAP()

private:
    friend class CWndAccess;
    UINT m_nIDTemplate;
    CWnd* m_pParentWnd;
    int m_nModalResult = -1;
    bool m_bEnded = false;
};

// ---------------------------------------------------------------------------------------
// The application.

class CWinApp : public CCmdTarget {
    DECLARE_DYNAMIC(CWinApp)

public:
    // The one application object; without a name it takes the executable's file name.
    explicit CWinApp(LPCTSTR lpszAppName = nullptr);
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    virtual BOOL InitInstance();
    virtual int ExitInstance();

    CWnd* m_pMainWnd = nullptr;
    LPCTSTR m_pszAppName = nullptr;

    HICON LoadIcon(UINT nIDResource) const;
    BOOL Enable3dControls();
    afx_msg void OnHelp();

    DECLARE_MESSAGE_MAP()

private:
    std::string m_appName;
};

CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
// The application's name: the application object's, else the executable's file name.
LPCTSTR AfxGetAppName();

// Message boxes with the application's name as caption and no icon. Returns IDOK or
// IDCANCEL.
int AfxMessageBox(LPCTSTR lpszText, UINT nType = MB_OK, UINT nIDHelp = 0);
int AfxMessageBox(UINT nIDPrompt, UINT nType = MB_OK, UINT nIDHelp = (UINT)-1);

// The framework's start-up, called by main(): creates the toolkit's application (without a
// display: one line saying so, exit status 1), then runs the application object's
// InitInstance and ExitInstance.
int AfxWinMain(int argc, char* argv[]);
