#include "stdafx.h"

#include "ViewerSettings.h"

#ifdef _WIN32
#include <ktmw32.h>
#endif

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
    nDay = static_cast<int>(m_regManager.GetRegDWORD(HKEY_LOCAL_MACHINE, kViewerKeyPath,
                                                     kTopDayValueName, 0, m_hTransaction));
    return TRUE;
}

BOOL CViewerSettings::SetTopDay(int nDay) {
    return m_regManager.SetRegDWORD(HKEY_LOCAL_MACHINE, kViewerKeyPath, kTopDayValueName,
                                    DWORD(nDay), m_hTransaction);
}

BOOL CViewerSettings::GetSortKey(int& nIndex) {
    CString strId = m_regManager.GetRegString(HKEY_LOCAL_MACHINE, kViewerKeyPath, kSortKeyValueName,
                                              GetSortKeyId(SortKeyDocName), m_hTransaction);
    nIndex = FindSortKeyId(strId);
    if (nIndex < 0) nIndex = SortKeyDocName;
    return TRUE;
}

BOOL CViewerSettings::SetSortKey(int nIndex) {
    if (nIndex < 0 || nIndex >= SortKeyCount) nIndex = SortKeyDocName;
    return m_regManager.SetRegString(HKEY_LOCAL_MACHINE, kViewerKeyPath, kSortKeyValueName,
                                     GetSortKeyId(nIndex), m_hTransaction);
}

BOOL CViewerSettings::GetSortDir(int& nDir) {
    nDir = static_cast<int>(m_regManager.GetRegDWORD(HKEY_LOCAL_MACHINE, kViewerKeyPath,
                                                     kSortDirValueName, 0, m_hTransaction));
    return TRUE;
}

BOOL CViewerSettings::SetSortDir(int nDir) {
    return m_regManager.SetRegDWORD(HKEY_LOCAL_MACHINE, kViewerKeyPath, kSortDirValueName,
                                    DWORD(nDir), m_hTransaction);
}

BOOL CViewerSettings::GetObjectNum(ObjectNumKind kind, int& nCount) {
    const CountRule* pRule = GetCountRule(kind);
    if (pRule == NULL) return TRUE;
    nCount = static_cast<int>(
        m_regManager.GetRegDWORD(HKEY_LOCAL_MACHINE, kObjectNumKeyPath, pRule->lpszValueName,
                                 DWORD(pRule->nFactoryValue), m_hTransaction));
    return TRUE;
}

BOOL CViewerSettings::SetObjectNum(ObjectNumKind kind, int nCount) {
    const CountRule* pRule = GetCountRule(kind);
    if (pRule == NULL) return FALSE;
    return m_regManager.SetRegDWORD(HKEY_LOCAL_MACHINE, kObjectNumKeyPath, pRule->lpszValueName,
                                    DWORD(nCount), m_hTransaction);
}
