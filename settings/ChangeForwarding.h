// Where ApplyChangeSet sends a change set that the registry refused for want of access: the
// settings service's clients install a forwarder that saves it with the administrator's
// consent. Without one the refusal stands. Include after stdafx.h.
#pragma once

#include <vector>

#include "ChangeSet.h"

// Returns false when the change set is not its business (the refusal then stands);
// otherwise fills in the outcome it got.
using ChangeSetForwarder = bool (*)(const std::vector<Change>& changes, bool dryRun,
                                    ChangeOutcome& outcome);

void SetChangeSetForwarder(ChangeSetForwarder forwarder);

// For ApplyChangeSet: replaces an outcome refused with ERROR_ACCESS_DENIED by the
// forwarder's, when there is one that takes it; a refusal of the forwarder's own keeps
// the outcome's message number (117, 118), so the dialogs show what they always show.
void ForwardRefusedChangeSet(const std::vector<Change>& changes, bool dryRun,
                             ChangeOutcome& outcome);
