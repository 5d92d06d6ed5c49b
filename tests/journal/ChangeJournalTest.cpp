#include "stdafx.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "ChangeJournal.h"
#include "ChangeJournalReader.h"
#include "ChangeRecording.h"
#include "SettingRules.h"
#include "ValueFormat.h"
#include "hive_fixture.h"

namespace marrowick::test {
namespace {

using journal::Author;
using journal::ChangeSetEntryFields;
using journal::Face;
using platform::RegFileValue;

const std::string kObjectNum = "Software\\TAVIK\\Brisvandale\\Pallisander\\ObjectNum";
const std::string kReportedObjectNum =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\ObjectNum";
const std::string kReportedMimeMap =
    "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\MimeMap";

std::map<std::string, std::string> FieldMap(const std::vector<std::string>& fields) {
    std::map<std::string, std::string> map;
    for (const std::string& field : fields) {
        const std::size_t equals = field.find('=');
        EXPECT_NE(equals, std::string::npos) << field;
        EXPECT_TRUE(map.emplace(field.substr(0, equals), field.substr(equals + 1)).second)
            << "twice: " << field;
    }
    return map;
}

Change WithOld(Change change, const RegFileValue& old) {
    change.oldValue = old;
    return change;
}

RegFileValue Dword(DWORD number) {
    return {"", REG_DWORD, DwordBytes(number)};
}
RegFileValue Text(const std::string& text) {
    return {"", REG_SZ, StringBytes(text)};
}

// Each kind of change becomes its fields, values spelled as show and export spell them;
// a field that would say "no value" is left out.
TEST(ChangeJournalEntry, EachChangeIsSpelledAsTheCommandLineSpellsIt) {
    struct Case {
        const char* label;
        Change change;
        std::map<std::string, std::string> expected;  // per-change fields without _1
        std::vector<std::string> absent;
    };
    const Case cases[] = {
        {"set over an old value",
         WithOld(SetDwordChange(kObjectNum, "DocList", 30), Dword(20)),
         {{"ACTION", "set"},
          {"KEY", kReportedObjectNum},
          {"NAME", "DocList"},
          {"OLD", "20"},
          {"NEW", "30"}},
         {}},
        {"set where nothing was",
         SetStringChange(kMimeMapKeyPath, "pdf", "application/pdf"),
         {{"ACTION", "set"},
          {"KEY", kReportedMimeMap},
          {"NAME", "pdf"},
          {"NEW", "\"application/pdf\""}},
         {"OLD"}},
        {"deleted value",
         WithOld(DeleteValueChange(kMimeMapKeyPath, "Doc"), Text("application/msword")),
         {{"ACTION", "delete"}, {"NAME", "Doc"}, {"OLD", "\"application/msword\""}},
         {"NEW"}},
        {"neither number nor text",
         WithOld(SetValueChange(kObjectNum, "Extra", {"", REG_MULTI_SZ, std::string("a\0\0", 3)}),
                 {"", REG_DWORD, "\x01\x02"}),
         {{"OLD", "hex(4):01,02"}, {"NEW", "hex(7):61,00,00"}},
         {}},
        {"created key",
         KeyChange(Change::kCreateKey, kObjectNum),
         {{"ACTION", "create-key"}, {"KEY", kReportedObjectNum}},
         {"NAME", "OLD", "NEW"}},
        {"deleted key",
         KeyChange(Change::kDeleteKey, kMimeMapKeyPath),
         {{"ACTION", "delete-key"}, {"KEY", kReportedMimeMap}},
         {"NAME", "OLD", "NEW"}},
    };
    const Author author{0, "root", Face::kCommandLine, "", 0};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        const auto fields = FieldMap(ChangeSetEntryFields({c.change}, author));
        EXPECT_EQ(fields.at("MARROWICK_CHANGES"), "1");
        for (const auto& [name, value] : c.expected) {
            const std::string field = "MARROWICK_" + name + "_1";
            ASSERT_TRUE(fields.contains(field)) << field;
            EXPECT_EQ(fields.at(field), value) << field;
        }
        for (const std::string& name : c.absent) {
            EXPECT_FALSE(fields.contains("MARROWICK_" + name + "_1")) << name;
        }
    }
}

// The entry names who asked and through which face; only the service's entries name a
// calling process. MESSAGE_ID is the catalog's.
TEST(ChangeJournalEntry, NamesWhoAskedAndThroughWhichFace) {
    struct Case {
        Author author;
        const char* face;
        bool namesProcess;
        const char* messageStart;
    };
    const Case cases[] = {
        {{0, "root", Face::kCommandLine, "", 0},
         "command-line",
         false,
         "Einstellungen des Betrachters geändert von root (UID 0) über die Befehlszeile: 1 "
         "Änderung\n"},
        {{1000, "anna", Face::kDialog, "", 0},
         "dialog",
         false,
         "Einstellungen des Betrachters geändert von anna (UID 1000) über den Dialog"},
        {{0, "root", Face::kImport, "", 0}, "import", false, "Einstellungen des Betrachters"},
        {{1001, "bert", Face::kService, "marrowick", 4242},
         "service",
         true,
         "Einstellungen des Betrachters geändert von bert (UID 1001) über den "
         "Einstellungsdienst (Aufrufer marrowick, PID 4242): 1 Änderung\n"},
        // Also when the account has no name, and a process name given where no service is
        // involved is not taken up.
        {{4711, "", Face::kCommandLine, "ignored", 9},
         "command-line",
         false,
         "Einstellungen des Betrachters geändert von UID 4711 über die Befehlszeile"},
    };
    const std::vector<Change> changed = {
        WithOld(SetDwordChange(kObjectNum, "DocList", 30), Dword(20))};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.face);
        const auto fields = FieldMap(ChangeSetEntryFields(changed, c.author));
        EXPECT_EQ(fields.at("MESSAGE_ID"), journal::kChangeSetMessageId);
        EXPECT_EQ(fields.at("MARROWICK_UID"), std::to_string(c.author.uid));
        EXPECT_EQ(fields.contains("MARROWICK_USER"), !c.author.user.empty());
        EXPECT_EQ(fields.at("MARROWICK_FACE"), c.face);
        EXPECT_EQ(fields.contains("MARROWICK_PROCESS"), c.namesProcess);
        EXPECT_EQ(fields.contains("MARROWICK_PID"), c.namesProcess);
        EXPECT_TRUE(fields.at("MESSAGE").starts_with(c.messageStart)) << fields.at("MESSAGE");
        EXPECT_TRUE(
            fields.at("MESSAGE").ends_with("\n[" + kReportedObjectNum + "] DocList: 20 → 30"))
            << fields.at("MESSAGE");
    }
}

