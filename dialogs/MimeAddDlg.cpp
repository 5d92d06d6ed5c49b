#include "MimeAddDlg.h"

#include "MimeRule.h"

CMimeAddDlg::CMimeAddDlg(CWnd* pParent) : CMimeEntryDlg(CMimeAddDlg::IDD, pParent) {}

BOOL CMimeAddDlg::OnInitDialog() {
    CMimeEntryDlg::OnInitDialog();
    return TRUE;
}

void CMimeAddDlg::OnOK() {
    m_editExtension.GetWindowText(m_strExtension);
    m_editMimeType.GetWindowText(m_strMimeType);
    // The rule every new mapping follows, the empty fields (102, 103) first among it.
    if (!Accepts(m_editExtension, MimeExtensionProblem(m_strExtension.GetString())) ||
        !Accepts(m_editMimeType, MimeTypeProblem(m_strMimeType.GetString()))) {
        return;
    }
    CMimeEntryDlg::OnOK();
}
