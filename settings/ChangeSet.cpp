#include "stdafx.h"

#include "ChangeSet.h"

#include <algorithm>
#include <span>

#include <registry_transaction.h>

#include "ChangeForwarding.h"
#include "ChangeRecording.h"
#include "SettingRules.h"
#include "resource.h"

using marrowick::platform::RegFileValue;

const std::string& SharedKeyPath::Empty() {
    static const std::string empty;
    return empty;
}

Change SetValueChange(SharedKeyPath keyPath, const std::string& name, const RegFileValue& value) {
    Change change;
    change.kind = Change::kSetValue;
    change.keyPath = std::move(keyPath);
    change.name = name;
    change.newValue = value;
    change.newValue.name = name;
    return change;
}

Change SetDwordChange(SharedKeyPath keyPath, const std::string& name, DWORD value) {
    return SetValueChange(std::move(keyPath), name, {name, REG_DWORD, DwordBytes(value)});
}

Change SetStringChange(SharedKeyPath keyPath, const std::string& name, const std::string& text) {
    return SetValueChange(std::move(keyPath), name, {name, REG_SZ, StringBytes(text)});
}

Change DeleteValueChange(SharedKeyPath keyPath, const std::string& name) {
    Change change;
    change.kind = Change::kDeleteValue;
    change.keyPath = std::move(keyPath);
    change.name = name;
    return change;
}

Change KeyChange(Change::Kind kind, SharedKeyPath keyPath) {
    Change change;
    change.kind = kind;
    change.keyPath = std::move(keyPath);
    return change;
}

// ---- Checking ----------------------------------------------------------------------------

namespace {

// Enough for an import of a large MIME map; what the result may grow to is bounded by the
// store, which refuses a hive it could not read back.
const std::size_t kMaxChanges = 1000000;
const std::size_t kMaxDataBytes = 1 << 20;
const std::size_t kMaxNameBytes = 4 * 16383;
const std::size_t kMaxKeyPathBytes = 4 * 255 * 16;

bool HasLineBreak(std::string_view text) {
    return std::any_of(text.begin(), text.end(), [](char c) { return c == '\r' || c == '\n'; });
}

bool HasNulOrLineBreak(std::string_view text) {
    return HasLineBreak(text) || text.find('\0') != std::string_view::npos;
}

bool IsMimeMapValue(const Change& change) {
    return (change.kind == Change::kSetValue || change.kind == Change::kDeleteValue) &&
           PlaceOfKey(change.keyPath.str()) == ViewerPlace::kMimeMap;
}

// The dialogs' message for a change set that could not be stored.
UINT FailureMessageOf(const std::vector<Change>& changes, const Change* failed,
                      ChangeOutcome::Result result) {
    const bool mime =
        failed ? IsMimeMapValue(*failed)
               : !changes.empty() && std::all_of(changes.begin(), changes.end(), IsMimeMapValue);
    if (result == ChangeOutcome::kExpectationFailed && failed && mime) {
        return failed->expected.kind == Expectation::kAbsent ? IDS_DUPLICATE_EXTENSION
                                                             : IDS_MIME_DELETED_MEANWHILE;
    }
    return mime ? IDS_MIME_SAVE_FAILED : IDS_SAVE_FAILED;
}

ChangeOutcome Refused(ChangeOutcome::Result result, std::ptrdiff_t index, std::string message,
                      UINT messageId = 0) {
    ChangeOutcome outcome;
    outcome.result = result;
    outcome.failedChange = index;
    outcome.messageId = messageId;
    outcome.message = messageId && message.empty() ? LoadResourceText(messageId) : message;
    return outcome;
}

// Why one change breaks the rules, or "". keyChecked: its key passed them already.
std::string CheckChange(const Change& change, bool keyChecked, UINT& messageId) {
    if (!keyChecked &&
        (change.keyPath.size() > kMaxKeyPathBytes || HasNulOrLineBreak(change.keyPath.str()) ||
         PlaceOfKey(change.keyPath.str()) == ViewerPlace::kOutside)) {
        return "Der Schlüssel HKEY_LOCAL_MACHINE\\" + change.keyPath.str() +
               " gehört nicht zu den Einstellungen des Betrachters.";
    }
    const bool aboutValue = change.kind == Change::kSetValue || change.kind == Change::kDeleteValue;
    if (!aboutValue) return {};
    if (change.name.size() > kMaxNameBytes || HasNulOrLineBreak(change.name)) {
        return "Namen dürfen weder NUL noch Zeilenumbrüche enthalten und höchstens 16383 "
               "Zeichen lang sein.";
    }
    if (change.kind == Change::kDeleteValue) return {};
    if (change.newValue.data.size() > kMaxDataBytes) {
        return change.name + ": Der Wert ist zu groß.";
    }
    // The builders give the value its name already: a copy only for a change that does not.
    std::optional<RegFileValue> renamed;
    if (change.newValue.name != change.name) {
        renamed = change.newValue;
        renamed->name = change.name;
    }
    const RegFileValue& value = renamed ? *renamed : change.newValue;
    const bool mime = IsMimeMapValue(change);
    if (mime && change.name.empty()) messageId = IDS_NO_EXTENSION;
    const std::string problem = CheckViewerValue(change.keyPath.str(), value);
    if (problem.empty() && mime && HasLineBreak(value.data)) {
        return "Zeilenumbrüche sind in Erweiterungen und MIME-Typen nicht erlaubt.";
    }
    return problem;
}

}  // namespace

