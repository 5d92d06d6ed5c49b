// The document viewer's machine-wide settings, as plain integers for the dialogs, and its
// map from file extensions to MIME types. Every getter reads the registry anew and every
// setter or map change writes at once through the change path (ApplyChangeSet), unless
// grouped by BeginChanges; nothing is cached. Values the settings' rules refuse are not
// written (the setter returns FALSE). Include after stdafx.h.
#pragma once

#include <vector>

#include "ChangeSet.h"
#include "MimeEntry.h"
#include "RegManager.h"
#include "SettingRules.h"

class CViewerSettings {
public:
    CViewerSettings();
    virtual ~CViewerSettings();  // discards changes not committed
    CViewerSettings(const CViewerSettings&) = delete;
    CViewerSettings& operator=(const CViewerSettings&) = delete;

    // Groups the changes made through this object from BeginChanges on into one change set:
    // nobody else sees them, while this object's getters do, and CommitChanges stores all
    // of them in one write or none (FALSE, and nothing has changed; also when another
    // writer deleted a key the group wrote to). LastOutcome tells why. A setter
    // that fails meanwhile has recorded nothing; the caller decides whether to commit the
    // rest. DiscardChanges drops them all. BeginChanges fails when changes are pending.
    BOOL BeginChanges();
    BOOL CommitChanges();
    void DiscardChanges();

    // Getters always return TRUE and deliver the stored value unchecked, or the default
    // when it cannot be read. Setters return the write's result.
    BOOL GetTopDay(int& nDay);
    BOOL SetTopDay(int nDay);
    // An unknown stored identifier, in any letter case, reads as SortKeyDocName; an index
    // outside 0..7 (-1 for "nothing selected" included) writes SortKeyDocName, as 0 does.
    BOOL GetSortKey(int& nIndex);
    BOOL SetSortKey(int nIndex);
    BOOL GetSortDir(int& nDir);
    BOOL SetSortDir(int nDir);
    // For a kind outside the five, nCount is left as it is and nothing is written.
    BOOL GetObjectNum(ObjectNumKind kind, int& nCount);
    BOOL SetObjectNum(ObjectNumKind kind, int nCount);

    // The MIME map. GetMimeMap appends every stored mapping to `entries` (clear it first)
    // sorted by SortMimeMap, and returns TRUE; it never creates the key.
    BOOL GetMimeMap(MimeEntryArray& entries);
    // The same into a table, which it fills afresh: for many mappings at once.
    BOOL GetMimeMap(CMimeMapTable& table);
    // Ascending by extension ignoring case (_mbsicmp); equal extensions keep their order.
    static void SortMimeMap(MimeEntryArray& entries);

    // Each change is written at once. The value name is the extension exactly as given,
    // so an existing mapping of that extension in any letter case is replaced.
    //
    // These return TRUE whatever the registry answers. To learn whether the change was
    // stored, pass pbWritten: it receives TRUE when the registry took the write or the
    // deletion, FALSE when it refused (no write access, unreadable hive, ...). Deleting an
    // extension that is not stored also gives FALSE, as nothing was deleted.
    //
    // An extension with an embedded NUL (a loaded one may have it) is never passed to the
    // registry, which would take the part before the NUL, naming another mapping; nothing
    // is changed and pbWritten receives FALSE.
    BOOL AddMimeType(CString strExtension, CString strMimeType, BOOL* pbWritten = NULL);
    BOOL ChangeMimeType(CString strExtension, CString strMimeType, BOOL* pbWritten = NULL);
    BOOL DeleteMimeType(CString strExtension, BOOL* pbWritten = NULL);

    // The MIME dialog's changes, with the rules that hold at the moment of writing: an add
    // is refused when the extension is stored in any letter case (107), a change when the
    // mapping has been deleted (119); nothing is written then.
    ChangeOutcome AddMimeMapping(const CString& strExtension, const CString& strMimeType);
    ChangeOutcome ChangeMimeMapping(const CString& strExtension, const CString& strMimeType);
    ChangeOutcome DeleteMimeMapping(const CString& strExtension);

    // How the last setter, map change or commit ended.
    const ChangeOutcome& LastOutcome() const { return m_lastOutcome; }

private:
    // Applies the changes, or while grouped checks them, shows them in the transaction
    // and keeps them for the commit.
    BOOL Store(const std::vector<Change>& changes);
    BOOL ShowInGroup(const Change& change);

    CRegManager m_regManager;
    HANDLE m_hTransaction = NULL;  // while changes are grouped: what the getters read
    std::vector<Change> m_pending;
    ChangeOutcome m_lastOutcome;
};
