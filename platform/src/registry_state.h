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
#pragma once

#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <deque>
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

// A run of value changes in one key (ChangeValuesInTransaction): its steps in order, with
// their names and data kept in one buffer, not in a string of their own each.
class ValueSteps {
public:
    static constexpr std::size_t kMostReservedBytes = 1 << 26;

    struct Step {
        enum Kind : std::uint8_t { kSet, kDelete, kExpect } kind;
        Expect::Kind expect;  // kExpect
        DWORD type;           // kSet; kExpect with Expect::kEqual
        std::size_t name;     // where the name is in the buffer; the data follows it
        DWORD nameSize, dataSize;
    };

    // Room for the steps of these changes at once: a run's steps and bytes do not grow by
    // copying themselves.
    void Reserve(std::span<const ValueChange> changes) {
        std::size_t bytes = 0;
        for (const ValueChange& change : changes) {
            bytes += change.name.size() + change.data.size() + change.expect.data.size();
        }
        steps_.reserve(changes.size());
        // Sizes the caller merely claims reserve no more than a run could hold.
        bytes_.reserve(std::min<std::size_t>(bytes, kMostReservedBytes));
    }
    void Add(Step::Kind kind, std::string_view name, DWORD type, std::string_view data,
             Expect::Kind expect = Expect::kAnything) {
        steps_.push_back({kind, expect, type, bytes_.size(), static_cast<DWORD>(name.size()),
                          static_cast<DWORD>(data.size())});
        bytes_.append(name).append(data);
    }
    const std::vector<Step>& Steps() const { return steps_; }
    bool Empty() const { return steps_.empty(); }
    std::string_view Name(const Step& step) const {
        return {bytes_.data() + step.name, step.nameSize};
    }
    std::string_view Data(const Step& step) const {
        return {bytes_.data() + step.name + step.nameSize, step.dataSize};
    }

private:
    std::vector<Step> steps_;
    std::string bytes_;
};

// One change to the tree, kept by a transaction until its commit.
struct Operation {
    enum Kind { kCreateKey, kSetValue, kDeleteValue, kDeleteTree, kExpect, kChangeValues } kind;
    KeyPath path{};        // the key changed; for kCreateKey the existing key below which
    KeyPath below{};       // kCreateKey: the keys to create below path
    std::string name{};    // the value
    DWORD type = 0;        // kSetValue
    std::string data{};    // kSetValue
    bool keepKey = false;  // kDeleteTree: only what lies below the key
    Expect::Kind expect = Expect::kAnything;  // kExpect: about the value `name` or, ofKey, the key
    bool ofKey = false;
    ValueSteps values{};  // kChangeValues
};

// Applies an operation, setting `changed` when it altered the tree. ERROR_KEY_DELETED when
// the key it works on is gone; ERROR_FILE_NOT_FOUND when there was nothing to delete.
LONG Apply(Key& root, const Operation& operation, bool& changed);

struct Transaction {
    enum class State { kActive, kCommitted, kRolledBack } state = State::kActive;
    std::optional<std::chrono::steady_clock::time_point> deadline;
    // Grows by one for each change; a deque never moves what it holds.
    std::deque<Operation> log;
    // The latest tree with the log applied, and what it was built from.
    std::shared_ptr<Key> view;
    std::shared_ptr<Key> builtFrom;
    std::uint64_t builtAt = 0;
    // Whether the view is exactly what the commit's replay onto builtFrom would make (every
    // operation applied to it as it will then), and whether any operation changed it.
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
    // The key in the tree last looked at; holding the tree keeps the pointer valid while
    // no key of it has been destroyed since (cachedAt).
    std::shared_ptr<Key> tree;
    Key* cached = nullptr;
    std::uint64_t cachedAt = 0;
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
    // Counts changes this process made to the store's tree (views built before are stale)
    // and deletions of keys from any tree (key pointers found before may dangle).
    std::uint64_t storeChanges = 0;
    std::uint64_t keysDestroyed = 0;
};

Registry& TheRegistry();

// The last error of this thread (GetLastError).
extern thread_local DWORD lastError;

// "A\B\" -> {"A", "B"}, read as every layer reads key paths.
LONG SplitPath(LPCSTR subKey, KeyPath& path);

OpenKey* FindHandle(Registry& registry, HKEY key);

std::shared_ptr<Transaction> FindTransaction(Registry& registry, HANDLE handle);

void End(Transaction& transaction, Transaction::State state);

// A transaction past its time-out is rolled back when next looked at.
bool IsActive(Transaction& transaction);

Key* Walk(Key& from, const KeyPath& path);

// Whether the transaction's view was built from the store's tree as it is now.
bool ViewIsCurrent(Registry& registry, const Transaction& transaction);

// The tree a transaction works on; call after the store's Refresh.
const std::shared_ptr<Key>& ViewOf(Registry& registry, Transaction& transaction);

bool CacheIsCurrent(Registry& registry, const OpenKey& handle);

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

// Whether an expectation about a value holds for what its name finds (null: nothing).
bool Holds(const Value* value, Expect::Kind expect, DWORD type, std::string_view data);

// Whether an expectation holds in the tree.
bool Holds(Key& root, const Operation& expectation);

// Replays a run of value changes on its key (null: gone). Deleting a value others deleted
// meanwhile ends the same.
LONG ApplySteps(Key* key, const ValueSteps& values, bool& changed);

// Makes a change: to the hive at once, or within the transaction. `changed` tells
// whether the tree was altered.
LONG Change(Registry& registry, const std::shared_ptr<Transaction>& transaction,
            Operation operation, bool& changed);

// A change through an open key, which stays deleted once its key is found gone.
LONG ChangeThrough(Registry& registry, OpenKey& handle, Operation operation);

}  // namespace marrowick::platform::registry
