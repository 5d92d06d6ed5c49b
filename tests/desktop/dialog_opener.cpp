// Shows one of the program's dialogs on its own, in a process of its own, until the dialog
// is closed or the process ended: lets a test look at each dialog from outside, as a
// screen reader does. The hive is the one MARROWICK_HKLM names.
#include <afxwin.h>

#include <cstdio>
#include <cstring>

#include "AboutDlg.h"
#include "MimeAddDlg.h"
#include "MimeChangeDlg.h"
#include "MimeSettingDlg.h"
#include "SettingDlg.h"

namespace {

const char* g_dialog = "";

template <typename Dialog>
void Show(Dialog& dialog) {
    AfxGetApp()->m_pMainWnd = &dialog;
    dialog.DoModal();
    AfxGetApp()->m_pMainWnd = nullptr;
}

class COpenerApp : public CWinApp {
public:
    BOOL InitInstance() override {
        if (std::strcmp(g_dialog, "main") == 0) {
            CSettingDlg dialog;
            Show(dialog);
        } else if (std::strcmp(g_dialog, "mime") == 0) {
            CMimeSettingDlg dialog;
            Show(dialog);
        } else if (std::strcmp(g_dialog, "add") == 0) {
            CMimeAddDlg dialog;
            Show(dialog);
        } else if (std::strcmp(g_dialog, "change") == 0) {
            CMimeChangeDlg dialog;
            dialog.m_strExtension = "pdf";
            dialog.m_strMimeType = "application/pdf";
            Show(dialog);
        } else if (std::strcmp(g_dialog, "about") == 0) {
            CAboutDlg dialog;
            Show(dialog);
        }
        return FALSE;
    }
};

COpenerApp theApp;

}  // namespace

int main(int argc, char* argv[]) {
    const char* const known[] = {"main", "mime", "add", "change", "about"};
    for (const char* name : known) {
        if (argc == 2 && std::strcmp(argv[1], name) == 0) g_dialog = name;
    }
    if (!*g_dialog) {
        std::fprintf(stderr, "usage: %s main|mime|add|change|about\n", argv[0]);
        return 2;
    }
    return AfxWinMain(argc, argv);
}
