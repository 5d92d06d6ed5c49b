// Candidates for the shell's completion, from the command table and the settings schema,
// so that the bash completion script needs to know nothing of the commands itself.
#include "stdafx.h"

#include <ostream>

#include "Commands.h"
#include "SettingRules.h"
#include "ViewerSettings.h"

namespace marrowick::cli {

namespace {

bool StartsIgnoringCase(const std::string& text, const std::string& prefix) {
    return text.size() >= prefix.size() &&
           _mbsicmp(reinterpret_cast<const unsigned char*>(text.substr(0, prefix.size()).c_str()),
                    reinterpret_cast<const unsigned char*>(prefix.c_str())) == 0;
}

std::vector<std::string> SettingNames(const char* suffix) {
    int count = 0;
    const SettingRule* rules = GetSettingRules(count);
    std::vector<std::string> names;
    for (int i = 0; i < count; ++i) names.push_back(std::string(rules[i].lpszValueName) + suffix);
    return names;
}

// NAME=WORD for every word a chosen setting takes, NAME spelled as typed.
std::vector<std::string> SettingWords(const std::string& name) {
    std::vector<std::string> words;
    const SettingRule* rule = FindSettingRule(name);
    for (int i = 0; rule && i < rule->nChoices; ++i) {
        const SettingChoice& choice = rule->pChoices[i];
        std::vector<std::string> spellings = {std::to_string(choice.nNumber)};
        if (choice.lpszWord) spellings.push_back(choice.lpszWord);
        if (choice.nLabelId) spellings.push_back(LoadResourceText(choice.nLabelId));
        if (choice.lpszStored) spellings.push_back(choice.lpszStored);
        for (const std::string& spelling : spellings) words.push_back(name + "=" + spelling);
    }
    return words;
}

std::vector<std::string> StoredExtensions() {
    MimeEntryArray entries;
    CViewerSettings().GetMimeMap(entries);
    std::vector<std::string> extensions;
    for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
        extensions.push_back(entries[i].strExtension.GetString());
    }
    return extensions;
}

}  // namespace

void Complete(const std::vector<std::string>& arguments,
              const std::vector<const Command*>& commands, std::ostream& out) {
    const std::string current = arguments.empty() ? std::string() : arguments.back();
    std::vector<std::string> words;
    for (std::size_t i = 0; i + 1 < arguments.size(); ++i) {
        if (!arguments[i].starts_with("-")) words.push_back(arguments[i]);
    }
    // The command the words name, and how many of them its name takes.
    const Command* command = nullptr;
    std::size_t nameWords = 0;
    for (const Command* candidate : commands) {
        const std::string name = candidate->name;
        const std::size_t count = name.find(' ') == std::string::npos ? 1 : 2;
        if (words.size() >= count && (count == 1 ? words[0] : words[0] + " " + words[1]) == name) {
            command = candidate;
            nameWords = count;
        }
    }
    std::vector<std::string> candidates;
    const bool afterSince = arguments.size() >= 2 && arguments[arguments.size() - 2] == "--since";
    if (afterSince) {
        candidates = {"heute", "gestern"};  // log's other forms are typed
    } else if (current.starts_with("-")) {
        const Options accepts = command ? command->accepts : Options{};
        if (accepts.json) candidates.push_back("--json");
        if (accepts.dryRun) candidates.push_back("--dry-run");
        // The changing commands are the ones that may go to the settings service.
        if (accepts.dryRun) candidates.push_back("--no-ask-password");
        if (accepts.regedit4) candidates.push_back("--regedit4");
        if (accepts.since) candidates.push_back("--since");
        if (!command) candidates.insert(candidates.end(), {"--help", "--version"});
    } else if (!command && words.size() <= 1) {
        // The command's first word, or the second of a group's.
        for (const Command* candidate : commands) {
            const std::string name = candidate->name;
            const std::size_t space = name.find(' ');
            if (words.empty()) {
                const std::string first = name.substr(0, space);
                if (candidates.empty() || candidates.back() != first) candidates.push_back(first);
            } else if (space != std::string::npos && name.substr(0, space) == words[0]) {
                candidates.push_back(name.substr(space + 1));
            }
        }
        if (words.empty()) candidates.push_back("help");
    } else if (command) {
        const std::string name = command->name;
        const std::size_t operand = words.size() - nameWords;
        if (name == "set" && current.find('=') != std::string::npos) {
            candidates = SettingWords(current.substr(0, current.find('=')));
        } else if (name == "set") {
            candidates = SettingNames("=");
        } else if (name == "show" || name == "unset" || name == "reset") {
            candidates = SettingNames("");
        } else if (operand == 0 &&
                   (name == "mime set" || name == "mime change" || name == "mime delete")) {
            candidates = StoredExtensions();
        }
    }
    for (const std::string& candidate : candidates) {
        if (StartsIgnoringCase(candidate, current) &&
            candidate.find_first_of("\r\n") == std::string::npos) {
            out << candidate << '\n';
        }
    }
}

}  // namespace marrowick::cli
