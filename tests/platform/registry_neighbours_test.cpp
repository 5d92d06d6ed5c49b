// The hive among other local users and odd files: a lock only writers can hold, waited on
// for a bounded time; temporary files nobody else can reach; hive paths that are links,
// FIFOs, devices or huge files. The other side runs as an unprivileged user where it can.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <pwd.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <string_view>

#include "hive_file.h"
#include "hive_fixture.h"
#include "hive_store.h"
#include "unprivileged.h"

namespace {

using RegistryNeighbours = marrowick::test::HiveTest;
using marrowick::platform::GetHiveProblem;
using marrowick::platform::HiveProblem;
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

uid_t NobodysId() {
    const passwd* nobody = getpwnam("nobody");
    return nobody ? nobody->pw_uid : 65534;
}

mode_t ModeOf(const std::string& path) {
    struct stat status = {};
    stat(path.c_str(), &status);
    return status.st_mode & 07777;
}

// A directory of nobody's, as a user's home would be.
std::string DirectoryOfNobodys(const std::string& path) {
    std::filesystem::create_directories(path);
    if (ChildrenRunAsAnotherUser()) chown(path.c_str(), NobodysId(), -1);
    return path;
}

// Lets the other side wait until the parent says go.
struct Signal {
    int fds[2] = {-1, -1};
    Signal() { EXPECT_EQ(pipe(fds), 0); }
    ~Signal() {
        close(fds[0]);
        close(fds[1]);
    }
    bool Give() { return write(fds[1], "g", 1) == 1; }
    bool Await() {
        char byte;
        return read(fds[0], &byte, 1) == 1;
    }
};

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
    ASSERT_EQ(chmod(hive.Directory().c_str(), 01777), 0);  // someone else may write here
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
        EXPECT_EQ(RunBounded([] { return static_cast<int>(SetTitle("neu")); }), ERROR_WRITE_FAULT);
        EXPECT_FALSE(std::filesystem::exists(victim));
        EXPECT_EQ(hive.ReadText(), kHive);
    }
}

