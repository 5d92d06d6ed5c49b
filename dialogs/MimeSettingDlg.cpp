#include "MimeSettingDlg.h"

#include "MimeAddDlg.h"
#include "MimeChangeDlg.h"

CMimeSettingDlg::CMimeSettingDlg(CWnd* pParent) : CDialog(CMimeSettingDlg::IDD, pParent) {}

void CMimeSettingDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_MIME_LIST, m_listMime);
}

BEGIN_MESSAGE_MAP(CMimeSettingDlg, CDialog)
ON_BN_CLICKED(IDC_MIME_ADD, &CMimeSettingDlg::OnAddMime)
ON_BN_CLICKED(IDC_MIME_DELETE, &CMimeSettingDlg::OnDeleteMime)
ON_BN_CLICKED(IDC_MIME_CHANGE, &CMimeSettingDlg::OnChangeMime)
END_MESSAGE_MAP()

BOOL CMimeSettingDlg::OnInitDialog() {
    CDialog::OnInitDialog();

    RECT rect;
    m_listMime.GetClientRect(&rect);
    const int width = rect.right - rect.left;
    CString heading;
    heading.LoadString(IDS_EXTENSIONS);
    m_listMime.InsertColumn(0, heading, LVCFMT_LEFT, width / 4);
    heading.LoadString(IDS_MIMETYPE);
    // As wide as the whole list, so long types scroll instead of being cut off.
    m_listMime.InsertColumn(1, heading, LVCFMT_LEFT, width);

    RefreshList();
    return TRUE;
}

void CMimeSettingDlg::RefreshList() {
    m_mimeEntries.RemoveAll();
    m_listMime.DeleteAllItems();
    m_settings.GetMimeMap(m_mimeEntries);

    const int count = static_cast<int>(m_mimeEntries.GetSize());
    for (int i = 0; i < count; ++i) {
        m_listMime.InsertItem(i, m_mimeEntries[i].strExtension);
    }
    for (int i = 0; i < count; ++i) {
        m_listMime.SetItemText(i, 1, m_mimeEntries[i].strMimeType);
    }
}

BOOL CMimeSettingDlg::IsExtensionListed(const CString& extension) const {
    return MimeEntriesHaveExtension(m_mimeEntries, extension);
}

void CMimeSettingDlg::OnAddMime() {
    CMimeAddDlg dlg;
    if (dlg.DoModal() != IDOK) {
        return;
    }
    if (IsExtensionListed(dlg.m_strExtension)) {
        AfxMessageBox(IDS_DUPLICATE_EXTENSION, MB_OK);
        return;
    }
    BOOL written = FALSE;
    m_settings.AddMimeType(dlg.m_strExtension, dlg.m_strMimeType, &written);
    ReportIfNotWritten(written);
    RefreshList();
}

void CMimeSettingDlg::OnChangeMime() {
    const int selected = m_listMime.GetSelectionMark();
    if (selected == -1) {
        AfxMessageBox(IDS_NO_SELECTION, MB_OK);
        return;
    }
    CMimeChangeDlg dlg;
    dlg.m_strExtension = m_listMime.GetItemText(selected, 0);
    dlg.m_strMimeType = m_listMime.GetItemText(selected, 1);
    if (dlg.DoModal() != IDOK) {
        return;
    }
    BOOL written = FALSE;
    m_settings.ChangeMimeType(dlg.m_strExtension, dlg.m_strMimeType, &written);
    ReportIfNotWritten(written);
    RefreshList();
}

void CMimeSettingDlg::OnDeleteMime() {
    const int selected = m_listMime.GetSelectionMark();
    if (selected == -1) {
        AfxMessageBox(IDS_NO_SELECTION, MB_OK);
        return;
    }
    CString extensionLabel;
    extensionLabel.LoadString(IDS_EXTENSIONS);
    CString mimeTypeLabel;
    mimeTypeLabel.LoadString(IDS_MIMETYPE);
    CString question;
    question.LoadString(IDS_CONFIRM_DELETE);
    const CString message = extensionLabel + "\t" + m_listMime.GetItemText(selected, 0) + "\n" +
                            mimeTypeLabel + "\t" + m_listMime.GetItemText(selected, 1) + "\n" +
                            question;
    if (AfxMessageBox(message, MB_OKCANCEL) != IDOK) {
        return;
    }
    BOOL written = FALSE;
    m_settings.DeleteMimeType(m_listMime.GetItemText(m_listMime.GetSelectionMark(), 0), &written);
    ReportIfNotWritten(written);
    RefreshList();
}

void CMimeSettingDlg::ReportIfNotWritten(BOOL written) {
    if (!written) {
        AfxMessageBox(IDS_MIME_SAVE_FAILED, MB_OK);
    }
}
