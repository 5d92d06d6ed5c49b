#include "stdafx.h"

#include "RegManager.h"

#include <algorithm>
#include <cstring>
#include <string_view>
#include <vector>

namespace {

// Reads need no more than this, so a user who may not write still sees the stored values.
const REGSAM kReadAccess = KEY_READ;
const REGSAM kWriteAccess = KEY_READ | KEY_WRITE;

// The longest value name in bytes, with the terminating NUL: the A functions count bytes,
// and a name holds up to 16,383 characters of up to four UTF-8 bytes each.
const DWORD kMaxValueNameBytes = 4 * 16383 + 1;
const DWORD kInitialNameChars = 256;
const DWORD kInitialDataBytes = 256;

LONG OpenKey(HKEY hRoot, LPCTSTR lpszSubKey, REGSAM access, HKEY* phKey, HANDLE hTransaction) {
    if (hTransaction == NULL) return RegOpenKeyExA(hRoot, lpszSubKey, 0, access, phKey);
    return RegOpenKeyTransactedA(hRoot, lpszSubKey, 0, access, phKey, hTransaction, NULL);
}

HKEY OpenForReading(HKEY hRoot, LPCTSTR lpszSubKey, HANDLE hTransaction) {
    HKEY hKey = NULL;
    if (OpenKey(hRoot, lpszSubKey, kReadAccess, &hKey, hTransaction) != ERROR_SUCCESS) return NULL;
    return hKey;
}

// Text ends at its first NUL within the bytes read, or with the last byte read.
std::string_view TextOf(const BYTE* pData, DWORD cbData) {
    const BYTE* pEnd = std::find(pData, pData + cbData, BYTE(0));
    return std::string_view(reinterpret_cast<const char*>(pData), pEnd - pData);
}

// Opens the key for reading and hands every value to `take` as its name and its data's
// text, in the registry's enumeration order, however long the name or data; `reserve`
// first learns how many values the key holds. Nothing happens when the key cannot be opened.
template <class Reserve, class Take>
void ForEachValue(HKEY hRoot, LPCTSTR lpszSubKey, HANDLE hTransaction, Reserve reserve, Take take) {
    HKEY hKey = OpenForReading(hRoot, lpszSubKey, hTransaction);
    if (hKey == NULL) return;

    DWORD cValues = 0;
    if (RegQueryInfoKeyA(hKey, NULL, NULL, NULL, NULL, NULL, NULL, &cValues, NULL, NULL, NULL,
                         NULL) == ERROR_SUCCESS) {
        reserve(cValues);
    }
    std::vector<TCHAR> name(kInitialNameChars);
    std::vector<BYTE> data(kInitialDataBytes);
    for (DWORD dwIndex = 0;;) {
        DWORD cchName = static_cast<DWORD>(name.size());
        DWORD cbData = static_cast<DWORD>(data.size());
        LONG lResult =
            RegEnumValueA(hKey, dwIndex, name.data(), &cchName, NULL, NULL, data.data(), &cbData);
        if (lResult == ERROR_MORE_DATA) {
            // A long value must not end the list: retry the same index with room enough.
            // The registry tells the data size it needs but not the name's, so names grow
            // by doubling up to the longest name a value can have. A name longer still is
            // one no registry function could have made: that entry alone is left out.
            if (cbData > data.size()) {
                data.resize(cbData);
            } else if (name.size() < kMaxValueNameBytes) {
                name.resize(std::min<size_t>(name.size() * 2, kMaxValueNameBytes));
            } else {
                ++dwIndex;
            }
            continue;
        }
        if (lResult != ERROR_SUCCESS) break;
        take(std::string_view(name.data(), cchName), TextOf(data.data(), cbData));
        ++dwIndex;
    }
    RegCloseKey(hKey);
}

}  // namespace

IMPLEMENT_DYNCREATE(CRegManager, CCmdTarget)

BEGIN_MESSAGE_MAP(CRegManager, CCmdTarget)
END_MESSAGE_MAP()

