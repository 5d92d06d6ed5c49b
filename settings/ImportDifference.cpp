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

// The positions of a key's values by folded name: the names in a list and an open-addressed
// table of positions over their hashes, so that a key of thousands of values takes no
// allocation for each (short names live inside their strings).
class FoldedNames {
public:
    static constexpr std::size_t npos = std::size_t(-1);

    // The name's position, and whether it was added at the end now.
    std::pair<std::size_t, bool> FindOrAdd(std::string folded) {
        if (2 * (names_.size() + 1) > slots_.size()) Rebuild(2 * (names_.size() + 1));
        const std::size_t slot = Probe(folded);
        if (slots_[slot] != 0) return {slots_[slot] - 1, false};
        names_.push_back(std::move(folded));
        slots_[slot] = static_cast<std::uint32_t>(names_.size());
        return {names_.size() - 1, true};
    }
    std::size_t Find(std::string_view folded) const {
        if (slots_.empty()) return npos;
        const std::size_t slot = Probe(folded);
        return slots_[slot] != 0 ? slots_[slot] - 1 : npos;
    }
    void Reserve(std::size_t count) {
        names_.reserve(count);
        if (2 * count > slots_.size()) Rebuild(2 * count);
    }
    void Clear() {
        names_.clear();
        slots_.clear();
    }

private:
    // The slot holding the name, or the empty one where it would go.
    std::size_t Probe(std::string_view folded) const {
        const std::size_t mask = slots_.size() - 1;
        const std::size_t hash = std::hash<std::string_view>{}(folded);
        std::size_t slot = hash & mask;
        while (slots_[slot] != 0 && names_[slots_[slot] - 1] != folded) slot = (slot + 1) & mask;
        return slot;
    }
    // Room for at least `size` slots, a power of two.
    void Rebuild(std::size_t size) {
        std::size_t slots = 16;
        while (slots < size) slots *= 2;
        slots_.assign(slots, 0);
        for (std::size_t i = 0; i < names_.size(); ++i) {
            slots_[Probe(names_[i])] = static_cast<std::uint32_t>(i + 1);
        }
    }

    std::vector<std::string> names_;
    std::vector<std::uint32_t> slots_;  // a position plus one; 0 is empty
};

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
        FoldedNames index;  // positions in values
        // Keys below this one that may be present, for deleting the tree; `listed` says
        // whether this key is in its parent's list.
        std::vector<std::size_t> children;
        bool listed = false;

        const RegFileValue* Find(const std::string& name) const {
            const std::size_t found = index.Find(FoldName(name));
            return found == FoldedNames::npos ? nullptr : values[found].Get();
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
            key.index.Clear();
            for (const std::size_t child : key.children) keys_[child].listed = false;
            pending.insert(pending.end(), key.children.begin(), key.children.end());
            key.children.clear();
        }
    }
    // A present value keeps the spelling of its name; a deleted one takes the new.
    static void Set(Key& key, Slot slot) {
        const auto [position, added] = key.index.FindOrAdd(FoldName(slot.Get()->name));
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
        key.index.Reserve(wanted);
    }
    static void Delete(Key& key, const std::string& name) {
        const std::size_t found = key.index.Find(FoldName(name));
        if (found != FoldedNames::npos) key.values[found] = {};
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
