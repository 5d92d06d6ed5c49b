// The journal calls of the dialogs and the command line (OnDemand.h): a command that stores
// nothing and reads no journal starts without the library. Without it no entry is written
// and none can be read; storing goes on as before.
#include "OnDemand.h"

#include <systemd/sd-journal.h>

#include <cerrno>

using marrowick::libsystemd::Resolve;

LIBSYSTEMD_ON_DEMAND(int, sd_journal_sendv, -ELIBACC, (const struct iovec* parts, int count),
                     (parts, count))
LIBSYSTEMD_ON_DEMAND(int, sd_journal_open, -ELIBACC, (sd_journal * *journal, int flags),
                     (journal, flags))
LIBSYSTEMD_ON_DEMAND(int, sd_journal_add_match, -ELIBACC,
                     (sd_journal * journal, const void* data, size_t size), (journal, data, size))
LIBSYSTEMD_ON_DEMAND(int, sd_journal_set_data_threshold, -ELIBACC,
                     (sd_journal * journal, size_t size), (journal, size))
LIBSYSTEMD_ON_DEMAND(int, sd_journal_seek_head, -ELIBACC, (sd_journal * journal), (journal))
LIBSYSTEMD_ON_DEMAND(int, sd_journal_seek_realtime_usec, -ELIBACC,
                     (sd_journal * journal, uint64_t usec), (journal, usec))
LIBSYSTEMD_ON_DEMAND(int, sd_journal_next, -ELIBACC, (sd_journal * journal), (journal))
LIBSYSTEMD_ON_DEMAND(int, sd_journal_get_realtime_usec, -ELIBACC,
                     (sd_journal * journal, uint64_t* usec), (journal, usec))
LIBSYSTEMD_ON_DEMAND(int, sd_journal_enumerate_data, -ELIBACC,
                     (sd_journal * journal, const void** data, size_t* length),
                     (journal, data, length))

void sd_journal_restart_data(sd_journal* journal) {
    static const auto call = Resolve<decltype(sd_journal_restart_data)>("sd_journal_restart_data");
    if (call) call(journal);
}

void sd_journal_close(sd_journal* journal) {
    static const auto call = Resolve<decltype(sd_journal_close)>("sd_journal_close");
    if (call) call(journal);
}