TEST_F(RegistryNeighbours, FileAnotherUserKeepsOpenNeverBecomesTheHive) {
    ASSERT_EQ(chmod(hive.Directory().c_str(), 01777), 0);
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
    ASSERT_EQ(chmod(hive.Directory().c_str(), 01777), 0);
    const std::string path = hive.Path();
    const std::string large = hive.Directory() + "/large.reg";
    {
        std::ofstream out(large, std::ios::binary);
        out << "REGEDIT4\n;" << std::string(kMaxHiveBytes, 'x') << "\n";
    }
    // Her own file: a link of hers to someone else's is refused before anything is read.
    if (ChildrenRunAsAnotherUser()) {
        ASSERT_EQ(chown(large.c_str(), NobodysId(), -1), 0);
    }
    const struct {
        const char* what;
        std::function<int()> plant;  // run by another user
        LONG refusal;
    } cases[] = {
        {"FIFO", [&] { return mkfifo(path.c_str(), 0666); }, ERROR_BADDB},
        {"link to /dev/zero", [&] { return symlink("/dev/zero", path.c_str()); },
         ChildrenRunAsAnotherUser() ? LONG{ERROR_ACCESS_DENIED} : LONG{ERROR_BADDB}},
        {"too large", [&] { return symlink("large.reg", path.c_str()); }, ERROR_BADDB},
    };
    for (const auto& [what, plant, refusal] : cases) {
        SCOPED_TRACE(what);
        std::filesystem::remove(path);
        ASSERT_EQ(RunAsUnprivilegedUser(plant), 0);
        const int status = RunBounded([refusal] {
            HKEY key;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key) != refusal) {
                return 1;
            }
            return SetTitle("neu") == refusal ? 0 : 2;
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

namespace {

using RegistryPaths = marrowick::test::HiveTest;

// Stands in for /etc/passwd: a root-owned file elsewhere, and a file she chose for the
// writers' clean-up to delete.
struct Victim {
    explicit Victim(const std::string& directory) : directory(directory) {
        std::filesystem::create_directories(directory);
        std::ofstream(directory + "/HKLM.reg") << kVictim;
        std::ofstream(directory + "/HKLM.reg.tmp.Ab3dE9").close();
    }
    bool Untouched() const {
        std::ifstream in(directory + "/HKLM.reg");
        const std::string text{std::istreambuf_iterator<char>(in), {}};
        return text == kVictim && std::filesystem::exists(directory + "/HKLM.reg.tmp.Ab3dE9");
    }
    static constexpr const char* kVictim =
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\"Title\"=\"root's\"\n";
    std::string directory;
};

TEST_F(RegistryPaths, PathAnotherUserCouldRepointIsRefusedNamingThePlace) {
    if (!ChildrenRunAsAnotherUser()) GTEST_SKIP() << "only root can run a child as another user";
    const std::string base = hive.Directory();
    const Victim victim(base + "/victim");
    const std::string hers = DirectoryOfNobodys(base + "/hers");
    ASSERT_TRUE(std::filesystem::create_directory(base + "/open"));
    ASSERT_EQ(chmod((base + "/open").c_str(), 0777), 0);
    const std::string openSub = DirectoryOfNobodys(base + "/open/sub");
    const struct {
        const char* what;
        std::string hivePath;
        std::function<int()> plant;  // run by her
        std::string named;           // the place the message names
    } cases[] = {
        {"her link to a file of root's", hers + "/link.reg",
         [&] {
             return symlink((victim.directory + "/HKLM.reg").c_str(), (hers + "/link.reg").c_str());
         },
         hers + "/link.reg"},
        {"her directory swapped for a link", hers + "/dir/HKLM.reg",
         [&] { return symlink(victim.directory.c_str(), (hers + "/dir").c_str()); }, hers + "/dir"},
        {"a directory everyone may write, without the sticky bit", base + "/open/sub/HKLM.reg",
         [&] {
             std::ofstream(openSub + "/HKLM.reg") << kHive;  // settings of her choosing
             return 0;
         },
         base + "/open"},
    };
    for (const auto& [what, hivePath, plant, named] : cases) {
        SCOPED_TRACE(what);
        setenv("MARROWICK_HKLM", hivePath.c_str(), 1);
        ASSERT_EQ(RunAsUnprivilegedUser(plant), 0);
        HKEY key;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, &key),
                  ERROR_ACCESS_DENIED);
        EXPECT_EQ(SetTitle("neu"), ERROR_ACCESS_DENIED);
        const HiveProblem problem = GetHiveProblem();
        EXPECT_TRUE(problem.path == named || problem.other == named)
            << problem.kind << " " << problem.path << " " << problem.other;
        EXPECT_TRUE(victim.Untouched());
    }
}

TEST_F(RegistryPaths, PathSwappedWhileWaitingForTheLockReachesNothingElse) {
    if (!ChildrenRunAsAnotherUser()) GTEST_SKIP() << "only root can run a child as another user";
    // Her own hive, in her own directory, which root may write as hers.
    const std::string base = hive.Directory();
    const Victim victim(base + "/victim");
    const std::string hers = DirectoryOfNobodys(base + "/hers");
    const std::string sub = DirectoryOfNobodys(hers + "/sub");
    std::ofstream(sub + "/HKLM.reg") << kHive;
    ASSERT_EQ(chown((sub + "/HKLM.reg").c_str(), NobodysId(), -1), 0);
    setenv("MARROWICK_HKLM", (sub + "/HKLM.reg").c_str(), 1);
    Signal ready;
    // She holds the lock; once root opens it to wait, she swaps her directory for a link to
    // the victim's, then lets go.
    UnprivilegedChild her([&] {
        alarm(kStuckAfterSeconds);
        const int lock = open((sub + "/HKLM.reg.lock").c_str(), O_RDWR | O_CREAT, 0600);
        const int watch = inotify_init1(IN_CLOEXEC);
        if (lock < 0 || flock(lock, LOCK_EX) != 0 ||
            inotify_add_watch(watch, (sub + "/HKLM.reg.lock").c_str(), IN_OPEN) < 0 ||
            !ready.Give()) {
            return 1;
        }
        inotify_event event[4];
        if (read(watch, event, sizeof event) <= 0) return 2;
        if (rename(sub.c_str(), (hers + "/sub.old").c_str()) != 0 ||
            symlink(victim.directory.c_str(), sub.c_str()) != 0) {
            return 3;
        }
        close(lock);
        return 0;
    });
    ASSERT_TRUE(ready.Await());
    EXPECT_EQ(SetTitle("neu"), ERROR_SUCCESS);
    EXPECT_EQ(her.Wait(), 0);
    EXPECT_TRUE(victim.Untouched());
    std::ifstream in(hers + "/sub.old/HKLM.reg");
    const std::string written{std::istreambuf_iterator<char>(in), {}};
    EXPECT_NE(written.find("\"neu\""), std::string::npos) << written;
}

TEST_F(RegistryNeighbours, LockPlantedByWhoMayNotSaveIsReplacedNotWaitedFor) {
    if (!ChildrenRunAsAnotherUser()) GTEST_SKIP() << "only root can run a child as another user";
    ASSERT_EQ(chmod(hive.Directory().c_str(), 01777), 0);
    hive.WriteText(kHive);
    const std::string lock = hive.Path() + ".lock";
    Signal ready;
    Signal done;
    UnprivilegedChild her([&] {
        alarm(kStuckAfterSeconds);
        const int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_EXCL, 0666);
        if (fd < 0 || flock(fd, LOCK_EX) != 0 || !ready.Give()) return 1;
        done.Await();
        return 0;
    });
    ASSERT_TRUE(ready.Await());
    EXPECT_EQ(RunBounded([] { return SetTitle("neu") == ERROR_SUCCESS ? 0 : 1; }), 0);
    EXPECT_NE(hive.ReadText().find("\"neu\""), std::string::npos);
    struct stat status = {};
    EXPECT_EQ(stat(lock.c_str(), &status), 0);
    EXPECT_EQ(status.st_uid, 0u);
    done.Give();
    EXPECT_EQ(her.Wait(), 0);
}

TEST_F(RegistryNeighbours, ChangeTheStoreCouldNotReadBackIsRefusedAndNothingWritten) {
    hive.WriteText(kHive);
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0, KEY_WRITE, &key), ERROR_SUCCESS);
    // Written as hex, a third of the cap in bytes is more than the cap in text.
    const std::string bytes(kMaxHiveBytes / 3 + 1, '\x5a');
    EXPECT_EQ(RegSetValueExA(key, "Big", 0, REG_BINARY, reinterpret_cast<const BYTE*>(bytes.data()),
                             static_cast<DWORD>(bytes.size())),
              ERROR_NO_SYSTEM_RESOURCES);
    RegCloseKey(key);
    EXPECT_EQ(GetHiveProblem().kind, HiveProblem::kTooLarge);
    EXPECT_GT(GetHiveProblem().bytes, GetHiveProblem().limitBytes);
    EXPECT_TRUE(hive.ReadText() == kHive);      // not printed: it may be huge
    EXPECT_EQ(SetTitle("neu"), ERROR_SUCCESS);  // the registry is still there to be used
}

}  // namespace
