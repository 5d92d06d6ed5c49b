#include "stdafx.h"

#include "ChangeJournal.h"

#include <pwd.h>
#include <sys/uio.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <cstdlib>
#include <string_view>

#include "ChangeRecording.h"
#include "ValueFormat.h"

namespace marrowick::journal {

namespace {

constexpr struct {
    Face face;
    const char* name;
    const char* through;  // for the German message: "über ..."
} kFaces[] = {
    {Face::kDialog, "dialog", "den Dialog"},
    {Face::kCommandLine, "command-line", "die Befehlszeile"},
    {Face::kImport, "import", "einen Import"},
    {Face::kService, "service", "den Einstellungsdienst"},
};

const char* ThroughText(Face face) {
    for (const auto& known : kFaces) {
        if (known.face == face) return known.through;
    }
    return "";
}

std::string UserOf(uid_t uid) {
    struct passwd entry {};
    struct passwd* found = nullptr;
    char buffer[4096];
    if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) != 0 || !found) return {};
    return found->pw_name;
}

std::string Field(std::string_view name, std::size_t index) {
    return "MARROWICK_" + std::string(name) + "_" + std::to_string(index) + "=";
}

std::string Message(const std::vector<Change>& changed, const Author& author) {
    std::string message = "Einstellungen des Betrachters geändert von ";
    message += author.user.empty() ? "UID " + std::to_string(author.uid)
                                   : author.user + " (UID " + std::to_string(author.uid) + ")";
    message += " über ";
    message += ThroughText(author.face);
    if (author.face == Face::kService && !author.process.empty()) {
        message += " (Aufrufer " + author.process + ", PID " + std::to_string(author.pid) + ")";
    }
    message += changed.size() == 1 ? ": 1 Änderung"
                                   : ": " + std::to_string(changed.size()) + " Änderungen";
    for (std::size_t i = 0; i < changed.size() && i < kMaxListedChanges; ++i) {
        message += '\n';
        message += cli::ChangeLine(changed[i]);
    }
    if (changed.size() > kMaxListedChanges) {
        message += "\n… und " + std::to_string(changed.size() - kMaxListedChanges) + " weitere";
    }
    return message;
}

Face recordedFace = Face::kCommandLine;

void RecordAsThisProcess(const std::vector<Change>& changed) {
    WriteChangeSetEntry(changed, ThisProcessAs(recordedFace));
}

}  // namespace

const char* FaceName(Face face) {
    for (const auto& known : kFaces) {
        if (known.face == face) return known.name;
    }
    return "";
}

bool FaceOfName(const std::string& name, Face& face) {
    for (const auto& known : kFaces) {
        if (name == known.name) {
            face = known.face;
            return true;
        }
    }
    return false;
}

Author ThisProcessAs(Face face) {
    Author author;
    author.uid = getuid();
    author.user = UserOf(author.uid);
    author.face = face;
    return author;
}

std::vector<std::string> ChangeSetEntryFields(const std::vector<Change>& changed,
                                              const Author& author) {
    std::vector<std::string> fields;
    fields.push_back(std::string("MESSAGE_ID=") + kChangeSetMessageId);
    fields.push_back("MESSAGE=" + Message(changed, author));
    fields.push_back("PRIORITY=5");  // notice: a normal but significant event
    fields.push_back("MARROWICK_UID=" + std::to_string(author.uid));
    if (!author.user.empty()) fields.push_back("MARROWICK_USER=" + author.user);
    fields.push_back(std::string("MARROWICK_FACE=") + FaceName(author.face));
    if (author.face == Face::kService) {
        if (!author.process.empty()) fields.push_back("MARROWICK_PROCESS=" + author.process);
        if (author.pid > 0) fields.push_back("MARROWICK_PID=" + std::to_string(author.pid));
    }
    fields.push_back("MARROWICK_CHANGES=" + std::to_string(changed.size()));
    for (std::size_t i = 0; i < changed.size() && i < kMaxListedChanges; ++i) {
        const Change& change = changed[i];
        const std::size_t number = i + 1;
        fields.push_back(Field("ACTION", number) + cli::ActionWord(change.kind));
        fields.push_back(Field("KEY", number) + cli::ReportedKey(change.keyPath));
        if (change.kind != Change::kSetValue && change.kind != Change::kDeleteValue) continue;
        fields.push_back(Field("NAME", number) + change.name);
        if (change.oldValue) {
            fields.push_back(Field("OLD", number) + cli::ValueText(*change.oldValue));
        }
        if (change.kind == Change::kSetValue) {
            fields.push_back(Field("NEW", number) + cli::ValueText(change.newValue));
        }
    }
    return fields;
}

bool WriteChangeSetEntry(const std::vector<Change>& changed, const Author& author) {
    const char* hive = std::getenv("MARROWICK_HKLM");
    if (changed.empty() || (hive && *hive)) return false;
    const std::vector<std::string> fields = ChangeSetEntryFields(changed, author);
    std::vector<struct iovec> parts;
    parts.reserve(fields.size());
    for (const std::string& field : fields) {
        parts.push_back({const_cast<char*>(field.data()), field.size()});
    }
    // Without journald the socket is missing and the call fails at once; the save stands.
    return sd_journal_sendv(parts.data(), static_cast<int>(parts.size())) >= 0;
}

void RecordStoredChangeSetsAs(Face face) {
    recordedFace = face;
    SetStoredChangeSetRecorder(RecordAsThisProcess);
}

}  // namespace marrowick::journal
