#include "stdafx.h"

#include <climits>

#include "SettingRules.h"

#include <optional>
#include <string>
#include <utility>

#include "LabelText.h"
#include "RegManager.h"
#include "ValueBytes.h"
#include "dialog_template.h"
#include "key_path.h"
#include "resource.h"

using marrowick::platform::FoldName;
using marrowick::platform::RegFileValue;

const LPCTSTR kViewerKeyPath = _T("Software\\TAVIK\\Brisvandale\\Pallisander");
const LPCTSTR kObjectNumKeyPath = _T("Software\\TAVIK\\Brisvandale\\Pallisander\\ObjectNum");
// Spelled differently from the viewer's other keys; key names ignore case, so it is the
// same key's sub-key.
const LPCTSTR kMimeMapKeyPath = _T("SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\MimeMap");

const LPCTSTR kTopDayValueName = _T("TopDay");
const LPCTSTR kSortKeyValueName = _T("SortKey");
const LPCTSTR kSortDirValueName = _T("SortDir");

namespace {

const SettingChoice kTopDayChoices[] = {
    {kTopDaySunday, _T("sonntag"), 0, NULL},
    {kTopDayMonday, _T("montag"), 0, NULL},
};
const SettingChoice kSortDirChoices[] = {
    {kSortDirAscending, _T("aufsteigend"), 0, NULL},
    {kSortDirDescending, _T("absteigend"), 0, NULL},
};
// Indexed by SortKeyIndex; the viewer compares identifiers exactly, letter case included.
const SettingChoice kSortKeyChoices[SortKeyCount] = {
    {SortKeyDocName, NULL, IDS_SORTKEY_NAME, _T("045c375f_7aad_11d1_85e5_00a024e8a452")},
    {SortKeyDocNumber, NULL, IDS_SORTKEY_NUMBER, _T("9551204B_3B1C_11d3_8C9F_00e0292f001f")},
    {SortKeyAdded, NULL, IDS_SORTKEY_ADDED, _T("9340d27d_ed79_11d2_8c3b_00e0292f001f")},
    {SortKeyChanged, NULL, IDS_SORTKEY_CHANGED, _T("9340d382_ed79_11d2_8c3b_00e0292f001f")},
    {SortKeyExpires, NULL, IDS_SORTKEY_EXPIRY, _T("9340d37e_ed79_11d2_8c3b_00e0292f001f")},
    {SortKeySize, NULL, IDS_SORTKEY_SIZE, _T("3E149908_B1F6_11d3_88E3_000629B0191D")},
    {SortKeySectionCount, NULL, IDS_SORTKEY_SECTIONS, _T("9340d37f_ed79_11d2_8c3b_00e0292f001f")},
    {SortKeyWorkState, NULL, IDS_SORTKEY_STATUS, _T("9340d399_ed79_11d2_8c3b_00e0292f001f")},
};

// The first three are the viewer key's; the counts follow in ObjectNumKind order.
const int kFirstCount = 3;
const SettingRule kRules[] = {
    {kTopDayValueName, kViewerKeyPath, REG_DWORD, 0, 0, kFactoryTopDay, 0, kTopDayChoices, 2,
     _T("Erster Tag der Woche"), _T("Erlaubt sind 1 oder sonntag, 2 oder montag."), 0, 0},
    {kSortKeyValueName, kViewerKeyPath, REG_SZ, 0, 0, kFactorySortKey, SortKeyDocName,
     kSortKeyChoices, SortKeyCount, _T("Dokument-Sortierschlüssel"),
     _T("Unbekannter Sortierschlüssel. Erlaubt sind 0 bis 7, die Bezeichnungen"), 0, 0},
    {kSortDirValueName, kViewerKeyPath, REG_DWORD, 0, 0, kFactorySortDir, 0, kSortDirChoices, 2,
     _T("Dokument-Sortierreihenfolge"), _T("Erlaubt sind 0 oder aufsteigend, 1 oder absteigend."),
     0, 0},
    {_T("EntrySection"), kObjectNumKeyPath, REG_DWORD, 5, 99, 10, 10, NULL, 0,
     _T("Maximale Anzahl von Abschnitten beim Hinzufügen"), NULL, IDC_EDIT_ENTRYSECTION,
     IDC_SPIN_ENTRYSECTION},
    {_T("DocList"), kObjectNumKeyPath, REG_DWORD, 10, 100, 20, 20, NULL, 0,
     _T("Anzahl von Dokumenten für Detailansicht"), NULL, IDC_EDIT_DOCLIST, IDC_SPIN_DOCLIST},
    {_T("DocThum"), kObjectNumKeyPath, REG_DWORD, 10, 100, 10, 10, NULL, 0,
     _T("Anzahl von Dokumenten für Piktogramm-Ansicht"), NULL, IDC_EDIT_DOCTHUM, IDC_SPIN_DOCTHUM},
    {_T("SecList"), kObjectNumKeyPath, REG_DWORD, 10, 100, 20, 20, NULL, 0,
     _T("Anzahl von Abschnitten für Detailansicht"), NULL, IDC_EDIT_SECLIST, IDC_SPIN_SECLIST},
    {_T("SecThum"), kObjectNumKeyPath, REG_DWORD, 10, 100, 10, 10, NULL, 0,
     _T("Anzahl von Abschnitten für Piktogramm-Ansicht"), NULL, IDC_EDIT_SECTHUM, IDC_SPIN_SECTHUM},
};
const int kRuleCount = static_cast<int>(sizeof kRules / sizeof kRules[0]);
static_assert(kRuleCount == kFirstCount + ObjectNumKindCount);

bool SameIgnoringCase(const std::string& a, LPCTSTR b) {
    return b != NULL && _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                                 reinterpret_cast<const unsigned char*>(b)) == 0;
}

