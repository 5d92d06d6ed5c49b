// The controls: up-down rules, radio groups, read-only edits, list view and the system menu.
#include <gtest/gtest.h>

#include <QHeaderView>
#include <QImage>
#include <QScrollBar>
#include <QTableView>

#include <string>

#include "framework_internal.h"
#include "test_dialogs.h"

BEGIN_MESSAGE_MAP(ListDialog, CDialog)
ON_BN_CLICKED(IDC_MIME_ADD, &ListDialog::OnAdd)
ON_WM_SYSCOMMAND()
END_MESSAGE_MAP()

namespace {

// Runs `step` in an open main template; `init` runs in OnInitDialog.
void WithCounts(std::function<void(CountsDialog&)> init,
                std::function<void(DialogDriver&, CountsDialog&)> step) {
    CountsDialog dialog;
    dialog.onInit = std::move(init);
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [&](DialogDriver& dlg) {
        step(dlg, dialog);
        dlg.Press(Key::Escape);
    });
    dialog.DoModal();
}

int Position(CountsDialog& dialog) {
    return LOWORD(dialog.m_spinDocList.GetPos());
}
bool PositionValid(CountsDialog& dialog) {
    return HIWORD(dialog.m_spinDocList.GetPos()) == 0;
}

TEST(UpDown, PositionFollowsTheBuddyWhileItHoldsAValidNumber) {
    WithCounts([](CountsDialog& self) { self.m_spinDocList.SetRange(10, 100); },
               [](DialogDriver& dlg, CountsDialog& self) {
                   EXPECT_EQ(self.m_spinDocList.GetBuddy()->GetDlgCtrlID(), IDC_EDIT_DOCLIST);
                   dlg.Type(IDC_EDIT_DOCLIST, "45");
                   EXPECT_EQ(Position(self), 45);
                   EXPECT_TRUE(PositionValid(self));
                   // Out of range, then no number at all: the last valid value stays.
                   dlg.Type(IDC_EDIT_DOCLIST, "150");
                   EXPECT_EQ(Position(self), 45);
                   EXPECT_FALSE(PositionValid(self));
                   dlg.Type(IDC_EDIT_DOCLIST, "4x");
                   EXPECT_EQ(Position(self), 45);
                   dlg.Type(IDC_EDIT_DOCLIST, "");
                   EXPECT_EQ(Position(self), 45);
                   EXPECT_FALSE(PositionValid(self));
                   dlg.Type(IDC_EDIT_DOCLIST, "100");
                   EXPECT_EQ(Position(self), 100);
               });
}

TEST(UpDown, ArrowsStepFromTheLastValidValueAndStopAtTheBounds) {
    WithCounts(
        [](CountsDialog& self) {
            self.m_spinDocList.SetRange(10, 100);
            self.m_spinDocList.SetPos(99);
        },
        [](DialogDriver& dlg, CountsDialog& self) {
            EXPECT_EQ(dlg.Text(IDC_EDIT_DOCLIST), "99");
            dlg.ClickSpin(IDC_SPIN_DOCLIST, true);
            EXPECT_EQ(dlg.Text(IDC_EDIT_DOCLIST), "100");
            dlg.ClickSpin(IDC_SPIN_DOCLIST, true);
            EXPECT_EQ(dlg.Text(IDC_EDIT_DOCLIST), "100");
            dlg.Type(IDC_EDIT_DOCLIST, "kaputt");
            dlg.ClickSpin(IDC_SPIN_DOCLIST, false);
            EXPECT_EQ(dlg.Text(IDC_EDIT_DOCLIST), "99");
            // The arrow keys in the buddy do the same.
            dlg.Type(IDC_EDIT_DOCLIST, "11");
            dlg.Press(Key::Down);
            dlg.Press(Key::Down);
            dlg.Press(Key::Down);
            EXPECT_EQ(dlg.Text(IDC_EDIT_DOCLIST), "10");
            dlg.Press(Key::Up);
            EXPECT_EQ(Position(self), 11);
        });
}

