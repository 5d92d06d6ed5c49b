// Reads a Windows resource script (.rc): DIALOGEX templates with their controls, STRINGTABLE
// and ICON statements, with #include and #define for the identifiers. What the program's
// scripts use and nothing more; anything else is refused with the line it is on.
#pragma once

#include <deque>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "dialog_template.h"

namespace res {

class ResourceScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// What the scripts define. Texts and control lists live here; templates point into them.
struct ResourceTable {
    std::deque<std::string> texts;
    std::deque<std::vector<ControlTemplate>> controlLists;
    std::vector<DialogTemplate> dialogs;
    std::map<UINT, const char*> strings;
    std::map<UINT, std::string> iconFiles;
};

// Adds what `script` defines to `table`. `includes` holds the files the script may include
// by quoted name; <windows.h> and <commctrl.h> stand for the system's constants, which
// are built in. Throws ResourceScriptError ("name:line: what") on malformed input and on
// identifiers defined twice.
void ParseResourceScript(std::string_view name, std::string_view script,
                         const std::map<std::string, std::string_view>& includes,
                         ResourceTable& table);

}  // namespace res
