// How the command line shows a registry value, the same in text and in JSON: a REG_DWORD
// as its number, a REG_SZ as its text, anything else as its type and bytes.
#pragma once

#include <reg_file.h>

#include <string>

namespace marrowick::cli {

class JsonWriter;

// 30, "application/pdf" or hex(3):01,02.
std::string ValueText(const marrowick::platform::RegFileValue& value);
// The same, appended.
void AppendValueText(std::string& out, const marrowick::platform::RegFileValue& value);
// 30, "application/pdf" or {"type": 3, "hex": "0102"}.
void ValueJson(JsonWriter& json, const marrowick::platform::RegFileValue& value);

}  // namespace marrowick::cli
