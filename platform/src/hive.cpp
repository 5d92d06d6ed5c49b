#include "hive.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <optional>

#include "case_folding.h"
#include "reg_file.h"
#include "utf8.h"

namespace marrowick::platform {

namespace {

constexpr std::string_view kHeader = "REGEDIT4";
constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
constexpr std::string_view kRootName = "HKEY_LOCAL_MACHINE";
constexpr std::string_view kShortRootName = "HKLM";
constexpr std::uint32_t kString = 1;
constexpr std::uint32_t kExpandString = 2;
constexpr std::uint32_t kBinary = 3;
constexpr std::uint32_t kDword = 4;
constexpr std::uint32_t kMultiString = 7;
constexpr std::size_t kBytesPerLine = 24;
constexpr char kHexDigits[] = "0123456789abcdef";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// ---- Reading -------------------------------------------------------------------------

// Splits the text into lines, dropping the "\r" of Windows line ends, and counts them.
class LineReader {
public:
    explicit LineReader(std::string_view text) : rest_(text) {}
    bool Next(std::string_view& line) {
        if (rest_.empty()) return false;
        const std::size_t end = rest_.find('\n');
        line = rest_.substr(0, end);
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        ++number_;
        return true;
    }
    // The number of the line Next gave last, from 1.
    std::size_t Number() const { return number_; }

private:
    std::string_view rest_;
    std::size_t number_ = 0;
};

// Reads a quoted string at the start of text ("\\" and "\"" are the only escapes) and
// removes it from text.
std::optional<std::string> ReadQuoted(std::string_view& text) {
    if (text.empty() || text[0] != '"') return std::nullopt;
    std::string result;
    for (std::size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '"') {
            text.remove_prefix(i + 1);
            return result;
        }
        if (c == '\\') {
            if (++i == text.size() || (text[i] != '\\' && text[i] != '"')) return std::nullopt;
        }
        result += text[i];
    }
    return std::nullopt;
}

// Reads "xx,xx,...", continued on the next lines after a trailing ",\".
std::optional<std::string> ReadHexBytes(std::string_view text, LineReader& lines) {
    std::string bytes;
    while (!text.empty()) {
        if (text.size() < 2) return std::nullopt;
        const int high = HexDigit(text[0]);
        const int low = HexDigit(text[1]);
        if (high < 0 || low < 0) return std::nullopt;
        bytes += static_cast<char>(high * 16 + low);
        text.remove_prefix(2);
        if (text.empty()) break;
        if (text[0] != ',') return std::nullopt;
        text.remove_prefix(1);
        if (text.empty()) return std::nullopt;
        if (text == "\\") {
            if (!lines.Next(text)) return std::nullopt;
            text.remove_prefix(std::min(text.find_first_not_of(' '), text.size()));
            if (text.empty()) return std::nullopt;
        }
    }
    return bytes;
}

// Reads the part after "=" of a value line.
std::optional<Value> ReadData(std::string_view text, LineReader& lines) {
    if (text.starts_with('"')) {
        std::optional<std::string> content = ReadQuoted(text);
        if (!content || !text.empty()) return std::nullopt;
        *content += '\0';
        return Value{{}, kString, std::move(*content)};
    }
    if (text.starts_with("dword:")) {
        text.remove_prefix(6);
        if (text.size() != 8) return std::nullopt;
        std::uint32_t number = 0;
        for (char c : text) {
            const int digit = HexDigit(c);
            if (digit < 0) return std::nullopt;
            number = number * 16 + static_cast<std::uint32_t>(digit);
        }
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
        return Value{{}, kDword, std::move(bytes)};
    }
    std::uint32_t type = 3;  // plain "hex:" is binary
    if (text.starts_with("hex(")) {
        text.remove_prefix(4);
        const std::size_t close = text.find(')');
        if (close == 0 || close > 8 || close == std::string_view::npos) return std::nullopt;
        type = 0;
        for (char c : text.substr(0, close)) {
            const int digit = HexDigit(c);
            if (digit < 0) return std::nullopt;
            type = type * 16 + static_cast<std::uint32_t>(digit);
        }
        text.remove_prefix(close + 1);
    } else if (text.starts_with("hex")) {
        text.remove_prefix(3);
    } else {
        return std::nullopt;
    }
    if (!text.starts_with(':')) return std::nullopt;
    text.remove_prefix(1);
    std::optional<std::string> bytes = ReadHexBytes(text, lines);
    if (!bytes) return std::nullopt;
    return Value{{}, type, std::move(*bytes)};
}

// What the lines of a .reg text say, one entry at a time, in file order.
struct TextEntry {
    enum Kind { kKey, kDeleteKey, kValue, kDeleteValue } kind;
    std::size_t line;       // where it starts
    std::string_view path;  // kKey, kDeleteKey: the key below the root, as written
    std::string name;       // kValue, kDeleteValue: the value's name ("" the default)
    Value value;            // kValue: its type and bytes
    bool hex = false;       // kValue: written as hex bytes, not as text
};

// The syntax a reader accepts beyond the hive's own: the hive holds no deletions and
// spells its root in full; files from Windows may do neither.
struct TextSyntax {
    bool deletions = false;
    bool shortRoot = false;  // "HKLM" for "HKEY_LOCAL_MACHINE"
};

// "[HKEY_LOCAL_MACHINE\A\B]" or "[-HKEY_LOCAL_MACHINE\A\B]": the path below the root
// ("" for the root itself).
bool ReadKeyLine(std::string_view line, const TextSyntax& syntax, TextEntry& entry) {
    if (line.size() < 2 || line.back() != ']') return false;
    std::string_view path = line.substr(1, line.size() - 2);
    entry.kind = TextEntry::kKey;
    if (syntax.deletions && path.starts_with('-')) {
        entry.kind = TextEntry::kDeleteKey;
        path.remove_prefix(1);
    }
    const std::size_t rootEnd = std::min(path.find('\\'), path.size());
    const std::string root = FoldCase(path.substr(0, rootEnd));
    if (root != kRootName && !(syntax.shortRoot && root == kShortRootName)) return false;
    if (rootEnd < path.size()) {
        path.remove_prefix(rootEnd + 1);
        if (path.empty()) return false;  // "[HKEY_LOCAL_MACHINE\\]"
    } else {
        path = {};
    }
    entry.path = path;
    return true;
}

// Reads the entries after the header line, giving each to `take`, which returns false to
// stop. Returns false, with `failedLine` set, at the first line that cannot be read.
template <typename Take>
bool ReadEntries(LineReader& lines, const TextSyntax& syntax, std::size_t& failedLine,
                 Take&& take) {
    std::string_view line;
    bool inKey = false;
    while (lines.Next(line)) {
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
        if (!line.starts_with('=')) return false;
        line.remove_prefix(1);
        if (syntax.deletions && line == "-") {
            entry.kind = TextEntry::kDeleteValue;
        } else {
            entry.hex = line.starts_with("hex");
            std::optional<Value> value = ReadData(line, lines);
            if (!value) return false;
            entry.value = std::move(*value);
        }
        if (!take(std::move(entry))) return false;
    }
    return true;
}

// The key of the last key line read: a line below it is found from there. The written form
// lists every key with its whole path, each below the one before it as often as not, so
// this keeps reading a deep tree from walking every path from the root again.
struct LastKeyLine {
    std::string_view path;  // below the root, as written
    Key* key = nullptr;
    std::size_t depth = 0;
};

// Opens the key a key line names, creating missing ones.
Key* OpenKeyOfLine(std::string_view path, Key& root, LastKeyLine& last) {
    if (path.empty()) return &root;
    const std::string_view wholePath = path;
    Key* key = &root;
    std::size_t depth = 0;
    // The same bytes name the same key.
    if (last.key && path.size() > last.path.size() && path.starts_with(last.path) &&
        path[last.path.size()] == '\\') {
        key = last.key;
        depth = last.depth;
        path.remove_prefix(last.path.size() + 1);
    }
    while (true) {
        const std::size_t end = path.find('\\');
        const std::string_view name = path.substr(0, end);
        if (name.empty() || ++depth > kMaxKeyDepth ||
            !IsStorableName(name, kMaxKeyNameCharacters)) {
            return nullptr;
        }
        key = &key->OpenOrAddSubKey(name);
        if (end == std::string_view::npos) break;
        path.remove_prefix(end + 1);
    }
    last = {wholePath, key, depth};
    return key;
}

// ---- Writing -------------------------------------------------------------------------

// The text being written. Room is made ahead and filled through a pointer, which costs
// far less than appending piece by piece; the whole hive is written on every change.
class TextOut {
public:
    explicit TextOut(std::string& text) : text_(text) {
        const std::size_t used = text_.size();
        text_.resize(std::max(text_.capacity(), used));  // the room it has anyway
        next_ = text_.data() + used;
        end_ = text_.data() + text_.size();
    }
    ~TextOut() { text_.resize(static_cast<std::size_t>(next_ - text_.data())); }
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

private:
    [[gnu::noinline]] void Grow(std::size_t size) {
        const auto used = static_cast<std::size_t>(next_ - text_.data());
        text_.resize(std::max(2 * text_.size(), used + size));
        next_ = text_.data() + used;
        end_ = text_.data() + text_.size();
    }

