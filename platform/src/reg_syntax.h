// The text syntax the hive file and .reg files share (regedit's): reading it line by line
// into entries, and writing keys, quoted text and data in it. The hive and the .reg file
// reader and writer each add their own header line, encoding and rules on top.
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hive_tree.h"

namespace marrowick::platform {

inline constexpr std::string_view kRegedit4Header = "REGEDIT4";
inline constexpr std::string_view kUtf8ByteOrderMark = "\xEF\xBB\xBF";
inline constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";
inline constexpr std::uint32_t kStringType = 1;
inline constexpr std::uint32_t kExpandStringType = 2;
inline constexpr std::uint32_t kBinaryType = 3;
inline constexpr std::uint32_t kDwordType = 4;
inline constexpr std::uint32_t kMultiStringType = 7;
// The blanks allowed around a line's parts: spaces and tabs.
inline bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// ---- Reading -------------------------------------------------------------------------

// Eight bytes of text read as one word, and its bytes equal to `byte` (each such byte's
// high bit set, no other bit): lets a scan look at eight bytes at once.
inline std::uint64_t LoadWord(const char* bytes) {
    std::uint64_t word;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}
inline std::uint64_t BytesEqual(std::uint64_t word, char byte) {
    constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
    const std::uint64_t x = word ^ (0x0101010101010101u * static_cast<unsigned char>(byte));
    return ~(((x & kLow7) + kLow7) | x | kLow7);
}

// Splits the text into lines, dropping the "\r" of Windows line ends, and counts them.
class LineReader {
public:
    // With trimBlanks, blanks at the end of a line are dropped as well.
    explicit LineReader(std::string_view text, bool trimBlanks = false)
        : rest_(text), trimBlanks_(trimBlanks) {}
    bool Next(std::string_view& line) {
        if (rest_.empty()) return false;
        const std::size_t end = rest_.find('\n');
        line = rest_.substr(0, end);
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        while (trimBlanks_ && !line.empty() && IsBlank(line.back())) line.remove_suffix(1);
        ++number_;
        return true;
    }
    // The number of the line Next gave last, from 1.
    std::size_t Number() const { return number_; }
    // Where the next line starts.
    const char* Position() const { return rest_.data(); }

private:
    std::string_view rest_;
    bool trimBlanks_;
    std::size_t number_ = 0;
};

// Reads a quoted string at the start of text ("\\" and "\"" are the only escapes) and
// removes it from text.
std::optional<std::string> ReadQuoted(std::string_view& text);

// The syntax a reader accepts beyond the hive's own: the hive holds no deletions, spells
// its root in full and is written by this program alone; files from elsewhere may do
// neither.
struct TextSyntax {
    bool deletions = false;
    bool shortRoot = false;  // "HKLM" for "HKEY_LOCAL_MACHINE"
    // What people write by hand and Windows' and Wine's registry editors read: blank lines
    // of spaces or tabs, blanks before a line, after it and around "=", and dword data of
    // one to eight digits. (Trailing blanks are the LineReader's to drop.)
    bool looseForms = false;
};

// Reads the part after "=" of a value line; hex data may continue on the next lines.
std::optional<Value> ReadData(std::string_view text, LineReader& lines, const TextSyntax& syntax);

// What the lines of a .reg text say, one entry at a time, in file order.
struct TextEntry {
    enum Kind { kKey, kDeleteKey, kValue, kDeleteValue } kind;
    std::size_t line;       // where it starts
    std::string_view path;  // kKey, kDeleteKey: the key below the root, as written
    std::string name;       // kValue, kDeleteValue: the value's name ("" the default)
    Value value;            // kValue: its type and bytes
    bool hex = false;       // kValue: written as hex bytes, not as text
};

// "[HKEY_LOCAL_MACHINE\A\B]" or "[-HKEY_LOCAL_MACHINE\A\B]": the path below the root
// ("" for the root itself).
bool ReadKeyLine(std::string_view line, const TextSyntax& syntax, TextEntry& entry);

// Reads the entries after the header line, giving each to `take`, which returns false to
// stop. Returns false, with `failedLine` set, at the first line that cannot be read.
// Value lines need a key line before them, unless inKey says they are below one.
template <typename Take>
bool ReadEntries(LineReader& lines, const TextSyntax& syntax, std::size_t& failedLine, Take&& take,
                 bool inKey = false) {
    std::string_view line;
    const auto skipBlanks = [&syntax](std::string_view& text) {
        if (syntax.looseForms) {
            while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
        }
    };
    while (lines.Next(line)) {
        skipBlanks(line);
        if (line.empty() || line[0] == ';') continue;
        TextEntry entry{TextEntry::kValue, lines.Number(), {}, {}, {}, false};
        failedLine = entry.line;
        if (line[0] == '[') {
            if (!ReadKeyLine(line, syntax, entry)) return false;
            inKey = entry.kind == TextEntry::kKey;
            if (!take(std::move(entry))) return false;
            continue;
        }
        if (!inKey) return false;
        if (line[0] == '@') {
            line.remove_prefix(1);
        } else {
            std::optional<std::string> quoted = ReadQuoted(line);
            if (!quoted || !IsStorableName(*quoted, kMaxValueNameCharacters)) return false;
            entry.name = std::move(*quoted);
        }
        skipBlanks(line);
        if (!line.starts_with('=')) return false;
        line.remove_prefix(1);
        skipBlanks(line);
        if (syntax.deletions && line == "-") {
            entry.kind = TextEntry::kDeleteValue;
        } else {
            entry.hex = line.starts_with("hex");
            std::optional<Value> value = ReadData(line, lines, syntax);
            if (!value) return false;
            entry.value = std::move(*value);
        }
        if (!take(std::move(entry))) return false;
    }
    return true;
}

// ---- Writing -------------------------------------------------------------------------

// A piece of a text written in pieces: `size` bytes of its own buffer from `offset`, or,
// borrowed, `size` bytes that stay where they are.
struct TextPiece {
    const char* borrowed = nullptr;
    std::size_t offset = 0;
    std::size_t size = 0;
};

// The text being written. Room is made ahead and filled through a pointer, which costs
// far less than appending piece by piece; the whole hive is written on every change.
class TextOut {
public:
    // Appends to the text, or with `replace` writes it anew over what it held: the room
    // the old text took is used again without being cleared first. With `pieces`, which
    // it replaces, long runs given to Borrow are not copied: the text is then the pieces
    // in their order, the text's own bytes among them.
    explicit TextOut(std::string& text, bool replace = false,
                     std::vector<TextPiece>* pieces = nullptr)
        : text_(text), pieces_(pieces) {
        const std::size_t used = replace ? 0 : text_.size();
        text_.resize(std::max(text_.capacity(), text_.size()));  // the room it has anyway
        next_ = text_.data() + used;
        end_ = text_.data() + text_.size();
        ownFrom_ = used;
        if (pieces_) pieces_->clear();
    }
    ~TextOut() {
        EndOwnPiece();
        text_.resize(Size());
    }
    TextOut(const TextOut&) = delete;
    TextOut& operator=(const TextOut&) = delete;

