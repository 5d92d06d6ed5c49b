// Carrying settings in .reg files: what import takes from files Windows writes, what it
// refuses whole, and that export writes what import (here and on Windows) reads back.
#include "stdafx.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "CommandLine.h"
#include "RegManager.h"
#include "hive_fixture.h"
#include "run_command_line.h"
#include "unprivileged.h"
#include "utf8.h"

namespace marrowick::test {
namespace {

// Windows' default: UTF-16LE with byte-order mark and CRLF.
std::string Utf16File(const std::string& text) {
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    return "\xFF\xFE" + platform::Utf8ToUtf16Le(crlf);
}

std::string Stored(const char* key, const char* name) {
    DWORD type = 0;
    std::string data;
    if (!CRegManager::GetRegValue(HKEY_LOCAL_MACHINE, key, name, type, data)) return "-";
    return std::to_string(type) + ":" + data;
}

class ImportExportTest : public HiveTest {
protected:
    std::string WriteFile(const std::string& name, const std::string& bytes) {
        const std::string path = hive.Directory() + "/" + name;
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::string ReadFile(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
};

const char kMimeMap[] = "SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\MimeMap";
const char kViewer[] = "SOFTWARE\\Tavik\\Brisvandale\\Pallisander";

TEST_F(ImportExportTest, ImportsWhatWindowsWritesInOneStep) {
    ASSERT_EQ(Marrowick({"mime", "add", "old", "text/old"}).status, 0);
    ASSERT_EQ(Marrowick({"set", "DocList=33"}).status, 0);
    const std::string file = WriteFile(
        "windows.reg", Utf16File("Windows Registry Editor Version 5.00\n"
                                 "\n"
                                 "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander]\n"
                                 "\"TopDay\"=dword:00000002\n"
                                 "\"SortKey\"=\"9340d382_ed79_11d2_8c3b_00e0292f001f\"\n"
                                 "@=\"Betrachter\"\n"
                                 "\"Path\"=hex(2):25,00,41,00,25,00,\\\n"
                                 "  00,00\n"
                                 "\n"
                                 "[-HKLM\\software\\tavik\\brisvandale\\pallisander\\ObjectNum]\n"
                                 "\n"
                                 "[hklm\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\MimeMap]\n"
                                 "\"old\"=-\n"
                                 "\"mäp\"=\"application/x-größe\"\n"));
    const Result dry = Marrowick({"import", file, "--dry-run", "--json"});
    EXPECT_EQ(dry.status, 0) << dry.err;
    EXPECT_NE(dry.out.find("\"changed\":false,\"dry_run\":true"), std::string::npos) << dry.out;
    EXPECT_EQ(Stored(kMimeMap, "old"), std::string("1:text/old") + '\0');

    const Result result = Marrowick({"import", file});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(Stored(kViewer, "TopDay"), std::string("4:\x02\0\0\0", 6));
    EXPECT_EQ(Stored(kViewer, "SortKey"),
              std::string("1:9340d382_ed79_11d2_8c3b_00e0292f001f") + '\0');
    EXPECT_EQ(Stored(kViewer, ""), std::string("1:Betrachter") + '\0');
    EXPECT_EQ(Stored("SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\ObjectNum", "DocList"), "-");
    EXPECT_EQ(Stored(kMimeMap, "old"), "-");
    EXPECT_EQ(Stored(kMimeMap, "MÄP"), std::string("1:application/x-größe") + '\0');
    EXPECT_EQ(Stored(kViewer, "Path"), std::string("2:%A%") + '\0');

    // Everything is there already: a second import changes nothing.
    EXPECT_EQ(Marrowick({"import", file, "--json"}).out,
              "{\"version\":1,\"changed\":false,\"changes\":[]}\n");
}

// A deleted key comes back empty when the file opens it or a key below it again.
TEST_F(ImportExportTest, KeysDeletedAndOpenedAgainComeBackEmpty) {
    ASSERT_EQ(Marrowick({"mime", "add", "pdf", "application/pdf"}).status, 0);
    const std::string mimeMap = "[HKLM\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\MimeMap";
    const std::string file = WriteFile(
        "again.reg", "REGEDIT4\n" + mimeMap + "\\Sub]\n\"s\"=\"1\"\n[-" + mimeMap.substr(1) +
                         "]\n" + mimeMap + "\\Sub]\n[-" + mimeMap.substr(1) + "\\Sub]\n" + mimeMap +
                         "]\n\"htm\"=\"text/html\"\n");
    ASSERT_EQ(Marrowick({"import", file}).status, 0);
    EXPECT_EQ(Stored(kMimeMap, "pdf"), "-");
    EXPECT_EQ(Stored(kMimeMap, "htm"), std::string("1:text/html") + '\0');
    EXPECT_EQ(Stored((std::string(kMimeMap) + "\\Sub").c_str(), "s"), "-");
}

TEST_F(ImportExportTest, RefusesAWholeFileForItsFirstFault) {
    ASSERT_EQ(Marrowick({"set", "DocList=33"}).status, 0);
    const std::string before = hive.ReadText();
    const std::string viewer = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander";
    const std::string nul(1, '\0');
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        // The key the registry functions write to, however the file spells it.
        {"REGEDIT4\n[" + viewer + "\\]\n\"TopDay\"=dword:00000063\n",
         "x.reg, Zeile 3: TopDay: Erwartet wird dword:00000001 (sonntag)"},
        {"REGEDIT4\n[" + viewer + "\\ObjectNum\\\\]\n\"DocList\"=dword:ffffffff\n",
         "x.reg, Zeile 3: DocList: Erwartet wird ein dword:-Wert von"},
        // A NUL would cut the name short on its way to the registry functions.
        {"REGEDIT4\n[" + viewer + "]\n\"TopDay" + nul + "x\"=dword:00000063\n",
         "x.reg, Zeile 3: Diese Zeile ist keine gültige .reg-Anweisung."},
        {Utf16File("Windows Registry Editor Version 5.00\n[" + viewer + "]\n\"SortKey" + nul +
                   "\"=\"bogus\"\n"),
         "x.reg, Zeile 3: Diese Zeile ist keine gültige .reg-Anweisung."},
        {"REGEDIT4\n[" + viewer + "\\ObjectNum" + nul + "x]\n\"DocList\"=dword:ffffffff\n",
         "x.reg, Zeile 2: Diese Zeile ist keine gültige .reg-Anweisung."},
        {"REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander]\n"
         "\"TopDay\"=dword:00000001\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Other]\n"
         "[-HKEY_LOCAL_MACHINE\\SOFTWARE\\Third]\n",
         "x.reg, Zeile 5: Der Schlüssel HKEY_LOCAL_MACHINE\\SOFTWARE\\Other gehört nicht zu den "
         "Einstellungen des Betrachters"},
        {"REGEDIT4\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\PallisanderX]\n",
         "x.reg, Zeile 2: Der Schlüssel"},
        {"REGEDIT4\n[HKEY_CURRENT_USER\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander]\n",
         "x.reg, Zeile 2: Diese Zeile ist keine gültige .reg-Anweisung."},
        {"REGEDIT4\n[HKLM\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\ObjectNum]\n"
         "\"TopDay\"=dword:00000007\n\"DocList\"=dword:00000096\n",
         "x.reg, Zeile 4: DocList: Erwartet wird ein dword:-Wert von dword:0000000a (10) bis "
         "dword:00000064 (100), z. B. \"DocList\"=dword:00000014."},
        {"REGEDIT4\n[HKLM\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\ObjectNum]\n"
         "\"SecList\"=\"20\"\n",
         "x.reg, Zeile 3: SecList: Erwartet wird ein dword:-Wert"},
        {"REGEDIT4\n[HKLM\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander]\n"
         "\"SortKey\"=\"045C375F_7AAD_11D1_85E5_00A024E8A452\"\n",
         "x.reg, Zeile 3: SortKey: Erwartet wird eine dieser Kennungen"},
        {"REGEDIT4\n[HKLM\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\MimeMap]\n@=\"x\"\n",
         "x.reg, Zeile 3: Erweiterung wurde nicht eingegeben."},
        {"Windows Registry Editor Version 4.00\n", "x.reg, Zeile 1: Erwartet wird"},
    };
    for (const auto& c : cases) {
        const Result result = Marrowick({"import", WriteFile("x.reg", c.text)});
        EXPECT_EQ(result.status, cli::kExitUsage) << c.message;
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
        EXPECT_EQ(hive.ReadText(), before) << c.message;
    }
}

// The mapping rule's smoke test on import: what a Windows registry may hold is taken, and
// each mapping that new input could not give is named with its line.
TEST_F(ImportExportTest, MappingsOutsideTheRuleAreTakenWithAWarningEach) {
    const Result result =
        Marrowick({"import", WriteFile("m.reg", "REGEDIT4\n[HKLM\\" + std::string(kMimeMap) +
                                                    "]\n\".doc\"=\"application/msword\"\n"
                                                    "\"x y\"=\"text/plain\"\n\"png\"=\"image\"\n"
                                                    "\"pdf\"=\"application/pdf\"\n")});
    EXPECT_EQ(result.status, 0) << result.err;
    for (const char* warning :
         {"m.reg, Zeile 3: Warnung: „.doc“: Die Erweiterung steht ohne führenden Punkt, also "
          "„doc“. Die Zuordnung wird übernommen",
          "m.reg, Zeile 4: Warnung: „x y“: Eine Erweiterung enthält keine Leerzeichen",
          "m.reg, Zeile 5: Warnung: „image“: Ein MIME-Typ hat die Form Typ/Untertyp"}) {
        EXPECT_NE(result.err.find(warning), std::string::npos) << result.err;
    }
    EXPECT_EQ(result.err.find("Zeile 6"), std::string::npos) << result.err;
    EXPECT_EQ(Stored(kMimeMap, ".doc"), std::string("1:application/msword") + '\0');
    EXPECT_EQ(Stored(kMimeMap, "png"), std::string("1:image") + '\0');
}

// From standard input, every refused value is named with its line, and nothing is stored.
TEST_F(ImportExportTest, ImportFromStandardInputNamesEveryRefusedValue) {
    const Result result = Marrowick(
        {"import", "-"},
        "REGEDIT4\n[HKLM\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander]\n\"TopDay\"=dword:00000009\n"
        "\"SortDir\"=dword:00000001\n\"SortKey\"=\"x\"\n");
    EXPECT_EQ(result.status, cli::kExitUsage);
    EXPECT_NE(result.err.find("(Standardeingabe), Zeile 3: TopDay"), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("(Standardeingabe), Zeile 5: SortKey"), std::string::npos)
        << result.err;
    EXPECT_FALSE(hive.Exists());
    EXPECT_EQ(Marrowick({"import", "-"},
                        "REGEDIT4\n[HKLM\\SOFTWARE\\Tavik\\Brisvandale\\"
                        "Pallisander]\n\"SortDir\"=dword:00000001\n")
                  .status,
              0);
    EXPECT_EQ(Stored(kViewer, "SortDir"), "4:" + std::string("\x01\0\0\0", 4));
}

// As compressors refuse to write binary data to a terminal; the narrow format is text.
TEST_F(ImportExportTest, ExportRefusesUtf16OnATerminal) {
    const Result refused = Marrowick({"export"}, "", true);
    EXPECT_EQ(refused.status, cli::kExitUsage);
    EXPECT_NE(refused.err.find("marrowick export --regedit4"), std::string::npos) << refused.err;
    EXPECT_EQ(refused.out, "");
    EXPECT_EQ(Marrowick({"export", "--regedit4"}, "", true).status, 0);
}

TEST_F(ImportExportTest, ReadsTheNarrowFormatAsUtf8OrElseWindows1252) {
    const std::string header =
        "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\MimeMap]"
        "\r\n";
    ASSERT_EQ(
        Marrowick({"import", WriteFile("utf8.reg", header + "\"a\"=\"t/\xC3\xA4\"\r\n")}).status,
        0);
    ASSERT_EQ(
        Marrowick({"import", WriteFile("ansi.reg", header + "\"b\"=\"t/\xE4\x80\"\r\n")}).status,
        0);
    EXPECT_EQ(Stored(kMimeMap, "a"), std::string("1:t/ä") + '\0');
    EXPECT_EQ(Stored(kMimeMap, "b"), std::string("1:t/ä€") + '\0');
}

// Export then import into an empty registry gives the same tree, non-ASCII, binary,
// odd types and empty keys included; both formats.
TEST_F(ImportExportTest, ExportReadsBackAsTheSameTree) {
    ASSERT_EQ(Marrowick({"reset"}).status, 0);
    ASSERT_EQ(Marrowick({"mime", "add", "größe", "application/x-groesse"}).status, 0);
    const std::string extra =
        WriteFile("extra.reg",
                  "REGEDIT4\n[HKLM\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\Leer]\n"
                  "[HKLM\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\Bin]\n"
                  "\"b\"=hex:00,ff,10\n\"n\"=hex(7):61,00,00\n\"übergröße\"=\"größer\"\n\"q\"="
                  "\"zwei\\\\\\\"Zeilen\"\n");
    ASSERT_EQ(Marrowick({"import", extra}).status, 0);
    for (const bool narrow : {false, true}) {
        std::vector<std::string> arguments = {"export", hive.Directory() + "/out.reg"};
        std::vector<std::string> toOutput = {"export"};
        if (narrow) arguments.push_back("--regedit4"), toOutput.push_back("--regedit4");
        ASSERT_EQ(Marrowick(arguments).status, 0);
        const std::string exported = ReadFile(arguments[1]);
        EXPECT_EQ(Marrowick(toOutput).out, exported);
        if (narrow) {
            EXPECT_TRUE(exported.starts_with("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software"));
            EXPECT_NE(exported.find("\"gr\xF6\xDF"
                                    "e\"=\"application/x-groesse\""),
                      std::string::npos);
            EXPECT_NE(exported.find("\"\xFC"
                                    "bergr\xF6\xDF"
                                    "e\"=\"gr\xF6\xDF"
                                    "er\""),
                      std::string::npos);
        } else {
            EXPECT_TRUE(
                exported.starts_with(Utf16File("Windows Registry Editor Version 5.00\n\n"
                                               "[HKEY_LOCAL_MACHINE\\Software\\TAVIK")));
            EXPECT_NE(
                exported.find(
                    Utf16File("\"b\"=hex:00,ff,10\n\"n\"=hex(7):61,00,00,00,00,00\n").substr(2)),
                std::string::npos);
        }
        TemporaryHive empty;
        ASSERT_EQ(Marrowick({"import", arguments[1]}).status, 0);
        EXPECT_EQ(Marrowick(toOutput).out, exported) << (narrow ? "REGEDIT4" : "Version 5.00");
    }
}

// A key the registry functions would refuse midway is refused with the file, before
// anything is stored.
TEST_F(ImportExportTest, AKeyTheRegistryWouldRefuseStoresNothing) {
    ASSERT_EQ(Marrowick({"set", "DocList=33"}).status, 0);
    const std::string before = hive.ReadText();
    const std::string file =
        WriteFile("long.reg",
                  "REGEDIT4\n[HKLM\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\ObjectNum]\n"
                  "\"DocList\"=dword:00000040\n[HKLM\\SOFTWARE\\Tavik\\Brisvandale\\"
                  "Pallisander\\" +
                      std::string(256, 'k') + "]\n\"x\"=\"y\"\n");
    const Result result = Marrowick({"import", file});
    EXPECT_EQ(result.status, cli::kExitUsage) << result.err;
    EXPECT_NE(result.err.find("long.reg, Zeile 4: Diese Zeile ist keine"), std::string::npos)
        << result.err;
    EXPECT_EQ(hive.ReadText(), before);
}

// Exporting into a directory others may write: a link planted at the name is replaced,
// never followed, and the file written is not left writable for them.
TEST_F(ImportExportTest, ExportReplacesALinkPlantedAtItsName) {
    const std::string shared = hive.Directory() + "/shared";
    ASSERT_EQ(mkdir(shared.c_str(), 0777), 0);
    chmod(shared.c_str(), 01777);
    const std::string victim = WriteFile("victim", "keep");
    const std::string target = shared + "/out.reg";
    ASSERT_EQ(RunAsUnprivilegedUser([&] { return symlink(victim.c_str(), target.c_str()); }), 0);
    const Result result = Marrowick({"export", target});
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(ReadFile(victim), "keep");
    struct stat status {};
    ASSERT_EQ(lstat(target.c_str(), &status), 0);
    EXPECT_TRUE(S_ISREG(status.st_mode));
    EXPECT_EQ(status.st_mode & 07777, 0644u);
    // Nor is a FIFO read from.
    const std::string fifo = shared + "/in.reg";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0666), 0);
    EXPECT_EQ(Marrowick({"import", fifo}).status, cli::kExitFileError);
}

TEST_F(ImportExportTest, ExportGetsNoWiderRightsThanTheHiveAndNeverReplacesIt) {
    const std::string stored = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n";
    hive.WriteText(stored);
    ASSERT_EQ(chmod(hive.Path().c_str(), 0600), 0);
    const std::string out = hive.Directory() + "/out.reg";
    ASSERT_EQ(Marrowick({"export", out}).status, 0);
    struct stat status {};
    ASSERT_EQ(stat(out.c_str(), &status), 0);
    EXPECT_EQ(status.st_mode & 07777, 0600u);
    if (ChildrenRunAsAnotherUser()) {
        EXPECT_EQ(RunAsUnprivilegedUser([&] { return open(out.c_str(), O_RDONLY) < 0 ? 0 : 1; }),
                  0);
    }
    // The hive by any name: its own, another link to the same file, the link it is read through.
    const std::string sameFile = hive.Directory() + "/same.reg";
    const std::string linkToIt = hive.Directory() + "/link.reg";
    ASSERT_EQ(link(hive.Path().c_str(), sameFile.c_str()), 0);
    ASSERT_EQ(symlink("HKLM.reg", linkToIt.c_str()), 0);
    for (const std::string& target : {hive.Path(), sameFile, linkToIt}) {
        SCOPED_TRACE(target);
        setenv("MARROWICK_HKLM", (target == linkToIt ? linkToIt : hive.Path()).c_str(), 1);
        const Result result = Marrowick({"export", target});
        EXPECT_EQ(result.status, cli::kExitFileError);
        EXPECT_NE(result.err.find("Registrierungsdatei selbst"), std::string::npos) << result.err;
        EXPECT_EQ(hive.ReadText(), stored);
        EXPECT_TRUE(std::filesystem::is_symlink(linkToIt));
    }
}

}  // namespace
}  // namespace marrowick::test
