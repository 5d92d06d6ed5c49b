// The settings' rules, each once, and the change path that every writer takes.
#include "stdafx.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ChangeSet.h"
#include "ImportDifference.h"
#include "RegistryProbe.h"
#include "SettingRules.h"
#include "ViewerTree.h"
#include "hive_fixture.h"
#include "resource.h"

namespace marrowick::test {
namespace {

using platform::RegFileValue;

const char kViewer[] = "Software\\TAVIK\\Brisvandale\\Pallisander";
const char kObjectNum[] = "Software\\TAVIK\\Brisvandale\\Pallisander\\ObjectNum";
const char kMimeMap[] = "SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\MimeMap";

Change Raw(const char* key, const char* name, DWORD type, const std::string& data) {
    return SetValueChange(key, name, {name, type, data});
}

TEST(SettingRulesTest, EachRuleRefusesInOneWordingAndNothingElse) {
    const struct {
        Change change;
        const char* refusal;  // "" when allowed
    } cases[] = {
        {SetDwordChange(kViewer, "TopDay", 2), ""},
        {SetDwordChange(kViewer, "topday", 3),
         "TopDay: Erwartet wird dword:00000001 (sonntag) oder dword:00000002 (montag), "
         "z. B. \"TopDay\"=dword:00000001."},
        {SetStringChange(kViewer, "TopDay", "1"), "TopDay: Erwartet wird dword:00000001"},
        {SetDwordChange(kViewer, "SortDir", 2),
         "SortDir: Erwartet wird dword:00000000 (aufsteigend) oder"},
        {SetStringChange(kViewer, "SortKey", "3E149908_B1F6_11d3_88E3_000629B0191D"), ""},
        {SetStringChange(kViewer, "SortKey", "3e149908_b1f6_11d3_88e3_000629b0191d"),
         "SortKey: Erwartet wird eine dieser Kennungen als Text, genau so geschrieben: "
         "045c375f_7aad_11d1_85e5_00a024e8a452 (Dokumentname), "},
        {SetDwordChange(kObjectNum, "EntrySection", 4),
         "EntrySection: Erwartet wird ein dword:-Wert von dword:00000005 (5) bis dword:00000063 "
         "(99), z. B. \"EntrySection\"=dword:0000000a."},
        {SetDwordChange(kObjectNum, "DocList", 100), ""},
        {Raw(kObjectNum, "SecThum", REG_DWORD, "\x0a"), "SecThum: Erwartet wird ein dword:-Wert"},
        {SetDwordChange(kViewer, "DocList", 1000), ""},  // only in ObjectNum a count
        {SetDwordChange(std::string(kViewer) + "\\Other", "Any", 1), ""},
        {SetStringChange(kMimeMap, "", "text/plain"), "Erweiterung wurde nicht eingegeben."},
        {SetDwordChange(kMimeMap, "pdf", 1), "pdf: MIME-Typen werden als Text (REG_SZ)"},
        {SetStringChange(kMimeMap, "pdf", "text/\nplain"), "Zeilenumbrüche"},
        {SetStringChange(kMimeMap, std::string("p\0df", 4), "x"), "Namen dürfen weder NUL"},
        {SetStringChange(kMimeMap, "p\rdf", "x"), "Namen dürfen weder NUL"},
        {SetDwordChange("Software\\TAVIK\\Brisvandale\\PallisanderX", "TopDay", 1),
         "gehört nicht zu den Einstellungen des Betrachters"},
        {KeyChange(Change::kDeleteKey, "Software"), "gehört nicht zu den Einstellungen"},
    };
    for (const auto& c : cases) {
        const ChangeOutcome outcome =
            CheckChangeSet({SetDwordChange(kViewer, "TopDay", 1), c.change});
        if (*c.refusal == '\0') {
            EXPECT_TRUE(outcome.Applied()) << c.change.name << ": " << outcome.message;
        } else {
            EXPECT_EQ(outcome.result, ChangeOutcome::kInvalid) << c.refusal;
            EXPECT_EQ(outcome.failedChange, 1) << c.refusal;
            EXPECT_NE(outcome.message.find(c.refusal), std::string::npos)
                << c.refusal << " | " << outcome.message;
        }
    }
}

TEST(SettingRulesTest, TypedTextIsParsedByTheSameRules) {
    const std::string kRefused = "-";
    const struct {
        const char* name;
        const char* text;
        std::string stored;
    } cases[] = {
        {"TopDay", "Montag", std::string("\x02\0\0\0", 4)},
        {"SortDir", "absteigend", std::string("\x01\0\0\0", 4)},
        {"SortKey", "größe", std::string("3E149908_B1F6_11d3_88E3_000629B0191D", 37)},
        {"SortKey", "7", std::string("9340d399_ed79_11d2_8c3b_00e0292f001f", 37)},
        {"DocThum", "+42", std::string("\x2a\0\0\0", 4)},
        {"DocThum", "101", kRefused},
        {"SortKey", "8", kRefused},
    };
    for (const auto& c : cases) {
        RegFileValue value;
        std::string refusal;
        const SettingRule& rule = *FindSettingRule(c.name);
        if (ParseSettingText(rule, c.text, value, refusal)) {
            EXPECT_EQ(value.data, c.stored) << c.text;
            EXPECT_EQ(CheckSettingValue(rule, value), "") << c.text;
        } else {
            EXPECT_EQ(kRefused, c.stored) << c.text;
            EXPECT_FALSE(refusal.empty()) << c.text;
        }
    }
}

// Labels as a terminal may send them: decomposed, in capitals with ß as SS, in any case.
TEST(SettingRulesTest, SortKeyLabelsMatchInAnyLetterCaseAndUnicodeForm) {
    const struct {
        const char* text;
        int index;  // -1: refused
    } cases[] = {
        {"Größe", SortKeySize},
        {"GRÖSSE", SortKeySize},
        {"grösse", SortKeySize},
        {"gro\u0308\u00dfe", SortKeySize},
        {"GRÖẞE", SortKeySize},
        {"Gea\u0308ndert", SortKeyChanged},
        {"GEA\u0308NDERT", SortKeyChanged},
        {"hinzugefügt", SortKeyAdded},
        {"anzahl von abschnitten", SortKeySectionCount},
        {"Grosse", -1},
        {"Gea\u0301ndert", -1},
        {"Geandert", -1},
        {"Anzahl", -1},
    };
    const SettingRule& rule = *FindSettingRule("SortKey");
    for (const auto& c : cases) {
        RegFileValue value;
        std::string refusal;
        const bool taken = ParseSettingText(rule, c.text, value, refusal);
        EXPECT_EQ(taken ? FindSortKeyId(value.data.c_str()) : -1, c.index) << c.text;
    }
    RegFileValue value;
    std::string refusal;
    ASSERT_FALSE(ParseSettingText(rule, "Anzahl", value, refusal));
    for (int index = 0; index < SortKeyCount; ++index) {
        EXPECT_NE(refusal.find(DescribeSettingNumber(rule, index)), std::string::npos) << refusal;
    }
    EXPECT_NE(refusal.find("in Anführungszeichen, z. B. 'SortKey=Anzahl von Abschnitten'"),
              std::string::npos)
        << refusal;
}

class ChangeSetTest : public HiveTest {};

TEST_F(ChangeSetTest, FailedExpectationWritesNothingAndNamesTheChange) {
    hive.PlantString(kMimeMap, "pdf", "application/pdf");
    const std::string before = hive.ReadText();
    Change add = SetStringChange(kMimeMap, "PDF", "application/x-pdf");
    add.expected.kind = Expectation::kAbsent;
    Change stale = SetStringChange(kMimeMap, "pdf", "text/plain");
    stale.expected = {Expectation::kEqual, REG_SZ, StringBytes("application/other")};
    Change gone = SetStringChange(kMimeMap, "doc", "x");
    gone.expected.kind = Expectation::kPresent;
    const struct {
        Change change;
        UINT messageId;
    } cases[] = {{add, IDS_DUPLICATE_EXTENSION},
                 {stale, IDS_MIME_DELETED_MEANWHILE},
                 {gone, IDS_MIME_DELETED_MEANWHILE}};
    for (const auto& c : cases) {
        const ChangeOutcome outcome =
            ApplyChangeSet({SetStringChange(kMimeMap, "txt", "text/plain"), c.change});
        EXPECT_EQ(outcome.result, ChangeOutcome::kExpectationFailed);
        EXPECT_EQ(outcome.failedChange, 1);
        EXPECT_EQ(outcome.messageId, c.messageId);
        EXPECT_EQ(hive.ReadText(), before);
    }
}

TEST_F(ChangeSetTest, ReportsWhatChangedWithOldValuesAndDryRunWritesNothing) {
    hive.PlantString(kMimeMap, "PDF", "application/pdf");
    hive.PlantValue(kObjectNum, "DocList", REG_DWORD, DwordBytes(30));
    const std::vector<Change> changes = {
        SetDwordChange(kObjectNum, "DocList", 30),  // already so: left out
        SetStringChange(kMimeMap, "pdf", "application/x-pdf"),
        DeleteValueChange(kMimeMap, "doc"),  // nothing to delete: left out
        KeyChange(Change::kCreateKey, std::string(kViewer) + "\\Extra"),
    };
    const std::string before = hive.ReadText();
    const ChangeOutcome dry = ApplyChangeSet(changes, true);
    EXPECT_TRUE(dry.Applied());
    EXPECT_EQ(hive.ReadText(), before);
    const ChangeOutcome done = ApplyChangeSet(changes);
    ASSERT_TRUE(done.Applied());
    for (const ChangeOutcome* outcome : {&dry, &done}) {
        ASSERT_EQ(outcome->changed.size(), 2u);
        EXPECT_EQ(outcome->changed[0].name, "PDF");  // spelled as stored
        EXPECT_EQ(outcome->changed[0].oldValue->data, StringBytes("application/pdf"));
        EXPECT_EQ(outcome->changed[1].kind, Change::kCreateKey);
    }
    EXPECT_EQ(QueryValue(kMimeMap, "pdf")->bytes, StringBytes("application/x-pdf"));
    EXPECT_TRUE(KeyExists("Software\\TAVIK\\Brisvandale\\Pallisander\\Extra"));
    // A report copied keeps a value found of its own, as the service's and the dialogs' do.
    std::vector<Change> copy = done.changed;
    copy[0].oldValue->data = "changed";
    copy[1] = copy[0];
    EXPECT_EQ(done.changed[0].oldValue->data, StringBytes("application/pdf"));
    EXPECT_FALSE(done.changed[1].oldValue);
    EXPECT_EQ(copy[1].oldValue->data, "changed");
}

// A long run of value changes in one key goes to the registry in one call: each change
// keeps its place in the outcome, and a refused one is named by its own.
TEST_F(ChangeSetTest, LongRunOfValueChangesKeepsEachChangesPlace) {
    hive.PlantString(kMimeMap, "EXT270", "text/old");
    std::vector<Change> changes;
    for (int i = 0; i < 300; ++i) {
        changes.push_back(SetStringChange(kMimeMap, "ext" + std::to_string(i), "text/x"));
    }
    std::vector<Change> failing = changes;
    failing[290].expected.kind = Expectation::kPresent;
    const std::string before = hive.ReadText();
    const ChangeOutcome refused = ApplyChangeSet(failing);
    EXPECT_EQ(refused.result, ChangeOutcome::kExpectationFailed);
    EXPECT_EQ(refused.failedChange, 290);
    EXPECT_EQ(hive.ReadText(), before);
    const ChangeOutcome done = ApplyChangeSet(std::move(changes));
    ASSERT_TRUE(done.Applied());
    ASSERT_EQ(done.changed.size(), 300u);
    EXPECT_FALSE(done.changed[269].oldValue);
    EXPECT_EQ(done.changed[270].name, "EXT270");
    EXPECT_EQ(done.changed[270].oldValue->data, StringBytes("text/old"));
    EXPECT_EQ(QueryValue(kMimeMap, "ext299")->bytes, StringBytes("text/x"));
    // A run in a key that does not exist yet: its first change creates it.
    const std::string other = std::string(kViewer) + "\\Other";
    ASSERT_TRUE(
        ApplyChangeSet({SetDwordChange(other, "A", 1), SetDwordChange(other, "B", 2)}).Applied());
    EXPECT_EQ(QueryValue(other.c_str(), "B")->bytes, DwordBytes(2));
}

// What an import changes: a name given twice keeps its first spelling and takes its last
// value, however many names came between; a value deleted and set again is a change of the
// stored one; a value set as stored is left out.
TEST_F(ChangeSetTest, ImportOfRepeatedNamesChangesEachValueOnce) {
    hive.PlantString(kMimeMap, "Old", "text/old");
    hive.PlantString(kMimeMap, "same", "text/same");
    std::string file = "REGEDIT4\n[HKLM\\" + std::string(kMimeMap) + "]\n\"e7\"=\"text/1\"\n";
    for (int i = 0; i < 40; ++i) file += "\"e" + std::to_string(i) + "\"=\"text/x\"\n";
    file += "\"E7\"=\"text/2\"\n\"old\"=-\n\"OLD\"=\"text/new\"\n\"same\"=\"text/same\"\n";
    platform::RegFileContents contents = platform::ReadRegFile(file);
    std::vector<platform::RegFileKey> keys;
    ASSERT_EQ(ReadViewerTree(keys), ERROR_SUCCESS);
    const std::vector<Change> changes = ChangesOfImport(keys, std::move(contents.entries));
    ASSERT_EQ(changes.size(), 41u);  // Old where it is stored, then e7 and the others
    EXPECT_EQ(changes[0].name, "Old");
    EXPECT_EQ(changes[0].newValue.data, StringBytes("text/new"));
    EXPECT_EQ(changes[0].oldValue->data, StringBytes("text/old"));
    EXPECT_EQ(changes[1].name, "e7");
    EXPECT_EQ(changes[1].newValue.data, StringBytes("text/2"));
}

}  // namespace
}  // namespace marrowick::test
