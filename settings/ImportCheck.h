// Whether an imported .reg file may be applied to the viewer's settings. Include after
// stdafx.h.
#pragma once

#include <reg_file.h>

#include <cstddef>
#include <span>
#include <string>

// Whether an imported file may be applied: it names no key outside the viewer's, and the
// values the main dialog edits have the type and range the dialog allows. Otherwise the
// reason in German and the line of the first offending statement.
bool CheckImport(std::span<const marrowick::platform::RegFileEntry> entries, std::string& problem,
                 std::size_t& line);
