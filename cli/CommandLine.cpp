#include "stdafx.h"

#include "CommandLine.h"

#include <hive_file.h>

#include <unistd.h>

#include <algorithm>
#include <iostream>
#include <sstream>
#include <string_view>

#include "ChangeJournal.h"
#include "Commands.h"
#include "Json.h"
#include "MimeRule.h"
#include "RegManager.h"
#include "SettingRules.h"
#include "SettingsClient.h"
#include "ValueFormat.h"
#include "dialog_template.h"

namespace marrowick::cli {

constexpr const char* kVersion = MARROWICK_VERSION;

namespace {

// The options, as they are parsed and as the help lists them.
struct OptionRule {
    enum Effect { kJson, kDryRun, kRegedit4, kSince, kNoAskPassword, kHelp, kVersion };
    enum Listing { kNone, kRow, kNote };  // among the commands, or in a note after them
    const char* spellings;                // " | " between those of one option
    Effect effect;
    Listing listed;
    const char* summary;
    bool takesValue = false;  // the next word, or after "=" in the same one
};

const OptionRule kOptions[] = {
    {"--dry-run", OptionRule::kDryRun, OptionRule::kNote,
     "zeigen, was sich ändern würde, und nichts schreiben."},
    {"--json", OptionRule::kJson, OptionRule::kNote,
     "ein JSON-Objekt als Ergebnis, auch bei einem Fehler (siehe unten)."},
    {"--regedit4", OptionRule::kRegedit4, OptionRule::kNone, ""},
    {"--since", OptionRule::kSince, OptionRule::kNone, "", true},
    {"--no-ask-password", OptionRule::kNoAskPassword, OptionRule::kRow,
     "nicht nach dem Administratorpasswort fragen: Was ein\n"
     "gewöhnlicher Benutzer nicht selbst speichern darf, wird\n"
     "dann abgelehnt, statt über den Einstellungsdienst zu gehen"},
    // "help" is a command; the others are options.
    {"help | -h | --help", OptionRule::kHelp, OptionRule::kRow, "diese Hilfe"},
    {"--version", OptionRule::kVersion, OptionRule::kRow, "die Version"},
};

// The option spelt so; null for none.
const OptionRule* FindOption(const std::string& argument) {
    for (const OptionRule& option : kOptions) {
        const std::string_view spellings = option.spellings;
        for (std::size_t start = 0; start <= spellings.size();) {
            const std::size_t end = std::min(spellings.find(" | ", start), spellings.size());
            const std::string_view spelling = spellings.substr(start, end - start);
            if (spelling.starts_with('-') &&
                (spelling == argument ||
                 (option.takesValue && argument.size() > spelling.size() &&
                  argument.starts_with(spelling) && argument[spelling.size()] == '='))) {
                return &option;
            }
            start = end + 3;
        }
    }
    return nullptr;
}

// The part of the help that no table describes.
const char kHelpTail[] =
    "Import: Nur HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander und was darunter\n"
    "liegt darf vorkommen (auch als HKLM, in beliebiger Schreibweise); eine Datei, die etwas\n"
    "anderes nennt, wird ganz abgelehnt. Die Werte, die der Dialog kennt, werden wie im\n"
    "Dialog geprüft (Typ und Bereich; SortKey eine der acht Kennungen); andere Werte werden\n"
    "übernommen, wie sie sind. Verstanden werden [-Schlüssel], \"Name\"=-, @=, dword:, hex:,\n"
    "hex(N): und Fortsetzungszeilen; UTF-16LE mit BOM, sonst UTF-8, wenn gültig, sonst\n"
    "Windows-1252.\n"
    "\n"
    "Ausgabe: Ergebnisse auf der Standardausgabe, Meldungen auf der Standardfehlerausgabe.\n"
    "Jeder ändernde Befehl nennt jede Änderung; was schon so gespeichert ist, wird nicht noch\n"
    "einmal geschrieben (die Registrierungsdatei bleibt dann unberührt). Was in der\n"
    "Registrierung dieses Rechners gespeichert wird, vermerkt das Journal des Systems mit\n"
    "Benutzer, Weg und jedem Wert vorher und nachher (marrowick log).\n"
    "\n"
    "JSON (--json), ein Objekt auf einer Zeile:\n"
    "  show:      {\"settings\": {NAME: {\"value\": ZAHL, \"default\": BOOL}, ...}}; bei\n"
    "             SortKey ist \"value\" die Kennung, dazu \"index\" und \"label\";\n"
    "             \"default\": true, wenn nichts (Lesbares) gespeichert ist; \"valid\":\n"
    "             false und \"problem\", wenn das Gespeicherte ungültig ist\n"
    "  mime list: {\"mappings\": [{\"extension\": TEXT, \"type\": TEXT}, ...]}\n"
    "  Änderungen: {\"changed\": BOOL, \"changes\": [{\"action\": \"set\"|\"delete\"|\n"
    "             \"create-key\"|\"delete-key\", \"key\": SCHLÜSSEL, \"name\": NAME,\n"
    "             \"old\": WERT|null, \"new\": WERT|null}, ...]}; --dry-run fügt\n"
    "             \"dry_run\": true hinzu und meldet \"changed\": false. Ein WERT ist eine\n"
    "             Zahl (REG_DWORD), ein Text (REG_SZ) oder {\"type\": N, \"hex\": BYTES};\n"
    "             SCHLÜSSEL immer als HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\...\n"
    "  log:       {\"entries\": [{\"time\": UTC, \"uid\": N, \"user\": NAME, \"face\":\n"
    "             \"dialog\"|\"command-line\"|\"import\"|\"service\", beim Dienst \"process\"\n"
    "             und \"pid\", \"change_count\": N, \"changes\": [wie oben]}, ...]}\n"
    "  watch:     ein Objekt je Zeile, solange es läuft: {\"time\": UTC, \"changes\": [...]}\n"
    "  Fehler:    {\"error\": {\"message\": TEXT, \"exit_code\": N, \"win32_code\": N,\n"
    "             \"file\": TEXT, \"line\": N, \"problems\": [{\"message\", \"line\"}]}},\n"
    "             auch auf der Standardausgabe; Felder ohne Inhalt fehlen\n"
    "  Jedes Objekt beginnt mit \"version\": 1 (/usr/share/doc/marrowick/\n"
    "  command-line.schema.json beschreibt jedes Feld).\n"
    "\n"
    "Exit-Status:\n"
    "  0  Erfolg, auch wenn nichts geändert werden musste\n"
    "  1  die Registrierung hat abgelehnt (die Meldung nennt den Win32-Fehlercode, z. B. 5\n"
    "     für Zugriff verweigert); nichts wurde geändert\n"
    "  2  falscher Aufruf oder ungültige Angaben; nichts wurde geändert\n"
    "  3  eine Datei konnte nicht gelesen oder geschrieben werden\n"
    "\n"
    "Die Registrierung liegt in /var/lib/marrowick/HKLM.reg oder in der Datei, die die\n"
    "Umgebungsvariable MARROWICK_HKLM nennt.\n";

std::vector<const Command*> AllCommands() {
    std::vector<const Command*> all;
    for (const auto* group :
         {&SettingsCommands(), &MimeCommands(), &RegFileCommands(), &JournalCommands()}) {
        for (const Command& command : *group) all.push_back(&command);
    }
    return all;
}

// Indents the lines after the first of a summary to its column.
std::string Aligned(const std::string& text, std::size_t column) {
    std::string aligned;
    for (char c : text) {
        aligned += c;
        if (c == '\n') aligned += std::string(column, ' ');
    }
    return aligned;
}

// Breaks a list ("a, b, c") after its commas so that no line passes `width`, the lines
// after the first starting at `column`.
std::string Wrapped(const std::string& list, std::size_t column, std::size_t width) {
    std::string wrapped;
    std::size_t lineLength = column;
    for (std::size_t start = 0; start < list.size();) {
        const std::size_t comma = list.find(", ", start);
        const std::size_t end = comma == std::string::npos ? list.size() : comma + 1;
        const std::string item = list.substr(start, end - start);
        if (lineLength > column && lineLength + 1 + item.size() > width) {
            wrapped += '\n' + std::string(column, ' ');
            lineLength = column;
        } else if (lineLength > column) {
            wrapped += ' ';
            ++lineLength;
        }
        wrapped += item;
        lineLength += item.size();
        start = end == list.size() ? end : end + 1;
    }
    return wrapped;
}

std::string Help() {
    const std::size_t column = 30;
    std::ostringstream help;
    help << "Aufruf: marrowick [BEFEHL [ARGUMENTE]]\n"
            "\n"
            "Ohne Befehl öffnet marrowick den Einstellungsdialog. Mit einem Befehl arbeitet es "
            "ohne\nBildschirm auf denselben Einstellungen, mit denselben Regeln wie der Dialog.\n"
            "\n"
            "Befehle:\n";
    const auto row = [&](const std::string& usage, const std::string& summary) {
        help << "  " << usage;
        if (usage.size() + 2 >= column) {
            help << '\n' << std::string(column, ' ');
        } else {
            help << std::string(column - 2 - usage.size(), ' ');
        }
        help << Aligned(summary, column) << '\n';
    };
    for (const Command* command : AllCommands()) row(command->usage, command->summary);
    for (const OptionRule& option : kOptions) {
        if (option.listed == OptionRule::kRow) row(option.spellings, option.summary);
    }
    help << "\n";
    for (const OptionRule& option : kOptions) {
        if (option.listed == OptionRule::kNote) {
            help << option.spellings << ": " << option.summary << '\n';
        }
    }
    help << "\n"
            "NAME und WERT (NAME in beliebiger Groß-/Kleinschreibung):\n";
    int count = 0;
    const SettingRule* rules = GetSettingRules(count);
    for (int i = 0; i < count; ++i) {
        const std::string name = rules[i].lpszValueName;
        help << "  " << name << std::string(name.size() < 14 ? 14 - name.size() : 1, ' ')
             << Wrapped(DescribeAllowed(rules[i]), 16, 88) << '\n';
    }
    help << "Ungültige Angaben werden mit den Meldungen des Dialogs abgelehnt; dann wird nichts\n"
            "gespeichert.\n"
            "\n";
    help << kHelpTail;
    return help.str();
}

int Usage(std::ostream& err, const std::string& problem) {
    err << problem << "\nHilfe: marrowick --help\n";
    return kExitUsage;
}

// The help `words` ask for: all of it, or the usage of the command they name (for a group
// such as mime, of each of its commands).
int ShowHelp(const std::vector<std::string>& words, std::ostream& out, std::ostream& err) {
    if (words.empty()) {
        out << Help();
        return kExitSuccess;
    }
    const std::vector<const Command*> all = AllCommands();
    const auto named = [&](std::size_t count) {
        std::vector<const Command*> found;
        for (const Command* command : all) {
            const std::string name = command->name;
            const bool same = count == 2   ? words.size() > 1 && name == words[0] + " " + words[1]
                              : count == 1 ? name == words[0]
                                           : name.starts_with(words[0] + " ");
            if (same) found.push_back(command);
        }
        return found;
    };
    std::vector<const Command*> commands = named(2);
    if (commands.empty()) commands = named(1);
    if (commands.empty()) commands = named(0);
    if (commands.empty()) return Usage(err, "Unbekannter Befehl " + Quoted(words[0]) + ".");
    for (const Command* command : commands) {
        out << "Aufruf: marrowick " << command->usage << "\n  " << Aligned(command->summary, 2)
            << '\n';
    }
    out << "Mehr: marrowick --help\n";
    return kExitSuccess;
}

int Run(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
        std::istream& in, bool outputIsTerminal, Failure& failure) {
    Options options;
    std::vector<std::string> words;
    bool askPassword = true;
    bool endOfOptions = false;
    bool sinceFollows = false;
    for (const std::string& argument : arguments) {
        if (sinceFollows) {
            options.sinceTime = argument;
            sinceFollows = false;
        } else if (endOfOptions || argument.size() < 2 ||
                   (!argument.starts_with("--") && !FindOption(argument))) {
            words.push_back(argument);
        } else if (argument == "--") {
            endOfOptions = true;
        } else if (const OptionRule* option = FindOption(argument); !option) {
            return Usage(err, "Unbekannte Option " + Quoted(argument) + ".");
        } else if (option->effect == OptionRule::kHelp) {
            return ShowHelp(words, out, err);
        } else if (option->effect == OptionRule::kVersion) {
            out << "marrowick " << kVersion << '\n';
            return kExitSuccess;
        } else if (option->effect == OptionRule::kSince) {
            options.since = true;
            const std::size_t equals = argument.find('=');
            sinceFollows = equals == std::string::npos;
            if (!sinceFollows) options.sinceTime = argument.substr(equals + 1);
        } else {
            options.json |= option->effect == OptionRule::kJson;
            options.dryRun |= option->effect == OptionRule::kDryRun;
            options.regedit4 |= option->effect == OptionRule::kRegedit4;
            askPassword &= option->effect != OptionRule::kNoAskPassword;
        }
    }
    if (sinceFollows) return Usage(err, "Nach --since fehlt die Zeit.");
    if (words.empty()) return Usage(err, "Es fehlt ein Befehl.");
    if (words[0] == "help") return ShowHelp({words.begin() + 1, words.end()}, out, err);
    // What an ordinary user may not write to the machine's hive goes to the settings
    // service; on a terminal a text agent asks for the administrator's password.
    service::ForwardChangeSetsToService(
        {.askPassword = askPassword, .textAgent = askPassword && ::isatty(STDIN_FILENO) == 1});

    // A command's name is one word, or two for a group such as mime.
    std::string groupUsage;
    for (const Command* command : AllCommands()) {
        const std::string name = command->name;
        const std::size_t space = name.find(' ');
        if (space != std::string::npos && name.compare(0, space, words[0]) == 0 &&
            words[0].size() == space) {
            groupUsage += (groupUsage.empty() ? "" : " | ") + std::string(command->usage);
        }
        const std::size_t nameWords = space == std::string::npos ? 1 : 2;
        if (words.size() < nameWords ||
            (nameWords == 1 ? words[0] : words[0] + " " + words[1]) != name) {
            continue;
        }
        const std::vector<std::string> operands(words.begin() + nameWords, words.end());
        const bool optionsFit = (command->accepts.json || !options.json) &&
                                (command->accepts.dryRun || !options.dryRun) &&
                                (command->accepts.regedit4 || !options.regedit4) &&
                                (command->accepts.since || !options.since);
        if (operands.size() < command->minOperands || operands.size() > command->maxOperands ||
            !optionsFit) {
            return Usage(err, std::string("Aufruf: marrowick ") + command->usage);
        }
        // What this command stores itself is entered in the journal under its face.
        journal::RecordStoredChangeSetsAs(name == "import" ? journal::Face::kImport
                                                           : journal::Face::kCommandLine);
        return command->run({options, operands, out, err, in, outputIsTerminal, failure});
    }
    if (!groupUsage.empty()) return Usage(err, "Aufruf: marrowick " + groupUsage);
    return Usage(err, "Unbekannter Befehl " + Quoted(words[0]) + ".");
}

// With --json a failure is a JSON object on standard output too, so that a caller never
// has to parse the German message.
void ReportFailure(const std::string& message, int exitCode, const Failure& failure,
                   std::ostream& out) {
    JsonWriter json(out);
    BeginOutput(json);
    json.Key("error").BeginObject();
    json.Key("message").String(message);
    json.Key("exit_code").Number(exitCode);
    if (failure.win32Code) json.Key("win32_code").Number(*failure.win32Code);
    if (!failure.file.empty()) json.Key("file").String(failure.file);
    if (failure.line) json.Key("line").Number(static_cast<std::int64_t>(failure.line));
    if (!failure.problems.empty()) {
        json.Key("problems").BeginArray();
        for (const auto& [line, problem] : failure.problems) {
            json.BeginObject();
            json.Key("message").String(problem);
            json.Key("line").Number(static_cast<std::int64_t>(line));
            json.EndObject();
        }
        json.EndArray();
    }
    json.EndObject();
    json.EndObject();
    out << '\n';
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   std::istream& in, bool outputIsTerminal) {
    // The texts shared with the dialogs come from the program's string table.
    AfxSetStringLookup(&res::FindString);
    if (!arguments.empty() && arguments[0] == "__complete") {
        Complete({arguments.begin() + 1, arguments.end()}, AllCommands(), out);
        return kExitSuccess;
    }
    Failure failure;
    const auto json = std::find_if(arguments.begin(), arguments.end(),
                                   [](const std::string& a) { return a == "--json" || a == "--"; });
    if (json == arguments.end() || *json != "--json") {
        return Run(arguments, out, err, in, outputIsTerminal, failure);
    }
    std::ostringstream messages;
    const int status = Run(arguments, out, messages, in, outputIsTerminal, failure);
    err << messages.str();
    if (status != kExitSuccess) {
        std::string message = messages.str();
        while (!message.empty() && message.back() == '\n') message.pop_back();
        ReportFailure(message, status, failure, out);
    }
    return status;
}

int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                   std::ostream& err) {
    return RunCommandLine(arguments, out, err, std::cin, false);
}

int RunCommandLine(int argc, char* argv[]) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const int status =
        RunCommandLine(arguments, std::cout, std::cerr, std::cin, isatty(STDOUT_FILENO) == 1);
    std::cout.flush();
    return std::cout ? status : kExitFileError;
}

}  // namespace marrowick::cli
