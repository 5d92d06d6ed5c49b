#include "hive_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <condition_variable>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <optional>
#include <string_view>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

#include "descriptor.h"
#include "hive_file.h"
#include "reg_syntax.h"
#include "replace_file.h"

namespace marrowick::platform {

namespace {

constexpr const char* kDefaultPath = "/var/lib/marrowick/HKLM.reg";
constexpr mode_t kNewHiveMode = 0644;

long WriteError(int error) {
    return (error == EACCES || error == EPERM || error == EROFS) ? ERROR_ACCESS_DENIED
                                                                 : ERROR_WRITE_FAULT;
}

// Reads to the end, but no more than kMaxHiveBytes: false for a longer file.
bool ReadAll(int fd, std::string& text) {
    char buffer[65536];
    while (true) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        text.append(buffer, static_cast<std::size_t>(got));
        if (static_cast<std::int64_t>(text.size()) > kMaxHiveBytes) return false;
    }
}

bool Readable(const struct stat& status) {
    return S_ISREG(status.st_mode) && status.st_size <= kMaxHiveBytes;
}

// $MARROWICK_HKLM, else /var/lib/marrowick/HKLM.reg.
const char* ConfiguredPath() {
    const char* configured = std::getenv("MARROWICK_HKLM");
    return configured && *configured ? configured : kDefaultPath;
}

// Who may write the hive may take the lock; nobody else may even open it, so nobody else
// can hold it. Read and write for the hive's owner and group as far as they may write it.
mode_t LockModeFor(mode_t hiveMode) {
    return ((hiveMode & S_IWUSR) ? S_IRUSR | S_IWUSR : 0) |
           ((hiveMode & S_IWGRP) ? S_IRGRP | S_IWGRP : 0);
}

// Takes the exclusive lock on the lock file's descriptor within the time given.
long LockWithin(int fd, std::chrono::steady_clock::duration bound) {
    if (flock(fd, LOCK_EX | LOCK_NB) == 0) return ERROR_SUCCESS;
    if (errno != EWOULDBLOCK && errno != EINTR) return ERROR_WRITE_FAULT;
    if (bound <= bound.zero()) return ERROR_LOCK_VIOLATION;
    // The wait blocks in a thread of its own, so that the lock passes to us the moment it
    // is free (polling would lose it to a writer that takes it again at once). It locks a
    // duplicate of the descriptor, the same open file: the lock it gets is ours. A thread
    // given up on waits on alone and lets go of the lock as soon as it has it.
    struct Waiter {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        bool locked = false;
    };
    const int duplicate = fcntl(fd, F_DUPFD_CLOEXEC, 0);
    if (duplicate < 0) return ERROR_WRITE_FAULT;
    auto waiter = std::make_shared<Waiter>();
    try {
        std::thread([waiter, duplicate] {
            int result;
            while ((result = flock(duplicate, LOCK_EX)) != 0 && errno == EINTR) {
            }
            close(duplicate);
            const std::lock_guard guard(waiter->mutex);
            waiter->finished = true;
            waiter->locked = result == 0;
            waiter->done.notify_one();
        }).detach();
    } catch (const std::system_error&) {
        close(duplicate);
        return ERROR_WRITE_FAULT;
    }
    std::unique_lock guard(waiter->mutex);
    if (!waiter->done.wait_for(guard, bound, [&] { return waiter->finished; })) {
        return ERROR_LOCK_VIOLATION;
    }
    return waiter->locked ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

bool SameFile(const struct stat& one, const struct stat& other) {
    return one.st_dev == other.st_dev && one.st_ino == other.st_ino;
}

// Opens (creating it if need be) and takes the writers' lock, "<hive>.lock" in the hive's
// directory. A symbolic link, FIFO or anything else but a regular file planted at its name
// is refused unopened or unread: never followed, never waited on. A lock file owned by
// neither the hive's owner nor root was planted by someone who may not write the hive and
// who could hold it for ever: it is replaced by a new one, never used.
long TakeLock(int directory, const std::string& hiveName, const std::optional<struct stat>& hive,
              std::chrono::steady_clock::duration bound, Descriptor& lock) {
    const auto deadline = std::chrono::steady_clock::now() + bound;
    const std::string name = hiveName + ".lock";
    const mode_t mode = LockModeFor(hive ? hive->st_mode : kNewHiveMode);
    const uid_t hiveOwner = hive ? hive->st_uid : geteuid();
    const auto trusted = [&](const struct stat& status) {
        return status.st_uid == hiveOwner || status.st_uid == 0;
    };
    for (int attempt = 0; attempt < 3; ++attempt) {
        struct stat named;
        const bool exists = fstatat(directory, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0;
        if (exists && !S_ISREG(named.st_mode)) return ERROR_WRITE_FAULT;
        if (exists && !trusted(named)) {
            FileRights rights{mode};
            if (hive) {
                rights.owner = hive->st_uid;
                rights.group = hive->st_gid;
            }
            if (const int error = ReplaceFileAt(directory, name, "", rights); error != 0) {
                return WriteError(error);
            }
        }
        lock = Descriptor(openat(directory, name.c_str(),
                                 O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode));
        if (lock.get() < 0) return errno == ELOOP ? ERROR_WRITE_FAULT : WriteError(errno);
        struct stat status;
        if (fstat(lock.get(), &status) != 0 || !S_ISREG(status.st_mode)) return ERROR_WRITE_FAULT;
        if (!trusted(status)) continue;  // planted again meanwhile
        // A new lock file has the creator's umask applied, an old one may have an older
        // mode: whoever may, mends it. The owner and group follow the hive's.
        if ((geteuid() == 0 || geteuid() == status.st_uid) &&
            ((status.st_mode & 07777) != mode ||
             (hive && (status.st_uid != hive->st_uid || status.st_gid != hive->st_gid)))) {
            // The mode first: afterwards the file may be another's (see ReplaceFileAt).
            fchmod(lock.get(), mode);
            if (hive && fchown(lock.get(), hive->st_uid, hive->st_gid) != 0 &&
                fchown(lock.get(), static_cast<uid_t>(-1), hive->st_gid) != 0) {
                // Neither took: the lock file keeps its owner, and locks all the same.
            }
        }
        const long result = LockWithin(lock.get(), deadline - std::chrono::steady_clock::now());
        if (result != ERROR_SUCCESS) return result;
        // A lock file replaced while we waited for it locks nothing any more.
        if (fstatat(directory, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
            SameFile(named, status)) {
            return ERROR_SUCCESS;
        }
    }
    return ERROR_WRITE_FAULT;
}

// Removes what writers killed half-way left behind. Only the lock's holder writes temporary
// files, so every one found while holding it is a leftover.
void RemoveLeftovers(int directory, const std::string& hiveName) {
    const int listing = openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) return;
    DIR* entries = fdopendir(listing);
    if (!entries) {
        close(listing);
        return;
    }
    while (const dirent* entry = readdir(entries)) {
        if (IsTemporaryFileOf(entry->d_name, hiveName)) unlinkat(listing, entry->d_name, 0);
    }
    closedir(entries);
}

// Whether two statuses describe one file with nothing about it changed. Its status time
// moves with every link to it made or removed, so a file still linked where it was seen
// keeps it.
bool SameAndUnchanged(const struct stat& seen, const struct stat& now) {
    return seen.st_dev == now.st_dev && seen.st_ino == now.st_ino && seen.st_size == now.st_size &&
           seen.st_nlink == now.st_nlink && seen.st_mode == now.st_mode &&
           seen.st_uid == now.st_uid && seen.st_gid == now.st_gid &&
           seen.st_mtim.tv_sec == now.st_mtim.tv_sec &&
           seen.st_mtim.tv_nsec == now.st_mtim.tv_nsec &&
           seen.st_ctim.tv_sec == now.st_ctim.tv_sec && seen.st_ctim.tv_nsec == now.st_ctim.tv_nsec;
}

}  // namespace

HiveStore::Identity HiveStore::IdentityOf(const struct stat& status) {
    return {status.st_dev, status.st_ino, status.st_size,
            std::int64_t{status.st_mtim.tv_sec} * 1'000'000'000 + status.st_mtim.tv_nsec};
}

HiveStore::AccessKey HiveStore::AccessKeyOf(const struct stat& status) {
    return {IdentityOf(status),
            std::int64_t{status.st_ctim.tv_sec} * 1'000'000'000 + status.st_ctim.tv_nsec,
            status.st_mode,
            status.st_uid,
            status.st_gid,
            geteuid(),
            getegid()};
}

void HiveStore::Forget() {
    state_ = State::kUnread;
}

long HiveStore::Answer() const {
    return state_ == State::kUnparsable ? ERROR_BADDB : ERROR_SUCCESS;
}

long HiveStore::Refresh() {
    return Refresh(false);
}

long HiveStore::Refresh(bool walkAgain) {
    if (const char* path = ConfiguredPath(); path_ != path) {
        path_ = path;
        Forget();
        walkAgain = true;
    }
    problem_ = {};
    // Walking the path takes a few calls for every name on it; reads are frequent. Where
    // the path leads now, as the kernel follows it, only tells whether anything may have
    // changed since the last walk: what is read always comes from the place walked to.
    struct stat status;
    const bool leads = stat(path_.c_str(), &status) == 0;
    const PathEnd end{leads ? 0 : errno, leads ? status.st_dev : 0, leads ? status.st_ino : 0};
    const bool sameWay = !walkAgain && end == walkedTo_;
    // The path leads to the very file examined last, unchanged: it is still the one in the
    // place walked to, and the tree read from it is current. Reads are frequent; this spares
    // them a second look.
    const bool fileRead = state_ == State::kLoaded || state_ == State::kUnparsable;
    if (sameWay && leads && place_.outcome == HivePlace::kFound && fileRead && seen_ &&
        SameAndUnchanged(*seen_, status)) {
        return Answer();
    }
    if (!sameWay ||
        (place_.outcome != HivePlace::kFound && place_.outcome != HivePlace::kDirectoryMissing)) {
        place_ = FindHivePlace(path_);
        walkedTo_ = end;
    }
    switch (place_.outcome) {
        case HivePlace::kFound:
        case HivePlace::kDirectoryMissing:
            return Examine();
        case HivePlace::kUnsafe:
        case HivePlace::kDenied:
            problem_ = place_.problem;
            Forget();
            return ERROR_ACCESS_DENIED;
        case HivePlace::kUnusable:
            problem_ = place_.problem;
            break;
    }
    Forget();
    return ERROR_BADDB;
}

long HiveStore::Examine() {
    struct stat status;
    seen_.reset();
    if (place_.outcome == HivePlace::kDirectoryMissing ||
        fstatat(place_.directory.get(), place_.name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (place_.outcome == HivePlace::kFound && errno != ENOENT) {
            Forget();
            return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_BADDB;
        }
        if (state_ != State::kMissing) {
            root_ = std::make_shared<Key>();
            state_ = State::kMissing;
        }
        return Answer();
    }
    seen_ = status;
    if ((state_ == State::kLoaded || state_ == State::kUnparsable) &&
        identity_ == IdentityOf(status)) {
        return Answer();
    }
    if (!Readable(status)) {
        Forget();
        return ERROR_BADDB;
    }
    return Load();
}

long HiveStore::Load() {
    Forget();
    // Not blocking, in case a FIFO took the file's place since the stat.
    Descriptor file(openat(place_.directory.get(), place_.name.c_str(),
                           O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
    if (file.get() < 0) return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_BADDB;
    struct stat status;
    auto text = std::make_shared<std::string>();
    if (fstat(file.get(), &status) != 0 || !Readable(status)) return ERROR_BADDB;
    text->reserve(static_cast<std::size_t>(status.st_size));
    if (!ReadAll(file.get(), *text)) return ERROR_BADDB;
    // The tree keeps the text: keys whose values nobody asked for are read from it later.
    std::unique_ptr<Key> root = ParseHive(std::move(text), &failedLine_);
    identity_ = IdentityOf(status);
    if (!root) {
        // Remembered, so a corrupt hive is not parsed again on every call.
        state_ = State::kUnparsable;
        return Answer();
    }
    root_ = std::move(root);
    state_ = State::kLoaded;
    return Answer();
}

long HiveStore::CheckAccess(bool read, bool write) {
    const int mode = (read ? R_OK : 0) | (write ? W_OK : 0);
    if (mode == 0) return ERROR_SUCCESS;
    if (place_.outcome == HivePlace::kDirectoryMissing) return CheckMissingHiveAccess(write);
    // Reads are frequent and the hive's permissions rarely change: ask the kernel only when
    // the file or its permissions or our ids differ from last time.
    CachedAccess& cached = access_[Slot(read, write)];
    std::optional<AccessKey> key;
    if (seen_) {
        key = AccessKeyOf(*seen_);
        if (cached.key == key) return cached.result;
    }
    long result = ERROR_SUCCESS;
    if (faccessat(place_.directory.get(), place_.name.c_str(), mode, AT_EACCESS) != 0) {
        if (errno == ENOENT) return CheckMissingHiveAccess(write);
        result = ERROR_ACCESS_DENIED;
    }
    if (key) cached = {key, result};
    return result;
}

bool HiveStore::MayCreateDirectory() const {
    return place_.outcome == HivePlace::kDirectoryMissing && place_.onlyHiveDirectoryMissing &&
           path_ == kDefaultPath;
}

long HiveStore::CheckMissingHiveAccess(bool write) {
    if (!write) return ERROR_SUCCESS;  // a missing hive reads as empty
    // Only the default directory is created when missing: elsewhere a missing directory is
    // much more likely a mistyped path than a wish for new directories.
    if (place_.outcome == HivePlace::kDirectoryMissing && !MayCreateDirectory()) {
        problem_ = place_.problem;
        return ERROR_PATH_NOT_FOUND;
    }
    // The directory the hive goes into, or the one its missing directory goes into.
    return faccessat(place_.directory.get(), ".", W_OK | X_OK, AT_EACCESS) == 0
               ? ERROR_SUCCESS
               : ERROR_ACCESS_DENIED;
}

long HiveStore::Modify(const std::function<long(Key& root, bool& changed)>& change) {
    // As for a read: the path is walked again when it may lead elsewhere, and the change
    // goes to the place walked to, never to wherever the path leads meanwhile.
    long result = Refresh(false);
    if (result != ERROR_SUCCESS) return result;
    result = CheckAccess(false, true);
    if (result != ERROR_SUCCESS) return result;
    if (MayCreateDirectory()) {
        if (mkdirat(place_.directory.get(), place_.name.c_str(), 0755) != 0 && errno != EEXIST) {
            return WriteError(errno);
        }
        result = Refresh(true);
        if (result != ERROR_SUCCESS) return result;
        if (place_.outcome != HivePlace::kFound) return ERROR_PATH_NOT_FOUND;
    }

    // From here on everything happens in the directory found, whatever is renamed on the
    // way to it meanwhile. Writers take turns on a lock file beside the hive; readers need
    // no lock because the hive is only ever replaced whole.
    Descriptor lock;
    // Right after a wait was given up, the next changes do not wait again: a save of
    // several values fails once after kLockWait, not once for every value.
    const auto now = std::chrono::steady_clock::now();
    const bool justGaveUp = lockGivenUp_ && now - *lockGivenUp_ < kLockWait;
    result = TakeLock(place_.directory.get(), place_.name, seen_,
                      justGaveUp ? std::chrono::steady_clock::duration::zero() : kLockWait, lock);
    if (result == ERROR_LOCK_VIOLATION && !justGaveUp)
        lockGivenUp_ = std::chrono::steady_clock::now();
    if (result != ERROR_SUCCESS) return result;
    lockGivenUp_.reset();
    RemoveLeftovers(place_.directory.get(), place_.name);
    // Another process may have written since we last looked.
    result = Examine();
    if (result != ERROR_SUCCESS) return result;

    bool changed = false;
    result = change(*root_, changed);
    if (result != ERROR_SUCCESS || !changed) return result;
    // Lines nobody changed are written from the text they were read from, not copied:
    // the memory and time a change costs follow what changed.
    std::vector<TextPiece> pieces;
    WriteHive(*root_, text_, &pieces);
    std::vector<std::string_view> bytes;
    std::size_t size = 0;
    for (const TextPiece& piece : pieces) {
        bytes.emplace_back(piece.borrowed ? piece.borrowed : text_.data() + piece.offset,
                           piece.size);
        size += piece.size;
    }
    if (static_cast<std::int64_t>(size) > kMaxHiveBytes) {
        // Written, it would lock everyone out: no call could read the hive again.
        problem_ = {};
        problem_.kind = HiveProblem::kTooLarge;
        problem_.bytes = size;
        problem_.limitBytes = static_cast<std::uint64_t>(kMaxHiveBytes);
        result = ERROR_NO_SYSTEM_RESOURCES;
    } else {
        result = WriteFile(bytes);
    }
    if (result != ERROR_SUCCESS) {
        // The tree now holds a change the file does not. Handles may still hold it, so it
        // is dropped rather than mended: they see a new tree and look again, and the file
        // is read again.
        root_ = std::make_shared<Key>();
        Forget();
    }
    return result;
}

// Replaces the hive in one step (see replace_file.h), keeping the old hive's mode, owner
// and group.
long HiveStore::WriteFile(const std::vector<std::string_view>& text) {
    // The status seen under the lock: the file replaced, if there is one.
    const std::optional<struct stat> old = seen_;
    FileRights rights{old ? old->st_mode & 0777 : kNewHiveMode};
    if (old) {
        rights.owner = old->st_uid;
        rights.group = old->st_gid;
    }
    struct stat written;
    const int error = ReplaceFileAt(place_.directory.get(), place_.name, text, rights, &written);
    if (error != 0) return WriteError(error);

    state_ = State::kLoaded;
    identity_ = IdentityOf(written);
    seen_.reset();  // a new file: the next check asks again
    // A path that led to the file replaced leads to its replacement now: the next read
    // need not walk it again for our own write.
    if (old && walkedTo_ == PathEnd{0, old->st_dev, old->st_ino}) {
        walkedTo_ = {0, written.st_dev, written.st_ino};
    }
    return ERROR_SUCCESS;
}

long HiveStore::Describe(HiveFile& file) {
    file = HiveFile{};
    const long result = Refresh(true);
    file.path = path_;
    file.exists = seen_.has_value();
    file.rights.mode = kNewHiveMode;
    if (seen_) {
        file.rights = {seen_->st_mode & 0777, seen_->st_uid, seen_->st_gid};
        file.entries.emplace_back(seen_->st_dev, seen_->st_ino);
    }
    file.entries.insert(file.entries.end(), place_.links.begin(), place_.links.end());
    return result;
}

}  // namespace marrowick::platform
