// The viewer's settings schema: where each setting is stored, its value name and type, the
// values allowed, its factory value, its label and the message refusing a value, and when
// two MIME mappings are the same. The dialogs, the command line, import and the change
// path all take them from here. Include after stdafx.h.
#pragma once

#include <reg_file.h>

#include <optional>
#include <string>
#include <string_view>

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

// One of the values a setting chosen from a list may take: the number the dialog and the
// command line use for it, the word the command line also takes, and, for settings stored
// as text, the identifier stored.
struct SettingChoice {
    int nNumber;
    LPCTSTR lpszWord;    // NULL: none; for sort keys the dialog's label (nLabelId) is taken
    UINT nLabelId;       // 0: none
    LPCTSTR lpszStored;  // REG_SZ settings only
};

// One setting of the viewer: everything the dialog, the command line, import and the JSON
// output know of it. The table of these (GetSettingRules) is the only place a setting is
// described; the main dialog binds a control to each.
struct SettingRule {
    LPCTSTR lpszValueName;
    LPCTSTR lpszKeyPath;
    DWORD dwType;  // REG_DWORD, or REG_SZ holding one choice's identifier
    int nLower;    // the range the form accepts (choices: none)
    int nUpper;
    int nFactoryValue;              // what restoring the factory values puts into the form
    int nReadDefault;               // what the viewer reads when nothing is stored
    const SettingChoice* pChoices;  // NULL: any whole number from nLower to nUpper
    int nChoices;
    LPCTSTR lpszLabel;    // German, as `show` lists it
    LPCTSTR lpszRefusal;  // German, when a typed choice is refused; NULL: a number's range
    UINT nEditId;         // counts: the main dialog's edit and its up-down
    UINT nSpinId;
};
// The counts' rows keep the name the dialog knows them by.
typedef SettingRule CountRule;

// Every setting, in the order the dialog and `show` list them.
const SettingRule* GetSettingRules(int& nCount);
// By value name in any letter case; NULL when there is none.
const SettingRule* FindSettingRule(const std::string& name);
// The row of a count kind 0 to 4; NULL for any other.
const CountRule* GetCountRule(int kind);

// Why a stored value is refused, in the words of its stored form (a .reg file's: the
// identifiers, dword: values), or "" when it may be stored: the type and the range or
// choices of its setting.
std::string CheckSettingValue(const SettingRule& rule,
                              const marrowick::platform::RegFileValue& value);
// The value to store for what an administrator typed (a whole number, or a choice by
// number, word, label in any letter case and Unicode form, or identifier); false with
// the refusal otherwise.
bool ParseSettingText(const SettingRule& rule, const std::string& text,
                      marrowick::platform::RegFileValue& value, std::string& refusal);
// What the viewer reads for a setting now: the number (a choice's number for identifiers;
// the rule's read default when the value is missing or unreadable), and whether a readable
// value is stored, and why the rules refuse what is stored ("" when they do not, or nothing
// is). Every reader of a setting reads it here; given a transaction, as that transaction
// sees it.
struct SettingReading {
    int nNumber = 0;
    bool bStored = false;
    std::string strRefusal;
};
SettingReading ReadSetting(const SettingRule& rule, HANDLE hTransaction = NULL);
// The value storing a number (for identifiers: the choice of that number).
marrowick::platform::RegFileValue SettingValue(const SettingRule& rule, int nNumber);
// The word or label of a chosen number, "" when it has none; and the values allowed, as
// the help lists them.
std::string DescribeSettingNumber(const SettingRule& rule, int nNumber);
std::string DescribeAllowed(const SettingRule& rule);

// Where a key path lies relative to the viewer's key.
enum class ViewerPlace { kOutside, kViewer, kObjectNum, kMimeMap, kOtherBelow };
ViewerPlace PlaceOfKey(std::string_view keyPath);
// The rules for a value stored at a key: those of its setting, and that a MIME mapping has
// an extension and is text. "" when it may be stored.
std::string CheckViewerValue(std::string_view keyPath,
                             const marrowick::platform::RegFileValue& value);
// A string resource's text, from the program's string table.
std::string LoadResourceText(UINT id);

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
