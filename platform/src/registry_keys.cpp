// The registry functions on keys and values, and the handles that name keys.
#include "registry_state.h"

namespace marrowick::platform::registry {

Registry& TheRegistry() {
    static Registry* registry = new Registry;  // never destroyed: usable during exit
    return *registry;
}

thread_local DWORD lastError = ERROR_SUCCESS;

bool IsLocalMachine(HKEY key) {
    return (reinterpret_cast<std::uintptr_t>(key) & 0xFFFFFFFFu) == kLocalMachine;
}

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

OpenKey* FindHandle(Registry& registry, HKEY key) {
    if (IsLocalMachine(key)) return &registry.root;
    const auto found = registry.handles.find(reinterpret_cast<std::uintptr_t>(key));
    return found == registry.handles.end() ? nullptr : &found->second;
}

std::shared_ptr<Transaction> FindTransaction(Registry& registry, HANDLE handle) {
    const auto found = registry.transactions.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == registry.transactions.end() ? nullptr : found->second;
}

Key* Walk(Key& from, const KeyPath& path) {
    Key* key = &from;
    for (const std::string& name : path) {
        key = key->FindSubKey(name);
        if (!key) return nullptr;
    }
    return key;
}

LONG RefreshStore(Registry& registry) {
    // Held through the call, so that a tree read anew is never taken for the old one at
    // the same address.
    const std::shared_ptr<Key> before = registry.store.Root();
    const LONG status = registry.store.Refresh();
    if (registry.store.Root() != before) ++registry.generation;
    return status;
}

LONG ModifyStore(Registry& registry, const std::function<long(Key& root, bool& changed)>& change) {
    const LONG status = registry.store.Modify(change);
    ++registry.generation;
    return status;
}

Key& TreeOf(Registry& registry, OpenKey& handle) {
    return handle.transaction ? ViewOf(registry, *handle.transaction) : *registry.store.Root();
}

Key* Locate(Registry& registry, OpenKey& handle) {
    if (handle.cachedAt != registry.generation) {
        Key& tree = TreeOf(registry, handle);  // may build a view, and so move the generation
        handle.cached = Walk(tree, handle.path);
        handle.cachedAt = registry.generation;
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

void MarkDeleted(Registry& registry, const Operation& deletion, const Transaction* transaction) {
    for (auto& [id, handle] : registry.handles) {
        if (handle.transaction.get() == transaction &&
            IsWithin(handle.path, deletion.path, !deletion.keepKey)) {
            handle.deleted = true;
        }
    }
}

// The transaction a handle works in must still be open.
LONG CheckTransaction(Registry& registry, OpenKey& handle) {
    if (handle.transaction && !IsActive(registry, *handle.transaction)) {
        return ERROR_TRANSACTION_NOT_ACTIVE;
    }
    return ERROR_SUCCESS;
}

LONG Prepare(Registry& registry, HKEY hKey, REGSAM needed, OpenKey*& handle, Key*& key) {
    handle = FindHandle(registry, hKey);
    if (!handle) return ERROR_INVALID_HANDLE;
    if ((handle->access & needed) != needed) return ERROR_ACCESS_DENIED;
    if (handle->deleted) return ERROR_KEY_DELETED;
    if (const LONG status = CheckTransaction(registry, *handle); status != ERROR_SUCCESS) {
        return status;
    }
    if (const LONG status = RefreshStore(registry); status != ERROR_SUCCESS) return status;
    key = Locate(registry, *handle);
    return key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

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
        if (target.transaction && !IsActive(registry, *target.transaction)) {
            return ERROR_TRANSACTION_NOT_ACTIVE;
        }
        if (const LONG status = RefreshStore(registry); status != ERROR_SUCCESS) return status;
        Key& tree =
            target.transaction ? ViewOf(registry, *target.transaction) : *registry.store.Root();
        target.baseKey = Walk(tree, target.base->path);
        if (!target.baseKey) return ERROR_KEY_DELETED;
    } else if (const LONG status = Prepare(registry, hKey, 0, target.base, target.baseKey);
               status != ERROR_SUCCESS) {
        return status;
    }
    return Join(target.base->path, target.relative, target.path);
}

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

LONG ChangeThrough(Registry& registry, OpenKey& handle, Operation operation) {
    if (handle.deleted) return ERROR_KEY_DELETED;
    bool changed = false;
    const LONG status = Change(registry, handle.transaction, std::move(operation), changed);
    if (status == ERROR_KEY_DELETED) handle.deleted = true;
    return status;
}

}  // namespace marrowick::platform::registry

using namespace marrowick::platform;
using namespace marrowick::platform::registry;

namespace {

// Opens the sub-key or, with `create`, creates what is missing of it; in the transaction
// given, else in the open key's.
LONG OpenOrCreateKeyIn(HKEY hKey, LPCSTR lpSubKey, REGSAM samDesired, PHKEY phkResult, bool create,
                       LPDWORD lpdwDisposition, HANDLE hTransaction) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    *phkResult = nullptr;
    SubKeyCall call(hKey, lpSubKey, hTransaction);
    if (call.status != ERROR_SUCCESS) return call.status;
    Registry& registry = call.registry;
    SubKeyTarget& target = call.target;
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    if (!Walk(*target.baseKey, target.relative)) {
        if (!create) return ERROR_FILE_NOT_FOUND;
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
    return OpenOrCreateKeyIn(hKey, lpSubKey, samDesired, phkResult, false, nullptr, nullptr);
}

LSTATUS WINAPI RegOpenKeyTransactedA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired,
                                     PHKEY phkResult, HANDLE hTransaction, PVOID) {
    if (!hTransaction) {
        if (phkResult) *phkResult = nullptr;
        return ERROR_INVALID_HANDLE;
    }
    return OpenOrCreateKeyIn(hKey, lpSubKey, samDesired, phkResult, false, nullptr, hTransaction);
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
    return OpenOrCreateKeyIn(hKey, lpSubKey, samDesired, phkResult, true, lpdwDisposition, nullptr);
}

LSTATUS WINAPI RegCreateKeyTransactedA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD,
                                       REGSAM samDesired, const LPSECURITY_ATTRIBUTES,
                                       PHKEY phkResult, LPDWORD lpdwDisposition,
                                       HANDLE hTransaction, PVOID) {
    if (!hTransaction) {
        if (phkResult) *phkResult = nullptr;
        return ERROR_INVALID_HANDLE;
    }
    return OpenOrCreateKeyIn(hKey, lpSubKey, samDesired, phkResult, true, lpdwDisposition,
                             hTransaction);
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
    Operation setting{.kind = Operation::kChangeValues, .path = handle->path};
    setting.AddStep(ValueStep::kSet, name, dwType,
                    {reinterpret_cast<const char*>(lpData), lpData ? cbData : 0});
    return ChangeThrough(registry, *handle, std::move(setting));
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    OpenKey* handle = FindHandle(registry, hKey);
    if (!handle) return ERROR_INVALID_HANDLE;
    if (!(handle->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    Operation deletion{.kind = Operation::kChangeValues, .path = handle->path};
    deletion.AddStep(ValueStep::kDelete, lpValueName ? lpValueName : "", 0, {});
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
    SubKeyCall call(hKey, lpSubKey, nullptr);
    if (call.status != ERROR_SUCCESS) return call.status;
    Registry& registry = call.registry;
    SubKeyTarget& target = call.target;
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
    const bool walkingOn = handle && !handle->deleted && handle->cached &&
                           handle->cachedAt == registry.generation && dwIndex > 0 &&
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

namespace marrowick::platform {

HiveFileStatus GetHiveFileStatus() {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    RefreshStore(registry);
    return {registry.store.Path(), registry.store.FailedLine()};
}

long DescribeHiveFile(HiveFile& file) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const std::shared_ptr<Key> before = registry.store.Root();  // see RefreshStore
    const long status = registry.store.Describe(file);
    if (registry.store.Root() != before) ++registry.generation;
    return status;
}

HiveProblem GetHiveProblem() {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    return registry.store.Problem();
}

}  // namespace marrowick::platform