    std::string& text_;
    char* next_;
    char* end_;
};

void AppendQuoted(TextOut& out, std::string_view text) {
    std::size_t special = 0;
    while (special < text.size() && text[special] != '\\' && text[special] != '"') ++special;
    if (special == text.size()) {  // most text: one piece
        char* place = out.Room(text.size() + 2);
        place[0] = '"';
        std::memcpy(place + 1, text.data(), text.size());
        place[text.size() + 1] = '"';
        return;
    }
    out.Put('"');
    std::size_t plain = 0;  // start of the run not yet copied
    for (std::size_t i = special; i < text.size(); ++i) {
        if (text[i] == '\\' || text[i] == '"') {
            out.Put(text.substr(plain, i - plain));
            out.Put('\\');
            plain = i;
        }
    }
    out.Put(text.substr(plain));
    out.Put('"');
}

// REG_SZ text that reads back unchanged from quotes: one final NUL, no other control
// character, valid UTF-8.
bool WritableAsQuoted(const Value& value) {
    if (value.type != kString || value.data.empty() || value.data.back() != '\0') return false;
    const std::string_view text(value.data.data(), value.data.size() - 1);
    bool ascii = true;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return false;
        ascii = ascii && byte < 0x80;
    }
    return ascii || IsWellFormedUtf8(text);
}

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

