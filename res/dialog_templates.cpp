// The program's five dialog templates. Rectangles are x, y, width, height in dialog units;
// controls are listed in tab order.
#include "dialog_template.h"
#include "resource.h"

namespace res {
namespace {

using enum ControlClass;

constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT;
constexpr DWORD kPushButton = BS_PUSHBUTTON | WS_TABSTOP;
constexpr DWORD kDefaultButton = BS_DEFPUSHBUTTON | WS_TABSTOP;
constexpr DWORD kGroupBox = BS_GROUPBOX;
constexpr DWORD kLabel = SS_LEFT | WS_GROUP;
constexpr DWORD kFirstRadio = BS_AUTORADIOBUTTON | WS_GROUP | WS_TABSTOP;
constexpr DWORD kRadio = BS_AUTORADIOBUTTON;
constexpr DWORD kEdit = ES_LEFT | ES_AUTOHSCROLL | WS_BORDER | WS_TABSTOP;
constexpr DWORD kUpDown = UDS_SETBUDDYINT | UDS_ALIGNRIGHT | UDS_AUTOBUDDY | UDS_ARROWKEYS;

constexpr ControlTemplate kAboutControls[] = {
    {IDC_STATIC, Static, "128", 11, 17, 20, 20, SS_ICON},
    {IDC_STATIC, Static, "Marrowick Version 1.0", 40, 10, 158, 8, kLabel | SS_NOPREFIX},
    {IDC_STATIC, Static, "Copyright (C) 2026 Marrowick", 40, 25, 119, 8, kLabel},
    {IDOK, Button, "OK", 221, 7, 45, 14, kDefaultButton | WS_GROUP},
};

constexpr ControlTemplate kSettingControls[] = {
    {IDOK, Button, "OK", 210, 7, 55, 14, kDefaultButton},
    {IDCANCEL, Button, "Abbrechen", 210, 24, 55, 14, kPushButton},
    {IDC_STATIC, Button, "Format für Kalender-Ansicht", 7, 7, 131, 46, kGroupBox},
    {IDC_RADIO_SUNDAY, Button, "Woche am &Sonntag beginnen", 17, 20, 113, 10, kFirstRadio},
    {IDC_RADIO_MONDAY, Button, "Woche am &Montag beginnen", 17, 36, 108, 10, kRadio},
    {IDC_STATIC, Button, "Dokument-Anzeigereihenfolge", 7, 61, 258, 60, kGroupBox},
    {IDC_STATIC, Static, "Do&kument-Sortierschlüssel:", 20, 74, 92, 8, kLabel},
    {IDC_COMBO_SORTKEY, ComboBox, "", 120, 70, 85, 118, CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP},
    {IDC_RADIO_ASCENDING, Button, "In au&fsteigender Reihenfolge sortieren", 28, 91, 133, 10,
     kFirstRadio},
    {IDC_RADIO_DESCENDING, Button, "In a&bsteigender Reihenfolge sortieren", 28, 106, 135, 10,
     kRadio},
    {IDC_STATIC, Button, "Anzahl der in der Tabelle anzuzeigenden Element", 7, 134, 258, 121,
     kGroupBox},
    {IDC_STATIC, Static, "Maximale &Anzahl von Abschnitten beim Hinzufügen (5-99):", 17, 149, 172,
     8, kLabel},
    {IDC_EDIT_ENTRYSECTION, Edit, "", 214, 146, 29, 12, kEdit},
    {IDC_SPIN_ENTRYSECTION, UpDown, "", 228, 146, 11, 12, kUpDown},
    {IDC_STATIC, Button, "Dokumenttabelle", 13, 162, 241, 42, kGroupBox},
    {IDC_STATIC, Static, "Anzahl von Dokumenten für &Detailansicht (10-100):", 21, 173, 172, 8,
     kLabel},
    {IDC_EDIT_DOCLIST, Edit, "", 214, 170, 29, 12, kEdit},
    {IDC_SPIN_DOCLIST, UpDown, "", 228, 170, 11, 12, kUpDown},
    {IDC_STATIC, Static, "Anzahl von Dokumenten für &Piktogramm-Ansicht (10-100):", 21, 189, 187, 8,
     kLabel},
    {IDC_EDIT_DOCTHUM, Edit, "", 214, 186, 29, 12, kEdit},
    {IDC_SPIN_DOCTHUM, UpDown, "", 228, 186, 11, 12, kUpDown},
    {IDC_STATIC, Button, "Abschnittstabelle", 14, 208, 240, 42, kGroupBox},
    {IDC_STATIC, Static, "Anzah&l von Abschnitten für De&tailansicht (10-100):", 21, 220, 172, 8,
     kLabel},
    {IDC_EDIT_SECLIST, Edit, "", 214, 218, 29, 12, kEdit},
    {IDC_SPIN_SECLIST, UpDown, "", 228, 215, 11, 12, kUpDown},
    {IDC_STATIC, Static, "A&nzahl von Abschnitten für Pikto&gramm-Ansicht (10-100):", 21, 236, 182,
     8, kLabel},
    {IDC_EDIT_SECTHUM, Edit, "", 214, 234, 29, 12, kEdit},
    {IDC_SPIN_SECTHUM, UpDown, "", 228, 231, 11, 12, kUpDown},
    {IDC_MIME_SETTINGS, Button, "MIME-Typ-&Einstellungen...", 25, 261, 93, 14, kPushButton},
    {IDC_RESTORE_DEFAULTS, Button, "Standardwerte &wiederherstellen", 123, 261, 111, 14,
     kPushButton},
};

constexpr ControlTemplate kMimeSettingControls[] = {
    {IDOK, Button, "Schließen", 202, 7, 65, 14, kDefaultButton},
    {IDC_MIME_LIST, ListView, "", 7, 7, 188, 129,
     LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS | LVS_NOSORTHEADER | WS_BORDER | WS_TABSTOP},
    {IDC_MIME_ADD, Button, "&Hinzufügen...", 202, 27, 65, 14, kPushButton},
    {IDC_MIME_CHANGE, Button, "&Wechseln...", 202, 46, 65, 14, kPushButton},
    {IDC_MIME_DELETE, Button, "&Löschen", 202, 65, 65, 14, kPushButton},
};

constexpr ControlTemplate kMimeAddControls[] = {
    {IDC_STATIC, Static, "&Erweiterungen", 7, 9, 67, 8, kLabel},
    {IDC_MIME_EXTENSION, Edit, "", 94, 7, 38, 12, kEdit},
    {IDC_STATIC, Static, "&MIME-Typ/Untertyp", 7, 27, 80, 8, kLabel},
    {IDC_MIME_TYPE, Edit, "", 94, 25, 112, 12, kEdit},
    {IDOK, Button, "OK", 216, 7, 50, 14, kDefaultButton},
    {IDCANCEL, Button, "Abbrechen", 216, 24, 50, 14, kPushButton},
};

constexpr ControlTemplate kMimeChangeControls[] = {
    {IDC_STATIC, Static, "&Erweiterungen", 8, 9, 73, 8, kLabel},
    {IDC_MIME_EXTENSION, Edit, "", 105, 7, 38, 12, kEdit | ES_READONLY},
    {IDC_STATIC, Static, "&MIME-Typ/Untertyp", 8, 27, 86, 8, kLabel},
    {IDC_MIME_TYPE, Edit, "", 105, 25, 112, 12, kEdit},
    {IDOK, Button, "OK", 224, 7, 50, 14, kDefaultButton},
    {IDCANCEL, Button, "Abbrechen", 224, 24, 50, 14, kPushButton},
};

constexpr DialogTemplate kDialogs[] = {
    {IDD_ABOUTBOX, "Marrowick Version", 273, 55, "MS Sans Serif", 9, kDialogStyle, 0,
     kAboutControls},
    {IDD_SETTING_DIALOG, "Marrowick", 272, 282, "MS Sans Serif", 9, kDialogStyle | WS_VISIBLE,
     WS_EX_APPWINDOW, kSettingControls},
    {IDD_MIME_SETTING, "MIME-Typ-Einstellungen", 274, 143, "MS Sans Serif", 9, kDialogStyle, 0,
     kMimeSettingControls},
    {IDD_MIME_ADD, "MIME-Typ hinzufügen", 273, 45, "MS Sans Serif", 9, kDialogStyle, 0,
     kMimeAddControls},
    {IDD_MIME_CHANGE, "MIME-Typ wechseln", 281, 45, "MS Sans Serif", 9, kDialogStyle, 0,
     kMimeChangeControls},
};

}  // namespace

std::span<const DialogTemplate> DialogTemplates() {
    return kDialogs;
}

const DialogTemplate* FindDialogTemplate(UINT id) {
    for (const DialogTemplate& dialog : kDialogs) {
        if (dialog.id == id) return &dialog;
    }
    return nullptr;
}

}  // namespace res
