// Dialog units to pixels, and where the controls of a built dialog end up.
#include <gtest/gtest.h>

#include <QApplication>

#include <tuple>

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

// Template rectangles in pixels, worked out here from the dialog's font as Windows does it:
// base units are the rounded half of the 52 letters' width over 26, and the line height;
// each of x, y, cx and cy becomes MulDiv(value, base, 4 or 8), rounded to the nearest.
class MeasuredUnits {
public:
    explicit MeasuredUnits(const QFont& font) {
        const QFontMetrics metrics(font);
        const int letters = metrics.horizontalAdvance(
            QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
        m_x = (letters / 26 + 1) / 2;
        m_y = metrics.height();
    }
    int X(int units) const { return (units * m_x + 2) / 4; }
    int Y(int units) const { return (units * m_y + 4) / 8; }
    // left, top, right, bottom
    std::tuple<int, int, int, int> Rect(int x, int y, int cx, int cy) const {
        return {X(x), Y(y), X(x) + X(cx), Y(y) + Y(cy)};
    }

private:
    int m_x = 0;
    int m_y = 0;
};

std::tuple<int, int, int, int> Edges(const RECT& rect) {
    return {rect.left, rect.top, rect.right, rect.bottom};
}

QFont FontOf(const DialogDriver& dlg) {
    return afx::ToWidget(dlg.Dialog()->m_hWnd)->font();
}

TEST(Layout, ClientAreaAndControlsSitAtTheirTemplateRectangles) {
    UserSession user;
    user.OnDialog(IDD_MIME_ADD, [](DialogDriver& dlg) {
        // The template's 9 points at 96 dots per inch.
        EXPECT_EQ(FontOf(dlg).pixelSize(), 12);
        const MeasuredUnits units(FontOf(dlg));
        EXPECT_EQ(Edges(dlg.ClientRect()), units.Rect(0, 0, 273, 45));
        EXPECT_EQ(Edges(dlg.ControlRect(IDC_MIME_EXTENSION)), units.Rect(94, 7, 38, 12));
        EXPECT_EQ(Edges(dlg.ControlRect(IDC_MIME_TYPE)), units.Rect(94, 25, 112, 12));
        EXPECT_EQ(Edges(dlg.ControlRect(IDOK)), units.Rect(216, 7, 50, 14));
        EXPECT_EQ(Edges(dlg.ControlRect(IDCANCEL)), units.Rect(216, 24, 50, 14));
        dlg.Press(Key::Escape);
    });
    EntryDialog dialog;
    dialog.DoModal();
}

TEST(Layout, RightAlignedUpDownTakesTheBuddysRightEdgeAndHeight) {
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [](DialogDriver& dlg) {
        const MeasuredUnits units(FontOf(dlg));
        // The edit 1021 is at 214, 218, 29 x 12 in the template, its up-down 1020 at
        // 228, 215, 11 x 12: the up-down keeps its width, takes the buddy's top, height
        // and right edge, and the buddy gives up that width.
        const auto [left, top, right, bottom] = units.Rect(214, 218, 29, 12);
        const int upDownWidth = units.X(11);
        EXPECT_EQ(Edges(dlg.ControlRect(IDC_EDIT_SECLIST)),
                  std::tuple(left, top, right - upDownWidth, bottom));
        EXPECT_EQ(Edges(dlg.ControlRect(IDC_SPIN_SECLIST)),
                  std::tuple(right - upDownWidth, top, right, bottom));
        // The same for 1017 at 214, 170, 29 x 12, whose up-down shares its top.
        const auto [left2, top2, right2, bottom2] = units.Rect(214, 170, 29, 12);
        EXPECT_EQ(Edges(dlg.ControlRect(IDC_EDIT_DOCLIST)),
                  std::tuple(left2, top2, right2 - upDownWidth, bottom2));
        EXPECT_EQ(Edges(dlg.ControlRect(IDC_SPIN_DOCLIST)),
                  std::tuple(right2 - upDownWidth, top2, right2, bottom2));
        dlg.Press(Key::Escape);
    });
    CountsDialog dialog;
    dialog.DoModal();
}

}  // namespace
