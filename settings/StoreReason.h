// Why the registry refused, in German and alike on every face: the command line's messages
// and the dialogs' second lines. Include after stdafx.h.
#pragma once

#include <string>

#include "ChangeSet.h"

// "Win32-Fehler 5 (Zugriff verweigert)", and where the store says more than the code (an
// unsafe or missing directory, a hive grown too large) its account of the place. Call it
// right after the failure: the store's account is gone once the hive is looked at again.
std::string RegistryErrorText(LONG code);

// A dialog's message for a change set it could not store: its string resource (117, 118,
// 119, ...) and, on a second line, the reason the store or the settings service gave.
std::string ChangeRefusalText(const ChangeOutcome& outcome);

// What the main dialog says when it opens on settings it cannot read (the registry's code
// `status`): what is wrong, in which file and line, and that saving fails until it is mended.
std::string UnreadableSettingsText(LONG status);
