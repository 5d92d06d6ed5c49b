#include "SettingDlg.h"

#include <algorithm>

#include "AboutDlg.h"
#include "MimeSettingDlg.h"
#include "StoreReason.h"

namespace {

constexpr int kCountKinds = ObjectNumKindCount;

}  // namespace

CSettingDlg::CSettingDlg(CWnd* pParent) : CDialog(CSettingDlg::IDD, pParent) {
    m_hIcon = AfxGetApp()->LoadIcon(IDR_MAINFRAME);
}

void CSettingDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_COMBO_SORTKEY, m_comboSortKey);
    DDX_Control(pDX, IDC_RADIO_SUNDAY, m_radioSunday);
    DDX_Control(pDX, IDC_RADIO_MONDAY, m_radioMonday);
    DDX_Control(pDX, IDC_RADIO_ASCENDING, m_radioAscending);
    DDX_Control(pDX, IDC_RADIO_DESCENDING, m_radioDescending);
    // The counts in the form's order, each checked against its range.
    for (int kind = 0; kind < kCountKinds; ++kind) {
        const CountRule& rule = *GetCountRule(kind);
        DDX_Control(pDX, rule.nSpinId, m_spinCounts[kind]);
        DDX_Control(pDX, rule.nEditId, m_editCounts[kind]);
        DDX_Text(pDX, rule.nEditId, m_nCounts[kind]);
        DDV_MinMaxInt(pDX, m_nCounts[kind], rule.nLower, rule.nUpper);
    }
    DDX_CBIndex(pDX, IDC_COMBO_SORTKEY, m_nSortKey);
}

BEGIN_MESSAGE_MAP(CSettingDlg, CDialog)
ON_WM_SYSCOMMAND()
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_BN_CLICKED(IDC_RESTORE_DEFAULTS, &CSettingDlg::OnRestoreDefaults)
ON_BN_CLICKED(IDC_MIME_SETTINGS, &CSettingDlg::OnMimeSettings)
END_MESSAGE_MAP()

BOOL CSettingDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    CMenu* pSysMenu = GetSystemMenu(FALSE);
    if (pSysMenu != nullptr) {
        CString strAboutMenu;
        strAboutMenu.LoadString(IDS_ABOUTBOX);
        if (!strAboutMenu.IsEmpty()) {
            pSysMenu->AppendMenu(MF_SEPARATOR);
            pSysMenu->AppendMenu(MF_STRING, IDM_ABOUTBOX, strAboutMenu);
        }
    }
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);

    // Every step runs whatever is stored: a value the form cannot show leaves its
    // controls blank instead of leaving the rest of the form unfilled.
    LoadWeekStart();
    LoadSortOrder();
    m_editCounts[ObjectNumEntrySection].EnableWindow(TRUE);
    LoadCounts();
    // What cannot be read shows as the defaults: said now, before the user fills the form
    // in vain.
    if (const LONG status = CRegManager::CheckReadable(HKEY_LOCAL_MACHINE, kViewerKeyPath);
        status != ERROR_SUCCESS) {
        AfxMessageBox(UnreadableSettingsText(status).c_str(), MB_OK);
    }
    return TRUE;
}

void CSettingDlg::LoadWeekStart() {
    int topDay = 0;
    m_settings.GetTopDay(topDay);
    m_radioSunday.SetCheck(topDay == kTopDaySunday ? BST_CHECKED : BST_UNCHECKED);
    m_radioMonday.SetCheck(topDay == kTopDayMonday ? BST_CHECKED : BST_UNCHECKED);
}

void CSettingDlg::LoadSortOrder() {
    // The labels in SortKeyIndex order, so a list position is the stored key's index.
    for (int index = 0; index < SortKeyCount; ++index) {
        CString label;
        label.LoadString(GetSortKeyLabelId(index));
        m_comboSortKey.AddString(label);
    }
    int sortKey = 0;
    m_settings.GetSortKey(sortKey);
    m_comboSortKey.SetCurSel(sortKey);

    int sortDir = 0;
    m_settings.GetSortDir(sortDir);
    m_radioAscending.SetCheck(sortDir == kSortDirAscending ? BST_CHECKED : BST_UNCHECKED);
    m_radioDescending.SetCheck(sortDir == kSortDirDescending ? BST_CHECKED : BST_UNCHECKED);
}

void CSettingDlg::LoadCounts() {
    for (int kind = 0; kind < kCountKinds; ++kind) {
        const CountRule& rule = *GetCountRule(kind);
        int count = rule.nFactoryValue;
        m_settings.GetObjectNum(static_cast<ObjectNumKind>(kind), count);
        // Shown as the up-down takes a position: its low 16 bits as a signed number,
        // pulled into the allowed range.
        const int position =
            std::clamp<int>(static_cast<short>(LOWORD(count)), rule.nLower, rule.nUpper);
        CSpinButtonCtrl& spin = m_spinCounts[kind];
        spin.SetPos(position);
        spin.SetRange(static_cast<short>(rule.nLower), static_cast<short>(rule.nUpper));
    }
}

