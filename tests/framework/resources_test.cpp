// The resources as data: strings, the templates' invariants, the icon.
#include <gtest/gtest.h>

#include <set>

#include "dialog_template.h"
#include "framework_internal.h"
#include "test_dialogs.h"

namespace {

TEST(Resources, StringsLoadIntoCStringsWithTheirUmlauts) {
    CString text;
    EXPECT_TRUE(text.LoadString(IDS_CONFIRM_DELETE));
    EXPECT_EQ(text, "Sollen diese Einstellungen tatsächlich gelöscht werden?");
    EXPECT_TRUE(text.LoadString(IDS_SORTKEY_FIRST + 5));
    EXPECT_EQ(text, "Größe");
    EXPECT_FALSE(text.LoadString(4711));
    EXPECT_TRUE(text.IsEmpty());
    // Every ID the program names has a text.
    for (UINT id = IDS_ABOUTBOX; id <= IDS_MIME_DELETED_MEANWHILE; ++id) {
        EXPECT_NE(res::FindString(id), nullptr) << id;
    }
}

TEST(Resources, EveryTemplateCanBeBuilt) {
    for (const res::DialogTemplate& dialog : res::DialogTemplates()) {
        SCOPED_TRACE(dialog.id);
        std::set<int> ids;
        for (size_t i = 0; i < dialog.controls.size(); ++i) {
            const res::ControlTemplate& control = dialog.controls[i];
            // Within the client area, and IDs unique where they are given.
            EXPECT_LE(control.x + control.cx, dialog.cx) << control.text;
            if (control.controlClass != res::ControlClass::ComboBox) {
                EXPECT_LE(control.y + control.cy, dialog.cy) << control.text;
            }
            if (control.id != IDC_STATIC) {
                EXPECT_TRUE(ids.insert(control.id).second) << control.id;
            }
            // An auto-buddy up-down needs its edit just before it.
            if (control.controlClass == res::ControlClass::UpDown) {
                ASSERT_GT(i, 0u);
                EXPECT_EQ(dialog.controls[i - 1].controlClass, res::ControlClass::Edit);
            }
        }
        EXPECT_EQ(res::FindDialogTemplate(dialog.id), &dialog);
    }
    EXPECT_EQ(res::FindDialogTemplate(101), nullptr);
    CDialog missing(101);
    EXPECT_EQ(missing.DoModal(), -1);
}

TEST(Resources, TheIconHasALargeAndASmallImage) {
    const HICON icon = afx::IconHandle(IDR_MAINFRAME);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(afx::IconHandle(IDR_MAINFRAME), icon);  // shared, as LoadIcon's are
    const QList<QSize> sizes = afx::IconOf(icon).availableSizes();
    EXPECT_TRUE(sizes.contains(QSize(32, 32)));
    EXPECT_TRUE(sizes.contains(QSize(16, 16)));
    EXPECT_EQ(afx::IconHandle(IDR_MAINFRAME + 1), nullptr);
}

TEST(Resources, AboutBoxShowsItsTextsWithoutPrefixProcessing) {
    UserSession user;
    user.OnDialog(IDD_ABOUTBOX, [](DialogDriver& dlg) {
        EXPECT_EQ(dlg.Caption(), "Marrowick Version");
        EXPECT_EQ(dlg.FocusedId(), IDOK);
        dlg.Press(Key::Enter);
    });
    CDialog about(IDD_ABOUTBOX);
    EXPECT_EQ(about.DoModal(), IDOK);
}

}  // namespace
