// The registry functions, over the hive file of HKEY_LOCAL_MACHINE.
//
// A handle names its key by path, not by a node of the tree: the tree is re-read when
// another process changes the hive. Once a handle's key is found gone it stays gone for
// that handle, even if a key of the same name appears again, as a Windows handle names
// the key object and not its path. Every call holds one process-wide mutex.
//
// A transaction keeps its changes as a log and works on a view: the latest tree with the
// log applied, built again whenever the tree changes. Its commit replays the log onto the
// latest tree under the hive's lock, so changes others made meanwhile are kept, and writes
// the result in one step. Expectations in the log are tested again by that replay, so a
// commit whose expectation no longer holds writes nothing.
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

using marrowick::platform::Expect;
using marrowick::platform::FoldCase;
using marrowick::platform::HiveStore;
using marrowick::platform::IsStorableName;
using marrowick::platform::Key;
using marrowick::platform::KeyPathFault;
using marrowick::platform::kMaxKeyDepth;
using marrowick::platform::kMaxValueNameCharacters;
using marrowick::platform::ReadKeyPath;
using marrowick::platform::Value;
using marrowick::platform::ValueChange;
using marrowick::platform::ValueFound;
using marrowick::platform::ValueRun;

namespace {

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

Registry& TheRegistry() {
    static Registry* registry = new Registry;  // never destroyed: usable during exit
    return *registry;
}

thread_local DWORD lastError = ERROR_SUCCESS;

// "A\B\" -> {"A", "B"}, read as every layer reads key paths.
LONG SplitPath(LPCSTR subKey, KeyPath& path) {
    std::vector<std::string_view> names;
    switch (ReadKeyPath(subKey ? subKey : "", nullptr, &names)) {
        case KeyPathFault::kNone:
            path.assign(names.begin(), names.end());
            return ERROR_SUCCESS;
        case KeyPathFault::kBadPath:
            return ERROR_BAD_PATHNAME;
        case KeyPathFault::kBadName:
        case KeyPathFault::kTooDeep:
            break;
    }
    return ERROR_INVALID_PARAMETER;
}

bool IsLocalMachine(HKEY key) {
    return (reinterpret_cast<std::uintptr_t>(key) & 0xFFFFFFFFu) == kLocalMachine;
}

OpenKey* FindHandle(Registry& registry, HKEY key) {
    if (IsLocalMachine(key)) return &registry.root;
    const auto found = registry.handles.find(reinterpret_cast<std::uintptr_t>(key));
    return found == registry.handles.end() ? nullptr : &found->second;
}

std::shared_ptr<Transaction> FindTransaction(Registry& registry, HANDLE handle) {
    const auto found = registry.transactions.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == registry.transactions.end() ? nullptr : found->second;
}

void End(Transaction& transaction, Transaction::State state) {
    transaction.state = state;
    transaction.log.clear();
    transaction.view.reset();
    transaction.builtFrom.reset();
}

// A transaction past its time-out is rolled back when next looked at.
bool IsActive(Transaction& transaction) {
    if (transaction.state == Transaction::State::kActive && transaction.deadline &&
        std::chrono::steady_clock::now() >= *transaction.deadline) {
        End(transaction, Transaction::State::kRolledBack);
    }
    return transaction.state == Transaction::State::kActive;
}

Key* Walk(Key& from, const KeyPath& path) {
    Key* key = &from;
    for (const std::string& name : path) {
        key = key->FindSubKey(name);
        if (!key) return nullptr;
    }
    return key;
}

// Whether the transaction's view was built from the store's tree as it is now.
bool ViewIsCurrent(Registry& registry, const Transaction& transaction) {
    return transaction.view && transaction.builtFrom == registry.store.Root() &&
           transaction.builtAt == registry.storeChanges;
}

// The tree a transaction works on; call after the store's Refresh.
const std::shared_ptr<Key>& ViewOf(Registry& registry, Transaction& transaction) {
    if (!ViewIsCurrent(registry, transaction)) {
        auto view = std::make_shared<Key>(registry.store.Root()->Copy());
        // An operation that no longer applies is left out of the view; the commit, which
        // replays it again, fails.
        transaction.viewExact = true;
        transaction.viewChanged = false;
        for (const Operation& operation : transaction.log) {
            bool changed = false;
            const LONG applied = Apply(*view, operation, changed);
            if (applied != ERROR_SUCCESS && applied != ERROR_FILE_NOT_FOUND) {
                transaction.viewExact = false;
            }
            transaction.viewChanged |= changed;
        }
        transaction.view = std::move(view);
        transaction.builtFrom = registry.store.Root();
        transaction.builtAt = registry.storeChanges;
        ++registry.keysDestroyed;  // the old view goes
    }
    return transaction.view;
}

const std::shared_ptr<Key>& TreeOf(Registry& registry, OpenKey& handle) {
    return handle.transaction ? ViewOf(registry, *handle.transaction) : registry.store.Root();
}

bool CacheIsCurrent(Registry& registry, const OpenKey& handle) {
    if (!handle.cached || handle.cachedAt != registry.keysDestroyed) return false;
    if (!handle.transaction) return handle.tree == registry.store.Root();
    return handle.transaction->state == Transaction::State::kActive &&
           handle.tree == handle.transaction->view && ViewIsCurrent(registry, *handle.transaction);
}

// The key a handle names in the tree it works on, or null when it has been deleted.
Key* Locate(Registry& registry, OpenKey& handle) {
    if (!CacheIsCurrent(registry, handle)) {
        handle.tree = TreeOf(registry, handle);
        handle.cached = Walk(*handle.tree, handle.path);
        handle.cachedAt = registry.keysDestroyed;
    }
    if (!handle.cached) handle.deleted = true;
    return handle.cached;
}

HKEY NewHandle(Registry& registry, KeyPath path, REGSAM access,
               std::shared_ptr<Transaction> transaction) {
    const std::uintptr_t id = registry.nextHandle;
    registry.nextHandle += 4;
    registry.handles.emplace(id, OpenKey(std::move(path), access, std::move(transaction)));
    return reinterpret_cast<HKEY>(id);
}

// The path below the handle's key, or ERROR_INVALID_PARAMETER when it is deeper than a
// key can be.
LONG Join(const KeyPath& base, const KeyPath& relative, KeyPath& path) {
    if (base.size() + relative.size() > kMaxKeyDepth) return ERROR_INVALID_PARAMETER;
    path = base;
    path.insert(path.end(), relative.begin(), relative.end());
    return ERROR_SUCCESS;
}

// Whether `path` is `top` or lies below it (or only below it).
bool IsWithin(const KeyPath& path, const KeyPath& top, bool includingTop) {
    if (path.size() < top.size() || (!includingTop && path.size() == top.size())) return false;
    for (std::size_t i = 0; i < top.size(); ++i) {
        if (FoldCase(path[i]) != FoldCase(top[i])) return false;
    }
    return true;
}

// After a key was deleted: handles to it (or to keys below it) keep naming the deleted
// key. Only handles working in `transaction` (none: on the hive directly) are marked here;
// the others find the key gone when their view is built again.
void MarkDeleted(Registry& registry, const Operation& deletion, const Transaction* transaction) {
    for (auto& [id, handle] : registry.handles) {
        if (handle.transaction.get() == transaction &&
            IsWithin(handle.path, deletion.path, !deletion.keepKey)) {
            handle.deleted = true;
        }
    }
}

// The transaction a handle works in must still be open.
LONG CheckTransaction(OpenKey& handle) {
    if (handle.transaction && !IsActive(*handle.transaction)) return ERROR_TRANSACTION_NOT_ACTIVE;
    return ERROR_SUCCESS;
}

// Finds the key a handle names after bringing the tree up to date.
LONG Prepare(Registry& registry, HKEY hKey, REGSAM needed, OpenKey*& handle, Key*& key) {
    handle = FindHandle(registry, hKey);
    if (!handle) return ERROR_INVALID_HANDLE;
    if ((handle->access & needed) != needed) return ERROR_ACCESS_DENIED;
    if (handle->deleted) return ERROR_KEY_DELETED;
    if (const LONG status = CheckTransaction(*handle); status != ERROR_SUCCESS) return status;
    if (const LONG status = registry.store.Refresh(); status != ERROR_SUCCESS) return status;
    key = Locate(registry, *handle);
    return key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

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
                   std::shared_ptr<Transaction> transaction, SubKeyTarget& target) {
    if (const LONG status = SplitPath(lpSubKey, target.relative); status != ERROR_SUCCESS) {
        return status;
    }
    target.base = FindHandle(registry, hKey);
    if (!target.base) return ERROR_INVALID_HANDLE;
    target.transaction = transaction ? std::move(transaction) : target.base->transaction;
    if (target.transaction != target.base->transaction) {
        // Another transaction's view of the open key's path.
        if (target.base->deleted) return ERROR_KEY_DELETED;
        if (target.transaction && !IsActive(*target.transaction)) {
            return ERROR_TRANSACTION_NOT_ACTIVE;
        }
        if (const LONG status = registry.store.Refresh(); status != ERROR_SUCCESS) return status;
        const std::shared_ptr<Key>& tree =
            target.transaction ? ViewOf(registry, *target.transaction) : registry.store.Root();
        target.baseKey = Walk(*tree, target.base->path);
        if (!target.baseKey) return ERROR_KEY_DELETED;
    } else if (const LONG status = Prepare(registry, hKey, 0, target.base, target.baseKey);
               status != ERROR_SUCCESS) {
        return status;
    }
    return Join(target.base->path, target.relative, target.path);
}

// ResolveSubKey in the transaction of that handle, if one is given.
LONG ResolveSubKeyIn(Registry& registry, HKEY hKey, LPCSTR lpSubKey, HANDLE hTransaction,
                     SubKeyTarget& target) {
    std::shared_ptr<Transaction> transaction;
    if (hTransaction) {
        transaction = FindTransaction(registry, hTransaction);
        if (!transaction) return ERROR_INVALID_HANDLE;
    }
    return ResolveSubKey(registry, hKey, lpSubKey, std::move(transaction), target);
}

LONG CheckAccess(HiveStore& store, REGSAM access) {
    return store.CheckAccess((access & kReadRights) != 0, (access & kWriteRights) != 0);
}

// Whether an expectation about a value holds for what its name finds (null: nothing).
bool Holds(const Value* value, Expect::Kind expect, DWORD type, std::string_view data) {
    switch (expect) {
        case Expect::kAnything:
            return true;
        case Expect::kAbsent:
            return !value;
        case Expect::kPresent:
            return value;
        case Expect::kEqual:
            return value && value->type == type && value->data == data;
    }
    return false;
}

// Whether an expectation holds in the tree.
bool Holds(Key& root, const Operation& expectation) {
    const Key* key = Walk(root, expectation.path);
    if (expectation.ofKey) return (key != nullptr) == (expectation.expect != Expect::kAbsent);
    return Holds(key ? key->FindValue(expectation.name) : nullptr, expectation.expect,
                 expectation.type, expectation.data);
}

// Replays a run of value changes on its key (null: gone). Deleting a value others deleted
// meanwhile ends the same.
LONG ApplySteps(Key* key, const ValueSteps& values, bool& changed) {
    using Step = ValueSteps::Step;
    for (const Step& step : values.Steps()) {
        const std::string_view name = values.Name(step);
        if (step.kind == Step::kExpect) {
            if (!Holds(key ? key->FindValue(name) : nullptr, step.expect, step.type,
                       values.Data(step))) {
                return ERROR_TRANSACTION_INTEGRITY_VIOLATED;
            }
            continue;
        }
        if (!key) return ERROR_KEY_DELETED;
        if (step.kind == Step::kSet) {
            key->SetValue(name, step.type, std::string(values.Data(step)));
            changed = true;
        } else if (key->DeleteValue(name)) {
            changed = true;
        }
    }
    return ERROR_SUCCESS;
}

LONG Apply(Key& root, const Operation& operation, bool& changed) {
    if (operation.kind == Operation::kExpect) {
        return Holds(root, operation) ? ERROR_SUCCESS : ERROR_TRANSACTION_INTEGRITY_VIOLATED;
    }
    if (operation.kind == Operation::kChangeValues) {
        return ApplySteps(Walk(root, operation.path), operation.values, changed);
    }
    if (operation.kind == Operation::kDeleteTree && !operation.keepKey) {
        if (operation.path.empty()) return ERROR_ACCESS_DENIED;
        const KeyPath parentPath(operation.path.begin(), operation.path.end() - 1);
        Key* parent = Walk(root, parentPath);
        if (!parent || !parent->DeleteSubKey(operation.path.back())) return ERROR_FILE_NOT_FOUND;
        changed = true;
        return ERROR_SUCCESS;
    }
    Key* key = Walk(root, operation.path);
    if (!key) return ERROR_KEY_DELETED;
    switch (operation.kind) {
        case Operation::kCreateKey:
            for (const std::string& name : operation.below) {
                bool added = false;
                key = &key->OpenOrAddSubKey(name, &added);
                changed = changed || added;
            }
            return ERROR_SUCCESS;
        case Operation::kSetValue:
            key->SetValue(operation.name, operation.type, operation.data);
            changed = true;
            return ERROR_SUCCESS;
        case Operation::kDeleteValue:
            if (!key->DeleteValue(operation.name)) return ERROR_FILE_NOT_FOUND;
            changed = true;
            return ERROR_SUCCESS;
        case Operation::kDeleteTree:
            changed = key->ValueCount() != 0 || key->SubKeyCount() != 0;
            key->Clear();
            return ERROR_SUCCESS;
        case Operation::kExpect:
        case Operation::kChangeValues:
            break;
    }
    return ERROR_INVALID_PARAMETER;
}

// Makes a change: to the hive at once, or within the transaction. `changed` tells
// whether the tree was altered.
LONG Change(Registry& registry, const std::shared_ptr<Transaction>& transaction,
            Operation operation, bool& changed) {
    changed = false;
    const bool deletesKeys = operation.kind == Operation::kDeleteTree;
    if (!transaction) {
        const LONG status = registry.store.Modify([&](Key& root, bool& altered) -> long {
            const long result = Apply(root, operation, altered);
            changed = altered;
            return result;
        });
        ++registry.storeChanges;
        if (deletesKeys) ++registry.keysDestroyed;
        if (status == ERROR_SUCCESS && deletesKeys) MarkDeleted(registry, operation, nullptr);
        return status;
    }
    if (!IsActive(*transaction)) return ERROR_TRANSACTION_NOT_ACTIVE;
    // A change goes onto the view as the transaction last looked at it: every read brings
    // the view up to date with other writers first, and the commit replays the change on
    // the latest tree under the lock, asking again whether we may write. So only a view
    // built from another tree than the one read last, or the first change, looks at the
    // file again, not every value of an import.
    if (!transaction->mayWrite || !ViewIsCurrent(registry, *transaction)) {
        if (const LONG status = registry.store.Refresh(); status != ERROR_SUCCESS) return status;
        // Refused now rather than at the commit, where the caller could no longer tell
        // which change it was.
        if (const LONG status = registry.store.CheckAccess(false, true); status != ERROR_SUCCESS) {
            return status;
        }
        transaction->mayWrite = true;
    }
    const LONG status = Apply(*ViewOf(registry, *transaction), operation, changed);
    if (deletesKeys) ++registry.keysDestroyed;
    if (status != ERROR_SUCCESS) {
        transaction->viewExact = false;  // a failed operation may have left part of itself
        return status;
    }
    transaction->viewChanged |= changed;
    if (deletesKeys) MarkDeleted(registry, operation, transaction.get());
    if (changed) transaction->log.push_back(std::move(operation));
    return ERROR_SUCCESS;
}

// A change through an open key, which stays deleted once its key is found gone.
LONG ChangeThrough(Registry& registry, OpenKey& handle, Operation operation) {
    if (handle.deleted) return ERROR_KEY_DELETED;
    bool changed = false;
    const LONG status = Change(registry, handle.transaction, std::move(operation), changed);
    if (status == ERROR_KEY_DELETED) handle.deleted = true;
    return status;
}

LONG OpenKeyIn(HKEY hKey, LPCSTR lpSubKey, REGSAM samDesired, PHKEY phkResult,
               HANDLE hTransaction) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    SubKeyTarget target;
    if (const LONG status = ResolveSubKeyIn(registry, hKey, lpSubKey, hTransaction, target);
        status != ERROR_SUCCESS) {
        return status;
    }
    if (!Walk(*target.baseKey, target.relative)) return ERROR_FILE_NOT_FOUND;
    if (const LONG status = CheckAccess(registry.store, samDesired); status != ERROR_SUCCESS) {
        return status;
    }
    *phkResult = NewHandle(registry, std::move(target.path), samDesired, target.transaction);
    return ERROR_SUCCESS;
}