bool IsTextType(std::uint32_t type) {
    return type == kString || type == kExpandString || type == kMultiString;
}

void AppendData(TextOut& out, const Value& value, const DataStyle& style = {}) {
    if (WritableAsQuoted(value)) {
        AppendQuoted(out, std::string_view(value.data).substr(0, value.data.size() - 1));
        return;
    }
    if (value.type == kDword && value.data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) {
            number = (number << 8) | static_cast<unsigned char>(value.data[i]);
        }
        char* place = out.Room(14);
        std::memcpy(place, "dword:", 6);
        for (int i = 0; i < 8; ++i) place[6 + i] = kHexDigits[(number >> (28 - 4 * i)) & 0xF];
        return;
    }
    if (style.binaryAsHex && value.type == kBinary) {
        out.Put("hex");
    } else {
        out.Put("hex(");
        bool leading = true;
        for (int shift = 28; shift >= 0; shift -= 4) {
            const unsigned digit = (value.type >> shift) & 0xF;
            if (digit == 0 && leading && shift > 0) continue;
            leading = false;
            out.Put(kHexDigits[digit]);
        }
        out.Put(')');
    }
    out.Put(':');
    std::string converted;
    std::string_view data = value.data;
    if (IsTextType(value.type) && style.wideText) {
        converted = Utf8ToUtf16Le(value.data);
        data = converted;
    } else if (IsTextType(value.type) && style.unconvertible) {
        // Windows-1252 bytes that are also valid UTF-8 would be read back as UTF-8.
        if (!Utf8ToWindows1252(value.data, converted) ||
            (converted != value.data && IsWellFormedUtf8(converted))) {
            *style.unconvertible = true;
        }
        data = converted;
    }
    std::size_t lineStart = out.Written().rfind('\n') + 1;  // npos + 1 is 0
    for (std::size_t i = 0; i < data.size(); ++i) {
        if (i > 0) {
            out.Put(',');
            const bool full = style.wrapColumn ? out.Size() - lineStart + 3 > style.wrapColumn
                                               : i % kBytesPerLine == 0;
            if (full) {
                out.Put("\\\n  ");
                lineStart = out.Size() - 2;
            }
        }
        const auto byte = static_cast<unsigned char>(data[i]);
        char* place = out.Room(2);
        place[0] = kHexDigits[byte >> 4];
        place[1] = kHexDigits[byte & 0xF];
    }
}

