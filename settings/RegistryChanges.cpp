#include "stdafx.h"

#include "RegistryChanges.h"

#include <algorithm>
#include <unordered_map>

#ifdef _WIN32
#include <ktmw32.h>
#endif

#include "SettingRules.h"
#include "dialog_template.h"
#include "key_path.h"
#include "resource.h"

using marrowick::platform::FoldName;
using marrowick::platform::RegFileEntry;
using marrowick::platform::RegFileKey;
using marrowick::platform::RegFileValue;

namespace {

const REGSAM kReadAccess = KEY_READ;
const REGSAM kWriteAccess = KEY_READ | KEY_WRITE;
// Longest key name in bytes with its NUL (255 characters of up to four UTF-8 bytes), and
// the longest value name.
const DWORD kMaxKeyNameBytes = 4 * 255 + 1;
const DWORD kMaxValueNameBytes = 4 * 16383 + 1;

std::string Parent(const std::string& path) {
    const std::size_t end = path.rfind('\\');
    return end == std::string::npos ? std::string() : path.substr(0, end);
}

// Reads the values of an open key, in the registry's order.
LONG ReadValues(HKEY hKey, std::vector<RegFileValue>& values) {
    std::vector<char> name(256);
    std::vector<BYTE> data(256);
    for (DWORD index = 0;;) {
        DWORD cchName = static_cast<DWORD>(name.size());
        DWORD cbData = static_cast<DWORD>(data.size());
        DWORD type = 0;
        const LONG status =
            RegEnumValueA(hKey, index, name.data(), &cchName, NULL, &type, data.data(), &cbData);
        if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;
        if (status == ERROR_MORE_DATA) {
            // The data size is told; the name's is not, so it grows up to the longest.
            if (cbData > data.size()) {
                data.resize(cbData);
            } else if (name.size() < kMaxValueNameBytes) {
                name.resize(std::min<std::size_t>(name.size() * 2, kMaxValueNameBytes));
            } else {
                return status;
            }
            continue;
        }
        if (status != ERROR_SUCCESS) return status;
        values.push_back({std::string(name.data(), cchName), type,
                          std::string(reinterpret_cast<const char*>(data.data()), cbData)});
        ++index;
    }
}

// Appends the key (open as hKey, at `path`) and everything below it.
LONG ReadTree(HKEY hKey, const std::string& path, std::vector<RegFileKey>& keys) {
    keys.push_back({path, {}});
    if (const LONG status = ReadValues(hKey, keys.back().values); status != ERROR_SUCCESS) {
        return status;
    }
    std::vector<std::string> subKeys;
    char name[kMaxKeyNameBytes];
    for (DWORD index = 0;; ++index) {
        DWORD cchName = sizeof name;
        const LONG status = RegEnumKeyExA(hKey, index, name, &cchName, NULL, NULL, NULL, NULL);
        if (status == ERROR_NO_MORE_ITEMS) break;
        if (status != ERROR_SUCCESS) return status;
        subKeys.emplace_back(name, cchName);
    }
    for (const std::string& subKey : subKeys) {
        HKEY hSubKey = NULL;
        LONG status = RegOpenKeyExA(hKey, subKey.c_str(), 0, kReadAccess, &hSubKey);
        if (status != ERROR_SUCCESS) return status;
        status = ReadTree(hSubKey, path + "\\" + subKey, keys);
        RegCloseKey(hSubKey);
        if (status != ERROR_SUCCESS) return status;
    }
    return ERROR_SUCCESS;
}

// The viewer's key path spelled as stored, found one level at a time.
LONG StoredViewerPath(std::string& path, bool& exists) {
    exists = false;
    path.clear();
    HKEY hKey = HKEY_LOCAL_MACHINE;
    std::string rest = kViewerKeyPath;
    LONG status = ERROR_SUCCESS;
    while (!rest.empty() && status == ERROR_SUCCESS) {
        const std::size_t end = rest.find('\\');
        const std::string wanted = FoldName(rest.substr(0, end));
        rest = end == std::string::npos ? std::string() : rest.substr(end + 1);
        std::string found;
        char name[kMaxKeyNameBytes];
        for (DWORD index = 0; found.empty(); ++index) {
            DWORD cchName = sizeof name;
            status = RegEnumKeyExA(hKey, index, name, &cchName, NULL, NULL, NULL, NULL);
            if (status != ERROR_SUCCESS) break;
            if (FoldName(std::string_view(name, cchName)) == wanted) found.assign(name, cchName);
        }
        HKEY hNext = NULL;
        if (!found.empty()) status = RegOpenKeyExA(hKey, found.c_str(), 0, kReadAccess, &hNext);
        if (hKey != HKEY_LOCAL_MACHINE) RegCloseKey(hKey);
        if (status == ERROR_NO_MORE_ITEMS) return ERROR_SUCCESS;  // not there
        if (status != ERROR_SUCCESS) return status;
        hKey = hNext;
        path += (path.empty() ? "" : "\\") + found;
    }
    if (hKey != HKEY_LOCAL_MACHINE) RegCloseKey(hKey);
    exists = true;
    return ERROR_SUCCESS;
}

// ---- Checking an import ----------------------------------------------------------------

// Where a path lies relative to the viewer's key.
enum class Place { kOutside, kViewer, kObjectNum, kMimeMap, kOtherBelow };

Place PlaceOf(const std::string& path) {
    static const std::string viewer = FoldName(kViewerKeyPath);
    static const std::string objectNum = FoldName(kObjectNumKeyPath);
    static const std::string mimeMap = FoldName(kMimeMapKeyPath);
    // Read as the registry functions read it, so that "Pallisander\\" is the viewer's key.
    const std::optional<std::string> normal = marrowick::platform::NormalKeyPath(path);
    if (!normal) return Place::kOutside;
    const std::string folded = FoldName(*normal);
    if (folded == viewer) return Place::kViewer;
    if (folded == objectNum) return Place::kObjectNum;
    if (folded == mimeMap) return Place::kMimeMap;
    if (folded.size() > viewer.size() && folded.starts_with(viewer) &&
        folded[viewer.size()] == '\\') {
        return Place::kOtherBelow;
    }
    return Place::kOutside;
}

bool IsDword(const RegFileValue& value, DWORD& number) {
    if (value.type != REG_DWORD || value.data.size() != 4) return false;
    number = 0;
    for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<BYTE>(value.data[i]);
    return true;
}

std::string LoadText(UINT id) {
    CString text;
    text.LoadString(id);
    return std::string(text);
}

// A value the main dialog edits, checked as the dialog checks it; "" when it passes.
std::string CheckKnownValue(Place place, const RegFileValue& value) {
    const std::string name = FoldName(value.name);
    DWORD number = 0;
    if (place == Place::kViewer) {
        if (name == FoldName(kTopDayValueName)) {
            if (!IsDword(value, number)) return "TopDay: erwartet wird ein DWORD-Wert (dword:).";
            if (number != DWORD(kTopDaySunday) && number != DWORD(kTopDayMonday)) {
                return "TopDay: Erlaubt sind 1 (Sonntag) und 2 (Montag).";
            }
        } else if (name == FoldName(kSortDirValueName)) {
            if (!IsDword(value, number)) return "SortDir: erwartet wird ein DWORD-Wert (dword:).";
            if (number != DWORD(kSortDirAscending) && number != DWORD(kSortDirDescending)) {
                return "SortDir: Erlaubt sind 0 (aufsteigend) und 1 (absteigend).";
            }
        } else if (name == FoldName(kSortKeyValueName)) {
            const bool text = value.type == REG_SZ && !value.data.empty() &&
                              value.data.find('\0') == value.data.size() - 1;
            if (!text || FindSortKeyId(value.data.c_str()) < 0) {
                return "SortKey: erwartet wird eine der acht Kennungen der Sortierschlüssel, "
                       "genau so geschrieben.";
            }
        }
    } else if (place == Place::kObjectNum) {
        for (int kind = 0; kind < ObjectNumKindCount; ++kind) {
            const CountRule& rule = *GetCountRule(kind);
            if (name != FoldName(rule.lpszValueName)) continue;
            const std::string label = std::string(rule.lpszValueName) + ": ";
            if (!IsDword(value, number)) return label + LoadText(AFX_IDP_PARSE_INT);
            if (static_cast<int>(number) < rule.nLower || static_cast<int>(number) > rule.nUpper) {
                std::string message = LoadText(AFX_IDP_PARSE_INT_RANGE);
                for (const auto& [mark, bound] :
                     {std::pair{"%1", rule.nLower}, std::pair{"%2", rule.nUpper}}) {
                    const std::size_t at = message.find(mark);
                    if (at != std::string::npos) message.replace(at, 2, std::to_string(bound));
                }
                return label + message;
            }
        }
    } else if (place == Place::kMimeMap) {
        if (value.name.empty()) return LoadText(IDS_NO_EXTENSION);
        if (value.type != REG_SZ) {
            return value.name + ": MIME-Typen werden als Text (REG_SZ) gespeichert.";
        }
    }
    return {};
}

// ---- Comparing -------------------------------------------------------------------------

// A key tree in memory, changed as a file says, to learn what the file changes.
class Model {
public:
    struct Key {
        std::string path;
        bool present = true;
        std::vector<std::optional<RegFileValue>> values;  // nullopt: deleted
        std::unordered_map<std::string, std::size_t> index;

