// Collects a new mapping: an extension and its MIME type, both required.
#pragma once

#include "stdafx.h"

#include "resource.h"

class CMimeAddDlg : public CDialog {
public:
    explicit CMimeAddDlg(CWnd* pParent = nullptr);

    enum { IDD = IDD_MIME_ADD };

    CEdit m_editMimeType;
    CEdit m_editExtension;
    CString m_strExtension;
    CString m_strMimeType;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
};