// Writes the key and everything below it. The path grows and shrinks as the walk goes, so
// a deep tree costs no copy of it per level.
void AppendKey(TextOut& out, const Key& key, std::string& path, bool isRoot) {
    if (!isRoot || !key.Values().empty()) {
        out.Put("\n[");
        out.Put(path);
        out.Put("]\n");
        for (const Value& value : key.Values()) {
            if (value.name.empty()) {
                out.Put('@');
            } else {
                AppendQuoted(out, value.name);
            }
            out.Put('=');
            AppendData(out, value);
            out.Put('\n');
        }
    }
    const std::size_t length = path.size();
    for (const auto& subKey : key.SubKeys()) {
        path += '\\';
        path += subKey->Name();
        AppendKey(out, *subKey, path, false);
        path.resize(length);
    }
}

}  // namespace

bool IsStorableName(std::string_view name, std::size_t maxCharacters) {
    constexpr std::size_t kMaxBytesPerCharacter = 4;
    return name.size() <= kMaxBytesPerCharacter * maxCharacters &&
           name.find_first_of("\r\n") == std::string_view::npos &&
           Utf8CharacterCount(name) <= maxCharacters;
}

// ---- Key -----------------------------------------------------------------------------

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

// ---- Text form -----------------------------------------------------------------------

std::unique_ptr<Key> ParseHive(std::string_view text) {
    // Editors on Windows like to start UTF-8 files with a byte-order mark.
    if (text.starts_with(kByteOrderMark)) text.remove_prefix(kByteOrderMark.size());
    LineReader lines(text);
    std::string_view line;
    if (!lines.Next(line) || line != kHeader) return nullptr;
    auto root = std::make_unique<Key>();
    Key* current = nullptr;
    LastKeyLine lastKeyLine;
    std::size_t failedLine = 0;
    const bool read = ReadEntries(lines, TextSyntax{}, failedLine, [&](TextEntry&& entry) {
        if (entry.kind == TextEntry::kKey) {
            current = OpenKeyOfLine(entry.path, *root, lastKeyLine);
            return current != nullptr;
        }
        current->SetValue(entry.name, entry.value.type, std::move(entry.value.data));
        return true;
    });
    return read ? std::move(root) : nullptr;
}

std::string WriteHive(const Key& root) {
    std::string text;
    WriteHive(root, text);
    return text;
}

void WriteHive(const Key& root, std::string& text) {
    text.clear();
    std::string path(kRootName);
    TextOut out(text);
    out.Put(kHeader);
    out.Put('\n');
    AppendKey(out, root, path, true);
}

}  // namespace marrowick::platform

// ---- .reg files ----------------------------------------------------------------------

