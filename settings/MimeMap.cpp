// The MIME map operations of CViewerSettings: one REG_SZ value per extension.
#include "stdafx.h"

#include "ViewerSettings.h"

#include <algorithm>

namespace {

bool ExtensionLess(const MimeEntry& a, const MimeEntry& b) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(LPCTSTR(a.strExtension)),
                    reinterpret_cast<const unsigned char*>(LPCTSTR(b.strExtension))) < 0;
}

// The registry functions take a name up to its first NUL, which would name another mapping;
// the change path refuses such names.
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
    // Stable, so mappings whose extensions differ only in case keep the registry's order.
    MimeEntry* pFirst = entries.GetData();
    std::stable_sort(pFirst, pFirst + entries.GetSize(), ExtensionLess);
}

BOOL CViewerSettings::AddMimeType(CString strExtension, CString strMimeType, BOOL* pbWritten) {
    Report(pbWritten,
           Store({SetStringChange(kMimeMapKeyPath, strExtension.str(), strMimeType.str())}));
    return TRUE;
}

BOOL CViewerSettings::ChangeMimeType(CString strExtension, CString strMimeType, BOOL* pbWritten) {
    return AddMimeType(strExtension, strMimeType, pbWritten);
}

BOOL CViewerSettings::DeleteMimeType(CString strExtension, BOOL* pbWritten) {
    // A mapping someone else removed meanwhile is gone, as the user asked: not a failure.
    // The key is created as the registry's own deletion would.
    Report(pbWritten, Store({KeyChange(Change::kCreateKey, kMimeMapKeyPath),
                             DeleteValueChange(kMimeMapKeyPath, strExtension.str())}));
    return TRUE;
}

ChangeOutcome CViewerSettings::AddMimeMapping(const CString& strExtension,
                                              const CString& strMimeType) {
    Change add = SetStringChange(kMimeMapKeyPath, strExtension.str(), strMimeType.str());
    add.expected.kind = Expectation::kAbsent;
    return ApplyChangeSet({add});
}

ChangeOutcome CViewerSettings::ChangeMimeMapping(const CString& strExtension,
                                                 const CString& strMimeType) {
    Change change = SetStringChange(kMimeMapKeyPath, strExtension.str(), strMimeType.str());
    change.expected.kind = Expectation::kPresent;
    return ApplyChangeSet({change});
}

ChangeOutcome CViewerSettings::DeleteMimeMapping(const CString& strExtension) {
    return ApplyChangeSet({DeleteValueChange(kMimeMapKeyPath, strExtension.str())});
}

BOOL CViewerSettings::IsMimeExtensionStored(CString strExtension, BOOL* pbKnown) {
    if (!IsNameable(strExtension)) {
        Report(pbKnown, FALSE);
        return FALSE;
    }
    return m_regManager.RegValueExists(HKEY_LOCAL_MACHINE, kMimeMapKeyPath, strExtension, pbKnown,
                                       m_hTransaction);
}
