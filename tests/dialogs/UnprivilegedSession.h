// Sessions against a hive the user may read but not write. The tests run as root in CI,
// which ignores file modes, so such a session runs in a fresh copy of this test program
// started as an unprivileged user (a fork alone would inherit the toolkit's threads in a
// state the child cannot use). The session itself is a disabled test that only the
// child runs; it ends with EndUnprivilegedSession, which alone gives the exit status the
// parent accepts. A filter that matches no test, or a session that stops early, makes
// GoogleTest exit with 0 or 1 instead, and the parent's test fails.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>
#include <testing/user_session.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "unprivileged.h"

namespace marrowick::test {

// The child's exit status when its session ran to the end and nothing failed.
inline constexpr int kSessionPassed = 42;

// Runs the disabled test `suiteAndName` (e.g. "Suite.DISABLED_Case") unprivileged on the
// hive MARROWICK_HKLM names; kSessionPassed when it ran to its end and passed. Without root
// the child stays who we are, so for its run the hive and its directory are made read-only
// for us instead.
inline int RunUnprivilegedSession(const std::string& suiteAndName) {
    const char* configured = std::getenv("MARROWICK_HKLM");
    const std::string hive = configured ? configured : "";
    const std::string directory = hive.substr(0, hive.rfind('/'));
    struct stat hiveStatus = {};
    struct stat directoryStatus = {};
    const bool readOnlyForUs =
        !ChildrenRunAsAnotherUser() && stat(hive.c_str(), &hiveStatus) == 0 &&
        stat(directory.c_str(), &directoryStatus) == 0 && chmod(hive.c_str(), 0444) == 0 &&
        chmod(directory.c_str(), 0555) == 0;
    const std::string filter = "--gtest_filter=" + suiteAndName;
    const int status = RunAsUnprivilegedUser([&] {
        execl("/proc/self/exe", "dialogs_tests", filter.c_str(), "--gtest_also_run_disabled_tests",
              static_cast<char*>(nullptr));
        return 127;
    });
    if (readOnlyForUs) {
        chmod(directory.c_str(), directoryStatus.st_mode & 07777);
        chmod(hive.c_str(), hiveStatus.st_mode & 07777);
    }
    return status;
}

// The last statement of a child's session: checks that every step of `user` received its
// window, then ends the child with kSessionPassed, or with 1 after any failure.
inline void EndUnprivilegedSession(afxtest::UserSession& user) {
    user.Verify();
    const bool passed = user.StepsTaken() > 0 && !::testing::Test::HasFailure();
    std::fflush(nullptr);
    _exit(passed ? kSessionPassed : 1);
}

}  // namespace marrowick::test