TEST(UpDown, PositionSetBeforeTheRangeKeepsItsValue) {
    WithCounts(
        [](CountsDialog& self) {
            // Windows' initial range runs from 100 down to 0.
            int lower = 0, upper = 0;
            self.m_spinDocList.GetRange(lower, upper);
            EXPECT_EQ(lower, 100);
            EXPECT_EQ(upper, 0);
            self.m_spinDocList.SetPos(45);
            self.m_spinDocList.SetRange(10, 100);
        },
        [](DialogDriver& dlg, CountsDialog& self) {
            EXPECT_EQ(dlg.Text(IDC_EDIT_DOCLIST), "45");
            EXPECT_EQ(self.m_spinDocList.GetPos(), 45);
            // Positions are 16 bits; the previous one comes back.
            EXPECT_EQ(self.m_spinDocList.SetPos(0x10000 + 20), 45);
            EXPECT_EQ(dlg.Text(IDC_EDIT_DOCLIST), "20");
            // Outside the range the position is pulled to the nearer bound.
            self.m_spinDocList.SetPos(150);
            EXPECT_EQ(dlg.Text(IDC_EDIT_DOCLIST), "100");
            self.m_spinDocList.SetPos(-5);
            EXPECT_EQ(Position(self), 10);
        });
}

TEST(UpDown, ANarrowedRangePullsTheLastValidValueIn) {
    WithCounts([](CountsDialog& self) { self.m_spinDocList.SetPos(50); },
               [](DialogDriver& dlg, CountsDialog& self) {
                   self.m_spinDocList.SetRange(1, 40);
                   // The buddy still shows 50, which is now out of range.
                   EXPECT_EQ(dlg.Text(IDC_EDIT_DOCLIST), "50");
                   EXPECT_EQ(Position(self), 40);
                   EXPECT_FALSE(PositionValid(self));
               });
}

TEST(UpDown, UpMovesTowardsTheUpperBoundEvenWhenItIsTheSmaller) {
    WithCounts([](CountsDialog& self) { self.m_spinDocList.SetPos(50); },
               [](DialogDriver& dlg, CountsDialog&) {
                   dlg.ClickSpin(IDC_SPIN_DOCLIST, true);
                   EXPECT_EQ(dlg.Text(IDC_EDIT_DOCLIST), "49");
               });
}

TEST(RadioButtons, AutoRadioButtonsAreExclusiveWithinTheirGroupOnly) {
    WithCounts(nullptr, [](DialogDriver& dlg, CountsDialog&) {
        dlg.Click(IDC_RADIO_SUNDAY);
        dlg.Click(IDC_RADIO_ASCENDING);
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_SUNDAY));
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_ASCENDING));
        dlg.Click(IDC_RADIO_MONDAY);
        EXPECT_FALSE(dlg.IsChecked(IDC_RADIO_SUNDAY));
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_MONDAY));
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_ASCENDING));
        // Clicking the checked one leaves it checked.
        dlg.Click(IDC_RADIO_MONDAY);
        EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_MONDAY));
    });
}

TEST(RadioButtons, SetCheckChangesOnlyThatButton) {
    WithCounts(
        [](CountsDialog& self) {
            static_cast<CButton*>(self.GetDlgItem(IDC_RADIO_SUNDAY))->SetCheck(BST_CHECKED);
            static_cast<CButton*>(self.GetDlgItem(IDC_RADIO_MONDAY))->SetCheck(BST_CHECKED);
        },
        [](DialogDriver& dlg, CountsDialog& self) {
            EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_SUNDAY));
            EXPECT_TRUE(dlg.IsChecked(IDC_RADIO_MONDAY));
            static_cast<CButton*>(self.GetDlgItem(IDC_RADIO_SUNDAY))->SetCheck(BST_UNCHECKED);
            EXPECT_EQ(static_cast<CButton*>(self.GetDlgItem(IDC_RADIO_SUNDAY))->GetCheck(),
                      BST_UNCHECKED);
            EXPECT_EQ(static_cast<CButton*>(self.GetDlgItem(IDC_RADIO_MONDAY))->GetCheck(),
                      BST_CHECKED);
        });
}

