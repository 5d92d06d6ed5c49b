// The list of mappings: what it shows for what is stored, and what each add, change and
// delete leaves in the registry and on screen.
#include "stdafx.h"

#include <gtest/gtest.h>
#include <testing/user_session.h>

#include <string>
#include <vector>

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

// The row showing this MIME type; fails the test when there is none.
int RowOfType(const DialogDriver& dlg, const std::string& mimeType) {
    const Rows rows = dlg.ListRows(IDC_MIME_LIST);
    for (size_t row = 0; row < rows.size(); ++row) {
        if (rows[row][1] == mimeType) return static_cast<int>(row);
    }
    ADD_FAILURE() << "no row shows " << mimeType;
    return -1;
}

// Another copy of the program writing meanwhile.
void DeleteElsewhere(LPCSTR name) {
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kMimeMapKey, 0, KEY_WRITE, &key), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, name), ERROR_SUCCESS);
    RegCloseKey(key);
}

class MimeSettingDlgTest : public HiveTest {
protected:
    void Plant(const std::vector<ListRow>& mappings) {
        for (const ListRow& mapping : mappings) {
            ASSERT_TRUE(PlantString(kMimeMapKey, mapping[0].c_str(), mapping[1]));
        }
    }

    INT_PTR RunDialog() {
        CMimeSettingDlg dlg;
        return dlg.DoModal();
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
    EXPECT_EQ(StoredString(kMimeMapKey, "Htm"), "text/html");
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
                      EXPECT_TRUE(StoredString(kMimeMapKey, "htm").has_value());
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
    EXPECT_FALSE(StoredString(kMimeMapKey, "htm").has_value());
    EXPECT_EQ(StoredString(kMimeMapKey, "doc"), "application/msword");
}

TEST_F(MimeSettingDlgTest, ChangeRewritesTheSelectedMappingEvenToAnEmptyType) {
    Plant({{"doc", "application/msword"}, {"txt", "text/plain"}});
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING,
                  [](DialogDriver& dlg) {
                      dlg.SelectListRow(IDC_MIME_LIST, 1);
                      dlg.Click(IDC_MIME_CHANGE);
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST),
                                (Rows{{"doc", "application/msword"}, {"txt", ""}}));
                      EXPECT_EQ(dlg.ListSelectedRow(IDC_MIME_LIST), -1);
                      dlg.Click(IDOK);
                  })
        .OnDialog(IDD_MIME_CHANGE, [](DialogDriver& dlg) {
            EXPECT_EQ(dlg.Text(IDC_MIME_EXTENSION), "txt");
            EXPECT_EQ(dlg.Text(IDC_MIME_TYPE), "text/plain");
            dlg.Type(IDC_MIME_TYPE, "");
            dlg.Click(IDOK);
        });
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_EQ(StoredString(kMimeMapKey, "txt"), "");
}

