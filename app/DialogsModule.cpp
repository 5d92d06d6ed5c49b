// The dialogs as a module the executable loads when it is started without arguments:
// the application object and the framework's entry point.
#include "DialogsModule.h"

#include <afxwin.h>

__attribute__((visibility("default"))) int MarrowickRunDialogs(int argc, char* argv[]) {
    return AfxWinMain(argc, argv);
}
