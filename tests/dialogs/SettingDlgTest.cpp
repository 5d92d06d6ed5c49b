// The main form as a user meets it: what it shows for what is stored, what OK, Cancel
// and Restore defaults leave in the registry, and the About box.
#include "stdafx.h"

#include <gtest/gtest.h>
#include <testing/user_session.h>

#include <string>
#include <vector>

#include "DialogTest.h"
#include "SettingDlg.h"
#include "StoredSettings.h"
#include "UnprivilegedSession.h"
#include "hive_fixture.h"
#include "resource.h"

using namespace afxtest;
using namespace marrowick::test;

namespace {

const std::vector<std::string> kSortKeyLabels = {
    "Dokumentname", "Dokument-Nr.",           "Hinzugefügt",  "Geändert", "Ablaufdatum",
    "Größe",        "Anzahl von Abschnitten", "Arbeitsstatus"};
constexpr const char* kSaveFailed = "Die Einstellungen konnten nicht gespeichert werden.";

// The count fields in the order of the stored kinds: EntrySection, DocList, DocThum,
// SecList, SecThum.
std::vector<std::string> CountTexts(const DialogDriver& dlg) {
    return {dlg.Text(IDC_EDIT_ENTRYSECTION), dlg.Text(IDC_EDIT_DOCLIST), dlg.Text(IDC_EDIT_DOCTHUM),
            dlg.Text(IDC_EDIT_SECLIST), dlg.Text(IDC_EDIT_SECTHUM)};
}

std::vector<std::optional<int>> StoredCounts() {
    return {StoredSetting("EntrySection"), StoredSetting("DocList"), StoredSetting("DocThum"),
            StoredSetting("SecList"), StoredSetting("SecThum")};
}

std::vector<std::optional<int>> Counts(int a, int b, int c, int d, int e) {
    return {a, b, c, d, e};
}

const std::vector<std::string> kFactoryCountTexts = {"10", "20", "10", "20", "10"};

class SettingDlgTest : public DialogTest<CSettingDlg> {
protected:
    // A hive with every scalar setting stored, so that any write shows in its text.
    void PlantCompleteSettings() {
        hive.PlantDword(kViewerKey, "TopDay", 1);
        hive.PlantString(kViewerKey, "SortKey", "9340d382_ed79_11d2_8c3b_00e0292f001f");
        hive.PlantDword(kViewerKey, "SortDir", 1);
        for (const char* name : {"EntrySection", "DocList", "DocThum", "SecList", "SecThum"}) {
            hive.PlantDword(kObjectNumKey, name, 50);
        }
    }
};

TEST_F(SettingDlgTest, EmptyRegistryOpensAsFullyUsableFormAndWritesNothing) {
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [](DialogDriver& dlg) {
        EXPECT_EQ(dlg.Caption(), "Marrowick");
        EXPECT_FALSE(dlg.IsChecked(IDC_RADIO_SUNDAY));
        EXPECT_FALSE(dlg.IsChecked(IDC_RADIO_MONDAY));
        EXPECT_EQ(dlg.ComboItems(IDC_COMBO_SORTKEY), kSortKeyLabels);
        EXPECT_EQ(dlg.ComboSelection(IDC_COMBO_SORTKEY), 0);
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_ASCENDING));
        EXPECT_FALSE(dlg.IsChecked(IDC_RADIO_DESCENDING));
        EXPECT_EQ(CountTexts(dlg), kFactoryCountTexts);
        EXPECT_TRUE(dlg.IsEnabled(IDC_EDIT_ENTRYSECTION));
        dlg.Click(IDCANCEL);
    });
    EXPECT_EQ(RunDialog(), IDCANCEL);
    user.Verify();
    EXPECT_FALSE(hive.Exists());
}

