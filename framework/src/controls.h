// The Qt widgets that play the Windows controls, with the Windows behaviour the
// program counts on.
#pragma once

#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QTableView>
#include <QWidget>

#include <functional>
#include <string_view>
#include <vector>

#include "list_rows.h"

class QToolButton;

namespace afx {

class UpDownControl;

// A push button that, like Windows, clicks at once when its mnemonic is pressed.
class PushButton : public QPushButton {
public:
    using QPushButton::QPushButton;

protected:
    bool event(QEvent* event) override;
};

// An auto radio button: clicking checks it and unchecks the others of its group; clicking
// a checked one leaves it checked. The group is the dialog's business (onChecked).
class AutoRadioButton : public QRadioButton {
public:
    AutoRadioButton(const QString& text, QWidget* parent,
                    std::function<void(AutoRadioButton*)> onChecked);

protected:
    void nextCheckState() override;
    bool event(QEvent* event) override;

private:
    std::function<void(AutoRadioButton*)> m_onChecked;
};

// An edit control. A read-only one is drawn on the dialog's face colour, as on Windows,
// so that the user sees at once which fields take typing.
class EditControl : public QLineEdit {
public:
    using QLineEdit::QLineEdit;

    // The up-down control whose buddy this edit is, or null: together they are one spin
    // button to a screen reader.
    UpDownControl* UpDown() const;
    void SetUpDown(UpDownControl* upDown);

protected:
    void changeEvent(QEvent* event) override;

private:
    void ShowWhetherReadOnly();

    bool m_onFaceColour = false;
    QPointer<QObject> m_upDown;  // the up-down may go first when the dialog ends
};

// A drop-down list that tells screen readers when its selected item changes.
class ComboBox : public QComboBox {
public:
    explicit ComboBox(QWidget* parent);
};

// A group box as Windows draws it: an etched frame with the title on its top line.
class GroupBox : public QWidget {
public:
    GroupBox(const QString& title, QWidget* parent);
    QString Title() const { return m_title; }
    void SetTitle(const QString& title);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
};

// An up-down control with a buddy edit. Keeps Windows' rules: a 16-bit position inside
// the range; with set-buddy-integer the position is the buddy's number while that is a
// whole number inside the range, and stays at its last valid value otherwise.
class UpDownControl : public QWidget {
public:
    UpDownControl(QWidget* parent, bool setBuddyInt, bool arrowKeys);

    void SetBuddy(QLineEdit* buddy);
    QLineEdit* Buddy() const { return m_buddy; }

    int SetPos(int pos);  // returns the previous position
    // The position, and whether the buddy held a valid number.
    int Pos(bool* valid = nullptr);
    // The position Pos would return, without taking the buddy's number over: a screen
    // reader's looking must not change what the program reads later.
    int ShownPos() const;
    void SetRange(int lower, int upper);
    int Lower() const { return m_lower; }
    int Upper() const { return m_upper; }
    // One step as by the arrow buttons: up goes towards the upper bound.
    void Step(bool up);

    QToolButton* UpButton() const { return m_up; }
    QToolButton* DownButton() const { return m_down; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    int Clamp(int value) const;
    bool InRange(int value) const;
    bool BuddyNumber(int* number) const;  // a whole number in the range
    void SyncFromBuddy(bool* valid);
    void ShowPosInBuddy();

    QToolButton* m_up;
    QToolButton* m_down;
    QLineEdit* m_buddy = nullptr;
    bool m_setBuddyInt;
    bool m_arrowKeys;
    int m_pos = 0;
    // Windows' initial range runs from 100 down to 0.
    int m_lower = 100;
    int m_upper = 0;
};

// A list view in report mode: rows of texts in columns of pixel widths, single selection,
// and the selection mark (the row the user last selected, -1 when none). A table to
// assistive technology, with its column headings.
class ListView : public QTableView {
public:
    explicit ListView(QWidget* parent);

    int InsertColumn(int column, const QString& heading, int width);
    int ColumnCount() const { return m_rows.Columns(); }
    // Texts in UTF-8, kept as given until shown or read.
    int InsertItem(int row, std::string_view text);
    bool SetItemText(int row, int column, std::string_view text);
    QString ItemText(int row, int column) const;
    int ItemCount() const;
    void DeleteAllItems();
    int SelectionMark() const { return m_selectionMark; }
    int SelectedRow() const;
    // Off: rows appended from now on are held aside, and when redraw is turned on again the
    // list changes only where they differ from what it shows, in one step. A refill after a
    // small change then costs little more than comparing the rows.
    void SetRedraw(bool redraw);

protected:
    void focusInEvent(QFocusEvent* event) override;

private:
    int RowsShown() const { return m_replacingAll ? 0 : m_rows.Rows(); }
    int PendingRowCount() const;
    void ApplyPendingRows();

    ListRows m_rows;
    int m_selectionMark = -1;
    bool m_updating = false;
    bool m_redraw = true;
    // While redraw is off: whether every row shown is to go, and the rows to follow those
    // that stay, m_pendingColumns cells to a row.
    bool m_replacingAll = false;
    int m_pendingColumns = 0;
    std::vector<std::string> m_pending;
};

}  // namespace afx
