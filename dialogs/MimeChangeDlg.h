// Edits the MIME type of an existing mapping; the extension is shown read-only.
#pragma once

#include "MimeEntryDlg.h"

class CMimeChangeDlg : public CMimeEntryDlg {
public:
    explicit CMimeChangeDlg(CWnd* pParent = nullptr);

    enum { IDD = IDD_MIME_CHANGE };

protected:
    BOOL OnInitDialog() override;
};
