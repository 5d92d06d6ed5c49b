// marrowick-settings: started by the system bus (directly or through systemd) when a caller
// asks for org.marrowick.Settings1. Runs as root.
//   marrowick-settings [--idle-exit=SECONDS]   (default 30)
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "SettingsService.h"

int main(int argc, char* argv[]) {
    long seconds = 30;
    for (int i = 1; i < argc; ++i) {
        const std::string argument = argv[i];
        char* end = nullptr;
        if (argument.starts_with("--idle-exit=")) {
            seconds = std::strtol(argument.c_str() + 12, &end, 10);
            if (*end == '\0' && seconds > 0 && seconds <= 3600) continue;
        }
        std::fprintf(stderr, "Aufruf: marrowick-settings [--idle-exit=SEKUNDEN]\n");
        return 2;
    }
    // The service always saves the machine's own hive, whatever its environment names.
    ::unsetenv("MARROWICK_HKLM");
    return marrowick::service::RunSettingsService(std::chrono::seconds(seconds));
}
