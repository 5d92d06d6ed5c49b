// The journal calls of the dialogs and the command line, made through libsystemd loaded when
// the first of them is made, as SdBusOnDemand.cpp does for sd-bus: a command that stores
// nothing and reads no journal starts without the library. Without it no entry is written
// and none can be read; storing goes on as before. The settings service links libsystemd
// and does not use this file.
//
// Each function here has the name and type sd-journal.h gives it. The file is compiled with
// hidden visibility: the library, once loaded, keeps calling its own functions.
#include <dlfcn.h>
#include <systemd/sd-journal.h>

#include <cerrno>

namespace {

void* Library() {
    static void* const library = dlopen("libsystemd.so.0", RTLD_NOW | RTLD_LOCAL);
    return library;
}

template <typename Function>
Function* Resolve(const char* name) {
    void* library = Library();
    return library ? reinterpret_cast<Function*>(dlsym(library, name)) : nullptr;
}

}  // namespace

#define SD_JOURNAL_ON_DEMAND(result, name, unloaded, parameters, arguments) \
    result name parameters {                                                \
        static const auto call = Resolve<decltype(name)>(#name);            \
        return call ? call arguments : unloaded;                            \
    }

SD_JOURNAL_ON_DEMAND(int, sd_journal_sendv, -ELIBACC, (const struct iovec* parts, int count),
                     (parts, count))
SD_JOURNAL_ON_DEMAND(int, sd_journal_open, -ELIBACC, (sd_journal * *journal, int flags),
                     (journal, flags))
SD_JOURNAL_ON_DEMAND(int, sd_journal_add_match, -ELIBACC,
                     (sd_journal * journal, const void* data, size_t size), (journal, data, size))
SD_JOURNAL_ON_DEMAND(int, sd_journal_set_data_threshold, -ELIBACC,
                     (sd_journal * journal, size_t size), (journal, size))
SD_JOURNAL_ON_DEMAND(int, sd_journal_seek_head, -ELIBACC, (sd_journal * journal), (journal))
SD_JOURNAL_ON_DEMAND(int, sd_journal_seek_realtime_usec, -ELIBACC,
                     (sd_journal * journal, uint64_t usec), (journal, usec))
SD_JOURNAL_ON_DEMAND(int, sd_journal_next, -ELIBACC, (sd_journal * journal), (journal))
SD_JOURNAL_ON_DEMAND(int, sd_journal_get_realtime_usec, -ELIBACC,
                     (sd_journal * journal, uint64_t* usec), (journal, usec))
SD_JOURNAL_ON_DEMAND(int, sd_journal_enumerate_data, -ELIBACC,
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
