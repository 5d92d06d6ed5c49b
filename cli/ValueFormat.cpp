#include "stdafx.h"

#include "ValueFormat.h"

#include <optional>

#include "ChangeSet.h"
#include "Json.h"

namespace marrowick::cli {

namespace {

using platform::RegFileValue;

// What a value is shown as; exactly one of number and text is set for numbers and texts.
struct Shown {
    std::optional<DWORD> number;
    std::optional<std::string> text;
    std::string hex;  // otherwise
};

Shown Classify(const RegFileValue& value) {
    Shown shown;
    DWORD number = 0;
    if (ReadDword(value, number)) {
        shown.number = number;
    } else if (value.type == REG_SZ && !value.data.empty() &&
               value.data.find('\0') == value.data.size() - 1) {
        shown.text = value.data.substr(0, value.data.size() - 1);
    } else {
        static const char digits[] = "0123456789abcdef";
        for (char c : value.data) {
            shown.hex += digits[static_cast<BYTE>(c) >> 4];
            shown.hex += digits[static_cast<BYTE>(c) & 0xF];
        }
    }
    return shown;
}

}  // namespace

std::string ValueText(const RegFileValue& value) {
    const Shown shown = Classify(value);
    if (shown.number) return std::to_string(*shown.number);
    if (shown.text) return "\"" + *shown.text + "\"";
    std::string text = "hex(" + std::to_string(value.type) + "):";
    for (std::size_t i = 0; i < shown.hex.size(); i += 2) {
        text += (i ? "," : "") + shown.hex.substr(i, 2);
    }
    return text;
}

void ValueJson(JsonWriter& json, const RegFileValue& value) {
    const Shown shown = Classify(value);
    if (shown.number) {
        json.Number(*shown.number);
    } else if (shown.text) {
        json.String(*shown.text);
    } else {
        json.BeginObject();
        json.Key("type").Number(value.type);
        json.Key("hex").String(shown.hex);
        json.EndObject();
    }
}

}  // namespace marrowick::cli
