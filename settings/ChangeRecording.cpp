#include "stdafx.h"

#include "ChangeRecording.h"

namespace {
StoredChangeSetRecorder installed = nullptr;
}

void SetStoredChangeSetRecorder(StoredChangeSetRecorder recorder) {
    installed = recorder;
}

void RecordStoredChangeSet(const std::vector<Change>& changed) {
    if (installed && !changed.empty()) installed(changed);
}
