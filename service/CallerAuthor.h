// Who called the settings service, for the journal's entry of what it stored for them: the
// user the bus vouches for, and the calling process's name and id. Include after stdafx.h.
#pragma once

#include <systemd/sd-bus.h>

#include "ChangeJournal.h"

namespace marrowick::service {

// The caller of `call` as the author of a change set through the service; uid -1 when the
// bus cannot tell (the entry then says so rather than naming anyone).
journal::Author CallerAuthor(sd_bus_message* call);

}  // namespace marrowick::service
