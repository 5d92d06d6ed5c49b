// Message boxes, nested modal runs, and sessions that go wrong without hanging.
#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <QTest>

#include "test_dialogs.h"

namespace {

TEST(MessageBox, OkOnlyFromAStringResource) {
    UserSession user;
    user.OnMessageBox([](MessageBoxDriver& box) {
        EXPECT_EQ(box.Text(), "Bitte eine Auswahl treffen.");
        EXPECT_EQ(box.Buttons(), std::vector<int>{IDOK});
        EXPECT_FALSE(box.HasIcon());
        // The application's name, taken from the executable's.
        EXPECT_EQ(box.Caption(), "framework_tests");
        box.Press(Key::Escape);  // the only button answers Escape too
    });
    EXPECT_EQ(AfxMessageBox(IDS_NO_SELECTION), IDOK);
}

TEST(MessageBox, OkAndCancelReturnWhatWasPressed) {
    const char* question =
        "Erweiterungen\tpdf\nSollen diese Einstellungen tatsächlich gelöscht werden?";
    UserSession user;
    user.OnMessageBox([&](MessageBoxDriver& box) {
            EXPECT_EQ(box.Text(), question);
            EXPECT_EQ(box.Buttons(), (std::vector<int>{IDOK, IDCANCEL}));
            box.Press(IDCANCEL);
        })
        .OnMessageBox(question, IDOK)
        .OnMessageBox([](MessageBoxDriver& box) { box.Press(Key::Escape); })
        .OnMessageBox([](MessageBoxDriver& box) { box.Press(Key::Enter); });
    EXPECT_EQ(AfxMessageBox(question, MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(AfxMessageBox(question, MB_OKCANCEL), IDOK);
    EXPECT_EQ(AfxMessageBox(question, MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(AfxMessageBox(question, MB_OKCANCEL), IDOK);
}

TEST(MessageBox, FromADialogOpenedByADialog) {
    ListDialog list;
    int innerResult = 0;
    int answer = 0;
    list.onAdd = [&] {
        EntryDialog entry;
        innerResult = static_cast<int>(entry.DoModal());
    };
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING,
                  [](DialogDriver& dlg) {
                      dlg.Click(IDC_MIME_ADD);
                      // Back in the outer dialog once the inner one has closed.
                      EXPECT_EQ(dlg.TemplateId(), static_cast<UINT>(IDD_MIME_SETTING));
                      dlg.Click(IDOK);
                  })
        .OnDialog(IDD_MIME_ADD,
                  [&](DialogDriver& dlg) {
                      answer = AfxMessageBox("Weiter?", MB_OKCANCEL);
                      dlg.Type(IDC_MIME_EXTENSION, "pdf");
                      dlg.Click(IDOK);
                  })
        .OnMessageBox("Weiter?", IDCANCEL);
    EXPECT_EQ(list.DoModal(), IDOK);
    EXPECT_EQ(answer, IDCANCEL);
    EXPECT_EQ(innerResult, IDOK);
    EXPECT_EQ(user.StepsTaken(), 3);
}

TEST(Session, AnOuterWindowStaysWithItsStepWhileAnInnerStepFinishes) {
    ListDialog list;
    int opened = 0;
    list.onAdd = [&] {
        ++opened;
        EntryDialog entry;
        entry.DoModal();
    };
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING,
                  [](DialogDriver& dlg) {
                      dlg.Click(IDC_MIME_ADD);
                      dlg.Click(IDC_MIME_ADD);
                      dlg.Click(IDOK);
                  })
        .OnDialog(IDD_MIME_ADD,
                  [](DialogDriver& dlg) {
                      dlg.Click(IDCANCEL);
                      // The list is active again while this step still runs; it is not
                      // the next step's window.
                      QTest::qWait(30);
                  })
        .OnDialog(IDD_MIME_ADD, [](DialogDriver& dlg) { dlg.Press(Key::Escape); });
    EXPECT_EQ(list.DoModal(), IDOK);
    EXPECT_EQ(opened, 2);
    EXPECT_EQ(user.StepsTaken(), 3);
}

TEST(Session, AWindowNobodyExpectsFailsTheTestAndIsClosed) {
    EXPECT_NONFATAL_FAILURE(
        {
            UserSession user;
            EntryDialog dialog;
            EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        },
        "Unexpected dialog 130");
}

TEST(Session, TheWrongWindowFailsTheTestAndDropsTheRest) {
    EXPECT_NONFATAL_FAILURE(
        {
            UserSession user;
            user.OnMessageBox("Bitte eine Auswahl treffen.", IDOK)
                .OnDialog(IDD_MIME_ADD, [](DialogDriver& dlg) { dlg.Click(IDOK); });
            EntryDialog dialog;
            EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        },
        "Expected a message box, but dialog 130");
}

TEST(Session, AWindowThatNeverComesFailsTheTest) {
    EXPECT_NONFATAL_FAILURE(
        {
            UserSession user;
            user.OnDialog(IDD_ABOUTBOX, [](DialogDriver& dlg) { dlg.Click(IDOK); });
        },
        "Expected dialog 100, but it never came");
}

// Acting on a control that is missing or of another kind fails the test and nothing else:
// the step goes on, and the dialog still closes.
TEST(Session, AControlOfAnotherKindFailsTheTestAndTheStepGoesOn) {
    const struct {
        std::function<void(DialogDriver&)> act;
        const char* failure;
    } cases[] = {
        {[](DialogDriver& dlg) { dlg.ListRows(IDC_MIME_EXTENSION); }, "is no list view"},
        {[](DialogDriver& dlg) { dlg.ListSelectedRow(IDC_MIME_TYPE); }, "is no list view"},
        {[](DialogDriver& dlg) { dlg.SelectListRow(IDOK, 0); }, "is no list view"},
        {[](DialogDriver& dlg) { dlg.ClickSpin(IDC_MIME_EXTENSION, true); },
         "is no up-down control"},
        {[](DialogDriver& dlg) { dlg.IsChecked(IDC_MIME_TYPE); }, "is not of the expected kind"},
        {[](DialogDriver& dlg) { dlg.Text(4711); }, "has no control 4711"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.failure);
        bool wentOn = false;
        UserSession user;
        user.OnDialog(IDD_MIME_ADD, [&](DialogDriver& dlg) {
            EXPECT_NONFATAL_FAILURE(c.act(dlg), c.failure);
            wentOn = true;
            dlg.Press(Key::Escape);
        });
        EntryDialog dialog;
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        user.Verify();
        EXPECT_TRUE(wentOn);
    }
}

}  // namespace
