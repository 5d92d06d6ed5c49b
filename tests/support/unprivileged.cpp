#include "unprivileged.h"

#include <grp.h>
#include <pwd.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

namespace marrowick::test {

namespace {

constexpr unsigned kFallbackId = 65534;

bool DropPrivileges(const char* user) {
    if (geteuid() != 0) return true;
    uid_t uid = kFallbackId;
    gid_t gid = kFallbackId;
    if (user) {  // someone other than nobody: the account's own group
        const passwd* account = getpwnam(user);
        if (!account) return false;
        uid = account->pw_uid;
        gid = account->pw_gid;
    } else {
        const passwd* nobody = getpwnam("nobody");
        const group* nogroup = getgrnam("nogroup");
        if (nobody) uid = nobody->pw_uid;
        if (nogroup) gid = nogroup->gr_gid;
    }
    // Supplementary groups first, then the group, then the user: afterwards we can't.
    return setgroups(0, nullptr) == 0 && setgid(gid) == 0 && setuid(uid) == 0 && geteuid() != 0;
}

}  // namespace

UnprivilegedChild::UnprivilegedChild(const std::function<int()>& function, const char* user)
    : pid_(fork()) {
    if (pid_ == 0) {
        if (!DropPrivileges(user)) _exit(255);
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
