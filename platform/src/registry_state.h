// What the registry's rooms share: the handles, the transactions and the store, behind one
// process-wide mutex that every call holds (registry_keys.cpp: keys and handles;
// registry_transactions.cpp: transactions, their log, view and replay;
// registry_value_runs.cpp: a key's batched value changes).
//
// A handle names its key by path, not by a node of the tree: the tree is re-read when
// another process changes the hive. Once a handle's key is found gone it stays gone for
// that handle, even if a key of the same name appears again, as a Windows handle names
// the key object and not its path.
//
// A transaction keeps its changes as a log and works on a view: the latest tree with the
// log applied, built again whenever the tree changes. Its commit replays the log onto the
// latest tree under the hive's lock, so changes others made meanwhile are kept, and writes
// the result in one step. Expectations in the log are tested again by that replay, so a
// commit whose expectation no longer holds writes nothing.
//
// What a handle found and what a transaction sees are kept while they may still be
// current: each records the registry's generation it was made at, and is current while the
// generation has not moved on (see Registry::generation for what moves it).
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "case_folding.h"
#include "hive_file.h"
#include "hive_store.h"
#include "key_path.h"
#include "registry_transaction.h"

namespace marrowick::platform::registry {

constexpr REGSAM kReadRights = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;

constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK;

// Only the low 32 bits of a predefined key count: callers may pass it sign- or
// zero-extended.
constexpr std::uintptr_t kLocalMachine = 0x80000002;

using KeyPath = std::vector<std::string>;

// One change to a value, or an expectation about it, as the registry calls make it: a
// single RegSetValueExA or RegDeleteValueA is a run of one step, a value expectation of
// ExpectInTransaction too, and ChangeValuesInTransaction makes a run of many. Its name and
// data are kept in the bytes of the run it belongs to (Operation::Name, Operation::Data),
// not in strings of their own: an import's run holds thousands of them.
struct ValueStep {
    enum Kind : std::uint8_t { kSet, kDelete, kExpect } kind = kSet;
    Expect::Kind expect = Expect::kAnything;  // kExpect
    DWORD type = 0;                           // kSet; kExpect with Expect::kEqual
    std::size_t at = 0;                       // where the name is in the run's bytes
    DWORD nameSize = 0, dataSize = 0;         // the data follows the name
};

// One change to the tree, kept by a transaction until its commit.
struct Operation {
    enum Kind { kCreateKey, kChangeValues, kDeleteTree, kExpectKey } kind;
    KeyPath path{};   // the key changed; for kCreateKey the existing key below which
    KeyPath below{};  // kCreateKey: the keys to create below path
    std::vector<ValueStep> values{};          // kChangeValues: its steps, in order
    std::string bytes{};                      // kChangeValues: their names and data
    bool keepKey = false;                     // kDeleteTree: only what lies below the key
    Expect::Kind expect = Expect::kAnything;  // kExpectKey: kAbsent or kPresent

    // Sizes the caller merely claims reserve no more than a run could hold.
    static constexpr std::size_t kMostReservedBytes = 1 << 26;

