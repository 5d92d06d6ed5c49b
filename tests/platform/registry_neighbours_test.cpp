// The hive among other local users and odd files: a lock only writers can hold, waited on
// for a bounded time; temporary files nobody else can reach; hive paths that are links,
// FIFOs, devices or huge files. The other side runs as an unprivileged user where it can.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <set>
#include <string>
#include <string_view>

#include "hive_fixture.h"
#include "hive_store.h"
#include "unprivileged.h"

namespace {

using RegistryNeighbours = marrowick::test::HiveTest;
using marrowick::platform::kLockWait;
using marrowick::platform::kMaxHiveBytes;
using marrowick::test::ChildrenRunAsAnotherUser;
using marrowick::test::HeldLock;
using marrowick::test::RunAsUnprivilegedUser;
using marrowick::test::UnprivilegedChild;

constexpr const char* kHive = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"Title\"=\"alt\"\n";
// Longer than any wait the store may do: a child still running then is stuck.
constexpr unsigned kStuckAfterSeconds = 3 * kLockWait.count();

LONG SetTitle(const std::string& text) {
    HKEY key;
    LONG status = RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_WRITE, &key);
    if (status != ERROR_SUCCESS) return status;
    status = RegSetValueExA(key, "Title", 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
    return status;
}

// Runs the function in a child killed when stuck; its result, or -1 when it was killed.
int RunBounded(const std::function<int()>& function) {
    const pid_t child = fork();
    if (child == 0) {
        alarm(kStuckAfterSeconds);
        _exit(function());
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::set<std::string> Listing(const std::string& directory) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(directory)) {
        names.insert(entry.path().filename());
    }
    return names;
}

mode_t ModeOf(const std::string& path) {
    struct stat status = {};
    stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

TEST_F(RegistryNeighbours, LockIsForWhoMayWriteTheHiveWhateverTheUmask) {
    const mode_t previous = umask(077);
    const struct {
        mode_t hive, lock;
    } cases[] = {{0644, 0600}, {0664, 0660}, {0620, 0660}, {0640, 0600}};
    for (const auto& [hiveMode, lockMode] : cases) {
        SCOPED_TRACE(std::to_string(hiveMode));
        hive.WriteText(kHive);
        ASSERT_EQ(chmod(hive.Path().c_str(), hiveMode), 0);
        EXPECT_EQ(SetTitle("neu"), ERROR_SUCCESS);
        EXPECT_EQ(ModeOf(hive.Path() + ".lock"), lockMode);
    }
    umask(previous);
}

TEST_F(RegistryNeighbours, AnotherUserCanNeitherOpenNorHoldTheLock) {
    if (!ChildrenRunAsAnotherUser()) GTEST_SKIP() << "only root can run a child as another user";
    hive.WriteText(kHive);
    // A lock file as earlier versions left it, readable by all.
    const std::string lock = hive.Path() + ".lock";
    std::ofstream(lock).close();
    ASSERT_EQ(chmod(lock.c_str(), 0644), 0);
    ASSERT_EQ(SetTitle("neu"), ERROR_SUCCESS);
    const int status = RunAsUnprivilegedUser([&lock] {
        if (open(lock.c_str(), O_RDONLY) >= 0 || open(lock.c_str(), O_RDWR) >= 0) return 1;
        return errno == EACCES ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
}

TEST_F(RegistryNeighbours, HeldLockFailsTheChangeWithinTheBoundAndWritesNothing) {
    hive.WriteText(kHive);
    {
        const HeldLock held(hive);
        ASSERT_TRUE(held.Held());
        EXPECT_EQ(RunBounded([] { return SetTitle("neu") == ERROR_LOCK_VIOLATION ? 0 : 1; }), 0);
        EXPECT_EQ(hive.ReadText(), kHive);
    }
    EXPECT_EQ(SetTitle("neu"), ERROR_SUCCESS);
}

TEST_F(RegistryNeighbours, NothingPlantedAtTheLocksNameIsFollowedOrWaitedOn) {
    ASSERT_EQ(chmod(hive.Directory().c_str(), 0777), 0);  // someone else may write here
    hive.WriteText(kHive);
    const std::string lock = hive.Path() + ".lock";
    const std::string victim = hive.Directory() + "/victim";
    for (const std::string_view planted : {"symlink", "FIFO"}) {
        SCOPED_TRACE(planted);
        std::filesystem::remove(lock);
        const int plantedBy = RunAsUnprivilegedUser([&] {
            const int result = planted == "symlink" ? symlink(victim.c_str(), lock.c_str())
                                                    : mkfifo(lock.c_str(), 0666);
            return result == 0 ? 0 : 1;
        });
        ASSERT_EQ(plantedBy, 0);
        EXPECT_EQ(RunBounded([] { return SetTitle("neu") == ERROR_WRITE_FAULT ? 0 : 1; }), 0);
        EXPECT_FALSE(std::filesystem::exists(victim));
        EXPECT_EQ(hive.ReadText(), kHive);
    }
}

TEST_F(RegistryNeighbours, FileAnotherUserKeepsOpenNeverBecomesTheHive) {
    ASSERT_EQ(chmod(hive.Directory().c_str(), 0777), 0);
    hive.WriteText(kHive);
    int ready[2];
    int go[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(go), 0);
    // Creates the temporary file's name as earlier versions used it, keeps it open while
    // the hive is written, then writes through it.
    UnprivilegedChild other([&] {
        alarm(kStuckAfterSeconds);
        close(go[1]);
        const std::string temporary = hive.Path() + ".tmp";
        const int fd = open(temporary.c_str(), O_RDWR | O_CREAT, 0666);
        char byte = fd >= 0 ? 'y' : 'n';
        if (write(ready[1], &byte, 1) != 1 || fd < 0 || read(go[0], &byte, 1) != 1) return 1;
        const std::string evil = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Evil]\n";
        return pwrite(fd, evil.data(), evil.size(), 0) == static_cast<ssize_t>(evil.size()) ? 0 : 2;
    });
    close(ready[1]);
    close(go[0]);
    char byte = 'n';
    EXPECT_EQ(read(ready[0], &byte, 1), 1);
    EXPECT_EQ(byte, 'y');
    EXPECT_EQ(SetTitle("neu"), ERROR_SUCCESS);
    EXPECT_EQ(write(go[1], "g", 1), 1);
    close(go[1]);
    close(ready[0]);
    EXPECT_EQ(other.Wait(), 0);  // it ran, and wrote what it could
    const std::string text = hive.ReadText();
    EXPECT_EQ(text.find("Evil"), std::string::npos) << text;
    EXPECT_NE(text.find("\"neu\""), std::string::npos) << text;
}

TEST_F(RegistryNeighbours, NextWriterRemovesWhatKilledWritersLeftAndNothingElse) {
    hive.WriteText(kHive);
    const std::set<std::string> leftovers = {"HKLM.reg.tmp.Ab3dE9", "HKLM.reg.tmp.zzzzzz"};
    const std::set<std::string> others = {"HKLM.reg.tmp", "HKLM.reg.tmp.Ab3dE",
                                          "HKLM.reg.tmp.Ab-dE9", "HKLM.reg.tmp.Ab3dE9x",
                                          "Other.reg.tmp.Ab3dE9"};
    for (const auto* names : {&leftovers, &others}) {
        for (const std::string& name : *names) std::ofstream(hive.Directory() + "/" + name).close();
    }
    EXPECT_EQ(SetTitle("neu"), ERROR_SUCCESS);
    std::set<std::string> expected = others;
    expected.insert({"HKLM.reg", "HKLM.reg.lock"});
    EXPECT_EQ(Listing(hive.Directory()), expected);
}

TEST_F(RegistryNeighbours, HiveThatIsNoRegularFileOrTooLargeIsNeverRead) {
    ASSERT_EQ(chmod(hive.Directory().c_str(), 0777), 0);
    const std::string path = hive.Path();
    const std::string large = hive.Directory() + "/large.reg";
    {
        std::ofstream out(large, std::ios::binary);
        out << "REGEDIT4\n;" << std::string(kMaxHiveBytes, 'x') << "\n";
    }
    const struct {
        const char* what;
        std::function<int()> plant;  // run by another user
    } cases[] = {
        {"FIFO", [&] { return mkfifo(path.c_str(), 0666); }},
        {"link to /dev/zero", [&] { return symlink("/dev/zero", path.c_str()); }},
        {"too large", [&] { return symlink(large.c_str(), path.c_str()); }},
    };
    for (const auto& [what, plant] : cases) {
        SCOPED_TRACE(what);
        std::filesystem::remove(path);
        ASSERT_EQ(RunAsUnprivilegedUser(plant), 0);
        const int status = RunBounded([] {
            HKEY key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key) != ERROR_BADDB) {
                return 1;
            }
            return SetTitle("neu") == ERROR_BADDB ? 0 : 2;
        });
        EXPECT_EQ(status, 0);
    }
    EXPECT_EQ(std::filesystem::file_size(large), kMaxHiveBytes + 11);
}

TEST_F(RegistryNeighbours, HiveThatIsALinkIsWrittenWhereItLeads) {
    const std::string elsewhere = hive.Directory() + "/elsewhere";
    ASSERT_TRUE(std::filesystem::create_directory(elsewhere));
    std::ofstream(elsewhere + "/HKLM.reg") << kHive;
    ASSERT_EQ(symlink("elsewhere/HKLM.reg", hive.Path().c_str()), 0);
    for (const char* title : {"eins", "zwei"}) {
        EXPECT_EQ(SetTitle(title), ERROR_SUCCESS);
        EXPECT_TRUE(std::filesystem::is_symlink(hive.Path()));
        EXPECT_NE(hive.ReadText().find(title), std::string::npos) << title;
    }
    EXPECT_EQ(Listing(elsewhere), (std::set<std::string>{"HKLM.reg", "HKLM.reg.lock"}));
}

}  // namespace