// A whole number as the dialog's edits accept one: optional sign, decimal digits. One too
// long for any range is still a number, out of range: the largest of its sign.
std::optional<long long> ParseWholeNumber(const std::string& text) {
    const std::size_t start = text.starts_with('-') || text.starts_with('+') ? 1 : 0;
    if (start == text.size()) return std::nullopt;
    for (std::size_t i = start; i < text.size(); ++i) {
        if (text[i] < '0' || text[i] > '9') return std::nullopt;
    }
    if (text.size() > 12) return text[0] == '-' ? LLONG_MIN : LLONG_MAX;
    return std::stoll(text);
}

// The stored text of a REG_SZ without its terminating NUL; nullopt for anything else.
std::optional<std::string> StoredText(const RegFileValue& value) {
    if (value.type != REG_SZ || value.data.empty() ||
        value.data.find('\0') != value.data.size() - 1) {
        return std::nullopt;
    }
    return value.data.substr(0, value.data.size() - 1);
}

const SettingChoice* FindChoice(const SettingRule& rule, int nNumber) {
    for (int i = 0; i < rule.nChoices; ++i) {
        if (rule.pChoices[i].nNumber == nNumber) return &rule.pChoices[i];
    }
    return NULL;
}

std::string RangeRefusal(const SettingRule& rule) {
    std::string message = LoadResourceText(AFX_IDP_PARSE_INT_RANGE);
    for (const auto& [mark, bound] : {std::pair{"%1", rule.nLower}, std::pair{"%2", rule.nUpper}}) {
        const std::size_t at = message.find(mark);
        if (at != std::string::npos) message.replace(at, 2, std::to_string(bound));
    }
    return message;
}

// The number the viewer reads for a stored value (a choice's number for identifiers), or
// the rule's read default when the value is missing or unreadable.
int ReadSettingNumber(const SettingRule& rule, const std::optional<RegFileValue>& value) {
    if (!value) return rule.nReadDefault;
    if (rule.dwType == REG_SZ) {
        // Identifiers compare exactly; the first stored text up to its NUL counts.
        const std::string text = value->data.substr(0, value->data.find('\0'));
        for (int i = 0; i < rule.nChoices; ++i) {
            if (text == rule.pChoices[i].lpszStored) return rule.pChoices[i].nNumber;
        }
        return rule.nReadDefault;
    }
    // Like GetRegDWORD: any type with exactly 4 bytes.
    DWORD number = 0;
    return ReadDword({value->name, REG_DWORD, value->data}, number) ? static_cast<int>(number)
                                                                    : rule.nReadDefault;
}

// A REG_DWORD as a .reg file writes it.
std::string DwordForm(int number) {
    CString text;
    text.Format("dword:%08x", static_cast<unsigned>(number));
    return text.GetString();
}

// Why a stored value is refused, in the words of its stored form, a .reg file's: the
// identifiers or the dword: values allowed, and an example.
std::string StoredRefusal(const SettingRule& rule) {
    const std::string example = std::string("z. B. \"") + rule.lpszValueName + "\"=";
    std::string text = "Erwartet wird ";
    if (rule.dwType == REG_SZ) {
        text += "eine dieser Kennungen als Text, genau so geschrieben: ";
        for (int i = 0; i < rule.nChoices; ++i) {
            text += (i == 0 ? "" : ", ") + std::string(rule.pChoices[i].lpszStored) + " (" +
                    DescribeSettingNumber(rule, rule.pChoices[i].nNumber) + ")";
        }
        return text + "; " + example + "\"" + rule.pChoices[0].lpszStored + "\".";
    }
    if (rule.pChoices) {
        for (int i = 0; i < rule.nChoices; ++i) {
            text += (i == 0                   ? ""
                     : i + 1 == rule.nChoices ? " oder "
                                              : ", ") +
                    DwordForm(rule.pChoices[i].nNumber) + " (" +
                    DescribeSettingNumber(rule, rule.pChoices[i].nNumber) + ")";
        }
    } else {
        text += "ein dword:-Wert von " + DwordForm(rule.nLower) + " (" +
                std::to_string(rule.nLower) + ") bis " + DwordForm(rule.nUpper) + " (" +
                std::to_string(rule.nUpper) + ")";
    }
    return text + ", " + example + DwordForm(rule.nFactoryValue) + ".";
}