TEST(ComboBox, AppendingSelectsNothingAndMinusOneClears) {
    WithCounts(
        [](CountsDialog& self) {
            EXPECT_EQ(self.m_sortKeys.AddString("Größe"), 0);
            EXPECT_EQ(self.m_sortKeys.AddString("Geändert"), 1);
        },
        [](DialogDriver& dlg, CountsDialog& self) {
            EXPECT_EQ(dlg.ComboItems(IDC_COMBO_SORTKEY),
                      (std::vector<std::string>{"Größe", "Geändert"}));
            EXPECT_EQ(self.m_sortKeys.GetCurSel(), CB_ERR);
            EXPECT_EQ(self.m_sortKeys.SetCurSel(1), 1);
            CString text;
            self.m_sortKeys.GetLBText(1, text);
            EXPECT_EQ(text, "Geändert");
            EXPECT_EQ(self.m_sortKeys.SetCurSel(-1), CB_ERR);
            EXPECT_EQ(dlg.ComboSelection(IDC_COMBO_SORTKEY), -1);
            EXPECT_EQ(self.m_sortKeys.SetCurSel(2), CB_ERR);
        });
}

void WithList(std::function<void(ListDialog&)> init,
              std::function<void(DialogDriver&, ListDialog&)> step) {
    ListDialog dialog;
    dialog.onInit = std::move(init);
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING, [&](DialogDriver& dlg) {
        step(dlg, dialog);
        dlg.Click(IDOK);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
}

void FillTwoColumns(ListDialog& self) {
    RECT client;
    self.m_list.GetClientRect(&client);
    self.m_list.InsertColumn(0, "Erweiterungen", LVCFMT_LEFT, client.right / 4);
    self.m_list.InsertColumn(1, "MIME-Typ/Untertyp", LVCFMT_LEFT, client.right);
    for (const char* extension : {"doc", "pdf", "txt"}) {
        self.m_list.InsertItem(self.m_list.GetItemCount(), extension);
    }
    self.m_list.SetItemText(0, 1, "application/msword");
    self.m_list.SetItemText(1, 1, "application/pdf");
}

TEST(ListView, RowsColumnsAndTheClientRectangle) {
    WithList(FillTwoColumns, [](DialogDriver& dlg, ListDialog& self) {
        EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST),
                  (std::vector<ListRow>{
                      {"doc", "application/msword"}, {"pdf", "application/pdf"}, {"txt", ""}}));
        RECT client;
        self.m_list.GetClientRect(&client);
        const RECT outer = dlg.ControlRect(IDC_MIME_LIST);
        // Inside the border, and the columns were sized from it.
        EXPECT_LT(client.right, outer.right - outer.left);
        EXPECT_GT(client.right, (outer.right - outer.left) - 8);
        EXPECT_EQ(self.m_list.GetColumnWidth(0), client.right / 4);
        EXPECT_EQ(self.m_list.GetColumnWidth(1), client.right);
        EXPECT_EQ(self.m_list.GetItemText(1, 1), "application/pdf");
        EXPECT_EQ(self.m_list.GetItemText(7, 0), "");
        EXPECT_FALSE(self.m_list.SetItemText(3, 1, "x"));
        // The second column is as wide as the list, so the list scrolls sideways; the
        // headers do not sort.
        auto* view = dynamic_cast<QTableView*>(afx::ToWidget(self.m_list.m_hWnd));
        ASSERT_NE(view, nullptr);
        EXPECT_GT(view->horizontalScrollBar()->maximum(), 0);
        EXPECT_FALSE(view->horizontalHeader()->sectionsClickable());
    });
}