        const RegFileValue* Find(const std::string& name) const {
            const auto found = index.find(FoldName(name));
            return found == index.end() || !values[found->second] ? nullptr
                                                                  : &*values[found->second];
        }
    };

    explicit Model(const std::vector<RegFileKey>& keys) {
        for (const RegFileKey& key : keys) {
            Key& added = Open(key.path);
            for (const RegFileValue& value : key.values) Set(added, value);
        }
    }

    const std::vector<Key>& Keys() const { return keys_; }
    const Key* Find(const std::string& path) const {
        const auto found = index_.find(FoldName(path));
        return found == index_.end() || !keys_[found->second].present ? nullptr
                                                                      : &keys_[found->second];
    }

    // The key, made present with its parents up to the viewer's key.
    Key& Open(const std::string& path) {
        if (PlaceOf(path) != Place::kViewer && PlaceOf(path) != Place::kOutside) {
            Open(Parent(path));
        }
        const auto [slot, added] = index_.try_emplace(FoldName(path), keys_.size());
        if (added) keys_.push_back({path, true, {}, {}});
        Key& key = keys_[slot->second];
        key.present = true;
        return key;
    }
    void DeleteTree(const std::string& path) {
        const std::string folded = FoldName(path);
        for (auto& [name, position] : index_) {
            if (name == folded || (name.starts_with(folded) && name[folded.size()] == '\\')) {
                Key& key = keys_[position];
                key.present = false;
                key.values.clear();
                key.index.clear();
            }
        }
    }
    static void Set(Key& key, const RegFileValue& value) {
        const auto [slot, added] = key.index.try_emplace(FoldName(value.name), key.values.size());
        if (added) {
            key.values.push_back(value);
        } else if (key.values[slot->second]) {
            key.values[slot->second]->type = value.type;
            key.values[slot->second]->data = value.data;
        } else {
            key.values[slot->second] = value;
        }
    }
    static void Delete(Key& key, const std::string& name) {
        const auto found = key.index.find(FoldName(name));
        if (found != key.index.end()) key.values[found->second].reset();
    }

private:
    std::vector<Key> keys_;
    std::unordered_map<std::string, std::size_t> index_;
};

// Applies the changes through transacted handles, reusing the last key opened.
class TransactedWriter {
public:
    explicit TransactedWriter(HANDLE transaction) : transaction_(transaction) {}
    ~TransactedWriter() { CloseOpenKey(); }

