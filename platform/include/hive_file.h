// Where this platform keeps the registry behind HKEY_LOCAL_MACHINE, for messages that must
// name the file and the line a refusal is about. Windows has no counterpart.
#pragma once

#include <cstddef>
#include <string>

namespace marrowick::platform {

struct HiveFileStatus {
    std::string path;            // $MARROWICK_HKLM, or /var/lib/marrowick/HKLM.reg
    std::size_t failedLine = 0;  // where the hive stopped parsing (ERROR_BADDB), else 0
};

// The hive file as the registry functions find it now.
HiveFileStatus GetHiveFileStatus();

}  // namespace marrowick::platform