ChangeOutcome CheckChangeSet(const std::vector<Change>& changes) {
    if (changes.size() > kMaxChanges) {
        return Refused(ChangeOutcome::kInvalid, -1, "Zu viele Änderungen auf einmal.",
                       FailureMessageOf(changes, NULL, ChangeOutcome::kInvalid));
    }
    for (std::size_t i = 0; i < changes.size(); ++i) {
        UINT messageId = 0;
        // Changes of a large import come key by key: each key is checked once.
        const bool keyChecked = i > 0 && changes[i].keyPath == changes[i - 1].keyPath;
        const std::string problem = CheckChange(changes[i], keyChecked, messageId);
        if (!problem.empty()) {
            // The dialogs show their own message; the detail goes to the command line.
            if (messageId == 0) {
                messageId = FailureMessageOf(changes, &changes[i], ChangeOutcome::kInvalid);
            }
            return Refused(ChangeOutcome::kInvalid, static_cast<std::ptrdiff_t>(i), problem,
                           messageId);
        }
    }
    return {};
}

// ---- Applying ----------------------------------------------------------------------------

namespace {

const REGSAM kWriteAccess = KEY_READ | KEY_WRITE;

marrowick::platform::Expect ExpectOf(const Expectation& expected) {
    using marrowick::platform::Expect;
    static const Expect::Kind kinds[] = {Expect::kAnything, Expect::kAbsent, Expect::kPresent,
                                         Expect::kEqual};
    return {kinds[expected.kind], expected.type, expected.data};
}

std::string Parent(const std::string& path) {
    const std::size_t end = path.rfind('\\');
    return end == std::string::npos ? std::string() : path.substr(0, end);
}

// Reads and writes through handles of one transaction, reusing the last key opened.
class TransactedWriter {
    enum class Open { kRead, kWrite, kCreate };

public:
    explicit TransactedWriter(HANDLE transaction) : transaction_(transaction) {}
    ~TransactedWriter() { CloseOpenKey(); }

    bool KeyExists(const std::string& path) {
        CloseOpenKey();
        HKEY hKey = NULL;
        if (RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &hKey,
                                  transaction_, NULL) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(hKey);
        return true;
    }

    // The key opened for changing its values, kept open for the next call: for writing, or
    // for reading where this process may not write (changes that alter nothing still pass).
    // With create, a missing key is created first, which needs the right to write.
    LONG OpenForValues(const std::string& path, bool create, HKEY& key) {
        LONG status = OpenKey(path, create ? Open::kCreate : Open::kWrite);
        if (status == ERROR_ACCESS_DENIED && !create) status = OpenKey(path, Open::kRead);
        key = status == ERROR_SUCCESS ? openKey_ : NULL;
        return status;
    }

