// What the add and change dialogs have in common: one mapping's two edits and their texts.
// The caller may set the texts before running the dialog and reads them after IDOK.
#pragma once

#include "stdafx.h"

#include "resource.h"

class CMimeEntryDlg : public CDialog {
public:
    CEdit m_editMimeType;
    CEdit m_editExtension;
    CString m_strExtension;
    CString m_strMimeType;

protected:
    CMimeEntryDlg(UINT nIDTemplate, CWnd* pParent);

    void DoDataExchange(CDataExchange* pDX) override;
};