// Names that do not survive the way to the screen: bytes that are not UTF-8 and an
// embedded NUL, which no registry call can name (its part before the NUL names "htm").
TEST_F(MimeSettingDlgTest, DeleteAndChangeActOnTheStoredNameOfTheSelectedRow) {
    hive.WriteText(std::string("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\") + kMimeMapKey + "]\n" +
                   "\"\xff\"=\"x/picked\"\n\"\xEF\xBF\xBD\"=\"x/other\"\n" +
                   "\"htm\"=\"text/html\"\n" + "\"htm\0x\"=\"x/nul\"\n"s);
    UserSession user;
    user.OnDialog(
            IDD_MIME_SETTING,
            [](DialogDriver& dlg) {
                const Rows rows = dlg.ListRows(IDC_MIME_LIST);
                EXPECT_EQ(rows[RowOfType(dlg, "x/picked")][0], "\\xff");
                EXPECT_EQ(rows[RowOfType(dlg, "x/other")][0], "\uFFFD");
                EXPECT_EQ(rows[RowOfType(dlg, "x/nul")][0], "htm\\x00x");
                dlg.SelectListRow(IDC_MIME_LIST, RowOfType(dlg, "x/picked"));
                dlg.Click(IDC_MIME_CHANGE);
                EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST).size(), 4u);
                dlg.SelectListRow(IDC_MIME_LIST, RowOfType(dlg, "x/changed"));
                dlg.Click(IDC_MIME_DELETE);
                dlg.SelectListRow(IDC_MIME_LIST, RowOfType(dlg, "x/nul"));
                dlg.Click(IDC_MIME_DELETE);
                EXPECT_EQ(
                    dlg.ListRows(IDC_MIME_LIST),
                    (Rows{{"htm", "text/html"}, {"htm\\x00x", "x/nul"}, {"\uFFFD", "x/other"}}));
                dlg.Click(IDOK);
            })
        .OnDialog(IDD_MIME_CHANGE,
                  [](DialogDriver& dlg) {
                      EXPECT_EQ(dlg.Text(IDC_MIME_EXTENSION), "\\xff");
                      dlg.Type(IDC_MIME_TYPE, "x/changed");
                      dlg.Click(IDOK);
                  })
        .OnMessageBox([](MessageBoxDriver& box) {
            EXPECT_NE(box.Text().find("\t\\xff\n"), std::string::npos) << box.Text();
            box.Press(IDOK);
        })
        .OnMessageBox([](MessageBoxDriver& box) { box.Press(IDOK); })
        .OnMessageBox(kNotStored, IDOK);
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_FALSE(StoredString(kMimeMapKey, "\xff").has_value());
    EXPECT_EQ(StoredString(kMimeMapKey, "\xEF\xBF\xBD"), "x/other");
    EXPECT_EQ(StoredString(kMimeMapKey, "htm"), "text/html");
    EXPECT_NE(hive.ReadText().find("\"htm\0x\"=\"x/nul\""s), std::string::npos);
}

// Another copy stores PDF while the list is open, and deletes the mapping being changed.
TEST_F(MimeSettingDlgTest, AddAndChangeGoByWhatIsStoredNowNotByTheList) {
    Plant({{"doc", "application/msword"}});
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING,
                  [](DialogDriver& dlg) {
                      dlg.SelectListRow(IDC_MIME_LIST, 0);
                      dlg.Click(IDC_MIME_CHANGE);
                      EXPECT_TRUE(dlg.ListRows(IDC_MIME_LIST).empty());
                      dlg.Click(IDC_MIME_ADD);
                      EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST), (Rows{{"pdf", "application/pdf"}}));
                      dlg.Click(IDOK);
                  })
        .OnDialog(IDD_MIME_CHANGE,
                  [](DialogDriver& dlg) {
                      DeleteElsewhere("doc");
                      dlg.Type(IDC_MIME_TYPE, "application/x-doc");
                      dlg.Click(IDOK);
                  })
        .OnMessageBox(kGone, IDOK)
        .OnDialog(IDD_MIME_ADD,
                  [](DialogDriver& dlg) {
                      ASSERT_TRUE(PlantString(kMimeMapKey, "pdf", "application/pdf"));
                      Enter("PDF", "application/x-pdf")(dlg);
                  })
        .OnMessageBox(kDuplicate, IDOK);
    EXPECT_EQ(RunDialog(), IDOK);
    user.Verify();
    EXPECT_FALSE(StoredString(kMimeMapKey, "doc").has_value());
    const std::string text = hive.ReadText();
    EXPECT_NE(text.find("\"pdf\"=\"application/pdf\""), std::string::npos) << text;
    EXPECT_EQ(text.find("PDF"), std::string::npos) << text;
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
    EXPECT_EQ(StoredString(kMimeMapKey, "zzz"), "text/z");
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
        .OnMessageBox([](MessageBoxDriver& box) {
            EXPECT_EQ(box.Text(), kNotStored);
            EXPECT_EQ(box.Buttons(), std::vector<int>{IDOK});
            box.Press(IDOK);
        });
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
        .OnMessageBox(kNotStored, IDOK)
        .OnDialog(IDD_MIME_CHANGE,
                  [](DialogDriver& dlg) {
                      dlg.Type(IDC_MIME_TYPE, "text/plain");
                      dlg.Click(IDOK);
                  })
        .OnMessageBox(kNotStored, IDOK)
        .OnMessageBox([](MessageBoxDriver& box) { box.Press(IDOK); })  // the question
        .OnMessageBox(kNotStored, IDOK);
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
    EXPECT_EQ(StoredString(kMimeMapKey, "pdf"), "application/pdf");
    EXPECT_FALSE(StoredString(kMimeMapKey, "txt").has_value());
}

}  // namespace
