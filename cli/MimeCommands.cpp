// mime list, add, change and delete: the viewer's map from extensions to MIME types.
#include "stdafx.h"

#include <optional>
#include <ostream>
#include <string>

#include "Commands.h"
#include "Json.h"
#include "MimeRule.h"
#include "RegManager.h"
#include "ViewerSettings.h"
#include "resource.h"

namespace marrowick::cli {

namespace {

int List(const Invocation& call) {
    int exitCode = kExitSuccess;
    if (!Readable(call, exitCode)) return exitCode;
    MimeEntryArray entries;
    CViewerSettings().GetMimeMap(entries);
    if (call.options.json) {
        JsonWriter json(call.out);
        BeginOutput(json);
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
    // Said beside the output, which stays empty for a script that reads it.
    if (entries.GetSize() == 0) call.err << "Es sind keine Zuordnungen gespeichert.\n";
    for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
        call.out << entries[i].strExtension.GetString() << '\t'
                 << entries[i].strMimeType.GetString() << '\n';
    }
    return kExitSuccess;
}

constexpr const char* kNothingStored = " Nichts wurde gespeichert.";

// A word as the shell takes it back: quoted when it holds anything but a plain name's
// characters.
std::string ShellWord(const std::string& word) {
    const bool plain = !word.empty() && word.find_first_not_of(
                                            "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"
                                            "0123456789/._+-") == std::string::npos;
    return plain ? word : "'" + word + "'";
}

// The mapping stored under the extension in any letter case, if there is one.
std::optional<MimeEntry> StoredMapping(const std::string& extension) {
    MimeEntryArray entries;
    CViewerSettings().GetMimeMap(entries);
    for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
        if (IsSameMimeExtension(entries[i].strExtension, extension.c_str())) return entries[i];
    }
    return std::nullopt;
}

// The extension and type in the form new mappings take; the other rules are the change
// path's.
bool WellFormed(const Invocation& call) {
    std::string problem = MimeExtensionProblem(call.operands[0]);
    if (problem.empty()) problem = MimeTypeProblem(call.operands[1]);
    if (problem.empty()) return true;
    call.err << problem << kNothingStored << '\n';
    return false;
}

// Whether the extension, in any letter case, is stored with exactly this type.
bool StoredAs(const std::string& extension, const std::string& type) {
    DWORD storedType = 0;
    std::string data;
    return CRegManager::GetRegValue(HKEY_LOCAL_MACHINE, kMimeMapKeyPath, extension.c_str(),
                                    storedType, data) &&
           storedType == REG_SZ && data == type + '\0';
}

int Add(const Invocation& call) {
    if (!WellFormed(call)) return kExitUsage;
    int exitCode = kExitSuccess;
    if (!Readable(call, exitCode)) return exitCode;
    // Adding exactly the stored mapping again is done already.
    if (StoredAs(call.operands[0], call.operands[1])) return StoreAndReport({}, call);
    // Refused as a duplicate when the extension is stored in any letter case, tested at the
    // moment of writing: of several concurrent adds exactly one succeeds.
    Change add = SetStringChange(kMimeMapKeyPath, call.operands[0], call.operands[1]);
    add.expected.kind = Expectation::kAbsent;
    // The duplicate message names what is stored and how to change it; one stored only
    // meanwhile gets the plain message.
    std::string duplicate = LoadResourceText(IDS_DUPLICATE_EXTENSION);
    if (const std::optional<MimeEntry> stored = StoredMapping(call.operands[0])) {
        const std::string extension = stored->strExtension.GetString();
        duplicate.pop_back();  // its full stop
        duplicate += ": " + Quoted(extension) + " mit dem Typ " +
                     Quoted(stored->strMimeType.GetString()) + ". Ändern mit: marrowick mime set " +
                     ShellWord(extension) + " " + ShellWord(call.operands[1]) + ".";
    }
    return StoreAndReport({add}, call, call.operands[0], (duplicate + kNothingStored).c_str());
}

// Adds the mapping or changes the stored one.
int Set(const Invocation& call) {
    if (!WellFormed(call)) return kExitUsage;
    int exitCode = kExitSuccess;
    if (!Readable(call, exitCode)) return exitCode;
    return StoreAndReport({SetStringChange(kMimeMapKeyPath, call.operands[0], call.operands[1])},
                          call, call.operands[0]);
}

int ChangeType(const Invocation& call) {
    if (!WellFormed(call)) return kExitUsage;
    int exitCode = kExitSuccess;
    if (!Readable(call, exitCode)) return exitCode;
    // Never brings back a mapping deleted meanwhile.
    Change change = SetStringChange(kMimeMapKeyPath, call.operands[0], call.operands[1]);
    change.expected.kind = Expectation::kPresent;
    return StoreAndReport({change}, call, call.operands[0],
                          "Diese Erweiterung wurde nicht definiert. Nichts wurde gespeichert.");
}

int Delete(const Invocation& call) {
    int exitCode = kExitSuccess;
    if (!Readable(call, exitCode)) return exitCode;
    // A dotted name can only be a mapping a Windows registry brought; if none is stored
    // so, the user meant the extension without its dot, as `mime add` says.
    if (call.operands[0].starts_with('.') && !StoredMapping(call.operands[0])) {
        call.err << MimeExtensionProblem(call.operands[0]) << kNothingStored << '\n';
        return kExitUsage;
    }
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
         {true, true, false},
         "mime add [--dry-run] ERW TYP [--json]",
         "neue Zuordnung; abgelehnt, wenn ERW in irgendeiner\n"
         "Groß-/Kleinschreibung schon mit einem anderen TYP gespeichert\n"
         "ist. ERW ohne Punkt, Leerzeichen, Steuerzeichen, / und \\;\n"
         "TYP in der Form Typ/Untertyp, Parameter nach „;“ erlaubt",
         Add},
        {"mime set",
         2,
         2,
         {true, true, false},
         "mime set [--dry-run] ERW TYP [--json]",
         "die Zuordnung anlegen oder die gespeicherte ändern",
         Set},
        {"mime change",
         2,
         2,
         {true, true, false},
         "mime change [--dry-run] ERW TYP [--json]",
         "nur eine bestehende Zuordnung ändern",
         ChangeType},
        {"mime delete",
         1,
         1,
         {true, true, false},
         "mime delete [--dry-run] ERW [--json]",
         "eine Zuordnung löschen",
         Delete},
    };
    return commands;
}

}  // namespace marrowick::cli
