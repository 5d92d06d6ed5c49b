#include "MimeEntryDlg.h"

CMimeEntryDlg::CMimeEntryDlg(UINT nIDTemplate, CWnd* pParent) : CDialog(nIDTemplate, pParent) {}

void CMimeEntryDlg::DoDataExchange(CDataExchange* pDX) {
    CDialog::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_MIME_TYPE, m_editMimeType);
    DDX_Control(pDX, IDC_MIME_EXTENSION, m_editExtension);
    DDX_Text(pDX, IDC_MIME_EXTENSION, m_strExtension);
    DDX_Text(pDX, IDC_MIME_TYPE, m_strMimeType);
}

BOOL CMimeEntryDlg::Accepts(CEdit& edit, const std::string& problem) {
    if (problem.empty()) return TRUE;
    AfxMessageBox(problem.c_str(), MB_OK);
    edit.SetFocus();
    return FALSE;
}
