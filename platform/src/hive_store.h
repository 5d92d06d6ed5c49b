// The hive file behind HKEY_LOCAL_MACHINE: where it lives, the parsed tree kept while the
// file is unchanged, access checks, and changes written as one atomic, durable step.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <functional>
#include <memory>
#include <string>

#include "hive.h"

namespace marrowick::platform {

// Not thread-safe: the registry functions serialise every call.
class HiveStore {
public:
    // Brings the tree up to date with the file (one stat when nothing changed).
    // ERROR_SUCCESS, ERROR_ACCESS_DENIED (cannot read it) or ERROR_BADDB (cannot parse it).
    long Refresh();
    // The tree after a successful Refresh; a missing file is an empty tree. It is replaced,
    // not changed, when the file is read again: holding it keeps pointers into it valid.
    const std::shared_ptr<Key>& Root() const { return root_; }

    // Whether this process may read and/or replace the hive: ERROR_SUCCESS or
    // ERROR_ACCESS_DENIED. Writing needs write access to the hive, or, while there is no
    // hive yet, to its directory, which is created when permitted. (A writable hive in a
    // directory we may not write to fails at the first change instead.)
    long CheckAccess(bool read, bool write);

    // Applies a change to the latest tree under an exclusive lock shared with other
    // processes, then replaces the file atomically. The change returns a Win32 code and
    // sets its second argument when it altered the tree; nothing is written otherwise.
    long Modify(const std::function<long(Key& root, bool& changed)>& change);

private:
    struct Identity {
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = -1;
        std::int64_t modified = -1;  // nanoseconds
        bool operator==(const Identity&) const = default;
    };
    static Identity IdentityOf(const struct ::stat& status);
    long Load();
    long WriteFile(const std::string& text);
    void Forget();

    std::string path_;
    bool known_ = false;    // identity_ and status_ describe the file at path_
    bool missing_ = false;  // the file did not exist
    Identity identity_;
    long status_ = 0;
    std::shared_ptr<Key> root_ = std::make_shared<Key>();
};

}  // namespace marrowick::platform
