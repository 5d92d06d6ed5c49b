// Collects a new mapping: an extension and its MIME type, both as the mapping rule wants.
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
