// Renders the main dialog as a person sees it, filled from a small sample registry, to the
// PNG named on the command line: the picture in the README. Part of `make screenshots`.
#include "stdafx.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "SettingDlg.h"
#include "ViewerSettings.h"
#include "dialog_picture.h"

namespace {

std::string g_outputPath;
bool g_saved = false;

// Stores a plausible configuration in a throw-away hive, so the picture shows a filled form.
void StoreSampleSettings() {
    CViewerSettings settings;
    settings.SetTopDay(2);
    settings.SetSortKey(SortKeyChanged);
    settings.SetSortDir(1);
    const int counts[] = {10, 30, 12, 20, 10};
    for (int kind = ObjectNumEntrySection; kind <= ObjectNumSecThum; ++kind) {
        settings.SetObjectNum(static_cast<ObjectNumKind>(kind), counts[kind]);
    }
}

class CScreenshotApp : public CWinApp {
public:
    BOOL InitInstance() override {
        StoreSampleSettings();
        PictureNextDialog(g_outputPath, g_saved);
        CSettingDlg dlg;
        m_pMainWnd = &dlg;
        dlg.DoModal();
        m_pMainWnd = nullptr;
        return FALSE;
    }
};

CScreenshotApp theApp;

}  // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <file.png>\n", argv[0]);
        return 2;
    }
    g_outputPath = argv[1];
    const std::filesystem::path output(g_outputPath);
    if (output.has_parent_path()) std::filesystem::create_directories(output.parent_path());
    const std::filesystem::path hive = std::filesystem::temp_directory_path() /
                                       ("marrowick-screenshot-" + std::to_string(getpid()));
    std::filesystem::create_directories(hive);
    setenv("MARROWICK_HKLM", (hive / "HKLM.reg").c_str(), 1);
    AfxWinMain(argc, argv);
    std::filesystem::remove_all(hive);
    if (!g_saved) {
        std::fprintf(stderr, "%s: could not save %s\n", argv[0], g_outputPath.c_str());
        return 1;
    }
    std::printf("%s\n", g_outputPath.c_str());
    return 0;
}
