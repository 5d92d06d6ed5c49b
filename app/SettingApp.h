// The application: its whole life is one modal run of the main settings dialog.
#pragma once

#include "stdafx.h"

class CSettingApp : public CWinApp {
public:
    CSettingApp() = default;

    BOOL InitInstance() override;

    DECLARE_MESSAGE_MAP()
};
