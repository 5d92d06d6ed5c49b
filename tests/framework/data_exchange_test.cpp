// Data exchange: loading, saving, the order of fields and the stop at the first failure.
#include <gtest/gtest.h>

#include "test_dialogs.h"

namespace {

TEST(DataExchange, InitialisationShowsTheMembersInTheControls) {
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [](DialogDriver& dlg) {
        EXPECT_EQ(dlg.Text(IDC_EDIT_ENTRYSECTION), "7");
        EXPECT_EQ(dlg.Text(IDC_EDIT_DOCLIST), "-3");
        EXPECT_EQ(dlg.Text(IDC_EDIT_SECLIST), "0");
        EXPECT_EQ(dlg.ComboSelection(IDC_COMBO_SORTKEY), -1);
        dlg.Press(Key::Escape);
    });
    CountsDialog dialog;
    dialog.m_entrySection = 7;
    dialog.m_docList = -3;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

TEST(DataExchange, StopsAtTheFirstBadFieldAndFocusesIt) {
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG,
                  [](DialogDriver& dlg) {
                      dlg.Type(IDC_EDIT_ENTRYSECTION, "50");
                      dlg.Type(IDC_EDIT_DOCLIST, "zwölf");
                      dlg.Type(IDC_EDIT_SECLIST, "500");  // also bad, but never reached
                      dlg.Click(IDOK);
                      // The message came and went; the dialog is still open.
                      EXPECT_EQ(dlg.FocusedId(), IDC_EDIT_DOCLIST);
                      auto* dialog = static_cast<CountsDialog*>(dlg.Dialog());
                      EXPECT_EQ(dialog->m_entrySection, 50);  // exchanged before the failure
                      EXPECT_EQ(dialog->m_secList, 0);        // not reached
                  })
        .OnMessageBox("Geben Sie eine ganze Zahl ein.", IDOK)
        .OnDialog(IDD_SETTING_DIALOG,
                  [](DialogDriver& dlg) {
                      dlg.Type(IDC_EDIT_DOCLIST, "12");
                      dlg.Press(Key::Enter);  // the default button
                      EXPECT_EQ(dlg.FocusedId(), IDC_EDIT_SECLIST);
                  })
        .OnMessageBox("Geben Sie eine ganze Zahl zwischen 10 und 100 ein.", IDOK)
        .OnDialog(IDD_SETTING_DIALOG, [](DialogDriver& dlg) {
            dlg.Type(IDC_EDIT_SECLIST, " 100 ");
            dlg.Click(IDOK);
        });
    CountsDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.m_entrySection, 50);
    EXPECT_EQ(dialog.m_docList, 12);
    EXPECT_EQ(dialog.m_secList, 100);
}

TEST(DataExchange, RangeMessageNamesTheFieldsOwnBounds) {
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG,
                  [](DialogDriver& dlg) {
                      dlg.Type(IDC_EDIT_ENTRYSECTION, "4");
                      dlg.Click(IDOK);
                      EXPECT_EQ(dlg.FocusedId(), IDC_EDIT_ENTRYSECTION);
                      dlg.Press(Key::Escape);
                  })
        .OnMessageBox("Geben Sie eine ganze Zahl zwischen 5 und 99 ein.", IDOK);
    CountsDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

TEST(DataExchange, WholeNumbersOnly) {
    // Each of these is refused with the whole-number message before any range check.
    for (const char* text : {"", "1.5", "12a", "+", "99999999999"}) {
        SCOPED_TRACE(text);
        UserSession user;
        user.OnDialog(IDD_SETTING_DIALOG,
                      [text](DialogDriver& dlg) {
                          dlg.Type(IDC_EDIT_ENTRYSECTION, text);
                          dlg.Click(IDOK);
                          dlg.Press(Key::Escape);
                      })
            .OnMessageBox("Geben Sie eine ganze Zahl ein.", IDOK);
        CountsDialog dialog;
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    }
}

TEST(DataExchange, CancelInEveryFormExchangesNothing) {
    // Button 2, Escape and the close box (the system's Close command).
    const std::vector<std::function<void(DialogDriver&)>> cancels = {
        [](DialogDriver& dlg) { dlg.Click(IDCANCEL); },
        [](DialogDriver& dlg) { dlg.Press(Key::Escape); },
        [](DialogDriver& dlg) { dlg.ChooseSystemMenuItem("Schließen"); },
        [](DialogDriver& dlg) { dlg.ClickCloseBox(); },
    };
    for (size_t i = 0; i < cancels.size(); ++i) {
        SCOPED_TRACE(i);
        UserSession user;
        user.OnDialog(IDD_MIME_ADD, [&](DialogDriver& dlg) {
            dlg.Type(IDC_MIME_EXTENSION, "pdf");
            cancels[i](dlg);
        });
        EntryDialog dialog;
        dialog.m_extension = "txt";
        EXPECT_EQ(dialog.DoModal(), IDCANCEL);
        EXPECT_EQ(dialog.m_extension, "txt");
    }
}

TEST(DataExchange, StringsAndComboSelectionGoBothWays) {
    {
        UserSession user;
        user.OnDialog(IDD_MIME_CHANGE, [](DialogDriver& dlg) {
            EXPECT_EQ(dlg.Text(IDC_MIME_EXTENSION), "pdf");
            EXPECT_EQ(dlg.Text(IDC_MIME_TYPE), "application/pdf");
            dlg.Type(IDC_MIME_TYPE, "application/x-pdf");
            dlg.Click(IDOK);
        });
        EntryDialog dialog(IDD_MIME_CHANGE);
        dialog.m_extension = "pdf";
        dialog.m_mimeType = "application/pdf";
        EXPECT_EQ(dialog.DoModal(), IDOK);
        EXPECT_EQ(dialog.m_mimeType, "application/x-pdf");
    }

    UserSession again;
    again.OnDialog(IDD_SETTING_DIALOG, [](DialogDriver& dlg) {
        EXPECT_EQ(dlg.ComboSelection(IDC_COMBO_SORTKEY), 2);
        dlg.SelectComboItem(IDC_COMBO_SORTKEY, 1);
        dlg.Type(IDC_EDIT_ENTRYSECTION, "5");
        dlg.Type(IDC_EDIT_DOCLIST, "10");
        dlg.Type(IDC_EDIT_SECLIST, "10");
        dlg.Click(IDOK);
    });
    CountsDialog counts;
    counts.m_sortKey = 2;
    counts.onInit = [](CountsDialog& self) {
        for (const char* key : {"a", "b", "c"}) self.m_sortKeys.AddString(key);
        self.UpdateData(FALSE);  // the list was empty at the first exchange
    };
    EXPECT_EQ(counts.DoModal(), IDOK);
    EXPECT_EQ(counts.m_sortKey, 1);
}

TEST(DataExchange, EndDialogDuringInitialisationNeverShowsTheWindow) {
    UserSession user;  // no window is expected
    CountsDialog dialog;
    dialog.onInit = [](CountsDialog& self) { self.EndDialog(IDOK); };
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(user.StepsTaken(), 0);
}

}  // namespace