// Read back, the fields give the same author and changes; a large change set lists what
// journald takes and counts the rest.
TEST(ChangeJournalEntry, ReadsBackAsWritten) {
    std::vector<Change> changed = {
        KeyChange(Change::kCreateKey, kObjectNum),
        WithOld(SetDwordChange(kObjectNum, "DocList", 30), Dword(20)),
        SetStringChange(kMimeMapKeyPath, "odt", "application/vnd.oasis.opendocument.text"),
        WithOld(DeleteValueChange(kMimeMapKeyPath, "pdf"), Text("application/\"pdf\"")),
        WithOld(SetValueChange(kObjectNum, "", {"", REG_BINARY, std::string("\0\xff", 2)}),
                Text("")),
        KeyChange(Change::kDeleteKey, std::string(kMimeMapKeyPath) + "\\Old"),
    };
    for (DWORD i = 0; changed.size() < journal::kMaxListedChanges + 7; ++i) {
        changed.push_back(SetStringChange(kMimeMapKeyPath, "e" + std::to_string(i), "a/b"));
    }
    const Author author{1001, "bert", Face::kService, "marrowick", 4242};
    const std::vector<std::string> fields = ChangeSetEntryFields(changed, author);
    // journald refuses an entry of more than 1024 fields, its own included.
    EXPECT_LT(fields.size(), 1024u - 64u);
    std::map<std::string, std::string> byName;
    for (const std::string& field : fields) {
        if (field.starts_with("MARROWICK_")) {
            byName.emplace(field.substr(0, field.find('=')), field.substr(field.find('=') + 1));
        }
    }
    const std::optional<journal::ChangeSetEntry> entry = journal::EntryOfFields(byName);
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->author.uid, author.uid);
    EXPECT_EQ(entry->author.user, author.user);
    EXPECT_EQ(entry->author.face, author.face);
    EXPECT_EQ(entry->author.process, author.process);
    EXPECT_EQ(entry->author.pid, author.pid);
    EXPECT_EQ(entry->changeCount, changed.size());
    ASSERT_EQ(entry->changes.size(), journal::kMaxListedChanges);
    for (std::size_t i = 0; i < entry->changes.size(); ++i) {
        EXPECT_EQ(cli::ChangeLine(entry->changes[i]), cli::ChangeLine(changed[i])) << i;
    }
    // Fields that do not make an entry make none.
    for (const char* spoiled : {"MARROWICK_FACE", "MARROWICK_ACTION_2", "MARROWICK_NEW_2"}) {
        std::map<std::string, std::string> broken = byName;
        broken[spoiled] = "nonsense";
        EXPECT_FALSE(journal::EntryOfFields(broken)) << spoiled;
    }
}

