// The store's own calls on a registry transaction, beside Win32's: Windows has no
// counterpart of them, so they are not declared in <windows.h>. They work on keys opened
// with RegOpenKeyTransactedA or RegCreateKeyTransactedA and belong to that transaction as
// every other call through such a key does.
//
// Calling sequence of a checked change:
//   HANDLE t = CreateTransaction(...);
//   ExpectInTransaction(HKEY_LOCAL_MACHINE, "A\\B", &name, {Expect::kAbsent}, t);
//   RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, "A\\B", 0, KEY_READ | KEY_WRITE, &key, t, NULL);
//   ValueRun run = ChangeValuesInTransaction(key, changes);  // run.found: what each found
//   CommitTransaction(t);  // tests every expectation again under the hive's lock
//   CloseHandle(t);
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "reg_file.h"

namespace marrowick::platform {

// What a transaction depends on finding: a value (by name, in any letter case) or a key.
struct Expect {
    enum Kind : std::uint8_t {
        kAnything,  // nothing expected
        kAbsent,    // the value or key does not exist
        kPresent,   // it exists, whatever it holds
        kEqual,     // the value exists with exactly this type and data (values only)
    };
    Kind kind = kAnything;
    DWORD type = 0;         // kEqual
    std::string_view data;  // kEqual
};

// Makes the transaction depend on what it finds: the key subKey below hKey or, given
// valueName, its value. Tested at once against what the transaction sees, and again under
// the hive's lock when it commits: if it no longer holds then, the commit writes nothing
// and fails with ERROR_TRANSACTION_INTEGRITY_VIOLATED, as this call does at once.
// ERROR_INVALID_PARAMETER for kAnything, for kEqual about a key, or without a transaction.
LONG ExpectInTransaction(HKEY hKey, std::string_view subKey, const std::string* valueName,
                         const Expect& expect, HANDLE transaction);

// One change of a run: set the value (type, data) or delete it, after testing `expect`.
struct ValueChange {
    enum Action : std::uint8_t { kSet, kDelete };
    Action action = kSet;
    std::string_view name;
    DWORD type = 0;  // kSet
    std::string_view data;
    Expect expect;
};

// What one change of a run found before it: the value its name finds in any letter case,
// spelled as stored (none: there was none), and whether the change alters anything.
struct ValueFound {
    std::optional<RegFileValue> before;
    bool alters = false;
};

struct ValueRun {
    LONG status = ERROR_SUCCESS;  // of the change the run stopped at; ERROR_SUCCESS: none
    std::size_t done = 0;         // the changes made, which is the index of the failing one
    // One for each change the run looked at: the done ones, and the failing one when it was
    // refused for altering what this process may not write.
    std::vector<ValueFound> found;
};

// A run of value changes through a key opened in a transaction, made in one call as the
// calls they stand for would make them one after the other, without looking at the hive
// file again between them. For each change in order: its expectation is tested and kept for
// the commit; what it finds is reported; then the value is set or deleted, unless that alters
// nothing. Stops at the first change that fails:
// ERROR_TRANSACTION_INTEGRITY_VIOLATED for an expectation that does not hold;
// ERROR_ACCESS_DENIED when the change alters its value and the key was opened without
// KEY_SET_VALUE or this process may not replace the hive (after reporting what it found);
// the codes of RegSetValueExA for a name or data it refuses; ERROR_INVALID_PARAMETER for a
// key not opened in a transaction. The changes before it stay made in the transaction.
ValueRun ChangeValuesInTransaction(HKEY hKey, std::span<const ValueChange> changes);

}  // namespace marrowick::platform
