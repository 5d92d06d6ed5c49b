#include "stdafx.h"

#include "CallerAuthor.h"

#include <pwd.h>

namespace marrowick::service {

journal::Author CallerAuthor(sd_bus_message* call) {
    journal::Author author;
    author.face = journal::Face::kService;
    author.uid = static_cast<uid_t>(-1);
    sd_bus_creds* creds = nullptr;
    // The uid comes from the bus daemon; the name and the process id are looked up as
    // they are now.
    if (sd_bus_query_sender_creds(call,
                                  SD_BUS_CREDS_EUID | SD_BUS_CREDS_UID | SD_BUS_CREDS_PID |
                                      SD_BUS_CREDS_COMM | SD_BUS_CREDS_AUGMENT,
                                  &creds) < 0) {
        return author;
    }
    uid_t uid = 0;
    if (sd_bus_creds_get_euid(creds, &uid) >= 0 || sd_bus_creds_get_uid(creds, &uid) >= 0) {
        author.uid = uid;
        struct passwd entry {};
        struct passwd* found = nullptr;
        char buffer[4096];
        if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) == 0 && found) {
            author.user = found->pw_name;
        }
    }
    pid_t pid = 0;
    if (sd_bus_creds_get_pid(creds, &pid) >= 0) author.pid = pid;
    const char* comm = nullptr;
    if (sd_bus_creds_get_comm(creds, &comm) >= 0 && comm) author.process = comm;
    sd_bus_creds_unref(creds);
    return author;
}

}  // namespace marrowick::service