// ValueText and ValueOfText are each other's inverse; what ValueText never writes is no value.
TEST(ChangeJournalEntry, ValueSpellingsReadBack) {
    const RegFileValue values[] = {
        Dword(0),
        Dword(4294967295u),
        Text(""),
        Text("a \"quoted\" ü"),
        {"", REG_DWORD, "\x01\x02\x03"},
        {"", REG_SZ, std::string("a\0b\0", 4)},
        {"", REG_BINARY, ""},
        {"", 4711, "\xab"},
    };
    for (const RegFileValue& value : values) {
        const std::string text = cli::ValueText(value);
        const std::optional<RegFileValue> back = cli::ValueOfText(text);
        ASSERT_TRUE(back) << text;
        EXPECT_EQ(back->type, value.type) << text;
        EXPECT_EQ(back->data, value.data) << text;
    }
    for (const char* text : {"", "4294967296", "007", "\"", "hex(1)", "hex():00", "hex(3):0",
                             "hex(3):00,", "hex(3):0g", "hex(3):00;01", "x"}) {
        EXPECT_FALSE(cli::ValueOfText(text)) << text;
    }
}

std::vector<std::vector<Change>> recorded;
void Record(const std::vector<Change>& changed) {
    recorded.push_back(changed);
}

// The one write path tells the recorder of what it stored, with the old values, and of
// nothing else: not a dry run, not a set already stored, not a refusal.
TEST(ChangeJournalEntry, TheWritePathRecordsWhatItStoredOnly) {
    TemporaryHive hive;
    SetStoredChangeSetRecorder(Record);
    struct Case {
        const char* label;
        std::vector<Change> changes;
        bool dryRun;
        std::size_t recordedChanges;  // 0: nothing recorded
    };
    const Case cases[] = {
        {"stored", {SetDwordChange(kObjectNum, "DocList", 30)}, false, 1},
        {"stored again", {SetDwordChange(kObjectNum, "DocList", 30)}, false, 0},
        {"dry run", {SetDwordChange(kObjectNum, "DocList", 40)}, true, 0},
        {"refused", {SetDwordChange(kObjectNum, "DocList", 1)}, false, 0},
        {"two of three",
         {SetDwordChange(kObjectNum, "DocList", 30), SetDwordChange(kObjectNum, "DocThum", 12),
          SetDwordChange(kObjectNum, "SecList", 25)},
         false,
         2},
        {"over an old value", {SetDwordChange(kObjectNum, "DocList", 45)}, false, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        recorded.clear();
        ApplyChangeSet(c.changes, c.dryRun);
        if (c.recordedChanges == 0) {
            EXPECT_TRUE(recorded.empty());
        } else {
            ASSERT_EQ(recorded.size(), 1u);
            EXPECT_EQ(recorded[0].size(), c.recordedChanges);
        }
    }
    ASSERT_FALSE(recorded.empty());
    ASSERT_TRUE(recorded[0][0].oldValue);
    EXPECT_EQ(cli::ValueText(*recorded[0][0].oldValue), "30");
    SetStoredChangeSetRecorder(nullptr);
}

// An entry is written for the machine's hive only: a private hive (MARROWICK_HKLM, as every
// test has) is its owner's business.
TEST(ChangeJournalEntry, PrivateHivesAreNotEntered) {
    TemporaryHive hive;
    const Author author{0, "root", Face::kCommandLine, "", 0};
    EXPECT_FALSE(journal::WriteChangeSetEntry({SetDwordChange(kObjectNum, "DocList", 30)}, author));
    EXPECT_FALSE(journal::WriteChangeSetEntry({}, author));
}

}  // namespace
}  // namespace marrowick::test
