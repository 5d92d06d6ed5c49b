// Dialogs for the framework's tests, on the program's real templates.
#pragma once

#include <afxcmn.h>
#include <afxwin.h>

#include <functional>

#include "resource.h"
#include "testing/user_session.h"

using namespace afxtest;

// The main template with three of its counts and its sort-key list exchanged, in the
// order the program exchanges them.
class CountsDialog : public CDialog {
public:
    CountsDialog() : CDialog(IDD_SETTING_DIALOG) {}

    int m_entrySection = 0;
    int m_docList = 0;
    int m_secList = 0;
    int m_sortKey = -1;
    CSpinButtonCtrl m_spinDocList;
    CComboBox m_sortKeys;
    std::function<void(CountsDialog&)> onInit;

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (onInit) onInit(*this);
        return TRUE;
    }

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Control(pDX, IDC_SPIN_DOCLIST, m_spinDocList);
        DDX_Control(pDX, IDC_COMBO_SORTKEY, m_sortKeys);
        DDX_Text(pDX, IDC_EDIT_ENTRYSECTION, m_entrySection);
        DDV_MinMaxInt(pDX, m_entrySection, 5, 99);
        DDX_Text(pDX, IDC_EDIT_DOCLIST, m_docList);
        DDV_MinMaxInt(pDX, m_docList, 10, 100);
        DDX_Text(pDX, IDC_EDIT_SECLIST, m_secList);
        DDV_MinMaxInt(pDX, m_secList, 10, 100);
        DDX_CBIndex(pDX, IDC_COMBO_SORTKEY, m_sortKey);
    }
};

// The add template with its two strings exchanged.
class EntryDialog : public CDialog {
public:
    explicit EntryDialog(UINT id = IDD_MIME_ADD) : CDialog(id) {}
    CString m_extension;
    CString m_mimeType;

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Text(pDX, IDC_MIME_EXTENSION, m_extension);
        DDX_Text(pDX, IDC_MIME_TYPE, m_mimeType);
    }
};

// The list template with a handler per button, a system-menu entry, and its list bound.
class ListDialog : public CDialog {
public:
    ListDialog() : CDialog(IDD_MIME_SETTING) {}

    CListCtrl m_list;
    std::function<void(ListDialog&)> onInit;
    std::function<void()> onAdd;
    std::vector<UINT> systemCommands;

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        if (CMenu* menu = GetSystemMenu(FALSE)) {
            menu->AppendMenu(MF_SEPARATOR);
            menu->AppendMenu(MF_STRING, IDM_ABOUTBOX, "&Info...");
        }
        if (onInit) onInit(*this);
        return TRUE;
    }

protected:
    void DoDataExchange(CDataExchange* pDX) override { DDX_Control(pDX, IDC_MIME_LIST, m_list); }
    afx_msg void OnAdd() {
        if (onAdd) onAdd();
    }
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam) {
        systemCommands.push_back(nID);
        if ((nID & 0xFFF0) != IDM_ABOUTBOX) CDialog::OnSysCommand(nID, lParam);
    }
    DECLARE_MESSAGE_MAP()
};