    const ValueStep& AddStep(ValueStep::Kind kind, std::string_view name, DWORD type,
                             std::string_view data, Expect::Kind expectation = Expect::kAnything) {
        values.push_back({kind, expectation, type, bytes.size(), static_cast<DWORD>(name.size()),
                          static_cast<DWORD>(data.size())});
        bytes.append(name).append(data);
        return values.back();
    }
    void DropLastStep() {
        bytes.resize(values.back().at);
        values.pop_back();
    }
    std::string_view Name(const ValueStep& step) const {
        return {bytes.data() + step.at, step.nameSize};
    }
    std::string_view Data(const ValueStep& step) const {
        return {bytes.data() + step.at + step.nameSize, step.dataSize};
    }
};

// Applies an operation, setting `changed` when it altered the tree. ERROR_KEY_DELETED when
// the key it works on is gone; ERROR_FILE_NOT_FOUND when there was nothing to delete (a run
// still makes its other steps then); ERROR_TRANSACTION_INTEGRITY_VIOLATED when an
// expectation does not hold.
LONG Apply(Key& root, const Operation& operation, bool& changed);

// The generation of the registry's caches (Registry::generation) that marks none as current.
constexpr std::uint64_t kNoGeneration = 0;

struct Transaction {
    enum class State { kActive, kCommitted, kRolledBack } state = State::kActive;
    std::optional<std::chrono::steady_clock::time_point> deadline;
    // Grows by one for each change; a deque never moves what it holds.
    std::deque<Operation> log;
    // The latest tree with the log applied, current while viewAt is the registry's
    // generation.
    std::unique_ptr<Key> view;
    std::uint64_t viewAt = kNoGeneration;
    // Whether the view is exactly what the commit's replay would make of the store's tree
    // (every operation applied to it as it will then), and whether any operation changed
    // it: a commit of a current, exact view takes it as the new tree instead of replaying
    // (an import's commit would otherwise make every one of its values a second time).
    bool viewExact = true;
    bool viewChanged = false;
    // Whether a change was already let through: we may write the hive as far as it knows.
    bool mayWrite = false;
};

struct OpenKey {
    OpenKey(KeyPath path, REGSAM access, std::shared_ptr<Transaction> transaction)
        : path(std::move(path)), access(access), transaction(std::move(transaction)) {}
    KeyPath path;
    REGSAM access;
    std::shared_ptr<Transaction> transaction;  // null: works on the hive directly
    bool deleted = false;
    // The key last found in the tree the handle works on, current while cachedAt is the
    // registry's generation.
    Key* cached = nullptr;
    std::uint64_t cachedAt = kNoGeneration;
    // The index last enumerated, or -1. An enumeration that walks on from there is served
    // from the tree it started in: one look at the file per enumeration, and one version
    // of the key throughout.
    std::int64_t enumerated = -1;
};

struct Registry {
    std::mutex mutex;
    HiveStore store;
    std::unordered_map<std::uintptr_t, OpenKey> handles;
    std::unordered_map<std::uintptr_t, std::shared_ptr<Transaction>> transactions;
    std::uintptr_t nextHandle = 0x100;
    OpenKey root{KeyPath{}, KEY_ALL_ACCESS, nullptr};
    // Grows whenever a cached key pointer or a view may have gone stale: the store's tree
    // replaced or changed, a view built again or ended, a key destroyed in any tree. A
    // cache made at this generation is current; one made at another is not.
    std::uint64_t generation = kNoGeneration + 1;
};

Registry& TheRegistry();

// The last error of this thread (GetLastError).
extern thread_local DWORD lastError;

// "A\B\" -> {"A", "B"}, read as every layer reads key paths.
LONG SplitPath(LPCSTR subKey, KeyPath& path);

OpenKey* FindHandle(Registry& registry, HKEY key);

std::shared_ptr<Transaction> FindTransaction(Registry& registry, HANDLE handle);

// Ends a transaction: its log and view go.
void End(Registry& registry, Transaction& transaction, Transaction::State state);

// A transaction past its time-out is rolled back when next looked at.
bool IsActive(Registry& registry, Transaction& transaction);

// Brings the store's tree up to date with the file (HiveStore::Refresh), and every cache
// made from the tree it replaced out of date.
LONG RefreshStore(Registry& registry);

// Changes the store's tree (HiveStore::Modify); every cache made before is out of date.
LONG ModifyStore(Registry& registry, const std::function<long(Key& root, bool& changed)>& change);

Key* Walk(Key& from, const KeyPath& path);

// The tree a transaction works on, built again when it is not current; call after
// RefreshStore.
Key& ViewOf(Registry& registry, Transaction& transaction);

// The tree a handle works on: its transaction's view, or the store's tree.
Key& TreeOf(Registry& registry, OpenKey& handle);

// The key a handle names in the tree it works on, or null when it has been deleted.
Key* Locate(Registry& registry, OpenKey& handle);

HKEY NewHandle(Registry& registry, KeyPath path, REGSAM access,
               std::shared_ptr<Transaction> transaction);

// The path below the handle's key, or ERROR_INVALID_PARAMETER when it is deeper than a
// key can be.
LONG Join(const KeyPath& base, const KeyPath& relative, KeyPath& path);

// After a key was deleted: handles to it (or to keys below it) keep naming the deleted
// key. Only handles working in `transaction` (none: on the hive directly) are marked here;
// the others find the key gone when their view is built again.
void MarkDeleted(Registry& registry, const Operation& deletion, const Transaction* transaction);

// Finds the key a handle names after bringing the tree up to date.
LONG Prepare(Registry& registry, HKEY hKey, REGSAM needed, OpenKey*& handle, Key*& key);

// One call through an open key: the registry locked for it, and the key found after the
// checks every such call makes (see Prepare); `status` says whether they passed.
struct KeyCall {
    KeyCall(HKEY hKey, REGSAM needed)
        : registry(TheRegistry()),
          lock(registry.mutex),
          status(Prepare(registry, hKey, needed, handle, key)) {}
    Registry& registry;
    std::lock_guard<std::mutex> lock;
    OpenKey* handle = nullptr;  // before status, which Prepare fills them for
    Key* key = nullptr;
    LONG status;
};

// What a call that names a sub-key below an open key works on.
struct SubKeyTarget {
    OpenKey* base = nullptr;                   // the open key
    Key* baseKey = nullptr;                    // its key in the tree worked on
    std::shared_ptr<Transaction> transaction;  // the one the new handle works in
    KeyPath relative;                          // the sub-key's path below it
    KeyPath path;                              // the sub-key's whole path
};

// Checks the sub-key's path and the handle and brings the tree up to date; the caller
// holds the registry's lock. The sub-key belongs to the transaction given, else to the
// open key's.
LONG ResolveSubKey(Registry& registry, HKEY hKey, LPCSTR lpSubKey,
                   std::shared_ptr<Transaction> transaction, SubKeyTarget& target);

// ResolveSubKey in the transaction of that handle, if one is given.
LONG ResolveSubKeyIn(Registry& registry, HKEY hKey, LPCSTR lpSubKey, HANDLE hTransaction,
                     SubKeyTarget& target);

// One call that names a sub-key below an open key: the registry locked for it and the
// sub-key resolved (see ResolveSubKeyIn); `status` says whether that worked.
struct SubKeyCall {
    SubKeyCall(HKEY hKey, LPCSTR lpSubKey, HANDLE hTransaction)
        : registry(TheRegistry()),
          lock(registry.mutex),
          status(ResolveSubKeyIn(registry, hKey, lpSubKey, hTransaction, target)) {}
    Registry& registry;
    std::lock_guard<std::mutex> lock;
    SubKeyTarget target;  // before status, which ResolveSubKeyIn fills it for
    LONG status;
};

LONG CheckAccess(HiveStore& store, REGSAM access);

// Whether an expectation holds for what its value's name finds (null: nothing).
bool Holds(const Value* value, Expect::Kind expect, DWORD type, std::string_view data);

// Makes one step of the run on its key (null: gone), given what the step's name finds there
// (`stored`). ERROR_FILE_NOT_FOUND for a deletion that found nothing, leaving the key as it
// was.
LONG ApplyStep(Key* key, const Value* stored, const Operation& run, const ValueStep& step,
               bool& changed);

// Makes a change: to the hive at once, or within the transaction. `changed` tells
// whether the tree was altered.
LONG Change(Registry& registry, const std::shared_ptr<Transaction>& transaction,
            Operation operation, bool& changed);

// A change through an open key, which stays deleted once its key is found gone.
LONG ChangeThrough(Registry& registry, OpenKey& handle, Operation operation);

}  // namespace marrowick::platform::registry
