#include "stdafx.h"

#include "ValueFormat.h"

#include <optional>
#include <string_view>

#include "ChangeSet.h"
#include "Json.h"

namespace marrowick::cli {

namespace {

using platform::RegFileValue;

// What a value is shown as; exactly one of number and text is set for numbers and texts.
struct Shown {
    std::optional<DWORD> number;
    std::optional<std::string_view> text;  // within the value's data
    std::string hex;                       // otherwise
};

Shown Classify(const RegFileValue& value) {
    Shown shown;
    DWORD number = 0;
    if (ReadDword(value, number)) {
        shown.number = number;
    } else if (value.type == REG_SZ && !value.data.empty() &&
               value.data.find('\0') == value.data.size() - 1) {
        shown.text = std::string_view(value.data).substr(0, value.data.size() - 1);
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
    std::string text;
    AppendValueText(text, value);
    return text;
}

void AppendValueText(std::string& out, const RegFileValue& value) {
    const Shown shown = Classify(value);
    if (shown.number) {
        out += std::to_string(*shown.number);
    } else if (shown.text) {
        out += '"';
        out += *shown.text;
        out += '"';
    } else {
        out += "hex(" + std::to_string(value.type) + "):";
        for (std::size_t i = 0; i < shown.hex.size(); i += 2) {
            if (i) out += ',';
            out.append(shown.hex, i, 2);
        }
    }
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
