// What a test driver, or a tool that renders the dialogs, may know of the framework's
// insides, and nothing more. The program itself never includes this header: it sees the
// Windows framework's headers only.
//
// A window handle names the Qt widget that draws the window; a driver acts on that widget
// as a person would (keys, clicks) and reads what the framework knows beyond Qt: which
// template built a dialog, the program's object behind it, the template IDs of its
// controls, and the parts of the framework's own controls.
//
//     QWidget* window = QApplication::activeModalWidget();
//     if (afx::testing::TemplateIdOf(afx::testing::HandleOf(window)) == IDD_MIME_ADD) {
//         QWidget* edit = afx::testing::ControlOf(afx::testing::HandleOf(window), IDC_MIME_TYPE);
//         ...
//     }
//
// Link `marrowick_framework_testing`; it needs the QApplication to exist.
#pragma once

#include <afxwin.h>

#include <string>

class QAbstractButton;
class QAbstractItemView;
class QMenu;
class QWidget;

namespace afx::testing {

QWidget* WidgetOf(HWND window);
HWND HandleOf(const QWidget* widget);

// The dialogs the framework builds from templates; 0 or null for any other window.
UINT TemplateIdOf(HWND window);
CDialog* DialogOf(HWND window);           // the program's object
QWidget* ControlOf(HWND dialog, int id);  // the first control with this template ID
QMenu* OpenSystemMenuOf(HWND dialog);     // while the dialog's system menu is open

// The template ID of a control; 0 for a dialog and for widgets the framework did not build.
int ControlIdOf(const QWidget* widget);
// A window's text in UTF-8, as GetWindowText reads it (an edit's content).
std::string WindowTextOf(const QWidget* widget);

// An up-down control's arrow button; null when `control` is no up-down control.
QAbstractButton* UpDownArrow(QWidget* control, bool up);

// A list view in report mode; null when `control` is no list view. Its rows and texts as
// the program put them there (LVM_GETITEMTEXT), not as a screen reader is told them.
QAbstractItemView* ListViewOf(QWidget* control);
int ListItemCount(const QAbstractItemView* list);
int ListColumnCount(const QAbstractItemView* list);
std::string ListItemText(const QAbstractItemView* list, int row, int column);
int ListSelectedRow(const QAbstractItemView* list);  // -1 when none

// The program's string table for LoadString and the message texts, as AfxWinMain loads it.
void InstallStringTable();

}  // namespace afx::testing
