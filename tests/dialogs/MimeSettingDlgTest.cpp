// The list of mappings: what it shows for what is stored, and what each add, change and
// delete leaves in the registry and on screen.
#include "stdafx.h"

#include <gtest/gtest.h>
#include <testing/user_session.h>

#include <string>
#include <vector>

#include "DialogTest.h"
#include "MimeSettingDlg.h"
#include "SettingDlg.h"
#include "StoredSettings.h"
#include "UnprivilegedSession.h"
#include "hive_fixture.h"
#include "resource.h"

using namespace afxtest;
using namespace marrowick::test;
using namespace std::string_literals;

namespace {

constexpr const char* kNoSelection = "Bitte eine Auswahl treffen.";
constexpr const char* kDuplicate = "Diese Erweiterung wurde bereits definiert.";
constexpr const char* kNotStored = "Die MIME-Typ-Einstellung konnte nicht gespeichert werden.";
constexpr const char* kGone = "Diese Erweiterung wurde inzwischen gelöscht.";

using Rows = std::vector<ListRow>;

// A step of the add dialog that enters one mapping and confirms it.
std::function<void(DialogDriver&)> Enter(std::string extension, std::string mimeType) {
    return [=](DialogDriver& dlg) {
        dlg.Type(IDC_MIME_EXTENSION, extension);
        dlg.Type(IDC_MIME_TYPE, mimeType);
        dlg.Click(IDOK);
    };
}

// The hive as another writer leaves it, holding just these mappings.
std::string HiveWith(const std::string& mappings) {
    return std::string("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\") + kMimeMapKey + "]\n" + mappings;
}

class MimeSettingDlgTest : public DialogTest<CMimeSettingDlg> {
protected:
    void Plant(const std::vector<ListRow>& mappings) {
        for (const ListRow& mapping : mappings) {
            hive.PlantString(kMimeMapKey, mapping[0].c_str(), mapping[1]);
        }
    }
};

TEST_F(MimeSettingDlgTest, EmptyMapListsNothingAndChangeOrDeleteAskForASelection) {
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING,
                  [](DialogDriver& dlg) {
                      EXPECT_EQ(dlg.Caption(), "MIME-Typ-Einstellungen");
                      EXPECT_TRUE(dlg.ListRows(IDC_MIME_LIST).empty());
                      dlg.Click(IDC_MIME_CHANGE);
                      dlg.Click(IDC_MIME_DELETE);
                      dlg.Click(IDOK);
                  })
        .OnMessageBox(kNoSelection, IDOK)
        .OnMessageBox(kNoSelection, IDOK);
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_FALSE(hive.Exists());
}

TEST_F(MimeSettingDlgTest, MappingsAreListedByExtensionIgnoringCase) {
    Plant({{"txt", "text/plain"}, {"HTM", "text/html"}, {"doc", "application/msword"}});
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING, [](DialogDriver& dlg) {
        EXPECT_EQ(
            dlg.ListRows(IDC_MIME_LIST),
            (Rows{{"doc", "application/msword"}, {"HTM", "text/html"}, {"txt", "text/plain"}}));
        EXPECT_EQ(dlg.ListSelectedRow(IDC_MIME_LIST), -1);
        dlg.Click(IDOK);
    });
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
}

TEST_F(MimeSettingDlgTest, AddingAStoredExtensionInOtherCaseIsRefused) {
    Plant({{"pdf", "application/pdf"}});
    const std::string before = hive.ReadText();
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING,
                  [](DialogDriver& dlg) {
                      dlg.Click(IDC_MIME_ADD);
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST), (Rows{{"pdf", "application/pdf"}}));
                      dlg.Click(IDOK);
                  })
        .OnDialog(IDD_MIME_ADD, Enter("PDF", "application/x-pdf"))
        .OnMessageBox(kDuplicate, IDOK);
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_EQ(hive.ReadText(), before);
}

