#include "SettingDlg.h"

#include <algorithm>

#include "AboutDlg.h"
#include "MimeSettingDlg.h"

namespace {

constexpr int kCountKinds = ObjectNumKindCount;

}  // namespace

CSettingDlg::CSettingDlg(CWnd* pParent) : CDialog(CSettingDlg::IDD, pParent) {
    m_hIcon = AfxGetApp()->LoadIcon(IDR_MAINFRAME);
}

void CSettingDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_SPIN_SECTHUM, m_spinSecThum);
    DDX_Control(pDX, IDC_SPIN_DOCTHUM, m_spinDocThum);
    DDX_Control(pDX, IDC_SPIN_SECLIST, m_spinSecList);
    DDX_Control(pDX, IDC_SPIN_DOCLIST, m_spinDocList);
    DDX_Control(pDX, IDC_SPIN_ENTRYSECTION, m_spinEntrySection);
    DDX_Control(pDX, IDC_COMBO_SORTKEY, m_comboSortKey);
    DDX_Control(pDX, IDC_RADIO_SUNDAY, m_radioSunday);
    DDX_Control(pDX, IDC_RADIO_MONDAY, m_radioMonday);
    DDX_Control(pDX, IDC_RADIO_ASCENDING, m_radioAscending);
    DDX_Control(pDX, IDC_RADIO_DESCENDING, m_radioDescending);
    DDX_Control(pDX, IDC_EDIT_SECTHUM, m_editSecThum);
    DDX_Control(pDX, IDC_EDIT_DOCTHUM, m_editDocThum);
    DDX_Control(pDX, IDC_EDIT_SECLIST, m_editSecList);
    DDX_Control(pDX, IDC_EDIT_DOCLIST, m_editDocList);
    DDX_Control(pDX, IDC_EDIT_ENTRYSECTION, m_editEntrySection);
    ExchangeCount(pDX, IDC_EDIT_ENTRYSECTION, ObjectNumEntrySection, m_nEntrySection);
    ExchangeCount(pDX, IDC_EDIT_DOCLIST, ObjectNumDocList, m_nDocList);
    ExchangeCount(pDX, IDC_EDIT_SECLIST, ObjectNumSecList, m_nSecList);
    ExchangeCount(pDX, IDC_EDIT_DOCTHUM, ObjectNumDocThum, m_nDocThum);
    ExchangeCount(pDX, IDC_EDIT_SECTHUM, ObjectNumSecThum, m_nSecThum);
    DDX_CBIndex(pDX, IDC_COMBO_SORTKEY, m_nSortKey);
}

void CSettingDlg::ExchangeCount(CDataExchange* pDX, int editId, ObjectNumKind kind, int& value) {
    const CountRule& rule = *GetCountRule(kind);
    DDX_Text(pDX, editId, value);
    DDV_MinMaxInt(pDX, value, rule.nLower, rule.nUpper);
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
    m_editEntrySection.EnableWindow(TRUE);
    LoadCounts();
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
        CSpinButtonCtrl& spin = SpinOf(kind);
        spin.SetPos(position);
        spin.SetRange(static_cast<short>(rule.nLower), static_cast<short>(rule.nUpper));
    }
}

CSpinButtonCtrl& CSettingDlg::SpinOf(int kind) {
    CSpinButtonCtrl* const spins[kCountKinds] = {&m_spinEntrySection, &m_spinDocList,
                                                 &m_spinDocThum, &m_spinSecList, &m_spinSecThum};
    return *spins[kind];
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
    const int validated[kCountKinds] = {m_nEntrySection, m_nDocList, m_nDocThum, m_nSecList,
                                        m_nSecThum};
    for (int kind = 0; kind < kCountKinds; ++kind) {
        SpinOf(kind).SetPos(validated[kind]);
    }
    if (!SaveSettings()) {
        AfxMessageBox(IDS_SAVE_FAILED, MB_OK);
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
        const int position = static_cast<short>(LOWORD(SpinOf(kind).GetPos()));
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

    const int editIds[kCountKinds] = {IDC_EDIT_ENTRYSECTION, IDC_EDIT_DOCLIST, IDC_EDIT_DOCTHUM,
                                      IDC_EDIT_SECLIST, IDC_EDIT_SECTHUM};
    for (int kind = 0; kind < kCountKinds; ++kind) {
        CString text;
        text.Format("%d", GetCountRule(kind)->nFactoryValue);
        SetDlgItemText(editIds[kind], text);
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
