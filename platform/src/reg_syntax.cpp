#include "reg_syntax.h"

#include "case_folding.h"
#include "key_path.h"
#include "utf8.h"

namespace marrowick::platform {

namespace {

constexpr std::string_view kShortRootName = "HKLM";
constexpr std::size_t kBytesPerLine = 24;
constexpr char kHexDigits[] = "0123456789abcdef";

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
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

// The first '"' or '\\' from `from` on, the text's size when there is none.
std::size_t FindQuoteOrBackslash(std::string_view text, std::size_t from) {
    for (; from + 8 <= text.size(); from += 8) {
        const std::uint64_t word = LoadWord(text.data() + from);
        const std::uint64_t found = BytesEqual(word, '"') | BytesEqual(word, '\\');
        if (found == 0) continue;
        const int before = std::endian::native == std::endian::little ? std::countr_zero(found)
                                                                      : std::countl_zero(found);
        return from + static_cast<std::size_t>(before / 8);
    }
    while (from < text.size() && text[from] != '"' && text[from] != '\\') ++from;
    return from;
}

// REG_SZ text that reads back unchanged from quotes: one final NUL, no other control
// character, valid UTF-8.
bool WritableAsQuoted(const Value& value) {
    if (value.type != kStringType || value.data.empty() || value.data.back() != '\0') return false;
    const std::string_view text(value.data.data(), value.data.size() - 1);
    bool ascii = true;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) return false;
        ascii = ascii && byte < 0x80;
    }
    return ascii || IsWellFormedUtf8(text);
}

}  // namespace

std::optional<std::string> ReadQuoted(std::string_view& text) {
    if (text.empty() || text[0] != '"') return std::nullopt;
    std::string result;
    // Runs between escapes are taken whole: most text has no escape at all.
    for (std::size_t i = 1; i < text.size();) {
        const std::size_t end = FindQuoteOrBackslash(text, i);
        result.append(text.data() + i, end - i);
        if (end == text.size()) break;
        if (text[end] == '"') {
            text.remove_prefix(end + 1);
            return result;
        }
        if (end + 1 == text.size() || (text[end + 1] != '\\' && text[end + 1] != '"')) {
            return std::nullopt;
        }
        result += text[end + 1];
        i = end + 2;
    }
    return std::nullopt;
}

std::optional<Value> ReadData(std::string_view text, LineReader& lines, const TextSyntax& syntax) {
    if (text.starts_with('"')) {
        std::optional<std::string> content = ReadQuoted(text);
        if (!content || !text.empty()) return std::nullopt;
        *content += '\0';
        return Value{{}, kStringType, std::move(*content)};
    }
    if (text.starts_with("dword:")) {
        text.remove_prefix(6);
        const bool shortForm = syntax.looseForms && !text.empty() && text.size() < 8;
        if (text.size() != 8 && !shortForm) return std::nullopt;
        std::uint32_t number = 0;
        for (char c : text) {
            const int digit = HexDigit(c);
            if (digit < 0) return std::nullopt;
            number = number * 16 + static_cast<std::uint32_t>(digit);
        }
        std::string bytes(4, '\0');
        for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
        return Value{{}, kDwordType, std::move(bytes)};
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
    if (rootEnd == path.size()) {
        entry.path = {};
        return true;
    }
    path.remove_prefix(rootEnd + 1);
    // Read as the registry functions read it, which write to the key it names.
    return ReadKeyPath(path, &entry.path) == KeyPathFault::kNone &&
           !entry.path.empty();  // "[HKEY_LOCAL_MACHINE\\]"
}

void TextOut::Grow(std::size_t size) {
    const auto used = static_cast<std::size_t>(next_ - text_.data());
    text_.resize(std::max(2 * text_.size(), used + size));
    next_ = text_.data() + used;
    end_ = text_.data() + text_.size();
}

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

bool IsTextType(std::uint32_t type) {
    return type == kStringType || type == kExpandStringType || type == kMultiStringType;
}

void AppendData(TextOut& out, const Value& value, const DataStyle& style) {
    if (WritableAsQuoted(value)) {
        AppendQuoted(out, std::string_view(value.data).substr(0, value.data.size() - 1));
        return;
    }
    if (value.type == kDwordType && value.data.size() == 4) {
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) {
            number = (number << 8) | static_cast<unsigned char>(value.data[i]);
        }
        char* place = out.Room(14);
        std::memcpy(place, "dword:", 6);
        for (int i = 0; i < 8; ++i) place[6 + i] = kHexDigits[(number >> (28 - 4 * i)) & 0xF];
        return;
    }
    if (style.binaryAsHex && value.type == kBinaryType) {
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

}  // namespace marrowick::platform
