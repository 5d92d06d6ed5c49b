// The extension-to-MIME-type map as a list. Every add, change or delete is stored at
// once and the list is then reloaded from the registry.
#pragma once

#include "stdafx.h"

#include "ViewerSettings.h"
#include "resource.h"

class CMimeSettingDlg : public CDialog {
public:
    explicit CMimeSettingDlg(CWnd* pParent = nullptr);

    enum { IDD = IDD_MIME_SETTING };

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;

    afx_msg void OnAddMime();
    afx_msg void OnDeleteMime();
    afx_msg void OnChangeMime();
    DECLARE_MESSAGE_MAP()

    void RefreshList();

    CListCtrl m_listMime;
    CViewerSettings m_settings;
    CMimeMapTable m_mimeMap;

private:
    BOOL IsExtensionListed(const CString& extension) const;
    // The entry the selected row shows; FALSE, after telling the user, when none is
    // selected. Its names are the stored bytes, which the row may show only in escaped form.
    BOOL GetSelectedEntry(MimeEntry& entry);
    // Tells the user why a change was not stored (107, 118, 119), in the dialog's words.
    static void Report(const ChangeOutcome& outcome);
};