TEST(ListView, SelectionMarkFollowsTheUserAndIsClearedByDeleteAll) {
    WithList(FillTwoColumns, [](DialogDriver& dlg, ListDialog& self) {
        EXPECT_EQ(self.m_list.GetSelectionMark(), -1);
        dlg.SelectListRow(IDC_MIME_LIST, 2);
        EXPECT_EQ(self.m_list.GetSelectionMark(), 2);
        dlg.SelectListRow(IDC_MIME_LIST, 1);
        EXPECT_EQ(self.m_list.GetSelectionMark(), 1);
        EXPECT_EQ(dlg.ListSelectedRow(IDC_MIME_LIST), 1);
        // A row inserted above moves the mark with its row.
        self.m_list.InsertItem(0, "bmp");
        EXPECT_EQ(self.m_list.GetSelectionMark(), 2);
        EXPECT_TRUE(self.m_list.DeleteAllItems());
        EXPECT_EQ(self.m_list.GetSelectionMark(), -1);
        EXPECT_EQ(self.m_list.GetItemCount(), 0);
        EXPECT_EQ(dlg.ListSelectedRow(IDC_MIME_LIST), -1);
    });
}

TEST(ListView, RowsAddedWithRedrawOffReadBackAndJoinInOrder) {
    WithList(FillTwoColumns, [](DialogDriver& dlg, ListDialog& self) {
        dlg.SelectListRow(IDC_MIME_LIST, 1);
        self.m_list.SetRedraw(FALSE);
        EXPECT_EQ(self.m_list.InsertItem(99, "xls"), 3);
        EXPECT_TRUE(self.m_list.SetItemText(3, 1, "application/vnd.ms-excel"));
        EXPECT_EQ(self.m_list.GetItemCount(), 4);
        EXPECT_EQ(self.m_list.GetItemText(3, 1), "application/vnd.ms-excel");
        // A row above the list's end goes in at once, after the rows held back.
        EXPECT_EQ(self.m_list.InsertItem(0, "bmp"), 0);
        self.m_list.InsertItem(5, "zip");
        self.m_list.SetRedraw(TRUE);
        EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST),
                  (std::vector<ListRow>{{"bmp", ""},
                                        {"doc", "application/msword"},
                                        {"pdf", "application/pdf"},
                                        {"txt", ""},
                                        {"xls", "application/vnd.ms-excel"},
                                        {"zip", ""}}));
        EXPECT_EQ(self.m_list.GetSelectionMark(), 2);
        EXPECT_EQ(dlg.ListSelectedRow(IDC_MIME_LIST), 2);
        EXPECT_TRUE(afx::ToWidget(self.m_list.m_hWnd)->updatesEnabled());
    });
}

// Deletes every row and adds `rows` with redraw off, as the program refills its lists.
void Refill(ListDialog& self, const std::vector<ListRow>& rows) {
    self.m_list.SetRedraw(FALSE);
    self.m_list.DeleteAllItems();
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        self.m_list.InsertItem(i, rows[i][0].c_str());
        if (!rows[i][1].empty()) self.m_list.SetItemText(i, 1, rows[i][1].c_str());
    }
    self.m_list.SetRedraw(TRUE);
}

// What the view itself draws and tells a screen reader, cell by cell.
std::vector<ListRow> ShownRows(ListDialog& self) {
    auto* view = dynamic_cast<QTableView*>(afx::ToWidget(self.m_list.m_hWnd));
    std::vector<ListRow> rows;
    for (int row = 0; view && row < view->model()->rowCount(); ++row) {
        ListRow& texts = rows.emplace_back();
        for (int column = 0; column < view->model()->columnCount(); ++column) {
            texts.push_back(view->model()->index(row, column).data().toString().toStdString());
        }
    }
    return rows;
}

// Rows keep their texts as given until they are shown, whatever the texts; a text set later
// takes their place, also when a refill compares the rows shown with those that come.
TEST(ListView, TextsShowAsGivenThroughChangesAndRefills) {
    const std::string longText(70 * 1024, 'l');  // longer than the list keeps in one piece
    const std::vector<ListRow> given = {
        {"Größe", ""}, {"", "text/ä"}, {"é", longText}, {"txt", "text/plain"}};
    std::vector<ListRow> changed = given;
    changed[0][1] = "überschrieben";
    WithList(FillTwoColumns, [&](DialogDriver& dlg, ListDialog& self) {
        const struct {
            std::function<void()> change;
            std::vector<ListRow> shown;
        } steps[] = {
            {[&] { Refill(self, given); }, given},
            {[&] { self.m_list.SetItemText(0, 1, "überschrieben"); }, changed},
            {[&] { Refill(self, given); }, given},
            {[&] { Refill(self, changed); }, changed},
            {[&] { self.m_list.InsertColumn(0, "Neu", LVCFMT_LEFT, 20); },
             {{"", "Größe", "überschrieben"},
              {"", "", "text/ä"},
              {"", "é", longText},
              {"", "txt", "text/plain"}}},
        };
        for (size_t i = 0; i < std::size(steps); ++i) {
            steps[i].change();
            EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST), steps[i].shown) << "step " << i;
            EXPECT_EQ(ShownRows(self), steps[i].shown) << "step " << i;
        }
        EXPECT_EQ(self.m_list.GetItemText(2, 2), longText.c_str());
    });
}

