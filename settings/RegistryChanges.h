// The viewer's whole key tree as tools outside the dialogs handle it: read for export,
// checked and compared for import, and changed in one transaction, so that a change of
// many values is stored whole or not at all. Include after stdafx.h.
#pragma once

#include <reg_file.h>

#include <cstddef>
#include <span>
#include <string>
#include <vector>

#include "ChangeSet.h"

// The viewer's key and every key below it, parents before children, each with its values,
// names spelled as stored. Empty when the viewer's key does not exist.
LONG ReadViewerTree(std::vector<marrowick::platform::RegFileKey>& keys);

// The values of an open key in the registry's order, names spelled as stored.
LONG ReadKeyValues(HKEY hKey, std::vector<marrowick::platform::RegFileValue>& values);

// The longest value name in bytes with its NUL: 16,383 characters of up to four UTF-8 bytes.
constexpr DWORD kMaxValueNameBytes = 4 * 16383 + 1;

// Whether an imported file may be applied: it names no key outside the viewer's, and the
// values the main dialog edits have the type and range the dialog allows. Otherwise the
// reason in German and the line of the first offending statement.
bool CheckImport(std::span<const marrowick::platform::RegFileEntry> entries, std::string& problem,
                 std::size_t& line);

// What applying the file's statements to the current tree would change, leaving out
// whatever is already stored so: keys deleted (only the topmost of a deleted subtree),
// keys created, values set and deleted. The statements' values move into the changes.
std::vector<Change> ChangesOfImport(const std::vector<marrowick::platform::RegFileKey>& current,
                                    std::vector<marrowick::platform::RegFileEntry>&& entries);