TEST_F(SettingDlgTest, RestoreDefaultsThenOkStoresTheFactoryValues) {
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [](DialogDriver& dlg) {
        dlg.Click(IDC_RESTORE_DEFAULTS);
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_SUNDAY));
        dlg.Click(IDOK);
    });
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_EQ(StoredSetting("TopDay"), 1);
    EXPECT_EQ(StoredSetting("SortKey"), SortKeyDocName);
    EXPECT_EQ(StoredSetting("SortDir"), 0);
    EXPECT_EQ(StoredCounts(), Counts(10, 20, 10, 20, 10));
}

TEST_F(SettingDlgTest, RestoreDefaultsOverwritesEveryFieldOfAStoredForm) {
    PlantCompleteSettings();
    const std::string before = hive.ReadText();
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [](DialogDriver& dlg) {
        EXPECT_EQ(dlg.ComboSelection(IDC_COMBO_SORTKEY), 3);
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_DESCENDING));
        dlg.Click(IDC_RESTORE_DEFAULTS);
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_SUNDAY));
        EXPECT_FALSE(dlg.IsChecked(IDC_RADIO_MONDAY));
        EXPECT_EQ(dlg.ComboSelection(IDC_COMBO_SORTKEY), 0);
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_ASCENDING));
        EXPECT_FALSE(dlg.IsChecked(IDC_RADIO_DESCENDING));
        EXPECT_EQ(CountTexts(dlg), kFactoryCountTexts);
        dlg.Click(IDCANCEL);
    });
    EXPECT_EQ(RunDialog(), IDCANCEL);
    user.Verify();
    EXPECT_EQ(hive.ReadText(), before);
}

TEST_F(SettingDlgTest, StoredValuesAreShownAndWrittenBackUnchanged) {
    hive.PlantDword(kViewerKey, "TopDay", 2);
    hive.PlantString(kViewerKey, "SortKey", "3E149908_B1F6_11d3_88E3_000629B0191D");
    hive.PlantDword(kViewerKey, "SortDir", 3);
    hive.PlantDword(kObjectNumKey, "DocList", 45);
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [](DialogDriver& dlg) {
        EXPECT_FALSE(dlg.IsChecked(IDC_RADIO_SUNDAY));
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_MONDAY));
        EXPECT_EQ(dlg.ComboSelection(IDC_COMBO_SORTKEY), 5);
        // A direction the form does not know leaves both choices open, nothing else.
        EXPECT_FALSE(dlg.IsChecked(IDC_RADIO_ASCENDING));
        EXPECT_FALSE(dlg.IsChecked(IDC_RADIO_DESCENDING));
        EXPECT_EQ(CountTexts(dlg), (std::vector<std::string>{"10", "45", "10", "20", "10"}));
        dlg.Click(IDOK);
    });
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_EQ(StoredSetting("TopDay"), 2);
    EXPECT_EQ(StoredSetting("SortKey"), SortKeySize);
    EXPECT_EQ(StoredSetting("SortDir"), 3);  // no direction chosen, none written
    EXPECT_EQ(StoredCounts(), Counts(10, 45, 10, 20, 10));
}

TEST_F(SettingDlgTest, CountsOutsideTheirRangeAreShownAndStoredClamped) {
    // The up-down takes the low 16 bits as a signed number, then its range.
    hive.PlantDword(kObjectNumKey, "EntrySection", 3);
    hive.PlantDword(kObjectNumKey, "DocList", 150);
    hive.PlantDword(kObjectNumKey, "DocThum", 0xFFFFFFFF);  // -1
    hive.PlantDword(kObjectNumKey, "SecList", 0x1000A);     // low 16 bits are 10
    hive.PlantDword(kObjectNumKey, "SecThum", 0x20063);     // low 16 bits are 99
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [](DialogDriver& dlg) {
        EXPECT_EQ(CountTexts(dlg), (std::vector<std::string>{"5", "100", "10", "10", "99"}));
        dlg.Click(IDOK);
    });
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_EQ(StoredCounts(), Counts(5, 100, 10, 10, 99));
}

