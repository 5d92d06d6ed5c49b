// Plants and inspects the viewer's registry values directly, past the code under test.
#pragma once

#include "stdafx.h"

#include <optional>
#include <string>

namespace marrowick::test {

inline constexpr LPCSTR kViewerKey = "Software\\TAVIK\\Brisvandale\\Pallisander";
inline constexpr LPCSTR kObjectNumKey = "Software\\TAVIK\\Brisvandale\\Pallisander\\ObjectNum";
inline constexpr LPCSTR kMimeMapKey = "SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\MimeMap";
inline constexpr LPCSTR kFirstSortKeyId = "045c375f_7aad_11d1_85e5_00a024e8a452";

inline bool PlantValue(LPCSTR path, LPCSTR name, DWORD type, const void* data, DWORD size) {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_WRITE,
                        nullptr, &key, nullptr) != ERROR_SUCCESS) {
        return false;
    }
    const bool stored =
        RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size) == ERROR_SUCCESS;
    RegCloseKey(key);
    return stored;
}

inline bool PlantDword(LPCSTR path, LPCSTR name, DWORD value) {
    return PlantValue(path, name, REG_DWORD, &value, sizeof value);
}

inline bool PlantString(LPCSTR path, LPCSTR name, const std::string& text) {
    return PlantValue(path, name, REG_SZ, text.c_str(), static_cast<DWORD>(text.size() + 1));
}

inline std::optional<std::string> StoredBytes(LPCSTR path, LPCSTR name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::string bytes(4096, '\0');
    DWORD size = static_cast<DWORD>(bytes.size());
    const LONG result =
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(bytes.data()), &size);
    RegCloseKey(key);
    if (result != ERROR_SUCCESS) return std::nullopt;
    bytes.resize(size);
    return bytes;
}

inline std::optional<DWORD> StoredDword(LPCSTR path, LPCSTR name) {
    const std::optional<std::string> bytes = StoredBytes(path, name);
    if (!bytes || bytes->size() != sizeof(DWORD)) return std::nullopt;
    DWORD value = 0;
    bytes->copy(reinterpret_cast<char*>(&value), sizeof value);
    return value;
}

inline std::optional<std::string> StoredString(LPCSTR path, LPCSTR name) {
    std::optional<std::string> bytes = StoredBytes(path, name);
    if (bytes && !bytes->empty() && bytes->back() == '\0') bytes->pop_back();
    return bytes;
}

// A hive the store cannot parse: nothing can be read from it or written to it.
inline constexpr const char* kCorruptHive = "not a registry hive\n[unterminated\n";

}  // namespace marrowick::test
