// The registry functions over the hive file: what the file holds, what other writers
// and damaged or protected files do to us. Plain Win32 behaviour is covered by the
// conformance suite.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <registry_transaction.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "hive_file.h"
#include "hive_fixture.h"
#include "unprivileged.h"

namespace {

using RegistryFile = marrowick::test::HiveTest;
using marrowick::test::RunAsUnprivilegedUser;

LONG Open(const char* path, REGSAM access, HKEY& key) {
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, access, &key);
}

LONG Create(const char* path, HKEY& key) {
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, path, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                           &key, nullptr);
}

LONG SetString(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

std::string QueryString(HKEY key, const char* name) {
    char buffer[256] = {};
    DWORD size = sizeof buffer - 1;
    const LONG status =
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    return status == ERROR_SUCCESS ? buffer : "<error " + std::to_string(status) + ">";
}

constexpr const char* kViewerHive =
    "REGEDIT4\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Viewer]\n"
    "\"TopDay\"=dword:00000001\n"
    "\"Title\"=\"Betrachter\"\n";

TEST_F(RegistryFile, MissingHiveIsEmptyAndReadingNeverCreatesIt) {
    HKEY key;
    EXPECT_EQ(Open("Software", KEY_READ | KEY_WRITE, key), ERROR_FILE_NOT_FOUND);
    ASSERT_EQ(Open("", KEY_READ, key), ERROR_SUCCESS);
    DWORD size = 5;
    EXPECT_EQ(RegQueryValueExA(key, "x", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_FALSE(hive.Exists());
}

TEST_F(RegistryFile, ChangesAreWrittenAsRegeditText) {
    HKEY key;
    ASSERT_EQ(Create("Software\\Viewer\\MimeMap", key), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, "pdf", "application/pdf"), ERROR_SUCCESS);
    const DWORD number = 30;
    EXPECT_EQ(RegSetValueExA(key, "DocList", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number),
                             sizeof number),
              ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(hive.ReadText(),
              "REGEDIT4\n"
              "\n[HKEY_LOCAL_MACHINE\\Software]\n"
              "\n[HKEY_LOCAL_MACHINE\\Software\\Viewer]\n"
              "\n[HKEY_LOCAL_MACHINE\\Software\\Viewer\\MimeMap]\n"
              "\"pdf\"=\"application/pdf\"\n"
              "\"DocList\"=dword:0000001e\n");
    // Nothing else is left beside the hive but the lock file.
    for (const auto& entry : std::filesystem::directory_iterator(hive.Directory())) {
        EXPECT_TRUE(entry.path() == hive.Path() || entry.path() == hive.Path() + ".lock")
            << entry.path();
    }
}

// A hive of many keys whose values nobody changed is written back from the text it was
// read from, in more pieces than one write call takes; the one changed line is new.
TEST_F(RegistryFile, ChangeInALargeHiveRewritesOnlyItsLine) {
    std::string before = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n";
    for (int key = 0; key < 1500; ++key) {
        before += "\n[HKEY_LOCAL_MACHINE\\Software\\K" + std::to_string(key) + "]\n";
        for (int value = 0; value < 100; ++value) {
            before +=
                "\"v" + std::to_string(value) + "\"=\"" + std::string(36, 'a' + key % 26) + "\"\n";
        }
    }
    hive.WriteText(before);
    HKEY key;
    ASSERT_EQ(Open("Software\\K700", KEY_READ | KEY_WRITE, key), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "v50", "neu"), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    const std::string line = "\"v50\"=\"" + std::string(36, 'a' + 700 % 26) + "\"\n";
    const std::size_t at = before.find(line, before.find("\\K700]"));
    std::string expected = before;
    expected.replace(at, line.size(), "\"v50\"=\"neu\"\n");
    EXPECT_TRUE(hive.ReadText() == expected);
}

// A run changes a value in place in the transaction's own view: the tree everyone else
// reads holds the old value until the commit, and the commit writes the run.
TEST_F(RegistryFile, RunOfValueChangesIsSeenOutsideOnlyOnceCommitted) {
    hive.WriteText(kViewerHive);
    HKEY plain;
    ASSERT_EQ(Open("Software\\Viewer", KEY_READ, plain), ERROR_SUCCESS);
    // Read before the transaction's view is made: the view shares the values read.
    EXPECT_EQ(QueryString(plain, "Title"), "Betrachter");
    HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    HKEY mine;
    ASSERT_EQ(RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, "Software\\Viewer", 0, KEY_READ | KEY_WRITE,
                                    &mine, transaction, nullptr),
              ERROR_SUCCESS);
    const std::string title("Neu", 4);
    using marrowick::platform::ValueChange;
    const ValueChange run[] = {
        {ValueChange::kSet, "TITLE", REG_SZ, title, {}},
        {ValueChange::kSet, "Added", REG_SZ, title, {}},
    };
    ASSERT_EQ(marrowick::platform::ChangeValuesInTransaction(mine, run).status, ERROR_SUCCESS);
    EXPECT_EQ(QueryString(mine, "Title"), "Neu");
    EXPECT_EQ(QueryString(plain, "Title"), "Betrachter");
    EXPECT_EQ(QueryString(plain, "Added"), "<error 2>");
    EXPECT_TRUE(CommitTransaction(transaction));
    EXPECT_EQ(
        hive.ReadText(),
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\n[HKEY_LOCAL_MACHINE\\Software\\Viewer]\n"
        "\"TopDay\"=dword:00000001\n\"Title\"=\"Neu\"\n\"Added\"=\"Neu\"\n");
    CloseHandle(transaction);
    RegCloseKey(mine);
    RegCloseKey(plain);
}

// What a run reports a change found is the value its name finds in any letter case, named
// as stored; through a key opened for reading only, what alters is refused after that.
TEST_F(RegistryFile, RunReportsTheValueFoundNamedAsStored) {
    HKEY key;
    ASSERT_EQ(Create("Software\\Viewer", key), ERROR_SUCCESS);
    ASSERT_EQ(SetString(key, "MimeType", "x"), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    ASSERT_EQ(RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, "Software\\Viewer", 0, KEY_READ, &key,
                                    transaction, nullptr),
              ERROR_SUCCESS);
    using marrowick::platform::ValueChange;
    const std::string same("x", 2);
    const ValueChange run[] = {
        {ValueChange::kSet, "MIMETYPE", REG_SZ, same, {}},  // alters nothing: passes
        {ValueChange::kDelete, "mimetype", 0, {}, {}},      // alters: refused
    };
    const marrowick::platform::ValueRun made =
        marrowick::platform::ChangeValuesInTransaction(key, run);
    EXPECT_EQ(made.status, ERROR_ACCESS_DENIED);
    EXPECT_EQ(made.done, 1u);
    ASSERT_EQ(made.found.size(), 2u);
    for (const auto& found : made.found) {
        ASSERT_TRUE(found.before);
        EXPECT_EQ(found.before->name, "MimeType");
        EXPECT_EQ(found.before->data, same);
    }
    EXPECT_FALSE(made.found[0].alters);
    EXPECT_TRUE(made.found[1].alters);
    CloseHandle(transaction);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryFile, KeyInfoCountsSubKeysAndValuesWithTheLongest) {
    hive.WriteText(std::string(kViewerHive) + "\"Longer name\"=hex:01,02,03,04,05,06,07\n" +
                   "[HKEY_LOCAL_MACHINE\\Software\\Viewer\\MimeMap]\n" +
                   "[HKEY_LOCAL_MACHINE\\Software\\Viewer\\Tabs]\n");
    HKEY key;
    ASSERT_EQ(Open("Software\\Viewer", KEY_READ, key), ERROR_SUCCESS);
    char className[4] = "x";
    DWORD classLength = sizeof className, subKeys = 0, longestSubKey = 0, values = 0,
          longestName = 0, largestData = 0;
    ASSERT_EQ(RegQueryInfoKeyA(key, className, &classLength, nullptr, &subKeys, &longestSubKey,
                               nullptr, &values, &longestName, &largestData, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(std::string(className) + "/" + std::to_string(classLength), "/0");
    EXPECT_EQ(subKeys, 2u);
    EXPECT_EQ(longestSubKey, 7u);  // MimeMap
    EXPECT_EQ(values, 3u);
    EXPECT_EQ(longestName, 11u);  // Longer name
    EXPECT_EQ(largestData, 11u);  // "Betrachter" and its NUL
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    ASSERT_EQ(Open("Software\\Viewer", KEY_ENUMERATE_SUB_KEYS, key), ERROR_SUCCESS);
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryFile, MistypedHivePathCreatesNoDirectoryAndNamesTheMissingOne) {
    const std::string missing = hive.Directory() + "/var";
    setenv("MARROWICK_HKLM", (missing + "/lib/marrowick/HKLM.reg").c_str(), 1);
    HKEY key;
    ASSERT_EQ(Open("", KEY_READ, key), ERROR_SUCCESS);  // a missing hive is an empty registry
    RegCloseKey(key);
    EXPECT_EQ(Create("Software", key), ERROR_PATH_NOT_FOUND);
    const marrowick::platform::HiveProblem problem = marrowick::platform::GetHiveProblem();
    EXPECT_EQ(problem.kind, marrowick::platform::HiveProblem::kDirectoryMissing);
    EXPECT_EQ(problem.path, missing);
    EXPECT_FALSE(std::filesystem::exists(missing));
}

TEST_F(RegistryFile, SeesWhatAnotherWriterPutInTheFile) {
    hive.WriteText(kViewerHive);
    HKEY key;
    ASSERT_EQ(Open("software\\viewer", KEY_READ | KEY_WRITE, key), ERROR_SUCCESS);
    EXPECT_EQ(QueryString(key, "title"), "Betrachter");

    // Replaced behind our back, as another process would.
    const std::string other = hive.Directory() + "/other.reg";
    std::filesystem::rename(hive.Path(), other);
    hive.WriteText(std::string(kViewerHive) + "\"Extra\"=\"neu\"\n");
    EXPECT_EQ(QueryString(key, "Extra"), "neu");

    // An enumeration started afresh looks at the file again.
    std::string names;
    char name[32];
    const auto enumerate = [&] {
        names.clear();
        for (DWORD index = 0;; ++index) {
            DWORD size = sizeof name;
            if (RegEnumValueA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                return;
            }
            names += std::string(name) + ";";
        }
    };
    enumerate();
    EXPECT_EQ(names, "TopDay;Title;Extra;");
    std::filesystem::remove(hive.Path());
    hive.WriteText(std::string(kViewerHive) + "\"Later\"=\"x\"\n");
    enumerate();
    EXPECT_EQ(names, "TopDay;Title;Later;");

    // The key is gone: the handle says so instead of reading something else.
    hive.WriteText("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n");
    EXPECT_EQ(QueryString(key, "Title"), "<error 1018>");
    EXPECT_EQ(SetString(key, "Title", "x"), ERROR_KEY_DELETED);
    EXPECT_EQ(hive.ReadText(), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n");

    // Created again, it is another key: the old handle keeps naming the deleted one.
    HKEY again;
    ASSERT_EQ(Create("Software\\Viewer", again), ERROR_SUCCESS);
    EXPECT_EQ(SetString(again, "Title", "zurück"), ERROR_SUCCESS);
    EXPECT_EQ(QueryString(key, "Title"), "<error 1018>");
    EXPECT_EQ(QueryString(again, "Title"), "zurück");
    EXPECT_EQ(RegCloseKey(again), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryFile, CorruptHiveFailsEveryOpenAndIsNeverOverwritten) {
    hive.WriteText(kViewerHive);
    HKEY early;
    ASSERT_EQ(Open("Software\\Viewer", KEY_READ | KEY_WRITE, early), ERROR_SUCCESS);
    const std::string corrupt = std::string(kViewerHive) + "\"Broken\"=dword:xyz\n";
    hive.WriteText(corrupt);

    HKEY key;
    EXPECT_EQ(Open("Software\\Viewer", KEY_READ, key), ERROR_BADDB);
    EXPECT_EQ(Open("", KEY_READ, key), ERROR_BADDB);
    EXPECT_EQ(Create("Software\\New", key), ERROR_BADDB);
    EXPECT_EQ(QueryString(early, "Title"), "<error 1009>");
    EXPECT_EQ(SetString(early, "Title", "x"), ERROR_BADDB);
    EXPECT_EQ(RegDeleteValueA(early, "TopDay"), ERROR_BADDB);
    EXPECT_EQ(SetString(HKEY_LOCAL_MACHINE, "Root", "x"), ERROR_BADDB);
    EXPECT_EQ(hive.ReadText(), corrupt);

    // Repaired by hand, the same handle works again.
    hive.WriteText(kViewerHive);
    EXPECT_EQ(QueryString(early, "Title"), "Betrachter");
    EXPECT_EQ(RegCloseKey(early), ERROR_SUCCESS);
}

// "k\\k\\...": a path of that many levels.
std::string NestedPath(std::size_t levels) {
    std::string path = "k";
    for (std::size_t i = 1; i < levels; ++i) path += "\\k";
    return path;
}

TEST_F(RegistryFile, KeysNestAtMost512LevelsDeep) {
    HKEY key;
    EXPECT_EQ(Create(NestedPath(513).c_str(), key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Create(NestedPath(100000).c_str(), key), ERROR_INVALID_PARAMETER);
    EXPECT_FALSE(hive.Exists());

    // Counted from the root, not from the handle.
    HKEY middle;
    ASSERT_EQ(Create(NestedPath(500).c_str(), middle), ERROR_SUCCESS);
    EXPECT_EQ(RegCreateKeyExA(middle, NestedPath(13).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegOpenKeyExA(middle, NestedPath(13).c_str(), 0, KEY_READ, &key),
              ERROR_INVALID_PARAMETER);
    ASSERT_EQ(RegCreateKeyExA(middle, NestedPath(12).c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, "Deepest", "here"), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(middle), ERROR_SUCCESS);

    // The deepest key reads back from the file another process would see.
    const std::string text = hive.ReadText();
    hive.WriteText(text + "\n");
    ASSERT_EQ(Open(NestedPath(512).c_str(), KEY_READ, key), ERROR_SUCCESS);
    EXPECT_EQ(QueryString(key, "Deepest"), "here");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryFile, HiveWithKeysBeyondTheLimitsFailsEveryOpen) {
    const std::string tooLong[] = {
        "[HKEY_LOCAL_MACHINE\\" + NestedPath(513) + "]\n",
        "[HKEY_LOCAL_MACHINE\\" + NestedPath(100000) + "]\n",
        "[HKEY_LOCAL_MACHINE\\Software\\" + std::string(256, 'n') + "]\n",
        "[HKEY_LOCAL_MACHINE\\Software\\" + std::string("nul\0byte", 8) + "]\n",
    };
    for (const std::string& keyLine : tooLong) {
        const std::string text = "REGEDIT4\n\n" + keyLine;
        hive.WriteText(text);
        HKEY key;
        EXPECT_EQ(Open("", KEY_READ, key), ERROR_BADDB);
        EXPECT_EQ(Create("Software", key), ERROR_BADDB);
        EXPECT_EQ(hive.ReadText(), text);
    }
}

TEST_F(RegistryFile, FailedWriteLeavesNoTraceOfTheChange) {
    hive.WriteText(kViewerHive);
    HKEY key;
    ASSERT_EQ(Open("Software\\Viewer", KEY_READ | KEY_WRITE, key), ERROR_SUCCESS);
    char name[32];
    DWORD size = sizeof name;
    ASSERT_EQ(RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);

    // No file may grow beyond the old hive's size, so the new one cannot be written.
    signal(SIGXFSZ, SIG_IGN);
    rlimit unlimited;
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &unlimited), 0);
    rlimit limited = unlimited;
    limited.rlim_cur = std::strlen(kViewerHive);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    EXPECT_EQ(SetString(key, "Phantom", "x"), ERROR_WRITE_FAULT);
    HKEY created;
    EXPECT_EQ(Create("Software\\Phantom", created), ERROR_WRITE_FAULT);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &unlimited), 0);
    // Nor is any temporary file left behind.
    for (const auto& entry : std::filesystem::directory_iterator(hive.Directory())) {
        EXPECT_EQ(entry.path().filename().string().find(".tmp"), std::string::npos);
    }

    // Walking on from index 0 must not find the value that was never stored.
    size = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 1, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "Title");
    size = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 2, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    EXPECT_EQ(QueryString(key, "Phantom"), "<error 2>");
    EXPECT_EQ(Open("Software\\Phantom", KEY_READ, created), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(hive.ReadText(), kViewerHive);

    // Once the obstacle is gone, writing works again.
    EXPECT_EQ(SetString(key, "Real", "y"), ERROR_SUCCESS);
    EXPECT_EQ(QueryString(key, "Real"), "y");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

TEST_F(RegistryFile, WritingKeepsTheHivesOwnerAndGroup) {
    if (geteuid() != 0) GTEST_SKIP() << "only root may hand a file to another user";
    hive.WriteText(kViewerHive);
    constexpr uid_t kOwner = 65534;
    constexpr gid_t kGroup = 65533;
    ASSERT_EQ(chown(hive.Path().c_str(), kOwner, kGroup), 0);
    ASSERT_EQ(chmod(hive.Path().c_str(), 0640), 0);

    HKEY key;
    ASSERT_EQ(Open("Software\\Viewer", KEY_WRITE, key), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, "Title", "neu"), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    struct stat status;
    ASSERT_EQ(stat(hive.Path().c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, kOwner);
    EXPECT_EQ(status.st_gid, kGroup);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    EXPECT_NE(hive.ReadText().find("\"neu\""), std::string::npos);
}

TEST_F(RegistryFile, ReadOnlyHiveCanBeReadButNotWritten) {
    hive.WriteText(kViewerHive);
    ASSERT_EQ(chmod(hive.Path().c_str(), 0444), 0);
    // Each failed expectation sets one bit of the child's exit status.
    const int failures = RunAsUnprivilegedUser([] {
        int failed = 0;
        HKEY key;
        if (Open("Software\\Viewer", KEY_READ, key) != ERROR_SUCCESS) return 1;
        if (QueryString(key, "Title") != "Betrachter") failed |= 2;
        if (SetString(key, "Title", "x") != ERROR_ACCESS_DENIED) failed |= 4;
        RegCloseKey(key);
        if (Open("Software\\Viewer", KEY_READ | KEY_WRITE, key) != ERROR_ACCESS_DENIED) {
            failed |= 8;
        }
        if (Create("Software\\New", key) != ERROR_ACCESS_DENIED) failed |= 16;
        // An existing key opens through create when only reading is asked for.
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, nullptr, 0, KEY_READ, nullptr, &key,
                            nullptr) != ERROR_SUCCESS) {
            failed |= 32;
        }
        return failed;
    });
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(hive.ReadText(), kViewerHive);
}

TEST_F(RegistryFile, AccessFollowsChangesOfModeAndUser) {
    // The child creates the hive, so it owns it and may change its mode.
    ASSERT_EQ(chmod(hive.Directory().c_str(), 01777), 0);
    const std::string path = hive.Path();
    const int failures = RunAsUnprivilegedUser([&path] {
        int failed = 0;
        HKEY key;
        if (Create("Software", key) != ERROR_SUCCESS) return 1;
        RegCloseKey(key);
        const auto opens = [](REGSAM access) {
            HKEY opened;
            const LONG status = Open("Software", access, opened);
            if (status == ERROR_SUCCESS) RegCloseKey(opened);
            return status == ERROR_SUCCESS;
        };
        if (!opens(KEY_READ | KEY_WRITE)) failed |= 2;
        chmod(path.c_str(), 0444);
        if (opens(KEY_READ | KEY_WRITE) || !opens(KEY_READ)) failed |= 4;
        chmod(path.c_str(), 0644);
        if (!opens(KEY_READ | KEY_WRITE)) failed |= 8;
        chmod(path.c_str(), 0);
        if (opens(KEY_READ)) failed |= 16;
        chmod(path.c_str(), 0644);
        return failed;
    });
    EXPECT_EQ(failures, 0);

    // What this process may do says nothing about a child that gave up its rights.
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    HKEY key;
    const LONG parent = Open("Software", KEY_READ | KEY_WRITE, key);
    if (parent == ERROR_SUCCESS) RegCloseKey(key);
    EXPECT_EQ(parent, geteuid() == 0 ? ERROR_SUCCESS : ERROR_ACCESS_DENIED);
    const int status = RunAsUnprivilegedUser([] {
        HKEY child;
        return Open("Software", KEY_READ | KEY_WRITE, child) == ERROR_ACCESS_DENIED ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST_F(RegistryFile, UnreadableHiveDeniesAccess) {
    hive.WriteText(kViewerHive);
    ASSERT_EQ(chmod(hive.Path().c_str(), 0), 0);
    const int status = RunAsUnprivilegedUser([] {
        HKEY key;
        return Open("Software\\Viewer", KEY_READ, key) == ERROR_ACCESS_DENIED ? 0 : 1;
    });
    EXPECT_EQ(status, 0);
}

TEST_F(RegistryFile, RejectsWhatTheHiveCannotHoldOrTheCallGetsWrong) {
    HKEY key;
    ASSERT_EQ(Create("Software", key), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, "two\nlines", "x"), ERROR_INVALID_PARAMETER);
    // One character by count, but longer in bytes than any value name may be.
    EXPECT_EQ(SetString(key, ("\xF0" + std::string(70000, '\x80')).c_str(), "x"),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Create("Soft\rware", key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Create(std::string(256, 'k').c_str(), key), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(Create("A\\\\B", key), ERROR_BAD_PATHNAME);
    EXPECT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software", 0, KEY_READ, &key),
              ERROR_INVALID_HANDLE);
    ASSERT_EQ(Open("Software", KEY_READ, key), ERROR_SUCCESS);
    DWORD reserved = 0;
    DWORD size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "x", &reserved, nullptr, nullptr, &size),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    // Writing-only handles cannot read.
    ASSERT_EQ(Open("Software", KEY_WRITE, key), ERROR_SUCCESS);
    EXPECT_EQ(SetString(key, "Value", "x"), ERROR_SUCCESS);
    EXPECT_EQ(QueryString(key, "Value"), "<error 5>");
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(hive.ReadText(), "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"Value\"=\"x\"\n");
}

}  // namespace
