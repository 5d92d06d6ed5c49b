#include "hive_tree.h"

#include "case_folding.h"
#include "hive_text.h"
#include "utf8.h"

namespace marrowick::platform {

bool IsStorableName(std::string_view name, std::size_t maxCharacters) {
    constexpr std::size_t kMaxBytesPerCharacter = 4;
    if (name.size() > kMaxBytesPerCharacter * maxCharacters) return false;
    // One pass settles most names, which are ASCII: each byte is a character of its own.
    bool ascii = true;
    for (const char c : name) {
        if (c == '\r' || c == '\n' || c == '\0') return false;
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    }
    return (ascii ? name.size() : Utf8CharacterCount(name)) <= maxCharacters;
}

namespace {

std::string_view NameOf(const Value& value) {
    return value.name;
}

std::string_view NameOf(const std::unique_ptr<Key>& key) {
    return key->Name();
}

// Hashes the bytes of the name's folded form (FNV-1a, then mixed for the table's low
// bits), building that form only past the name's ASCII start.
std::uint32_t FoldedHash(std::string_view name) {
    std::uint64_t hash = 14695981039346656037u;
    const auto add = [&hash](unsigned char byte) { hash = (hash ^ byte) * 1099511628211u; };
    std::size_t ascii = 0;
    for (; ascii < name.size() && static_cast<unsigned char>(name[ascii]) < 0x80; ++ascii) {
        const auto byte = static_cast<unsigned char>(name[ascii]);
        add(byte >= 'a' && byte <= 'z' ? byte - ('a' - 'A') : byte);
    }
    if (ascii < name.size()) {
        for (const char c : FoldCase(name.substr(ascii))) add(static_cast<unsigned char>(c));
    }
    hash ^= hash >> 31;
    hash *= 0xbf58476d1ce4e5b9u;
    return static_cast<std::uint32_t>(hash >> 32);
}

constexpr std::uint64_t kPositionBits = 0xffffffffu;

std::uint64_t SlotOf(std::uint32_t hash, std::size_t position) {
    return std::uint64_t{hash} << 32 | (position + 1);
}

}  // namespace

template <typename Entry>
void NamedEntries<Entry>::AppendNew(Entry entry) {
    if (gaps_ != 0) CloseGaps();
    entries_.push_back(std::move(entry));
    isGap_.push_back(false);
}

template <typename Entry>
void NamedEntries<Entry>::Reserve(std::size_t entries) {
    entries_.reserve(entries);
    isGap_.reserve(entries);
    MakeRoom(entries);
}

template <typename Entry>
std::size_t NamedEntries<Entry>::Probe(std::string_view name, std::uint32_t hash) const {
    const std::size_t mask = slots_.size() - 1;
    for (std::size_t slot = hash & mask;; slot = (slot + 1) & mask) {
        const std::uint64_t taken = slots_[slot];
        if (taken == 0 ||
            ((taken >> 32) == hash &&
             CompareFolded(NameOf(entries_[(taken & kPositionBits) - 1]), name) == 0)) {
            return slot;
        }
    }
}

template <typename Entry>
void NamedEntries<Entry>::MakeRoom(std::size_t entries) const {
    // At most half the slots taken, a power of two of them.
    if (2 * entries <= slots_.size()) return;
    std::size_t size = 16;
    while (size < 2 * entries) size *= 2;
    std::vector<std::uint64_t> old(size, 0);
    old.swap(slots_);
    const std::size_t mask = size - 1;
    for (const std::uint64_t taken : old) {
        if (taken == 0) continue;
        std::size_t slot = (taken >> 32) & mask;
        while (slots_[slot] != 0) slot = (slot + 1) & mask;
        slots_[slot] = taken;
    }
}

template <typename Entry>
void NamedEntries<Entry>::Unslot(std::size_t slot) const {
    const std::size_t mask = slots_.size() - 1;
    std::size_t hole = slot;
    for (std::size_t next = (hole + 1) & mask; slots_[next] != 0; next = (next + 1) & mask) {
        const std::size_t home = (slots_[next] >> 32) & mask;
        // An entry whose probe passed the hole on its way here moves into it.
        if (((next - home) & mask) >= ((next - hole) & mask)) {
            slots_[hole] = slots_[next];
            hole = next;
        }
    }
    slots_[hole] = 0;
}

template <typename Entry>
void NamedEntries<Entry>::Index() const {
    // Erasing indexes everything first and appending closes gaps, so gaps are all indexed.
    if (indexed_ == entries_.size()) return;
    MakeRoom(entries_.size());
    for (; indexed_ < entries_.size(); ++indexed_) {
        const std::string_view name = NameOf(entries_[indexed_]);
        const std::uint32_t hash = FoldedHash(name);
        std::uint64_t& slot = slots_[Probe(name, hash)];
        if (slot == 0) slot = SlotOf(hash, indexed_);  // a name given twice: the first counts
    }
}

template <typename Entry>
Entry* NamedEntries<Entry>::Find(std::string_view name) const {
    Index();
    if (slots_.empty()) return nullptr;
    const std::uint64_t found = slots_[Probe(name, FoldedHash(name))];
    return found == 0 ? nullptr : &entries_[(found & kPositionBits) - 1];
}

template <typename Entry>
Entry& NamedEntries<Entry>::FindOrAdd(std::string_view name, bool& added) {
    Index();
    MakeRoom(entries_.size() + 1);
    const std::uint32_t hash = FoldedHash(name);
    std::uint64_t& slot = slots_[Probe(name, hash)];
    added = slot == 0;
    if (added) {
        slot = SlotOf(hash, entries_.size());
        entries_.emplace_back();
        isGap_.push_back(false);
        ++indexed_;
    }
    return entries_[(slot & kPositionBits) - 1];
}

template <typename Entry>
bool NamedEntries<Entry>::Erase(std::string_view name) {
    Index();
    if (slots_.empty()) return false;
    const std::size_t slot = Probe(name, FoldedHash(name));
    if (slots_[slot] == 0) return false;
    const std::size_t position = (slots_[slot] & kPositionBits) - 1;
    Unslot(slot);
    entries_[position] = Entry{};  // frees it now: a sub-key takes its whole tree along
    isGap_[position] = true;
    // Gaps never outnumber entries, so an erase costs constant time on average.
    ++gaps_;
    if (gaps_ > Count()) CloseGaps();
    return true;
}

template <typename Entry>
void NamedEntries<Entry>::Clear() {
    entries_.clear();
    isGap_.clear();
    slots_.clear();
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
    for (std::uint64_t& slot : slots_) {
        if (slot != 0) slot = (slot & ~kPositionBits) | (moved[(slot & kPositionBits) - 1] + 1);
    }
    indexed_ = next;
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
    copy.valuesToWrite_ = valuesToWrite_;
    copy.bytesToWrite_ = bytesToWrite_;
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
    valuesToWrite_ = bytesToWrite_ = 0;
}

const Value* Key::FindValue(std::string_view name) const {
    return ValuesToRead().Find(name);
}

void Key::CountToWrite(const Value& value, int sign) {
    if (!value.writtenLine.empty()) return;
    const std::size_t bytes = value.name.size() + value.data.size();
    valuesToWrite_ = sign > 0 ? valuesToWrite_ + 1 : valuesToWrite_ - 1;
    bytesToWrite_ = sign > 0 ? bytesToWrite_ + bytes : bytesToWrite_ - bytes;
}

void Key::SetValue(std::string_view name, std::uint32_t type, std::string data) {
    bool added = false;
    Value& value = ValuesToChange().FindOrAdd(name, added);
    if (added) {
        value.name = std::string(name);
    } else {
        CountToWrite(value, -1);
    }
    value.type = type;
    value.data = std::move(data);
    value.writtenLine = {};
    CountToWrite(value, +1);
}

void Key::SetFoundValue(const Value* found, std::string_view name, std::uint32_t type,
                        std::string_view data) {
    if (!found) {
        Value added{std::string(name), type, std::string(data)};
        CountToWrite(added, +1);
        ValuesToChange().AppendNew(std::move(added));
        return;
    }
    // Found in this key's table: while no other key shares it, that is the one to change.
    Value& value =
        values_.use_count() == 1 ? const_cast<Value&>(*found) : *ValuesToChange().Find(found->name);
    CountToWrite(value, -1);
    value.type = type;
    value.data.assign(data);
    value.writtenLine = {};
    CountToWrite(value, +1);
}

void Key::MakeRoomForValues(std::size_t more) {
    NamedEntries<Value>& values = ValuesToChange();
    values.Reserve(values.Count() + more);
}

bool Key::DeleteValue(std::string_view name) {
    // Asked first, so that a shared table is not copied for nothing.
    const Value* found = ValuesToRead().Find(name);
    if (!found) return false;
    CountToWrite(*found, -1);
    return ValuesToChange().Erase(name);
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
