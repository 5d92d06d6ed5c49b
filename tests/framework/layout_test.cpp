// Dialog units to pixels, and where the controls of a built dialog end up.
#include <gtest/gtest.h>

#include <QApplication>

#include "dialog_window.h"
#include "framework_internal.h"
#include "test_dialogs.h"

namespace {

TEST(Layout, DialogUnitsRoundToTheNearestPixelLikeMulDiv) {
    // Base units 7 x 14: a dialog unit is 7/4 pixel wide and 14/8 pixel high.
    const afx::BaseUnits units{7, 14};
    EXPECT_EQ(afx::DialogUnitsToPixels(QRect(94, 7, 38, 12), units), QRect(165, 12, 67, 21));
    EXPECT_EQ(afx::DialogUnitsToPixels(QRect(2, 2, 1, 1), units), QRect(4, 4, 2, 2));
    // The classic 6 x 13 of an 8-point Windows system font.
    EXPECT_EQ(afx::DialogUnitsToPixels(QRect(7, 7, 131, 46), {6, 13}), QRect(11, 11, 197, 75));
}

TEST(Layout, BaseUnitsAreHalfTheRoundedWidthOfTwoAverageLetters) {
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(12);
    const QFontMetrics metrics(font);
    ASSERT_EQ(QFontInfo(font).family(), QStringLiteral("DejaVu Sans")) << "font not installed";
    // DejaVu Sans at 12 pixels sets the 52 letters in 385 pixels: (385 / 26 + 1) / 2 = 7.
    EXPECT_EQ(metrics.horizontalAdvance(
                  QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")),
              385);
    const afx::BaseUnits units = afx::BaseUnitsOf(font);
    EXPECT_EQ(units.x, 7);
    EXPECT_EQ(units.y, metrics.height());
}

TEST(Layout, ClientAreaAndControlsSitAtTheirTemplateRectangles) {
    UserSession user;
    user.OnDialog(IDD_MIME_ADD, [](DialogDriver& dlg) {
        auto* window = dynamic_cast<afx::DialogWindow*>(afx::ToWidget(dlg.Dialog()->m_hWnd));
        ASSERT_NE(window, nullptr);
        const afx::BaseUnits units = window->Units();
        auto pixels = [&](int x, int y, int cx, int cy) {
            const QRect rect = afx::DialogUnitsToPixels(QRect(x, y, cx, cy), units);
            return std::tuple(rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1);
        };
        auto actual = [&](RECT rect) {
            return std::tuple(rect.left, rect.top, rect.right, rect.bottom);
        };
        EXPECT_EQ(actual(dlg.ClientRect()), pixels(0, 0, 273, 45));
        EXPECT_EQ(actual(dlg.ControlRect(IDC_MIME_EXTENSION)), pixels(94, 7, 38, 12));
        EXPECT_EQ(actual(dlg.ControlRect(IDC_MIME_TYPE)), pixels(94, 25, 112, 12));
        EXPECT_EQ(actual(dlg.ControlRect(IDOK)), pixels(216, 7, 50, 14));
        EXPECT_EQ(actual(dlg.ControlRect(IDCANCEL)), pixels(216, 24, 50, 14));
        // The template's 9 points at 96 dots per inch.
        EXPECT_EQ(window->font().pixelSize(), 12);
        dlg.Press(Key::Escape);
    });
    EntryDialog dialog;
    dialog.DoModal();
}

TEST(Layout, RightAlignedUpDownTakesTheBuddysRightEdgeAndHeight) {
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [](DialogDriver& dlg) {
        // 1021 is at y 218 in the template, its up-down 1020 at 215: the buddy wins.
        const RECT edit = dlg.ControlRect(IDC_EDIT_SECLIST);
        const RECT upDown = dlg.ControlRect(IDC_SPIN_SECLIST);
        EXPECT_EQ(upDown.top, edit.top);
        EXPECT_EQ(upDown.bottom, edit.bottom);
        EXPECT_EQ(upDown.left, edit.right);
        // Together they fill the edit's template width.
        const RECT other = dlg.ControlRect(IDC_EDIT_DOCLIST);
        const RECT otherUpDown = dlg.ControlRect(IDC_SPIN_DOCLIST);
        EXPECT_EQ(otherUpDown.right - other.left, upDown.right - edit.left);
        EXPECT_LT(edit.right - edit.left, upDown.right - edit.left);
        dlg.Press(Key::Escape);
    });
    CountsDialog dialog;
    dialog.DoModal();
}

}  // namespace
