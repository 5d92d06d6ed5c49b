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
    if (!installed(changes, dryRun, forwarded)) return;
    // A refusal before anything was tried keeps the dialog's message for this change set.
    if (!forwarded.Applied() && forwarded.messageId == 0) forwarded.messageId = outcome.messageId;
    outcome = std::move(forwarded);
}
