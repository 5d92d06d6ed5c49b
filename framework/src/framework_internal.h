// What the framework's sources share: the link between handles and Qt widgets, the
// conversions of texts and rectangles, and the lookups of resources.
#pragma once

#include <afxwin.h>

#include <QFont>
#include <QIcon>
#include <QRect>
#include <QString>
#include <QWidget>

#include "dialog_template.h"

namespace afx {

// A window handle is the address of its widget.
inline QWidget* ToWidget(HWND hWnd) {
    return reinterpret_cast<QWidget*>(hWnd);
}
inline HWND ToHandle(const QWidget* widget) {
    return reinterpret_cast<HWND>(const_cast<QWidget*>(widget));
}

// Texts are UTF-8 in the program and in the resources.
inline QString ToQString(LPCTSTR text) {
    return QString::fromUtf8(text ? text : "");
}
inline CString ToCString(const QString& text) {
    return CString(text.toUtf8().toStdString());
}

// The control ID the template gave a widget; 0 for the dialog and foreign widgets.
int ControlId(const QWidget* widget);
void SetControlId(QWidget* widget, int id);

// Objects of the program that stand for a widget (bound by DDX_Control, or the dialog).
void Attach(CWnd& wnd, QWidget* widget);
void Detach(CWnd& wnd);
CWnd* PermanentObject(const QWidget* widget);
// The permanent object, or a framework-owned object of the control's class.
CWnd* ObjectFor(QWidget* widget);

// The window text of any widget the framework creates.
QString WidgetText(const QWidget* widget);
void SetWidgetText(QWidget* widget, const QString& text);

// Dialog units: Windows' base units of a font are the average width of the 52 letters
// and the line height; a dialog unit is a quarter of the one and an eighth of the other.
struct BaseUnits {
    int x;
    int y;
};
BaseUnits BaseUnitsOf(const QFont& font);
QRect DialogUnitsToPixels(const QRect& dialogUnits, BaseUnits base);
// The template's font: "MS Sans Serif" and other Windows faces become the platform's
// sans-serif font, at the template's point size.
QFont DialogFont(const res::DialogTemplate& dialog);

// Resources.
QString LoadResourceString(UINT id);  // empty when the table has none
HICON IconHandle(UINT id);            // shared per resource; null when none
QIcon IconOf(HICON icon);
void InstallStringTable();

// The one application object, or null.
CWinApp* TheApp();
void SetTheApp(CWinApp* app);

// The widget being painted right now, for CPaintDC.
QWidget* WidgetBeingPainted();
void SetWidgetBeingPainted(QWidget* widget);

}  // namespace afx

// Lets the framework's own code at the private members of the window classes.
class CWndAccess {
public:
    static void ResetSystemMenu(CWnd& wnd);
};