LONG CreateKeyIn(HKEY hKey, LPCSTR lpSubKey, REGSAM samDesired, PHKEY phkResult,
                 LPDWORD lpdwDisposition, HANDLE hTransaction) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    SubKeyTarget target;
    if (const LONG status = ResolveSubKeyIn(registry, hKey, lpSubKey, hTransaction, target);
        status != ERROR_SUCCESS) {
        return status;
    }
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    if (!Walk(*target.baseKey, target.relative)) {
        // Creating needs the right to replace the hive, whatever access was asked for.
        // The new key goes where the handle's own changes go, or into the transaction
        // asked for.
        Operation creation{
            .kind = Operation::kCreateKey, .path = target.base->path, .below = target.relative};
        bool created = false;
        const LONG status = Change(registry, target.transaction, std::move(creation), created);
        if (status == ERROR_KEY_DELETED && target.transaction == target.base->transaction) {
            target.base->deleted = true;
        }
        if (status != ERROR_SUCCESS) return status;
        // Another process may have created it since we looked.
        if (created) disposition = REG_CREATED_NEW_KEY;
    }
    if (const LONG status = CheckAccess(registry.store, samDesired); status != ERROR_SUCCESS) {
        return status;
    }
    *phkResult = NewHandle(registry, std::move(target.path), samDesired, target.transaction);
    if (lpdwDisposition) *lpdwDisposition = disposition;
    return ERROR_SUCCESS;
}

