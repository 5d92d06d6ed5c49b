// The dialogs as a module the executable loads when it is started without arguments:
// the application object and the framework's entry point. The dialogs run as the user;
// what the user may not save goes to the settings service, and the desktop's polkit agent
// asks for the administrator's password.
#include "DialogsModule.h"

#include <afxwin.h>

#include "SettingsClient.h"

__attribute__((visibility("default"))) int MarrowickRunDialogs(int argc, char* argv[]) {
    marrowick::service::ForwardChangeSetsToService({.askPassword = true, .textAgent = false});
    return AfxWinMain(argc, argv);
}