CRegManager::CRegManager() {}

CRegManager::~CRegManager() {}

DWORD CRegManager::GetRegDWORD(HKEY hRoot, LPCTSTR lpszSubKey, LPCTSTR lpszValueName,
                               DWORD dwDefault, HANDLE hTransaction) {
    HKEY hKey = OpenForReading(hRoot, lpszSubKey, hTransaction);
    if (hKey == NULL) return dwDefault;

    BYTE data[sizeof(DWORD)] = {};
    DWORD cbData = sizeof(data);
    LONG lResult = RegQueryValueExA(hKey, lpszValueName, NULL, NULL, data, &cbData);
    RegCloseKey(hKey);

    // Shorter data would leave bytes undefined; longer data does not fit at all.
    if (lResult != ERROR_SUCCESS || cbData != sizeof(data)) return dwDefault;
    return DWORD(data[0]) | DWORD(data[1]) << 8 | DWORD(data[2]) << 16 | DWORD(data[3]) << 24;
}

CString CRegManager::GetRegString(HKEY hRoot, LPCTSTR lpszSubKey, LPCTSTR lpszValueName,
                                  LPCTSTR lpszDefault, HANDLE hTransaction) {
    HKEY hKey = OpenForReading(hRoot, lpszSubKey, hTransaction);
    if (hKey == NULL) return CString(lpszDefault);

    DWORD cbData = 0;
    LONG lResult = RegQueryValueExA(hKey, lpszValueName, NULL, NULL, NULL, &cbData);
    std::vector<BYTE> data;
    if (lResult == ERROR_SUCCESS) {
        data.resize(cbData + 1);  // never empty, so the buffer pointer is never NULL
        lResult = RegQueryValueExA(hKey, lpszValueName, NULL, NULL, data.data(), &cbData);
    }
    RegCloseKey(hKey);

    if (lResult != ERROR_SUCCESS) return CString(lpszDefault);
    const std::string_view text = TextOf(data.data(), cbData);
    return CString(text.data(), static_cast<int>(text.size()));
}

HKEY CRegManager::OpenOrCreateKey(HKEY hRoot, LPCTSTR lpszSubKey, HANDLE hTransaction) {
    HKEY hKey = NULL;
    if (OpenKey(hRoot, lpszSubKey, kWriteAccess, &hKey, hTransaction) == ERROR_SUCCESS) return hKey;

    DWORD dwDisposition = 0;
    const LONG lResult = hTransaction == NULL
                             ? RegCreateKeyExA(hRoot, lpszSubKey, 0, NULL, REG_OPTION_NON_VOLATILE,
                                               kWriteAccess, NULL, &hKey, &dwDisposition)
                             : RegCreateKeyTransactedA(hRoot, lpszSubKey, 0, NULL,
                                                       REG_OPTION_NON_VOLATILE, kWriteAccess, NULL,
                                                       &hKey, &dwDisposition, hTransaction, NULL);
    return lResult == ERROR_SUCCESS ? hKey : NULL;
}

BOOL CRegManager::SetRegDWORD(HKEY hRoot, LPCTSTR lpszSubKey, LPCTSTR lpszValueName, DWORD dwValue,
                              HANDLE hTransaction) {
    HKEY hKey = OpenOrCreateKey(hRoot, lpszSubKey, hTransaction);
    if (hKey == NULL) return FALSE;

    const BYTE data[sizeof(DWORD)] = {BYTE(dwValue), BYTE(dwValue >> 8), BYTE(dwValue >> 16),
                                      BYTE(dwValue >> 24)};
    LONG lResult = RegSetValueExA(hKey, lpszValueName, 0, REG_DWORD, data, sizeof(data));
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS;
}