// Why a typed choice is refused: the rule's words, and for labels every label with how
// to quote one that has blanks for the shell.
std::string TypedChoiceRefusal(const SettingRule& rule) {
    std::string text = rule.lpszRefusal;
    if (rule.dwType != REG_SZ) return text;
    std::string quoted;
    for (int i = 0; i < rule.nChoices; ++i) {
        const std::string label = DescribeSettingNumber(rule, rule.pChoices[i].nNumber);
        text += (i == 0 ? " " : i + 1 == rule.nChoices ? " und " : ", ") + label;
        if (quoted.empty() && label.find(' ') != std::string::npos) {
            quoted = std::string("'") + rule.lpszValueName + "=" + label + "'";
        }
    }
    text += " in beliebiger Schreibweise, oder ihre Kennungen, genau so geschrieben.";
    if (!quoted.empty()) {
        text +=
            " Eine Bezeichnung mit Leerzeichen steht in Anführungszeichen, z. B. " + quoted + ".";
    }
    return text;
}

}  // namespace

std::string LoadResourceText(UINT id) {
    // From the program's table itself: a refusal must not depend on whether the caller
    // has set up the framework's string lookup.
    const char* text = res::FindString(id);
    return text ? text : "";
}

const SettingRule* GetSettingRules(int& nCount) {
    nCount = kRuleCount;
    return kRules;
}

const SettingRule* FindSettingRule(const std::string& name) {
    for (const SettingRule& rule : kRules) {
        if (SameIgnoringCase(name, rule.lpszValueName)) return &rule;
    }
    return NULL;
}

const CountRule* GetCountRule(int kind) {
    return kind >= 0 && kind < ObjectNumKindCount ? &kRules[kFirstCount + kind] : NULL;
}

std::string CheckSettingValue(const SettingRule& rule, const RegFileValue& value) {
    if (rule.dwType == REG_SZ) {
        const std::optional<std::string> text = StoredText(value);
        for (int i = 0; text && i < rule.nChoices; ++i) {
            if (*text == rule.pChoices[i].lpszStored) return {};
        }
        return StoredRefusal(rule);
    }
    DWORD number = 0;
    if (!ReadDword(value, number)) return StoredRefusal(rule);
    if (rule.pChoices) {
        return FindChoice(rule, static_cast<int>(number)) ? std::string() : StoredRefusal(rule);
    }
    const auto signedNumber = static_cast<int>(number);
    return signedNumber < rule.nLower || signedNumber > rule.nUpper ? StoredRefusal(rule)
                                                                    : std::string();
}

bool ParseSettingText(const SettingRule& rule, const std::string& text, RegFileValue& value,
                      std::string& refusal) {
    for (int i = 0; i < rule.nChoices; ++i) {
        const SettingChoice& choice = rule.pChoices[i];
        if (text == std::to_string(choice.nNumber) || SameIgnoringCase(text, choice.lpszWord) ||
            (choice.nLabelId && IsSameLabel(text, LoadResourceText(choice.nLabelId))) ||
            SameIgnoringCase(text, choice.lpszStored)) {
            value = SettingValue(rule, choice.nNumber);
            return true;
        }
    }
    if (rule.pChoices) {
        refusal = TypedChoiceRefusal(rule);
        return false;
    }
    const std::optional<long long> number = ParseWholeNumber(text);
    if (!number) {
        refusal = LoadResourceText(AFX_IDP_PARSE_INT);
        return false;
    }
    if (*number < rule.nLower || *number > rule.nUpper) {
        refusal = RangeRefusal(rule);
        return false;
    }
    value = SettingValue(rule, static_cast<int>(*number));
    return true;
}

