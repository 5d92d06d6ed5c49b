#include "stdafx.h"

#include "ImportDifference.h"

#include <algorithm>
#include <cstdint>
#include <functional>
#include <string_view>
#include <unordered_map>
#include <utility>

#include "SettingRules.h"

using marrowick::platform::FoldName;
using marrowick::platform::RegFileEntry;
using marrowick::platform::RegFileKey;
using marrowick::platform::RegFileValue;

namespace {

std::string Parent(const std::string& path) {
    const std::size_t end = path.rfind('\\');
    return end == std::string::npos ? std::string() : path.substr(0, end);
}

// A key tree in memory, changed as a file says, to learn what the file changes. Its values
// stay where they are, in the stored tree or in the file's statements, which outlive it.
class Model {
public:
    // A value from the file, one stored, or neither: deleted.
    struct Slot {
        RegFileValue* fromFile = nullptr;
        const RegFileValue* stored = nullptr;

        const RegFileValue* Get() const { return fromFile ? fromFile : stored; }
    };
    struct Key {
        std::string path;
        bool present = true;
        std::vector<Slot> values;
        std::unordered_map<std::string, std::size_t> index;  // folded name -> position in values
        // Keys below this one that may be present, for deleting the tree; `listed` says
        // whether this key is in its parent's list.
        std::vector<std::size_t> children;
        bool listed = false;

        const RegFileValue* Find(const std::string& name) const {
            const auto found = index.find(FoldName(name));
            return found == index.end() ? nullptr : values[found->second].Get();
        }
    };

    explicit Model(const std::vector<RegFileKey>& keys) {
        for (const RegFileKey& key : keys) {
            Key& added = Open(key.path);
            for (const RegFileValue& value : key.values) Set(added, {nullptr, &value});
        }
    }

    const std::vector<Key>& Keys() const { return keys_; }
    std::vector<Key>& Keys() { return keys_; }
    const Key* Find(const std::string& path) const {
        const auto found = index_.find(FoldName(path));
        return found == index_.end() || !keys_[found->second].present ? nullptr
                                                                      : &keys_[found->second];
    }

    // The key, made present with its parents up to the viewer's key.
    Key& Open(const std::string& path) { return keys_[OpenAt(path)]; }
    // Makes the key and everything below it absent. Each key is walked once per time it
    // was opened, so a file of many deletions costs no more than its length.
    void DeleteTree(std::string_view path) {
        const auto found = index_.find(FoldName(path));
        if (found == index_.end()) return;
        std::vector<std::size_t> pending{found->second};
        while (!pending.empty()) {
            Key& key = keys_[pending.back()];
            pending.pop_back();
            key.present = false;
            key.values.clear();
            key.index.clear();
            for (const std::size_t child : key.children) keys_[child].listed = false;
            pending.insert(pending.end(), key.children.begin(), key.children.end());
            key.children.clear();
        }
    }
    // A present value keeps the spelling of its name; a deleted one takes the new.
    static void Set(Key& key, Slot slot) {
        const auto [place, added] =
            key.index.try_emplace(FoldName(slot.Get()->name), key.values.size());
        const std::size_t position = place->second;
        if (added) {
            key.values.push_back(slot);
            return;
        }
        const RegFileValue* present = key.values[position].Get();
        if (present && slot.fromFile) slot.fromFile->name = present->name;
        key.values[position] = slot;
    }
    // Room for this many more values, growing as a vector does by itself.
    static void MakeRoom(Key& key, std::size_t more) {
        const std::size_t wanted = key.values.size() + more;
        if (wanted <= key.values.capacity()) return;
        key.values.reserve(std::max(wanted, 2 * key.values.capacity()));
        key.index.reserve(wanted);
    }
    static void Delete(Key& key, const std::string& name) {
        const auto found = key.index.find(FoldName(name));
        if (found != key.index.end()) key.values[found->second] = {};
    }

private:
    std::size_t OpenAt(const std::string& path) {
        const auto [slot, added] = index_.try_emplace(FoldName(path), keys_.size());
        const std::size_t position = slot->second;
        if (added) keys_.push_back({path, false, {}, {}, {}, false});
        // A present key's parents are present: nothing more to do.
        if (keys_[position].present) return position;
        keys_[position].present = true;
        const ViewerPlace place = PlaceOfKey(path);
        if (place != ViewerPlace::kViewer && place != ViewerPlace::kOutside) {
            const std::size_t parent = OpenAt(Parent(path));
            if (!keys_[position].listed) {
                keys_[parent].children.push_back(position);
                keys_[position].listed = true;
            }
        }
        return position;
    }

