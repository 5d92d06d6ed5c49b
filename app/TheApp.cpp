// The one application object; AfxWinMain, called by the dialogs module's entry, runs it.
#include "SettingApp.h"

CSettingApp theApp;
