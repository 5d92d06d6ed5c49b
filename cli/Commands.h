// The command table and what every command shares: the options given, where output goes,
// and how a change set's outcome becomes output and an exit code. One file per group of
// commands (SettingsCommands.cpp, MimeCommands.cpp, RegFileCommands.cpp,
// JournalCommands.cpp with WatchCommand.cpp) fills its rows.
#pragma once

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "ChangeSet.h"
#include "CommandLine.h"
#include "StoreReason.h"

namespace marrowick::cli {

struct Options {
    bool json = false;
    bool dryRun = false;
    bool regedit4 = false;
    bool since = false;       // --since ZEIT (log)
    std::string sinceTime{};  // its ZEIT
};

// What a failure is about beyond its message, for --json: the Win32 code, the file and
// line, and for an import every refused statement.
struct Failure {
    std::optional<LONG> win32Code;
    std::string file;
    std::size_t line = 0;
    std::vector<std::pair<std::size_t, std::string>> problems;  // line, message
};

struct Invocation {
    const Options& options;
    const std::vector<std::string>& operands;  // after the command's name
    std::ostream& out;
    std::ostream& err;
    std::istream& in;       // import -
    bool outputIsTerminal;  // export refuses to write UTF-16 there
    Failure& failure;       // filled where a failure has more than its message
};

class JsonWriter;

// One command: its name (one or two words), how many operands it takes, the options that
// mean something to it, its usage and summary for --help, and what runs it.
struct Command {
    const char* name;
    std::size_t minOperands;
    std::size_t maxOperands;
    Options accepts;  // true: the option may be given
    const char* usage;
    const char* summary;  // German; lines after the first start with a newline
    int (*run)(const Invocation& invocation);
};

// The rows of each group.
const std::vector<Command>& SettingsCommands();
const std::vector<Command>& MimeCommands();
const std::vector<Command>& RegFileCommands();
const std::vector<Command>& JournalCommands();  // log and watch
// watch's run (WatchCommand.cpp).
int Watch(const Invocation& call);
// Now, and a time as the JSON output gives it: 2026-12-09T02:51:03.123456Z.
std::uint64_t NowUsec();
std::string UtcText(std::uint64_t usec);
// log --since: the time ZEIT names, in µs since the epoch, `nowUsec` being now; nothing
// when it names none.
std::optional<std::uint64_t> SinceUsec(const std::string& text, std::uint64_t nowUsec);

// Fails with the registry's code, said on err with the hive's path, when the registry
// cannot be read at all.
bool Readable(const Invocation& call, int& exitCode);
// Says so, naming the hive and where it stopped parsing, and returns the exit code.
int ReportUnreadable(const Invocation& call, LONG status);
// Where the registry lives, as the registry functions find it.
std::string HivePath();
// Every JSON object the command line prints begins so: with the version of its fields,
// raised only when a field changes its meaning or goes away.
void BeginOutput(JsonWriter& json);
// "Win32-Fehler 5 (Zugriff verweigert)", as the dialogs say it too.
inline std::string Win32Text(LONG code) {
    return RegistryErrorText(code);
}
// Applies the change set (dry run when asked) and reports it: the changes on out, or the
// refusal on err, led by `subject` when given; a failed expectation is told as
// `unexpected` when given. Returns the exit code.
int StoreAndReport(std::vector<Change> changes, const Invocation& invocation,
                   const std::string& subject = {}, const char* unexpected = nullptr);
// The words the shell may complete the last of `arguments` to, one a line on out:
// commands, options, setting names and their words, stored extensions.
void Complete(const std::vector<std::string>& arguments,
              const std::vector<const Command*>& commands, std::ostream& out);
// The report of what was (or, dryRun, would be) changed, as text or JSON.
void ReportChanges(const std::vector<Change>& changes, bool json, bool dryRun, std::ostream& out);

}  // namespace marrowick::cli