    std::vector<Key> keys_;
    std::unordered_map<std::string, std::size_t> index_;
};

}  // namespace

std::vector<Change> ChangesOfImport(const std::vector<RegFileKey>& current,
                                    std::vector<RegFileEntry>&& entries) {
    const Model before(current);
    Model after(current);
    Model::Key* key = nullptr;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        RegFileEntry& entry = entries[i];
        switch (entry.kind) {
            case RegFileEntry::kKey: {
                key = &after.Open(std::string(entry.keyPath));
                std::size_t values = 0;
                while (i + values + 1 < entries.size() &&
                       entries[i + values + 1].kind == RegFileEntry::kValue) {
                    ++values;
                }
                Model::MakeRoom(*key, values);
                break;
            }
            case RegFileEntry::kDeleteKey:
                after.DeleteTree(entry.keyPath);
                key = nullptr;
                break;
            case RegFileEntry::kValue:
                Model::Set(*key, {&entry.value, nullptr});
                break;
            case RegFileEntry::kDeleteValue:
                Model::Delete(*key, entry.value.name);
                break;
        }
    }
    // At most one change per key and per value on either side: reserved, so that a large
    // import builds its list without moving it.
    std::size_t most = 0;
    for (const std::vector<Model::Key>* keys : {&before.Keys(), &std::as_const(after).Keys()}) {
        for (const Model::Key& key : *keys) most += 1 + key.values.size();
    }
    std::vector<Change> changes;
    changes.reserve(most);
    for (const Model::Key& old : before.Keys()) {
        if (after.Find(old.path) || !before.Find(old.path)) continue;
        const std::string parent = Parent(old.path);
        if (PlaceOfKey(old.path) != ViewerPlace::kViewer && before.Find(parent) &&
            !after.Find(parent)) {
            continue;  // goes with its parent
        }
        changes.push_back(KeyChange(Change::kDeleteKey, old.path));
    }
    for (Model::Key& now : after.Keys()) {
        if (!now.present) continue;
        const Model::Key* old = before.Find(now.path);
        const SharedKeyPath path(old ? old->path : now.path);  // one copy for all its changes
        if (!old) changes.push_back(KeyChange(Change::kCreateKey, path));
        for (const Model::Slot& slot : now.values) {
            const RegFileValue* value = slot.Get();
            if (!value) continue;
            const RegFileValue* stored = old ? old->Find(value->name) : nullptr;
            if (stored && stored->type == value->type && stored->data == value->data) continue;
            Change& change = changes.emplace_back();
            change.kind = Change::kSetValue;
            change.keyPath = path;
            change.name = stored ? stored->name : value->name;
            // The file's statements are done with: their data moves into the changes.
            change.newValue = {change.name, value->type,
                               slot.fromFile ? std::move(slot.fromFile->data) : value->data};
            if (stored) change.oldValue = *stored;
        }
        if (!old) continue;
        for (const Model::Slot& slot : old->values) {
            const RegFileValue* value = slot.Get();
            if (value && !now.Find(value->name)) {
                Change change = DeleteValueChange(path, value->name);
                change.oldValue = *value;
                changes.push_back(std::move(change));
            }
        }
    }
    entries = {};  // gives back the statements' room before the changes are stored
    return changes;
}
