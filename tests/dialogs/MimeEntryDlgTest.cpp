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
                      dlg.Type(IDC_MIME_EXTENSION, "PDF");
                      dlg.Click(IDOK);
                      dlg.Type(IDC_MIME_TYPE, "application/pdf");
                      dlg.Press(Key::Enter);
                  })
        .OnMessageBox("Erweiterung wurde nicht eingegeben.", IDOK)
        .OnMessageBox("MIME-Typ/Untertyp wurde nicht eingegeben.", IDOK);
    CMimeAddDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    user.Verify();
    // Taken exactly as typed: the letter case is not changed.
    EXPECT_EQ(dlg.m_strExtension, "PDF");
    EXPECT_EQ(dlg.m_strMimeType, "application/pdf");
}

TEST(MimeAddDlgTest, MissingExtensionIsReportedEvenWithATypeAndBlanksAreNoText) {
    UserSession user;
    user.OnDialog(IDD_MIME_ADD,
                  [](DialogDriver& dlg) {
                      dlg.Type(IDC_MIME_TYPE, "text/plain");
                      dlg.Click(IDOK);
                      dlg.Type(IDC_MIME_EXTENSION, " ");
                      dlg.Type(IDC_MIME_TYPE, " ");
                      dlg.Click(IDOK);
                      dlg.Type(IDC_MIME_EXTENSION, "txt");
                      dlg.Click(IDOK);
                      dlg.Type(IDC_MIME_TYPE, "text/plain");
                      dlg.Click(IDOK);
                  })
        .OnMessageBox("Erweiterung wurde nicht eingegeben.", IDOK)
        .OnMessageBox("„ “: Eine Erweiterung enthält keine Leerzeichen, Steuerzeichen, / oder \\.",
                      IDOK)
        .OnMessageBox(
            "„ “: Ein MIME-Typ hat die Form Typ/Untertyp, z. B. application/pdf, "
            "wahlweise mit Parametern wie „; charset=utf-8“.",
            IDOK);
    CMimeAddDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    user.Verify();
    EXPECT_EQ(dlg.m_strExtension, "txt");
    EXPECT_EQ(dlg.m_strMimeType, "text/plain");
}

// The mapping rule's smoke test in the dialog: the refusal, and what was typed kept.
TEST(MimeAddDlgTest, LeadingDotIsRefusedWithTheHintAndTheTypedTextStays) {
    UserSession user;
    user.OnDialog(IDD_MIME_ADD,
                  [](DialogDriver& dlg) {
                      dlg.Type(IDC_MIME_EXTENSION, ".rtf");
                      dlg.Type(IDC_MIME_TYPE, "application/rtf");
                      dlg.Press(Key::Enter);
                      EXPECT_EQ(dlg.Text(IDC_MIME_EXTENSION), ".rtf");
                      EXPECT_EQ(dlg.Text(IDC_MIME_TYPE), "application/rtf");
                      dlg.Type(IDC_MIME_EXTENSION, "rtf");
                      dlg.Press(Key::Enter);
                  })
        .OnMessageBox([](MessageBoxDriver& box) {
            EXPECT_EQ(box.Text(),
                      "„.rtf“: Die Erweiterung steht ohne führenden Punkt, also „rtf“.");
            EXPECT_EQ(box.Buttons(), std::vector<int>{IDOK});
            box.Press(IDOK);
        });
    CMimeAddDlg dlg;
    EXPECT_EQ(dlg.DoModal(), IDOK);
    user.Verify();
    EXPECT_EQ(dlg.m_strExtension, "rtf");
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

TEST(MimeChangeDlgTest, ShowsTheMappingWithTheExtensionReadOnlyAndRefusesATypeAgainstTheRule) {
    UserSession user;
    user.OnDialog(IDD_MIME_CHANGE,
                  [](DialogDriver& dlg) {
                      EXPECT_EQ(dlg.Caption(), "MIME-Typ wechseln");
                      EXPECT_EQ(dlg.Text(IDC_MIME_EXTENSION), "Htm");
                      EXPECT_EQ(dlg.Text(IDC_MIME_TYPE), "text/html");
                      EXPECT_TRUE(dlg.IsReadOnly(IDC_MIME_EXTENSION));
                      dlg.Type(IDC_MIME_EXTENSION, "xyz");
                      EXPECT_EQ(dlg.Text(IDC_MIME_EXTENSION), "Htm");
                      dlg.Type(IDC_MIME_TYPE, "");
                      dlg.Click(IDOK);
                      dlg.Type(IDC_MIME_TYPE, "nonsense");
                      dlg.Click(IDOK);
                      EXPECT_EQ(dlg.Text(IDC_MIME_TYPE), "nonsense");
                      dlg.Type(IDC_MIME_TYPE, "text/html; charset=utf-8");
                      dlg.Click(IDOK);
                  })
        .OnMessageBox("MIME-Typ/Untertyp wurde nicht eingegeben.", IDOK)
        .OnMessageBox(
            "„nonsense“: Ein MIME-Typ hat die Form Typ/Untertyp, z. B. "
            "application/pdf, wahlweise mit Parametern wie „; charset=utf-8“.",
            IDOK);
    CMimeChangeDlg dlg;
    dlg.m_strExtension = "Htm";
    dlg.m_strMimeType = "text/html";
    EXPECT_EQ(dlg.DoModal(), IDOK);
    user.Verify();
    EXPECT_EQ(dlg.m_strExtension, "Htm");
    EXPECT_EQ(dlg.m_strMimeType, "text/html; charset=utf-8");
}

// A Windows registry may hold a type outside the rule; left as shown it is no new input.
TEST(MimeChangeDlgTest, AStoredTypeOutsideTheRuleMayStay) {
    UserSession user;
    user.OnDialog(IDD_MIME_CHANGE, [](DialogDriver& dlg) { dlg.Click(IDOK); });
    CMimeChangeDlg dlg;
    dlg.m_strExtension = "png";
    dlg.m_strMimeType = "image";
    EXPECT_EQ(dlg.DoModal(), IDOK);
    user.Verify();
    EXPECT_EQ(dlg.m_strMimeType, "image");
}

}  // namespace
