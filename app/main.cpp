// The program's entry point. With arguments it is the command line, which needs no
// display and never starts the toolkit; without, it loads the dialogs and runs them.
// Loading them only then keeps the toolkit's start-up cost out of every command.
#include <dlfcn.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "CommandLine.h"
#include "DialogsModule.h"

namespace {

// The directory of this executable, with a trailing slash.
std::string ExecutableDirectory() {
    char path[4096];
    const ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return "./";
    const std::string whole(path, static_cast<std::size_t>(length));
    return whole.substr(0, whole.rfind('/') + 1);
}

int RunDialogs(int argc, char* argv[]) {
    const std::string directory = ExecutableDirectory();
    // Installed: below the library directory; built: beside the executable.
    const std::string candidates[] = {directory + MARROWICK_DIALOGS_FROM_BINDIR,
                                      directory + MARROWICK_DIALOGS_NAME};
    std::string errors;
    for (const std::string& candidate : candidates) {
        if (::access(candidate.c_str(), F_OK) != 0) continue;
        void* module = ::dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!module) {
            errors = ::dlerror();
            break;
        }
        const auto entry = reinterpret_cast<DialogsEntry>(::dlsym(module, kDialogsEntryName));
        if (!entry) {
            errors = ::dlerror();
            break;
        }
        return entry(argc, argv);
    }
    std::fprintf(
        stderr, "marrowick: Die Dialoge konnten nicht geladen werden (%s).\n",
        errors.empty() ? (directory + MARROWICK_DIALOGS_FROM_BINDIR).c_str() : errors.c_str());
    return EXIT_FAILURE;
}

}  // namespace

int main(int argc, char* argv[]) {
    if (argc > 1) return marrowick::cli::RunCommandLine(argc, argv);
    return RunDialogs(argc, argv);
}
