// Several processes writing one hive at once, and writers killed half-way: no change is
// lost and the hive is never torn.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#include <windows.h>

#include <registry_transaction.h>

#include <cstdio>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "hive_fixture.h"
#include "hive_text.h"

namespace {

using RegistryProcesses = marrowick::test::HiveTest;
using marrowick::platform::ChangeValuesInTransaction;
using marrowick::platform::Expect;
using marrowick::platform::ExpectInTransaction;
using marrowick::platform::Key;
using marrowick::platform::ParseHive;
using marrowick::platform::ValueChange;
using marrowick::platform::ValueFound;
using marrowick::platform::ValueRun;

constexpr const char* kKeyPath = "Software\\Shared";

// Runs body in a child process; returns the child's pid.
template <typename Body>
pid_t Spawn(Body body) {
    const pid_t child = fork();
    if (child == 0) _exit(body());
    return child;
}

int ExitStatus(pid_t child) {
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// A REG_DWORD's 4 bytes, little-endian.
std::string DwordData(DWORD number) {
    std::string data(4, '\0');
    for (int i = 0; i < 4; ++i) data[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    return data;
}

DWORD DwordOf(const Key& key, const std::string& name) {
    const auto* value = key.FindValue(name);
    if (!value || value->data.size() != 4) return ~DWORD{0};
    return static_cast<unsigned char>(value->data[0]) |
           static_cast<unsigned char>(value->data[1]) << 8 |
           static_cast<unsigned char>(value->data[2]) << 16 |
           static_cast<DWORD>(static_cast<unsigned char>(value->data[3])) << 24;
}

// Software\Shared as the hive file holds it now; null when the file cannot be read or the
// key is not there.
std::unique_ptr<Key> StoredShared(const std::string& text) {
    const std::unique_ptr<Key> root = ParseHive(text);
    const Key* software = root ? root->FindSubKey("Software") : nullptr;
    Key* shared = software ? software->FindSubKey("Shared") : nullptr;
    return shared ? std::make_unique<Key>(std::move(*shared)) : nullptr;
}

TEST_F(RegistryProcesses, ConcurrentWritersLoseNoChange) {
    constexpr int kWriters = 8;
    constexpr int kWrites = 250;
    std::vector<pid_t> children;
    for (int writer = 0; writer < kWriters; ++writer) {
        children.push_back(Spawn([writer] {
            HKEY key;
            if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr,
                                &key, nullptr) != ERROR_SUCCESS) {
                return 1;
            }
            const std::string own = "Writer" + std::to_string(writer);
            // Every tenth write goes to the value all writers share.
            for (DWORD i = 0; i < kWrites; ++i) {
                const bool shared = i % 10 == 9;
                const DWORD data = shared ? writer * 1000 + i : i;
                if (RegSetValueExA(key, shared ? "Shared" : own.c_str(), 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&data),
                                   sizeof data) != ERROR_SUCCESS) {
                    return 2;
                }
            }
            return RegCloseKey(key) == ERROR_SUCCESS ? 0 : 3;
        }));
    }
    for (pid_t child : children) EXPECT_EQ(ExitStatus(child), 0);

    const std::unique_ptr<Key> key = StoredShared(hive.ReadText());
    ASSERT_TRUE(key);
    EXPECT_EQ(key->Values().size(), kWriters + 1u);
    std::set<DWORD> lastShared;
    for (int writer = 0; writer < kWriters; ++writer) {
        EXPECT_EQ(DwordOf(*key, "Writer" + std::to_string(writer)), kWrites - 2u) << writer;
        lastShared.insert(writer * 1000 + kWrites - 1);
    }
    EXPECT_TRUE(lastShared.count(DwordOf(*key, "Shared"))) << DwordOf(*key, "Shared");
}

// The value a writer stores in its n-th step: large enough that a torn write shows.
std::string Payload(unsigned step) {
    std::string text = std::to_string(step) + ":";
    while (text.size() < 3000) text += static_cast<char>('a' + (step + text.size()) % 26);
    return text;
}

