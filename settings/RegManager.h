// The registry operations the settings getters and the dialogs' design rely on (the change
// path in ChangeSet.cpp and the tree reader in ViewerTree.cpp call the registry too).
// Every operation opens its key, does one thing and closes the key again; no handle
// outlives a call and the object holds no state.
// Given a transaction (hTransaction, from CreateTransaction), an operation opens its key in
// it, so that what it reads and writes belongs to that transaction. Include after stdafx.h.
#pragma once

#include <reg_file.h>

#include <string>
#include <vector>

#include "MimeEntry.h"

class CRegManager : public CCmdTarget {
    DECLARE_DYNCREATE(CRegManager)

public:
    CRegManager();
    virtual ~CRegManager();

    // Reads open the key for reading only and never create it; any failure gives the
    // default. A DWORD is read from exactly 4 data bytes of any type.
    static DWORD GetRegDWORD(HKEY hRoot, LPCTSTR lpszSubKey, LPCTSTR lpszValueName, DWORD dwDefault,
                             HANDLE hTransaction = NULL);
    static CString GetRegString(HKEY hRoot, LPCTSTR lpszSubKey, LPCTSTR lpszValueName,
                                LPCTSTR lpszDefault, HANDLE hTransaction = NULL);

    // Opens the key for reading and writing, creating the whole path when it is missing.
    // NULL when neither works; the caller closes the handle.
    static HKEY OpenOrCreateKey(HKEY hRoot, LPCTSTR lpszSubKey, HANDLE hTransaction = NULL);

    // Writes create a missing key first and return TRUE exactly when the registry took
    // the change. SetRegString with a NULL text deletes the value instead.
    static BOOL SetRegDWORD(HKEY hRoot, LPCTSTR lpszSubKey, LPCTSTR lpszValueName, DWORD dwValue,
                            HANDLE hTransaction = NULL);
    static BOOL SetRegString(HKEY hRoot, LPCTSTR lpszSubKey, LPCTSTR lpszValueName,
                             LPCTSTR lpszText, HANDLE hTransaction = NULL);
    // DeleteRegValue returns FALSE also when there was no such value; *pbAbsent (when
    // given) then tells that case from a refused deletion.
    static BOOL DeleteRegValue(HKEY hRoot, LPCTSTR lpszSubKey, LPCTSTR lpszValueName,
                               BOOL* pbAbsent = NULL, HANDLE hTransaction = NULL);

    // Appends every value of the key to `entries` (name as extension, data up to its first
    // NUL as MIME type), in the registry's enumeration order, however long the name or
    // data. Never creates the key. Always returns FALSE: callers look at the array only.
    static BOOL EnumRegValues(HKEY hRoot, LPCTSTR lpszSubKey, MimeEntryArray& entries,
                              HANDLE hTransaction = NULL);
    // The same, appended to a table.
    static BOOL EnumRegValues(HKEY hRoot, LPCTSTR lpszSubKey, CMimeMapTable& table,
                              HANDLE hTransaction = NULL);

    // For tools that copy settings as they are: the value's type and bytes exactly as
    // stored. FALSE when it cannot be read (missing key or value included).
    static BOOL GetRegValue(HKEY hRoot, LPCTSTR lpszSubKey, LPCTSTR lpszValueName, DWORD& dwType,
                            std::string& data, HANDLE hTransaction = NULL);
    // Whether the registry can be read at all: ERROR_SUCCESS also when the key is missing,
    // else the registry's code (ERROR_ACCESS_DENIED, ERROR_BADDB, ...).
    static LONG CheckReadable(HKEY hRoot, LPCTSTR lpszSubKey);

protected:
    DECLARE_MESSAGE_MAP()
};
