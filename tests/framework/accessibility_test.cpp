// What screen readers are told of the dialogs, seen from inside the process; the whole
// tree, as seen over the accessibility bus, is checked by tests/desktop.
#include <QAccessible>
#include <QTest>
#include <QWidget>
#include <QWindow>

#include <gtest/gtest.h>

#include "accessibility.h"
#include "framework_internal.h"
#include "test_dialogs.h"

namespace {

TEST(AccessibleNames, MnemonicMarksGoAsWindowsDrawsThem) {
    const struct {
        const char* text;
        const char* name;
    } cases[] = {
        {"&Löschen", "Löschen"},
        {"Anzah&l von Abschnitten für De&tailansicht", "Anzahl von Abschnitten für Detailansicht"},
        {"Fisch && Chips", "Fisch & Chips"},
        {"&&&x", "&x"},
        {"Ende&", "Ende"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(afx::StripMnemonics(QString::fromUtf8(c.text)), QString::fromUtf8(c.name))
            << c.text;
    }
}

QWidget* WidgetOf(DialogDriver& dlg, int id) {
    return afx::ToWidget(dlg.Dialog()->GetDlgItem(id)->m_hWnd);
}

TEST(GroupBoxes, HoldTheirControlsWhichTheMouseStillReachesWhereTheyAre) {
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [](DialogDriver& dlg) {
        QWindow* window = afx::ToWidget(dlg.Dialog()->m_hWnd)->windowHandle();
        for (int id : {IDC_RADIO_MONDAY, IDC_RADIO_DESCENDING}) {
            // On the button's mark, through the window as a real click comes.
            const RECT rect = dlg.ControlRect(id);
            QTest::mouseClick(window, Qt::LeftButton, {},
                              QPoint(rect.left + 5, (rect.top + rect.bottom) / 2));
            EXPECT_TRUE(dlg.IsChecked(id)) << id;
        }
        QAccessibleInterface* radio =
            QAccessible::queryAccessibleInterface(WidgetOf(dlg, IDC_RADIO_MONDAY));
        EXPECT_EQ(radio->role(), QAccessible::RadioButton);
        EXPECT_TRUE(radio->state().checked);
        EXPECT_EQ(radio->parent()->role(), QAccessible::Grouping);
        EXPECT_EQ(radio->parent()->text(QAccessible::Name), "Format für Kalender-Ansicht");
        dlg.Click(IDCANCEL);
    });
    CountsDialog dialog;
    dialog.DoModal();
}

TEST(AccessibleNames, FollowTheLabelWhenTheProgramChangesIt) {
    UserSession user;
    user.OnDialog(IDD_MIME_ADD, [](DialogDriver& dlg) {
        dlg.Dialog()->SetDlgItemText(IDC_STATIC, "Neue &Erweiterung");
        EXPECT_EQ(WidgetOf(dlg, IDC_MIME_EXTENSION)->accessibleName(), "Neue Erweiterung");
        dlg.Click(IDCANCEL);
    });
    EntryDialog dialog;
    dialog.DoModal();
}

// What Orca makes of the dialogs is heard by tests/desktop; here what it does not check.
TEST(SpinButtons, TakeTheUpDownsRangeAndReadTheNumberWithoutTakingItOver) {
    UserSession user;
    CountsDialog dialog;
    user.OnDialog(IDD_SETTING_DIALOG, [&dialog](DialogDriver& dlg) {
        QAccessibleInterface* spin =
            QAccessible::queryAccessibleInterface(WidgetOf(dlg, IDC_EDIT_DOCLIST));
        QAccessibleValueInterface* value = spin->valueInterface();
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->minimumValue().toInt(), 10);
        EXPECT_EQ(value->maximumValue().toInt(), 100);
        // The up-down is not a second thing to hear about.
        EXPECT_TRUE(QAccessible::queryAccessibleInterface(WidgetOf(dlg, IDC_SPIN_DOCLIST))
                        ->state()
                        .invisible);
        // A screen reader reading a number on the way does not make it the last valid one.
        dlg.Type(IDC_EDIT_DOCLIST, "15");
        EXPECT_EQ(value->currentValue().toInt(), 15);
        dlg.Type(IDC_EDIT_DOCLIST, "150");
        EXPECT_EQ(LOWORD(dialog.m_spinDocList.GetPos()), 20);
        dlg.Click(IDCANCEL);
    });
    dialog.onInit = [](CountsDialog& self) {
        self.m_spinDocList.SetRange(10, 100);
        self.m_spinDocList.SetPos(20);
    };
    dialog.DoModal();
}

}  // namespace

namespace {

// The report-style list is rows in columns: a table whose column headers are the headings
// the user sees, each cell its row's text, and its rows counted without the headings.
TEST(ListViews, AreTablesWithTheirColumnHeadings) {
    ListDialog dialog;
    dialog.onInit = [](ListDialog& self) {
        self.m_list.InsertColumn(0, "Erweiterungen", LVCFMT_LEFT, 60);
        self.m_list.InsertColumn(1, "MIME-Typ/Untertyp", LVCFMT_LEFT, 120);
        self.m_list.InsertItem(0, "pdf");
        self.m_list.SetItemText(0, 1, "application/pdf");
        self.m_list.InsertItem(1, "txt");
    };
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING, [](DialogDriver& dlg) {
        QAccessibleInterface* list = QAccessible::queryAccessibleInterface(
            afx::ToWidget(dlg.Dialog()->GetDlgItem(IDC_MIME_LIST)->m_hWnd));
        ASSERT_NE(list, nullptr);
        EXPECT_EQ(list->role(), QAccessible::Table);
        QAccessibleTableInterface* table = list->tableInterface();
        ASSERT_NE(table, nullptr);
        EXPECT_EQ(table->rowCount(), 2);
        ASSERT_EQ(table->columnCount(), 2);
        const QString headings[] = {"Erweiterungen", "MIME-Typ/Untertyp"};
        const QString cells[2][2] = {{"pdf", "application/pdf"}, {"txt", ""}};
        for (int column = 0; column < 2; ++column) {
            QAccessibleInterface* cell = table->cellAt(0, column);
            ASSERT_NE(cell, nullptr);
            const QList<QAccessibleInterface*> headers =
                cell->tableCellInterface()->columnHeaderCells();
            ASSERT_EQ(headers.size(), 1) << column;
            EXPECT_EQ(headers.front()->text(QAccessible::Name), headings[column]);
            // Qt hands out header cells it keeps nowhere: through its cache, they are freed.
            for (QAccessibleInterface* header : headers) {
                QAccessible::deleteAccessibleInterface(QAccessible::uniqueId(header));
            }
            for (int row = 0; row < 2; ++row) {
                EXPECT_EQ(table->cellAt(row, column)->text(QAccessible::Name), cells[row][column])
                    << row << "," << column;
            }
        }
        dlg.Click(IDOK);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
}

}  // namespace
