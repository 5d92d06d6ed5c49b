#include "hive_store.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/random.h>
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

namespace marrowick::platform {

namespace {

constexpr const char* kDefaultPath = "/var/lib/marrowick/HKLM.reg";
constexpr mode_t kNewHiveMode = 0644;

std::string DirectoryOf(const std::string& path) {
    const std::string directory = std::filesystem::path(path).parent_path();
    return directory.empty() ? "." : directory;
}

long WriteError(int error) {
    return (error == EACCES || error == EPERM || error == EROFS) ? ERROR_ACCESS_DENIED
                                                                 : ERROR_WRITE_FAULT;
}

// Closes a descriptor on every path out of a function.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    Descriptor& operator=(Descriptor&& other) noexcept {
        if (this != &other) {
            if (fd_ >= 0) close(fd_);
            fd_ = other.release();
        }
        return *this;
    }
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

private:
    int fd_;
};

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        done += static_cast<std::size_t>(written);
    }
    return true;
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

// Gives the new file the old one's owner and group: the hive keeps them whoever writes it.
// Only root may give a file away; anyone else keeps at least the group when a member of
// it, and otherwise the file becomes theirs.
bool KeepOwner(int fd, const struct stat& old) {
    if (fchown(fd, old.st_uid, old.st_gid) == 0) return true;
    if (errno != EPERM) return false;
    return fchown(fd, static_cast<uid_t>(-1), old.st_gid) == 0 || errno == EPERM;
}

// $MARROWICK_HKLM, else /var/lib/marrowick/HKLM.reg.
const char* ConfiguredPath() {
    const char* configured = std::getenv("MARROWICK_HKLM");
    return configured && *configured ? configured : kDefaultPath;
}

// The file a hive path names once symbolic links are followed, so that a hive kept
// elsewhere and linked to is replaced where it is and the link stays. A path that is not a
// link, or leads nowhere yet, is its own target.
std::string FinalTarget(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {  // Linux's own limit; a loop then fails to write
        std::error_code error;
        if (!std::filesystem::is_symlink(path, error)) break;
        const std::filesystem::path link = std::filesystem::read_symlink(path, error);
        if (error) break;
        path = link.is_absolute() ? link.string()
                                  : (std::filesystem::path(DirectoryOf(path)) / link).string();
    }
    return path;
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

// Opens (creating it if need be) and takes the writers' lock beside the hive's target. A
// symbolic link, FIFO or anything else but a regular file planted at its name is refused
// unopened or unread: never followed, never waited on.
long TakeLock(const std::string& target, const std::optional<struct stat>& hive,
              std::chrono::steady_clock::duration bound, Descriptor& lock) {
    const std::string path = target + ".lock";
    const mode_t mode = LockModeFor(hive ? hive->st_mode : kNewHiveMode);
    lock = Descriptor(
        open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode));
    if (lock.get() < 0) return errno == ELOOP ? ERROR_WRITE_FAULT : WriteError(errno);
    struct stat status;
    if (fstat(lock.get(), &status) != 0 || !S_ISREG(status.st_mode)) return ERROR_WRITE_FAULT;
    // A new lock file has the creator's umask applied, an old one may have an older mode:
    // whoever may, mends it. The owner and group follow the hive's, as the hive's own do.
    if ((geteuid() == 0 || geteuid() == status.st_uid) &&
        ((status.st_mode & 07777) != mode ||
         (hive && (status.st_uid != hive->st_uid || status.st_gid != hive->st_gid)))) {
        if (hive) KeepOwner(lock.get(), *hive);
        fchmod(lock.get(), mode);
    }
    return LockWithin(lock.get(), bound);
}

// Temporary files are named "<hive>.tmp.XXXXXX", X from these.
constexpr std::string_view kTemporaryInfix = ".tmp.";
constexpr std::string_view kNameCharacters =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
constexpr std::size_t kUniqueCharacters = 6;