    LONG Apply(const Change& change) {
        switch (change.kind) {
            case Change::kCreateKey:
                return OpenKey(change.keyPath, true);
            case Change::kDeleteKey: {
                CloseOpenKey();
                HKEY hParent = NULL;
                const std::string parent = Parent(change.keyPath);
                LONG status = RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, parent.c_str(), 0,
                                                    kWriteAccess, &hParent, transaction_, NULL);
                if (status != ERROR_SUCCESS) return status;
                status = RegDeleteTreeA(hParent, change.keyPath.substr(parent.size() + 1).c_str());
                RegCloseKey(hParent);
                return status;
            }
            case Change::kSetValue: {
                if (const LONG status = OpenKey(change.keyPath, true); status != ERROR_SUCCESS) {
                    return status;
                }
                const RegFileValue& value = change.newValue;
                return RegSetValueExA(openKey_, change.name.c_str(), 0, value.type,
                                      reinterpret_cast<const BYTE*>(value.data.data()),
                                      static_cast<DWORD>(value.data.size()));
            }
            case Change::kDeleteValue: {
                if (const LONG status = OpenKey(change.keyPath, false); status != ERROR_SUCCESS) {
                    return status;
                }
                const LONG status = RegDeleteValueA(openKey_, change.name.c_str());
                return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status;
            }
        }
        return ERROR_INVALID_PARAMETER;
    }

private:
    LONG OpenKey(const std::string& path, bool create) {
        if (openKey_ != NULL && openPath_ == path) return ERROR_SUCCESS;
        CloseOpenKey();
        const LONG status =
            create ? RegCreateKeyTransactedA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL,
                                             REG_OPTION_NON_VOLATILE, kWriteAccess, NULL, &openKey_,
                                             NULL, transaction_, NULL)
                   : RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, path.c_str(), 0, kWriteAccess,
                                           &openKey_, transaction_, NULL);
        if (status != ERROR_SUCCESS) {
            openKey_ = NULL;
            return status;
        }
        openPath_ = path;
        return ERROR_SUCCESS;
    }
    void CloseOpenKey() {
        if (openKey_ != NULL) RegCloseKey(openKey_);
        openKey_ = NULL;
    }

    HANDLE transaction_;
    HKEY openKey_ = NULL;
    std::string openPath_;
};

}  // namespace

