#include "unprivileged.h"

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace marrowick::test {

namespace {

constexpr unsigned kFallbackId = 65534;

bool DropPrivileges() {
    if (geteuid() != 0) return true;
    const passwd* nobody = getpwnam("nobody");
    const group* nogroup = getgrnam("nogroup");
    const uid_t uid = nobody ? nobody->pw_uid : kFallbackId;
    const gid_t gid = nogroup ? nogroup->gr_gid : kFallbackId;
    // Supplementary groups first, then the group, then the user: afterwards we can't.
    return setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(uid) == 0 && geteuid() != 0;
}

}  // namespace

UnprivilegedChild::UnprivilegedChild(const std::function<int()>& function) : pid_(fork()) {
    if (pid_ == 0) {
        if (!DropPrivileges()) _exit(255);
        _exit(function() & 0xff);
    }
}

UnprivilegedChild::~UnprivilegedChild() {
    Wait();
}

int UnprivilegedChild::Wait() {
    if (pid_ < 0) return -1;
    int status = 0;
    while (waitpid(pid_, &status, 0) < 0) {
        if (errno != EINTR) {
            pid_ = -1;
            return -1;
        }
    }
    pid_ = -1;
    if (!WIFEXITED(status)) return -1;
    const int code = WEXITSTATUS(status);
    return code == 255 ? -1 : code;
}

int RunAsUnprivilegedUser(const std::function<int()>& function) {
    return UnprivilegedChild(function).Wait();
}

bool ChildrenRunAsAnotherUser() {
    return geteuid() == 0;
}

}  // namespace marrowick::test