std::string UniqueSuffix() {
    unsigned char bytes[kUniqueCharacters];
    if (getrandom(bytes, sizeof bytes, 0) != static_cast<ssize_t>(sizeof bytes)) {
        // No randomness to be had: a new name each call still, and O_EXCL does the rest.
        static unsigned counter = 0;
        const auto mixed = static_cast<unsigned>(getpid()) * 2654435761u + ++counter;
        for (std::size_t i = 0; i < sizeof bytes; ++i) {
            bytes[i] = static_cast<unsigned char>(mixed >> (4 * i));
        }
    }
    std::string suffix;
    for (unsigned char byte : bytes) suffix += kNameCharacters[byte % kNameCharacters.size()];
    return suffix;
}

bool IsTemporaryName(std::string_view name, std::string_view hiveName) {
    if (!name.starts_with(hiveName)) return false;
    name.remove_prefix(hiveName.size());
    if (!name.starts_with(kTemporaryInfix)) return false;
    name.remove_prefix(kTemporaryInfix.size());
    return name.size() == kUniqueCharacters &&
           name.find_first_not_of(kNameCharacters) == std::string_view::npos;
}

// Removes what writers killed half-way left behind. Only the lock's holder writes temporary
// files, so every one found while holding it is a leftover.
void RemoveLeftovers(const std::string& target) {
    const std::string hiveName = std::filesystem::path(target).filename();
    DIR* directory = opendir(DirectoryOf(target).c_str());
    if (!directory) return;
    while (const dirent* entry = readdir(directory)) {
        if (IsTemporaryName(entry->d_name, hiveName)) unlinkat(dirfd(directory), entry->d_name, 0);
    }
    closedir(directory);
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
    known_ = false;
    failedLine_ = 0;
}

long HiveStore::Refresh() {
    if (const char* path = ConfiguredPath(); path_ != path) {
        path_ = path;
        Forget();
    }
    struct stat status;
    seen_.reset();
    if (stat(path_.c_str(), &status) != 0) {
        if (errno != ENOENT && errno != ENOTDIR) {
            Forget();
            return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_BADDB;
        }
        if (!known_ || !missing_) {
            root_ = std::make_shared<Key>();
            known_ = missing_ = true;
            status_ = ERROR_SUCCESS;
        }
        return status_;
    }
    seen_ = status;
    if (known_ && !missing_ && identity_ == IdentityOf(status)) return status_;
    if (!Readable(status)) {
        Forget();
        return ERROR_BADDB;
    }
    return Load();
}

