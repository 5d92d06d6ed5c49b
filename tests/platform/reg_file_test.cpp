// .reg files as Windows writes them: encodings, statements and their lines, and the form
// export writes.
#include <gtest/gtest.h>

#include <key_path.h>
#include <reg_file.h>
#include <utf8.h>

#include <string>

using marrowick::platform::KeyPathFault;
using marrowick::platform::NormalKeyPath;
using marrowick::platform::ReadKeyPath;
using marrowick::platform::ReadRegFile;
using marrowick::platform::RegFileContents;
using marrowick::platform::RegFileEntry;
using marrowick::platform::RegFileFormat;
using marrowick::platform::RegFileKey;
using marrowick::platform::WriteRegFile;

namespace {

// "k\k\...\k", levels deep.
std::string NestedPath(int levels) {
    std::string path = "k";
    for (int level = 1; level < levels; ++level) path += "\\k";
    return path;
}

// UTF-16LE with byte-order mark.
std::string Utf16(const std::string& text) {
    return "\xFF\xFE" + marrowick::platform::Utf8ToUtf16Le(text);
}

TEST(RegFile, ReadsStatementsWithTheirLinesFromUtf16) {
    const RegFileContents contents =
        ReadRegFile(Utf16("Windows Registry Editor Version 5.00\r\n\r\n"
                          "[-HKEY_LOCAL_MACHINE\\A\\Gone]\r\n"
                          "; comment\r\n"
                          "[HKLM\\A]\r\n"
                          "\"Typ\"=\"text/ä\"\r\n"
                          "\"Wide\"=hex(2):e4,00,\\\r\n"
                          "  00,00\r\n"
                          "\"Gone\"=-\r\n"
                          "@=dword:0000002a\r\n") +
                    std::string("\x3D\xD8\x00\xDE", 4));  // a lone pair at the end is a stray line
    EXPECT_EQ(contents.failure, RegFileContents::kSyntax);
    EXPECT_EQ(contents.failedLine, 11u);

    const RegFileContents good = ReadRegFile(Utf16(
        "Windows Registry Editor Version 5.00\r\n\r\n[-HKEY_LOCAL_MACHINE\\A\\Gone]\r\n; c\r\n"
        "[HKLM\\A]\r\n\"Typ\"=\"text/ä\"\r\n\"Wide\"=hex(2):e4,00,\\\r\n  00,00\r\n"
        "\"Gone\"=-\r\n@=dword:0000002a\r\n"));
    ASSERT_EQ(good.failure, RegFileContents::kNone);
    EXPECT_EQ(good.format, RegFileFormat::kVersion5);
    ASSERT_EQ(good.entries.size(), 6u);
    const struct {
        RegFileEntry::Kind kind;
        std::size_t line;
        const char* key;
        const char* name;
        std::string data;
    } expected[] = {
        {RegFileEntry::kDeleteKey, 3, "A\\Gone", "", ""},
        {RegFileEntry::kKey, 5, "A", "", ""},
        {RegFileEntry::kValue, 6, "A", "Typ", std::string("text/ä") + '\0'},
        {RegFileEntry::kValue, 7, "A", "Wide", std::string("ä") + '\0'},
        {RegFileEntry::kDeleteValue, 9, "A", "Gone", ""},
        {RegFileEntry::kValue, 10, "A", "", std::string("\x2a\0\0\0", 4)},
    };
    for (std::size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(good.entries[i].kind, expected[i].kind) << i;
        EXPECT_EQ(good.entries[i].line, expected[i].line) << i;
        EXPECT_EQ(good.entries[i].keyPath, expected[i].key) << i;
        EXPECT_EQ(good.entries[i].value.name, expected[i].name) << i;
        EXPECT_EQ(good.entries[i].value.data, expected[i].data) << i;
    }
}

// What people write by hand and the registry editors of Windows and Wine read.
TEST(RegFile, ReadsBlanksAndShortDwordsAsRegistryEditorsDo) {
    const std::string key = "REGEDIT4\n[HKLM\\A]\n";
    const std::string one = std::string("1") + '\0';
    const struct {
        std::string text;
        std::string data;
    } cases[] = {
        {"REGEDIT4\n \t\n[HKLM\\A]\n\"x\"=\"1\"\n", one},  // a line of blanks
        {key + "  \"x\"=\"1\"\n", one},                    // blanks before a value
        {key + "\t; note\n\"x\"=\"1\"\n", one},            // ... and a comment
        {"REGEDIT4\n[HKLM\\A] \t\n\"x\"=\"1\"\n", one},    // blanks after "]"
        {key + "\"x\"=\"1\" \t\n", one},                   // ... and after the data
        {key + "\"x\" = \"1\"\n", one},                    // ... and around "="
        {key + "\"x\"=dword:1\n", std::string("\1\0\0\0", 4)},
        {key + "\"x\"= dword:fffffff\n", std::string("\xff\xff\xff\x0f", 4)},
    };
    for (const auto& c : cases) {
        const RegFileContents contents = ReadRegFile(c.text);
        ASSERT_EQ(contents.failure, RegFileContents::kNone) << c.text;
        ASSERT_EQ(contents.entries.size(), 2u) << c.text;
        EXPECT_EQ(contents.entries[1].keyPath, "A");
        EXPECT_EQ(contents.entries[1].value.name, "x") << c.text;
        EXPECT_EQ(contents.entries[1].value.data, c.data) << c.text;
    }
}

// Quoted text is scanned several bytes at a time: an escape or the closing quote is found
// wherever it falls, in a name as in the data.
TEST(RegFile, ReadsEscapesAndQuotesAtEveryPlace) {
    for (std::size_t before = 0; before < 18; ++before) {
        const std::string plain(before, 'a');
        const std::string text = "REGEDIT4\n[HKLM\\A]\n\"" + plain + "\\\"n\"=\"" + plain + "\\\\" +
                                 plain + "\\\"\"\n\"" + plain + "z\"=\"\"\n";
        const RegFileContents contents = ReadRegFile(text);
        ASSERT_EQ(contents.entries.size(), 3u) << text;
        EXPECT_EQ(contents.entries[1].value.name, plain + "\"n") << text;
        EXPECT_EQ(contents.entries[1].value.data, plain + "\\" + plain + "\"" + '\0') << text;
        EXPECT_EQ(contents.entries[2].value.name, plain + "z") << text;
    }
}

TEST(RegFile, RefusesWhatItCannotReadExactly) {
    const struct {
        std::string bytes;
        RegFileContents::Failure failure;
        std::size_t line;
    } cases[] = {
        {"\xFF\xFEW", RegFileContents::kEncoding, 0},
        {Utf16("REGEDIT5\r\n"), RegFileContents::kHeader, 1},
        {"REGEDIT4\n\"a\"=\"b\"\n", RegFileContents::kSyntax, 2},  // a value before any key
        {"REGEDIT4\n[-HKLM\\A]\n\"a\"=\"b\"\n", RegFileContents::kSyntax, 3},
        {"REGEDIT4\n[HKLM\\A]\n\"a\"=hex(1):61,\\\n", RegFileContents::kSyntax, 3},
        {"REGEDIT4\n[HKEY_USERS\\A]\n", RegFileContents::kSyntax, 2},
        {Utf16("Windows Registry Editor Version 5.00\n[HKLM\\A]\n\"a\"=hex(1):61\n"),
         RegFileContents::kSyntax, 3},  // half a UTF-16 character
        {"REGEDIT4\n[HKLM\\A]\n\"a\"=\"line\nbreak\"\n", RegFileContents::kSyntax, 3},
        {"REGEDIT4\n[HKLM\\A]\n\"a\"\n", RegFileContents::kSyntax, 3},
        {"REGEDIT4\n[HKLM\\A]\n\"a\"=dword:000000001\n", RegFileContents::kSyntax, 3},
        {"REGEDIT4\n[HKLM\\A]\n\"a\"=dword:\n", RegFileContents::kSyntax, 3},
    };
    for (const auto& c : cases) {
        const RegFileContents contents = ReadRegFile(c.bytes);
        EXPECT_EQ(contents.failure, c.failure) << c.bytes;
        EXPECT_EQ(contents.failedLine, c.line) << c.bytes;
        EXPECT_TRUE(contents.entries.empty());
    }
}

// The registry functions and the import's check read key paths alike.
TEST(KeyPath, OneSpellingForEveryLayer) {
    const struct {
        std::string path;
        KeyPathFault fault;
        std::string normal;
    } cases[] = {
        {"A\\B", KeyPathFault::kNone, "A\\B"},
        {"A\\B\\\\", KeyPathFault::kNone, "A\\B"},
        {"", KeyPathFault::kNone, ""},
        {"\\A", KeyPathFault::kBadPath, ""},
        {"A\\\\B", KeyPathFault::kBadPath, ""},
        {std::string("A\\B\0C", 5), KeyPathFault::kBadName, ""},
        {"A\\" + std::string(256, 'n'), KeyPathFault::kBadName, ""},
        {NestedPath(513), KeyPathFault::kTooDeep, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ReadKeyPath(c.path), c.fault) << c.path;
        EXPECT_EQ(NormalKeyPath(c.path).value_or(""), c.normal) << c.path;
    }
    const RegFileContents contents = ReadRegFile("REGEDIT4\n[HKLM\\A\\B\\]\n[-HKLM\\C\\]\n");
    ASSERT_EQ(contents.entries.size(), 2u);
    EXPECT_EQ(contents.entries[0].keyPath, "A\\B");
    EXPECT_EQ(contents.entries[1].keyPath, "C");
}

TEST(RegFile, WritesWhatWindowsRegistryEditorWrites) {
    const std::vector<RegFileKey> keys = {
        {"S\\V",
         {{"", 1, std::string("ä \"q\" \\") + '\0'}, {"n", 4, std::string("\x0a\0\0\0", 4)}}},
        {"S\\V\\Leer", {}},
        {"S\\V\\B", {{"bin", 3, std::string(40, '\x01')}, {"x", 2, std::string("%ü%") + '\0'}}},
    };
    const std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\S\\V]\r\n@=\"ä \\\"q\\\" \\\\\"\r\n\"n\"=dword:0000000a\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\S\\V\\Leer]\r\n\r\n"
        "[HKEY_LOCAL_MACHINE\\S\\V\\B]\r\n"
        "\"bin\"=hex:01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,\\\r\n"
        "  01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01,01\r\n"
        "\"x\"=hex(2):25,00,fc,00,25,00,00,00\r\n\r\n";
    EXPECT_EQ(WriteRegFile(keys, RegFileFormat::kVersion5), Utf16(text));
    bool windows1252 = false;
    std::string narrow = text;
    narrow.replace(0, 36, "REGEDIT4");
    narrow.replace(narrow.find("hex(2):25,00,fc,00,25,00,00,00"), 30, "hex(2):25,fc,25,00");
    for (std::size_t at; (at = narrow.find("ä")) != std::string::npos;)
        narrow.replace(at, 2, "\xE4");
    EXPECT_EQ(WriteRegFile(keys, RegFileFormat::kRegedit4, &windows1252), narrow);
    EXPECT_TRUE(windows1252);
}

}  // namespace
