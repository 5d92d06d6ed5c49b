#include "stdafx.h"

#include <gtest/gtest.h>

#include <string>

#include "ChangeForwarding.h"
#include "SettingRules.h"
#include "hive_fixture.h"
#include "unprivileged.h"

namespace marrowick::test {
namespace {

int forwarded = 0;
bool forwarderRefuses = false;

bool FakeService(const std::vector<Change>& changes, bool, ChangeOutcome& outcome) {
    ++forwarded;
    outcome = {};
    if (forwarderRefuses) {
        outcome.result = ChangeOutcome::kRegistryError;
        outcome.status = ERROR_ACCESS_DENIED;
        outcome.message = "refused by the service";
    } else {
        outcome.changed = changes;
    }
    return true;
}

// A change the registry refuses for want of access goes to the forwarder; its refusal keeps
// the message number the dialogs show, its success stands. Who may write never forwards.
TEST(ChangeForwarding, OnlyChangesRefusedForWantOfAccessAreForwarded) {
    if (!ChildrenRunAsAnotherUser()) GTEST_SKIP() << "needs root to act as another user";
    TemporaryHive hive;
    hive.WriteText("REGEDIT4\n");
    const std::vector<Change> add = {SetStringChange(kMimeMapKeyPath, "pdf", "application/pdf")};
    enum { kAsExpected, kNotForwarded, kMessageLost, kNotApplied };
    const int refused = RunAsUnprivilegedUser([&] {
        SetChangeSetForwarder(nullptr);
        const ChangeOutcome alone = ApplyChangeSet(add);
        SetChangeSetForwarder(FakeService);
        forwarderRefuses = true;
        const ChangeOutcome outcome = ApplyChangeSet(add);
        if (forwarded != 1) return kNotForwarded;
        if (alone.messageId == 0 || outcome.messageId != alone.messageId ||
            outcome.message != "refused by the service")
            return kMessageLost;
        forwarderRefuses = false;
        return ApplyChangeSet(add).Applied() ? kAsExpected : kNotApplied;
    });
    EXPECT_EQ(refused, kAsExpected);

    SetChangeSetForwarder(FakeService);
    EXPECT_TRUE(ApplyChangeSet(add).Applied());
    EXPECT_EQ(forwarded, 0) << "a writable hive was forwarded";
    EXPECT_NE(hive.ReadText().find("application/pdf"), std::string::npos);
    SetChangeSetForwarder(nullptr);
}

}  // namespace
}  // namespace marrowick::test
