#include "stdafx.h"

#include "ChangeForwarding.h"

namespace {
ChangeSetForwarder installed = nullptr;
}

void SetChangeSetForwarder(ChangeSetForwarder forwarder) {
    installed = forwarder;
}

void ForwardRefusedChangeSet(const std::vector<Change>& changes, bool dryRun,
                             ChangeOutcome& outcome) {
    if (!installed || outcome.result != ChangeOutcome::kRegistryError ||
        outcome.status != ERROR_ACCESS_DENIED)
        return;
    ChangeOutcome forwarded;
    if (installed(changes, dryRun, forwarded)) outcome = std::move(forwarded);
}
