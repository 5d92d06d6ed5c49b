#include "stdafx.h"

#include "CallerAuthor.h"

#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <cstring>
#include <string>

namespace marrowick::service {

namespace {

// The process's name as the kernel keeps it (at most 15 bytes), or empty when it is gone.
std::string ProcessName(pid_t pid) {
    const std::string path = "/proc/" + std::to_string(pid) + "/comm";
    const int file = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) return {};
    char buffer[64];
    const ssize_t got = read(file, buffer, sizeof buffer);
    close(file);
    if (got <= 0) return {};
    std::string name(buffer, static_cast<std::size_t>(got));
    while (!name.empty() && name.back() == '\n') name.pop_back();
    return name;
}

}  // namespace

int ReadCallerCredentials(sd_bus_message* answer, CallerCredentials& credentials) {
    int r = sd_bus_message_enter_container(answer, 'a', "{sv}");
    while (r > 0 && (r = sd_bus_message_enter_container(answer, 'e', "sv")) > 0) {
        const char* key = nullptr;
        if ((r = sd_bus_message_read_basic(answer, 's', &key)) < 0) break;
        const bool isUser = std::strcmp(key, "UnixUserID") == 0;
        const bool isProcess = std::strcmp(key, "ProcessID") == 0;
        if (isUser || isProcess) {
            uint32_t id = 0;
            if ((r = sd_bus_message_read(answer, "v", "u", &id)) < 0) break;
            if (isUser) credentials.uid = static_cast<uid_t>(id);
            if (isProcess) credentials.pid = static_cast<pid_t>(id);
        } else if ((r = sd_bus_message_skip(answer, "v")) < 0) {
            break;
        }
        if ((r = sd_bus_message_exit_container(answer)) < 0) break;
        r = 1;
    }
    if (r < 0) return r;
    return sd_bus_message_exit_container(answer);
}

journal::Author CallerAuthor(const CallerCredentials& credentials) {
    journal::Author author;
    author.face = journal::Face::kService;
    author.uid = static_cast<uid_t>(-1);
    if (credentials.uid) {
        author.uid = *credentials.uid;
        struct passwd entry {};
        struct passwd* found = nullptr;
        char buffer[4096];
        if (getpwuid_r(author.uid, &entry, buffer, sizeof buffer, &found) == 0 && found) {
            author.user = found->pw_name;
        }
    }
    if (credentials.pid) {
        author.pid = *credentials.pid;
        author.process = ProcessName(author.pid);
    }
    return author;
}

}  // namespace marrowick::service
