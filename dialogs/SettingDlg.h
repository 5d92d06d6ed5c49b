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

    CSpinButtonCtrl m_spinSecThum;
    CSpinButtonCtrl m_spinDocThum;
    CSpinButtonCtrl m_spinSecList;
    CSpinButtonCtrl m_spinDocList;
    CSpinButtonCtrl m_spinEntrySection;
    CComboBox m_comboSortKey;
    CButton m_radioSunday;
    CButton m_radioMonday;
    CButton m_radioAscending;
    CButton m_radioDescending;
    CEdit m_editSecThum;
    CEdit m_editDocThum;
    CEdit m_editSecList;
    CEdit m_editDocList;
    CEdit m_editEntrySection;
    int m_nEntrySection = 0;
    int m_nDocList = 0;
    int m_nSecList = 0;
    int m_nDocThum = 0;
    int m_nSecThum = 0;
    int m_nSortKey = -1;
    HICON m_hIcon = nullptr;
    CViewerSettings m_settings;

    // Writes the form to the registry in one transaction; FALSE, with nothing written, when
    // any write failed.
    BOOL SaveSettings();

private:
    // Exchanges a count's edit with its member and checks it against the count's range.
    static void ExchangeCount(CDataExchange* pDX, int editId, ObjectNumKind kind, int& value);
    void LoadWeekStart();
    void LoadSortOrder();
    void LoadCounts();
    CSpinButtonCtrl& SpinOf(int kind);
};
