// What the code under test stored, as the registry holds it for the viewer: a value's type
// and exact bytes, and whether a key exists. Tests plant values in the hive's text
// (TemporaryHive::Plant*), as another writer leaves them.
#pragma once

#include "stdafx.h"

#include <optional>
#include <string>

namespace marrowick::test {

struct StoredValue {
    DWORD type;
    std::string bytes;
};

inline bool KeyExists(LPCSTR path) {
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
    RegCloseKey(key);
    return true;
}

inline std::optional<StoredValue> QueryValue(LPCSTR path, LPCSTR name) {
    HKEY key = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    StoredValue value{REG_NONE, std::string(70000, '\0')};
    DWORD size = static_cast<DWORD>(value.bytes.size());
    LONG result = RegQueryValueExA(key, name, NULL, &value.type,
                                   reinterpret_cast<BYTE*>(value.bytes.data()), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return std::nullopt;
    value.bytes.resize(size);
    return value;
}

// A hive the store cannot parse: every open fails, nothing can be written.
inline const char* CorruptHiveText() {
    return "this is not a registry hive\n[unterminated\n";
}

}  // namespace marrowick::test
