// The command table and what every command shares: the options given, where output goes,
// and how a change set's outcome becomes output and an exit code. One file per group of
// commands (SettingsCommands.cpp, MimeCommands.cpp, RegFileCommands.cpp) fills its rows.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

#include "ChangeSet.h"
#include "CommandLine.h"

namespace marrowick::cli {

struct Options {
    bool json = false;
    bool dryRun = false;
    bool regedit4 = false;
};

struct Invocation {
    const Options& options;
    const std::vector<std::string>& operands;  // after the command's name
    std::ostream& out;
    std::ostream& err;
};

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

// Fails with the registry's code, said on err, when the registry cannot be read at all.
bool Readable(std::ostream& err, int& exitCode);
// "Win32-Fehler 5 (Zugriff verweigert)".
std::string Win32Text(LONG code);
// Applies the change set (dry run when asked) and reports it: the changes on out, or the
// refusal on err, led by `subject` when given; a failed expectation is told as
// `unexpected` when given. Returns the exit code.
int StoreAndReport(const std::vector<Change>& changes, const Invocation& invocation,
                   const std::string& subject = {}, const char* unexpected = nullptr);
// The report of what was (or, dryRun, would be) changed, as text or JSON.
void ReportChanges(const std::vector<Change>& changes, bool json, bool dryRun, std::ostream& out);

}  // namespace marrowick::cli