    LONG Expect(const Change& change) {
        const bool aboutValue =
            change.kind == Change::kSetValue || change.kind == Change::kDeleteValue;
        return ExpectInTransaction(HKEY_LOCAL_MACHINE, change.keyPath.str(),
                                   aboutValue ? &change.name : NULL, ExpectOf(change.expected),
                                   transaction_);
    }

    LONG Apply(const Change& change) {
        switch (change.kind) {
            case Change::kCreateKey:
                return OpenKey(change.keyPath, Open::kCreate);
            case Change::kDeleteKey: {
                CloseOpenKey();
                HKEY hParent = NULL;
                const std::string parent = Parent(change.keyPath);
                LONG status = RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, parent.c_str(), 0,
                                                    kWriteAccess, &hParent, transaction_, NULL);
                if (status != ERROR_SUCCESS) return status;
                status =
                    RegDeleteTreeA(hParent, change.keyPath.str().substr(parent.size() + 1).c_str());
                RegCloseKey(hParent);
                return status;
            }
            case Change::kSetValue:
            case Change::kDeleteValue:
                break;  // in runs (ApplyValues)
        }
        return ERROR_INVALID_PARAMETER;
    }

private:
    LONG OpenKey(const std::string& path, Open open) {
        if (openKey_ != NULL && openPath_ == path && (openWritable_ || open == Open::kRead)) {
            return ERROR_SUCCESS;
        }
        CloseOpenKey();
        const REGSAM access = open == Open::kRead ? KEY_READ : kWriteAccess;
        const LONG status = open == Open::kCreate
                                ? RegCreateKeyTransactedA(HKEY_LOCAL_MACHINE, path.c_str(), 0, NULL,
                                                          REG_OPTION_NON_VOLATILE, access, NULL,
                                                          &openKey_, NULL, transaction_, NULL)
                                : RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, path.c_str(), 0, access,
                                                        &openKey_, transaction_, NULL);
        if (status != ERROR_SUCCESS) {
            openKey_ = NULL;
            return status;
        }
        openPath_ = path;
        openWritable_ = open != Open::kRead;
        return ERROR_SUCCESS;
    }
    void CloseOpenKey() {
        if (openKey_ != NULL) RegCloseKey(openKey_);
        openKey_ = NULL;
    }

    HANDLE transaction_;
    HKEY openKey_ = NULL;
    std::string openPath_;
    bool openWritable_ = false;
};

std::string DescribeFailedExpectation(const Change& change) {
    const std::string what = change.kind == Change::kSetValue || change.kind == Change::kDeleteValue
                                 ? "Der Wert " + (change.name.empty() ? "@" : change.name) +
                                       " in HKEY_LOCAL_MACHINE\\" + change.keyPath.str()
                                 : "Der Schlüssel HKEY_LOCAL_MACHINE\\" + change.keyPath.str();
    switch (change.expected.kind) {
        case Expectation::kAbsent:
            return what + " ist bereits vorhanden.";
        case Expectation::kPresent:
            return what + " ist nicht (mehr) vorhanden.";
        default:
            return what + " wurde inzwischen geändert.";
    }
}

enum class Attempt { kDone, kRetry };

bool IsValueChange(const Change& change) {
    return change.kind == Change::kSetValue || change.kind == Change::kDeleteValue;
}

// What one try learned of each change: the value it found (in the change's oldValue) and
// whether it alters anything.
struct Findings {
    std::vector<Change>& changes;
    std::vector<bool>& alters;
};