TEST_F(RegistryProcesses, WritersKilledAtRandomMomentsLeaveOldOrNewContent) {
    std::random_device device;
    const unsigned seed = device();
    std::mt19937 random(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    std::uniform_int_distribution<int> delayMicroseconds(0, 20000);

    unsigned lastSeen = 0;  // every step up to this one was completely written
    for (int round = 0; round < 100; ++round) {
        const pid_t writer = Spawn([] {
            HKEY key;
            if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, nullptr, 0, KEY_READ | KEY_WRITE,
                                nullptr, &key, nullptr) != ERROR_SUCCESS) {
                return 1;
            }
            // Carries on from the last step its killed predecessor completed.
            DWORD done = 0;
            DWORD size = sizeof done;
            RegQueryValueExA(key, "Number", nullptr, nullptr, reinterpret_cast<BYTE*>(&done),
                             &size);
            for (unsigned step = done + 1;; ++step) {
                const std::string text = Payload(step);
                const DWORD number = step;
                if (RegSetValueExA(key, "Text", 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(text.c_str()),
                                   static_cast<DWORD>(text.size() + 1)) != ERROR_SUCCESS ||
                    RegSetValueExA(key, "Number", 0, REG_DWORD,
                                   reinterpret_cast<const BYTE*>(&number),
                                   sizeof number) != ERROR_SUCCESS) {
                    return 2;
                }
            }
        });
        usleep(delayMicroseconds(random));
        kill(writer, SIGKILL);
        ASSERT_EQ(ExitStatus(writer), 128 + SIGKILL) << "round " << round;

        const std::string text = hive.ReadText();
        if (text.empty()) continue;  // killed before its first write
        const std::unique_ptr<Key> root = ParseHive(text);
        ASSERT_TRUE(root) << "round " << round;
        const Key* key = root->FindSubKey("Software")->FindSubKey("Shared");
        ASSERT_TRUE(key);
        const auto* stored = key->FindValue("Text");
        if (!stored) continue;
        // "Text" of step n is written before "Number" of step n.
        const unsigned textStep = std::stoul(stored->data);
        EXPECT_EQ(stored->data, Payload(textStep) + '\0') << "round " << round;
        const DWORD number = DwordOf(*key, "Number");
        if (number != ~DWORD{0}) {
            EXPECT_TRUE(number == textStep || number + 1 == textStep) << "round " << round;
        }
        EXPECT_GE(textStep, lastSeen) << "round " << round;
        lastSeen = textStep;
    }
}

// A transaction's changes are unseen by another process until the commit, and the commit
// keeps what that process wrote meanwhile.
TEST_F(RegistryProcesses, TransactionIsUnseenByOthersAndKeepsTheirChanges) {
    HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    HKEY key;
    ASSERT_EQ(RegCreateKeyTransactedA(HKEY_LOCAL_MACHINE, kKeyPath, 0, nullptr, 0, KEY_ALL_ACCESS,
                                      nullptr, &key, nullptr, transaction, nullptr),
              ERROR_SUCCESS);
    const DWORD mine = 1;
    ASSERT_EQ(RegSetValueExA(key, "Mine", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&mine), 4),
              ERROR_SUCCESS);
    const pid_t other = Spawn([] {
        HKEY theirs;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_READ, &theirs) !=
            ERROR_FILE_NOT_FOUND) {
            return 1;
        }
        const DWORD value = 2;
        if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, nullptr, 0, KEY_WRITE, nullptr,
                            &theirs, nullptr) != ERROR_SUCCESS ||
            RegSetValueExA(theirs, "Theirs", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value),
                           4) != ERROR_SUCCESS) {
            return 2;
        }
        return 0;
    });
    ASSERT_EQ(ExitStatus(other), 0);
    // A change made without looking at the file again is kept all the same.
    const DWORD later = 3;
    ASSERT_EQ(RegSetValueExA(key, "Later", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&later), 4),
              ERROR_SUCCESS);
    EXPECT_TRUE(CommitTransaction(transaction));
    EXPECT_TRUE(CloseHandle(transaction));
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);

    const std::unique_ptr<Key> shared = StoredShared(hive.ReadText());
    ASSERT_TRUE(shared);
    EXPECT_EQ(DwordOf(*shared, "Mine"), 1u);
    EXPECT_EQ(DwordOf(*shared, "Theirs"), 2u);
    EXPECT_EQ(DwordOf(*shared, "Later"), 3u);
}

