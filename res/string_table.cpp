// The string table: the program's texts and the framework's own.
#include "dialog_template.h"
#include "resource.h"

namespace res {
namespace {

struct StringResource {
    UINT id;
    const char* text;
};

constexpr StringResource kStrings[] = {
    {IDS_ABOUTBOX, "&Marrowick Info..."},
    {IDS_NO_EXTENSION, "Erweiterung wurde nicht eingegeben."},
    {IDS_NO_MIMETYPE, "MIME-Typ/Untertyp wurde nicht eingegeben."},
    {IDS_EXTENSIONS, "Erweiterungen"},
    {IDS_MIMETYPE, "MIME-Typ/Untertyp"},
    {IDS_CONFIRM_DELETE, "Sollen diese Einstellungen tatsächlich gelöscht werden?"},
    {IDS_DUPLICATE_EXTENSION, "Diese Erweiterung wurde bereits definiert."},
    {IDS_NO_SELECTION, "Bitte eine Auswahl treffen."},
    {IDS_SORTKEY_NAME, "Dokumentname"},
    {IDS_SORTKEY_NUMBER, "Dokument-Nr."},
    {IDS_SORTKEY_ADDED, "Hinzugefügt"},
    {IDS_SORTKEY_CHANGED, "Geändert"},
    {IDS_SORTKEY_EXPIRY, "Ablaufdatum"},
    {IDS_SORTKEY_SIZE, "Größe"},
    {IDS_SORTKEY_SECTIONS, "Anzahl von Abschnitten"},
    {IDS_SORTKEY_STATUS, "Arbeitsstatus"},
    {IDS_SAVE_FAILED, "Die Einstellungen konnten nicht gespeichert werden."},
    {IDS_MIME_SAVE_FAILED, "Die MIME-Typ-Einstellung konnte nicht gespeichert werden."},

    {AFX_IDP_PARSE_INT, "Geben Sie eine ganze Zahl ein."},
    {AFX_IDP_PARSE_INT_RANGE, "Geben Sie eine ganze Zahl zwischen %1 und %2 ein."},
    {AFX_IDS_OK, "OK"},
    {AFX_IDS_CANCEL, "Abbrechen"},
    {AFX_IDS_SYSMENU_CLOSE, "Schließen"},
};

}  // namespace

const char* FindString(UINT id) {
    for (const StringResource& entry : kStrings) {
        if (entry.id == id) return entry.text;
    }
    return nullptr;
}

}  // namespace res
