// The About box, opened from the main dialog's system menu.
#pragma once

#include "stdafx.h"

#include "resource.h"

class CAboutDlg : public CDialog {
public:
    CAboutDlg();

    enum { IDD = IDD_ABOUTBOX };
};
