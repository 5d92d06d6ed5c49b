// Registry transactions: their log of changes, the view they work on and the replay that
// commits them.
#include "registry_state.h"

namespace marrowick::platform::registry {

void End(Transaction& transaction, Transaction::State state) {
    transaction.state = state;
    transaction.log.clear();
    transaction.view.reset();
    transaction.builtFrom.reset();
}

bool IsActive(Transaction& transaction) {
    if (transaction.state == Transaction::State::kActive && transaction.deadline &&
        std::chrono::steady_clock::now() >= *transaction.deadline) {
        End(transaction, Transaction::State::kRolledBack);
    }
    return transaction.state == Transaction::State::kActive;
}

bool ViewIsCurrent(Registry& registry, const Transaction& transaction) {
    return transaction.view && transaction.builtFrom == registry.store.Root() &&
           transaction.builtAt == registry.storeChanges;
}

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

bool Holds(Key& root, const Operation& expectation) {
    const Key* key = Walk(root, expectation.path);
    if (expectation.ofKey) return (key != nullptr) == (expectation.expect != Expect::kAbsent);
    return Holds(key ? key->FindValue(expectation.name) : nullptr, expectation.expect,
                 expectation.type, expectation.data);
}

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

}  // namespace marrowick::platform::registry

using namespace marrowick::platform;
using namespace marrowick::platform::registry;

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

LONG ExpectInTransaction(HKEY hKey, std::string_view subKey, const std::string* valueName,
                         const Expect& expect, HANDLE hTransaction) {
    if (expect.kind == Expect::kAnything || expect.kind > Expect::kEqual ||
        (expect.kind == Expect::kEqual && !valueName)) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string subKeyText(subKey);
    SubKeyCall call(hKey, subKeyText.c_str(), hTransaction);
    if (call.status != ERROR_SUCCESS) return call.status;
    Registry& registry = call.registry;
    SubKeyTarget& target = call.target;
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

}  // namespace marrowick::platform