// A change of a key, through the writer's calls.
LONG ApplyKeyChange(TransactedWriter& writer, std::size_t i, bool dryRun, Findings& findings,
                    ChangeOutcome& outcome) {
    Change& change = findings.changes[i];
    if (change.expected.kind != Expectation::kAnything) {
        const LONG status = writer.Expect(change);
        if (status == ERROR_TRANSACTION_INTEGRITY_VIOLATED) {
            outcome.failedChange = static_cast<std::ptrdiff_t>(i);
        }
        if (status != ERROR_SUCCESS) return status;
    }
    change.oldValue.reset();
    const bool alters = writer.KeyExists(change.keyPath) == (change.kind == Change::kDeleteKey);
    findings.alters[i] = alters;
    if (!alters) return ERROR_SUCCESS;
    LONG status = writer.Apply(change);
    // A dry run only tells what would change: who may not write learns it as well,
    // without handing it to the settings service.
    if (dryRun && status == ERROR_ACCESS_DENIED) status = ERROR_SUCCESS;
    if (status != ERROR_SUCCESS) outcome.failedChange = static_cast<std::ptrdiff_t>(i);
    return status;
}

// Where the run of value changes in the same key that starts at `first` ends.
std::size_t EndOfValueRun(const std::vector<Change>& changes, std::size_t first) {
    std::size_t end = first;
    while (end < changes.size() && IsValueChange(changes[end]) &&
           changes[end].keyPath == changes[first].keyPath) {
        ++end;
    }
    return end;
}

// The value changes [first, end) of one key in as few calls as the store allows, so that it
// learns at once how many values the key may gain. What each change found and whether it
// alters anything come back from the store. Sets `end` to where the next change to look at
// is: a key that does not exist yet is looked at again after the change that creates it.
LONG ApplyValues(TransactedWriter& writer, std::size_t first, std::size_t& end, bool dryRun,
                 Findings& findings, ChangeOutcome& outcome) {
    using marrowick::platform::ValueChange;
    const Change& head = findings.changes[first];
    HKEY key = NULL;
    LONG status = writer.OpenForValues(head.keyPath, false, key);
    if (status == ERROR_FILE_NOT_FOUND) {
        end = first + 1;
        // Deleting from a missing key finds nothing to delete; a set creates the key.
        if (head.kind == Change::kSetValue) status = writer.OpenForValues(head.keyPath, true, key);
        if (status != ERROR_SUCCESS) {
            findings.changes[first].oldValue.reset();
            findings.alters[first] = head.kind == Change::kSetValue;
            if (head.expected.kind != Expectation::kAnything) {
                const LONG expected = writer.Expect(head);
                if (expected != ERROR_SUCCESS) {
                    outcome.failedChange = static_cast<std::ptrdiff_t>(first);
                    return expected;
                }
            }
            // Who may not create the key learns in a dry run what would change.
            if (status == ERROR_FILE_NOT_FOUND || (dryRun && status == ERROR_ACCESS_DENIED)) {
                return ERROR_SUCCESS;
            }
            outcome.failedChange = static_cast<std::ptrdiff_t>(first);
            return status;
        }
    } else if (status != ERROR_SUCCESS) {
        outcome.failedChange = static_cast<std::ptrdiff_t>(first);
        return status;
    }
    std::vector<ValueChange> run(end - first);
    for (std::size_t k = 0; k < run.size(); ++k) {
        const Change& change = findings.changes[first + k];
        run[k] = {change.kind == Change::kSetValue ? ValueChange::kSet : ValueChange::kDelete,
                  change.name, change.newValue.type, change.newValue.data,
                  ExpectOf(change.expected)};
    }
    for (std::size_t next = first; next < end;) {
        marrowick::platform::ValueRun made = marrowick::platform::ChangeValuesInTransaction(
            key, std::span(run).subspan(next - first, end - next));
        for (std::size_t k = 0; k < made.found.size(); ++k) {
            Change& change = findings.changes[next + k];
            if (made.found[k].before) {
                change.oldValue = std::move(*made.found[k].before);
            } else {
                change.oldValue.reset();
            }
            findings.alters[next + k] = made.found[k].alters;
        }
        next += made.done;
        if (made.status == ERROR_SUCCESS) continue;
        // The refused change was found and would be made.
        if (dryRun && made.status == ERROR_ACCESS_DENIED) {
            ++next;
            continue;
        }
        outcome.failedChange = static_cast<std::ptrdiff_t>(next);
        return made.status;
    }
    return ERROR_SUCCESS;
}

