// mime list, add, change and delete: the viewer's map from extensions to MIME types.
#include "stdafx.h"

#include <ostream>

#include "Commands.h"
#include "Json.h"
#include "ViewerSettings.h"
#include "resource.h"

namespace marrowick::cli {

namespace {

int List(const Invocation& call) {
    int exitCode = kExitSuccess;
    if (!Readable(call.err, exitCode)) return exitCode;
    MimeEntryArray entries;
    CViewerSettings().GetMimeMap(entries);
    if (call.options.json) {
        JsonWriter json(call.out);
        json.BeginObject();
        json.Key("mappings").BeginArray();
        for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
            json.BeginObject();
            json.Key("extension").String(entries[i].strExtension.GetString());
            json.Key("type").String(entries[i].strMimeType.GetString());
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
        call.out << '\n';
        return kExitSuccess;
    }
    for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
        call.out << entries[i].strExtension.GetString() << '\t'
                 << entries[i].strMimeType.GetString() << '\n';
    }
    return kExitSuccess;
}

// The add dialog's own rule; the others are the change path's.
bool HasType(const Invocation& call) {
    if (!call.operands[1].empty()) return true;
    call.err << LoadResourceText(IDS_NO_MIMETYPE) << '\n';
    return false;
}

int Add(const Invocation& call) {
    if (!HasType(call)) return kExitUsage;
    int exitCode = kExitSuccess;
    if (!Readable(call.err, exitCode)) return exitCode;
    // Refused as a duplicate when the extension is stored in any letter case, tested at the
    // moment of writing: of several concurrent adds exactly one succeeds.
    Change add = SetStringChange(kMimeMapKeyPath, call.operands[0], call.operands[1]);
    add.expected.kind = Expectation::kAbsent;
    return StoreAndReport({add}, call, call.operands[0]);
}

int ChangeType(const Invocation& call) {
    int exitCode = kExitSuccess;
    if (!Readable(call.err, exitCode)) return exitCode;
    // Never brings back a mapping deleted meanwhile.
    Change change = SetStringChange(kMimeMapKeyPath, call.operands[0], call.operands[1]);
    change.expected.kind = Expectation::kPresent;
    return StoreAndReport({change}, call, call.operands[0],
                          "Diese Erweiterung wurde nicht definiert.");
}

int Delete(const Invocation& call) {
    int exitCode = kExitSuccess;
    if (!Readable(call.err, exitCode)) return exitCode;
    return StoreAndReport({DeleteValueChange(kMimeMapKeyPath, call.operands[0])}, call,
                          call.operands[0]);
}

}  // namespace

const std::vector<Command>& MimeCommands() {
    static const std::vector<Command> commands = {
        {"mime list",
         0,
         0,
         {true, false, false},
         "mime list [--json]",
         "die Zuordnungen von Erweiterungen zu MIME-Typen",
         List},
        {"mime add",
         2,
         2,
         {true, false, false},
         "mime add ERW TYP [--json]",
         "neue Zuordnung; abgelehnt, wenn ERW in irgendeiner\n"
         "Groß-/Kleinschreibung schon gespeichert ist",
         Add},
        {"mime change",
         2,
         2,
         {true, false, false},
         "mime change ERW TYP [--json]",
         "nur eine bestehende Zuordnung ändern",
         ChangeType},
        {"mime delete",
         1,
         1,
         {true, false, false},
         "mime delete ERW [--json]",
         "eine Zuordnung löschen",
         Delete},
    };
    return commands;
}

}  // namespace marrowick::cli