    char* Room(std::size_t size) {
        if (static_cast<std::size_t>(end_ - next_) < size) Grow(size);
        char* place = next_;
        next_ += size;
        return place;
    }
    void Put(char c) { *Room(1) = c; }
    std::size_t Size() const { return static_cast<std::size_t>(next_ - text_.data()); }
    std::string_view Written() const { return {text_.data(), Size()}; }
    void Put(std::string_view bytes) {
        if (!bytes.empty()) std::memcpy(Room(bytes.size()), bytes.data(), bytes.size());
    }
    // Puts bytes that stay unchanged where they are for as long as the text is used.
    void Borrow(std::string_view bytes) {
        constexpr std::size_t kShortestBorrowed = 4096;  // shorter ones cost less copied
        if (!pieces_ || bytes.size() < kShortestBorrowed) return Put(bytes);
        EndOwnPiece();
        pieces_->push_back({bytes.data(), 0, bytes.size()});
    }

private:
    [[gnu::noinline]] void Grow(std::size_t size);
    void EndOwnPiece() {
        if (pieces_ && Size() > ownFrom_)
            pieces_->push_back({nullptr, ownFrom_, Size() - ownFrom_});
        ownFrom_ = Size();
    }

    std::string& text_;
    std::vector<TextPiece>* pieces_;
    char* next_;
    char* end_;
    std::size_t ownFrom_;  // where the text's own bytes not yet in a piece start
};

// Text in quotes, with "\\" and "\"" escaped.
void AppendQuoted(TextOut& out, std::string_view text);

// How data that cannot be quoted is written: the hive keeps every byte as it is and
// spells every type out; Windows' registry editor writes plain "hex:" for binary data,
// breaks long lines, and in its Unicode format writes text as UTF-16LE.
struct DataStyle {
    bool binaryAsHex = false;
    bool wideText = false;
    // Text in Windows-1252; *unconvertible is set for text that has no place there.
    bool* unconvertible = nullptr;
    std::size_t wrapColumn = 0;  // 0: kBytesPerLine bytes per line
};

bool IsTextType(std::uint32_t type);

// The data of a value after its "=": quoted text where it reads back unchanged, else
// dword: or hex as the style says.
void AppendData(TextOut& out, const Value& value, const DataStyle& style = {});

}  // namespace marrowick::platform