// An expectation that holds when it is made but not at the commit, because another process
// changed the value meanwhile, fails the commit and nothing of the transaction is written.
TEST_F(RegistryProcesses, ExpectationBrokenBeforeTheCommitWritesNothing) {
    const struct {
        Expect::Kind expect;
        bool planted;  // whether "Guarded" exists when the expectation is made
    } cases[] = {{Expect::kAbsent, false}, {Expect::kPresent, true}, {Expect::kEqual, true}};
    for (const auto& c : cases) {
        hive.WriteText(c.planted ? "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Shared]\n"
                                   "\"Guarded\"=dword:00000001\n"
                                 : "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Shared]\n");
        HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
        const DWORD one = 1;
        const std::string guarded = "GUARDED", oneData = DwordData(one);
        ASSERT_EQ(ExpectInTransaction(HKEY_LOCAL_MACHINE, kKeyPath, &guarded,
                                      {c.expect, REG_DWORD, oneData}, transaction),
                  ERROR_SUCCESS);
        HKEY key;
        ASSERT_EQ(RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_ALL_ACCESS, &key,
                                        transaction, nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueExA(key, "Mine", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&one), 4),
                  ERROR_SUCCESS);
        const bool planted = c.planted;
        const pid_t other = Spawn([planted] {
            HKEY theirs;
            const DWORD two = 2;
            if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_WRITE, &theirs) !=
                ERROR_SUCCESS) {
                return 1;
            }
            return static_cast<int>(planted
                                        ? RegDeleteValueA(theirs, "Guarded")
                                        : RegSetValueExA(theirs, "guarded", 0, REG_DWORD,
                                                         reinterpret_cast<const BYTE*>(&two), 4));
        });
        ASSERT_EQ(ExitStatus(other), 0);
        const std::string before = hive.ReadText();
        EXPECT_FALSE(CommitTransaction(transaction)) << c.expect;
        EXPECT_EQ(GetLastError(), DWORD(ERROR_TRANSACTION_INTEGRITY_VIOLATED));
        EXPECT_EQ(hive.ReadText(), before) << c.expect;
        CloseHandle(transaction);
        RegCloseKey(key);
    }
}

// A run of value changes in one call: what each change found, which it made, and where
// it stopped; the changes before the failing one stay in the transaction.
TEST_F(RegistryProcesses, RunOfValueChangesReportsWhatItFoundAndStopsAtTheFailure) {
    hive.WriteText(
        "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Shared]\n"
        "\"PDF\"=\"application/pdf\"\n\"Doc\"=\"x\"\n");
    const std::string pdf("application/pdf", 16), text("text/plain", 11);
    const ValueChange run[] = {
        {ValueChange::kSet, "pdf", REG_SZ, pdf, {}},          // already so
        {ValueChange::kSet, "txt", REG_SZ, text, {}},         // new
        {ValueChange::kDelete, "DOC", 0, {}, {}},             // found as "Doc"
        {ValueChange::kDelete, "none", 0, {}, {}},            // nothing to delete
        {ValueChange::kSet, "two\nlines", REG_SZ, text, {}},  // refused: the call stops here
        {ValueChange::kSet, "later", REG_SZ, text, {}},
    };
    const std::vector<std::string> expected = {"PDF application/pdf keeps", "- alters",
                                               "Doc x alters", "- keeps"};
    HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    HKEY key;
    ASSERT_EQ(RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_READ | KEY_WRITE, &key,
                                    transaction, nullptr),
              ERROR_SUCCESS);
    const ValueRun made = ChangeValuesInTransaction(key, run);
    EXPECT_EQ(made.status, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(made.done, 4u);
    std::vector<std::string> found;
    for (const ValueFound& finding : made.found) {
        const auto& before = finding.before;
        found.push_back(
            (before ? before->name + " " + before->data.substr(0, before->data.size() - 1) : "-") +
            (finding.alters ? " alters" : " keeps"));
    }
    EXPECT_EQ(found, expected);
    EXPECT_TRUE(CommitTransaction(transaction));
    CloseHandle(transaction);
    RegCloseKey(key);
    EXPECT_EQ(hive.ReadText(),
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n\n"
              "[HKEY_LOCAL_MACHINE\\Software\\Shared]\n"
              "\"PDF\"=\"application/pdf\"\n\"txt\"=\"text/plain\"\n");
}

