#include "MimeChangeDlg.h"

#include "MimeRule.h"

CMimeChangeDlg::CMimeChangeDlg(CWnd* pParent) : CMimeEntryDlg(CMimeChangeDlg::IDD, pParent) {}

BOOL CMimeChangeDlg::OnInitDialog() {
    CMimeEntryDlg::OnInitDialog();
    m_editExtension.SetWindowText(m_strExtension);
    m_editMimeType.SetWindowText(m_strMimeType);
    m_strShownType = m_strMimeType;
    return TRUE;
}

void CMimeChangeDlg::OnOK() {
    CString typed;
    m_editMimeType.GetWindowText(typed);
    // A stored type that breaks the rule (a Windows registry may hold one) can be kept,
    // but not typed anew.
    if (typed != m_strShownType && !Accepts(m_editMimeType, MimeTypeProblem(typed.GetString()))) {
        return;
    }
    CMimeEntryDlg::OnOK();
}
