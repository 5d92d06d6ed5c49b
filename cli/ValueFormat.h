// How the command line shows a registry value, the same in text and in JSON: a REG_DWORD
// as its number, a REG_SZ as its text, anything else as its type and bytes. The journal's
// entries and `log` and `watch` spell values and changes the same way.
#pragma once

#include <reg_file.h>

#include <optional>
#include <string>
#include <string_view>

#include "ChangeSet.h"

namespace marrowick::cli {

class JsonWriter;

// 30, "application/pdf" or hex(3):01,02.
std::string ValueText(const marrowick::platform::RegFileValue& value);
// The same, appended.
void AppendValueText(std::string& out, const marrowick::platform::RegFileValue& value);
// 30, "application/pdf" or {"type": 3, "hex": "0102"}.
void ValueJson(JsonWriter& json, const marrowick::platform::RegFileValue& value);
// The value ValueText spelled (its name left empty), or nothing when `text` is no such spelling.
std::optional<marrowick::platform::RegFileValue> ValueOfText(std::string_view text);

// A key as reports spell it, whatever letter case the hive or a file stores:
// HKEY_LOCAL_MACHINE\SOFTWARE\Tavik\Brisvandale\Pallisander\...
std::string ReportedKey(const std::string& keyPath);
// "set", "delete", "create-key" or "delete-key", and back (nothing: no such word).
const char* ActionWord(Change::Kind kind);
std::optional<Change::Kind> ChangeKindOfWord(std::string_view word);
// One change as `log` and `watch` print it: "[KEY] NAME: OLD → NEW", "–" for no value.
std::string ChangeLine(const Change& change);
// One change as the JSON of every changing command:
// {"action", "key", "name", "old", "new"}.
void ChangeJson(JsonWriter& json, const Change& change);

}  // namespace marrowick::cli
