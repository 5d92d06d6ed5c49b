// The command line as whole processes, as a script meets it: `marrowick show` against
// Wine's `reg query` of the same key in the same run; `show` and `mime list` at 5,000,
// 100,000 and 1,000,000 mappings (and `show` at 1,500,000, about 60 MiB, near the largest
// hive the store reads) against reading the hive file, and `mime list` also against
// `sort -f` of it; `set` of one value at the same sizes against a durable rewrite of the
// same bytes, with its peak memory against the hive's size; `import` of 5,000 MIME
// mappings against the durable write of its result; and imports that delete many keys and
// values. The floors are hive_floor, a process of its own that does only the reading (one
// read into a buffer of the file's size) or the durable rewrite. Prints medians and their
// ratios, each set of commands measured alternately in one run; judges nothing.
//
//   cli_bench [PROGRAM]   PROGRAM: another build's marrowick to measure (default: this
//                         build's), so that two builds meet the same floors
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
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

// The floors: what any program must do at least to answer from the hive, or to replace it.
const std::string kFloor = MARROWICK_HIVE_FLOOR;

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

// Medians of commands run in turn, `runs` rounds, so that drift on a shared machine hits
// them alike.
std::vector<double> AlternatingMedians(const std::vector<std::vector<std::string>>& commands,
                                       int runs) {
    std::vector<std::vector<double>> times(commands.size());
    for (int run = 0; run < runs; ++run) {
        for (std::size_t i = 0; i < commands.size(); ++i) {
            times[i].push_back(TimeProcess(commands[i]));
        }
    }
    std::vector<double> medians;
    for (const std::vector<double>& runTimes : times) medians.push_back(Median(runTimes));
    return medians;
}

// One line of the closing table: a command's median against its floor's, from one run.
struct AgainstFloor {
    std::string operation;
    int mappings;
    double median;
    double floorMedian;
};

// `show` against reading the hive file.
void CompareShow(const std::string& program, const std::string& hive, int count, int runs,
                 std::vector<AgainstFloor>& table) {
    WriteHive(hive, count);
    const std::vector<double> medians =
        AlternatingMedians({{program, "show"}, {kFloor, "read", hive}}, runs);
    std::printf("show, %7d mappings:              median %7.2f ms (%d runs)\n", count,
                medians[0] * 1e3, runs);
    std::printf("reading the hive file:              median %7.2f ms; show %5.2f times\n",
                medians[1] * 1e3, medians[0] / medians[1]);
    table.push_back({"show", count, medians[0], medians[1]});
}

// `mime list` against reading the hive file, the least any listing must do, and against
// `sort -f` of its lines, a listing that sorts as the program does but decodes nothing.
void CompareMimeList(const std::string& program, const std::string& hive, int count, int runs,
                     std::vector<AgainstFloor>& table) {
    WriteHive(hive, count);
    const std::vector<double> medians = AlternatingMedians(
        {{program, "mime", "list"}, {kFloor, "read", hive}, {"sort", "-f", hive}}, runs);
    std::printf("mime list, %7d mappings:         median %7.2f ms (%d runs)\n", count,
                medians[0] * 1e3, runs);
    std::printf("reading the hive file:              median %7.2f ms; mime list %5.2f times\n",
                medians[1] * 1e3, medians[0] / medians[1]);
    std::printf("sort -f of the hive file:           median %7.2f ms; mime list %5.2f times\n",
                medians[2] * 1e3, medians[0] / medians[2]);
    table.push_back({"mime list", count, medians[0], medians[1]});
}

// `set` of one value against a durable rewrite of the same bytes, alternating; and the
// peak memory of `set` against the hive's size.
void CompareSet(const std::string& program, const std::string& hive, int count, int runs,
                std::vector<AgainstFloor>& table) {
    WriteHive(hive, count);
    // Once, so that the file is in the store's own form and both write the same bytes.
    TimeProcess({program, "set", "DocList=30"});
    std::vector<double> set, floor, peak;
    for (int run = 0; run < runs; ++run) {
        double peakBytes = 0;
        // A value other than the stored one, so that every run writes.
        set.push_back(
            TimeProcess({program, "set", run % 2 ? "DocList=30" : "DocList=40"}, &peakBytes));
        peak.push_back(peakBytes);
        floor.push_back(TimeProcess({kFloor, "rewrite", hive}));
    }
    const double setMedian = Median(set), floorMedian = Median(floor);
    const double hiveBytes = FileBytes(hive), peakMedian = Median(peak);
    std::printf("set of one value, %7d mappings:  median %7.2f ms (%d runs)\n", count,
                setMedian * 1e3, runs);
    std::printf("durable rewrite of the same bytes:  median %7.2f ms; set %5.2f times\n",
                floorMedian * 1e3, setMedian / floorMedian);
    std::printf("peak memory of set:                 %7.1f MiB; %5.2f times the hive (%.1f MiB)\n",
                peakMedian / 1048576, peakMedian / hiveBytes, hiveBytes / 1048576);
    table.push_back({"set", count, setMedian, floorMedian});
}

void PrintTable(const std::vector<AgainstFloor>& table) {
    std::printf("\nagainst the floors (read: show, mime list; durable write: set, import)\n");
    std::printf("%-10s %10s %12s %12s %8s\n", "command", "mappings", "median ms", "floor ms",
                "ratio");
    for (const AgainstFloor& row : table) {
        std::printf("%-10s %10d %12.2f %12.2f %8.2f\n", row.operation.c_str(), row.mappings,
                    row.median * 1e3, row.floorMedian * 1e3, row.median / row.floorMedian);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc > 2) {
        std::printf("Usage: cli_bench [PROGRAM]\n");
        return 2;
    }
    const fs::path scratch =
        fs::temp_directory_path() / ("marrowick-cli-bench-" + std::to_string(getpid()));
    fs::create_directories(scratch);
    const std::string hive = (scratch / "HKLM.reg").string();
    setenv("MARROWICK_HKLM", hive.c_str(), 1);
    const std::string program = argc == 2 ? fs::absolute(argv[1]).string() : MARROWICK_PROGRAM;
    std::printf("measuring %s\n", program.c_str());
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
        const double floorSeconds = TimeProcess({kFloor, "rewrite", hive});
        if (run < 0) continue;
        import.push_back(importSeconds);
        floor.push_back(floorSeconds);
    }
    const double importMedian = Median(import), importFloorMedian = Median(floor);
    std::printf("marrowick import of 5,000 mappings: median %7.2f ms (21 runs)\n",
                importMedian * 1e3);
    std::printf("durable write of its result:        median %7.2f ms; import %5.2f times\n",
                importFloorMedian * 1e3, importMedian / importFloorMedian);
    std::vector<AgainstFloor> table;

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

    for (const int count : {5000, 100000, 1000000}) {
        const int runs = count < 1000000 ? 11 : 5;
        CompareShow(program, hive, count, runs, table);
        CompareMimeList(program, hive, count, runs, table);
    }
    CompareShow(program, hive, 1500000, 5, table);
    CompareSet(program, hive, 5000, 11, table);
    CompareSet(program, hive, 100000, 7, table);
    CompareSet(program, hive, 1000000, 5, table);
    table.push_back({"import", 5000, importMedian, importFloorMedian});
    PrintTable(table);
    fs::remove_all(scratch);
    return 0;
}
