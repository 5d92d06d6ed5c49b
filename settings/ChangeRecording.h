// Who is told of each change set this process stored: the program's own writers (the
// dialogs, the command line) install a recorder that leaves an entry in the system's
// journal. Dry runs, change sets that change nothing, refusals and change sets the
// settings service stored instead (it records them itself) are not told. Include after
// stdafx.h.
#pragma once

#include <vector>

#include "ChangeSet.h"

// Gets what was changed, each change with its old value, as ApplyChangeSet reports it.
using StoredChangeSetRecorder = void (*)(const std::vector<Change>& changed);

void SetStoredChangeSetRecorder(StoredChangeSetRecorder recorder);

// For ApplyChangeSet, after it stored `changed`; nothing happens for an empty set.
void RecordStoredChangeSet(const std::vector<Change>& changed);
