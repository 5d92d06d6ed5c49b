#include "hive_tree.h"

#include "case_folding.h"
#include "utf8.h"

namespace marrowick::platform {

bool IsStorableName(std::string_view name, std::size_t maxCharacters) {
    constexpr std::size_t kMaxBytesPerCharacter = 4;
    return name.size() <= kMaxBytesPerCharacter * maxCharacters &&
           name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos &&
           Utf8CharacterCount(name) <= maxCharacters;
}

namespace {

// Removes the entry of that name from a list kept in creation order and its index by
// folded name; the entries after it move up one place.
template <typename Entry>
bool EraseByName(std::vector<Entry>& entries, std::unordered_map<std::string, std::size_t>& index,
                 std::string_view name) {
    const auto found = index.find(FoldCase(name));
    if (found == index.end()) return false;
    const std::size_t position = found->second;
    index.erase(found);
    entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(position));
    for (auto& [folded, place] : index) {
        if (place > position) --place;
    }
    return true;
}

}  // namespace

Key* Key::FindSubKey(std::string_view name) const {
    const auto found = subKeyIndex_.find(FoldCase(name));
    return found == subKeyIndex_.end() ? nullptr : subKeys_[found->second].get();
}

Key& Key::OpenOrAddSubKey(std::string_view name) {
    const auto [slot, added] = subKeyIndex_.try_emplace(FoldCase(name), subKeys_.size());
    if (added) subKeys_.push_back(std::make_unique<Key>(std::string(name)));
    return *subKeys_[slot->second];
}

bool Key::DeleteSubKey(std::string_view name) {
    return EraseByName(subKeys_, subKeyIndex_, name);
}

void Key::Clear() {
    subKeys_.clear();
    subKeyIndex_.clear();
    values_.clear();
    valueIndex_.clear();
}

const Value* Key::FindValue(std::string_view name) const {
    const auto found = valueIndex_.find(FoldCase(name));
    return found == valueIndex_.end() ? nullptr : &values_[found->second];
}

void Key::SetValue(std::string_view name, std::uint32_t type, std::string data) {
    const auto [slot, added] = valueIndex_.try_emplace(FoldCase(name), values_.size());
    if (added) {
        values_.push_back(Value{std::string(name), type, std::move(data)});
    } else {
        Value& value = values_[slot->second];
        value.type = type;
        value.data = std::move(data);
    }
}

bool Key::DeleteValue(std::string_view name) {
    return EraseByName(values_, valueIndex_, name);
}

bool SameTree(const Key& left, const Key& right) {
    if (left.Name() != right.Name() || left.Values().size() != right.Values().size() ||
        left.SubKeys().size() != right.SubKeys().size()) {
        return false;
    }
    for (std::size_t i = 0; i < left.Values().size(); ++i) {
        const Value& a = left.Values()[i];
        const Value& b = right.Values()[i];
        if (a.name != b.name || a.type != b.type || a.data != b.data) return false;
    }
    for (std::size_t i = 0; i < left.SubKeys().size(); ++i) {
        if (!SameTree(*left.SubKeys()[i], *right.SubKeys()[i])) return false;
    }
    return true;
}

}  // namespace marrowick::platform
