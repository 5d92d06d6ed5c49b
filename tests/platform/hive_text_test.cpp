#include <gtest/gtest.h>

#include <algorithm>
#include <string_view>

#include "hive_text.h"

using marrowick::platform::Key;
using marrowick::platform::ParseHive;
using marrowick::platform::SameTree;
using marrowick::platform::Value;
using marrowick::platform::WriteHive;

namespace {

std::string Bytes(std::initializer_list<int> values) {
    std::string bytes;
    for (int value : values) bytes += static_cast<char>(value);
    return bytes;
}

Key SampleTree() {
    Key root;
    Key& viewer = root.OpenOrAddSubKey("Software").OpenOrAddSubKey("Viewer");
    viewer.SetValue("Name", 1, std::string("Betrachter \"Ä\" C:\\x") + '\0');
    viewer.SetValue("", 1, std::string("default") + '\0');
    viewer.SetValue("Count", 4, Bytes({0x0a, 0, 0, 0x80}));
    viewer.SetValue("Short", 4, Bytes({1, 2}));
    viewer.SetValue("NoNul", 1, "abc");
    viewer.SetValue("Inner", 1, Bytes({'a', 0, 'b', 0}));
    viewer.SetValue("Line", 1, std::string("a\nb") + '\0');
    viewer.SetValue("Latin1", 1, Bytes({0xe4, 0}));
    viewer.SetValue("Empty", 1, "");
    viewer.SetValue("Big", 0x12345678, std::string(60, '\x7f'));
    root.OpenOrAddSubKey("Empty Key");
    root.SetValue("AtRoot", 3, Bytes({0xff}));
    return root;
}

TEST(HiveText, EveryValueRoundTripsByteForByteWithItsType) {
    const Key tree = SampleTree();
    const std::string text = WriteHive(tree);
    const std::unique_ptr<Key> back = ParseHive(text);
    ASSERT_TRUE(back) << text;
    EXPECT_TRUE(SameTree(tree, *back)) << text;
    EXPECT_EQ(WriteHive(*back), text);
}

TEST(HiveText, WritesReadableTextWhereItCanAndHexElsewhere) {
    const std::string text = WriteHive(SampleTree());
    EXPECT_TRUE(text.starts_with("REGEDIT4\n\n[HKEY_LOCAL_MACHINE]\n\"AtRoot\"=hex(3):ff\n"));
    EXPECT_NE(text.find("\n\n[HKEY_LOCAL_MACHINE\\Software]\n\n"
                        "[HKEY_LOCAL_MACHINE\\Software\\Viewer]\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"Name\"=\"Betrachter \\\"Ä\\\" C:\\\\x\"\n@=\"default\"\n"),
              std::string::npos);
    EXPECT_NE(text.find("\"Count\"=dword:8000000a\n\"Short\"=hex(4):01,02\n"), std::string::npos);
    EXPECT_NE(text.find("\"NoNul\"=hex(1):61,62,63\n"), std::string::npos);
    EXPECT_NE(text.find("\"Line\"=hex(1):61,0a,62,00\n"), std::string::npos);
    EXPECT_NE(text.find("\"Latin1\"=hex(1):e4,00\n\"Empty\"=hex(1):\n"), std::string::npos);
    EXPECT_NE(text.find("\"Big\"=hex(12345678):7f,"), std::string::npos);
    EXPECT_TRUE(text.ends_with("\n\n[HKEY_LOCAL_MACHINE\\Empty Key]\n"));
}

TEST(HiveText, ReadsWhatPeopleWriteByHand) {
    const std::unique_ptr<Key> root = ParseHive(
        "\xEF\xBB\xBFREGEDIT4\r\n"
        "; a comment\r\n"
        "[HKEY_LOCAL_MACHINE\\A\\B]\r\n"
        "\"Bin\"=hex:01,02,\\\r\n"
        "  03\r\n"
        "\"Num\"=dword:0000FFFF\r\n"
        "[hkey_local_machine\\a]\n"
        "\"X\"=\"1\"\n"
        "\"x\"=\"2\"\n");
    ASSERT_TRUE(root);
    const Key* a = root->FindSubKey("a");
    ASSERT_TRUE(a);
    EXPECT_EQ(a->Name(), "A");
    ASSERT_EQ(a->Values().size(), 1u);  // same name: the later line wins
    EXPECT_EQ(a->Values()[0].name, "X");
    EXPECT_EQ(a->Values()[0].data, std::string("2") + '\0');
    const Key* b = a->FindSubKey("B");
    ASSERT_TRUE(b);
    EXPECT_EQ(b->FindValue("bin")->type, 3u);
    EXPECT_EQ(b->FindValue("bin")->data, Bytes({1, 2, 3}));
    EXPECT_EQ(b->FindValue("NUM")->data, Bytes({0xff, 0xff, 0, 0}));
}

// Values a parse keeps for later (lines exactly as written) meet a second line of their key,
// a copy and a change as values read at once would.
TEST(HiveText, ValuesKeptForLaterAreTheValuesOfTheirLines) {
    const std::string asWritten =
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n\"y\"=\"2\"\n\n"
        "[HKEY_LOCAL_MACHINE\\B]\n\"b\"=\"5\"\n";
    const auto tree = ParseHive(asWritten);
    ASSERT_TRUE(tree);
    Key copy = tree->Copy();
    copy.FindSubKey("A")->SetValue("Y", 1, std::string("6") + '\0');
    EXPECT_TRUE(copy.FindSubKey("B")->DeleteValue("B"));
    EXPECT_EQ(WriteHive(*tree), asWritten);
    EXPECT_EQ(WriteHive(copy),
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"1\"\n\"y\"=\"6\"\n\n"
              "[HKEY_LOCAL_MACHINE\\B]\n");
    const auto again =
        ParseHive(asWritten + "\n[HKEY_LOCAL_MACHINE\\a]\n\"X\"=\"3\"\n\"z\"=\"4\"\n");
    ASSERT_TRUE(again);
    EXPECT_EQ(WriteHive(*again),
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"3\"\n\"y\"=\"2\"\n"
              "\"z\"=\"4\"\n\n[HKEY_LOCAL_MACHINE\\B]\n\"b\"=\"5\"\n");
}

// Values read from their lines are written back from them while unchanged: a change, a
// deletion and an addition among them give what writing every value afresh gives.
TEST(HiveText, UnchangedValuesAreWrittenAsTheyWereRead) {
    Key fresh = SampleTree();
    Key& viewer = *fresh.FindSubKey("Software")->FindSubKey("Viewer");
    const std::string before = WriteHive(fresh);
    const auto tree = ParseHive(before);
    ASSERT_TRUE(tree);
    Key& read = *tree->FindSubKey("Software")->FindSubKey("Viewer");
    ASSERT_TRUE(read.FindValue("Big"));  // every value of the key read from its lines
    const Key untouched = tree->Copy();
    for (Key* key : {&viewer, &read}) {
        key->SetValue("Count", 4, Bytes({6, 0, 0, 0}));
        key->SetFoundValue(key->FindValue("count"), "count", 4, Bytes({7, 0, 0, 0}));
        EXPECT_TRUE(key->DeleteValue("NoNul"));
        key->SetValue("Gone", 1, "g");
        EXPECT_TRUE(key->DeleteValue("Gone"));
        key->SetFoundValue(nullptr, "New", 1, std::string("n") + '\0');
        // What the writer reserves for follows the values to write, however often set.
        std::size_t values = 0, bytes = 0;
        for (const Value& value : key->Values()) {
            if (!value.writtenLine.empty()) continue;
            ++values;
            bytes += value.name.size() + value.data.size();
        }
        EXPECT_EQ(key->ValuesToWrite(), values);
        EXPECT_EQ(key->BytesToWrite(), bytes);
    }
    EXPECT_EQ(WriteHive(*tree), WriteHive(fresh));
    EXPECT_EQ(WriteHive(untouched), before);
}

TEST(HiveText, RejectsAnythingItCannotReadExactly) {
    const char* bad[] = {
        "",
        "REGEDIT5\n",
        "Windows Registry Editor Version 5.00\n",
        "REGEDIT4\n\"Orphan\"=\"no key\"\n",
        "REGEDIT4\n[HKEY_CURRENT_USER\\A]\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\\\B]\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"unterminated\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"bad \\n escape\"\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=\"trailing\" \n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dword:123\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=dword:1234567g\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=hex:1,2\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=hex:01,\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=hex:01,\\\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=hex(123456789):01\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\n\"x\"=-\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A]\nx=\"1\"\n",
        "REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\n",
    };
    for (const char* text : bad) {
        std::size_t failedLine = 0;
        EXPECT_FALSE(ParseHive(text, &failedLine)) << text;
        // Each fault is on the text's last line, and messages name it.
        const std::string_view view(text);
        EXPECT_EQ(failedLine, std::max<std::size_t>(1, std::count(view.begin(), view.end(), '\n')))
            << text;
    }
}

TEST(HiveText, KeyLinesFindTheirKeysWhateverCameBefore) {
    const auto tree = ParseHive(
        "REGEDIT4\n"
        "[HKEY_LOCAL_MACHINE\\A\\B]\n\"1\"=\"\"\n"
        "[HKEY_LOCAL_MACHINE\\A\\BC\\D]\n\"2\"=\"\"\n"
        "[HKEY_LOCAL_MACHINE\\a\\b\\E]\n\"3\"=\"\"\n"
        "[HKEY_LOCAL_MACHINE\\A\\B\\e\\F]\n\"4\"=\"\"\n"
        "[HKEY_LOCAL_MACHINE\\A\\B]\n\"5\"=\"\"\n");
    ASSERT_TRUE(tree);
    ASSERT_EQ(tree->SubKeys().size(), 1u);
    const Key& a = *tree->SubKeys()[0];
    ASSERT_EQ(a.SubKeys().size(), 2u);
    const Key& b = *a.SubKeys()[0];
    EXPECT_EQ(b.Name(), "B");
    EXPECT_EQ(b.Values().size(), 2u);  // "1" and "5"
    EXPECT_EQ(a.SubKeys()[1]->Name(), "BC");
    ASSERT_EQ(b.SubKeys().size(), 1u);
    const Key& e = *b.SubKeys()[0];
    EXPECT_EQ(e.Name(), "E");
    EXPECT_TRUE(e.FindValue("3"));
    ASSERT_EQ(e.SubKeys().size(), 1u);
    EXPECT_TRUE(e.SubKeys()[0]->FindValue("4"));
}

TEST(HiveText, KeyLinesStayWithinWindowsLimits) {
    std::string deepest = "[HKEY_LOCAL_MACHINE";
    for (int level = 0; level < 512; ++level) deepest += "\\k";
    std::string umlauts;
    for (int i = 0; i < 255; ++i) umlauts += "ä";  // 255 characters in 510 bytes
    const std::string text = "REGEDIT4\n\n" + deepest + "]\n\"v\"=\"deep\"\n\n" +
                             "[HKEY_LOCAL_MACHINE\\" + umlauts + "]\n";

    const auto tree = ParseHive(text);
    ASSERT_TRUE(tree);
    const Key* key = tree.get();
    for (int level = 0; level < 512 && key; ++level) key = key->FindSubKey("k");
    ASSERT_TRUE(key);
    EXPECT_TRUE(key->SubKeys().empty());
    EXPECT_TRUE(key->FindValue("v"));
    EXPECT_TRUE(tree->FindSubKey(umlauts));
    // Written out, every level on the way down has its own line, and reads back the same.
    const std::string written = WriteHive(*tree);
    const auto again = ParseHive(written);
    ASSERT_TRUE(again);
    EXPECT_TRUE(SameTree(*tree, *again));

    EXPECT_FALSE(ParseHive("REGEDIT4\n\n" + deepest + "\\k]\n"));
    EXPECT_FALSE(ParseHive("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\" + umlauts + "x]\n"));
}

// What RegSetValueExA could never have stored makes the hive one we cannot read.
TEST(HiveText, ValueNamesStayWithinWindowsLimits) {
    const auto hiveWithName = [](const std::string& name) {
        return "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Mime]\n\"a\"=\"text/a\"\n\"" + name +
               "\"=\"x\"\n\"z\"=\"text/z\"\n";
    };
    std::string longest;
    for (int i = 0; i < 16383; ++i) longest += "\xF0\x9F\x98\x80";  // 4 bytes each
    const auto tree = ParseHive(hiveWithName(longest));
    ASSERT_TRUE(tree);
    EXPECT_TRUE(tree->FindSubKey("Mime")->FindValue(longest));

    EXPECT_FALSE(ParseHive(hiveWithName(std::string(16384, 'n'))));
    EXPECT_FALSE(ParseHive(hiveWithName(std::string(70000, 'n'))));
    // One lead byte and a long run of continuation bytes: one "character", 70,001 bytes.
    EXPECT_FALSE(ParseHive(hiveWithName("\xF0" + std::string(70000, '\x80'))));
    EXPECT_FALSE(ParseHive(hiveWithName("carriage\rreturn")));
    EXPECT_FALSE(ParseHive("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\carriage\rreturn]\n"));
    EXPECT_FALSE(ParseHive(hiveWithName(std::string("nul\0byte", 8))));
}

TEST(HiveText, DeletingKeepsTheOthersInOrderAndFindable) {
    Key key;
    for (const char* name : {"a", "b", "c", "d"}) key.SetValue(name, 1, name);
    EXPECT_TRUE(key.DeleteValue("B"));
    EXPECT_FALSE(key.DeleteValue("b"));
    key.SetValue("e", 1, "e");
    ASSERT_EQ(key.Values().size(), 4u);
    EXPECT_EQ(key.Values()[1].name, "c");
    EXPECT_EQ(key.FindValue("D")->data, "d");
    EXPECT_EQ(key.FindValue("e")->data, "e");
    EXPECT_EQ(key.Values()[3].name, "e");
    // Deleted before the order is looked at again: a name created anew goes last.
    EXPECT_TRUE(key.DeleteValue("a"));
    key.SetValue("A", 1, "again");
    EXPECT_EQ(key.FindValue("a")->data, "again");
    ASSERT_EQ(key.ValueCount(), 4u);
    EXPECT_EQ(key.Values()[3].name, "A");
    for (const char* name : {"k1", "k2", "k3"}) key.OpenOrAddSubKey(name);
    EXPECT_TRUE(key.DeleteSubKey("K1"));
    ASSERT_EQ(key.SubKeys().size(), 2u);
    EXPECT_EQ(key.SubKeys()[1].get(), key.FindSubKey("k3"));
}

// Many names, whole runs of them deleted and added again: every name still found under any
// case of it (beyond ASCII too), and no deleted one.
TEST(HiveText, ManyNamesStayFindableThroughDeletionsAndAdditions) {
    Key key;
    const auto name = [](int i) { return "Wert-\u00e4" + std::to_string(i); };
    const auto other = [](int i) { return "WERT-\u00c4" + std::to_string(i); };
    for (int i = 0; i < 600; ++i) key.SetValue(name(i), 1, std::to_string(i));
    for (int i = 0; i < 600; i += 3) ASSERT_TRUE(key.DeleteValue(other(i)));
    for (int i = 0; i < 600; i += 6) key.SetValue(name(i), 1, "again");
    const auto expectFound = [&](const Key& tree) {
        for (int i = 0; i < 600; ++i) {
            const auto* found = tree.FindValue(other(i));
            if (i % 6 == 3) {
                EXPECT_EQ(found, nullptr) << i;
            } else {
                ASSERT_NE(found, nullptr) << i;
                EXPECT_EQ(found->data, i % 6 == 0 ? "again" : std::to_string(i));
            }
        }
        EXPECT_EQ(tree.ValueCount(), 500u);
    };
    expectFound(key);  // with the deleted ones' places still empty
    expectFound(key.Copy());
}

// A copy is a tree of its own: the same throughout, found by its names, and changed
// without touching the original.
TEST(HiveText, ACopyIsTheSameTreeAndChangesApart) {
    const Key original = SampleTree();
    Key copy = original.Copy();
    EXPECT_TRUE(SameTree(original, copy));
    Key* viewer = copy.FindSubKey("SOFTWARE")->FindSubKey("viewer");
    ASSERT_NE(viewer, nullptr);
    EXPECT_EQ(viewer->FindValue("COUNT")->data, Bytes({0x0a, 0, 0, 0x80}));
    viewer->SetValue("count", 4, "x");
    EXPECT_TRUE(viewer->DeleteValue("Name"));
    viewer->OpenOrAddSubKey("New");
    EXPECT_TRUE(copy.DeleteSubKey("Empty Key"));
    copy.Clear();
    EXPECT_TRUE(SameTree(original, SampleTree()));
}

}  // namespace
