// The two small dialogs that collect one mapping.
#include "stdafx.h"

#include <gtest/gtest.h>
#include <testing/user_session.h>

#include "MimeAddDlg.h"
#include "MimeChangeDlg.h"
#include "resource.h"

using namespace afxtest;

namespace {

TEST(MimeAddDlgTest, AsksForTheExtensionFirstThenTheMimeType) {
    UserSession user;
    user.OnDialog(IDD_MIME_ADD,
                  [](DialogDriver& dlg) {
                      dlg.Click(IDOK);
                      dlg.Type(IDC_MIME_EXTENSION, ".PDF ");
                      dlg.Click(IDOK);
                      dlg.Type(IDC_MIME_TYPE, "application/pdf");
                      dlg.Press(Key::Enter);
                  })
        .OnMessageBox("Erweiterung wurde nicht eingegeben.", IDOK)
        .OnMessageBox("MIME-Typ/Untertyp wurde nicht eingegeben.", IDOK);
    CMimeAddDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    user.Verify();
    // Taken exactly as typed: no dot, blank or letter case is changed.
    EXPECT_EQ(dlg.m_strExtension, ".PDF ");
    EXPECT_EQ(dlg.m_strMimeType, "application/pdf");
}

TEST(MimeAddDlgTest, MissingExtensionIsReportedEvenWithATypeAndBlanksCountAsText) {
    UserSession user;
    user.OnDialog(IDD_MIME_ADD,
                  [](DialogDriver& dlg) {
                      dlg.Type(IDC_MIME_TYPE, "text/plain");
                      dlg.Click(IDOK);
                      dlg.Type(IDC_MIME_EXTENSION, " ");
                      dlg.Type(IDC_MIME_TYPE, " ");
                      dlg.Click(IDOK);
                  })
        .OnMessageBox("Erweiterung wurde nicht eingegeben.", IDOK);
    CMimeAddDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    user.Verify();
    EXPECT_EQ(dlg.m_strExtension, " ");
    EXPECT_EQ(dlg.m_strMimeType, " ");
}

TEST(MimeEntryDlgTest, CancelClosesEitherDialogWithoutAWord) {
    UserSession user;
    user.OnDialog(IDD_MIME_ADD, [](DialogDriver& dlg) { dlg.Click(IDCANCEL); })
        .OnDialog(IDD_MIME_CHANGE, [](DialogDriver& dlg) {
            dlg.Type(IDC_MIME_TYPE, "");
            dlg.Press(Key::Escape);
        });
    CMimeAddDlg add;
    EXPECT_EQ(add.DoModal(), IDCANCEL);
    CMimeChangeDlg change;
    change.m_strExtension = "txt";
    change.m_strMimeType = "text/plain";
    EXPECT_EQ(change.DoModal(), IDCANCEL);
    user.Verify();
}

TEST(MimeChangeDlgTest, ShowsTheMappingWithTheExtensionReadOnlyAndAcceptsAnEmptyType) {
    UserSession user;
    user.OnDialog(IDD_MIME_CHANGE, [](DialogDriver& dlg) {
        EXPECT_EQ(dlg.Caption(), "MIME-Typ wechseln");
        EXPECT_EQ(dlg.Text(IDC_MIME_EXTENSION), "Htm");
        EXPECT_EQ(dlg.Text(IDC_MIME_TYPE), "text/html");
        EXPECT_TRUE(dlg.IsReadOnly(IDC_MIME_EXTENSION));
        dlg.Type(IDC_MIME_EXTENSION, "xyz");
        EXPECT_EQ(dlg.Text(IDC_MIME_EXTENSION), "Htm");
        dlg.Type(IDC_MIME_TYPE, "");
        dlg.Click(IDOK);
    });
    CMimeChangeDlg dlg;
    dlg.m_strExtension = "Htm";
    dlg.m_strMimeType = "text/html";
    EXPECT_EQ(dlg.DoModal(), IDOK);
    user.Verify();
    EXPECT_EQ(dlg.m_strExtension, "Htm");
    EXPECT_EQ(dlg.m_strMimeType, "");
}

}  // namespace