// ".rtf" would be a second mapping beside "rtf" that the duplicate check cannot see.
TEST_F(MimeSettingDlgTest, AddRefusesADottedExtensionBesideTheStoredOne) {
    Plant({{"rtf", "application/rtf"}});
    const std::string before = hive.ReadText();
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING,
                  [](DialogDriver& dlg) {
                      dlg.Click(IDC_MIME_ADD);
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST), (Rows{{"rtf", "application/rtf"}}));
                      dlg.Click(IDOK);
                  })
        .OnDialog(IDD_MIME_ADD,
                  [](DialogDriver& dlg) {
                      Enter(".rtf", "text/rtf")(dlg);
                      EXPECT_EQ(dlg.Text(IDC_MIME_EXTENSION), ".rtf");
                      dlg.Click(IDCANCEL);
                  })
        .OnMessageBox("„.rtf“: Die Erweiterung steht ohne führenden Punkt, also „rtf“.", IDOK);
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_EQ(hive.ReadText(), before);
}

TEST_F(MimeSettingDlgTest, NewMappingIsStoredAndListedInPlaceWithNothingSelected) {
    Plant({{"txt", "text/plain"}, {"doc", "application/msword"}});
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING,
                  [](DialogDriver& dlg) {
                      dlg.SelectListRow(IDC_MIME_LIST, 1);
                      dlg.Click(IDC_MIME_ADD);
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST), (Rows{{"doc", "application/msword"},
                                                                   {"Htm", "text/html"},
                                                                   {"txt", "text/plain"}}));
                      EXPECT_EQ(dlg.ListSelectedRow(IDC_MIME_LIST), -1);
                      dlg.Click(IDC_MIME_CHANGE);
                      dlg.Click(IDOK);
                  })
        .OnDialog(IDD_MIME_ADD, Enter("Htm", "text/html"))
        .OnMessageBox(kNoSelection, IDOK);
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_EQ(StoredMimeType("Htm"), "text/html");
}

TEST_F(MimeSettingDlgTest, DeleteAsksFirstAndRemovesOnlyWhenConfirmed) {
    Plant({{"doc", "application/msword"}, {"htm", "text/html"}, {"txt", "text/plain"}});
    const std::string question =
        "Erweiterungen\thtm\nMIME-Typ/Untertyp\ttext/html\n"
        "Sollen diese Einstellungen tatsächlich gelöscht werden?";
    auto ask = [&](int answer) {
        return [=](MessageBoxDriver& box) {
            EXPECT_EQ(box.Text(), question);
            EXPECT_EQ(box.Buttons(), (std::vector<int>{IDOK, IDCANCEL}));
            EXPECT_FALSE(box.HasIcon());
            box.Press(answer);
        };
    };
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING,
                  [](DialogDriver& dlg) {
                      dlg.SelectListRow(IDC_MIME_LIST, 1);
                      dlg.Click(IDC_MIME_DELETE);
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST).size(), 3u);
                      EXPECT_TRUE(StoredMimeType("htm").has_value());
                      dlg.Click(IDC_MIME_DELETE);
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST),
                                (Rows{{"doc", "application/msword"}, {"txt", "text/plain"}}));
                      EXPECT_EQ(dlg.ListSelectedRow(IDC_MIME_LIST), -1);
                      dlg.Click(IDOK);
                  })
        .OnMessageBox(ask(IDCANCEL))
        .OnMessageBox(ask(IDOK));
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_FALSE(StoredMimeType("htm").has_value());
    EXPECT_EQ(StoredMimeType("doc"), "application/msword");
}

TEST_F(MimeSettingDlgTest, ChangeRewritesTheSelectedMapping) {
    Plant({{"doc", "application/msword"}, {"txt", "text/plain"}});
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING,
                  [](DialogDriver& dlg) {
                      dlg.SelectListRow(IDC_MIME_LIST, 1);
                      dlg.Click(IDC_MIME_CHANGE);
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST),
                                (Rows{{"doc", "application/msword"}, {"txt", "text/markdown"}}));
                      EXPECT_EQ(dlg.ListSelectedRow(IDC_MIME_LIST), -1);
                      dlg.Click(IDOK);
                  })
        .OnDialog(IDD_MIME_CHANGE, [](DialogDriver& dlg) {
            EXPECT_EQ(dlg.Text(IDC_MIME_EXTENSION), "txt");
            EXPECT_EQ(dlg.Text(IDC_MIME_TYPE), "text/plain");
            dlg.Type(IDC_MIME_TYPE, "text/markdown");
            dlg.Click(IDOK);
        });
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_EQ(StoredMimeType("txt"), "text/markdown");
}