BOOL CRegManager::SetRegString(HKEY hRoot, LPCTSTR lpszSubKey, LPCTSTR lpszValueName,
                               LPCTSTR lpszText, HANDLE hTransaction) {
    HKEY hKey = OpenOrCreateKey(hRoot, lpszSubKey, hTransaction);
    if (hKey == NULL) return FALSE;

    LONG lResult;
    if (lpszText == NULL) {
        lResult = RegDeleteValueA(hKey, lpszValueName);
    } else {
        const DWORD cbData = static_cast<DWORD>(strlen(lpszText)) + 1;
        lResult = RegSetValueExA(hKey, lpszValueName, 0, REG_SZ,
                                 reinterpret_cast<const BYTE*>(lpszText), cbData);
    }
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS;
}

BOOL CRegManager::DeleteRegValue(HKEY hRoot, LPCTSTR lpszSubKey, LPCTSTR lpszValueName,
                                 BOOL* pbAbsent, HANDLE hTransaction) {
    if (pbAbsent != NULL) *pbAbsent = FALSE;
    HKEY hKey = OpenOrCreateKey(hRoot, lpszSubKey, hTransaction);
    if (hKey == NULL) return FALSE;

    LONG lResult = RegDeleteValueA(hKey, lpszValueName);
    RegCloseKey(hKey);
    if (pbAbsent != NULL) *pbAbsent = lResult == ERROR_FILE_NOT_FOUND;
    return lResult == ERROR_SUCCESS;
}

BOOL CRegManager::EnumRegValues(HKEY hRoot, LPCTSTR lpszSubKey, MimeEntryArray& entries,
                                HANDLE hTransaction) {
    INT_PTR at = entries.GetSize();
    ForEachValue(
        hRoot, lpszSubKey, hTransaction,
        // Room for every entry first: grown one by one, a large map is moved again and again.
        [&](DWORD cValues) { entries.SetSize(at + cValues); },
        [&](std::string_view name, std::string_view text) {
            // Filled in place: a copy of each entry costs as much as the enumeration itself.
            if (at == entries.GetSize()) entries.SetSize(at + 1);
            MimeEntry& entry = entries[at++];
            entry.strExtension = CString(name.data(), static_cast<int>(name.size()));
            entry.strMimeType = CString(text.data(), static_cast<int>(text.size()));
        });
    entries.SetSize(at);  // fewer than counted when some went meanwhile, or were left out
    return FALSE;
}

BOOL CRegManager::EnumRegValues(HKEY hRoot, LPCTSTR lpszSubKey, CMimeMapTable& table,
                                HANDLE hTransaction) {
    ForEachValue(
        hRoot, lpszSubKey, hTransaction,
        [&](DWORD cValues) { table.Reserve(table.GetSize() + cValues); },
        [&](std::string_view name, std::string_view text) { table.Add(name, text); });
    return FALSE;
}

BOOL CRegManager::GetRegValue(HKEY hRoot, LPCTSTR lpszSubKey, LPCTSTR lpszValueName, DWORD& dwType,
                              std::string& data, HANDLE hTransaction) {
    HKEY hKey = OpenForReading(hRoot, lpszSubKey, hTransaction);
    if (hKey == NULL) return FALSE;
    DWORD cbData = 0;
    LONG lResult = RegQueryValueExA(hKey, lpszValueName, NULL, &dwType, NULL, &cbData);
    if (lResult == ERROR_SUCCESS) {
        std::vector<BYTE> buffer(cbData + 1);
        lResult = RegQueryValueExA(hKey, lpszValueName, NULL, &dwType, buffer.data(), &cbData);
        data.assign(reinterpret_cast<const char*>(buffer.data()), cbData);
    }
    RegCloseKey(hKey);
    return lResult == ERROR_SUCCESS;
}

LONG CRegManager::CheckReadable(HKEY hRoot, LPCTSTR lpszSubKey) {
    HKEY hKey = NULL;
    const LONG lResult = RegOpenKeyExA(hRoot, lpszSubKey, 0, kReadAccess, &hKey);
    if (lResult == ERROR_SUCCESS) RegCloseKey(hKey);
    return lResult == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : lResult;
}
