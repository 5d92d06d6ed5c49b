// The application's life is one run of the main form: however the form is closed,
// start-up returns FALSE so that the framework ends the process.
#include "stdafx.h"

#include <gtest/gtest.h>
#include <testing/user_session.h>

#include <functional>

#include "SettingApp.h"
#include "hive_fixture.h"
#include "resource.h"

using namespace afxtest;
using namespace marrowick::test;

namespace {

class SettingAppTest : public HiveTest {
protected:
    // Starts the application, lets `close` end the main form and reports what start-up
    // returned.
    BOOL RunApplicationClosedBy(const std::function<void(DialogDriver&)>& close) {
        UserSession user;
        user.OnDialog(IDD_SETTING_DIALOG, [&](DialogDriver& dlg) {
            EXPECT_EQ(AfxGetMainWnd(), dlg.Dialog());
            close(dlg);
        });
        const BOOL result = AfxGetApp()->InitInstance();
        user.Verify();
        EXPECT_EQ(AfxGetApp()->m_pMainWnd, nullptr);
        return result;
    }
};

TEST_F(SettingAppTest, OkCancelAndTheCloseBoxAllEndTheApplication) {
    EXPECT_FALSE(RunApplicationClosedBy([](DialogDriver& dlg) { dlg.Click(IDOK); }));
    EXPECT_FALSE(RunApplicationClosedBy([](DialogDriver& dlg) { dlg.Click(IDCANCEL); }));
    EXPECT_FALSE(RunApplicationClosedBy([](DialogDriver& dlg) { dlg.ClickCloseBox(); }));
}

}  // namespace

// The test program's one application object, as the real program has its own; the main
// form of every test here loads its icon through it.
CSettingApp theApp;
