// The MIME commands run as separate programs at the same moment: the duplicate rule and
// "never bring back a deleted mapping" must hold at the moment of writing, not at a look
// taken before it.
#include "stdafx.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandLine.h"
#include "RegManager.h"
#include "hive_fixture.h"

extern char** environ;

namespace marrowick::test {
namespace {

const char kMimeMap[] = "SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\MimeMap";

// Starts every command at once and gives each one's exit status.
std::vector<int> RunTogether(const std::vector<std::vector<std::string>>& commands) {
    posix_spawn_file_actions_t quiet;
    posix_spawn_file_actions_init(&quiet);
    posix_spawn_file_actions_addopen(&quiet, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&quiet, 2, "/dev/null", O_WRONLY, 0);
    std::vector<pid_t> children;
    for (const std::vector<std::string>& command : commands) {
        std::vector<char*> argv{const_cast<char*>(MARROWICK_PROGRAM)};
        for (const std::string& argument : command)
            argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        pid_t child = -1;
        EXPECT_EQ(posix_spawn(&child, MARROWICK_PROGRAM, &quiet, nullptr, argv.data(), environ), 0);
        children.push_back(child);
    }
    posix_spawn_file_actions_destroy(&quiet);
    std::vector<int> statuses;
    for (pid_t child : children) {
        int status = -1;
        waitpid(child, &status, 0);
        statuses.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    }
    return statuses;
}

std::string StoredType(const char* extension) {
    DWORD type = 0;
    std::string data;
    if (!CRegManager::GetRegValue(HKEY_LOCAL_MACHINE, kMimeMap, extension, type, data)) return "-";
    return data.substr(0, data.find('\0'));
}

class ConcurrentMimeTest : public HiveTest {};

TEST_F(ConcurrentMimeTest, OfConcurrentAddsExactlyOneIsStoredAndDeletedMappingsStayDeleted) {
    std::vector<std::vector<std::string>> adds;
    for (int i = 0; i < 16; ++i) {
        adds.push_back(
            {"mime", "add", i % 3 ? "pdf" : "PDF", "application/x-" + std::to_string(i)});
    }
    const std::vector<int> statuses = RunTogether(adds);
    int winner = -1;
    for (int i = 0; i < 16; ++i) {
        if (statuses[i] == cli::kExitSuccess) {
            EXPECT_EQ(winner, -1) << "a second add succeeded: " << i;
            winner = i;
        } else {
            EXPECT_EQ(statuses[i], cli::kExitUsage) << i;  // refused as a duplicate
        }
    }
    ASSERT_NE(winner, -1);
    EXPECT_EQ(StoredType("pdf"), adds[winner][3]);  // not overwritten by a later add

    for (int round = 0; round < 20; ++round) {
        hive.WriteText("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\" + std::string(kMimeMap) +
                       "]\n\"doc\"=\"application/msword\"\n");
        const std::vector<int> raced = RunTogether(
            {{"mime", "change", "doc", "application/x-changed"}, {"mime", "delete", "doc"}});
        EXPECT_EQ(raced[1], cli::kExitSuccess) << round;
        EXPECT_EQ(StoredType("doc"), "-") << "round " << round << ": the deleted mapping came back";
    }
}

}  // namespace
}  // namespace marrowick::test