// Names that do not survive the way to the screen: bytes that are not UTF-8. (A name with
// an embedded NUL, which no registry call could name, no longer loads from the hive.)
TEST_F(MimeSettingDlgTest, DeleteAndChangeActOnTheStoredNameOfTheSelectedRow) {
    hive.WriteText(
        HiveWith("\"\xff\"=\"x/picked\"\n\"\xEF\xBF\xBD\"=\"x/other\"\n"
                 "\"htm\"=\"text/html\"\n"));
    const Rows kept = {{"htm", "text/html"}, {"\uFFFD", "x/other"}};
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING,
                  [&](DialogDriver& dlg) {
                      Rows rows = kept;
                      rows.push_back({"\\xff", "x/picked"});
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST), rows);
                      dlg.SelectListRow(IDC_MIME_LIST, 2);
                      dlg.Click(IDC_MIME_CHANGE);
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST)[2], (ListRow{"\\xff", "x/changed"}));
                      dlg.SelectListRow(IDC_MIME_LIST, 2);
                      dlg.Click(IDC_MIME_DELETE);
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST), kept);
                      dlg.Click(IDOK);
                  })
        .OnDialog(IDD_MIME_CHANGE,
                  [](DialogDriver& dlg) {
                      EXPECT_EQ(dlg.Text(IDC_MIME_EXTENSION), "\\xff");
                      dlg.Type(IDC_MIME_TYPE, "x/changed");
                      dlg.Click(IDOK);
                  })
        .OnMessageBox([](MessageBoxDriver& box) {
            EXPECT_EQ(box.Text().substr(0, 19), "Erweiterungen\t\\xff\n");
            box.Press(IDOK);
        });
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_FALSE(StoredMimeType("\xff").has_value());
    EXPECT_EQ(StoredMimeType("\xEF\xBF\xBD"), "x/other");
    EXPECT_EQ(StoredMimeType("htm"), "text/html");
}

// While the list is open another writer stores pdf, then deletes the mapping being changed.
TEST_F(MimeSettingDlgTest, AddAndChangeGoByWhatIsStoredNowNotByTheList) {
    const std::string doc = "\"doc\"=\"application/msword\"\n";
    const std::string pdf = "\"pdf\"=\"application/pdf\"\n";
    hive.WriteText(HiveWith(doc));
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING,
                  [](DialogDriver& dlg) {
                      dlg.Click(IDC_MIME_ADD);
                      dlg.SelectListRow(IDC_MIME_LIST, 0);
                      dlg.Click(IDC_MIME_CHANGE);
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST), (Rows{{"pdf", "application/pdf"}}));
                      dlg.Click(IDOK);
                  })
        .OnDialog(IDD_MIME_ADD,
                  [&](DialogDriver& dlg) {
                      hive.WriteText(HiveWith(doc + pdf));
                      Enter("PDF", "application/x-pdf")(dlg);
                  })
        .OnMessageBox(kDuplicate, IDOK)
        .OnDialog(IDD_MIME_CHANGE,
                  [&](DialogDriver& dlg) {
                      hive.WriteText(HiveWith(pdf));
                      dlg.Click(IDOK);
                  })
        .OnMessageBox(kGone, IDOK);
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_EQ(hive.ReadText(), HiveWith(pdf));  // nothing written over the other writer
}

TEST_F(MimeSettingDlgTest, LongMimeTypeHidesNoMappingFromListOrDuplicateCheck) {
    const std::string longType = "application/" + std::string(288, 'x');
    Plant({{"mmm", longType}, {"zzz", "text/z"}, {"aaa", "text/a"}});
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING,
                  [&](DialogDriver& dlg) {
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST),
                                (Rows{{"aaa", "text/a"}, {"mmm", longType}, {"zzz", "text/z"}}));
                      dlg.Click(IDC_MIME_ADD);
                      dlg.Click(IDOK);
                  })
        .OnDialog(IDD_MIME_ADD, Enter("ZZZ", "text/other"))
        .OnMessageBox(kDuplicate, IDOK);
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_EQ(StoredMimeType("zzz"), "text/z");
}

