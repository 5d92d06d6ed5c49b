// The command line as an administrator's script meets it: what each command stores, what
// it refuses without writing anything, and that nothing is rewritten when nothing changes.
#include "stdafx.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "ChangeSet.h"
#include "CommandLine.h"
#include "RegManager.h"
#include "hive_fixture.h"
#include "run_command_line.h"
#include "unprivileged.h"

namespace marrowick::test {
namespace {

const char kViewer[] = "Software\\TAVIK\\Brisvandale\\Pallisander";
const char kObjectNum[] = "Software\\TAVIK\\Brisvandale\\Pallisander\\ObjectNum";
const char kMimeMap[] = "Software\\TAVIK\\Brisvandale\\Pallisander\\MimeMap";

std::string Stored(const char* key, const char* name) {
    DWORD type = 0;
    std::string data;
    if (!CRegManager::GetRegValue(HKEY_LOCAL_MACHINE, key, name, type, data)) return "-";
    if (type == REG_DWORD && data.size() == 4) {
        return "dword:" + std::to_string(static_cast<unsigned char>(data[0]) |
                                         static_cast<unsigned char>(data[1]) << 8);
    }
    return "sz:" + data.substr(0, data.find('\0'));
}

struct FileState {
    std::string bytes;
    timespec modified{};
    bool operator==(const FileState& other) const {
        return bytes == other.bytes && modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec;
    }
};

class CommandLineTest : public HiveTest {
protected:
    FileState State() const {
        FileState state{hive.ReadText(), {}};
        struct stat status {};
        if (stat(hive.Path().c_str(), &status) == 0) state.modified = status.st_mtim;
        return state;
    }
};

TEST_F(CommandLineTest, ShowMarksDefaultsUntilValuesAreStored) {
    Result shown = Marrowick({"show"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("(DocList): 20  [Standardwert]\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.out.find("(SortKey): 0 = Dokumentname (045c375f_7aad_11d1_85e5_00a024e8a452)"
                             "  [Standardwert]\n"),
              std::string::npos);
    EXPECT_FALSE(hive.Exists());

    ASSERT_EQ(Marrowick({"set", "docList=45", "TopDay=montag"}).status, 0);
    shown = Marrowick({"show", "--json"});
    EXPECT_NE(shown.out.find("\"DocList\":{\"value\":45,\"default\":false,\"valid\":true}"),
              std::string::npos)
        << shown.out;
    EXPECT_NE(shown.out.find("\"TopDay\":{\"value\":2,\"default\":false,\"valid\":true}"),
              std::string::npos);
    EXPECT_NE(shown.out.find("\"SecThum\":{\"value\":10,\"default\":true,\"valid\":true}"),
              std::string::npos);
}

TEST_F(CommandLineTest, MistypedHivePathFailsNamingTheMissingDirectoryAndCreatesNothing) {
    const std::string missing = hive.Directory() + "/nonexistent";
    setenv("MARROWICK_HKLM", (missing + "/deeper/x.reg").c_str(), 1);
    const Result set = Marrowick({"set", "DocList=30"});
    EXPECT_EQ(set.status, cli::kExitRegistryError);
    EXPECT_NE(set.err.find("„" + missing + "“"), std::string::npos) << set.err;
    EXPECT_FALSE(std::filesystem::exists(missing));
    // Reading still shows the defaults, and says why.
    const Result shown = Marrowick({"show"});
    EXPECT_EQ(shown.status, 0);
    EXPECT_NE(shown.out.find("(DocList): 20  [Standardwert]\n"), std::string::npos) << shown.out;
    EXPECT_NE(shown.err.find("Es ist nichts gespeichert"), std::string::npos) << shown.err;
}

TEST_F(CommandLineTest, SetAcceptsEverySpellingTheDialogOffers) {
    const struct {
        const char* assignment;
        const char* key;
        const char* name;
        const char* stored;
    } cases[] = {
        {"TOPDAY=Sonntag", kViewer, "TopDay", "dword:1"},
        {"topday=2", kViewer, "TopDay", "dword:2"},
        {"SortDir=absteigend", kViewer, "SortDir", "dword:1"},
        {"SortKey=5", kViewer, "SortKey", "sz:3E149908_B1F6_11d3_88E3_000629B0191D"},
        {"SortKey=größe", kViewer, "SortKey", "sz:3E149908_B1F6_11d3_88E3_000629B0191D"},
        {"SortKey=GRÖSSE", kViewer, "SortKey", "sz:3E149908_B1F6_11d3_88E3_000629B0191D"},
        {"SortKey=Gea\u0308ndert", kViewer, "SortKey", "sz:9340d382_ed79_11d2_8c3b_00e0292f001f"},
        {"sortkey=ANZAHL VON ABSCHNITTEN", kViewer, "SortKey",
         "sz:9340d37f_ed79_11d2_8c3b_00e0292f001f"},
        {"SortKey=9551204b_3b1c_11d3_8c9f_00e0292f001f", kViewer, "SortKey",
         "sz:9551204B_3B1C_11d3_8C9F_00e0292f001f"},
        {"EntrySection=5", kObjectNum, "EntrySection", "dword:5"},
        {"SecThum=100", kObjectNum, "SecThum", "dword:100"},
    };
    for (const auto& c : cases) {
        const Result result = Marrowick({"set", c.assignment});
        EXPECT_EQ(result.status, 0) << c.assignment << ": " << result.err;
        EXPECT_EQ(Stored(c.key, c.name), c.stored) << c.assignment;
    }
}

TEST_F(CommandLineTest, InvalidInputIsRefusedWithTheDialogsWordsAndNothingIsWritten) {
    const struct {
        std::vector<std::string> arguments;
        const char* message;
    } cases[] = {
        {{"set", "DocList=150"}, "„DocList=150“: Geben Sie eine ganze Zahl zwischen 10 und 100"},
        {{"set", "DocList=99999999999999"},
         "„DocList=99999999999999“: Geben Sie eine ganze Zahl zw"},
        {{"set", "EntrySection=4"}, "„EntrySection=4“: Geben Sie eine ganze Zahl zwischen 5 und"},
        {{"set", "SecList=zwanzig"}, "„SecList=zwanzig“: Geben Sie eine ganze Zahl ein."},
        {{"set", "TopDay=3"}, "„TopDay=3“: Erlaubt sind 1 oder sonntag, 2 oder montag."},
        {{"set", "SortKey=8"}, "„SortKey=8“: Unbekannter Sortierschlüssel."},
        {{"set", "Colour=1"}, "„Colour“: unbekannte Einstellung. Bekannt sind TopDay,"},
        {{"unset", "DocList", "Colour"}, "„Colour“: unbekannte Einstellung."},
        {{"mime", "add", ".pdf", "application/pdf"},
         "„.pdf“: Die Erweiterung steht ohne führenden Punkt, also „pdf“. Nichts wurde "
         "gespeichert.\n"},
        {{"mime", "delete", ".odt"},
         "„.odt“: Die Erweiterung steht ohne führenden Punkt, also „odt“. Nichts wurde "
         "gespeichert.\n"},
        {{"mime", "set", "odt", "text"},
         "Typ/Untertyp, z. B. application/pdf, wahlweise mit "
         "Parametern wie „; charset=utf-8“. Nichts wurde "
         "gespeichert.\n"},
        {{"set", "SortKey=Anzahl", "von", "Abschnitten"},
         "Eine Bezeichnung mit Leerzeichen steht in Anführungszeichen, z. B. 'SortKey=Anzahl von "
         "Abschnitten'."},
        {{"help", "frobnicate"}, "Unbekannter Befehl „frobnicate“."},
        {{"set", "TopDay=1", "TopDay=2"}, "TopDay: mehrfach angegeben."},
        {{"set", "TopDay"}, "erwartet wird NAME=WERT"},
        {{"mime", "add", "", "text/plain"}, "Erweiterung wurde nicht eingegeben."},
        {{"mime", "add", "txt", ""}, "MIME-Typ/Untertyp wurde nicht eingegeben."},
        {{"mime", "change", "txt", "text/plain"},
         "txt: Diese Erweiterung wurde nicht definiert. Nichts wurde gespeichert.\n"},
        {{"show", "--dry-run"}, "Aufruf: marrowick show [NAME...] [--json]"},
        {{"frobnicate"}, "Unbekannter Befehl „frobnicate“."},
    };
    for (const auto& c : cases) {
        // A valid change in the same call must not be stored either.
        std::vector<std::string> arguments = c.arguments;
        if (arguments[0] == "set") arguments.push_back("DocThum=50");
        const Result result = Marrowick(arguments);
        EXPECT_EQ(result.status, cli::kExitUsage) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_FALSE(hive.Exists()) << c.message;
    }
}

TEST_F(CommandLineTest, ChangingNothingLeavesTheHiveUntouched) {
    ASSERT_EQ(Marrowick({"reset"}).status, 0);
    ASSERT_EQ(Marrowick({"mime", "add", "pdf", "application/pdf"}).status, 0);
    const FileState before = State();
    usleep(20000);  // a rewrite would show in the modification time
    const std::vector<std::vector<std::string>> unchanged = {
        {"reset", "--json"},
        {"set", "TopDay=sonntag", "DocList=20", "--json"},
        {"mime", "change", "PDF", "application/pdf", "--json"},
        {"mime", "add", "PDF", "application/pdf", "--json"},
        {"mime", "delete", "doc", "--json"},
    };
    for (const auto& arguments : unchanged) {
        const Result result = Marrowick(arguments);
        EXPECT_EQ(result.status, 0) << arguments[0] << result.err;
        EXPECT_EQ(result.out, "{\"version\":1,\"changed\":false,\"changes\":[]}\n") << arguments[0];
    }
    EXPECT_TRUE(State() == before);

    const Result changed = Marrowick({"set", "DocList=30", "--json"});
    EXPECT_EQ(
        changed.out,
        "{\"version\":1,\"changed\":true,\"changes\":[{\"action\":\"set\",\"key\":"
        "\"HKEY_LOCAL_MACHINE\\\\SOFTWARE\\\\Tavik\\\\Brisvandale\\\\Pallisander\\\\ObjectNum\","
        "\"name\":\"DocList\",\"old\":20,\"new\":30}]}\n");
}

TEST_F(CommandLineTest, ResetStoresWhatRestoreDefaultsAndOkStore) {
    ASSERT_EQ(Marrowick({"set", "TopDay=2", "SortKey=3", "SortDir=1", "DocThum=77"}).status, 0);
    const Result result = Marrowick({"reset"});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Stored(kViewer, "TopDay"), "dword:1");
    EXPECT_EQ(Stored(kViewer, "SortKey"), "sz:045c375f_7aad_11d1_85e5_00a024e8a452");
    EXPECT_EQ(Stored(kViewer, "SortDir"), "dword:0");
    const char* names[] = {"EntrySection", "DocList", "DocThum", "SecList", "SecThum"};
    const char* factory[] = {"dword:10", "dword:20", "dword:10", "dword:20", "dword:10"};
    for (int i = 0; i < 5; ++i) EXPECT_EQ(Stored(kObjectNum, names[i]), factory[i]) << names[i];
}

// What scripts ask of single settings: only those shown, a dry run that writes nothing,
// a stored value removed, one setting back to its factory value.
TEST_F(CommandLineTest, ScriptsNameTheSettingsTheyMean) {
    ASSERT_EQ(Marrowick({"set", "DocList=40", "TopDay=2", "DocThum=77"}).status, 0);
    EXPECT_EQ(
        Marrowick({"show", "doclist", "TopDay", "--json"}).out,
        "{\"version\":1,\"settings\":{\"DocList\":{\"value\":40,\"default\":false,\"valid\":true},"
        "\"TopDay\":{\"value\":2,\"default\":false,\"valid\":true}}}\n");
    const FileState before = State();
    const Result dryRun = Marrowick({"set", "--dry-run", "DocList=50", "--json"});
    EXPECT_NE(dryRun.out.find("\"changed\":false,\"dry_run\":true,\"changes\":[{"),
              std::string::npos)
        << dryRun.out;
    EXPECT_TRUE(State() == before);
    ASSERT_EQ(Marrowick({"unset", "DocList"}).status, 0);
    ASSERT_EQ(Marrowick({"reset", "TopDay"}).status, 0);
    EXPECT_EQ(Stored(kObjectNum, "DocList"), "-");
    EXPECT_EQ(Stored(kViewer, "TopDay"), "dword:1");
    EXPECT_EQ(Stored(kObjectNum, "DocThum"), "dword:77");
}

// A hive that cannot be parsed is named with the line where reading stopped.
TEST_F(CommandLineTest, AnUnreadableHiveIsNamedWithItsLine) {
    hive.WriteText("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\A]\nkaputt\n");
    const Result result = Marrowick({"show"});
    EXPECT_EQ(result.status, cli::kExitRegistryError);
    EXPECT_EQ(result.err, hive.Path() +
                              ", Zeile 4: Die Einstellungen konnten nicht gelesen werden: "
                              "Win32-Fehler 1009 (die Registrierung ist beschädigt).\n");
}

// The shell's completion comes from the command table, the schema and the stored map.
TEST_F(CommandLineTest, CompletionOffersWhatTheCommandTakes) {
    ASSERT_EQ(Marrowick({"mime", "add", "pdf", "application/pdf"}).status, 0);
    const struct {
        std::vector<std::string> arguments;
        const char* candidates;
    } cases[] = {
        {{"__complete", "un"}, "unset\n"},
        {{"__complete", "mime", "c"}, "change\n"},
        {{"__complete", "set", "so"}, "SortKey=\nSortDir=\n"},
        {{"__complete", "set", "topday=m"}, "topday=montag\n"},
        {{"__complete", "mime", "delete", ""}, "pdf\n"},
        {{"__complete", "export", "--"}, "--regedit4\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(Marrowick(c.arguments).out, c.candidates);
}

TEST_F(CommandLineTest, MimeCommandsFollowTheListDialogsRules) {
    ASSERT_EQ(Marrowick({"mime", "add", "pdf", "application/pdf"}).status, 0);
    const Result duplicate = Marrowick({"mime", "add", "PDF", "application/x-pdf"});
    EXPECT_EQ(duplicate.status, cli::kExitUsage);
    EXPECT_EQ(duplicate.err,
              "PDF: Diese Erweiterung wurde bereits definiert: „pdf“ mit dem Typ "
              "„application/pdf“. Ändern mit: marrowick mime set pdf application/x-pdf. Nichts "
              "wurde gespeichert.\n");
    EXPECT_EQ(Stored(kMimeMap, "pdf"), "sz:application/pdf");
    // A mapping with a dot, as a Windows registry may hold one, can still be deleted.
    ASSERT_TRUE(ApplyChangeSet({SetStringChange(kMimeMap, ".odt", "x/y")}).Applied());
    EXPECT_EQ(Marrowick({"mime", "delete", ".odt"}).status, 0);
    EXPECT_EQ(Stored(kMimeMap, ".odt"), "-");

    ASSERT_EQ(Marrowick({"mime", "add", "txt", "text/plain"}).status, 0);
    ASSERT_EQ(Marrowick({"mime", "change", "PDF", "application/x-pdf"}).status, 0);
    EXPECT_EQ(Marrowick({"mime", "list"}).out, "pdf\tapplication/x-pdf\ntxt\ttext/plain\n");
    ASSERT_EQ(Marrowick({"mime", "delete", "TXT"}).status, 0);
    EXPECT_EQ(
        Marrowick({"mime", "list", "--json"}).out,
        "{\"version\":1,\"mappings\":[{\"extension\":\"pdf\",\"type\":\"application/x-pdf\"}]}\n");
}

TEST_F(CommandLineTest, AnEmptyMapSaysSoBesideTheEmptyList) {
    const Result listed = Marrowick({"mime", "list"});
    EXPECT_EQ(listed.status, 0);
    EXPECT_EQ(listed.out, "");
    EXPECT_EQ(listed.err, "Es sind keine Zuordnungen gespeichert.\n");
    EXPECT_EQ(Marrowick({"mime", "list", "--json"}).out, "{\"version\":1,\"mappings\":[]}\n");
}

TEST_F(CommandLineTest, HelpForOneCommandShowsItsUsage) {
    const struct {
        std::vector<std::string> arguments;
        const char* first;  // the first line of the output
        std::size_t usages;
    } cases[] = {
        {{"help", "set"}, "Aufruf: marrowick set [--dry-run] NAME=WERT... [--json]", 1},
        {{"set", "--help"}, "Aufruf: marrowick set [--dry-run] NAME=WERT... [--json]", 1},
        {{"mime", "add", "-h"}, "Aufruf: marrowick mime add [--dry-run] ERW TYP [--json]", 1},
        {{"help", "mime"}, "Aufruf: marrowick mime list [--json]", 5},
        {{"help"}, "Aufruf: marrowick [BEFEHL [ARGUMENTE]]", 1},
    };
    for (const auto& c : cases) {
        const Result result = Marrowick(c.arguments);
        EXPECT_EQ(result.status, 0) << c.first << result.err;
        EXPECT_EQ(result.out.substr(0, result.out.find('\n')), c.first);
        std::size_t usages = 0;
        for (std::size_t at = 0; (at = result.out.find("Aufruf: ", at)) != std::string::npos;
             ++at) {
            ++usages;
        }
        EXPECT_EQ(usages, c.usages) << result.out;
    }
}

// A stored value the rules refuse is shown as the viewer reads it, and marked.
TEST_F(CommandLineTest, ShowMarksAStoredValueTheRulesRefuse) {
    // Written as a hive file holds them: the change path would refuse both.
    hive.WriteText("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\" + std::string(kViewer) +
                   "]\n\"SortKey\"=\"bogus\"\n\n[HKEY_LOCAL_MACHINE\\" + kObjectNum +
                   "]\n\"DocList\"=dword:000001f4\n");
    const Result shown = Marrowick({"show", "SortKey", "DocList", "DocThum"});
    EXPECT_EQ(shown.status, 0) << shown.err;
    EXPECT_NE(shown.out.find("(SortKey): 0 = Dokumentname (045c375f_7aad_11d1_85e5_00a024e8a452)"
                             "  [gespeichert, aber ungültig: Erwartet wird eine dieser Kennungen"),
              std::string::npos)
        << shown.out;
    EXPECT_NE(shown.out.find("(DocList): 500  [gespeichert, aber ungültig: Erwartet wird ein "
                             "dword:-Wert von dword:0000000a (10) bis dword:00000064 (100)"),
              std::string::npos)
        << shown.out;
    EXPECT_NE(shown.out.find("(DocThum): 10  [Standardwert]\n"), std::string::npos) << shown.out;
    const Result json = Marrowick({"show", "DocList", "DocThum", "--json"});
    EXPECT_NE(json.out.find("\"DocList\":{\"value\":500,\"default\":false,\"valid\":false,"
                            "\"problem\":\"Erwartet wird"),
              std::string::npos)
        << json.out;
    EXPECT_NE(json.out.find("\"DocThum\":{\"value\":10,\"default\":true,\"valid\":true}"),
              std::string::npos)
        << json.out;
}

// JSON carries only UTF-8: bytes of a stored name or type that are not UTF-8 come out as
// \xNN, as the dialogs show them, and valid sequences stay as they are.
TEST_F(CommandLineTest, JsonStaysValidForStoredBytesThatAreNotUtf8) {
    ASSERT_TRUE(ApplyChangeSet({SetStringChange(kMimeMap, "\xff", "x/\xe4"),
                                SetStringChange(kMimeMap, "h\xc3\xa4", "x/\xed\xa0\x80")})
                    .Applied());
    EXPECT_EQ(Marrowick({"mime", "list", "--json"}).out,
              "{\"version\":1,\"mappings\":[{\"extension\":\"h\xc3\xa4\",\"type\":\"x/"
              "\\\\xed\\\\xa0\\\\x80\"},"
              "{\"extension\":\"\\\\xff\",\"type\":\"x/\\\\xe4\"}]}\n");
}

// A user who may read the hive but not replace it: reading works, a change is refused as
// a whole with the registry's code and the hive keeps its bytes.
TEST_F(CommandLineTest, ReadOnlyUserReadsButChangesNothing) {
    ASSERT_EQ(Marrowick({"set", "DocList=45"}).status, 0);
    chmod(hive.Path().c_str(), 0644);
    // Without root the child runs as this same user, the owner: take the write right away.
    const bool owner = geteuid() != 0;
    if (owner) chmod(hive.Directory().c_str(), 0555), chmod(hive.Path().c_str(), 0444);
    const std::string before = hive.ReadText();
    const int status = RunAsUnprivilegedUser([] {
        const Result shown = Marrowick({"show"});
        if (shown.status != 0 || shown.out.find("(DocList): 45\n") == std::string::npos) return 10;
        if (Marrowick({"export"}).status != 0 || Marrowick({"mime", "list"}).status != 0) return 11;
        const Result refused = Marrowick({"set", "TopDay=2", "DocList=50"});
        if (refused.status != cli::kExitRegistryError) return 12;
        if (refused.err.find("Die Einstellungen konnten nicht gespeichert werden. Nichts wurde "
                             "geändert: Win32-Fehler 5 (Zugriff verweigert).") ==
            std::string::npos) {
            return 13;
        }
        if (Marrowick({"mime", "add", "pdf", "application/pdf"}).status !=
            cli::kExitRegistryError) {
            return 14;
        }
        // A dry run only predicts, so it needs no right to write.
        if (Marrowick({"set", "--dry-run", "TopDay=2"}).status != 0) return 15;
        return 0;
    });
    if (owner) chmod(hive.Directory().c_str(), 0755);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(hive.ReadText(), before);
}

}  // namespace
}  // namespace marrowick::test
