// Edits the MIME type of an existing mapping; the extension is shown read-only. A type
// typed anew must follow the mapping rule; the one shown may stay as stored.
#pragma once

#include "MimeEntryDlg.h"

class CMimeChangeDlg : public CMimeEntryDlg {
public:
    explicit CMimeChangeDlg(CWnd* pParent = nullptr);

    enum { IDD = IDD_MIME_CHANGE };

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;

private:
    CString m_strShownType;  // as the dialog opened
};
