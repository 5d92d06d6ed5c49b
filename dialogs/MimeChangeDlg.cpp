#include "MimeChangeDlg.h"

CMimeChangeDlg::CMimeChangeDlg(CWnd* pParent) : CDialog(CMimeChangeDlg::IDD, pParent) {}

void CMimeChangeDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_MIME_TYPE, m_editMimeType);
    DDX_Control(pDX, IDC_MIME_EXTENSION, m_editExtension);
    DDX_Text(pDX, IDC_MIME_EXTENSION, m_strExtension);
    DDX_Text(pDX, IDC_MIME_TYPE, m_strMimeType);
}

BOOL CMimeChangeDlg::OnInitDialog() {
    CDialog::OnInitDialog();
    m_editExtension.SetWindowText(m_strExtension);
    m_editMimeType.SetWindowText(m_strMimeType);
    return TRUE;
}
