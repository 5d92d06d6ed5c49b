// A run of value changes in one key of a transaction, made in one call.
#include "registry_state.h"

using namespace marrowick::platform;
using namespace marrowick::platform::registry;

namespace {

// One change of a run on the transaction's view of its key, recorded as steps of the run
// for the commit's replay. Whether it alters anything is decided here, once, for every
// caller.
LONG ChangeValue(Registry& registry, Transaction& transaction, OpenKey& handle, Key& key,
                 const ValueChange& change, Operation& run, std::size_t& roomToMake,
                 std::vector<ValueFound>& found) {
    const bool set = change.action == ValueChange::kSet;
    if (set && !IsStorableName(change.name, kMaxValueNameCharacters)) {
        return ERROR_INVALID_PARAMETER;
    }
    const Expect& expect = change.expect;
    if (expect.kind > Expect::kEqual) return ERROR_INVALID_PARAMETER;
    const Value* stored = key.FindValue(change.name);
    if (expect.kind != Expect::kAnything) {
        const ValueStep& expectation =
            run.AddStep(ValueStep::kExpect, change.name, expect.type, expect.data, expect.kind);
        bool changed = false;
        if (const LONG status = ApplyStep(&key, stored, run, expectation, changed);
            status != ERROR_SUCCESS) {
            run.DropLastStep();
            return status;
        }
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
    // The first value the call adds makes room for as many as it has changes: a large
    // import grows the key's table once, not by doubling it again and again.
    if (set && !stored && roomToMake != 0) {
        key.MakeRoomForValues(roomToMake);
        roomToMake = 0;
    }
    const ValueStep& step =
        set ? run.AddStep(ValueStep::kSet, change.name, change.type, change.data)
            : run.AddStep(ValueStep::kDelete, change.name, 0, {});
    bool changed = false;
    const LONG status = ApplyStep(&key, stored, run, step, changed);
    transaction.viewChanged |= changed;
    return status;
}

}  // namespace

namespace marrowick::platform {

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
    // Room for the steps of these changes at once: a run's steps and bytes do not grow by
    // copying themselves. Its expectations may double the steps.
    std::size_t bytes = 0;
    for (const ValueChange& change : reserved) {
        bytes += change.name.size() * 2 + change.data.size() + change.expect.data.size();
    }
    run.values.reserve(reserved.size() * 2);
    run.bytes.reserve(std::min(bytes, Operation::kMostReservedBytes));
    result.found.reserve(reserved.size());
    std::size_t roomToMake = reserved.size();
    for (; result.done < changes.size(); ++result.done) {
        result.status = ChangeValue(call.registry, transaction, *handle, *call.key,
                                    changes[result.done], run, roomToMake, result.found);
        if (result.status != ERROR_SUCCESS) break;
    }
    if (run.values.empty()) transaction.log.pop_back();
    return result;
}

}  // namespace marrowick::platform
