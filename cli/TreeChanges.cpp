#include "stdafx.h"

#include "TreeChanges.h"

#include <map>
#include <string>

namespace marrowick::cli {

namespace {

using platform::FoldName;
using platform::RegFileKey;
using platform::RegFileValue;

std::map<std::string, const RegFileKey*> ByFoldedPath(const std::vector<RegFileKey>& keys) {
    std::map<std::string, const RegFileKey*> byPath;
    for (const RegFileKey& key : keys) byPath.emplace(FoldName(key.path), &key);
    return byPath;
}

std::map<std::string, const RegFileValue*> ByFoldedName(const RegFileKey* key) {
    std::map<std::string, const RegFileValue*> byName;
    if (key) {
        for (const RegFileValue& value : key->values) byName.emplace(FoldName(value.name), &value);
    }
    return byName;
}

// The value changes of one key, in the order `after` (then `before`) lists them.
void ValueChanges(const RegFileKey* before, const RegFileKey* after, std::vector<Change>& changes) {
    const std::string& path = after ? after->path : before->path;
    const auto old = ByFoldedName(before);
    const auto now = ByFoldedName(after);
    if (after) {
        for (const RegFileValue& value : after->values) {
            const auto found = old.find(FoldName(value.name));
            const RegFileValue* previous = found == old.end() ? nullptr : found->second;
            if (previous && previous->name == value.name && previous->type == value.type &&
                previous->data == value.data) {
                continue;
            }
            Change change = SetValueChange(path, value.name, value);
            if (previous) change.oldValue = *previous;
            changes.push_back(std::move(change));
        }
    }
    if (before) {
        for (const RegFileValue& value : before->values) {
            if (now.contains(FoldName(value.name))) continue;
            Change change = DeleteValueChange(path, value.name);
            change.oldValue = value;
            changes.push_back(std::move(change));
        }
    }
}

}  // namespace

std::vector<Change> ChangesBetween(const std::vector<RegFileKey>& before,
                                   const std::vector<RegFileKey>& after) {
    std::vector<Change> changes;
    const auto old = ByFoldedPath(before);
    const auto now = ByFoldedPath(after);
    for (const RegFileKey& key : after) {
        const auto found = old.find(FoldName(key.path));
        if (found == old.end()) changes.push_back(KeyChange(Change::kCreateKey, key.path));
        ValueChanges(found == old.end() ? nullptr : found->second, &key, changes);
    }
    for (auto key = before.rbegin(); key != before.rend(); ++key) {
        if (now.contains(FoldName(key->path))) continue;
        ValueChanges(&*key, nullptr, changes);
        changes.push_back(KeyChange(Change::kDeleteKey, key->path));
    }
    return changes;
}

}  // namespace marrowick::cli
