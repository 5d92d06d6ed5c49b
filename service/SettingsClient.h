// The settings service's client side, for the dialogs and the command line: a change set
// this process may not write to the machine's own hive goes to org.marrowick.Settings1,
// which asks polkit and saves it as root. Include after stdafx.h.
#pragma once

#include <vector>

#include "ChangeSet.h"

namespace marrowick::service {

struct ServiceOptions {
    // Whether polkit may ask for the administrator's password (the desktop's agent, or
    // the text agent below); otherwise a call that needs one is refused.
    bool askPassword = true;
    // Whether to start a text agent on this terminal for the call, as systemd's tools do.
    bool textAgent = false;
};

// From now on ApplyChangeSet hands a change set to the service when the registry refused
// it for want of access and the hive is the machine's own (MARROWICK_HKLM unset).
void ForwardChangeSetsToService(const ServiceOptions& options);

// Sends one change set to the service. Its outcome, or, when the service cannot be reached
// or the caller is not authorised, kRegistryError with ERROR_ACCESS_DENIED and a message in
// German that says what to do instead; nothing is written then.
ChangeOutcome ApplyThroughService(const std::vector<Change>& changes, bool dryRun,
                                  const ServiceOptions& options);

}  // namespace marrowick::service
