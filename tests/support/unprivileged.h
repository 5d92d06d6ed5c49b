// Runs code in a child process as an unprivileged user, so that tests of file
// permissions mean something even when the tests run as root.
//
//   int status = marrowick::test::RunAsUnprivilegedUser([] {
//       HKEY key;
//       return RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_WRITE, &key) ==
//                      ERROR_ACCESS_DENIED ? 0 : 1;
//   });
//   EXPECT_EQ(status, 0);
//
// As root the child drops to nobody/nogroup (uid and gid 65534 when those names are
// unknown) before calling the function; otherwise it runs as the current user. GoogleTest
// assertions inside the function are not reported: return a status instead.
#pragma once

#include <functional>

namespace marrowick::test {

// Returns the function's result as the child's exit status (0..254), or -1 when the child
// could not be started, could not drop its privileges or died from a signal.
int RunAsUnprivilegedUser(const std::function<int()>& function);

// The same, running alongside the caller until Wait: for another user who acts while we do.
// As root, `user` names the account to become instead of nobody (a second ordinary user).
class UnprivilegedChild {
public:
    explicit UnprivilegedChild(const std::function<int()>& function, const char* user = nullptr);
    // Waits for the child unless Wait did.
    ~UnprivilegedChild();
    UnprivilegedChild(const UnprivilegedChild&) = delete;
    UnprivilegedChild& operator=(const UnprivilegedChild&) = delete;
    // What RunAsUnprivilegedUser would have returned.
    int Wait();

private:
    int pid_;
};

// Whether children started here really run as another user (only root can change user).
bool ChildrenRunAsAnotherUser();

}  // namespace marrowick::test