TEST_F(SettingDlgTest, CountWithTrailingBlanksIsStoredAsValidated) {
    // The exchange reads "50 " as 50; the up-down alone would keep its 20.
    hive.PlantDword(kObjectNumKey, "DocList", 20);
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [](DialogDriver& dlg) {
        dlg.Type(IDC_EDIT_DOCLIST, "50 ");
        dlg.Type(IDC_EDIT_SECTHUM, " 60  ");
        dlg.Click(IDOK);
    });
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_EQ(StoredCounts(), Counts(10, 50, 10, 20, 60));
}

TEST_F(SettingDlgTest, RejectedCountWritesNothingAndCancelKeepsTheRegistry) {
    PlantCompleteSettings();
    const std::string before = hive.ReadText();
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG,
                  [&](DialogDriver& dlg) {
                      dlg.Click(IDC_RADIO_MONDAY);
                      dlg.Type(IDC_EDIT_DOCLIST, "150");
                      dlg.Click(IDOK);
                      EXPECT_EQ(dlg.FocusedId(), IDC_EDIT_DOCLIST);
                      EXPECT_EQ(hive.ReadText(), before);
                      dlg.Type(IDC_EDIT_DOCLIST, "abc");
                      dlg.Click(IDOK);
                      EXPECT_EQ(hive.ReadText(), before);
                      dlg.Click(IDCANCEL);
                  })
        .OnMessageBox("Geben Sie eine ganze Zahl zwischen 10 und 100 ein.", IDOK)
        .OnMessageBox("Geben Sie eine ganze Zahl ein.", IDOK);
    EXPECT_EQ(RunDialog(), IDCANCEL);
    user.Verify();
    EXPECT_EQ(hive.ReadText(), before);
}

TEST_F(SettingDlgTest, CorrectedCountIsStoredOnTheSecondOk) {
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG,
                  [](DialogDriver& dlg) {
                      dlg.Type(IDC_EDIT_ENTRYSECTION, "4");
                      dlg.Click(IDOK);
                      dlg.Type(IDC_EDIT_ENTRYSECTION, "99");
                      dlg.Click(IDOK);
                  })
        .OnMessageBox("Geben Sie eine ganze Zahl zwischen 5 und 99 ein.", IDOK);
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_EQ(StoredCounts(), Counts(99, 20, 10, 20, 10));
}

TEST_F(SettingDlgTest, UnreadableHiveIsReportedOnOpeningAndAgainOnTheFailedSave) {
    hive.WriteText(kCorruptHive);
    UserSession user;
    user.OnMessageBox([&](MessageBoxDriver& box) {
            EXPECT_EQ(box.Text(),
                      "Die Einstellungen konnten nicht gelesen werden.\nDatei: " + hive.Path() +
                          ", Zeile 1\nGrund: Win32-Fehler 1009 (die Registrierung "
                          "ist beschädigt).\nDas Formular zeigt die Standardwerte. "
                          "Speichern schlägt fehl, bis der Fehler behoben ist.");
            EXPECT_EQ(box.Buttons(), std::vector<int>{IDOK});
            box.Press(IDOK);
        })
        .OnDialog(IDD_SETTING_DIALOG,
                  [](DialogDriver& dlg) {
                      EXPECT_EQ(CountTexts(dlg), kFactoryCountTexts);
                      dlg.Click(IDC_RESTORE_DEFAULTS);
                      dlg.Click(IDOK);
                      // Still open: the user may cancel or try again.
                      EXPECT_EQ(dlg.Text(IDC_EDIT_DOCLIST), "20");
                      dlg.Click(IDCANCEL);
                  })
        .OnMessageBox(RefusedWithReason(kSaveFailed));
    EXPECT_EQ(RunDialog(), IDCANCEL);
    user.Verify();
    EXPECT_EQ(hive.ReadText(), kCorruptHive);
}

