// Identifiers of the program's resources: dialog templates, their controls, strings,
// the icon and the system-menu command. Plain numbers, so a resource compiler reads them too.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_SETTING_DIALOG 102
#define IDD_MIME_SETTING 129
#define IDD_MIME_ADD 130
#define IDD_MIME_CHANGE 131

// Icon: a 32 x 32 and a 16 x 16 image in one group.
#define IDR_MAINFRAME 128

// System-menu command of the About entry (low four bits free, as the system wants).
#define IDM_ABOUTBOX 0x0010

// Strings.
#define IDS_ABOUTBOX 101
#define IDS_NO_EXTENSION 102
#define IDS_NO_MIMETYPE 103
#define IDS_EXTENSIONS 104
#define IDS_MIMETYPE 105
#define IDS_CONFIRM_DELETE 106
#define IDS_DUPLICATE_EXTENSION 107
#define IDS_NO_SELECTION 108
// The sort-key labels, in list order: label of sort-key index i is IDS_SORTKEY_FIRST + i.
#define IDS_SORTKEY_FIRST 109
#define IDS_SORTKEY_NAME 109
#define IDS_SORTKEY_NUMBER 110
#define IDS_SORTKEY_ADDED 111
#define IDS_SORTKEY_CHANGED 112
#define IDS_SORTKEY_EXPIRY 113
#define IDS_SORTKEY_SIZE 114
#define IDS_SORTKEY_SECTIONS 115
#define IDS_SORTKEY_STATUS 116
#define IDS_SORTKEY_LAST 116
#define IDS_SAVE_FAILED 117
#define IDS_MIME_SAVE_FAILED 118
#define IDS_MIME_DELETED_MEANWHILE 119
// Why new input cannot be a mapping (after „the input“: ); %1 the extension without its dot.
#define IDS_EXTENSION_LEADING_DOT 120
#define IDS_EXTENSION_CHARACTERS 121
#define IDS_MIMETYPE_FORM 122
// The main dialog opening on settings it cannot read; %1 the file (and line), %2 the reason.
#define IDS_SETTINGS_UNREADABLE 123
// The service refusing a call while too many of the caller's wait for a password.
#define IDS_TOO_MANY_WAITING 124

// Controls without an identifier of their own.
#ifndef IDC_STATIC
#define IDC_STATIC (-1)
#endif

// Controls of the main settings dialog (IDD_SETTING_DIALOG).
#define IDC_RADIO_SUNDAY 1000
#define IDC_RADIO_MONDAY 1001
#define IDC_COMBO_SORTKEY 1002
#define IDC_RADIO_ASCENDING 1003
#define IDC_RADIO_DESCENDING 1004
#define IDC_MIME_SETTINGS 1005
#define IDC_RESTORE_DEFAULTS 1007
#define IDC_SPIN_DOCTHUM 1010
#define IDC_EDIT_DOCTHUM 1011
#define IDC_SPIN_DOCLIST 1016
#define IDC_EDIT_DOCLIST 1017
#define IDC_SPIN_SECTHUM 1018
#define IDC_EDIT_SECTHUM 1019
#define IDC_SPIN_SECLIST 1020
#define IDC_EDIT_SECLIST 1021
#define IDC_SPIN_ENTRYSECTION 1022
#define IDC_EDIT_ENTRYSECTION 1023

// Controls of the MIME type list (IDD_MIME_SETTING).
#define IDC_MIME_LIST 1010
#define IDC_MIME_ADD 1014
#define IDC_MIME_DELETE 1016
#define IDC_MIME_CHANGE 1017

// Controls of the MIME type add and change dialogs (IDD_MIME_ADD, IDD_MIME_CHANGE).
#define IDC_MIME_EXTENSION 1013
#define IDC_MIME_TYPE 1014
