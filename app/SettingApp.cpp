#include "SettingApp.h"

#include "SettingDlg.h"

BEGIN_MESSAGE_MAP(CSettingApp, CWinApp)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

BOOL CSettingApp::InitInstance() {
    Enable3dControls();

    CSettingDlg dlg;
    m_pMainWnd = &dlg;
    dlg.DoModal();
    // The dialog dies with this frame; the framework must not see it afterwards.
    m_pMainWnd = nullptr;

    // FALSE ends the application instead of entering a message loop.
    return FALSE;
}
