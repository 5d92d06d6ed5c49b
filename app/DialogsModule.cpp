// The dialogs as a module the executable loads when it is started without arguments:
// the application object and the framework's entry point. The dialogs run as the user;
// what the user may not save goes to the settings service, and the desktop's polkit agent
// asks for the administrator's password. What the dialogs store themselves is entered in
// the journal.
#include "DialogsModule.h"

#include <afxwin.h>

#include "ChangeJournal.h"
#include "SettingsClient.h"

__attribute__((visibility("default"))) int MarrowickRunDialogs(int argc, char* argv[]) {
    marrowick::service::ForwardChangeSetsToService({.askPassword = true, .textAgent = false});
    marrowick::journal::RecordStoredChangeSetsAs(marrowick::journal::Face::kDialog);
    return AfxWinMain(argc, argv);
}
