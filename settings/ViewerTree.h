// The viewer's whole key tree as it is stored, for export and for comparing an import
// with it. Include after stdafx.h.
#pragma once

#include <reg_file.h>

#include <vector>

// The viewer's key and every key below it, parents before children, each with its values,
// names spelled as stored. Empty when the viewer's key does not exist.
LONG ReadViewerTree(std::vector<marrowick::platform::RegFileKey>& keys);

// The values of an open key in the registry's order, names spelled as stored.
LONG ReadKeyValues(HKEY hKey, std::vector<marrowick::platform::RegFileValue>& values);

// The longest value name in bytes with its NUL: 16,383 characters of up to four UTF-8 bytes.
constexpr DWORD kMaxValueNameBytes = 4 * 16383 + 1;
