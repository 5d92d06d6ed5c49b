// Edits the MIME type of an existing mapping; the extension is shown read-only.
#pragma once

#include "stdafx.h"

#include "resource.h"

class CMimeChangeDlg : public CDialog {
public:
    explicit CMimeChangeDlg(CWnd* pParent = nullptr);

    enum { IDD = IDD_MIME_CHANGE };

    CEdit m_editMimeType;
    CEdit m_editExtension;
    CString m_strExtension;
    CString m_strMimeType;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
};
