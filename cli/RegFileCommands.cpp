// export and import: the viewer's keys as .reg files.
#include "stdafx.h"

#include <reg_file.h>

#include <ostream>

#include "Commands.h"
#include "Files.h"
#include "RegistryChanges.h"

namespace marrowick::cli {

namespace {

using platform::RegFileContents;
using platform::RegFileFormat;

int Export(const Invocation& call) {
    const std::string file = call.operands.empty() ? std::string() : call.operands[0];
    std::vector<platform::RegFileKey> keys;
    if (const LONG status = ReadViewerTree(keys); status != ERROR_SUCCESS) {
        call.err << "Die Einstellungen konnten nicht gelesen werden: " << Win32Text(status)
                 << ".\n";
        return kExitRegistryError;
    }
    bool windows1252 = true;
    const std::string bytes = platform::WriteRegFile(
        keys, call.options.regedit4 ? RegFileFormat::kRegedit4 : RegFileFormat::kVersion5,
        &windows1252);
    if (call.options.regedit4 && !windows1252) {
        call.err << "Hinweis: Nicht jedes Zeichen hat einen Platz in Windows-1252; die Datei ist "
                    "in UTF-8 geschrieben.\n";
    }
    if (file.empty() || file == "-") {
        call.out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        call.out.flush();
        return call.out ? kExitSuccess : kExitFileError;
    }
    if (!WriteFileReplacing(file, bytes)) {
        call.err << file << ": Die Datei konnte nicht geschrieben werden.\n";
        return kExitFileError;
    }
    return kExitSuccess;
}

int Import(const Invocation& call) {
    const std::string& file = call.operands[0];
    std::string bytes;
    if (!ReadWholeFile(file, bytes)) {
        call.err << file << ": Die Datei konnte nicht gelesen werden.\n";
        return kExitFileError;
    }
    const RegFileContents contents = platform::ReadRegFile(bytes);
    switch (contents.failure) {
        case RegFileContents::kNone:
            break;
        case RegFileContents::kEncoding:
            call.err << file << ": Die Datei ist kein gültiger UTF-16-Text.\n";
            return kExitUsage;
        case RegFileContents::kHeader:
            call.err << file << ", Zeile 1: Erwartet wird „Windows Registry Editor Version 5.00“ "
                     << "oder „REGEDIT4“.\n";
            return kExitUsage;
        case RegFileContents::kSyntax:
            call.err << file << ", Zeile " << contents.failedLine
                     << ": Diese Zeile ist keine gültige .reg-Anweisung.\n";
            return kExitUsage;
    }
    // Checked here first to name the file's line; the change path checks the same rules.
    std::string problem;
    std::size_t problemLine = 0;
    if (!CheckImport(contents.entries, problem, problemLine)) {
        call.err << file << ", Zeile " << problemLine << ": " << problem
                 << " Die Datei wurde nicht importiert.\n";
        return kExitUsage;
    }
    std::vector<platform::RegFileKey> keys;
    if (const LONG status = ReadViewerTree(keys); status != ERROR_SUCCESS) {
        call.err << "Die Einstellungen konnten nicht gelesen werden: " << Win32Text(status)
                 << ".\n";
        return kExitRegistryError;
    }
    return StoreAndReport(ChangesOfImport(keys, contents.entries), call);
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
         "Version 5.00“, UTF-16LE mit BOM und CRLF; --regedit4 für\n"
         "REGEDIT4 in Windows-1252",
         Export},
        {"import",
         1,
         1,
         {true, true, false},
         "import DATEI [--dry-run] [--json]",
         "eine .reg-Datei prüfen und in einem Schritt übernehmen;\n"
         "--dry-run zeigt die Änderungen und schreibt nichts",
         Import},
    };
    return commands;
}

}  // namespace marrowick::cli
