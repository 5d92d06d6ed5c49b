// The command line as whole processes, as a script meets it: `marrowick show` against
// Wine's `reg query` of the same key in the same run, and against reading the hive file at
// 100,000, 1,000,000 and 1,500,000 mappings (about 60 MiB, near the largest hive the store
// reads); `mime list` of 100,000 mappings against `sort -f` of the hive file; `set` of one
// value at 100,000 and 1,000,000 mappings against a durable rewrite of the same bytes, with
// its peak memory against the hive's size; `import` of 5,000 MIME mappings against the
// durable write of its result; and imports that delete many keys and values. Prints
// medians and their ratios, each pair measured alternately in one run; judges nothing.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr const char* kDurableRewriteArgument = "--durable-rewrite";
constexpr const char* kReadArgument = "--read";

// Runs the command with its output thrown away; the seconds it took, or -1. Its peak
// resident memory in bytes goes to *peakBytes.
double TimeProcess(const std::vector<std::string>& command, double* peakBytes = nullptr) {
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
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    if (peakBytes) *peakBytes = static_cast<double>(usage.ru_maxrss) * 1024;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? seconds : -1;
}

// The median run, or NaN (printed as "nan") when there is none or any run failed: a command
// that fails at once must not pass for a fast one, nor make a ratio look good.
double Median(std::vector<double> values) {
    if (values.empty() ||
        std::any_of(values.begin(), values.end(), [](double v) { return v < 0; })) {
        return std::nan("");
    }
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

std::string WineProgram() {
    for (const char* candidate : {"/usr/lib/wine/wine64", "/usr/bin/wine64", "/usr/bin/wine"}) {
        if (access(candidate, X_OK) == 0) return candidate;
    }
    return {};
}

// What any program must do at least to replace the hive durably: read it, write the same
// bytes under a new name, fsync, rename over it, fsync the directory.
int RewriteDurably(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string temporary = path + ".floor";
    const std::string directoryName = fs::path(path).parent_path().string();
    const int file = open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    const int directory = open(directoryName.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool done = in && file >= 0 && directory >= 0 &&
                      write(file, text.data(), text.size()) == static_cast<ssize_t>(text.size()) &&
                      fsync(file) == 0 && close(file) == 0 &&
                      rename(temporary.c_str(), path.c_str()) == 0 && fsync(directory) == 0 &&
                      close(directory) == 0;
    return done ? 0 : 1;
}

// What any program must do at least to show a setting: read the hive.
int ReadWhole(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    return in.bad() || text.empty() ? 1 : 0;
}

// The eight settings and `count` MIME mappings, in the file format the store reads.
void WriteHive(const std::string& path, int count) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander]\n"
           "\"TopDay\"=dword:00000002\n"
           "\"SortKey\"=\"9340d382_ed79_11d2_8c3b_00e0292f001f\"\n"
           "\"SortDir\"=dword:00000001\n\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\ObjectNum]\n"
           "\"EntrySection\"=dword:0000000a\n\"DocList\"=dword:00000014\n"
           "\"DocThum\"=dword:0000000a\n\"SecList\"=dword:00000014\n"
           "\"SecThum\"=dword:0000000a\n\n"
           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\MimeMap]\n";
    // Scattered, and every other one in capitals, so that listing has to sort and fold.
    for (long i = 0; i < count; ++i) {
        const long index = (i * 7919) % count;
        out << '"' << (index % 2 ? "EXT" : "ext") << index << "\"=\"application/x-type-" << index
            << "\"\n";
    }
}

double FileBytes(const std::string& path) {
    std::error_code error;
    const auto size = fs::file_size(path, error);
    return error ? -1 : static_cast<double>(size);
}

// Medians of two commands run alternately, so that drift on a shared machine hits both alike.
std::pair<double, double> AlternatingMedians(const std::vector<std::string>& first,
                                             const std::vector<std::string>& second) {
    std::vector<double> firstTimes, secondTimes;
    for (int run = 0; run < 11; ++run) {
        firstTimes.push_back(TimeProcess(first));
        secondTimes.push_back(TimeProcess(second));
    }
    return {Median(firstTimes), Median(secondTimes)};
}