TEST_F(MimeSettingDlgTest, UnreadableHiveReportsEveryChangeAsNotStored) {
    hive.WriteText(kCorruptHive);
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING,
                  [](DialogDriver& dlg) {
                      dlg.Click(IDC_MIME_ADD);
                      EXPECT_TRUE(dlg.ListRows(IDC_MIME_LIST).empty());
                      dlg.Click(IDOK);
                  })
        .OnDialog(IDD_MIME_ADD, Enter("pdf", "application/pdf"))
        .OnMessageBox(RefusedWithReason(kNotStored));
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_EQ(hive.ReadText(), kCorruptHive);
}

TEST_F(MimeSettingDlgTest, ReadOnlyHiveReportsFailedAddChangeAndDelete) {
    Plant({{"doc", "application/msword"}});
    const std::string before = hive.ReadText();
    EXPECT_EQ(RunUnprivilegedSession("ReadOnlyHive.DISABLED_MimeListReportsEveryFailedChange"),
              kSessionPassed);
    EXPECT_EQ(hive.ReadText(), before);
}

// Run by the test above in an unprivileged child.
TEST(ReadOnlyHive, DISABLED_MimeListReportsEveryFailedChange) {
    const Rows stored = {{"doc", "application/msword"}};
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING,
                  [&](DialogDriver& dlg) {
                      dlg.Click(IDC_MIME_ADD);
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST), stored);
                      dlg.SelectListRow(IDC_MIME_LIST, 0);
                      dlg.Click(IDC_MIME_CHANGE);
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST), stored);
                      dlg.SelectListRow(IDC_MIME_LIST, 0);
                      dlg.Click(IDC_MIME_DELETE);
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST), stored);
                      dlg.Click(IDOK);
                  })
        .OnDialog(IDD_MIME_ADD, Enter("pdf", "application/pdf"))
        .OnMessageBox(RefusedWithReason(kNotStored))
        .OnDialog(IDD_MIME_CHANGE,
                  [](DialogDriver& dlg) {
                      dlg.Type(IDC_MIME_TYPE, "text/plain");
                      dlg.Click(IDOK);
                  })
        .OnMessageBox(RefusedWithReason(kNotStored))
        .OnMessageBox([](MessageBoxDriver& box) { box.Press(IDOK); })  // the question
        .OnMessageBox(RefusedWithReason(kNotStored));
    CMimeSettingDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EndUnprivilegedSession(user);
}

TEST_F(MimeSettingDlgTest, MainFormOpensTheListAndChangesOutliveClosingIt) {
    Plant({{"txt", "text/plain"}});
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG,
                  [](DialogDriver& dlg) {
                      dlg.Click(IDC_MIME_SETTINGS);
                      dlg.Click(IDC_MIME_SETTINGS);
                      dlg.Click(IDCANCEL);
                  })
        .OnDialog(IDD_MIME_SETTING,
                  [](DialogDriver& dlg) {
                      dlg.Click(IDC_MIME_ADD);
                      dlg.SelectListRow(IDC_MIME_LIST, 1);
                      dlg.Click(IDC_MIME_DELETE);
                      dlg.Click(IDOK);  // "Schließen"
                  })
        .OnDialog(IDD_MIME_ADD, Enter("pdf", "application/pdf"))
        .OnMessageBox([](MessageBoxDriver& box) { box.Press(IDOK); })
        .OnDialog(IDD_MIME_SETTING, [](DialogDriver& dlg) {
            EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST), (Rows{{"pdf", "application/pdf"}}));
            dlg.Dialog()->SendMessage(WM_SYSCOMMAND, SC_CLOSE);
        });
    CSettingDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDCANCEL);
    user.Verify();
    EXPECT_EQ(StoredMimeType("pdf"), "application/pdf");
    EXPECT_FALSE(StoredMimeType("txt").has_value());
}

}  // namespace