namespace marrowick::platform {

namespace {

constexpr std::string_view kVersion5Header = "Windows Registry Editor Version 5.00";
constexpr std::string_view kUtf16ByteOrderMark = "\xFF\xFE";

// Text data of hex(1), hex(2) and hex(7) is in the file's own encoding.
// Narrow files keep it in the ANSI code page, which is taken as UTF-8 where the bytes are
// valid UTF-8 and as Windows-1252 elsewhere, as for the whole file.
bool ConvertTextData(Value& value, bool utf16) {
    if (!IsTextType(value.type)) return true;
    if (utf16) {
        std::string text;
        if (!Utf16LeToUtf8(value.data, text)) return false;
        value.data = std::move(text);
    } else if (!IsWellFormedUtf8(value.data)) {
        value.data = Windows1252ToUtf8(value.data);
    }
    return true;
}

}  // namespace

std::string FoldName(std::string_view name) {
    return FoldCase(name);
}

RegFileContents ReadRegFile(std::string_view bytes) {
    RegFileContents contents;
    std::string decoded;
    const bool utf16 = bytes.starts_with(kUtf16ByteOrderMark);
    bool windows1252 = false;
    if (utf16) {
        if (!Utf16LeToUtf8(bytes.substr(kUtf16ByteOrderMark.size()), decoded)) {
            contents.failure = RegFileContents::kEncoding;
            return contents;
        }
    } else {
        if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(kByteOrderMark.size());
        windows1252 = !IsWellFormedUtf8(bytes);
        decoded = windows1252 ? Windows1252ToUtf8(bytes) : std::string(bytes);
    }
    LineReader lines(decoded);
    std::string_view line;
    if (lines.Next(line) && line == kVersion5Header) {
        contents.format = RegFileFormat::kVersion5;
    } else if (lines.Number() == 1 && line == kHeader) {
        contents.format = RegFileFormat::kRegedit4;
    } else {
        contents.failure = RegFileContents::kHeader;
        contents.failedLine = 1;
        return contents;
    }
    std::string_view keyPath;
    const TextSyntax syntax{.deletions = true, .shortRoot = true};
    const bool read = ReadEntries(lines, syntax, contents.failedLine, [&](TextEntry&& entry) {
        RegFileEntry& out = contents.entries.emplace_back();
        out.line = entry.line;
        switch (entry.kind) {
            case TextEntry::kKey:
            case TextEntry::kDeleteKey:
                out.kind =
                    entry.kind == TextEntry::kKey ? RegFileEntry::kKey : RegFileEntry::kDeleteKey;
                keyPath = entry.path;
                break;
            case TextEntry::kValue:
                if (entry.hex && !ConvertTextData(entry.value, utf16)) return false;
                out.kind = RegFileEntry::kValue;
                out.value.type = entry.value.type;
                out.value.data = std::move(entry.value.data);
                break;
            case TextEntry::kDeleteValue:
                out.kind = RegFileEntry::kDeleteValue;
                break;
        }
        out.keyPath = keyPath;
        out.value.name = std::move(entry.name);
        return true;
    });
    if (!read) {
        contents.failure = RegFileContents::kSyntax;
        contents.entries.clear();
    }
    return contents;
}

namespace {

std::string RegFileText(const std::vector<RegFileKey>& keys, RegFileFormat format,
                        bool* unconvertible) {
    const bool version5 = format == RegFileFormat::kVersion5;
    const DataStyle style{.binaryAsHex = true,
                          .wideText = version5,
                          .unconvertible = unconvertible,
                          .wrapColumn = 80};
    std::string text;
    {
        TextOut out(text);
        out.Put(version5 ? kVersion5Header : kHeader);
        out.Put('\n');
        for (const RegFileKey& key : keys) {
            out.Put("\n[");
            out.Put(kRootName);
            if (!key.path.empty()) {
                out.Put('\\');
                out.Put(key.path);
            }
            out.Put("]\n");
            for (const RegFileValue& value : key.values) {
                if (value.name.empty()) {
                    out.Put('@');
                } else {
                    AppendQuoted(out, value.name);
                }
                out.Put('=');
                AppendData(out, Value{value.name, value.type, value.data}, style);
                out.Put('\n');
            }
        }
    }
    text += '\n';  // Windows' files end with a blank line
    std::string crlf;
    crlf.reserve(text.size() + text.size() / 16);
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    return crlf;
}

}  // namespace

std::string WriteRegFile(const std::vector<RegFileKey>& keys, RegFileFormat format,
                         bool* windows1252) {
    if (windows1252) *windows1252 = false;
    if (format == RegFileFormat::kVersion5) {
        return std::string(kUtf16ByteOrderMark) + Utf8ToUtf16Le(RegFileText(keys, format, nullptr));
    }
    bool unconvertible = false;
    const std::string text = RegFileText(keys, format, &unconvertible);
    std::string narrow;
    if (unconvertible || !Utf8ToWindows1252(text, narrow) ||
        (narrow != text && IsWellFormedUtf8(narrow))) {
        return RegFileText(keys, format, nullptr);
    }
    if (windows1252) *windows1252 = true;
    return narrow;
}

}  // namespace marrowick::platform
