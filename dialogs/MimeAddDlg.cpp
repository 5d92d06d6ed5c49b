#include "MimeAddDlg.h"

CMimeAddDlg::CMimeAddDlg(CWnd* pParent) : CMimeEntryDlg(CMimeAddDlg::IDD, pParent) {}

BOOL CMimeAddDlg::OnInitDialog() {
    CMimeEntryDlg::OnInitDialog();
    return TRUE;
}

void CMimeAddDlg::OnOK() {
    m_editExtension.GetWindowText(m_strExtension);
    m_editMimeType.GetWindowText(m_strMimeType);
    if (m_strExtension.IsEmpty()) {
        AfxMessageBox(IDS_NO_EXTENSION, MB_OK);
        return;
    }
    if (m_strMimeType.IsEmpty()) {
        AfxMessageBox(IDS_NO_MIMETYPE, MB_OK);
        return;
    }
    CMimeEntryDlg::OnOK();
}