// One try: every change in a new transaction, expectations tested as they come and again
// by the commit. A run of value changes in one key goes in few calls; a key change in one.
Attempt TryApply(bool dryRun, Findings& findings, ChangeOutcome& outcome) {
    outcome = {};
    std::vector<Change>& changes = findings.changes;
    findings.alters.assign(changes.size(), false);
    HANDLE transaction = CreateTransaction(NULL, NULL, 0, 0, 0, 0, NULL);
    if (transaction == INVALID_HANDLE_VALUE) {
        outcome.result = ChangeOutcome::kRegistryError;
        outcome.status = static_cast<LONG>(GetLastError());
        return Attempt::kDone;
    }
    LONG status = ERROR_SUCCESS;
    {
        TransactedWriter writer(transaction);
        for (std::size_t i = 0; i < changes.size() && status == ERROR_SUCCESS;) {
            if (IsValueChange(changes[i])) {
                std::size_t end = EndOfValueRun(changes, i);
                status = ApplyValues(writer, i, end, dryRun, findings, outcome);
                i = end;
            } else {
                status = ApplyKeyChange(writer, i, dryRun, findings, outcome);
                ++i;
            }
        }
    }
    const bool changesAnything =
        std::find(findings.alters.begin(), findings.alters.end(), true) != findings.alters.end();
    Attempt attempt = Attempt::kDone;
    if (status == ERROR_SUCCESS && !dryRun && changesAnything && !CommitTransaction(transaction)) {
        status = static_cast<LONG>(GetLastError());
        // An expectation that held a moment ago no longer does: try again to learn which.
        if (status == ERROR_TRANSACTION_INTEGRITY_VIOLATED) attempt = Attempt::kRetry;
    }
    CloseHandle(transaction);  // rolls back whatever was not committed
    if (status == ERROR_TRANSACTION_INTEGRITY_VIOLATED) {
        outcome.result = ChangeOutcome::kExpectationFailed;
    } else if (status != ERROR_SUCCESS) {
        outcome.result = ChangeOutcome::kRegistryError;
        outcome.status = status;
    }
    return attempt;
}

}  // namespace

ChangeOutcome ApplyChangeSet(const std::vector<Change>& changes, bool dryRun) {
    return ApplyChangeSet(std::vector<Change>(changes), dryRun);
}

ChangeOutcome ApplyChangeSet(std::vector<Change>&& changes, bool dryRun) {
    ChangeOutcome outcome = CheckChangeSet(changes);
    if (!outcome.Applied()) return outcome;
    std::vector<bool> alters;
    Findings findings{changes, alters};
    // Each retry follows a commit that lost a race; a few are plenty.
    for (int tries = 0; tries < 5 && TryApply(dryRun, findings, outcome) == Attempt::kRetry;) {
        ++tries;
    }
    if (outcome.Applied()) {
        // The changes that alter something, named as stored, become the report.
        std::size_t kept = 0;
        for (std::size_t i = 0; i < changes.size(); ++i) {
            if (!alters[i]) continue;
            Change& change = changes[i];
            if (change.oldValue) change.name = change.oldValue->name;
            if (kept != i) changes[kept] = std::move(change);
            ++kept;
        }
        changes.erase(changes.begin() + static_cast<std::ptrdiff_t>(kept), changes.end());
        outcome.changed = std::move(changes);
        if (!dryRun) RecordStoredChangeSet(outcome.changed);
        return outcome;
    }
    const Change* failed =
        outcome.failedChange >= 0 ? &changes[static_cast<std::size_t>(outcome.failedChange)] : NULL;
    outcome.messageId = FailureMessageOf(changes, failed, outcome.result);
    outcome.message = LoadResourceText(outcome.messageId);
    if (outcome.result == ChangeOutcome::kExpectationFailed && failed &&
        outcome.messageId != IDS_DUPLICATE_EXTENSION &&
        outcome.messageId != IDS_MIME_DELETED_MEANWHILE) {
        outcome.message = DescribeFailedExpectation(*failed);
    }
    ForwardRefusedChangeSet(changes, dryRun, outcome);
    return outcome;
}
