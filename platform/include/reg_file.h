// .reg files as Windows' registry editor reads and writes them, for carrying settings
// between machines: "Windows Registry Editor Version 5.00" (UTF-16LE with byte-order mark
// and CRLF, Windows' default) and "REGEDIT4" (the ANSI code page). Names and texts are
// UTF-8 here, as everywhere in the store. The same reader and writer as the hive file's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace marrowick::platform {

enum class RegFileFormat {
    kVersion5,  // "Windows Registry Editor Version 5.00"
    kRegedit4,  // "REGEDIT4"
};

struct RegFileValue {
    std::string name;  // "" is the default value
    std::uint32_t type = 0;
    std::string data;  // the bytes as the store keeps them
};

// One statement of a file, in file order.
struct RegFileEntry {
    enum Kind {
        kKey,          // [path]: opens the key, creating it and its parents
        kDeleteKey,    // [-path]: deletes the key and everything below it
        kValue,        // "name"=data in the key opened last
        kDeleteValue,  // "name"=- in the key opened last
    };
    Kind kind = kKey;
    std::size_t line = 0;  // where the statement starts, from 1
    // Below HKEY_LOCAL_MACHINE, as written; "" is the root itself. A key's statements share
    // one copy, kept by the RegFileContents they were read into: valid while it lives.
    std::string_view keyPath;
    RegFileValue value;  // kValue: all of it; kDeleteValue: the name
};

struct RegFileContents {
    enum Failure {
        kNone,
        kEncoding,  // not UTF-16LE text although it starts with its byte-order mark
        kHeader,    // neither header on the first line
        kSyntax,    // a line that is not a statement (see failedLine)
    };
    Failure failure = kNone;
    std::size_t failedLine = 0;
    RegFileFormat format = RegFileFormat::kVersion5;
    std::vector<RegFileEntry> entries;
    // The bytes of the entries' key paths; moving the contents leaves them where they are.
    std::unique_ptr<char[]> keyPaths;
};

// Reads a file's bytes: UTF-16LE after its byte-order mark, otherwise UTF-8 when the
// bytes are valid UTF-8, else Windows-1252. Keys are below HKEY_LOCAL_MACHINE (or HKLM);
// string data written as hex(1), hex(2) and hex(7) is converted from the file's encoding.
// Nothing is skipped: one line that cannot be read fails the whole file.
RegFileContents ReadRegFile(std::string_view bytes);

// One key of a file to write, with its whole path below HKEY_LOCAL_MACHINE.
struct RegFileKey {
    std::string path;
    std::vector<RegFileValue> values;
};

// The bytes of a file listing these keys in this order, as Windows' registry editor writes
// them: CRLF line ends, a blank line before each key, quoted text where it reads back
// unchanged and hex elsewhere. kRegedit4 is Windows-1252 when every character has a place
// there and the bytes cannot be mistaken for UTF-8 (*windows1252 then true), else UTF-8.
std::string WriteRegFile(const std::vector<RegFileKey>& keys, RegFileFormat format,
                         bool* windows1252 = nullptr);

// A key or value name in the form the registry compares names: equal exactly when the
// registry takes the two names for the same.
std::string FoldName(std::string_view name);

}  // namespace marrowick::platform
