// The command line as whole processes, as a script meets it: `marrowick show` against
// Wine's `reg query` of the same key in the same run, `marrowick import` of a file with
// 5,000 MIME mappings, and imports that delete many keys and values. Prints medians;
// judges nothing.
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// Runs the command with its output thrown away; the seconds it took, or -1.
double TimeProcess(const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) return -1;
    int status = 0;
    waitpid(pid, &status, 0);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

std::string WineProgram() {
    for (const char* candidate : {"/usr/lib/wine/wine64", "/usr/bin/wine64", "/usr/bin/wine"}) {
        if (access(candidate, X_OK) == 0) return candidate;
    }
    return {};
}

}  // namespace

int main() {
    const fs::path scratch =
        fs::temp_directory_path() / ("marrowick-cli-bench-" + std::to_string(getpid()));
    fs::create_directories(scratch);
    const std::string hive = (scratch / "HKLM.reg").string();
    setenv("MARROWICK_HKLM", hive.c_str(), 1);
    const std::string program = MARROWICK_PROGRAM;
    if (TimeProcess({program, "reset"}) < 0) {
        std::printf("marrowick reset failed\n");
        return 1;
    }

    // `show` against Wine's `reg query` of the same key, alternating, so that drift on a
    // shared machine hits both alike.
    const std::string wine = WineProgram();
    const char* key = "HKLM\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander";
    bool wineReady = false;
    if (!wine.empty()) {
        setenv("WINEPREFIX", (scratch / "wineprefix").c_str(), 1);
        setenv("WINEDEBUG", "-all", 1);
        // A persistent server, as on a desktop where Wine is already running.
        const std::string server = fs::path(wine).parent_path() / "wineserver";
        TimeProcess({server, "-p"});
        wineReady = TimeProcess({wine, "wineboot", "-i"}) >= 0 &&
                    TimeProcess({wine, "reg", "add", key, "/v", "TopDay", "/t", "REG_DWORD", "/d",
                                 "1", "/f"}) >= 0;
    }
    std::vector<double> show, query;
    for (int run = 0; run < 21; ++run) {
        show.push_back(TimeProcess({program, "show"}));
        if (wineReady && run % 2 == 0) query.push_back(TimeProcess({wine, "reg", "query", key}));
    }
    const double showMedian = Median(show);
    std::printf("marrowick show:                     median %7.2f ms (21 runs)\n",
                showMedian * 1e3);
    if (wineReady) {
        const double queryMedian = Median(query);
        std::printf("wine reg query of the same key:     median %7.2f ms (11 runs)\n",
                    queryMedian * 1e3);
        std::printf("reg query / show:                   %7.1f times\n", queryMedian / showMedian);
        TimeProcess({fs::path(wine).parent_path() / "wineserver", "-k"});
    } else {
        std::printf("wine reg query: not measured (no Wine, or its prefix would not start)\n");
    }

    // Import of 5,000 mappings, each run into a registry holding the settings only.
    const std::string file = (scratch / "mime.reg").string();
    {
        std::ofstream out(file, std::ios::binary);
        out << "REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander"
               "\\MimeMap]\r\n";
        for (int i = 0; i < 5000; ++i) {
            out << "\"ext" << i << "\"=\"application/x-type-" << i << "\"\r\n";
        }
    }
    const std::string base = (scratch / "base.reg").string();
    fs::copy_file(hive, base);
    std::vector<double> import;
    for (int run = 0; run < 11; ++run) {
        fs::copy_file(base, hive, fs::copy_options::overwrite_existing);
        import.push_back(TimeProcess({program, "import", file}));
    }
    std::printf("marrowick import of 5,000 mappings: median %7.2f ms (11 runs)\n",
                Median(import) * 1e3);

    // Deletions cost no more than the file's length: 60,000 keys, then a [-key] line for
    // each (about 8 MB), checked with --dry-run; and 20,000 "name"=- lines, imported for real
    // onto 5,000 stored values of those names (one import may make 10,000 changes).
    const std::string viewerKey = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander";
    const std::string keyDeletions = (scratch / "key-deletions.reg").string();
    {
        std::ofstream out(keyDeletions, std::ios::binary);
        out << "REGEDIT4\r\n\r\n";
        for (const char* sign : {"", "-"}) {
            for (int i = 0; i < 60000; ++i) {
                out << '[' << sign << viewerKey << "\\Extra\\Key" << i << "]\r\n";
            }
        }
    }
    fs::copy_file(base, hive, fs::copy_options::overwrite_existing);
    std::vector<double> dryRun;
    for (int run = 0; run < 3; ++run) {
        dryRun.push_back(TimeProcess({program, "import", "--dry-run", keyDeletions}));
    }
    std::printf(
        "import --dry-run, 60,000 keys and their [-key] lines (%.1f MB): median %7.2f ms "
        "(3 runs)\n",
        static_cast<double>(fs::file_size(keyDeletions)) / 1e6, Median(dryRun) * 1e3);

    const std::string values = (scratch / "values.reg").string();
    const std::string valueDeletions = (scratch / "value-deletions.reg").string();
    {
        std::ofstream set(values, std::ios::binary);
        std::ofstream remove(valueDeletions, std::ios::binary);
        for (std::ofstream* out : {&set, &remove}) {
            *out << "REGEDIT4\r\n\r\n[" << viewerKey << "\\MimeMap]\r\n";
        }
        for (int i = 0; i < 20000; ++i) {
            if (i % 4 == 0) set << "\"x" << i << "\"=\"application/x-" << i << "\"\r\n";
            remove << "\"x" << i << "\"=-\r\n";
        }
    }
    fs::copy_file(base, hive, fs::copy_options::overwrite_existing);
    const std::string withValues = (scratch / "with-values.reg").string();
    if (TimeProcess({program, "import", values}) < 0 || !fs::copy_file(hive, withValues)) {
        std::printf("import of 5,000 values failed\n");
        fs::remove_all(scratch);
        return 1;
    }
    std::vector<double> deletions;
    for (int run = 0; run < 3; ++run) {
        fs::copy_file(withValues, hive, fs::copy_options::overwrite_existing);
        deletions.push_back(TimeProcess({program, "import", valueDeletions}));
    }
    std::printf("import of 20,000 \"x\"=- lines, 5,000 stored:  median %7.2f ms (3 runs)\n",
                Median(deletions) * 1e3);
    fs::remove_all(scratch);
    return 0;
}
