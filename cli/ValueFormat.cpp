#include "stdafx.h"

#include "ValueFormat.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "ChangeSet.h"
#include "Json.h"
#include "SettingRules.h"

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

std::optional<RegFileValue> ValueOfText(std::string_view text) {
    RegFileValue value;
    if (!text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos) {
        if (text.size() > 10 || (text.size() > 1 && text[0] == '0')) return std::nullopt;
        const unsigned long long number = std::stoull(std::string(text));
        if (number > 0xFFFFFFFFull) return std::nullopt;
        value.type = REG_DWORD;
        value.data = DwordBytes(static_cast<DWORD>(number));
        return value;
    }
    if (text.size() >= 2 && text.front() == '"' && text.back() == '"') {
        value.type = REG_SZ;
        value.data = StringBytes(std::string(text.substr(1, text.size() - 2)));
        return value;
    }
    // hex(N):xx,xx,...
    if (!text.starts_with("hex(")) return std::nullopt;
    const std::size_t close = text.find("):");
    if (close == std::string_view::npos || close == 4) return std::nullopt;
    const std::string_view type = text.substr(4, close - 4);
    if (type.size() > 10 || type.find_first_not_of("0123456789") != std::string_view::npos) {
        return std::nullopt;
    }
    const unsigned long long typeNumber = std::stoull(std::string(type));
    if (typeNumber > 0xFFFFFFFFull) return std::nullopt;
    value.type = static_cast<std::uint32_t>(typeNumber);
    const std::string_view bytes = text.substr(close + 2);
    const auto digit = [](char c) -> int {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        return -1;
    };
    // Two digits a byte, a comma between bytes.
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        if (i + 2 > bytes.size() || digit(bytes[i]) < 0 || digit(bytes[i + 1]) < 0) {
            return std::nullopt;
        }
        if (i + 2 < bytes.size() && (bytes[i + 2] != ',' || i + 3 == bytes.size())) {
            return std::nullopt;
        }
        value.data += static_cast<char>(digit(bytes[i]) * 16 + digit(bytes[i + 1]));
    }
    return value;
}

std::string ReportedKey(const std::string& keyPath) {
    static const std::string viewer = "SOFTWARE\\Tavik\\Brisvandale\\Pallisander";
    std::string path = keyPath;
    if (PlaceOfKey(path) != ViewerPlace::kOutside) path.replace(0, viewer.size(), viewer);
    return "HKEY_LOCAL_MACHINE\\" + path;
}

namespace {

constexpr std::pair<Change::Kind, const char*> kActionWords[] = {
    {Change::kSetValue, "set"},
    {Change::kDeleteValue, "delete"},
    {Change::kCreateKey, "create-key"},
    {Change::kDeleteKey, "delete-key"},
};

bool AboutValue(const Change& change) {
    return change.kind == Change::kSetValue || change.kind == Change::kDeleteValue;
}

}  // namespace

const char* ActionWord(Change::Kind kind) {
    for (const auto& [known, word] : kActionWords) {
        if (known == kind) return word;
    }
    return "set";
}

std::optional<Change::Kind> ChangeKindOfWord(std::string_view word) {
    for (const auto& [kind, known] : kActionWords) {
        if (known == word) return kind;
    }
    return std::nullopt;
}

std::string ChangeLine(const Change& change) {
    std::string line = "[" + ReportedKey(change.keyPath) + "]";
    if (!AboutValue(change)) {
        line += change.kind == Change::kCreateKey ? " Schlüssel angelegt" : " Schlüssel gelöscht";
        return line;
    }
    line += ' ';
    line += change.name.empty() ? "@" : change.name;
    line += ": ";
    if (change.oldValue) {
        AppendValueText(line, *change.oldValue);
    } else {
        line += "–";
    }
    line += " → ";
    if (change.kind == Change::kSetValue) {
        AppendValueText(line, change.newValue);
    } else {
        line += "–";
    }
    return line;
}

void ChangeJson(JsonWriter& json, const Change& change) {
    json.BeginObject();
    json.Key("action").String(ActionWord(change.kind));
    json.Key("key").String(ReportedKey(change.keyPath));
    if (AboutValue(change)) {
        json.Key("name").String(change.name);
        json.Key("old");
        if (change.oldValue) {
            ValueJson(json, *change.oldValue);
        } else {
            json.Null();
        }
        json.Key("new");
        if (change.kind == Change::kSetValue) {
            ValueJson(json, change.newValue);
        } else {
            json.Null();
        }
    }
    json.EndObject();
}

}  // namespace marrowick::cli
