// The seven registry functions, over the hive file of HKEY_LOCAL_MACHINE.
//
// A handle names its key by path, not by a node of the tree: the tree is re-read when
// another process changes the hive, and a key that has gone meanwhile is reported as
// ERROR_KEY_DELETED. Every call holds one process-wide mutex.
#include <windows.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "hive_store.h"

using marrowick::platform::HiveStore;
using marrowick::platform::IsStorableName;
using marrowick::platform::Key;
using marrowick::platform::kMaxKeyDepth;
using marrowick::platform::kMaxKeyNameCharacters;
using marrowick::platform::kMaxValueNameCharacters;
using marrowick::platform::Value;

namespace {

constexpr REGSAM kReadRights = KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS | KEY_NOTIFY;
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK;

using KeyPath = std::vector<std::string>;

struct OpenKey {
    OpenKey(KeyPath path, REGSAM access) : path(std::move(path)), access(access) {}
    KeyPath path;
    REGSAM access;
    // The key in the tree last looked at; holding the tree keeps the pointer valid.
    std::shared_ptr<Key> tree;
    Key* cached = nullptr;
    // The index last enumerated, or -1. An enumeration that walks on from there is served
    // from the tree it started in: one look at the file per enumeration, and one version
    // of the key throughout.
    std::int64_t enumerated = -1;
};

struct Registry {
    std::mutex mutex;
    HiveStore store;
    std::unordered_map<std::uintptr_t, OpenKey> handles;
    std::uintptr_t nextHandle = 0x100;
    OpenKey root{KeyPath{}, KEY_ALL_ACCESS};
};

Registry& TheRegistry() {
    static Registry* registry = new Registry;  // never destroyed: usable during exit
    return *registry;
}

// "A\B\" -> {"A", "B"}. Trailing backslashes are accepted, a leading one is not; a path
// deeper than a key can be is refused before it is taken apart further.
LONG SplitPath(LPCSTR subKey, KeyPath& path) {
    std::string_view rest = subKey ? subKey : "";
    if (rest.starts_with('\\')) return ERROR_BAD_PATHNAME;
    while (!rest.empty() && rest.back() == '\\') rest.remove_suffix(1);
    while (!rest.empty()) {
        const std::size_t end = rest.find('\\');
        const std::string_view name = rest.substr(0, end);
        if (name.empty()) return ERROR_BAD_PATHNAME;
        if (!IsStorableName(name, kMaxKeyNameCharacters) || path.size() == kMaxKeyDepth) {
            return ERROR_INVALID_PARAMETER;
        }
        path.emplace_back(name);
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return ERROR_SUCCESS;
}

OpenKey* FindHandle(Registry& registry, HKEY key) {
    if (key == HKEY_LOCAL_MACHINE) return &registry.root;
    const auto found = registry.handles.find(reinterpret_cast<std::uintptr_t>(key));
    return found == registry.handles.end() ? nullptr : &found->second;
}

Key* Walk(Key& from, const KeyPath& path) {
    Key* key = &from;
    for (const std::string& name : path) {
        key = key->FindSubKey(name);
        if (!key) return nullptr;
    }
    return key;
}

// The key a handle names in the current tree, or null when it has been deleted. Changes
// made here only ever add keys to the tree, so a key once found stays valid in it.
Key* Locate(Registry& registry, OpenKey& handle) {
    if (handle.tree != registry.store.Root() || !handle.cached) {
        handle.tree = registry.store.Root();
        handle.cached = Walk(*handle.tree, handle.path);
    }
    return handle.cached;
}

HKEY NewHandle(Registry& registry, KeyPath path, REGSAM access) {
    const std::uintptr_t id = registry.nextHandle;
    registry.nextHandle += 4;
    registry.handles.emplace(id, OpenKey(std::move(path), access));
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

// Finds the key a handle names after bringing the tree up to date.
LONG Prepare(Registry& registry, HKEY hKey, REGSAM needed, OpenKey*& handle, Key*& key) {
    handle = FindHandle(registry, hKey);
    if (!handle) return ERROR_INVALID_HANDLE;
    if ((handle->access & needed) != needed) return ERROR_ACCESS_DENIED;
    const LONG status = registry.store.Refresh();
    if (status != ERROR_SUCCESS) return status;
    key = Locate(registry, *handle);
    return key ? ERROR_SUCCESS : ERROR_KEY_DELETED;
}

// What a call that names a sub-key below an open key works on.
struct SubKeyTarget {
    OpenKey* base = nullptr;  // the open key
    Key* baseKey = nullptr;   // its key in the current tree
    KeyPath relative;         // the sub-key's path below it
    KeyPath path;             // the sub-key's whole path
};

// Checks the sub-key's path and the handle and brings the tree up to date; the caller
// holds the registry's lock.
LONG ResolveSubKey(Registry& registry, HKEY hKey, LPCSTR lpSubKey, SubKeyTarget& target) {
    if (const LONG status = SplitPath(lpSubKey, target.relative); status != ERROR_SUCCESS) {
        return status;
    }
    if (const LONG status = Prepare(registry, hKey, 0, target.base, target.baseKey);
        status != ERROR_SUCCESS) {
        return status;
    }
    return Join(target.base->path, target.relative, target.path);
}

LONG CheckAccess(HiveStore& store, REGSAM access) {
    return store.CheckAccess((access & kReadRights) != 0, (access & kWriteRights) != 0);
}

}  // namespace

LSTATUS WINAPI RegOpenKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, REGSAM samDesired,
                             PHKEY phkResult) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    SubKeyTarget target;
    if (const LONG status = ResolveSubKey(registry, hKey, lpSubKey, target);
        status != ERROR_SUCCESS) {
        return status;
    }
    if (!Walk(*target.baseKey, target.relative)) return ERROR_FILE_NOT_FOUND;
    if (const LONG status = CheckAccess(registry.store, samDesired); status != ERROR_SUCCESS) {
        return status;
    }
    *phkResult = NewHandle(registry, std::move(target.path), samDesired);
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExA(HKEY hKey, LPCSTR lpSubKey, DWORD, LPSTR, DWORD, REGSAM samDesired,
                               const LPSECURITY_ATTRIBUTES, PHKEY phkResult,
                               LPDWORD lpdwDisposition) {
    if (!phkResult) return ERROR_INVALID_PARAMETER;
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    SubKeyTarget target;
    if (const LONG status = ResolveSubKey(registry, hKey, lpSubKey, target);
        status != ERROR_SUCCESS) {
        return status;
    }
    DWORD disposition = REG_OPENED_EXISTING_KEY;
    if (!Walk(*target.baseKey, target.relative)) {
        // Creating needs the right to replace the hive, whatever access was asked for.
        const LONG status = registry.store.Modify([&](Key& root, bool& changed) -> long {
            Key* key = Walk(root, target.base->path);
            if (!key) return ERROR_KEY_DELETED;
            for (const std::string& name : target.relative) {
                Key* parent = key;
                const std::size_t before = parent->SubKeys().size();
                key = &parent->OpenOrAddSubKey(name);
                changed = changed || parent->SubKeys().size() != before;
            }
            // Another process may have created it since we looked.
            if (changed) disposition = REG_CREATED_NEW_KEY;
            return ERROR_SUCCESS;
        });
        if (status != ERROR_SUCCESS) return status;
    }
    if (const LONG status = CheckAccess(registry.store, samDesired); status != ERROR_SUCCESS) {
        return status;
    }
    *phkResult = NewHandle(registry, std::move(target.path), samDesired);
    if (lpdwDisposition) *lpdwDisposition = disposition;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExA(HKEY hKey, LPCSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType,
                                LPBYTE lpData, LPDWORD lpcbData) {
    if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    OpenKey* handle;
    Key* key;
    if (const LONG status = Prepare(registry, hKey, KEY_QUERY_VALUE, handle, key);
        status != ERROR_SUCCESS) {
        return status;
    }
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
    std::string data(reinterpret_cast<const char*>(lpData), lpData ? cbData : 0);
    return registry.store.Modify([&](Key& root, bool& changed) -> long {
        Key* key = Walk(root, handle->path);
        if (!key) return ERROR_KEY_DELETED;
        key->SetValue(name, dwType, std::move(data));
        changed = true;
        return ERROR_SUCCESS;
    });
}

LSTATUS WINAPI RegDeleteValueA(HKEY hKey, LPCSTR lpValueName) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    OpenKey* handle = FindHandle(registry, hKey);
    if (!handle) return ERROR_INVALID_HANDLE;
    if (!(handle->access & KEY_SET_VALUE)) return ERROR_ACCESS_DENIED;
    return registry.store.Modify([&](Key& root, bool& changed) -> long {
        Key* key = Walk(root, handle->path);
        if (!key) return ERROR_KEY_DELETED;
        changed = key->DeleteValue(lpValueName ? lpValueName : "");
        return changed ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
    });
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
    const bool walkingOn = handle && handle->cached && handle->tree == registry.store.Root() &&
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
    if (lpData) std::memcpy(lpData, value.data.data(), size);
    if (lpcbData) *lpcbData = size;
    return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    if (hKey == HKEY_LOCAL_MACHINE) return ERROR_SUCCESS;
    return registry.handles.erase(reinterpret_cast<std::uintptr_t>(hKey)) ? ERROR_SUCCESS
                                                                          : ERROR_INVALID_HANDLE;
}
