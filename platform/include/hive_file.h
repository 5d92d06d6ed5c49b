// The file behind HKEY_LOCAL_MACHINE, for callers that handle files besides calling the
// registry functions: the command line's `show` and `export`.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "replace_file.h"

namespace marrowick::platform {

struct HiveFile {
    std::string path;     // as configured
    bool exists = false;  // false: the registry is empty, nothing is stored
    // The hive's mode, owner and group; those of a new hive when it is missing.
    FileRights rights;
    // The directory entries whose replacement would replace the hive: the file itself and
    // the symbolic links on the way to it, as (device, inode).
    std::vector<std::pair<dev_t, ino_t>> entries;
};

// What the registry functions would find: ERROR_SUCCESS, or the code reading fails with.
long DescribeHiveFile(HiveFile& file);

// Why the last registry call that failed on the hive file's account failed, in German and
// naming the place: an unsafe or missing directory, a hive that would grow too large. ""
// when the Win32 code says all there is.
std::string HiveFileProblem();

}  // namespace marrowick::platform
