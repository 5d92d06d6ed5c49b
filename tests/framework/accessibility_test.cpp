// What screen readers are told of the dialogs, seen from inside the process; the whole
// tree, as seen over the accessibility bus, is checked by tests/desktop.
#include <QAbstractItemView>
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

TEST(SpinButtons, AnEditWithItsUpDownIsOneSpinButtonWithTheUpDownsRangeAndSteps) {
    UserSession user;
    CountsDialog dialog;
    user.OnDialog(IDD_SETTING_DIALOG, [&dialog](DialogDriver& dlg) {
        QWidget* edit = WidgetOf(dlg, IDC_EDIT_DOCLIST);
        QAccessibleInterface* spin = QAccessible::queryAccessibleInterface(edit);
        ASSERT_EQ(spin->role(), QAccessible::SpinBox);
        EXPECT_EQ(spin->text(QAccessible::Name),
                  "Anzahl von Dokumenten für Detailansicht (10-100):");
        QAccessibleValueInterface* value = spin->valueInterface();
        ASSERT_NE(value, nullptr);
        EXPECT_EQ(value->minimumValue().toInt(), 10);
        EXPECT_EQ(value->maximumValue().toInt(), 100);
        EXPECT_EQ(spin->actionInterface()->keyBindingsForAction(
                      QAccessibleActionInterface::increaseAction()),
                  QStringList{"Alt+D"});
        // Its up-down is not a second thing to hear about.
        EXPECT_TRUE(QAccessible::queryAccessibleInterface(WidgetOf(dlg, IDC_SPIN_DOCLIST))
                        ->state()
                        .invisible);
        dlg.Focus(IDC_EDIT_DOCLIST);
        dlg.Press(Key::Up);
        EXPECT_EQ(value->currentValue().toInt(), 21);
        // A screen reader reading a number on the way does not make it the last valid one.
        dlg.Type(IDC_EDIT_DOCLIST, "15");
        EXPECT_EQ(value->currentValue().toInt(), 15);
        dlg.Type(IDC_EDIT_DOCLIST, "150");
        EXPECT_EQ(LOWORD(dialog.m_spinDocList.GetPos()), 21);
        dlg.Click(IDCANCEL);
    });
    dialog.onInit = [](CountsDialog& self) {
        self.m_spinDocList.SetRange(10, 100);
        self.m_spinDocList.SetPos(20);
    };
    dialog.DoModal();
}

TEST(RadioButtons, TellTheirShortcutAndAreLabelledByTheirGroup) {
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [](DialogDriver& dlg) {
        QAccessibleInterface* radio =
            QAccessible::queryAccessibleInterface(WidgetOf(dlg, IDC_RADIO_SUNDAY));
        EXPECT_EQ(radio->actionInterface()->keyBindingsForAction(
                      QAccessibleActionInterface::pressAction()),
                  QStringList{"Alt+S"});
        const auto labels = radio->relations(QAccessible::Label);
        ASSERT_EQ(labels.size(), 1);
        EXPECT_EQ(labels[0].first->text(QAccessible::Name), "Format für Kalender-Ansicht");
        bool labelsTheRadio = false;
        for (const auto& [member, relation] : labels[0].first->relations(QAccessible::Labelled))
            labelsTheRadio = labelsTheRadio || member->object() == radio->object();
        EXPECT_TRUE(labelsTheRadio);
        dlg.Click(IDCANCEL);
    });
    CountsDialog dialog;
    dialog.DoModal();
}

TEST(DropDowns, ShowTheirItemAsTextAndTellANewOne) {
    UserSession user;
    user.OnDialog(IDD_SETTING_DIALOG, [](DialogDriver& dlg) {
        QWidget* combo = WidgetOf(dlg, IDC_COMBO_SORTKEY);
        QAccessibleTextInterface* text =
            QAccessible::queryAccessibleInterface(combo)->textInterface();
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(text->text(0, text->characterCount()), "Name");
        dlg.SelectComboItem(IDC_COMBO_SORTKEY, 1);
        EXPECT_EQ(text->text(0, text->characterCount()), "Datum");
        dlg.Click(IDCANCEL);
    });
    CountsDialog dialog;
    dialog.onInit = [](CountsDialog& self) {
        self.m_sortKeys.AddString("Name");
        self.m_sortKeys.AddString("Datum");
        self.m_sortKeys.SetCurSel(0);
    };
    dialog.DoModal();
}

// A screen reader names the current row when the list gets the focus; there must be one.
TEST(ListViews, HaveACurrentRowButNoSelectionOnceTheyHaveTheFocus) {
    UserSession user;
    user.OnDialog(IDD_MIME_SETTING, [](DialogDriver& dlg) {
        auto* list = static_cast<QAbstractItemView*>(WidgetOf(dlg, IDC_MIME_LIST));
        dlg.Focus(IDOK);
        dlg.Press(Key::Tab);
        ASSERT_EQ(dlg.FocusedId(), IDC_MIME_LIST);
        EXPECT_EQ(list->currentIndex().data().toString(), "pdf");
        EXPECT_EQ(dlg.ListSelectedRow(IDC_MIME_LIST), -1);
        dlg.Click(IDOK);
    });
    ListDialog dialog;
    dialog.onInit = [](ListDialog& self) {
        self.m_list.InsertColumn(0, "Erweiterungen", LVCFMT_LEFT, 60);
        for (const char* extension : {"pdf", "txt"})
            self.m_list.InsertItem(self.m_list.GetItemCount(), extension);
    };
    dialog.DoModal();
}

}  // namespace
