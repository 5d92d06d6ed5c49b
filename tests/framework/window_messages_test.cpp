// Window messages through the message map: paint, query-drag-icon, system commands.
#include <gtest/gtest.h>

#include <QWidget>

#include "framework_internal.h"
#include "test_dialogs.h"

namespace {

class IconDialog : public CDialog {
public:
    IconDialog() : CDialog(IDD_ABOUTBOX) {}

    HICON m_hIcon = nullptr;
    int paints = 0;
    int iconsDrawn = 0;
    std::vector<UINT> commands;

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        m_hIcon = afx::IconHandle(IDR_MAINFRAME);
        SetIcon(m_hIcon, TRUE);
        SetIcon(m_hIcon, FALSE);
        return TRUE;
    }

protected:
    afx_msg void OnPaint() {
        ++paints;
        CPaintDC dc(this);
        if (dc.GetSafeHdc() && dc.DrawIcon(0, 0, m_hIcon)) ++iconsDrawn;
    }
    afx_msg HCURSOR OnQueryDragIcon() { return m_hIcon; }
    afx_msg void OnSysCommand(UINT nID, LPARAM lParam) {
        commands.push_back(nID);
        CDialog::OnSysCommand(nID, lParam);
    }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(IconDialog, CDialog)
ON_WM_PAINT()
ON_WM_QUERYDRAGICON()
ON_WM_SYSCOMMAND()
END_MESSAGE_MAP()

TEST(WindowMessages, PaintAndDragIconReachTheirHandlers) {
    IconDialog dialog;
    UserSession user;
    user.OnDialog(IDD_ABOUTBOX, [&](DialogDriver& dlg) {
        EXPECT_EQ(dialog.GetIcon(TRUE), dialog.m_hIcon);
        EXPECT_EQ(reinterpret_cast<HICON>(dialog.SendMessage(WM_QUERYDRAGICON)), dialog.m_hIcon);
        const int before = dialog.paints;
        afx::ToWidget(dialog.m_hWnd)->grab();  // paints the window
        EXPECT_GT(dialog.paints, before);
        EXPECT_GT(dialog.iconsDrawn, 0);
        // Painting outside a paint message has nothing to draw on.
        CPaintDC outside(&dialog);
        EXPECT_EQ(outside.GetSafeHdc(), nullptr);
        dlg.Click(IDOK);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
}

TEST(WindowMessages, TheCloseBoxIsTheSystemsCloseCommand) {
    IconDialog dialog;
    UserSession user;
    user.OnDialog(IDD_ABOUTBOX, [](DialogDriver& dlg) { dlg.ClickCloseBox(); });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.commands, std::vector<UINT>{SC_CLOSE});
    // Once closed, the object is no longer attached to a window.
    EXPECT_EQ(dialog.m_hWnd, nullptr);
    EXPECT_EQ(dialog.GetSystemMenu(FALSE), nullptr);
}

}  // namespace