// A refill with redraw off shows exactly the new rows, however few or many differ from
// those shown before, and leaves nothing selected, as deleting every row does.
TEST(ListView, RefillWithRedrawOffShowsTheNewRowsWithNothingSelected) {
    std::vector<ListRow> many, others;
    for (int i = 0; i < 100; ++i) {
        many.push_back({"m" + std::to_string(i), "t"});
        others.push_back({"o" + std::to_string(i), ""});
    }
    const std::vector<ListRow> oneChanged = {
        {"doc", "application/msword"}, {"pdf", "application/x-pdf"}, {"rtf", ""}, {"txt", ""}};
    const std::vector<ListRow> lastGone = {{"doc", "application/msword"}, {"pdf", ""}};
    const std::vector<std::vector<ListRow>> refills = {oneChanged, lastGone, many, others, {}};
    WithList(FillTwoColumns, [&](DialogDriver& dlg, ListDialog& self) {
        for (const std::vector<ListRow>& rows : refills) {
            // The first row stays the same in the short refills, so its selection must go.
            if (self.m_list.GetItemCount() > 0) dlg.SelectListRow(IDC_MIME_LIST, 0);
            Refill(self, rows);
            EXPECT_EQ(dlg.ListRows(IDC_MIME_LIST), rows);
            EXPECT_EQ(self.m_list.GetSelectionMark(), -1);
            EXPECT_EQ(dlg.ListSelectedRow(IDC_MIME_LIST), -1);
        }
    });
}

// What the user sees in the middle of a control, or of the dialog at a point no control covers.
std::string DrawnColour(const DialogDriver& dlg, int id) {
    CWnd* window = id ? dlg.Dialog()->GetDlgItem(id) : dlg.Dialog();
    const QImage image = afx::ToWidget(window->m_hWnd)->grab().toImage();
    return (id ? image.pixelColor(image.width() / 2, image.height() / 2) : image.pixelColor(1, 1))
        .name()
        .toStdString();
}

TEST(Edit, ReadOnlyEditsAreDrawnOnTheDialogsFaceColour) {
    EntryDialog dialog(IDD_MIME_CHANGE);  // its extension field is read-only
    UserSession user;
    user.OnDialog(IDD_MIME_CHANGE, [](DialogDriver& dlg) {
        ASSERT_TRUE(dlg.IsReadOnly(IDC_MIME_EXTENSION));
        const std::string face = DrawnColour(dlg, 0);
        EXPECT_EQ(DrawnColour(dlg, IDC_MIME_EXTENSION), face);
        EXPECT_NE(DrawnColour(dlg, IDC_MIME_TYPE), face);
        dlg.Press(Key::Escape);
    });
    dialog.DoModal();
}

TEST(SystemMenu, CloseFirstThenTheProgramsItemsWhichSendTheirCommand) {
    ListDialog dialog;
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING, [&](DialogDriver& dlg) {
        EXPECT_EQ(dlg.SystemMenu(), (std::vector<std::string>{"Schließen", "", "&Info..."}));
        dlg.ChooseSystemMenuItem("&Info...");
        dlg.ChooseSystemMenuItem("&Info...");
        EXPECT_EQ(dialog.systemCommands, (std::vector<UINT>{IDM_ABOUTBOX, IDM_ABOUTBOX}));
        dlg.ChooseSystemMenuItem("Schließen");
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.systemCommands.back(), static_cast<UINT>(SC_CLOSE));
}

}  // namespace
