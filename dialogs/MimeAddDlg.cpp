#include "MimeAddDlg.h"

CMimeAddDlg::CMimeAddDlg(CWnd* pParent) : CDialog(CMimeAddDlg::IDD, pParent) {}

void CMimeAddDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_MIME_TYPE, m_editMimeType);
    DDX_Control(pDX, IDC_MIME_EXTENSION, m_editExtension);
    DDX_Text(pDX, IDC_MIME_EXTENSION, m_strExtension);
    DDX_Text(pDX, IDC_MIME_TYPE, m_strMimeType);
}

BOOL CMimeAddDlg::OnInitDialog() {
    CDialog::OnInitDialog();
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
    CDialog::OnOK();
}