long HiveStore::Load() {
    Forget();
    // Not blocking, in case a FIFO took the file's place since the stat.
    Descriptor file(open(path_.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.get() < 0) return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_BADDB;
    struct stat status;
    std::string text;
    if (fstat(file.get(), &status) != 0 || !Readable(status) || !ReadAll(file.get(), text)) {
        return ERROR_BADDB;
    }
    std::unique_ptr<Key> root = ParseHive(text, &failedLine_);
    known_ = true;
    missing_ = false;
    identity_ = IdentityOf(status);
    if (!root) {
        // Remembered, so a corrupt hive is not parsed again on every call.
        status_ = ERROR_BADDB;
        return status_;
    }
    root_ = std::move(root);
    status_ = ERROR_SUCCESS;
    return status_;
}

long HiveStore::CheckAccess(bool read, bool write) {
    const int mode = (read ? R_OK : 0) | (write ? W_OK : 0);
    if (mode == 0) return ERROR_SUCCESS;
    // Reads are frequent and the hive's permissions rarely change: ask the kernel only when
    // the file or its permissions or our ids differ from last time.
    CachedAccess& cached = access_[Slot(read, write)];
    std::optional<AccessKey> key;
    if (seen_) {
        key = AccessKeyOf(*seen_);
        if (cached.key == key) return cached.result;
    }
    long result = ERROR_SUCCESS;
    if (faccessat(AT_FDCWD, path_.c_str(), mode, AT_EACCESS) != 0) {
        if (errno == ENOENT) return CheckMissingHiveAccess(write);
        result = ERROR_ACCESS_DENIED;
    }
    if (key) cached = {key, result};
    return result;
}

long HiveStore::CheckMissingHiveAccess(bool write) {
    if (!write) return ERROR_SUCCESS;  // a missing hive reads as empty
    const std::string directory = DirectoryOf(FinalTarget(path_));
    std::error_code ignored;
    std::filesystem::create_directories(directory, ignored);
    return faccessat(AT_FDCWD, directory.c_str(), W_OK | X_OK, AT_EACCESS) == 0
               ? ERROR_SUCCESS
               : ERROR_ACCESS_DENIED;
}

long HiveStore::Modify(const std::function<long(Key& root, bool& changed)>& change) {
    long result = Refresh();
    if (result != ERROR_SUCCESS) return result;
    result = CheckAccess(false, true);
    if (result != ERROR_SUCCESS) return result;

    // Writers take turns on a lock file beside the hive; readers need no lock because
    // the hive is only ever replaced whole.
    const std::string target = FinalTarget(path_);
    Descriptor lock(-1);
    // Right after a wait was given up, the next changes do not wait again: a save of
    // several values fails once after kLockWait, not once for every value.
    const auto now = std::chrono::steady_clock::now();
    const bool justGaveUp = lockGivenUp_ && now - *lockGivenUp_ < kLockWait;
    result = TakeLock(target, seen_,
                      justGaveUp ? std::chrono::steady_clock::duration::zero() : kLockWait, lock);
    if (result == ERROR_LOCK_VIOLATION && !justGaveUp)
        lockGivenUp_ = std::chrono::steady_clock::now();
    if (result != ERROR_SUCCESS) return result;
    lockGivenUp_.reset();
    RemoveLeftovers(target);
    // Another process may have written since we last looked.
    result = Refresh();
    if (result != ERROR_SUCCESS) return result;

    bool changed = false;
    result = change(*root_, changed);
    if (result != ERROR_SUCCESS || !changed) return result;
    WriteHive(*root_, text_);
    result = WriteFile(target, text_);
    if (result != ERROR_SUCCESS) {
        // The tree now holds a change the file does not. Handles may still hold it, so it
        // is dropped rather than mended: they see a new tree and look again, and the file
        // is read again.
        root_ = std::make_shared<Key>();
        Forget();
    }
    return result;
}

// Writes the new hive beside the target under a fresh name and renames it over the target.
// The name is created exclusively and never followed, so nothing planted under it, and no
// descriptor kept open on an earlier file, reaches the new hive.
long HiveStore::WriteFile(const std::string& target, const std::string& text) {
    // The status Refresh saw under the lock: the file replaced, if there is one.
    const std::optional<struct stat> old = seen_;
    const mode_t mode = old ? old->st_mode & 0777 : kNewHiveMode;

    std::string temporary;
    Descriptor file(-1);
    for (int attempt = 0; attempt < 100 && file.get() < 0; ++attempt) {
        temporary = target + std::string(kTemporaryInfix) + UniqueSuffix();
        file =
            Descriptor(open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                            S_IRUSR | S_IWUSR));
        if (file.get() < 0 && errno != EEXIST) return WriteError(errno);
    }
    if (file.get() < 0) return ERROR_WRITE_FAULT;
    struct stat written;
    if ((old && !KeepOwner(file.get(), *old)) || fchmod(file.get(), mode) != 0 ||
        !WriteAll(file.get(), text) || fsync(file.get()) != 0 || fstat(file.get(), &written) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return WriteError(error);
    }
    if (close(file.release()) != 0 || rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return WriteError(error);
    }
    // The rename itself must survive a crash too.
    Descriptor directory(open(DirectoryOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) fsync(directory.get());

    known_ = true;
    missing_ = false;
    identity_ = IdentityOf(written);
    status_ = ERROR_SUCCESS;
    seen_.reset();  // a new file: the next check asks again
    return ERROR_SUCCESS;
}

}  // namespace marrowick::platform
