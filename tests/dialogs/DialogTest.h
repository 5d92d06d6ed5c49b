// What the tests of a dialog share: each test runs the dialog against its own empty hive,
// and a refused save is reported in the dialog's words with the store's reason below.
#pragma once

#include "stdafx.h"

#include <gtest/gtest.h>
#include <testing/user_session.h>

#include <functional>
#include <string>
#include <vector>

#include "hive_fixture.h"

namespace marrowick::test {

template <class Dialog>
class DialogTest : public HiveTest {
protected:
    // Runs the dialog modally; the session's steps answer its windows.
    INT_PTR RunDialog() {
        Dialog dlg;
        return dlg.DoModal();
    }
};

// A refusal in the dialog's words with the store's reason on a second line, OK only.
inline std::function<void(afxtest::MessageBoxDriver&)> RefusedWithReason(std::string first) {
    return [=](afxtest::MessageBoxDriver& box) {
        const std::string text = box.Text();
        EXPECT_EQ(text.substr(0, first.size() + 1), first + "\n") << text;
        EXPECT_NE(text.find("\nWin32-Fehler "), std::string::npos) << text;
        EXPECT_EQ(box.Buttons(), std::vector<int>{IDOK});
        box.Press(IDOK);
    };
}

}  // namespace marrowick::test
