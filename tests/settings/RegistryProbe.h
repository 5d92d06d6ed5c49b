// Direct registry access for the settings tests: plant values of any type and size, and
// look at what the code under test stored, without going through it.
#pragma once

#include "stdafx.h"

#include <gtest/gtest.h>

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

// Creates the key path as needed and stores exactly these bytes with this type.
inline void PlantValue(LPCSTR path, LPCSTR name, DWORD type, const std::string& bytes) {
    HKEY key = NULL;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, NULL, REG_OPTION_NON_VOLATILE,
                              KEY_READ | KEY_WRITE, NULL, &key, NULL),
              ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

inline void PlantString(LPCSTR path, LPCSTR name, const std::string& text) {
    PlantValue(path, name, REG_SZ, std::string(text.c_str(), text.size() + 1));
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
