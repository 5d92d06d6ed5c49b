// A program with nothing but an application object: says that it started, then exits
// with 7, so a test can tell the application object ran.
#include <afxwin.h>

#include <cstdio>

class ProbeApp : public CWinApp {
public:
    BOOL InitInstance() override {
        std::printf("started as %s\n", m_pszAppName);
        return FALSE;
    }
    int ExitInstance() override { return 7; }
};

ProbeApp theApp;

int main(int argc, char* argv[]) {
    return AfxWinMain(argc, argv);
}
