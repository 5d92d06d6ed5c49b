#include "hive.h"

#include "reg_syntax.h"

namespace marrowick::platform {

namespace {

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

std::unique_ptr<Key> ParseHive(std::string_view text, std::size_t* failedLineOut) {
    // Editors on Windows like to start UTF-8 files with a byte-order mark.
    if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
    LineReader lines(text);
    std::string_view line;
    if (!lines.Next(line) || line != kRegedit4Header) {
        if (failedLineOut) *failedLineOut = 1;
        return nullptr;
    }
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
    if (!read && failedLineOut) *failedLineOut = failedLine;
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
    out.Put(kRegedit4Header);
    out.Put('\n');
    AppendKey(out, root, path, true);
}

}  // namespace marrowick::platform
