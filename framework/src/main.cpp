// The program's entry point; everything happens in the application object.
#include <afxwin.h>

int main(int argc, char* argv[]) {
    return AfxWinMain(argc, argv);
}
