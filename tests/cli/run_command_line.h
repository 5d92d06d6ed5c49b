// The command line run in this process, its two streams caught.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "CommandLine.h"

namespace marrowick::test {

struct Result {
    int status;
    std::string out;
    std::string err;
};

inline Result Marrowick(std::vector<std::string> arguments) {
    std::ostringstream out, err;
    const int status = cli::RunCommandLine(arguments, out, err);
    return {status, out.str(), err.str()};
}

// With this standard input, and standard output taken for a terminal when asked.
inline Result Marrowick(std::vector<std::string> arguments, const std::string& input,
                        bool outputIsTerminal = false) {
    std::istringstream in(input);
    std::ostringstream out, err;
    const int status = cli::RunCommandLine(arguments, out, err, in, outputIsTerminal);
    return {status, out.str(), err.str()};
}

}  // namespace marrowick::test