// A run of value changes sees what another process committed before it, and its commit
// keeps what another process committed after it, unless that broke one of its expectations.
TEST_F(RegistryProcesses, RunOfValueChangesMeetsOtherWritersAsSingleChangesWould) {
    const struct {
        bool before;        // whether the other process writes before the run (else after)
        const char* their;  // the value it sets to 2
        LONG run;           // what the run returns
        bool committed;
    } cases[] = {
        {true, "guarded", ERROR_TRANSACTION_INTEGRITY_VIOLATED, false},
        {false, "GUARDED", ERROR_SUCCESS, false},
        {false, "Theirs", ERROR_SUCCESS, true},
    };
    for (const auto& c : cases) {
        hive.WriteText(
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Shared]\n"
            "\"Guarded\"=dword:00000001\n\"Old\"=dword:00000001\n");
        const char* their = c.their;
        auto write = [their] {
            return Spawn([their] {
                HKEY theirs;
                const DWORD two = 2;
                if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_WRITE, &theirs) !=
                    ERROR_SUCCESS) {
                    return 1;
                }
                return static_cast<int>(RegSetValueExA(theirs, their, 0, REG_DWORD,
                                                       reinterpret_cast<const BYTE*>(&two), 4));
            });
        };
        HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
        HKEY key;
        ASSERT_EQ(RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, kKeyPath, 0, KEY_READ | KEY_WRITE, &key,
                                        transaction, nullptr),
                  ERROR_SUCCESS);
        if (c.before) {
            ASSERT_EQ(ExitStatus(write()), 0);
        }
        const std::string one = DwordData(1);
        const ValueChange run[] = {
            {ValueChange::kSet, "Mine", REG_DWORD, one, {}},
            {ValueChange::kDelete, "Old", 0, {}, {}},
            {ValueChange::kSet, "Guarded", REG_DWORD, one, {Expect::kEqual, REG_DWORD, one}},
        };
        EXPECT_EQ(ChangeValuesInTransaction(key, run).status, c.run) << c.their;
        if (!c.before) {
            ASSERT_EQ(ExitStatus(write()), 0);
        }
        const std::string before = hive.ReadText();
        EXPECT_EQ(c.run == ERROR_SUCCESS && CommitTransaction(transaction) != FALSE, c.committed)
            << c.their;
        CloseHandle(transaction);
        RegCloseKey(key);
        if (!c.committed) {
            EXPECT_EQ(hive.ReadText(), before) << c.their;
            continue;
        }
        const std::unique_ptr<Key> shared = StoredShared(hive.ReadText());
        ASSERT_TRUE(shared);
        EXPECT_EQ(DwordOf(*shared, "Mine"), 1u);
        EXPECT_EQ(DwordOf(*shared, "Theirs"), 2u);
        EXPECT_FALSE(shared->FindValue("Old"));
    }
}

}  // namespace