// A string stored without its NUL gets one after the data copied when the buffer has room
// for it, as on Windows; the size reported stays the stored size.
void TerminateString(const Value& value, LPBYTE data, DWORD capacity) {
    const bool isString =
        value.type == REG_SZ || value.type == REG_EXPAND_SZ || value.type == REG_MULTI_SZ;
    if (isString && !value.data.empty() && value.data.back() != '\0' &&
        capacity > value.data.size()) {
        data[value.data.size()] = 0;
    }
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
    return OpenKeyIn(hKey, lpSubKey, samDesired, phkResult, nullptr);
}

LSTATUS WINAPI RegOpenKeyTransactedA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired,
                                     PHKEY phkResult, HANDLE hTransaction, PVOID) {
    if (!hTransaction) {
        if (phkResult) *phkResult = nullptr;
        return ERROR_INVALID_HANDLE;
    }
    return OpenKeyIn(hKey, lpSubKey, samDesired, phkResult, hTransaction);
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
    return CreateKeyIn(hKey, lpSubKey, samDesired, phkResult, lpdwDisposition, nullptr);
}

LSTATUS WINAPI RegCreateKeyTransactedA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD,
                                       REGSAM samDesired, const LPSECURITY_ATTRIBUTES,
                                       PHKEY phkResult, LPDWORD lpdwDisposition,
                                       HANDLE hTransaction, PVOID) {
    if (!hTransaction) {
        if (phkResult) *phkResult = nullptr;
        return ERROR_INVALID_HANDLE;
    }
    return CreateKeyIn(hKey, lpSubKey, samDesired, phkResult, lpdwDisposition, hTransaction);
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    KeyCall call(hKey, KEY_QUERY_VALUE);
    if (call.status != ERROR_SUCCESS) return call.status;
    Key* key = call.key;
    const Value* value = key->FindValue(lpValueName ? lpValueName : "");
    if (!value) {
        if (!lpData && lpcbData) *lpcbData = 0;
        return ERROR_FILE_NOT_FOUND;
    }
    const auto size = static_cast<DWORD>(value->data.size());
    if (lpType) *lpType = value->type;
    if (lpData) {
        if (*lpcbData < size) {
            *lpcbData = size;
            return ERROR_MORE_DATA;
        }
        std::memcpy(lpData, value->data.data(), size);
        TerminateString(*value, lpData, *lpcbData);
    }
    if (lpcbData) *lpcbData = size;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExA(HKEY hKey, LPCSTR lpValueName, DWORD, DWORD dwType,
                              const BYTE* lpData, DWORD cbData) {
    if (!lpData && cbData > 0) return ERROR_NOACCESS;
    const std::string_view name = lpValueName ? lpValueName : "";
    if (!IsStorableName(name, kMaxValueNameCharacters)) return ERROR_INVALID_PARAMETER;
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    OpenKey* handle = FindHandle(registry, hKey);
    if (!handle) return ERROR_INVALID_HANDLE;
    if (!(handle->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    Operation setting{
        .kind = Operation::kSetValue,
        .path = handle->path,
        .name = std::string(name),
        .type = dwType,
        .data = std::string(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0)};
    return ChangeThrough(registry, *handle, std::move(setting));
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    OpenKey* handle = FindHandle(registry, hKey);
    if (!handle) return ERROR_INVALID_HANDLE;
    if (!(handle->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    Operation deletion{.kind = Operation::kDeleteValue,
                       .path = handle->path,
                       .name = lpValueName ? lpValueName : ""};
    return ChangeThrough(registry, *handle, std::move(deletion));
}

LSTATUS WINAPI RegQueryInfoKeyA(HKEY hKey, LPSTR lpClass, LPDWORD lpcchClass, LPDWORD lpReserved,
                                LPDWORD lpcSubKeys, LPDWORD lpcbMaxSubKeyLen,
                                LPDWORD lpcbMaxClassLen, LPDWORD lpcValues,
                                LPDWORD lpcbMaxValueNameLen, LPDWORD lpcbMaxValueLen,
                                LPDWORD lpcbSecurityDescriptor, PFILETIME lpftLastWriteTime) {
    if (lpReserved || (lpClass && !lpcchClass)) return ERROR_INVALID_PARAMETER;
    KeyCall call(hKey, KEY_QUERY_VALUE);
    if (call.status != ERROR_SUCCESS) return call.status;
    Key* key = call.key;
    if (lpClass && *lpcchClass < 1) return ERROR_MORE_DATA;
    if (lpClass) lpClass[0] = '\0';
    if (lpcchClass) *lpcchClass = 0;
    std::size_t longestSubKey = 0, longestName = 0, largestData = 0;
    if (lpcbMaxSubKeyLen) {
        for (const auto& subKey : key->SubKeys()) {
            longestSubKey = std::max(longestSubKey, subKey->Name().size());
        }
    }
    if (lpcbMaxValueNameLen || lpcbMaxValueLen) {
        for (const Value& value : key->Values()) {
            longestName = std::max(longestName, value.name.size());
            largestData = std::max(largestData, value.data.size());
        }
    }
    if (lpcSubKeys) *lpcSubKeys = static_cast<DWORD>(key->SubKeys().size());
    if (lpcbMaxSubKeyLen) *lpcbMaxSubKeyLen = static_cast<DWORD>(longestSubKey);
    if (lpcbMaxClassLen) *lpcbMaxClassLen = 0;
    if (lpcValues) *lpcValues = static_cast<DWORD>(key->Values().size());
    if (lpcbMaxValueNameLen) *lpcbMaxValueNameLen = static_cast<DWORD>(longestName);
    if (lpcbMaxValueLen) *lpcbMaxValueLen = static_cast<DWORD>(largestData);
    if (lpcbSecurityDescriptor) *lpcbSecurityDescriptor = 0;
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteTreeA(HKEY hKey, LPCSTR lpSubKey) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    SubKeyTarget target;
    if (const LONG status = ResolveSubKey(registry, hKey, lpSubKey, nullptr, target);
        status != ERROR_SUCCESS) {
        return status;
    }
    const Key* key = Walk(*target.baseKey, target.relative);
    if (!key) return ERROR_FILE_NOT_FOUND;
    // HKEY_LOCAL_MACHINE itself is never emptied.
    if (target.path.empty()) return ERROR_ACCESS_DENIED;
    if (!lpSubKey) {
        // Emptying the open key itself: enumerating it, and deleting its values, through it.
        const REGSAM needed =
            KEY_ENUMERATE_SUB_KEYS | KEY_QUERY_VALUE | (key->Values().empty() ? 0 : KEY_SET_VALUE);
        if ((target.base->access & needed) != needed) return ERROR_ACCESS_DENIED;
    }
    Operation deletion{.kind = Operation::kDeleteTree,
                       .path = std::move(target.path),
                       .keepKey = lpSubKey == nullptr};
    return ChangeThrough(registry, *target.base, std::move(deletion));
}

LSTATUS WINAPI RegEnumValueA(HKEY hKey, DWORD dwIndex, LPSTR lpValueName, LPDWORD lpcchValueName,
                             LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData, LPDWORD lpcbData) {
    if (!lpValueName || !lpcchValueName || lpReserved || (lpData && !lpcbData)) {
        return ERROR_INVALID_PARAMETER;
    }
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    OpenKey* handle = FindHandle(registry, hKey);
    Key* key = nullptr;
    // Only while the store still holds that tree: one it dropped may hold a change that
    // never reached the file.
    const bool walkingOn = handle && !handle->deleted && CacheIsCurrent(registry, *handle) &&
                           dwIndex > 0 &&
                           (dwIndex == handle->enumerated || dwIndex == handle->enumerated + 1);
    if (walkingOn && (handle->access & KEY_QUERY_VALUE)) {
        key = handle->cached;
    } else if (const LONG status = Prepare(registry, hKey, KEY_QUERY_VALUE, handle, key);
               status != ERROR_SUCCESS) {
        return status;
    }
    handle->enumerated = dwIndex;
    if (dwIndex >= key->Values().size()) return ERROR_NO_MORE_ITEMS;
    const Value& value = key->Values()[dwIndex];
    const auto size = static_cast<DWORD>(value.data.size());
    const bool nameFits = value.name.size() < *lpcchValueName;
    const bool dataFits = !lpData || size <= *lpcbData;
    if (lpType) *lpType = value.type;
    if (!nameFits || !dataFits) {
        if (lpcbData) *lpcbData = size;
        return ERROR_MORE_DATA;
    }
    std::memcpy(lpValueName, value.name.c_str(), value.name.size() + 1);
    *lpcchValueName = static_cast<DWORD>(value.name.size());
    if (lpData) {
        std::memcpy(lpData, value.data.data(), size);
        TerminateString(value, lpData, *lpcbData);
    }
    if (lpcbData) *lpcbData = size;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExA(HKEY hKey, DWORD dwIndex, LPSTR lpName, LPDWORD lpcchName,
                             LPDWORD lpReserved, LPSTR lpClass, LPDWORD lpcchClass,
                             PFILETIME lpftLastWriteTime) {
    if (!lpName || !lpcchName || lpReserved || (lpClass && !lpcchClass)) {
        return ERROR_INVALID_PARAMETER;
    }
    KeyCall call(hKey, KEY_ENUMERATE_SUB_KEYS);
    if (call.status != ERROR_SUCCESS) return call.status;
    Key* key = call.key;
    if (dwIndex >= key->SubKeys().size()) return ERROR_NO_MORE_ITEMS;
    const std::string& name = key->SubKeys()[dwIndex]->Name();
    if (name.size() >= *lpcchName || (lpClass && *lpcchClass < 1)) return ERROR_MORE_DATA;
    std::memcpy(lpName, name.c_str(), name.size() + 1);
    *lpcchName = static_cast<DWORD>(name.size());
    if (lpClass) {
        lpClass[0] = '\0';
        *lpcchClass = 0;
    }
    if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{0, 0};
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    if (IsLocalMachine(hKey)) return ERROR_SUCCESS;
    return registry.handles.erase(reinterpret_cast<std::uintptr_t>(hKey)) ? ERROR_SUCCESS
                                                                          : ERROR_INVALID_HANDLE;
}

// ---- Transactions ----------------------------------------------------------------------

DWORD WINAPI GetLastError(void) {
    return lastError;
}

void WINAPI SetLastError(DWORD dwErrCode) {
    lastError = dwErrCode;
}

namespace {

// The transaction a commit or rollback names, while it can still end; otherwise null, with
// the reason in the last error.
std::shared_ptr<Transaction> ActiveTransaction(Registry& registry, HANDLE handle) {
    std::shared_ptr<Transaction> transaction = FindTransaction(registry, handle);
    if (!transaction) {
        lastError = ERROR_INVALID_HANDLE;
    } else if (!IsActive(*transaction)) {
        lastError = transaction->state == Transaction::State::kCommitted
                        ? ERROR_TRANSACTION_ALREADY_COMMITTED
                        : ERROR_TRANSACTION_ALREADY_ABORTED;
        transaction.reset();
    }
    return transaction;
}

}  // namespace

HANDLE WINAPI CreateTransaction(LPSECURITY_ATTRIBUTES, LPGUID UOW, DWORD, DWORD, DWORD,
                                DWORD Timeout, LPWSTR) {
    if (UOW) {
        lastError = ERROR_INVALID_PARAMETER;
        return INVALID_HANDLE_VALUE;
    }
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    auto transaction = std::make_shared<Transaction>();
    if (Timeout != 0 && Timeout != INFINITE) {
        transaction->deadline =
            std::chrono::steady_clock::now() + std::chrono::milliseconds(Timeout);
    }
    const std::uintptr_t id = registry.nextHandle;
    registry.nextHandle += 4;
    registry.transactions.emplace(id, std::move(transaction));
    return reinterpret_cast<HANDLE>(id);
}

BOOL WINAPI CommitTransaction(HANDLE TransactionHandle) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const std::shared_ptr<Transaction> transaction = ActiveTransaction(registry, TransactionHandle);
    if (!transaction) return FALSE;
    LONG status = ERROR_SUCCESS;
    if (!transaction->log.empty()) {
        // Replayed onto a copy, so that an operation that no longer applies leaves the
        // tree as it was.
        status = registry.store.Modify([&](Key& root, bool& changed) -> long {
            // A view built from this very tree, with every operation applied, is what the
            // replay would make: it becomes the tree instead of being built a second time.
            if (transaction->view && transaction->viewExact &&
                transaction->builtFrom.get() == &root &&
                transaction->builtAt == registry.storeChanges) {
                changed = transaction->viewChanged;
                root = std::move(*transaction->view);
                return ERROR_SUCCESS;
            }
            Key result = root.Copy();
            for (const Operation& operation : transaction->log) {
                const LONG applied = Apply(result, operation, changed);
                // Deleting what others deleted meanwhile ends the same.
                if (applied != ERROR_SUCCESS && applied != ERROR_FILE_NOT_FOUND) return applied;
            }
            root = std::move(result);
            return ERROR_SUCCESS;
        });
        ++registry.storeChanges;
        ++registry.keysDestroyed;
    }
    if (status != ERROR_SUCCESS) {
        End(*transaction, Transaction::State::kRolledBack);
        lastError = static_cast<DWORD>(status);
        return FALSE;
    }
    for (const Operation& operation : transaction->log) {
        if (operation.kind == Operation::kDeleteTree) {
            MarkDeleted(registry, operation, nullptr);
        }
    }
    End(*transaction, Transaction::State::kCommitted);
    return TRUE;
}

BOOL WINAPI RollbackTransaction(HANDLE TransactionHandle) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const std::shared_ptr<Transaction> transaction = ActiveTransaction(registry, TransactionHandle);
    if (!transaction) return FALSE;
    End(*transaction, Transaction::State::kRolledBack);
    return TRUE;
}

BOOL WINAPI CloseHandle(HANDLE hObject) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const auto found = registry.transactions.find(reinterpret_cast<std::uintptr_t>(hObject));
    if (found == registry.transactions.end()) {
        lastError = ERROR_INVALID_HANDLE;
        return FALSE;
    }
    // Whatever was not committed is rolled back.
    Transaction& transaction = *found->second;
    if (transaction.state == Transaction::State::kActive) {
        End(transaction, Transaction::State::kRolledBack);
    }
    registry.transactions.erase(found);
    return TRUE;
}

namespace marrowick::platform {

HiveFileStatus GetHiveFileStatus() {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    registry.store.Refresh();
    return {registry.store.Path(), registry.store.FailedLine()};
}

long DescribeHiveFile(HiveFile& file) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    return registry.store.Describe(file);
}

std::string HiveFileProblem() {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    return registry.store.Problem();
}

}  // namespace marrowick::platform

// ---- The store's own transaction calls --------------------------------------------------

namespace {

// One change of a run on the transaction's view of its key, recorded as steps of the run
// for the commit's replay. Whether it alters anything is decided here, once, for every
// caller.
LONG ChangeValue(Registry& registry, Transaction& transaction, OpenKey& handle, Key& key,
                 const ValueChange& change, ValueSteps& steps, std::size_t& roomToMake,
                 std::vector<ValueFound>& found) {
    const bool set = change.action == ValueChange::kSet;
    if (set && !IsStorableName(change.name, kMaxValueNameCharacters)) {
        return ERROR_INVALID_PARAMETER;
    }
    const Expect& expect = change.expect;
    if (expect.kind > Expect::kEqual) return ERROR_INVALID_PARAMETER;
    const Value* stored = key.FindValue(change.name);
    if (expect.kind != Expect::kAnything) {
        if (!Holds(stored, expect.kind, expect.type, expect.data)) {
            return ERROR_TRANSACTION_INTEGRITY_VIOLATED;
        }
        steps.Add(ValueSteps::Step::kExpect, change.name, expect.type, expect.data, expect.kind);
    }
    const bool alters = set ? !stored || stored->type != change.type || stored->data != change.data
                            : stored != nullptr;
    ValueFound& finding = found.emplace_back();
    finding.alters = alters;
    if (stored)
        finding.before =
            marrowick::platform::RegFileValue{stored->name, stored->type, stored->data};
    if (!alters) return ERROR_SUCCESS;
    if (!(handle.access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    // The view is the latest tree (the call began by reading it): only the first change of
    // the transaction asks whether we may write.
    if (!transaction.mayWrite) {
        if (const LONG status = registry.store.CheckAccess(false, true); status != ERROR_SUCCESS) {
            return status;
        }
        transaction.mayWrite = true;
    }
    if (set) {
        steps.Add(ValueSteps::Step::kSet, change.name, change.type, change.data);
        // The first value the call adds makes room for as many as it has changes: a large
        // import grows the key's table once, not by doubling it again and again.
        if (!stored && roomToMake != 0) {
            key.MakeRoomForValues(roomToMake);
            roomToMake = 0;
        }
        key.SetFoundValue(stored, change.name, change.type, change.data);
    } else {
        steps.Add(ValueSteps::Step::kDelete, change.name, 0, {});
        key.DeleteValue(change.name);
    }
    transaction.viewChanged = true;
    return ERROR_SUCCESS;
}

}  // namespace

namespace marrowick::platform {

LONG ExpectInTransaction(HKEY hKey, std::string_view subKey, const std::string* valueName,
                         const Expect& expect, HANDLE hTransaction) {
    if (expect.kind == Expect::kAnything || expect.kind > Expect::kEqual ||
        (expect.kind == Expect::kEqual && !valueName)) {
        return ERROR_INVALID_PARAMETER;
    }
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    SubKeyTarget target;
    const std::string subKeyText(subKey);
    if (const LONG status =
            ResolveSubKeyIn(registry, hKey, subKeyText.c_str(), hTransaction, target);
        status != ERROR_SUCCESS) {
        return status;
    }
    if (!target.transaction) return ERROR_INVALID_PARAMETER;
    if (!IsActive(*target.transaction)) return ERROR_TRANSACTION_NOT_ACTIVE;
    if (const LONG status = registry.store.Refresh(); status != ERROR_SUCCESS) return status;
    Operation expectation{Operation::kExpect, std::move(target.path)};
    expectation.expect = expect.kind;
    expectation.ofKey = valueName == nullptr;
    if (valueName) expectation.name = *valueName;
    expectation.type = expect.type;
    expectation.data = expect.data;
    if (!Holds(*ViewOf(registry, *target.transaction), expectation)) {
        return ERROR_TRANSACTION_INTEGRITY_VIOLATED;
    }
    target.transaction->log.push_back(std::move(expectation));
    return ERROR_SUCCESS;
}

ValueRun ChangeValuesInTransaction(HKEY hKey, std::span<const ValueChange> changes) {
    ValueRun result;
    KeyCall call(hKey, KEY_QUERY_VALUE);
    if (call.status != ERROR_SUCCESS) {
        result.status = call.status;
        return result;
    }
    OpenKey* handle = call.handle;
    if (!handle->transaction) {
        result.status = ERROR_INVALID_PARAMETER;
        return result;
    }
    Transaction& transaction = *handle->transaction;
    // One entry in the log for the whole run; a deque never moves what it holds.
    Operation& run = transaction.log.emplace_back(
        Operation{.kind = Operation::kChangeValues, .path = handle->path});
    // A count that promises more than memory holds must not fail the call by itself.
    constexpr std::size_t kMostReserved = 1 << 16;
    const std::span<const ValueChange> reserved =
        changes.first(std::min(changes.size(), kMostReserved));
    run.values.Reserve(reserved);
    result.found.reserve(reserved.size());
    std::size_t roomToMake = reserved.size();
    for (; result.done < changes.size(); ++result.done) {
        result.status = ChangeValue(call.registry, transaction, *handle, *call.key,
                                    changes[result.done], run.values, roomToMake, result.found);
        if (result.status != ERROR_SUCCESS) break;
    }
    if (run.values.Empty()) transaction.log.pop_back();
    return result;
}

}  // namespace marrowick::platform
