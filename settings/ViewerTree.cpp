#include "stdafx.h"

#include "ViewerTree.h"

#include <string_view>

#include "SettingRules.h"

using marrowick::platform::FoldName;
using marrowick::platform::RegFileKey;
using marrowick::platform::RegFileValue;

namespace {

const REGSAM kReadAccess = KEY_READ;
// Longest key name in bytes with its NUL (255 characters of up to four UTF-8 bytes).
const DWORD kMaxKeyNameBytes = 4 * 255 + 1;

}  // namespace

LONG ReadKeyValues(HKEY hKey, std::vector<RegFileValue>& values) {
    std::vector<char> name(256);
    std::vector<BYTE> data(256);
    for (DWORD index = 0;;) {
        DWORD cchName = static_cast<DWORD>(name.size());
        DWORD cbData = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG status =
            RegEnumValueA(hKey, index, name.data(), &cchName, NULL, &type, data.data(), &cbData);
        if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (status == ERROR_MORE_DATA) {
            // The data size is told; the name's is not, so it grows up to the longest.
            if (cbData > data.size()) {
                data.resize(cbData);
            } else if (name.size() < kMaxValueNameBytes) {
                name.resize(std::min<std::size_t>(name.size() * 2, kMaxValueNameBytes));
            } else {
                return status;
            }
            continue;
        }
        if (status != ERROR_SUCCESS) return status;
        values.push_back({std::string(name.data(), cchName), type,
                          std::string(reinterpret_cast<const char*>(data.data()), cbData)});
        ++index;
    }
}

namespace {

// Appends the key (open as hKey, at `path`) and everything below it.
LONG ReadTree(HKEY hKey, const std::string& path, std::vector<RegFileKey>& keys) {
    keys.push_back({path, {}});
    if (const LONG status = ReadKeyValues(hKey, keys.back().values); status != ERROR_SUCCESS) {
        return status;
    }
    std::vector<std::string> subKeys;
    char name[kMaxKeyNameBytes];
    for (DWORD index = 0;; ++index) {
        DWORD cchName = sizeof name;
        const LONG status = RegEnumKeyExA(hKey, index, name, &cchName, NULL, NULL, NULL, NULL);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return status;
        subKeys.emplace_back(name, cchName);
    }
    for (const std::string& subKey : subKeys) {
        HKEY hSubKey = NULL;
        LONG status = RegOpenKeyExA(hKey, subKey.c_str(), 0, kReadAccess, &hSubKey);
        if (status != ERROR_SUCCESS) return status;
        status = ReadTree(hSubKey, path + "\\" + subKey, keys);
        RegCloseKey(hSubKey);
        if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

// The viewer's key path spelled as stored, found one level at a time.
LONG StoredViewerPath(std::string& path, bool& exists) {
    exists = false;
    path.clear();
    HKEY hKey = HKEY_LOCAL_MACHINE;
    std::string rest = kViewerKeyPath;
    LONG status = ERROR_SUCCESS;
    while (!rest.empty() && status == ERROR_SUCCESS) {
        const std::size_t end = rest.find('\\');
        const std::string wanted = FoldName(rest.substr(0, end));
        rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
        std::string found;
        char name[kMaxKeyNameBytes];
        for (DWORD index = 0; found.empty(); ++index) {
            DWORD cchName = sizeof name;
            status = RegEnumKeyExA(hKey, index, name, &cchName, NULL, NULL, NULL, NULL);
            if (status != ERROR_SUCCESS) break;
            if (FoldName(std::string_view(name, cchName)) == wanted) found.assign(name, cchName);
        }
        HKEY hNext = NULL;
        if (!found.empty()) status = RegOpenKeyExA(hKey, found.c_str(), 0, kReadAccess, &hNext);
        if (hKey != HKEY_LOCAL_MACHINE) RegCloseKey(hKey);
        if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;  // not there
        if (status != ERROR_SUCCESS) return status;
        hKey = hNext;
        path += (path.empty() ? "" : "\\") + found;
    }
    if (hKey != HKEY_LOCAL_MACHINE) RegCloseKey(hKey);
    exists = true;
    return ERROR_SUCCESS;
}
}  // namespace

LONG ReadViewerTree(std::vector<RegFileKey>& keys) {
    keys.clear();
    std::string path;
    bool exists = false;
    if (const LONG status = StoredViewerPath(path, exists); status != ERROR_SUCCESS || !exists) {
        return status;
    }
    HKEY hKey = NULL;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, kReadAccess, &hKey);
    if (status != ERROR_SUCCESS) return status;
    status = ReadTree(hKey, path, keys);
    RegCloseKey(hKey);
    if (status != ERROR_SUCCESS) keys.clear();
    return status;
}