SettingReading ReadSetting(const SettingRule& rule, HANDLE hTransaction) {
    RegFileValue value{rule.lpszValueName, 0, {}};
    std::optional<RegFileValue> stored;
    if (CRegManager::GetRegValue(HKEY_LOCAL_MACHINE, rule.lpszKeyPath, rule.lpszValueName,
                                 value.type, value.data, hTransaction)) {
        stored = std::move(value);
    }
    SettingReading reading;
    reading.nNumber = ReadSettingNumber(rule, stored);
    reading.bStored = stored && (rule.dwType == REG_SZ || stored->data.size() == 4);
    if (stored) reading.strRefusal = CheckSettingValue(rule, *stored);
    return reading;
}

RegFileValue SettingValue(const SettingRule& rule, int nNumber) {
    if (rule.dwType == REG_SZ) {
        const SettingChoice* choice = FindChoice(rule, nNumber);
        if (choice == NULL) choice = FindChoice(rule, rule.nFactoryValue);
        return {rule.lpszValueName, REG_SZ, StringBytes(choice->lpszStored)};
    }
    return {rule.lpszValueName, REG_DWORD, DwordBytes(static_cast<DWORD>(nNumber))};
}

std::string DescribeSettingNumber(const SettingRule& rule, int nNumber) {
    const SettingChoice* choice = FindChoice(rule, nNumber);
    if (choice == NULL) return {};
    if (choice->nLabelId) return LoadResourceText(choice->nLabelId);
    return choice->lpszWord ? choice->lpszWord : "";
}

std::string DescribeAllowed(const SettingRule& rule) {
    if (!rule.pChoices) {
        return "ganze Zahl von " + std::to_string(rule.nLower) + " bis " +
               std::to_string(rule.nUpper);
    }
    std::string text;
    for (int i = 0; i < rule.nChoices; ++i) {
        const SettingChoice& choice = rule.pChoices[i];
        text += (i == 0 ? "" : ", ") + std::to_string(choice.nNumber) + " " +
                (choice.lpszWord ? std::string("oder ") + choice.lpszWord
                                 : DescribeSettingNumber(rule, choice.nNumber));
    }
    if (rule.dwType == REG_SZ) text += "; oder die Bezeichnung oder ihre Kennung";
    return text;
}

namespace {

ViewerPlace FindPlaceOfKey(std::string_view keyPath) {
    static const std::string viewer = FoldName(kViewerKeyPath);
    static const std::string objectNum = FoldName(kObjectNumKeyPath);
    static const std::string mimeMap = FoldName(kMimeMapKeyPath);
    // Read as the registry functions read it, so that "Pallisander\\" is the viewer's key.
    const std::optional<std::string> normal = marrowick::platform::NormalKeyPath(keyPath);
    if (!normal) return ViewerPlace::kOutside;
    const std::string folded = FoldName(*normal);
    if (folded == viewer) return ViewerPlace::kViewer;
    if (folded == objectNum) return ViewerPlace::kObjectNum;
    if (folded == mimeMap) return ViewerPlace::kMimeMap;
    if (folded.size() > viewer.size() && folded.starts_with(viewer) &&
        folded[viewer.size()] == '\\') {
        return ViewerPlace::kOtherBelow;
    }
    return ViewerPlace::kOutside;
}

}  // namespace

ViewerPlace PlaceOfKey(std::string_view keyPath) {
    // An import or a change set asks about the same key for value after value.
    thread_local std::optional<std::pair<std::string, ViewerPlace>> last;
    if (!last || last->first != keyPath) {
        last.emplace(std::string(keyPath), FindPlaceOfKey(keyPath));
    }
    return last->second;
}

std::string CheckViewerValue(std::string_view keyPath, const RegFileValue& value) {
    const ViewerPlace place = PlaceOfKey(keyPath);
    if (place == ViewerPlace::kMimeMap) {
        if (value.name.empty()) return LoadResourceText(IDS_NO_EXTENSION);
        if (value.type != REG_SZ) {
            return value.name + ": MIME-Typen werden als Text (REG_SZ) gespeichert.";
        }
        return {};
    }
    if (place != ViewerPlace::kViewer && place != ViewerPlace::kObjectNum) return {};
    const SettingRule* rule = FindSettingRule(value.name);
    if (rule == NULL || PlaceOfKey(rule->lpszKeyPath) != place) return {};
    const std::string refusal = CheckSettingValue(*rule, value);
    return refusal.empty() ? refusal : std::string(rule->lpszValueName) + ": " + refusal;
}

LPCTSTR GetSortKeyId(int nIndex) {
    return nIndex >= 0 && nIndex < SortKeyCount ? kSortKeyChoices[nIndex].lpszStored : NULL;
}

int FindSortKeyId(LPCTSTR lpszId) {
    for (int i = 0; i < SortKeyCount; ++i) {
        if (_mbscmp(reinterpret_cast<const unsigned char*>(lpszId),
                    reinterpret_cast<const unsigned char*>(kSortKeyChoices[i].lpszStored)) == 0) {
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
