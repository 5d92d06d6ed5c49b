// What every editor of the viewer's settings must agree on: where they are stored, their
// value names, the values allowed, the factory values and when two MIME mappings are the
// same. The main dialog and the command line both take them from here, so the two cannot
// drift apart. Include after stdafx.h.
#pragma once

#include "MimeEntry.h"

// Which of the five table sizes GetObjectNum/SetObjectNum mean. Other values are accepted
// and ignored.
enum ObjectNumKind : int {
    ObjectNumEntrySection = 0,  // maximum number of sections when adding
    ObjectNumDocList = 1,       // documents per page in the detail view
    ObjectNumDocThum = 2,       // documents per page in the icon view
    ObjectNumSecList = 3,       // sections per page in the detail view
    ObjectNumSecThum = 4,       // sections per page in the icon view
    ObjectNumKindCount = 5
};

// Position of a document sort key in the main dialog's list (strings 109 to 116).
enum SortKeyIndex : int {
    SortKeyDocName = 0,
    SortKeyDocNumber = 1,
    SortKeyAdded = 2,
    SortKeyChanged = 3,
    SortKeyExpires = 4,
    SortKeySize = 5,
    SortKeySectionCount = 6,
    SortKeyWorkState = 7,
    SortKeyCount = 8
};

// The viewer's keys below HKEY_LOCAL_MACHINE. Key names ignore letter case, so the three
// spellings name one tree: the viewer's key with ObjectNum and MimeMap below it.
extern const LPCTSTR kViewerKeyPath;
extern const LPCTSTR kObjectNumKeyPath;
extern const LPCTSTR kMimeMapKeyPath;

// Values of the viewer's key.
extern const LPCTSTR kTopDayValueName;
extern const LPCTSTR kSortKeyValueName;
extern const LPCTSTR kSortDirValueName;

// TopDay and SortDir as the main dialog's radio buttons store them.
const int kTopDaySunday = 1;
const int kTopDayMonday = 2;
const int kSortDirAscending = 0;
const int kSortDirDescending = 1;

// What the restore button puts into the form.
const int kFactoryTopDay = kTopDaySunday;
const int kFactorySortKey = SortKeyDocName;
const int kFactorySortDir = kSortDirAscending;

// One table size of the ObjectNum key: its value name, the range the form accepts and its
// factory value, which is also what the viewer reads when nothing is stored.
struct CountRule {
    LPCTSTR lpszValueName;
    int nLower;
    int nUpper;
    int nFactoryValue;
};
// For kinds 0 to 4; NULL for any other.
const CountRule* GetCountRule(int kind);

// The identifier the viewer stores for a SortKeyIndex (NULL outside 0..7); the viewer
// compares identifiers exactly, letter case included.
LPCTSTR GetSortKeyId(int nIndex);
// The index of an identifier compared exactly, or -1.
int FindSortKeyId(LPCTSTR lpszId);
// The string resource of the label the main dialog lists for a SortKeyIndex.
UINT GetSortKeyLabelId(int nIndex);

// Two extensions name the same mapping when they are equal ignoring letter case, as the
// registry compares value names; a second mapping of the same extension is refused.
BOOL IsSameMimeExtension(LPCTSTR lpszA, LPCTSTR lpszB);
BOOL MimeEntriesHaveExtension(const MimeEntryArray& entries, LPCTSTR lpszExtension);
