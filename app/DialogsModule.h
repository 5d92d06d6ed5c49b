// The one entry of the dialogs module, which the executable loads when it is started without
// arguments and looks up by this name.
#pragma once

extern "C" int MarrowickRunDialogs(int argc, char* argv[]);

inline constexpr const char kDialogsEntryName[] = "MarrowickRunDialogs";
using DialogsEntry = decltype(&MarrowickRunDialogs);
