// export and import: the viewer's keys as .reg files.
#include "stdafx.h"

#include <reg_file.h>

#include <cerrno>
#include <cstring>
#include <istream>
#include <iterator>
#include <ostream>

#include "Commands.h"
#include "Files.h"
#include "ImportCheck.h"
#include "ImportDifference.h"
#include "MimeRule.h"
#include "SettingRules.h"
#include "ViewerTree.h"

namespace marrowick::cli {

namespace {

using platform::RegFileContents;
using platform::RegFileFormat;

// Why a file could not be read or written, in the registry's words where it has them.
std::string SystemReason(int error, Failure& failure) {
    if (error == ENOENT) failure.win32Code = ERROR_FILE_NOT_FOUND;
    if (error == EACCES || error == EPERM) failure.win32Code = ERROR_ACCESS_DENIED;
    return failure.win32Code ? Win32Text(*failure.win32Code) : std::strerror(error);
}

// A mapping outside the rule new mappings follow, as a Windows registry may hold one: taken,
// but said, since the viewer can never serve it. "" when it follows the rule.
std::string MimeMappingWarning(const platform::RegFileEntry& entry) {
    if (entry.kind != platform::RegFileEntry::kValue || entry.value.type != REG_SZ ||
        PlaceOfKey(entry.keyPath) != ViewerPlace::kMimeMap) {
        return {};
    }
    std::string problem = MimeExtensionProblem(entry.value.name);
    if (problem.empty()) {
        problem = MimeTypeProblem(entry.value.data.substr(0, entry.value.data.find('\0')));
    }
    if (problem.empty()) return {};
    return "Warnung: " + problem +
           " Die Zuordnung wird übernommen, wie die Datei sie enthält, kann so aber nie "
           "greifen.";
}

int Export(const Invocation& call) {
    const std::string file = call.operands.empty() ? std::string() : call.operands[0];
    const bool toOutput = file.empty() || file == "-";
    // As compressors refuse to write binary data to a terminal.
    if (toOutput && call.outputIsTerminal && !call.options.regedit4) {
        call.err << "Das Format „Windows Registry Editor Version 5.00“ ist UTF-16 und gehört "
                    "nicht auf ein Terminal. Als Text: marrowick export --regedit4; oder in "
                    "eine Datei: marrowick export DATEI.\n";
        return kExitUsage;
    }
    std::vector<platform::RegFileKey> keys;
    if (const LONG status = ReadViewerTree(keys); status != ERROR_SUCCESS) {
        return ReportUnreadable(call, status);
    }
    bool windows1252 = true;
    const std::string bytes = platform::WriteRegFile(
        keys, call.options.regedit4 ? RegFileFormat::kRegedit4 : RegFileFormat::kVersion5,
        &windows1252);
    if (call.options.regedit4 && !windows1252) {
        call.err << "Hinweis: Nicht jedes Zeichen hat einen Platz in Windows-1252; die Datei ist "
                    "in UTF-8 geschrieben.\n";
    }
    if (toOutput) {
        call.out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        call.out.flush();
        return call.out ? kExitSuccess : kExitFileError;
    }
    if (IsTheHive(file)) {
        call.err << file
                 << ": Das ist die Registrierungsdatei selbst; sie wird nicht überschrieben.\n";
        return kExitFileError;
    }
    if (!WriteFileReplacing(file, bytes)) {
        const int error = errno;
        call.failure.file = file;
        call.err << file << ": Die Datei konnte nicht geschrieben werden: "
                 << SystemReason(error, call.failure) << ".\n";
        return kExitFileError;
    }
    return kExitSuccess;
}

int Import(const Invocation& call) {
    const bool fromInput = call.operands[0] == "-";
    const std::string file = fromInput ? std::string("(Standardeingabe)") : call.operands[0];
    call.failure.file = file;
    std::string bytes;
    if (fromInput) {
        bytes.assign(std::istreambuf_iterator<char>(call.in), std::istreambuf_iterator<char>());
    } else if (!ReadWholeFile(file, bytes)) {
        const int error = errno;
        call.err << file
                 << ": Die Datei konnte nicht gelesen werden: " << SystemReason(error, call.failure)
                 << ".\n";
        return kExitFileError;
    }
    RegFileContents contents = platform::ReadRegFile(bytes);
    switch (contents.failure) {
        case RegFileContents::kNone:
            break;
        case RegFileContents::kEncoding:
            call.err << file << ": Die Datei ist kein gültiger UTF-16-Text.\n";
            return kExitUsage;
        case RegFileContents::kHeader:
            call.failure.line = 1;
            call.err << file << ", Zeile 1: Erwartet wird „Windows Registry Editor Version 5.00“ "
                     << "oder „REGEDIT4“.\n";
            return kExitUsage;
        case RegFileContents::kSyntax:
            call.failure.line = contents.failedLine;
            call.err << file << ", Zeile " << contents.failedLine
                     << ": Diese Zeile ist keine gültige .reg-Anweisung.\n";
            return kExitUsage;
    }
    // Checked here first to name the file's lines, every refused statement, so that one
    // round of corrections is enough; the change path checks the same rules.
    for (const platform::RegFileEntry& entry : contents.entries) {
        std::string problem;
        std::size_t line = 0;
        if (!CheckImport({&entry, 1}, problem, line)) {
            call.failure.problems.emplace_back(line, problem);
        } else if (const std::string warning = MimeMappingWarning(entry); !warning.empty()) {
            call.err << file << ", Zeile " << entry.line << ": " << warning << '\n';
        }
    }
    if (!call.failure.problems.empty()) {
        call.failure.line = call.failure.problems.front().first;
        for (const auto& [line, problem] : call.failure.problems) {
            call.err << file << ", Zeile " << line << ": " << problem << '\n';
        }
        call.err << file << ": Die Datei wurde nicht importiert.\n";
        return kExitUsage;
    }
    std::vector<platform::RegFileKey> keys;
    if (const LONG status = ReadViewerTree(keys); status != ERROR_SUCCESS) {
        return ReportUnreadable(call, status);
    }
    std::vector<Change> changes = ChangesOfImport(keys, std::move(contents.entries));
    // The file is done with: its room serves storing the changes.
    bytes = std::string();
    contents = {};
    return StoreAndReport(std::move(changes), call);
}

}  // namespace

const std::vector<Command>& RegFileCommands() {
    static const std::vector<Command> commands = {
        {"export",
         0,
         1,
         {false, false, true},
         "export [DATEI] [--regedit4]",
         "die Schlüssel des Betrachters als .reg-Datei (ohne DATEI\n"
         "oder mit - auf die Standardausgabe); Format wie der\n"
         "Registrierungs-Editor von Windows: „Windows Registry Editor\n"
         "Version 5.00“, UTF-16LE mit BOM und CRLF (nicht auf ein\n"
         "Terminal); --regedit4 für REGEDIT4 in Windows-1252",
         Export},
        {"import",
         1,
         1,
         {true, true, false},
         "import [--dry-run] DATEI|- [--json]",
         "eine .reg-Datei (- für die Standardeingabe) prüfen und in\n"
         "einem Schritt übernehmen; jeder abgelehnte Wert wird genannt",
         Import},
    };
    return commands;
}

}  // namespace marrowick::cli
