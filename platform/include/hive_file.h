// The file behind HKEY_LOCAL_MACHINE, for callers that handle files besides calling the
// registry functions, or whose messages must name the file and the line a refusal is about:
// the command line's `show`, `export` and its error messages. Windows has no counterpart.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "replace_file.h"

namespace marrowick::platform {

struct HiveFileStatus {
    std::string path;            // $MARROWICK_HKLM, or /var/lib/marrowick/HKLM.reg
    std::size_t failedLine = 0;  // where the hive stopped parsing (ERROR_BADDB), else 0
};

// The hive file as the registry functions find it now.
HiveFileStatus GetHiveFileStatus();

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

// Why the last registry call that failed on the hive file's account failed, beyond what its
// Win32 code says: the kind of problem and the places it is about, for the layers above to
// put into words.
struct HiveProblem {
    enum Kind {
        kNone,              // the Win32 code says all there is
        kNoFileName,        // `path` names no file
        kNotAccessible,     // the directory `path` cannot be opened
        kNotSearchable,     // the directory `path` may not be searched
        kDirectoryMissing,  // the directory `path` does not exist
        kNotADirectory,     // `path`, on the way to the hive, is no directory
        kTooManyLinks,      // `path` leads through too many symbolic links
        kOwnedByOther,      // `path` belongs to another user than `other`, where it leads
        kOpenToEveryone,    // everyone may write the directory `path`, which has no sticky bit
        kTooLarge,          // written, the hive would have `bytes`, more than `limitBytes`
    };
    Kind kind = kNone;
    std::string path;
    std::string other;
    std::uint64_t bytes = 0;
    std::uint64_t limitBytes = 0;
};
HiveProblem GetHiveProblem();

}  // namespace marrowick::platform
