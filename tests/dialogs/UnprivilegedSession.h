// Sessions against a hive the user may read but not write. The tests run as root in CI,
// which ignores file modes, so such a session runs in a fresh copy of this test program
// started as an unprivileged user (a fork alone would inherit the toolkit's threads in a
// state the child cannot use). The session itself is a disabled test that only the
// child runs; its own assertions decide the child's exit status.
#pragma once

#include <unistd.h>

#include <string>

#include "unprivileged.h"

namespace marrowick::test {

// Runs the disabled test `suiteAndName` (e.g. "Suite.DISABLED_Case") unprivileged on the
// hive MARROWICK_HKLM names; 0 when it passed.
inline int RunUnprivilegedSession(const std::string& suiteAndName) {
    const std::string filter = "--gtest_filter=" + suiteAndName;
    return RunAsUnprivilegedUser([&] {
        execl("/proc/self/exe", "dialogs_tests", filter.c_str(), "--gtest_also_run_disabled_tests",
              static_cast<char*>(nullptr));
        return 127;
    });
}

}  // namespace marrowick::test
