// The registry tree of one hive: keys with sub-keys and values, found by folded names.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace marrowick::platform {

// Windows' limits on keys: levels below HKEY_LOCAL_MACHINE, and characters in one name.
// The registry functions refuse paths beyond them and the parser refuses hives beyond
// them, so every tree held is shallow enough to walk, write and destroy recursively.
inline constexpr std::size_t kMaxKeyDepth = 512;
inline constexpr std::size_t kMaxKeyNameCharacters = 255;
// Windows' limit on value names: RegSetValueExA refuses longer ones, and so does the parser.
inline constexpr std::size_t kMaxValueNameCharacters = 16383;

// Whether a key or value name can be created and stored: no line break (the hive's text is
// line by line), no NUL (a name passes through C strings, which would cut it short), at most
// maxCharacters characters and no more bytes than as many characters of four bytes take (a run of
// stray continuation bytes counts as no character at all). The registry functions and the parser
// apply the same rule, so every name in a tree fits a caller's buffer sized by the limit.
bool IsStorableName(std::string_view name, std::size_t maxCharacters);

struct Value {
    std::string name;  // as created; "" is the default value
    std::uint32_t type;
    std::string data;  // the bytes exactly as stored
    // The value's line in the hive text it was read from, byte for byte what writing it
    // gives, while the value is unchanged; empty when it has to be written anew. The key
    // keeps that text alive.
    std::string_view writtenLine{};
};

// Entries in creation order, found by folded name. Erasing leaves a gap that the next look
// at the order closes, so erasing many entries costs one pass over them, not one each.
// Entries appended as new are indexed by the first look for a name: listing them needs
// no index at all.
template <typename Entry>
class NamedEntries {
public:
    const std::vector<Entry>& InOrder() const {
        if (gaps_ != 0) CloseGaps();
        return entries_;
    }
    std::size_t Count() const { return entries_.size() - gaps_; }
    Entry* Find(std::string_view name) const;
    // Appends an entry whose name no entry has yet (the caller knows), unindexed so far.
    void AppendNew(Entry entry);
    // Room for this many entries in all, so that appending up to them moves none.
    void Reserve(std::size_t entries);
    // The entry of that name; a default one appended when there is none (*added then true).
    Entry& FindOrAdd(std::string_view name, bool& added);
    bool Erase(std::string_view name);
    void Clear();
    // A copy in the same order whose entries copyEntry makes; the index is copied, not
    // built again name by name.
    template <typename CopyEntry>
    NamedEntries CopyWith(CopyEntry copyEntry) const {
        NamedEntries copy;
        copy.entries_.reserve(InOrder().size());
        for (const Entry& entry : entries_) copy.entries_.push_back(copyEntry(entry));
        copy.isGap_.assign(entries_.size(), false);
        copy.slots_ = slots_;
        copy.indexed_ = indexed_;
        return copy;
    }

private:
    void CloseGaps() const;
    void Index() const;
    // The slot holding the entry of that name (its hash given), or the empty one where it
    // would go.
    std::size_t Probe(std::string_view name, std::uint32_t hash) const;
    // Room in the table for this many entries, keeping probes short.
    void MakeRoom(std::size_t entries) const;
    // Empties a slot, moving later ones of its run back so that every probe still finds them.
    void Unslot(std::size_t slot) const;

    // Closing gaps changes no entry and no order, only where they are kept.
    mutable std::vector<Entry> entries_;
    mutable std::vector<bool> isGap_;
    // An open-addressed table over the folded names' hashes: the hash in the high half of
    // a slot, the entry's position plus one in the low half (0: empty). A name costs no
    // allocation here, and a copy of the table is one block.
    mutable std::vector<std::uint64_t> slots_;
    mutable std::size_t gaps_ = 0;
    mutable std::size_t indexed_ = 0;  // the entries before this one are in the index
};

// Value lines of a hive's text that nobody has needed yet (see ParseHive).
struct UnreadValueLines {
    std::shared_ptr<const std::string> text;  // keeps the lines alive
    std::string_view lines;
};

class Key;
extern template class NamedEntries<Value>;
extern template class NamedEntries<std::unique_ptr<Key>>;

// One key: sub-keys and values in creation order, found by their folded names.
class Key {
public:
    explicit Key(std::string name = {}) : name_(std::move(name)) {}
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    Key(Key&&) = default;
    Key& operator=(Key&&) = default;
    // Everything below too; the copy shares each key's values until either side changes
    // them, so copying a tree costs a little for each key, nothing for each value.
    Key Copy() const;

    const std::string& Name() const { return name_; }

    const std::vector<std::unique_ptr<Key>>& SubKeys() const { return subKeys_.InOrder(); }
    std::size_t SubKeyCount() const { return subKeys_.Count(); }
    Key* FindSubKey(std::string_view name) const;
    // Returns the existing sub-key of that name, or appends a new one (*added then true).
    Key& OpenOrAddSubKey(std::string_view name, bool* added = nullptr);
    // Removes the sub-key with everything below it; false when there is none of that name.
    bool DeleteSubKey(std::string_view name);
    // Removes every value and sub-key.
    void Clear();

    const std::vector<Value>& Values() const { return ValuesToRead().InOrder(); }
    std::size_t ValueCount() const { return ValuesToRead().Count(); }
    const Value* FindValue(std::string_view name) const;
    // A new value goes last; an existing one keeps its place and the case of its name.
    void SetValue(std::string_view name, std::uint32_t type, std::string data);
    // As SetValue, for the value FindValue just gave for that name (null: none): it is not
    // looked up a second time unless a shared table has to be copied first.
    void SetFoundValue(const Value* found, std::string_view name, std::uint32_t type,
                       std::string_view data);
    bool DeleteValue(std::string_view name);
    // Room for this many more values before one is added: a run that is about to add many
    // grows the table once instead of doubling it as they come.
    void MakeRoomForValues(std::size_t more);

    // The values that have no line to be written from (set since they were read) and the
    // bytes of their names and data: what writing the key takes beyond borrowing lines,
    // known without a walk over all its values.
    std::size_t ValuesToWrite() const { return valuesToWrite_; }
    std::size_t BytesToWrite() const { return bytesToWrite_; }

    // Gives a key without values lines of value text to read when its values are first
    // needed; until then they are what the hive's text holds for them, byte for byte.
    void SetUnreadValues(UnreadValueLines unread);
    // Those lines while nobody has needed them, else null.
    const std::string_view* UnreadValues() const { return unread_.text ? &unread_.lines : nullptr; }

private:
    std::string name_;
    NamedEntries<std::unique_ptr<Key>> subKeys_;
    const NamedEntries<Value>& ValuesToRead() const;
    // The values this key alone holds, copied first when they are shared.
    NamedEntries<Value>& ValuesToChange();
    // Counts a value in or out of those to be written anew, as it is set or goes.
    void CountToWrite(const Value& value, int sign);

    // Null while there are none; shared with copies of the key until one changes them.
    // Reading the unread lines fills them in without changing what the key holds.
    mutable std::shared_ptr<NamedEntries<Value>> values_;
    mutable UnreadValueLines unread_;
    // The text the values' written lines lie in, once the unread lines have been read.
    mutable std::shared_ptr<const std::string> writtenText_;
    std::size_t valuesToWrite_ = 0;
    std::size_t bytesToWrite_ = 0;
};

// Same names (case included), types, bytes and order throughout both trees.
bool SameTree(const Key& left, const Key& right);

}  // namespace marrowick::platform
