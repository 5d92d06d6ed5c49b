// The MIME map operations of CViewerSettings: one REG_SZ value per extension.
#include "stdafx.h"

#include "ViewerSettings.h"

#include <mbstring.h>

#include <algorithm>
#include <string>
#include <utility>
#include <vector>

namespace {

// The registry functions take a name up to its first NUL, which would name another mapping.
bool IsNameable(const CString& strExtension) {
    return strExtension.str().find('\0') == std::string::npos;
}

void Report(BOOL* pbWritten, BOOL bWritten) {
    if (pbWritten != NULL) *pbWritten = bWritten;
}

}  // namespace

BOOL CViewerSettings::GetMimeMap(MimeEntryArray& entries) {
    m_regManager.EnumRegValues(HKEY_LOCAL_MACHINE, kMimeMapKeyPath, entries, m_hTransaction);
    SortMimeMap(entries);
    return TRUE;
}

void CViewerSettings::SortMimeMap(MimeEntryArray& entries) {
    // Ordered as _mbsicmp orders the extensions, each folded once, not on every comparison.
    // Stable, so mappings whose extensions differ only in case keep the registry's order.
    const INT_PTR nCount = entries.GetSize();
    std::vector<std::pair<std::string, INT_PTR>> keys;
    keys.reserve(static_cast<size_t>(nCount));
    for (INT_PTR i = 0; i < nCount; ++i) {
        keys.emplace_back(marrowick::platform::MbsicmpKey(reinterpret_cast<const unsigned char*>(
                              LPCTSTR(entries[i].strExtension))),
                          i);
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<MimeEntry> sorted;
    sorted.reserve(keys.size());
    for (const auto& key : keys) sorted.push_back(std::move(entries[key.second]));
    for (INT_PTR i = 0; i < nCount; ++i) entries[i] = std::move(sorted[static_cast<size_t>(i)]);
}

BOOL CViewerSettings::AddMimeType(CString strExtension, CString strMimeType, BOOL* pbWritten) {
    Report(pbWritten, IsNameable(strExtension) &&
                          m_regManager.SetRegString(HKEY_LOCAL_MACHINE, kMimeMapKeyPath,
                                                    strExtension, strMimeType, m_hTransaction));
    return TRUE;
}

BOOL CViewerSettings::ChangeMimeType(CString strExtension, CString strMimeType, BOOL* pbWritten) {
    return AddMimeType(strExtension, strMimeType, pbWritten);
}

BOOL CViewerSettings::DeleteMimeType(CString strExtension, BOOL* pbWritten) {
    if (!IsNameable(strExtension)) {
        Report(pbWritten, FALSE);
        return TRUE;
    }
    // A mapping someone else removed meanwhile is gone, as the user asked: not a failure.
    BOOL bAbsent = FALSE;
    const BOOL bDeleted = m_regManager.DeleteRegValue(HKEY_LOCAL_MACHINE, kMimeMapKeyPath,
                                                      strExtension, &bAbsent, m_hTransaction);
    Report(pbWritten, bDeleted || bAbsent);
    return TRUE;
}

BOOL CViewerSettings::IsMimeExtensionStored(CString strExtension, BOOL* pbKnown) {
    if (!IsNameable(strExtension)) {
        Report(pbKnown, FALSE);
        return FALSE;
    }
    return m_regManager.RegValueExists(HKEY_LOCAL_MACHINE, kMimeMapKeyPath, strExtension, pbKnown,
                                       m_hTransaction);
}
