#include "hive_text.h"

#include <algorithm>
#include <vector>

#include "case_folding.h"
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

// One value's line as the hive holds it.
void AppendValueLine(TextOut& out, std::string_view name, const Value& value) {
    if (name.empty()) {
        out.Put('@');
    } else {
        AppendQuoted(out, name);
    }
    out.Put('=');
    AppendData(out, value);
    out.Put('\n');
}

// The value lines below one key line, while they are read. They may wait unread when they
// are exactly what writing their values gives: each line as written, no blank or comment
// line among them, no name twice, and the key has no values from an earlier key line.
class ValueRun {
public:
    void Start(Key& key, const char* begin) {
        key_ = &key;
        begin_ = end_ = begin;
        asWritten_ = key.UnreadValues() == nullptr && key.ValueCount() == 0;
        foldedNames_.clear();
    }
    void Add(const TextEntry& entry, const char* end) {
        if (asWritten_) {
            {
                TextOut out(written_, true);
                AppendValueLine(out, entry.name, entry.value);
            }
            asWritten_ = written_ == std::string_view(end_, static_cast<std::size_t>(end - end_));
            foldedNames_.push_back(std::hash<std::string>{}(FoldCase(entry.name)));
        }
        end_ = end;
    }
    // Leaves the lines unread, or reads them into the key.
    void Finish(const std::shared_ptr<const std::string>& text) {
        if (!key_ || begin_ == end_) return;
        const std::string_view lines(begin_, static_cast<std::size_t>(end_ - begin_));
        if (asWritten_ && NoNameTwice()) {
            key_->SetUnreadValues({text, lines});
        } else {
            Key& key = *key_;
            ReadValueLines(lines, [&key](Value&& value) {
                key.SetValue(value.name, value.type, std::move(value.data));
            });
        }
        key_ = nullptr;
    }

private:
    // Equal hashes are taken for the same name: such lines are read at once.
    bool NoNameTwice() {
        std::sort(foldedNames_.begin(), foldedNames_.end());
        return std::adjacent_find(foldedNames_.begin(), foldedNames_.end()) == foldedNames_.end();
    }

    Key* key_ = nullptr;
    const char* begin_ = nullptr;
    const char* end_ = nullptr;
    bool asWritten_ = false;
    std::vector<std::size_t> foldedNames_;
    std::string written_;
};

// A key's value lines. Values unchanged since they were read are copied as they were
// read, neighbours in the text in one piece: a change to one value of many re-writes
// that value only.
void AppendValueLines(TextOut& out, const std::vector<Value>& values) {
    std::string_view run;
    for (const Value& value : values) {
        const std::string_view line = value.writtenLine;
        if (!line.empty() && run.data() + run.size() == line.data()) {
            run = std::string_view(run.data(), run.size() + line.size());
            continue;
        }
        out.Borrow(run);
        run = line;
        if (line.empty()) AppendValueLine(out, value.name, value);
    }
    out.Borrow(run);
}

// Writes the key and everything below it. The path grows and shrinks as the walk goes, so
// a deep tree costs no copy of it per level.
void AppendKey(TextOut& out, const Key& key, std::string& path, bool isRoot) {
    if (!isRoot || !key.Values().empty()) {
        out.Put("\n[");
        out.Put(path);
        out.Put("]\n");
        if (const std::string_view* unread = key.UnreadValues()) {
            out.Borrow(*unread);
        } else {
            AppendValueLines(out, key.Values());
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

// About the bytes AppendKey writes itself for the key and everything below it: the key
// lines and the values changed since they were read. Lines as read are mostly borrowed and
// left out, so that a large hive with one change reserves little.
std::size_t WrittenBytesAbout(const Key& key, std::size_t pathSize) {
    constexpr std::size_t kQuotesAndBrackets = 8;
    std::size_t size = pathSize + kQuotesAndBrackets + key.BytesToWrite() +
                       key.ValuesToWrite() * kQuotesAndBrackets;
    for (const auto& subKey : key.SubKeys()) {
        size += WrittenBytesAbout(*subKey, pathSize + 1 + subKey->Name().size());
    }
    return size;
}

}  // namespace

std::unique_ptr<Key> ParseHive(std::string_view text, std::size_t* failedLine) {
    return ParseHive(std::make_shared<const std::string>(text), failedLine);
}

std::unique_ptr<Key> ParseHive(std::shared_ptr<const std::string> wholeText,
                               std::size_t* failedLineOut) {
    std::string_view text = *wholeText;
    // Editors on Windows like to start UTF-8 files with a byte-order mark.
    if (text.starts_with(kUtf8ByteOrderMark)) text.remove_prefix(kUtf8ByteOrderMark.size());
    LineReader lines(text);
    std::string_view line;
    if (!lines.Next(line) || line != kRegedit4Header) {
        if (failedLineOut) *failedLineOut = 1;
        return nullptr;
    }
    // Every line is read here, so that a text with a line that cannot be read fails as
    // a whole; only taking the values into their keys may wait.
    auto root = std::make_unique<Key>();
    LastKeyLine lastKeyLine;
    ValueRun run;
    std::size_t failedLine = 0;
    const bool read = ReadEntries(lines, TextSyntax{}, failedLine, [&](TextEntry&& entry) {
        if (entry.kind == TextEntry::kKey) {
            run.Finish(wholeText);
            Key* key = OpenKeyOfLine(entry.path, *root, lastKeyLine);
            if (key) run.Start(*key, lines.Position());
            return key != nullptr;
        }
        run.Add(entry, lines.Position());
        return true;
    });
    if (!read) {
        if (failedLineOut) *failedLineOut = failedLine;
        return nullptr;
    }
    run.Finish(wholeText);
    return root;
}

void ReadValueLines(std::string_view text, const std::function<void(Value&&)>& take) {
    LineReader lines(text);
    std::size_t failedLine = 0;
    const char* lineStart = text.data();
    ReadEntries(
        lines, TextSyntax{}, failedLine,
        [&](TextEntry&& entry) {
            entry.value.name = std::move(entry.name);
            entry.value.writtenLine =
                std::string_view(lineStart, static_cast<std::size_t>(lines.Position() - lineStart));
            lineStart = lines.Position();
            take(std::move(entry.value));
            return true;
        },
        true);
}

std::string WriteHive(const Key& root) {
    std::string text;
    WriteHive(root, text);
    return text;
}

void WriteHive(const Key& root, std::string& text, std::vector<TextPiece>* pieces) {
    std::string path(kRootName);
    // Room made once rather than by doubling, each time copying all written so far.
    const std::size_t about = WrittenBytesAbout(root, path.size());
    text.reserve(about + about / 8);
    TextOut out(text, true, pieces);
    out.Put(kRegedit4Header);
    out.Put('\n');
    AppendKey(out, root, path, true);
}

}  // namespace marrowick::platform
