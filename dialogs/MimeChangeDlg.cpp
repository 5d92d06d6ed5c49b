#include "MimeChangeDlg.h"

CMimeChangeDlg::CMimeChangeDlg(CWnd* pParent) : CMimeEntryDlg(CMimeChangeDlg::IDD, pParent) {}

BOOL CMimeChangeDlg::OnInitDialog() {
    CMimeEntryDlg::OnInitDialog();
    m_editExtension.SetWindowText(m_strExtension);
    m_editMimeType.SetWindowText(m_strMimeType);
    return TRUE;
}
