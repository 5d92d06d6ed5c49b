// Finding the hive's directory safely. The configured path is walked one name at a time,
// following symbolic links here rather than in the kernel, and the directory reached is
// kept open: all the store does afterwards (lock, temporary file, rename, clean-up) happens
// in that one directory, whatever is renamed on the path meanwhile.
//
// A path is refused when one step leads from a directory or link that an unprivileged user
// other than us owns to something owned by someone else (she could point it anywhere: the
// rule of systemd's CHASE_SAFE), or when it passes through a directory that everyone may
// write and that has no sticky bit (anyone could swap what lies below). A private directory
// under the sticky /tmp is fine.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "descriptor.h"
#include "hive_file.h"

namespace marrowick::platform {

struct HivePlace {
    enum Outcome {
        kFound,             // the directory is open; the hive may be missing in it
        kDirectoryMissing,  // a directory on the way does not exist (or is no directory)
        kUnsafe,            // refused by the rules above
        kDenied,            // we may not look through a directory on the way
        kUnusable,          // too many links, or no file name at all
    };
    Outcome outcome = kUnusable;
    // kFound: the hive's directory (opened for its path only) and the hive's name in it.
    // kDirectoryMissing: the last directory found and the name missing in it.
    Descriptor directory;
    std::string name;
    // kDirectoryMissing: whether the missing name is the hive's own directory, the only
    // level that may be created.
    bool onlyHiveDirectoryMissing = false;
    HiveProblem problem;  // why it is not kFound
    // The symbolic links followed on the way, as (device, inode).
    std::vector<std::pair<dev_t, ino_t>> links;
};

HivePlace FindHivePlace(const std::string& path);

}  // namespace marrowick::platform
