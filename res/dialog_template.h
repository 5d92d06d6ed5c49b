// Dialog templates and the string table as the framework uses them, read from the
// resource scripts (resource_script.h), and the identifiers and styles they are written in.
#pragma once

#include <windows.h>

#include <span>

// The two buttons every dialog knows.
#ifndef IDOK
#define IDOK 1
#define IDCANCEL 2
#endif

// Window and control styles, with the values <windows.h> and <commctrl.h> give them.
#ifndef WS_POPUP
#define WS_POPUP 0x80000000L
#define WS_CHILD 0x40000000L
#define WS_VISIBLE 0x10000000L
#define WS_CAPTION 0x00C00000L
#define WS_BORDER 0x00800000L
#define WS_VSCROLL 0x00200000L
#define WS_SYSMENU 0x00080000L
#define WS_GROUP 0x00020000L
#define WS_TABSTOP 0x00010000L
#define WS_EX_CLIENTEDGE 0x00000200L
#define WS_EX_APPWINDOW 0x00040000L
#define DS_SETFONT 0x40L
#define DS_MODALFRAME 0x80L
#define BS_PUSHBUTTON 0x00000000L
#define BS_DEFPUSHBUTTON 0x00000001L
#define BS_GROUPBOX 0x00000007L
#define BS_AUTORADIOBUTTON 0x00000009L
#define BS_TYPEMASK 0x0000000FL
#define SS_LEFT 0x00000000L
#define SS_ICON 0x00000003L
#define SS_TYPEMASK 0x0000001FL
#define SS_NOPREFIX 0x00000080L
#define ES_LEFT 0x0000L
#define ES_AUTOHSCROLL 0x0080L
#define ES_READONLY 0x0800L
#define CBS_SIMPLE 0x0001L
#define CBS_DROPDOWNLIST 0x0003L
#define CBS_SORT 0x0100L
#endif
#ifndef UDS_SETBUDDYINT
#define UDS_WRAP 0x0001
#define UDS_SETBUDDYINT 0x0002
#define UDS_ALIGNRIGHT 0x0004
#define UDS_ALIGNLEFT 0x0008
#define UDS_AUTOBUDDY 0x0010
#define UDS_ARROWKEYS 0x0020
#define UDS_NOTHOUSANDS 0x0080
#define LVS_REPORT 0x0001
#define LVS_SINGLESEL 0x0004
#define LVS_SHOWSELALWAYS 0x0008
#define LVS_NOSORTHEADER 0x8000
#endif

// The framework's own strings, in the range the framework reserves for itself.
#define AFX_IDP_PARSE_INT 0xF110
#define AFX_IDP_PARSE_INT_RANGE 0xF111  // %1 and %2 are the bounds
#define AFX_IDS_OK 0xF1A0
#define AFX_IDS_CANCEL 0xF1A1
#define AFX_IDS_SYSMENU_CLOSE 0xF1A2
// What a screen reader calls the two buttons of an up-down control.
#define AFX_IDS_UPDOWN_INCREASE 0xF1A3
#define AFX_IDS_UPDOWN_DECREASE 0xF1A4
// Said on the error stream when the toolkit finds no display; %1 is the program's name.
#define AFX_IDS_NO_DISPLAY 0xF1A5

namespace res {

// The window class of a control, as a resource script names it.
enum class ControlClass { Button, Static, Edit, ComboBox, UpDown, ListView };

// One control: rectangle in dialog units, relative to the client area.
struct ControlTemplate {
    int id;
    ControlClass controlClass;
    const char* text;  // for an icon control, the icon's resource ID in decimal
    short x, y, cx, cy;
    DWORD style;
    DWORD exStyle = 0;
};

struct DialogTemplate {
    UINT id;
    const char* caption;
    short cx, cy;  // client area, dialog units
    const char* fontName;
    int pointSize;
    DWORD style;
    DWORD exStyle;
    std::span<const ControlTemplate> controls;  // in template (tab) order
};

// Null when there is no such template.
const DialogTemplate* FindDialogTemplate(UINT id);
std::span<const DialogTemplate> DialogTemplates();

// The text of string `id`, or null when the table has none.
const char* FindString(UINT id);

// The bytes of icon resource `id` in .ico format; empty when there is none.
std::span<const unsigned char> FindIcon(UINT id);

}  // namespace res