LONG ReadViewerTree(std::vector<RegFileKey>& keys) {
    keys.clear();
    std::string path;
    bool exists = false;
    if (const LONG status = StoredViewerPath(path, exists); status != ERROR_SUCCESS || !exists) {
        return status;
    }
    HKEY hKey = NULL;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, kReadAccess, &hKey);
    if (status != ERROR_SUCCESS) return status;
    status = ReadTree(hKey, path, keys);
    RegCloseKey(hKey);
    if (status != ERROR_SUCCESS) keys.clear();
    return status;
}

LONG ApplyChanges(const std::vector<Change>& changes) {
    HANDLE transaction = CreateTransaction(NULL, NULL, 0, 0, 0, 0, NULL);
    if (transaction == INVALID_HANDLE_VALUE) return static_cast<LONG>(GetLastError());
    LONG status = ERROR_SUCCESS;
    {
        TransactedWriter writer(transaction);
        for (const Change& change : changes) {
            status = writer.Apply(change);
            if (status != ERROR_SUCCESS) break;
        }
    }
    if (status == ERROR_SUCCESS && !CommitTransaction(transaction)) {
        status = static_cast<LONG>(GetLastError());
    }
    if (status != ERROR_SUCCESS) RollbackTransaction(transaction);
    CloseHandle(transaction);
    return status;
}

bool CheckImport(const std::vector<RegFileEntry>& entries, std::string& problem,
                 std::size_t& line) {
    // The keys first: a file that reaches outside is refused whatever else it holds.
    for (const RegFileEntry& entry : entries) {
        if (entry.kind != RegFileEntry::kKey && entry.kind != RegFileEntry::kDeleteKey) continue;
        if (PlaceOf(entry.keyPath) == Place::kOutside) {
            problem = "Der Schlüssel HKEY_LOCAL_MACHINE" +
                      (entry.keyPath.empty() ? std::string() : "\\" + entry.keyPath) +
                      " gehört nicht zu den Einstellungen des Betrachters (erlaubt ist nur "
                      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander und was "
                      "darunter liegt).";
            line = entry.line;
            return false;
        }
    }
    for (const RegFileEntry& entry : entries) {
        if (entry.kind != RegFileEntry::kValue) continue;
        problem = CheckKnownValue(PlaceOf(entry.keyPath), entry.value);
        if (!problem.empty()) {
            line = entry.line;
            return false;
        }
    }
    return true;
}

std::vector<Change> ChangesOfImport(const std::vector<RegFileKey>& current,
                                    const std::vector<RegFileEntry>& entries) {
    const Model before(current);
    Model after(current);
    Model::Key* key = nullptr;
    for (const RegFileEntry& entry : entries) {
        switch (entry.kind) {
            case RegFileEntry::kKey:
                key = &after.Open(entry.keyPath);
                break;
            case RegFileEntry::kDeleteKey:
                after.DeleteTree(entry.keyPath);
                key = nullptr;
                break;
            case RegFileEntry::kValue:
                Model::Set(*key, entry.value);
                break;
            case RegFileEntry::kDeleteValue:
                Model::Delete(*key, entry.value.name);
                break;
        }
    }

    std::vector<Change> changes;
    for (const Model::Key& old : before.Keys()) {
        if (after.Find(old.path) || !before.Find(old.path)) continue;
        const std::string parent = Parent(old.path);
        if (PlaceOf(old.path) != Place::kViewer && before.Find(parent) && !after.Find(parent)) {
            continue;  // goes with its parent
        }
        changes.push_back({Change::kDeleteKey, old.path, {}, {}, {}});
    }
    for (const Model::Key& now : after.Keys()) {
        if (!now.present) continue;
        const Model::Key* old = before.Find(now.path);
        if (!old) changes.push_back({Change::kCreateKey, now.path, {}, {}, {}});
        for (const std::optional<RegFileValue>& value : now.values) {
            if (!value) continue;
            const RegFileValue* stored = old ? old->Find(value->name) : nullptr;
            if (stored && stored->type == value->type && stored->data == value->data) continue;
            Change change{Change::kSetValue,
                          old ? old->path : now.path,
                          stored ? stored->name : value->name,
                          {},
                          *value};
            if (stored) change.oldValue = *stored;
            changes.push_back(std::move(change));
        }
        if (!old) continue;
        for (const std::optional<RegFileValue>& value : old->values) {
            if (value && !now.Find(value->name)) {
                changes.push_back({Change::kDeleteValue, old->path, value->name, *value, {}});
            }
        }
    }
    return changes;
}
