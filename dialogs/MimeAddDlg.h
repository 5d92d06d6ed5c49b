// Collects a new mapping: an extension and its MIME type, both required.
#pragma once

#include "MimeEntryDlg.h"

class CMimeAddDlg : public CMimeEntryDlg {
public:
    explicit CMimeAddDlg(CWnd* pParent = nullptr);

    enum { IDD = IDD_MIME_ADD };

protected:
    BOOL OnInitDialog() override;
    void OnOK() override;
};