void CSettingDlg::OnOK() {
    // Nothing is stored unless every field is valid, so Cancel still discards a form
    // that was rejected once.
    if (!UpdateData(TRUE)) {
        return;
    }
    // The counts are written from the up-downs, whose reading of their buddies is stricter
    // than the exchange's ("50 " passes the exchange, the up-down keeps its last number):
    // give them the values that passed, so what is stored is what was validated.
    for (int kind = 0; kind < kCountKinds; ++kind) {
        m_spinCounts[kind].SetPos(m_nCounts[kind]);
    }
    if (!SaveSettings()) {
        // With the store's reason when it gave one (not when no group could be begun).
        const ChangeOutcome& outcome = m_settings.LastOutcome();
        if (outcome.Applied()) {
            AfxMessageBox(IDS_SAVE_FAILED, MB_OK);
        } else {
            AfxMessageBox(ChangeRefusalText(outcome).c_str(), MB_OK);
        }
        return;
    }
    EndDialog(IDOK);
}

BOOL CSettingDlg::SaveSettings() {
    // All or nothing: a write refused midway must not leave the earlier values stored, and
    // one hive write for the whole form costs about as much as one for a single value.
    if (!m_settings.BeginChanges()) return FALSE;
    BOOL saved = TRUE;
    if (m_radioSunday.GetCheck() == BST_CHECKED) {
        saved &= m_settings.SetTopDay(kTopDaySunday);
    } else if (m_radioMonday.GetCheck() == BST_CHECKED) {
        saved &= m_settings.SetTopDay(kTopDayMonday);
    }
    saved &= m_settings.SetSortKey(m_comboSortKey.GetCurSel());
    if (m_radioAscending.GetCheck() == BST_CHECKED) {
        saved &= m_settings.SetSortDir(kSortDirAscending);
    } else if (m_radioDescending.GetCheck() == BST_CHECKED) {
        saved &= m_settings.SetSortDir(kSortDirDescending);
    }
    for (int kind = 0; kind < kCountKinds; ++kind) {
        const int position = static_cast<short>(LOWORD(m_spinCounts[kind].GetPos()));
        saved &= m_settings.SetObjectNum(static_cast<ObjectNumKind>(kind), position);
    }
    if (!saved) {
        m_settings.DiscardChanges();
        return FALSE;
    }
    return m_settings.CommitChanges();
}

void CSettingDlg::OnRestoreDefaults() {
    m_radioSunday.SetCheck(kFactoryTopDay == kTopDaySunday ? BST_CHECKED : BST_UNCHECKED);
    m_radioMonday.SetCheck(kFactoryTopDay == kTopDayMonday ? BST_CHECKED : BST_UNCHECKED);
    m_radioAscending.SetCheck(kFactorySortDir == kSortDirAscending ? BST_CHECKED : BST_UNCHECKED);
    m_radioDescending.SetCheck(kFactorySortDir == kSortDirDescending ? BST_CHECKED : BST_UNCHECKED);
    m_comboSortKey.SetCurSel(kFactorySortKey);

    for (int kind = 0; kind < kCountKinds; ++kind) {
        CString text;
        text.Format("%d", GetCountRule(kind)->nFactoryValue);
        SetDlgItemText(GetCountRule(kind)->nEditId, text);
    }
}

void CSettingDlg::OnSysCommand(UINT nID, LPARAM lParam) {
    if ((nID & 0xFFF0) == IDM_ABOUTBOX) {
        CAboutDlg dlgAbout;
        dlgAbout.DoModal();
    } else {
        CDialog::OnSysCommand(nID, lParam);
    }
}

void CSettingDlg::OnPaint() {
    if (!IsIconic()) {
        CDialog::OnPaint();
        return;
    }
    CPaintDC dc(this);
    SendMessage(WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc.GetSafeHdc()), 0);
    const int cxIcon = GetSystemMetrics(SM_CXICON);
    const int cyIcon = GetSystemMetrics(SM_CYICON);
    RECT rect;
    GetClientRect(&rect);
    const int x = (rect.right - rect.left - cxIcon + 1) / 2;
    const int y = (rect.bottom - rect.top - cyIcon + 1) / 2;
    dc.DrawIcon(x, y, m_hIcon);
}

HCURSOR CSettingDlg::OnQueryDragIcon() {
    return static_cast<HCURSOR>(m_hIcon);
}

void CSettingDlg::OnMimeSettings() {
    CMimeSettingDlg dlg;
    dlg.DoModal();
}
