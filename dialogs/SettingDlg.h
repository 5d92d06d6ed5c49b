// The main form: first day of the week, document sort order and the five table sizes.
#pragma once

#include "stdafx.h"

#include "ViewerSettings.h"
#include "resource.h"

class CSettingDlg : public CDialog {
public:
    explicit CSettingDlg(CWnd* pParent = nullptr);

    enum { IDD = IDD_SETTING_DIALOG };

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;

    afx_msg void OnSysCommand(UINT nID, LPARAM lParam);
    afx_msg void OnPaint();
    afx_msg HCURSOR OnQueryDragIcon();
    afx_msg void OnRestoreDefaults();
    afx_msg void OnMimeSettings();
    DECLARE_MESSAGE_MAP()

    CComboBox m_comboSortKey;
    CButton m_radioSunday;
    CButton m_radioMonday;
    CButton m_radioAscending;
    CButton m_radioDescending;
    // The table sizes, by ObjectNumKind, bound to the controls their settings' rows name.
    CSpinButtonCtrl m_spinCounts[ObjectNumKindCount];
    CEdit m_editCounts[ObjectNumKindCount];
    int m_nCounts[ObjectNumKindCount] = {};
    int m_nSortKey = -1;
    HICON m_hIcon = nullptr;
    CViewerSettings m_settings;

    // Writes the form to the registry in one transaction; FALSE, with nothing written, when
    // any write failed.
    BOOL SaveSettings();

private:
    void LoadWeekStart();
    void LoadSortOrder();
    void LoadCounts();
};
