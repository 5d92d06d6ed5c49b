#include "stdafx.h"

#include "SettingRules.h"

#include "resource.h"

const LPCTSTR kViewerKeyPath = _T("Software\\TAVIK\\Brisvandale\\Pallisander");
const LPCTSTR kObjectNumKeyPath = _T("Software\\TAVIK\\Brisvandale\\Pallisander\\ObjectNum");
// Spelled differently from the viewer's other keys; key names ignore case, so it is the
// same key's sub-key.
const LPCTSTR kMimeMapKeyPath = _T("SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\MimeMap");

const LPCTSTR kTopDayValueName = _T("TopDay");
const LPCTSTR kSortKeyValueName = _T("SortKey");
const LPCTSTR kSortDirValueName = _T("SortDir");

namespace {

// Indexed by SortKeyIndex.
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

// Indexed by ObjectNumKind.
const CountRule kCountRules[ObjectNumKindCount] = {
    {_T("EntrySection"), 5, 99, 10}, {_T("DocList"), 10, 100, 20}, {_T("DocThum"), 10, 100, 10},
    {_T("SecList"), 10, 100, 20},    {_T("SecThum"), 10, 100, 10},
};

}  // namespace

const CountRule* GetCountRule(int kind) {
    return kind >= 0 && kind < ObjectNumKindCount ? &kCountRules[kind] : NULL;
}

LPCTSTR GetSortKeyId(int nIndex) {
    return nIndex >= 0 && nIndex < SortKeyCount ? kSortKeyIds[nIndex] : NULL;
}

int FindSortKeyId(LPCTSTR lpszId) {
    for (int i = 0; i < SortKeyCount; ++i) {
        if (_mbscmp(reinterpret_cast<const unsigned char*>(lpszId),
                    reinterpret_cast<const unsigned char*>(kSortKeyIds[i])) == 0) {
            return i;
        }
    }
    return -1;
}

UINT GetSortKeyLabelId(int nIndex) {
    return IDS_SORTKEY_FIRST + static_cast<UINT>(nIndex);
}

BOOL IsSameMimeExtension(LPCTSTR lpszA, LPCTSTR lpszB) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(lpszA),
                    reinterpret_cast<const unsigned char*>(lpszB)) == 0;
}

BOOL MimeEntriesHaveExtension(const MimeEntryArray& entries, LPCTSTR lpszExtension) {
    for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
        if (IsSameMimeExtension(entries[i].strExtension, lpszExtension)) return TRUE;
    }
    return FALSE;
}
