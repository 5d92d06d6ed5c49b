#include "stdafx.h"

#include "ViewerSettings.h"

#ifdef _WIN32
#include <ktmw32.h>
#endif

namespace {

const LPCTSTR kViewerKey = _T("Software\\TAVIK\\Brisvandale\\Pallisander");
const LPCTSTR kObjectNumKey = _T("Software\\TAVIK\\Brisvandale\\Pallisander\\ObjectNum");

const LPCTSTR kTopDayValue = _T("TopDay");
const LPCTSTR kSortKeyValue = _T("SortKey");
const LPCTSTR kSortDirValue = _T("SortDir");

// Indexed by SortKeyIndex. The viewer compares these exactly, letter case included.
const LPCTSTR kSortKeyIds[SortKeyCount] = {
    _T("045c375f_7aad_11d1_85e5_00a024e8a452"),  // document name
    _T("9551204B_3B1C_11d3_8C9F_00e0292f001f"),  // document number
    _T("9340d27d_ed79_11d2_8c3b_00e0292f001f"),  // added
    _T("9340d382_ed79_11d2_8c3b_00e0292f001f"),  // changed
    _T("9340d37e_ed79_11d2_8c3b_00e0292f001f"),  // expiry date
    _T("3E149908_B1F6_11d3_88E3_000629B0191D"),  // size
    _T("9340d37f_ed79_11d2_8c3b_00e0292f001f"),  // number of sections
    _T("9340d399_ed79_11d2_8c3b_00e0292f001f"),  // work state
};

struct ObjectNumValue {
    LPCTSTR lpszName;
    DWORD dwDefault;
};

// Indexed by ObjectNumKind.
const ObjectNumValue kObjectNumValues[] = {
    {_T("EntrySection"), 10}, {_T("DocList"), 20}, {_T("DocThum"), 10},
    {_T("SecList"), 20},      {_T("SecThum"), 10},
};
const int kObjectNumKinds = sizeof(kObjectNumValues) / sizeof(kObjectNumValues[0]);

BOOL IsObjectNumKind(ObjectNumKind kind) {
    return kind >= 0 && kind < kObjectNumKinds;
}

}  // namespace

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
    const BOOL bCommitted = CommitTransaction(m_hTransaction);
    CloseHandle(m_hTransaction);  // rolls back what a failed commit left
    m_hTransaction = NULL;
    return bCommitted;
}

void CViewerSettings::DiscardChanges() {
    if (m_hTransaction == NULL) return;
    CloseHandle(m_hTransaction);
    m_hTransaction = NULL;
}

BOOL CViewerSettings::GetTopDay(int& nDay) {
    nDay = static_cast<int>(
        m_regManager.GetRegDWORD(HKEY_LOCAL_MACHINE, kViewerKey, kTopDayValue, 0, m_hTransaction));
    return TRUE;
}

BOOL CViewerSettings::SetTopDay(int nDay) {
    return m_regManager.SetRegDWORD(HKEY_LOCAL_MACHINE, kViewerKey, kTopDayValue, DWORD(nDay),
                                    m_hTransaction);
}

BOOL CViewerSettings::GetSortKey(int& nIndex) {
    CString strId = m_regManager.GetRegString(HKEY_LOCAL_MACHINE, kViewerKey, kSortKeyValue,
                                              kSortKeyIds[SortKeyDocName], m_hTransaction);
    nIndex = SortKeyDocName;
    for (int i = 0; i < SortKeyCount; ++i) {
        if (_mbscmp(reinterpret_cast<const unsigned char*>(LPCTSTR(strId)),
                    reinterpret_cast<const unsigned char*>(kSortKeyIds[i])) == 0) {
            nIndex = i;
            break;
        }
    }
    return TRUE;
}

BOOL CViewerSettings::SetSortKey(int nIndex) {
    if (nIndex < 0 || nIndex >= SortKeyCount) nIndex = SortKeyDocName;
    return m_regManager.SetRegString(HKEY_LOCAL_MACHINE, kViewerKey, kSortKeyValue,
                                     kSortKeyIds[nIndex], m_hTransaction);
}

BOOL CViewerSettings::GetSortDir(int& nDir) {
    nDir = static_cast<int>(
        m_regManager.GetRegDWORD(HKEY_LOCAL_MACHINE, kViewerKey, kSortDirValue, 0, m_hTransaction));
    return TRUE;
}

BOOL CViewerSettings::SetSortDir(int nDir) {
    return m_regManager.SetRegDWORD(HKEY_LOCAL_MACHINE, kViewerKey, kSortDirValue, DWORD(nDir),
                                    m_hTransaction);
}

BOOL CViewerSettings::GetObjectNum(ObjectNumKind kind, int& nCount) {
    if (!IsObjectNumKind(kind)) return TRUE;
    const ObjectNumValue& value = kObjectNumValues[kind];
    nCount = static_cast<int>(m_regManager.GetRegDWORD(
        HKEY_LOCAL_MACHINE, kObjectNumKey, value.lpszName, value.dwDefault, m_hTransaction));
    return TRUE;
}

BOOL CViewerSettings::SetObjectNum(ObjectNumKind kind, int nCount) {
    if (!IsObjectNumKind(kind)) return FALSE;
    return m_regManager.SetRegDWORD(HKEY_LOCAL_MACHINE, kObjectNumKey,
                                    kObjectNumValues[kind].lpszName, DWORD(nCount), m_hTransaction);
}
