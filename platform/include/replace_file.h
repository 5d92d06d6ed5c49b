// Replacing a file in one step: readers see the old file or the new one, never a mix, and
// after a crash one of the two is there. The bytes go to a fresh file beside the target,
// created exclusively under a unique name (nothing planted under that name, and no
// descriptor kept open on an earlier file, ever reaches the target), given its mode, owner
// and group, flushed to disk and renamed over the target; then the directory is flushed
// too, so that the rename survives a crash. A symbolic link at the target's name is
// replaced, never followed.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <string>
#include <string_view>
#include <vector>

namespace marrowick::platform {

struct FileRights {
    mode_t mode = 0644;                    // the permission bits
    uid_t owner = static_cast<uid_t>(-1);  // -1: whoever writes
    gid_t group = static_cast<gid_t>(-1);  // -1: as the directory gives it
};

// Replaces the file `name` in the directory open at `directory` (a descriptor, which may be
// opened with O_PATH). Only root may give the file away: anyone else keeps at least the
// group when a member of it, and when not even the group can be given, the file gets no
// rights for its group, so that it never grants more than was asked. 0 or an errno value.
// `written`, when given, receives the new file's status.
int ReplaceFileAt(int directory, const std::string& name, const std::string& bytes,
                  const FileRights& rights, struct ::stat* written = nullptr);
// The same for bytes in pieces, written one after the other.
int ReplaceFileAt(int directory, const std::string& name,
                  const std::vector<std::string_view>& pieces, const FileRights& rights,
                  struct ::stat* written = nullptr);

// The same for a path; its directory part is followed as named.
int ReplaceFile(const std::string& path, const std::string& bytes, const FileRights& rights);

// Whether a directory entry is a temporary file ReplaceFileAt makes for `name`: "<name>.tmp."
// and six letters or digits. One that stays was left by a writer killed half-way.
bool IsTemporaryFileOf(std::string_view entry, std::string_view name);

}  // namespace marrowick::platform
