// The test drivers' view of the framework, kept out of the program's library.
#include "afx_testing.h"

#include <QToolButton>

#include "controls.h"
#include "dialog_window.h"
#include "framework_internal.h"

namespace afx::testing {

namespace {

DialogWindow* DialogWindowOf(HWND window) {
    return dynamic_cast<DialogWindow*>(ToWidget(window));
}

const ListView* AsListView(const QAbstractItemView* list) {
    return dynamic_cast<const ListView*>(list);
}

}  // namespace

QWidget* WidgetOf(HWND window) {
    return ToWidget(window);
}

HWND HandleOf(const QWidget* widget) {
    return ToHandle(widget);
}

UINT TemplateIdOf(HWND window) {
    const DialogWindow* dialog = DialogWindowOf(window);
    return dialog ? dialog->Template().id : 0;
}

CDialog* DialogOf(HWND window) {
    DialogWindow* dialog = DialogWindowOf(window);
    return dialog ? &dialog->Owner() : nullptr;
}

QWidget* ControlOf(HWND dialog, int id) {
    const DialogWindow* window = DialogWindowOf(dialog);
    return window ? window->Control(id) : nullptr;
}

QMenu* OpenSystemMenuOf(HWND dialog) {
    const DialogWindow* window = DialogWindowOf(dialog);
    return window ? window->OpenSystemMenu() : nullptr;
}

int ControlIdOf(const QWidget* widget) {
    return ControlId(widget);
}

std::string WindowTextOf(const QWidget* widget) {
    return WidgetText(widget).toStdString();
}

QAbstractButton* UpDownArrow(QWidget* control, bool up) {
    auto* upDown = dynamic_cast<UpDownControl*>(control);
    if (!upDown) return nullptr;
    return up ? upDown->UpButton() : upDown->DownButton();
}

QAbstractItemView* ListViewOf(QWidget* control) {
    return dynamic_cast<ListView*>(control);
}

int ListItemCount(const QAbstractItemView* list) {
    const ListView* view = AsListView(list);
    return view ? view->ItemCount() : 0;
}

int ListColumnCount(const QAbstractItemView* list) {
    const ListView* view = AsListView(list);
    return view ? view->ColumnCount() : 0;
}

std::string ListItemText(const QAbstractItemView* list, int row, int column) {
    const ListView* view = AsListView(list);
    return view ? view->ItemText(row, column).toStdString() : std::string();
}

int ListSelectedRow(const QAbstractItemView* list) {
    const ListView* view = AsListView(list);
    return view ? view->SelectedRow() : -1;
}

void InstallStringTable() {
    afx::InstallStringTable();
}

}  // namespace afx::testing
