// The keyboard as on Windows: Tab order, Enter, Escape, mnemonics and arrow keys.
#include <gtest/gtest.h>

#include "dialog_window.h"
#include "test_dialogs.h"

namespace {

void InCounts(std::function<void(DialogDriver&)> step) {
    CountsDialog dialog;
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [&](DialogDriver& dlg) {
        step(dlg);
        dlg.Press(Key::Escape);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
}

TEST(Keyboard, TabFollowsTemplateOrderOverTabStops) {
    InCounts([](DialogDriver& dlg) {
        // The first tab stop has the focus after initialisation.
        EXPECT_EQ(dlg.FocusedId(), IDOK);
        std::vector<int> order;
        for (int i = 0; i < 12; ++i) {
            dlg.Press(Key::Tab);
            order.push_back(dlg.FocusedId());
        }
        EXPECT_EQ(order,
                  (std::vector<int>{IDCANCEL, IDC_RADIO_SUNDAY, IDC_COMBO_SORTKEY,
                                    IDC_RADIO_ASCENDING, IDC_EDIT_ENTRYSECTION, IDC_EDIT_DOCLIST,
                                    IDC_EDIT_DOCTHUM, IDC_EDIT_SECLIST, IDC_EDIT_SECTHUM,
                                    IDC_MIME_SETTINGS, IDC_RESTORE_DEFAULTS, IDOK}));
        dlg.Press(Key::BackTab);
        EXPECT_EQ(dlg.FocusedId(), IDC_RESTORE_DEFAULTS);
    });
}

TEST(Keyboard, ArrowsMoveWithinARadioGroupAndCheck) {
    InCounts([](DialogDriver& dlg) {
        dlg.Click(IDC_RADIO_SUNDAY);
        dlg.Press(Key::Down);
        EXPECT_EQ(dlg.FocusedId(), IDC_RADIO_MONDAY);
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_MONDAY));
        EXPECT_FALSE(dlg.IsChecked(IDC_RADIO_SUNDAY));
        // The group wraps around and never reaches the next group.
        dlg.Press(Key::Down);
        EXPECT_EQ(dlg.FocusedId(), IDC_RADIO_SUNDAY);
        EXPECT_FALSE(dlg.IsChecked(IDC_RADIO_ASCENDING));
        // Tabbing into a group lands on its checked button.
        dlg.Press(Key::Right);
        dlg.Focus(IDCANCEL);
        dlg.Press(Key::Tab);
        EXPECT_EQ(dlg.FocusedId(), IDC_RADIO_MONDAY);
    });
}

TEST(Keyboard, MnemonicsOfStaticsFocusTheNextControl) {
    InCounts([](DialogDriver& dlg) {
        dlg.PressAlt('k');  // "Do&kument-Sortierschlüssel:"
        EXPECT_EQ(dlg.FocusedId(), IDC_COMBO_SORTKEY);
        dlg.PressAlt('p');  // "... für &Piktogramm-Ansicht ..."
        EXPECT_EQ(dlg.FocusedId(), IDC_EDIT_DOCTHUM);
        dlg.PressAlt('a');  // "Maximale &Anzahl ..."
        EXPECT_EQ(dlg.FocusedId(), IDC_EDIT_ENTRYSECTION);
    });
}

TEST(Keyboard, MnemonicsOfButtonsClickThem) {
    InCounts([](DialogDriver& dlg) {
        dlg.PressAlt('m');  // "Woche am &Montag beginnen"
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_MONDAY));
        EXPECT_EQ(dlg.FocusedId(), IDC_RADIO_MONDAY);
        dlg.PressAlt('b');  // "In a&bsteigender Reihenfolge sortieren"
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_DESCENDING));
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_MONDAY));
    });

    ListDialog list;
    int adds = 0;
    list.onAdd = [&] { ++adds; };
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING, [](DialogDriver& dlg) {
        dlg.PressAlt('h');      // "&Hinzufügen..."
        dlg.Press(Key::Enter);  // the focused push button, not the default one
        dlg.Click(IDOK);
    });
    list.DoModal();
    EXPECT_EQ(adds, 2);
}

TEST(Keyboard, ALetterAloneIsAMnemonicWhileAButtonHasTheFocus) {
    InCounts([](DialogDriver& dlg) {
        EXPECT_EQ(dlg.FocusedId(), IDOK);
        dlg.PressChar('m');
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_MONDAY));
        dlg.PressChar('K');  // a static's: on to its combo box
        EXPECT_EQ(dlg.FocusedId(), IDC_COMBO_SORTKEY);
        // In an edit the letter is text.
        dlg.Focus(IDC_EDIT_DOCLIST);
        dlg.PressChar('s');
        EXPECT_EQ(dlg.FocusedId(), IDC_EDIT_DOCLIST);
        EXPECT_FALSE(dlg.IsChecked(IDC_RADIO_SUNDAY));
    });
}

TEST(Keyboard, EnterPressesTheDefaultButtonFromAnEdit) {
    UserSession user;
    user.OnDialog(IDD_MIME_ADD, [](DialogDriver& dlg) {
        dlg.Type(IDC_MIME_TYPE, "text/plain");
        dlg.Press(Key::Enter);
    });
    EntryDialog dialog;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.m_mimeType, "text/plain");
}

TEST(Keyboard, ReadOnlyEditTakesNoTyping) {
    UserSession user;
    user.OnDialog(IDD_MIME_CHANGE, [](DialogDriver& dlg) {
        EXPECT_TRUE(dlg.IsReadOnly(IDC_MIME_EXTENSION));
        dlg.Type(IDC_MIME_EXTENSION, "exe");
        EXPECT_EQ(dlg.Text(IDC_MIME_EXTENSION), "pdf");
        dlg.Type(IDC_MIME_TYPE, "");
        dlg.Click(IDOK);
    });
    EntryDialog dialog(IDD_MIME_CHANGE);
    dialog.m_extension = "pdf";
    dialog.m_mimeType = "application/pdf";
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.m_extension, "pdf");
    EXPECT_EQ(dialog.m_mimeType, "");
}

TEST(SystemMenu, ARightClickOnTheBackgroundOpensIt) {
    UserSession user;
    user.OnDialog(IDD_ABOUTBOX, [](DialogDriver& dlg) {
        auto* window = dynamic_cast<afx::DialogWindow*>(afx::ToWidget(dlg.Dialog()->m_hWnd));
        EXPECT_EQ(window->OpenSystemMenu(), nullptr);
        dlg.RightClickBackground();
        ASSERT_NE(window->OpenSystemMenu(), nullptr);
        EXPECT_TRUE(window->OpenSystemMenu()->isVisible());
        window->OpenSystemMenu()->close();
        dlg.Click(IDOK);
    });
    CDialog about(IDD_ABOUTBOX);
    EXPECT_EQ(about.DoModal(), IDOK);
}

TEST(Keyboard, AltSpaceOpensTheSystemMenu) {
    UserSession user;
    user.OnDialog(IDD_ABOUTBOX, [](DialogDriver& dlg) { dlg.ChooseSystemMenuItem("Schließen"); });
    CDialog about(IDD_ABOUTBOX);
    EXPECT_EQ(about.DoModal(), IDCANCEL);
}

}  // namespace
