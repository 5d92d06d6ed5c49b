// What the commands report: results of changes as text or JSON, and failures in German
// naming the file and the registry's code.
#include "stdafx.h"

#include <hive_file.h>

#include <ostream>
#include <string>
#include <vector>

#include "Commands.h"
#include "Json.h"
#include "RegManager.h"
#include "SettingRules.h"
#include "ValueFormat.h"

namespace marrowick::cli {

std::string HivePath() {
    return platform::GetHiveFileStatus().path;
}

bool Readable(const Invocation& call, int& exitCode) {
    const LONG status = CRegManager::CheckReadable(HKEY_LOCAL_MACHINE, kViewerKeyPath);
    if (status == ERROR_SUCCESS) return true;
    exitCode = ReportUnreadable(call, status);
    return false;
}

int ReportUnreadable(const Invocation& call, LONG status) {
    const platform::HiveFileStatus hive = platform::GetHiveFileStatus();
    call.failure.win32Code = status;
    call.failure.file = hive.path;
    call.err << hive.path;
    if (status == ERROR_BADDB && hive.failedLine) {
        call.failure.line = hive.failedLine;
        call.err << ", Zeile " << hive.failedLine;
    }
    call.err << ": Die Einstellungen konnten nicht gelesen werden: " << Win32Text(status) << ".\n";
    return kExitRegistryError;
}

void BeginOutput(JsonWriter& json) {
    json.BeginObject();
    json.Key("version").Number(1);
}

int StoreAndReport(std::vector<Change> changes, const Invocation& call, const std::string& subject,
                   const char* unexpected) {
    const ChangeOutcome outcome = ApplyChangeSet(std::move(changes), call.options.dryRun);
    if (outcome.Applied()) {
        ReportChanges(outcome.changed, call.options.json, call.options.dryRun, call.out);
        return kExitSuccess;
    }
    if (!subject.empty()) call.err << subject << ": ";
    switch (outcome.result) {
        case ChangeOutcome::kRegistryError: {
            // The store's account of the failure is gone once HivePath looks at the hive again.
            const std::string reason = Win32Text(outcome.status);
            call.failure.win32Code = outcome.status;
            call.failure.file = HivePath();
            call.err << call.failure.file << ": " << outcome.message
                     << " Nichts wurde geändert: " << reason << ".\n";
            return kExitRegistryError;
        }
        case ChangeOutcome::kExpectationFailed:
            call.err << (unexpected ? unexpected : outcome.message.c_str()) << '\n';
            return kExitUsage;
        default:
            call.err << outcome.message << " Nichts wurde geändert.\n";
            return kExitUsage;
    }
}

// The report every changing command gives: a line per change, or as JSON
// {"changed": bool, "changes": [...]}.
void ReportChanges(const std::vector<Change>& changes, bool json, bool dryRun, std::ostream& out) {
    if (json) {
        JsonWriter writer(out);
        BeginOutput(writer);
        writer.Key("changed").Bool(!changes.empty() && !dryRun);
        if (dryRun) writer.Key("dry_run").Bool(true);
        writer.Key("changes").BeginArray();
        for (const Change& change : changes) ChangeJson(writer, change);
        writer.EndArray();
        writer.EndObject();
        out << '\n';
        return;
    }
    if (changes.empty()) {
        out << "Keine Änderung: alles ist bereits so gespeichert.\n";
        return;
    }
    // A line at a time into one buffer: a large import reports thousands of lines.
    const std::string lead = dryRun ? "Würde " : "";
    const SharedKeyPath* keyOf = nullptr;  // the change whose key `key` spells
    std::string key, line;
    for (const Change& change : changes) {
        if (!keyOf || *keyOf != change.keyPath) key = ReportedKey(change.keyPath);
        keyOf = &change.keyPath;
        const bool aboutValue =
            change.kind == Change::kSetValue || change.kind == Change::kDeleteValue;
        line = lead;
        switch (change.kind) {
            case Change::kCreateKey:
                line += dryRun ? "anlegen" : "Angelegt";
                break;
            case Change::kSetValue:
                line += dryRun ? "setzen" : "Gesetzt";
                break;
            case Change::kDeleteKey:
            case Change::kDeleteValue:
                line += dryRun ? "löschen" : "Gelöscht";
                break;
        }
        line += ": [";
        line += key;
        line += ']';
        if (aboutValue) {
            line += ' ';
            line += change.name.empty() ? "@" : change.name;
        }
        if (change.kind == Change::kSetValue) {
            line += " = ";
            AppendValueText(line, change.newValue);
        }
        if (aboutValue && change.oldValue) {
            line += " (vorher ";
            AppendValueText(line, *change.oldValue);
            line += ')';
        }
        line += '\n';
        out.write(line.data(), static_cast<std::streamsize>(line.size()));
    }
}

}  // namespace marrowick::cli
