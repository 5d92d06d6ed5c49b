// The window of a modal dialog, built from its template: controls at their template
// rectangles, keyboard handling as the Windows dialog manager does it, and the system menu.
#pragma once

#include <QDialog>
#include <QMenu>
#include <QPointer>

#include <map>
#include <memory>
#include <vector>

#include "framework_internal.h"

class QMenu;

namespace afx {

class DialogWindow : public QDialog {
public:
    DialogWindow(const res::DialogTemplate& dialogTemplate, CDialog& owner, QWidget* parent);
    ~DialogWindow() override;

    CDialog& Owner() const { return m_owner; }
    const res::DialogTemplate& Template() const { return m_template; }
    BaseUnits Units() const { return m_units; }

    // The first control with this ID, or null.
    QWidget* Control(int id) const;
    // The template entry a widget was built from, or null.
    const res::ControlTemplate* TemplateOf(const QWidget* widget) const;
    // A framework-owned object for a control the program did not bind.
    CWnd* TemporaryObject(QWidget* widget);

    // Focus as Windows gives it after initialisation: the first tab stop.
    void FocusFirstTabStop();
    // Delivers a control notification to the owner's message map.
    void SendCommand(int id, int code, QWidget* control);

    // Names every control for screen readers from the texts the user sees; again after a
    // text has changed.
    void NameControlsForAccessibility();

    void ShowSystemMenu(const QPoint& globalPos);
    QMenu* OpenSystemMenu() const { return m_openMenu; }

    // The dialog when `widget` is one of its windows or controls, else null.
    static DialogWindow* Of(QWidget* widget);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void reject() override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    bool focusNextPrevChild(bool next) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Entry {
        QWidget* widget;
        const res::ControlTemplate* control;
    };

    QWidget* CreateControl(const res::ControlTemplate& control);
    void ConnectBuddies();
    void PlaceInGroupBoxes();
    void CheckOnlyInGroup(QWidget* checked);
    int IndexOf(const QWidget* widget) const;
    std::pair<int, int> GroupAround(int index) const;  // [first, last]
    bool CanTakeFocus(int index) const;
    int RedirectToCheckedRadio(int index) const;
    void MoveInGroup(int index, bool previous);
    void PressDefaultButton();
    // The control whose mnemonic is `letter`, searched after `from`: focused or clicked.
    bool PressMnemonic(QChar letter, int from);

    const res::DialogTemplate& m_template;
    CDialog& m_owner;
    BaseUnits m_units{};
    std::vector<Entry> m_entries;
    std::map<QWidget*, std::unique_ptr<CWnd>> m_temporaries;
    QPointer<QMenu> m_openMenu;
};

}  // namespace afx
