// The hive file behind HKEY_LOCAL_MACHINE: where it lives, the parsed tree kept while the
// file is unchanged, access checks, and changes written as one atomic, durable step.
//
// Calling sequence
// ----------------
//
// The registry functions hold one HiveStore and call it under their mutex:
//
// - Before every read, `Refresh()`: it looks where the hive is configured to be
//   ($MARROWICK_HKLM, else /var/lib/marrowick/HKLM.reg), walks the path again when it may
//   lead elsewhere, and reads the file again only when it changed. Then `Root()` is the tree to
//   read; a missing file is an empty tree.
//
// - Before handing out a handle for reading or writing, `CheckAccess(read, write)`, after a
//   `Refresh()`. It answers for this process's ids; the file decides by its mode.
//
// - To change the registry, `Modify(change)`. It
//     1. refreshes, finding the hive's directory, and checks write access; from here on
//        it works in that directory only, through its descriptor,
//     2. takes the writers' lock, `<hive>.lock` beside the hive, waiting at most kLockWait,
//     3. removes temporary files of writers killed half-way (`<hive>.tmp.XXXXXX`),
//     4. reads the file again if another process wrote it meanwhile,
//     5. calls `change(root, changed)` on that latest tree,
//     6. when it changed something, writes the tree beside the hive and renames it over the
//        hive (replace_file.h), keeping the hive's mode, owner and group, and
//     7. lets go of the lock.
//   When `change` fails, or leaves `changed` false, nothing is written. When the write
//   fails, the tree is dropped and read again from the file at the next call, so nobody
//   sees a change that was not stored.
//
// Readers take no lock: the hive is only ever replaced whole.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "hive_place.h"
#include "hive_text.h"

namespace marrowick::platform {

struct HiveFile;

// The largest hive read. A bigger file is reported as ERROR_BADDB without being read: every
// load reads each of its lines, and every change writes it whole.
inline constexpr std::int64_t kMaxHiveBytes = std::int64_t{64} << 20;
// How long a change waits for the writers' lock, held by another writer, before it fails
// with ERROR_LOCK_VIOLATION: far longer than any real write, short enough for a dialog.
inline constexpr std::chrono::seconds kLockWait{3};

// Not thread-safe: the registry functions serialise every call.
class HiveStore {
public:
    // Finds the hive's directory (hive_place.h) and brings the tree up to date with the file
    // (one stat there when nothing changed). ERROR_SUCCESS, ERROR_ACCESS_DENIED (cannot read
    // it, or its path is unsafe) or ERROR_BADDB (cannot parse it, or it is no regular file
    // or larger than kMaxHiveBytes: such files are never read). A hive whose directory is
    // missing reads as empty.
    long Refresh();
    // The tree after a successful Refresh; a missing file is an empty tree. It is replaced,
    // not changed, when the file is read again: holding it keeps pointers into it valid.
    const std::shared_ptr<Key>& Root() const { return root_; }
    // The file Refresh reads, and the line where it stopped parsing (0: it did not fail so).
    const std::string& Path() const { return path_; }
    std::size_t FailedLine() const { return state_ == State::kUnparsable ? failedLine_ : 0; }

    // Whether this process may read and/or replace the hive: ERROR_SUCCESS or
    // ERROR_ACCESS_DENIED. Writing needs write access to the hive, or, while there is no
    // hive yet, to its directory; ERROR_PATH_NOT_FOUND when that is missing, unless it is
    // the default directory, created by the first change. (A writable hive in a directory
    // we may not write to fails at the first change instead.) Call it after Refresh: the
    // answer is kept while the file's status and our ids are the same.
    long CheckAccess(bool read, bool write);

    // Applies a change to the latest tree under an exclusive lock shared with other
    // processes, then replaces the file atomically. The change returns a Win32 code and
    // sets its second argument when it altered the tree; nothing is written otherwise.
    // ERROR_LOCK_VIOLATION when another writer holds the lock for kLockWait; within
    // kLockWait of a wait given up, the next changes fail so at once instead of waiting.
    // A hive that is a symbolic link is replaced where the link leads; the link stays.
    // ERROR_NO_SYSTEM_RESOURCES, with nothing written, when the hive would grow beyond
    // kMaxHiveBytes and could not be read any more.
    long Modify(const std::function<long(Key& root, bool& changed)>& change);

