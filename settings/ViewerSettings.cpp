#include "stdafx.h"

#include "ViewerSettings.h"

CViewerSettings::CViewerSettings() {}

CViewerSettings::~CViewerSettings() {}

BOOL CViewerSettings::GetTopDay(int& nDay) {
    nDay = static_cast<int>(
        m_regManager.GetRegDWORD(HKEY_LOCAL_MACHINE, kViewerKeyPath, kTopDayValueName, 0));
    return TRUE;
}

BOOL CViewerSettings::SetTopDay(int nDay) {
    return m_regManager.SetRegDWORD(HKEY_LOCAL_MACHINE, kViewerKeyPath, kTopDayValueName,
                                    DWORD(nDay));
}

BOOL CViewerSettings::GetSortKey(int& nIndex) {
    CString strId = m_regManager.GetRegString(HKEY_LOCAL_MACHINE, kViewerKeyPath, kSortKeyValueName,
                                              GetSortKeyId(SortKeyDocName));
    nIndex = FindSortKeyId(strId);
    if (nIndex < 0) nIndex = SortKeyDocName;
    return TRUE;
}

BOOL CViewerSettings::SetSortKey(int nIndex) {
    if (nIndex < 0 || nIndex >= SortKeyCount) nIndex = SortKeyDocName;
    return m_regManager.SetRegString(HKEY_LOCAL_MACHINE, kViewerKeyPath, kSortKeyValueName,
                                     GetSortKeyId(nIndex));
}

BOOL CViewerSettings::GetSortDir(int& nDir) {
    nDir = static_cast<int>(
        m_regManager.GetRegDWORD(HKEY_LOCAL_MACHINE, kViewerKeyPath, kSortDirValueName, 0));
    return TRUE;
}

BOOL CViewerSettings::SetSortDir(int nDir) {
    return m_regManager.SetRegDWORD(HKEY_LOCAL_MACHINE, kViewerKeyPath, kSortDirValueName,
                                    DWORD(nDir));
}

BOOL CViewerSettings::GetObjectNum(ObjectNumKind kind, int& nCount) {
    const CountRule* pRule = GetCountRule(kind);
    if (pRule == NULL) return TRUE;
    nCount = static_cast<int>(m_regManager.GetRegDWORD(
        HKEY_LOCAL_MACHINE, kObjectNumKeyPath, pRule->lpszValueName, DWORD(pRule->nFactoryValue)));
    return TRUE;
}

BOOL CViewerSettings::SetObjectNum(ObjectNumKind kind, int nCount) {
    const CountRule* pRule = GetCountRule(kind);
    if (pRule == NULL) return FALSE;
    return m_regManager.SetRegDWORD(HKEY_LOCAL_MACHINE, kObjectNumKeyPath, pRule->lpszValueName,
                                    DWORD(nCount));
}
