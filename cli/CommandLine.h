// The command line for administrators: the viewer's settings and MIME map, shown, changed,
// exported and imported with the same rules as the dialogs, without a display.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace marrowick::cli {

// Exit codes, as --help documents them.
enum ExitCode : int {
    kExitSuccess = 0,        // done, whether or not anything had to change
    kExitRegistryError = 1,  // the registry refused (its Win32 code is in the message)
    kExitUsage = 2,          // unknown command or option, or invalid input; nothing written
    kExitFileError = 3,      // a file could not be read or written
};

// Runs one command (the arguments after the program name). Results go to `out`, messages
// to `err`; returns the exit code.
int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err);
// The same with standard input `in` (for import -) and whether `out` is a terminal.
int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err,
                   std::istream& in, bool outputIsTerminal);

// main() for the program when it is given arguments.
int RunCommandLine(int argc, char* argv[]);

}  // namespace marrowick::cli
