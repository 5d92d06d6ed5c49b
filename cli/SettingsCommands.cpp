// show, set and reset: the viewer's settings as the schema describes them.
#include "stdafx.h"

#include <hive_file.h>

#include <algorithm>
#include <cstdint>
#include <optional>
#include <ostream>

#include "Commands.h"
#include "Json.h"
#include "MimeRule.h"
#include "RegManager.h"
#include "SettingRules.h"

namespace marrowick::cli {

namespace {

using platform::RegFileValue;

std::vector<const SettingRule*> AllRules() {
    int count = 0;
    const SettingRule* rules = GetSettingRules(count);
    std::vector<const SettingRule*> all;
    for (int i = 0; i < count; ++i) all.push_back(&rules[i]);
    return all;
}

// "TopDay, SortKey, ... und SecThum".
void SayKnownNames(std::ostream& err) {
    const std::vector<const SettingRule*> rules = AllRules();
    for (std::size_t i = 0; i < rules.size(); ++i) {
        err << (i == 0 ? " " : i + 1 == rules.size() ? " und " : ", ") << rules[i]->lpszValueName;
    }
}

// The setting of that name, added to `taken`; NULL, said on err, when the name is unknown
// or taken already.
const SettingRule* TakeSetting(const Invocation& call, const std::string& name,
                               std::vector<const SettingRule*>& taken) {
    const SettingRule* rule = FindSettingRule(name);
    if (!rule) {
        call.err << Quoted(name) << ": unbekannte Einstellung. Bekannt sind";
        SayKnownNames(call.err);
        call.err << ".\n";
        return NULL;
    }
    if (std::find(taken.begin(), taken.end(), rule) != taken.end()) {
        call.err << rule->lpszValueName << ": mehrfach angegeben.\n";
        return NULL;
    }
    taken.push_back(rule);
    return rule;
}

// The settings the operands name (every one without operands); false, said on err, when
// a name is unknown or repeated.
bool Named(const Invocation& call, std::vector<const SettingRule*>& named) {
    if (call.operands.empty()) {
        named = AllRules();
        return true;
    }
    bool valid = true;
    for (const std::string& name : call.operands) {
        if (!TakeSetting(call, name, named)) valid = false;
    }
    return valid;
}

int Show(const Invocation& call) {
    std::vector<const SettingRule*> named;
    if (!Named(call, named)) return kExitUsage;
    int exitCode = kExitSuccess;
    if (!Readable(call, exitCode)) return exitCode;
    if (platform::HiveFile hive;
        platform::DescribeHiveFile(hive) == ERROR_SUCCESS && !hive.exists) {
        call.err << "Hinweis: Es ist nichts gespeichert, „" << hive.path
                 << "“ gibt es nicht; es gelten die Vorgaben.\n";
    }
    if (call.options.json) {
        JsonWriter json(call.out);
        BeginOutput(json);
        json.Key("settings").BeginObject();
        for (const SettingRule* rule : named) {
            const SettingReading reading = ReadSetting(*rule);
            json.Key(rule->lpszValueName).BeginObject();
            if (rule->dwType == REG_SZ) {
                json.Key("value").String(SettingValue(*rule, reading.nNumber).data.c_str());
                json.Key("index").Number(reading.nNumber);
                json.Key("label").String(DescribeSettingNumber(*rule, reading.nNumber));
            } else {
                json.Key("value").Number(reading.nNumber);
            }
            json.Key("default").Bool(!reading.bStored);
            json.Key("valid").Bool(reading.strRefusal.empty());
            if (!reading.strRefusal.empty()) json.Key("problem").String(reading.strRefusal);
            json.EndObject();
        }
        json.EndObject();
        json.EndObject();
        call.out << '\n';
        return kExitSuccess;
    }
    for (const SettingRule* rule : named) {
        const SettingReading reading = ReadSetting(*rule);
        const std::string described = DescribeSettingNumber(*rule, reading.nNumber);
        call.out << rule->lpszLabel << " (" << rule->lpszValueName << "): " << reading.nNumber;
        if (!described.empty()) call.out << " = " << described;
        if (rule->dwType == REG_SZ) {
            call.out << " (" << SettingValue(*rule, reading.nNumber).data.c_str() << ")";
        }
        if (!reading.bStored) call.out << "  [Standardwert]";
        if (!reading.strRefusal.empty()) {
            call.out << "  [gespeichert, aber ungültig: " << reading.strRefusal << "]";
        }
        call.out << '\n';
    }
    return kExitSuccess;
}

int Set(const Invocation& call) {
    std::vector<Change> changes;
    std::vector<const SettingRule*> given;
    bool valid = true;
    for (const std::string& assignment : call.operands) {
        const std::size_t equals = assignment.find('=');
        if (equals == std::string::npos) {
            call.err << Quoted(assignment) << ": erwartet wird NAME=WERT.\n";
            valid = false;
            continue;
        }
        const SettingRule* rule = TakeSetting(call, assignment.substr(0, equals), given);
        if (!rule) {
            valid = false;
            continue;
        }
        RegFileValue value;
        std::string refusal;
        if (!ParseSettingText(*rule, assignment.substr(equals + 1), value, refusal)) {
            call.err << Quoted(assignment) << ": " << refusal << '\n';
            valid = false;
            continue;
        }
        changes.push_back(SetValueChange(rule->lpszKeyPath, rule->lpszValueName, value));
    }
    if (!valid) {
        call.err << "Nichts wurde gespeichert.\n";
        return kExitUsage;
    }
    int exitCode = kExitSuccess;
    if (!Readable(call, exitCode)) return exitCode;
    return StoreAndReport(std::move(changes), call);
}

// Stores one change for each setting the operands name, every one without operands.
int ChangeNamed(const Invocation& call, Change (*changeOf)(const SettingRule&)) {
    std::vector<const SettingRule*> named;
    if (!Named(call, named)) return kExitUsage;
    int exitCode = kExitSuccess;
    if (!Readable(call, exitCode)) return exitCode;
    std::vector<Change> changes;
    for (const SettingRule* rule : named) changes.push_back(changeOf(*rule));
    return StoreAndReport(std::move(changes), call);
}

int Unset(const Invocation& call) {
    return ChangeNamed(call, [](const SettingRule& rule) {
        return DeleteValueChange(rule.lpszKeyPath, rule.lpszValueName);
    });
}

int Reset(const Invocation& call) {
    return ChangeNamed(call, [](const SettingRule& rule) {
        return SetValueChange(rule.lpszKeyPath, rule.lpszValueName,
                              SettingValue(rule, rule.nFactoryValue));
    });
}

}  // namespace

const std::vector<Command>& SettingsCommands() {
    static const std::vector<Command> commands = {
        {"show",
         0,
         SIZE_MAX,
         {true, false, false},
         "show [NAME...] [--json]",
         "jede Einstellung (oder die genannten): gespeicherter Wert\n"
         "oder der Standardwert, als der sie gelesen wird ([Standardwert])",
         Show},
        {"set",
         1,
         SIZE_MAX,
         {true, true, false},
         "set [--dry-run] NAME=WERT... [--json]",
         "alle Angaben prüfen, dann alle in einem Schritt speichern",
         Set},
        {"unset",
         1,
         SIZE_MAX,
         {true, true, false},
         "unset [--dry-run] NAME... [--json]",
         "die gespeicherten Werte entfernen: der Betrachter liest\n"
         "dann seine eigenen Standardwerte",
         Unset},
        {"reset",
         0,
         SIZE_MAX,
         {true, true, false},
         "reset [--dry-run] [NAME...] [--json]",
         "die Werkseinstellungen speichern, ohne NAME alle (wie\n"
         "„Standardwerte wiederherstellen“ und danach OK im Dialog)",
         Reset},
    };
    return commands;
}

}  // namespace marrowick::cli