// `mime list` against `sort -f` of the hive file's lines.
void CompareMimeList(const std::string& program, const std::string& hive, int count) {
    WriteHive(hive, count);
    const auto [listMedian, sortMedian] =
        AlternatingMedians({program, "mime", "list"}, {"sort", "-f", hive});
    std::printf("mime list, %7d mappings:         median %7.2f ms (11 runs)\n", count,
                listMedian * 1e3);
    std::printf("sort -f of the hive file:           median %7.2f ms; mime list %5.2f times\n",
                sortMedian * 1e3, listMedian / sortMedian);
}

// `show` against reading the hive file.
void CompareShow(const std::string& program, const std::string& self, const std::string& hive,
                 int count) {
    WriteHive(hive, count);
    const auto [showMedian, readMedian] =
        AlternatingMedians({program, "show"}, {self, kReadArgument, hive});
    std::printf("show, %7d mappings:              median %7.2f ms (11 runs)\n", count,
                showMedian * 1e3);
    std::printf("reading the hive file:              median %7.2f ms; show %5.2f times\n",
                readMedian * 1e3, showMedian / readMedian);
}

// `set` of one value against a durable rewrite of the same bytes, alternating; and the
// peak memory of `set` against the hive's size.
void CompareSet(const std::string& program, const std::string& self, const std::string& hive,
                int count, int runs) {
    WriteHive(hive, count);
    // Once, so that the file is in the store's own form and both write the same bytes.
    TimeProcess({program, "set", "DocList=30"});
    std::vector<double> set, floor, peak;
    for (int run = 0; run < runs; ++run) {
        double peakBytes = 0;
        set.push_back(
            TimeProcess({program, "set", run % 2 ? "DocList=30" : "DocList=40"}, &peakBytes));
        peak.push_back(peakBytes);
        floor.push_back(TimeProcess({self, kDurableRewriteArgument, hive}));
    }
    const double setMedian = Median(set), floorMedian = Median(floor);
    const double hiveBytes = FileBytes(hive), peakMedian = Median(peak);
    std::printf("set of one value, %7d mappings:  median %7.2f ms (%d runs)\n", count,
                setMedian * 1e3, runs);
    std::printf("durable rewrite of the same bytes:  median %7.2f ms; set %5.2f times\n",
                floorMedian * 1e3, setMedian / floorMedian);
    std::printf("peak memory of set:                 %7.1f MiB; %5.2f times the hive (%.1f MiB)\n",
                peakMedian / 1048576, peakMedian / hiveBytes, hiveBytes / 1048576);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string(argv[1]) == kDurableRewriteArgument) {
        return RewriteDurably(argv[2]);
    }
    if (argc == 3 && std::string(argv[1]) == kReadArgument) return ReadWhole(argv[2]);
    const std::string self = fs::canonical("/proc/self/exe").string();
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
        // Wine's processes end after the server is told to: the runs below must not share
        // the machine with them.
        const std::string server = fs::path(wine).parent_path() / "wineserver";
        TimeProcess({server, "-k"});
        TimeProcess({server, "-w"});
        // Nor with the writeback of the hundreds of megabytes its prefix left dirty, which
        // would compete with the fsyncs timed below.
        sync();
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
    std::vector<double> import, floor;
    // The first pair is not counted: it finds the caches as the sections before left them.
    for (int run = -1; run < 21; ++run) {
        fs::copy_file(base, hive, fs::copy_options::overwrite_existing);
        const double importSeconds = TimeProcess({program, "import", file});
        const double floorSeconds = TimeProcess({self, kDurableRewriteArgument, hive});
        if (run < 0) continue;
        import.push_back(importSeconds);
        floor.push_back(floorSeconds);
    }
    const double importMedian = Median(import);
    std::printf("marrowick import of 5,000 mappings: median %7.2f ms (21 runs)\n",
                importMedian * 1e3);
    std::printf("durable write of its result:        median %7.2f ms; import %5.2f times\n",
                Median(floor) * 1e3, importMedian / Median(floor));

    // Deletions cost no more than the file's length: 60,000 keys, then a [-key] line for
    // each (about 8 MB), checked with --dry-run; and 20,000 "name"=- lines, imported for real
    // onto 5,000 stored values of those names.
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

    CompareMimeList(program, hive, 100000);
    CompareShow(program, self, hive, 100000);
    CompareShow(program, self, hive, 1000000);
    CompareShow(program, self, hive, 1500000);
    CompareSet(program, self, hive, 100000, 7);
    CompareSet(program, self, hive, 1000000, 3);
    fs::remove_all(scratch);
    return 0;
}
