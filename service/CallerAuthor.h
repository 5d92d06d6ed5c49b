// Who called the settings service, for the journal's entry of what it stored for them: the
// user and process the bus vouches for, with the account's and the process's names looked up
// as they are now. Include after stdafx.h.
#pragma once

#include <systemd/sd-bus.h>

#include <optional>

#include "ChangeJournal.h"

namespace marrowick::service {

// What the bus says of a caller's connection (GetConnectionCredentials).
struct CallerCredentials {
    std::optional<uid_t> uid;
    std::optional<pid_t> pid;
};

// Reads the answer to GetConnectionCredentials; a negative errno when it is unreadable.
int ReadCallerCredentials(sd_bus_message* answer, CallerCredentials& credentials);

// The caller as the author of a change set through the service; uid -1 when the bus could
// not tell (the entry then says so rather than naming anyone).
journal::Author CallerAuthor(const CallerCredentials& credentials);

}  // namespace marrowick::service
