#include "reg_file.h"

#include <algorithm>

#include "case_folding.h"
#include "reg_syntax.h"
#include "utf8.h"

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

std::size_t CountLineFeeds(std::string_view text) {
    std::size_t count = 0;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        // Each found byte's high bit moved to its byte's lowest bit; the product sums them.
        count += ((BytesEqual(LoadWord(text.data() + i), '\n') >> 7) * 0x0101010101010101u) >> 56;
    }
    for (; i < text.size(); ++i) count += text[i] == '\n';
    return count;
}

}  // namespace

std::string FoldName(std::string_view name) {
    return FoldCase(name);
}

RegFileContents ReadRegFile(std::string_view bytes) {
    RegFileContents contents;
    std::string decoded;
    std::string_view text = bytes;  // UTF-8 text is read where it lies
    const bool utf16 = bytes.starts_with(kUtf16ByteOrderMark);
    if (utf16) {
        if (!Utf16LeToUtf8(bytes.substr(kUtf16ByteOrderMark.size()), decoded)) {
            contents.failure = RegFileContents::kEncoding;
            return contents;
        }
        text = decoded;
    } else {
        if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
        if (!IsWellFormedUtf8(text)) {
            decoded = Windows1252ToUtf8(text);
            text = decoded;
        }
    }
    // An entry for each line at most: the list is never moved while it grows.
    contents.entries.reserve(CountLineFeeds(text) + 1);
    LineReader lines(text, true);
    std::string_view line;
    if (lines.Next(line) && line == kVersion5Header) {
        contents.format = RegFileFormat::kVersion5;
    } else if (lines.Number() == 1 && line == kRegedit4Header) {
        contents.format = RegFileFormat::kRegedit4;
    } else {
        contents.failure = RegFileContents::kHeader;
        contents.failedLine = 1;
        return contents;
    }
    // Each key path once: no longer than the line it stands on, so the text's size is room.
    contents.keyPaths = std::make_unique_for_overwrite<char[]>(text.size());
    char* freePathBytes = contents.keyPaths.get();
    std::string_view keyPath;
    const TextSyntax syntax{.deletions = true, .shortRoot = true, .looseForms = true};
    const bool read = ReadEntries(lines, syntax, contents.failedLine, [&](TextEntry&& entry) {
        RegFileEntry& out = contents.entries.emplace_back();
        out.line = entry.line;
        switch (entry.kind) {
            case TextEntry::kKey:
            case TextEntry::kDeleteKey:
                out.kind =
                    entry.kind == TextEntry::kKey ? RegFileEntry::kKey : RegFileEntry::kDeleteKey;
                keyPath = {freePathBytes, entry.path.size()};
                freePathBytes = std::copy(entry.path.begin(), entry.path.end(), freePathBytes);
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
        out.Put(version5 ? kVersion5Header : kRegedit4Header);
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
