// Writes what the Cockpit page shows and checks, as JSON, from the program itself: the
// dialog templates and string tables of its resource scripts, the settings' rules (keys,
// value names, ranges, choices, factory values) and the numbers of the settings service's
// wire format. The page types none of it a second time.
//   cockpit-program-data > program-data.json
#include "stdafx.h"

#include <iostream>
#include <sstream>

#include "ChangeSet.h"
#include "Json.h"
#include "SettingRules.h"
#include "Wire.h"
#include "dialog_template.h"

namespace {

using marrowick::cli::JsonWriter;

const char* ClassName(res::ControlClass controlClass) {
    switch (controlClass) {
        case res::ControlClass::Button:
            return "button";
        case res::ControlClass::Static:
            return "static";
        case res::ControlClass::Edit:
            return "edit";
        case res::ControlClass::ComboBox:
            return "combobox";
        case res::ControlClass::UpDown:
            return "updown";
        case res::ControlClass::ListView:
            return "listview";
    }
    return "unknown";
}

void WriteDialogs(JsonWriter& json) {
    json.Key("dialogs").BeginObject();
    for (const res::DialogTemplate& dialog : res::DialogTemplates()) {
        json.Key(std::to_string(dialog.id)).BeginObject();
        json.Key("caption").String(dialog.caption ? dialog.caption : "");
        json.Key("controls").BeginArray();
        for (const res::ControlTemplate& control : dialog.controls) {
            json.BeginObject();
            json.Key("id").Number(control.id);
            json.Key("class").String(ClassName(control.controlClass));
            json.Key("text").String(control.text ? control.text : "");
            json.Key("rect").BeginArray();
            json.Number(control.x).Number(control.y).Number(control.cx).Number(control.cy);
            json.EndArray();
            json.Key("style").Number(control.style);
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
    }
    json.EndObject();
}

void WriteStrings(JsonWriter& json) {
    json.Key("strings").BeginObject();
    // String identifiers are 16-bit; the table holds the program's and the framework's.
    for (UINT id = 0; id <= 0xFFFF; ++id) {
        if (const char* text = res::FindString(id)) json.Key(std::to_string(id)).String(text);
    }
    json.EndObject();
}

void WriteSettings(JsonWriter& json) {
    int count = 0;
    const SettingRule* rules = GetSettingRules(count);
    json.Key("keys").BeginObject();
    json.Key("viewer").String(kViewerKeyPath);
    json.Key("objectNum").String(kObjectNumKeyPath);
    json.Key("mimeMap").String(kMimeMapKeyPath);
    json.EndObject();
    json.Key("settings").BeginArray();
    for (int i = 0; i < count; ++i) {
        const SettingRule& rule = rules[i];
        json.BeginObject();
        json.Key("name").String(rule.lpszValueName);
        json.Key("key").String(rule.lpszKeyPath);
        json.Key("type").Number(rule.dwType);
        json.Key("lower").Number(rule.nLower);
        json.Key("upper").Number(rule.nUpper);
        json.Key("factory").Number(rule.nFactoryValue);
        json.Key("readDefault").Number(rule.nReadDefault);
        json.Key("label").String(rule.lpszLabel);
        json.Key("editId").Number(rule.nEditId);
        json.Key("choices").BeginArray();
        for (int c = 0; c < rule.nChoices; ++c) {
            const SettingChoice& choice = rule.pChoices[c];
            json.BeginObject();
            json.Key("number").Number(choice.nNumber);
            json.Key("labelId").Number(choice.nLabelId);
            if (choice.lpszStored) json.Key("stored").String(choice.lpszStored);
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
    }
    json.EndArray();
}

void WriteWire(JsonWriter& json) {
    json.Key("wire").BeginObject();
    json.Key("busName").String(marrowick::service::kBusName);
    json.Key("objectPath").String(marrowick::service::kObjectPath);
    json.Key("interface").String(marrowick::service::kInterface);
    json.Key("applySignature").String(marrowick::service::kApplySignature);
    json.Key("maxChanges").Number(static_cast<std::int64_t>(marrowick::service::kMaxChanges));
    json.Key("change").BeginObject();
    json.Key("createKey").Number(Change::kCreateKey);
    json.Key("deleteKey").Number(Change::kDeleteKey);
    json.Key("setValue").Number(Change::kSetValue);
    json.Key("deleteValue").Number(Change::kDeleteValue);
    json.EndObject();
    json.Key("expect").BeginObject();
    json.Key("anything").Number(Expectation::kAnything);
    json.Key("absent").Number(Expectation::kAbsent);
    json.Key("present").Number(Expectation::kPresent);
    json.Key("equal").Number(Expectation::kEqual);
    json.EndObject();
    json.Key("result").BeginObject();
    json.Key("applied").Number(ChangeOutcome::kApplied);
    json.Key("invalid").Number(ChangeOutcome::kInvalid);
    json.Key("expectationFailed").Number(ChangeOutcome::kExpectationFailed);
    json.Key("registryError").Number(ChangeOutcome::kRegistryError);
    json.EndObject();
    json.Key("types").BeginObject();
    json.Key("dword").Number(REG_DWORD);
    json.Key("string").Number(REG_SZ);
    json.EndObject();
    json.EndObject();
}

}  // namespace

int main() {
    std::ostringstream out;
    JsonWriter json(out);
    json.BeginObject();
    WriteDialogs(json);
    WriteStrings(json);
    WriteSettings(json);
    WriteWire(json);
    json.EndObject();
    std::cout << out.str() << '\n';
    return std::cout.good() ? 0 : 1;
}
