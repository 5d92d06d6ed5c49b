#include "stdafx.h"

#include "ViewerSettings.h"

#include "resource.h"

#ifdef _WIN32
#include <ktmw32.h>
#endif

using marrowick::platform::RegFileValue;

CViewerSettings::CViewerSettings() {}

CViewerSettings::~CViewerSettings() {
    DiscardChanges();
}

BOOL CViewerSettings::BeginChanges() {
    if (m_hTransaction != NULL) return FALSE;
    HANDLE hTransaction = CreateTransaction(NULL, NULL, 0, 0, 0, 0, NULL);
    if (hTransaction == INVALID_HANDLE_VALUE) return FALSE;
    m_hTransaction = hTransaction;
    return TRUE;
}

BOOL CViewerSettings::CommitChanges() {
    if (m_hTransaction == NULL) return FALSE;
    // The transaction only showed the changes to this object's getters; they are stored
    // by the change path, which writes all of them or none.
    std::vector<Change> changes = std::move(m_pending);
    DiscardChanges();
    m_lastOutcome = ApplyChangeSet(changes);
    return m_lastOutcome.Applied();
}

void CViewerSettings::DiscardChanges() {
    m_pending.clear();
    if (m_hTransaction == NULL) return;
    CloseHandle(m_hTransaction);
    m_hTransaction = NULL;
}

BOOL CViewerSettings::Store(const std::vector<Change>& changes) {
    if (m_hTransaction == NULL) {
        m_lastOutcome = ApplyChangeSet(changes);
        return m_lastOutcome.Applied();
    }
    m_lastOutcome = CheckChangeSet(changes);
    if (!m_lastOutcome.Applied()) return FALSE;
    for (const Change& change : changes) {
        if (change.kind == Change::kSetValue && !ShowInGroup(change)) return FALSE;
    }
    m_pending.insert(m_pending.end(), changes.begin(), changes.end());
    return TRUE;
}

BOOL CViewerSettings::ShowInGroup(const Change& change) {
    // Refused as the commit would refuse it, so that the caller can tell why.
    const auto refused = [&](LONG status) {
        m_lastOutcome.result = ChangeOutcome::kRegistryError;
        m_lastOutcome.status = status;
        m_lastOutcome.messageId = PlaceOfKey(change.keyPath.str()) == ViewerPlace::kMimeMap
                                      ? IDS_MIME_SAVE_FAILED
                                      : IDS_SAVE_FAILED;
        m_lastOutcome.message = LoadResourceText(m_lastOutcome.messageId);
        return FALSE;
    };
    HKEY hKey = NULL;
    const bool bKeyExisted =
        RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, change.keyPath.c_str(), 0, KEY_READ, &hKey,
                              m_hTransaction, NULL) == ERROR_SUCCESS;
    if (bKeyExisted) RegCloseKey(hKey);
    DWORD disposition = 0;
    const LONG opened = RegCreateKeyTransactedA(HKEY_LOCAL_MACHINE, change.keyPath.c_str(), 0, NULL,
                                                REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, NULL,
                                                &hKey, &disposition, m_hTransaction, NULL);
    // Who may not write the hive cannot show the change here; the commit still decides,
    // and may hand the whole group to the settings service.
    if (opened != ERROR_SUCCESS && opened != ERROR_ACCESS_DENIED) return refused(opened);
    if (opened == ERROR_SUCCESS) {
        const RegFileValue& value = change.newValue;
        const LONG status = RegSetValueExA(hKey, change.name.c_str(), 0, value.type,
                                           reinterpret_cast<const BYTE*>(value.data.data()),
                                           static_cast<DWORD>(value.data.size()));
        RegCloseKey(hKey);
        if (status != ERROR_SUCCESS) return refused(status);
    }
    // A key that existed must still exist at the commit: the group was made for it, and
    // another writer who deleted it meant to remove what it held.
    if (bKeyExisted) {
        Change keyStays = KeyChange(Change::kCreateKey, change.keyPath);
        keyStays.expected.kind = Expectation::kPresent;
        m_pending.push_back(std::move(keyStays));
    }
    return TRUE;
}

BOOL CViewerSettings::GetTopDay(int& nDay) {
    nDay = ReadSetting(*FindSettingRule(kTopDayValueName), m_hTransaction).nNumber;
    return TRUE;
}

BOOL CViewerSettings::SetTopDay(int nDay) {
    return Store({SetDwordChange(kViewerKeyPath, kTopDayValueName, DWORD(nDay))});
}

BOOL CViewerSettings::GetSortKey(int& nIndex) {
    // An identifier that is none of the list's, in any letter case, reads as the first.
    nIndex = ReadSetting(*FindSettingRule(kSortKeyValueName), m_hTransaction).nNumber;
    return TRUE;
}

BOOL CViewerSettings::SetSortKey(int nIndex) {
    if (nIndex < 0 || nIndex >= SortKeyCount) nIndex = SortKeyDocName;
    return Store({SetStringChange(kViewerKeyPath, kSortKeyValueName, GetSortKeyId(nIndex))});
}

BOOL CViewerSettings::GetSortDir(int& nDir) {
    nDir = ReadSetting(*FindSettingRule(kSortDirValueName), m_hTransaction).nNumber;
    return TRUE;
}

BOOL CViewerSettings::SetSortDir(int nDir) {
    return Store({SetDwordChange(kViewerKeyPath, kSortDirValueName, DWORD(nDir))});
}

BOOL CViewerSettings::GetObjectNum(ObjectNumKind kind, int& nCount) {
    if (const CountRule* pRule = GetCountRule(kind))
        nCount = ReadSetting(*pRule, m_hTransaction).nNumber;
    return TRUE;
}

BOOL CViewerSettings::SetObjectNum(ObjectNumKind kind, int nCount) {
    const CountRule* pRule = GetCountRule(kind);
    if (pRule == NULL) return FALSE;
    return Store({SetDwordChange(kObjectNumKeyPath, pRule->lpszValueName, DWORD(nCount))});
}
