// Registry transactions: their log of changes, the view they work on and the replay that
// commits them.
#include "registry_state.h"

namespace marrowick::platform::registry {

void End(Registry& registry, Transaction& transaction, Transaction::State state) {
    transaction.state = state;
    transaction.log.clear();
    transaction.view.reset();
    transaction.viewAt = kNoGeneration;
    ++registry.generation;  // handles into the view go with it
}

bool IsActive(Registry& registry, Transaction& transaction) {
    if (transaction.state == Transaction::State::kActive && transaction.deadline &&
        std::chrono::steady_clock::now() >= *transaction.deadline) {
        End(registry, transaction, Transaction::State::kRolledBack);
    }
    return transaction.state == Transaction::State::kActive;
}

Key& ViewOf(Registry& registry, Transaction& transaction) {
    if (transaction.viewAt != registry.generation) {
        auto view = std::make_unique<Key>(registry.store.Root()->Copy());
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
        transaction.viewAt = ++registry.generation;  // the old view goes
    }
    return *transaction.view;
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

LONG ApplyStep(Key* key, const Value* stored, const Operation& run, const ValueStep& step,
               bool& changed) {
    if (step.kind == ValueStep::kExpect) {
        return Holds(stored, step.expect, step.type, run.Data(step))
                   ? ERROR_SUCCESS
                   : ERROR_TRANSACTION_INTEGRITY_VIOLATED;
    }
    if (!key) return ERROR_KEY_DELETED;
    if (step.kind == ValueStep::kSet) {
        key->SetFoundValue(stored, run.Name(step), step.type, run.Data(step));
    } else if (stored) {
        key->DeleteValue(run.Name(step));
    } else {
        return ERROR_FILE_NOT_FOUND;
    }
    changed = true;
    return ERROR_SUCCESS;
}

LONG Change(Registry& registry, const std::shared_ptr<Transaction>& transaction,
            Operation operation, bool& changed) {
    changed = false;
    const bool deletesKeys = operation.kind == Operation::kDeleteTree;
    if (!transaction) {
        const LONG status = ModifyStore(registry, [&](Key& root, bool& altered) -> long {
            const long result = Apply(root, operation, altered);
            changed = altered;
            return result;
        });
        if (status == ERROR_SUCCESS && deletesKeys) MarkDeleted(registry, operation, nullptr);
        return status;
    }
    if (!IsActive(registry, *transaction)) return ERROR_TRANSACTION_NOT_ACTIVE;
    // A change goes onto the view as the transaction last looked at it: every read brings
    // the view up to date with other writers first, and the commit replays the change on
    // the latest tree under the lock, asking again whether we may write. So only a view
    // that is not current, or the first change, looks at the file again, not every value
    // of an import.
    if (!transaction->mayWrite || transaction->viewAt != registry.generation) {
        if (const LONG status = RefreshStore(registry); status != ERROR_SUCCESS) return status;
        // Refused now rather than at the commit, where the caller could no longer tell
        // which change it was.
        if (const LONG status = registry.store.CheckAccess(false, true); status != ERROR_SUCCESS) {
            return status;
        }
        transaction->mayWrite = true;
    }
    const LONG status = Apply(ViewOf(registry, *transaction), operation, changed);
    // Keys gone from the view: pointers to them went stale, the view itself did not.
    if (deletesKeys) transaction->viewAt = ++registry.generation;
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
    if (operation.kind == Operation::kDeleteTree && !operation.keepKey) {
        if (operation.path.empty()) return ERROR_ACCESS_DENIED;
        const KeyPath parentPath(operation.path.begin(), operation.path.end() - 1);
        Key* parent = Walk(root, parentPath);
        if (!parent || !parent->DeleteSubKey(operation.path.back())) return ERROR_FILE_NOT_FOUND;
        changed = true;
        return ERROR_SUCCESS;
    }
    Key* key = Walk(root, operation.path);
    switch (operation.kind) {
        case Operation::kExpectKey:
            return (key != nullptr) == (operation.expect != Expect::kAbsent)
                       ? ERROR_SUCCESS
                       : ERROR_TRANSACTION_INTEGRITY_VIOLATED;
        case Operation::kChangeValues: {
            // Every step is made: a deletion that found nothing (others deleted the value
            // meanwhile) ends the same and stops nothing.
            LONG result = ERROR_SUCCESS;
            for (const ValueStep& step : operation.values) {
                const Value* stored = key ? key->FindValue(operation.Name(step)) : nullptr;
                const LONG status = ApplyStep(key, stored, operation, step, changed);
                if (status == ERROR_FILE_NOT_FOUND) {
                    result = status;
                } else if (status != ERROR_SUCCESS) {
                    return status;
                }
            }
            return result;
        }
        case Operation::kCreateKey:
            if (!key) return ERROR_KEY_DELETED;
            for (const std::string& name : operation.below) {
                bool added = false;
                key = &key->OpenOrAddSubKey(name, &added);
                changed = changed || added;
            }
            return ERROR_SUCCESS;
        case Operation::kDeleteTree:
            if (!key) return ERROR_KEY_DELETED;
            changed = changed || key->ValueCount() != 0 || key->SubKeyCount() != 0;
            key->Clear();
            return ERROR_SUCCESS;
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
    } else if (!IsActive(registry, *transaction)) {
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
        // Held through the commit, so that a tree read anew is never taken for this one at
        // the same address.
        const std::shared_ptr<Key> seen = registry.store.Root();
        const bool viewCurrent = transaction->viewAt == registry.generation;
        status = ModifyStore(registry, [&](Key& root, bool& changed) -> long {
            // A current view of this very tree, with every operation applied, is what the
            // replay would make: it becomes the tree instead of being built a second time.
            if (viewCurrent && transaction->viewExact && &root == seen.get()) {
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
    }
    if (status != ERROR_SUCCESS) {
        End(registry, *transaction, Transaction::State::kRolledBack);
        lastError = static_cast<DWORD>(status);
        return FALSE;
    }
    for (const Operation& operation : transaction->log) {
        if (operation.kind == Operation::kDeleteTree) {
            MarkDeleted(registry, operation, nullptr);
        }
    }
    End(registry, *transaction, Transaction::State::kCommitted);
    return TRUE;
}

BOOL WINAPI RollbackTransaction(HANDLE TransactionHandle) {
    Registry& registry = TheRegistry();
    std::lock_guard lock(registry.mutex);
    const std::shared_ptr<Transaction> transaction = ActiveTransaction(registry, TransactionHandle);
    if (!transaction) return FALSE;
    End(registry, *transaction, Transaction::State::kRolledBack);
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
        End(registry, transaction, Transaction::State::kRolledBack);
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
    if (!IsActive(registry, *target.transaction)) return ERROR_TRANSACTION_NOT_ACTIVE;
    if (const LONG status = RefreshStore(registry); status != ERROR_SUCCESS) return status;
    Operation expectation{.kind = Operation::kExpectKey, .path = std::move(target.path)};
    if (valueName) {
        expectation.kind = Operation::kChangeValues;
        expectation.AddStep(ValueStep::kExpect, *valueName, expect.type, expect.data, expect.kind);
    } else {
        expectation.expect = expect.kind;
    }
    bool changed = false;
    if (const LONG status = Apply(ViewOf(registry, *target.transaction), expectation, changed);
        status != ERROR_SUCCESS) {
        return status;
    }
    target.transaction->log.push_back(std::move(expectation));
    return ERROR_SUCCESS;
}

}  // namespace marrowick::platform
