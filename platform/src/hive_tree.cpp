#include "hive_tree.h"

#include "case_folding.h"
#include "hive.h"
#include "utf8.h"

namespace marrowick::platform {

bool IsStorableName(std::string_view name, std::size_t maxCharacters) {
    constexpr std::size_t kMaxBytesPerCharacter = 4;
    return name.size() <= kMaxBytesPerCharacter * maxCharacters &&
           name.find_first_of(std::string_view("\r\n\0", 3)) == std::string_view::npos &&
           Utf8CharacterCount(name) <= maxCharacters;
}

namespace {

std::string_view NameOf(const Value& value) {
    return value.name;
}

std::string_view NameOf(const std::unique_ptr<Key>& key) {
    return key->Name();
}

}  // namespace

template <typename Entry>
void NamedEntries<Entry>::AppendNew(Entry entry) {
    if (gaps_ != 0) CloseGaps();
    entries_.push_back(std::move(entry));
    isGap_.push_back(false);
}

template <typename Entry>
void NamedEntries<Entry>::Index() const {
    // Erasing indexes everything first and appending closes gaps, so gaps are all indexed.
    if (indexed_ == entries_.size()) return;
    index_.reserve(entries_.size());
    for (; indexed_ < entries_.size(); ++indexed_) {
        index_.emplace(FoldCase(NameOf(entries_[indexed_])), indexed_);
    }
}

template <typename Entry>
Entry* NamedEntries<Entry>::Find(std::string_view name) const {
    Index();
    const auto found = index_.find(FoldCase(name));
    return found == index_.end() ? nullptr : &entries_[found->second];
}

template <typename Entry>
Entry& NamedEntries<Entry>::FindOrAdd(std::string_view name, bool& added) {
    Index();
    const auto [slot, isNew] = index_.try_emplace(FoldCase(name), entries_.size());
    added = isNew;
    if (isNew) {
        entries_.emplace_back();
        isGap_.push_back(false);
        ++indexed_;
    }
    return entries_[slot->second];
}

template <typename Entry>
bool NamedEntries<Entry>::Erase(std::string_view name) {
    Index();
    const auto found = index_.find(FoldCase(name));
    if (found == index_.end()) return false;
    const std::size_t position = found->second;
    index_.erase(found);
    entries_[position] = Entry{};  // frees it now: a sub-key takes its whole tree along
    isGap_[position] = true;
    // Gaps never outnumber entries, so an erase costs constant time on average.
    if (++gaps_ > index_.size()) CloseGaps();
    return true;
}

template <typename Entry>
void NamedEntries<Entry>::Clear() {
    entries_.clear();
    isGap_.clear();
    index_.clear();
    gaps_ = 0;
    indexed_ = 0;
}

template <typename Entry>
void NamedEntries<Entry>::CloseGaps() const {
    std::vector<std::size_t> moved(entries_.size());
    std::size_t next = 0;
    for (std::size_t i = 0; i < entries_.size(); ++i) {
        moved[i] = next;
        if (isGap_[i]) continue;
        if (next != i) entries_[next] = std::move(entries_[i]);
        ++next;
    }
    entries_.resize(next);
    isGap_.assign(next, false);
    for (auto& [folded, place] : index_) place = moved[place];
    indexed_ = index_.size();
    gaps_ = 0;
}

template class NamedEntries<Value>;
template class NamedEntries<std::unique_ptr<Key>>;

Key Key::Copy() const {
    Key copy(name_);
    copy.subKeys_ = subKeys_.CopyWith(
        [](const std::unique_ptr<Key>& subKey) { return std::make_unique<Key>(subKey->Copy()); });
    copy.values_ = values_;
    copy.unread_ = unread_;
    copy.writtenText_ = writtenText_;
    return copy;
}

void Key::SetUnreadValues(UnreadValueLines unread) {
    unread_ = std::move(unread);
}

const NamedEntries<Value>& Key::ValuesToRead() const {
    static const NamedEntries<Value> none;
    if (unread_.text) {
        // The parse kept only lines that name no value twice.
        auto read = std::make_shared<NamedEntries<Value>>();
        ReadValueLines(unread_.lines, [&](Value&& value) { read->AppendNew(std::move(value)); });
        values_ = std::move(read);
        writtenText_ = std::move(unread_.text);
        unread_ = {};
    }
    return values_ ? *values_ : none;
}

NamedEntries<Value>& Key::ValuesToChange() {
    ValuesToRead();
    if (!values_) {
        values_ = std::make_shared<NamedEntries<Value>>();
    } else if (values_.use_count() > 1) {
        values_ = std::make_shared<NamedEntries<Value>>(*values_);
    }
    return *values_;
}

Key* Key::FindSubKey(std::string_view name) const {
    const std::unique_ptr<Key>* found = subKeys_.Find(name);
    return found ? found->get() : nullptr;
}

Key& Key::OpenOrAddSubKey(std::string_view name, bool* added) {
    bool isNew = false;
    std::unique_ptr<Key>& subKey = subKeys_.FindOrAdd(name, isNew);
    if (isNew) subKey = std::make_unique<Key>(std::string(name));
    if (added) *added = isNew;
    return *subKey;
}

bool Key::DeleteSubKey(std::string_view name) {
    return subKeys_.Erase(name);
}

void Key::Clear() {
    subKeys_.Clear();
    values_.reset();
    unread_ = {};
    writtenText_.reset();
}

const Value* Key::FindValue(std::string_view name) const {
    return ValuesToRead().Find(name);
}

void Key::SetValue(std::string_view name, std::uint32_t type, std::string data) {
    bool added = false;
    Value& value = ValuesToChange().FindOrAdd(name, added);
    if (added) value.name = std::string(name);
    value.type = type;
    value.data = std::move(data);
    value.writtenLine = {};
}

bool Key::DeleteValue(std::string_view name) {
    // Asked first, so that a shared table is not copied for nothing.
    return ValuesToRead().Find(name) && ValuesToChange().Erase(name);
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
