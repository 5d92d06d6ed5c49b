// The one application object; the framework's entry point runs it.
#include "SettingApp.h"

CSettingApp theApp;
