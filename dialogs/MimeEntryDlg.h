// What the add and change dialogs have in common: one mapping's two edits and their texts.
// The caller may set the texts before running the dialog and reads them after IDOK.
#pragma once

#include "stdafx.h"

#include <string>

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
    // TRUE when `problem` (the mapping rule's answer for the text of `edit`) is empty;
    // otherwise shows it and puts the focus on that edit, the typed text left as it is.
    BOOL Accepts(CEdit& edit, const std::string& problem);
};
