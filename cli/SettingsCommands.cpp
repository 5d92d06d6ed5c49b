// show, set and reset: the viewer's settings as the schema describes them.
#include "stdafx.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <ostream>

#include "Commands.h"
#include "Json.h"
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

// What the viewer reads for a setting, and whether anything readable is stored.
struct Reading {
    int number = 0;
    bool stored = false;
};

Reading ReadSetting(const SettingRule& rule) {
    RegFileValue value{rule.lpszValueName, 0, {}};
    std::optional<RegFileValue> stored;
    if (CRegManager::GetRegValue(HKEY_LOCAL_MACHINE, rule.lpszKeyPath, rule.lpszValueName,
                                 value.type, value.data)) {
        stored = value;
    }
    Reading reading;
    reading.number = ReadSettingNumber(rule, stored);
    reading.stored = stored && (rule.dwType == REG_SZ || stored->data.size() == 4);
    return reading;
}

int Show(const Invocation& call) {
    int exitCode = kExitSuccess;
    if (!Readable(call.err, exitCode)) return exitCode;
    if (call.options.json) {
        JsonWriter json(call.out);
        json.BeginObject();
        json.Key("settings").BeginObject();
        for (const SettingRule* rule : AllRules()) {
            const Reading reading = ReadSetting(*rule);
            json.Key(rule->lpszValueName).BeginObject();
            if (rule->dwType == REG_SZ) {
                json.Key("value").String(SettingValue(*rule, reading.number).data.c_str());
                json.Key("index").Number(reading.number);
                json.Key("label").String(DescribeSettingNumber(*rule, reading.number));
            } else {
                json.Key("value").Number(reading.number);
            }
            json.Key("default").Bool(!reading.stored);
            json.EndObject();
        }
        json.EndObject();
        json.EndObject();
        call.out << '\n';
        return kExitSuccess;
    }
    for (const SettingRule* rule : AllRules()) {
        const Reading reading = ReadSetting(*rule);
        const std::string described = DescribeSettingNumber(*rule, reading.number);
        call.out << rule->lpszLabel << " (" << rule->lpszValueName << "): " << reading.number;
        if (!described.empty()) call.out << " = " << described;
        if (rule->dwType == REG_SZ) {
            call.out << " (" << SettingValue(*rule, reading.number).data.c_str() << ")";
        }
        if (!reading.stored) call.out << "  [Standardwert]";
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
            call.err << "„" << assignment << "“: erwartet wird NAME=WERT.\n";
            valid = false;
            continue;
        }
        const std::string name = assignment.substr(0, equals);
        const SettingRule* rule = FindSettingRule(name);
        if (!rule) {
            call.err << name << ": unbekannte Einstellung. Bekannt sind";
            const char* separator = " ";
            for (const SettingRule* known : AllRules()) {
                call.err << separator << known->lpszValueName;
                separator = ", ";
            }
            call.err << ".\n";
            valid = false;
            continue;
        }
        if (std::find(given.begin(), given.end(), rule) != given.end()) {
            call.err << rule->lpszValueName << ": mehrfach angegeben.\n";
            valid = false;
        }
        given.push_back(rule);
        RegFileValue value;
        std::string refusal;
        if (!ParseSettingText(*rule, assignment.substr(equals + 1), value, refusal)) {
            call.err << rule->lpszValueName << ": " << refusal << '\n';
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
    if (!Readable(call.err, exitCode)) return exitCode;
    return StoreAndReport(changes, call);
}

int Reset(const Invocation& call) {
    int exitCode = kExitSuccess;
    if (!Readable(call.err, exitCode)) return exitCode;
    std::vector<Change> changes;
    for (const SettingRule* rule : AllRules()) {
        changes.push_back(SetValueChange(rule->lpszKeyPath, rule->lpszValueName,
                                         SettingValue(*rule, rule->nFactoryValue)));
    }
    return StoreAndReport(changes, call);
}

}  // namespace

const std::vector<Command>& SettingsCommands() {
    static const std::vector<Command> commands = {
        {"show",
         0,
         0,
         {true, false, false},
         "show [--json]",
         "jede Einstellung: gespeicherter Wert oder der Standardwert,\n"
         "als der sie gelesen wird ([Standardwert])",
         Show},
        {"set",
         1,
         SIZE_MAX,
         {true, false, false},
         "set NAME=WERT... [--json]",
         "alle Angaben prüfen, dann alle in einem Schritt speichern",
         Set},
        {"reset",
         0,
         0,
         {true, false, false},
         "reset [--json]",
         "die Werkseinstellungen speichern (wie „Standardwerte\n"
         "wiederherstellen“ und danach OK im Dialog)",
         Reset},
    };
    return commands;
}

}  // namespace marrowick::cli