    // Refreshes and tells what the command line needs to know about the file itself.
    long Describe(HiveFile& file);
    // Why the last call failed, when the code does not say it all (see hive_file.h).
    const HiveProblem& Problem() const { return problem_; }

private:
    // What the store knows of the file in place_. What holds in each state:
    //
    //   kUnread      Nothing is known: the next Refresh looks at the file and reads it.
    //                Where the store starts, and where it goes when the path leads
    //                elsewhere, the file cannot be looked at, is no file it may read, or
    //                a write failed. root_ is a tree nobody may read (kept for handles
    //                that still point into it); identity_ and failedLine_ mean nothing.
    //   kMissing     There is no file: root_ is an empty tree, Refresh succeeds;
    //                identity_ and failedLine_ mean nothing.
    //   kLoaded      root_ is the tree parsed from the file identity_ describes (or
    //                written to it by this process); Refresh succeeds while the file
    //                keeps that identity. failedLine_ means nothing.
    //   kUnparsable  The file identity_ describes could not be parsed, at failedLine_:
    //                Refresh fails with ERROR_BADDB without reading it again while it
    //                keeps that identity. root_ is a tree nobody may read.
    //
    // seen_ (the file's status at the last look) and the caches of access answers may
    // hold in any state: they describe the file, not what was read from it.
    enum class State { kUnread, kMissing, kLoaded, kUnparsable };

    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = -1;
        std::int64_t modified = -1;  // nanoseconds
        bool operator==(const Identity&) const = default;
    };
    // Everything an access check depends on: the file, its permissions (a change of mode,
    // owner or ACL changes its status time too) and who asks.
    struct AccessKey {
        Identity identity;
        std::int64_t statusChanged = -1;  // nanoseconds
        mode_t mode = 0;
        uid_t owner = 0;
        gid_t group = 0;
        uid_t user = 0;
        gid_t userGroup = 0;
        bool operator==(const AccessKey&) const = default;
    };
    struct CachedAccess {
        std::optional<AccessKey> key;
        long result = 0;
    };
    static Identity IdentityOf(const struct ::stat& status);
    // The file's side from its status, the asking side from this process as it is now.
    static AccessKey AccessKeyOf(const struct ::stat& status);
    // Walks the path again when asked to, or when it may lead elsewhere than last time.
    long Refresh(bool walkAgain);
    long CheckMissingHiveAccess(bool write);
    bool MayCreateDirectory() const;
    // Brings the tree up to date with the file in the place found last.
    long Examine();
    long Load();
    long WriteFile(const std::vector<std::string_view>& text);
    void Forget();
    // What Refresh answers in a state it keeps: ERROR_SUCCESS, or ERROR_BADDB for kUnparsable.
    long Answer() const;

    std::string path_;
    std::size_t failedLine_ = 0;
    // Where the hive is, found again by every Refresh; a change keeps to the one place.
    HivePlace place_;
    // Where the path led, as stat() follows it, when place_ was found.
    struct PathEnd {
        int error = -1;
        dev_t device = 0;
        ino_t inode = 0;
        bool operator==(const PathEnd&) const = default;
    };
    PathEnd walkedTo_;
    HiveProblem problem_;
    State state_ = State::kUnread;
    Identity identity_;
    std::shared_ptr<Key> root_ = std::make_shared<Key>();
    // The file's status at the last Refresh, while it still describes the file in place_.
    std::optional<struct ::stat> seen_;
    // What the last write had to write anew, kept for its room: the next needs as much.
    std::string text_;
    // When the last wait for the writers' lock was given up.
    std::optional<std::chrono::steady_clock::time_point> lockGivenUp_;
    // The last answer for each kind of access asked for.
    static std::size_t Slot(bool read, bool write) { return (read ? 1 : 0) + (write ? 2 : 0); }
    std::array<CachedAccess, 4> access_;
};

}  // namespace marrowick::platform