TEST_F(SettingDlgTest, ReadOnlyHiveShowsStoredValuesAndReportsTheFailedSave) {
    hive.PlantDword(kViewerKey, "TopDay", 2);
    hive.PlantDword(kObjectNumKey, "DocList", 45);
    const std::string before = hive.ReadText();
    EXPECT_EQ(RunUnprivilegedSession("ReadOnlyHive.DISABLED_MainFormReportsTheFailedSave"),
              kSessionPassed);
    EXPECT_EQ(hive.ReadText(), before);
}

// Run by the test above in an unprivileged child.
TEST(ReadOnlyHive, DISABLED_MainFormReportsTheFailedSave) {
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG,
                  [](DialogDriver& dlg) {
                      EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_MONDAY));
                      EXPECT_EQ(dlg.Text(IDC_EDIT_DOCLIST), "45");
                      dlg.Click(IDOK);
                      EXPECT_TRUE(dlg.Exists(IDC_EDIT_DOCLIST));
                      dlg.Click(IDCANCEL);
                  })
        .OnMessageBox(RefusedWithReason(kSaveFailed));
    CSettingDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    EndUnprivilegedSession(user);
}

// Another writer holding the lock costs a wait of a few seconds, then the usual message.
TEST_F(SettingDlgTest, HeldLockReportsTheFailedSaveInsteadOfHanging) {
    PlantCompleteSettings();
    const std::string before = hive.ReadText();
    const HeldLock held(hive);
    ASSERT_TRUE(held.Held());
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG,
                  [](DialogDriver& dlg) {
                      dlg.Type(IDC_EDIT_DOCLIST, "33");
                      dlg.Click(IDOK);
                      EXPECT_EQ(dlg.Text(IDC_EDIT_DOCLIST), "33");
                      dlg.Click(IDCANCEL);
                  })
        .OnMessageBox(RefusedWithReason(kSaveFailed));
    EXPECT_EQ(RunDialog(), IDCANCEL);
    user.Verify();
    EXPECT_EQ(hive.ReadText(), before);
}

// A child whose filter names no session (a renamed one, say) passes nothing.
TEST(UnprivilegedSession, AChildThatRunsNoSessionIsNotAccepted) {
    EXPECT_NE(RunUnprivilegedSession("ReadOnlyHive.DISABLED_NoSuchSession"), kSessionPassed);
}

TEST_F(SettingDlgTest, AboutBoxOpensFromTheSystemMenuAgainAndAgain) {
    hive.PlantDword(kObjectNumKey, "DocList", 45);
    constexpr int kOpenings = 3;
    int aboutBoxesSeen = 0;
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [](DialogDriver& dlg) {
        const std::vector<std::string> menu = dlg.SystemMenu();
        ASSERT_GE(menu.size(), 2u);
        EXPECT_EQ(menu[menu.size() - 2], "");
        EXPECT_EQ(menu.back(), "&Marrowick Info...");
        dlg.Type(IDC_EDIT_SECTHUM, "77");
        for (int i = 0; i < kOpenings; ++i) {
            dlg.ChooseSystemMenuItem("&Marrowick Info...");
            EXPECT_EQ(dlg.Text(IDC_EDIT_DOCLIST), "45");
            EXPECT_EQ(dlg.Text(IDC_EDIT_SECTHUM), "77");
        }
        dlg.Click(IDCANCEL);
    });
    for (int i = 0; i < kOpenings; ++i) {
        user.OnDialog(IDD_ABOUTBOX, [&](DialogDriver& about) {
            ++aboutBoxesSeen;
            EXPECT_EQ(about.Caption(), "Marrowick Version");
            about.Click(IDOK);
        });
    }
    EXPECT_EQ(RunDialog(), IDCANCEL);
    user.Verify();
    EXPECT_EQ(aboutBoxesSeen, kOpenings);
}

}  // namespace
