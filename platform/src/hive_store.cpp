#include "hive_store.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <windows.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
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

bool ReadAll(int fd, std::string& text) {
    char buffer[65536];
    while (true) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return false;
        if (got == 0) return true;
        text.append(buffer, static_cast<std::size_t>(got));
    }
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
    return Load();
}

long HiveStore::Load() {
    Forget();
    Descriptor file(open(path_.c_str(), O_RDONLY | O_CLOEXEC));
    if (file.get() < 0) return errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_BADDB;
    struct stat status;
    std::string text;
    if (fstat(file.get(), &status) != 0 || !ReadAll(file.get(), text)) return ERROR_BADDB;
    std::unique_ptr<Key> root = ParseHive(text);
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
    const std::string directory = DirectoryOf(path_);
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
    // the hive is only ever replaced whole. Locking needs no write access to the lock
    // file, so one created by another user serves as well.
    const std::string lockPath = path_ + ".lock";
    Descriptor lock(open(lockPath.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, kNewHiveMode));
    if (lock.get() < 0) return WriteError(errno);
    while (flock(lock.get(), LOCK_EX) != 0) {
        if (errno != EINTR) return WriteError(errno);
    }
    // Another process may have written since we last looked.
    result = Refresh();
    if (result != ERROR_SUCCESS) return result;

    bool changed = false;
    result = change(*root_, changed);
    if (result != ERROR_SUCCESS || !changed) return result;
    result = WriteFile(WriteHive(*root_));
    if (result != ERROR_SUCCESS) {
        // The tree now holds a change the file does not. Handles may still hold it, so it
        // is dropped rather than mended: they see a new tree and look again, and the file
        // is read again.
        root_ = std::make_shared<Key>();
        Forget();
    }
    return result;
}

// Writes the new hive beside the old one and renames it over it. Only the holder of the
// lock writes the temporary file, so one fixed name suffices and a writer that was killed
// leaves nothing behind that the next one does not overwrite.
long HiveStore::WriteFile(const std::string& text) {
    const std::string temporary = path_ + ".tmp";
    struct stat old;
    const bool replacing = stat(path_.c_str(), &old) == 0;
    const mode_t mode = replacing ? old.st_mode & 0777 : kNewHiveMode;

    Descriptor file(
        open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, mode));
    if (file.get() < 0) return WriteError(errno);
    struct stat written;
    if ((replacing && !KeepOwner(file.get(), old)) || fchmod(file.get(), mode) != 0 ||
        !WriteAll(file.get(), text) || fsync(file.get()) != 0 || fstat(file.get(), &written) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return WriteError(error);
    }
    if (close(file.release()) != 0 || rename(temporary.c_str(), path_.c_str()) != 0) {
        const int error = errno;
        unlink(temporary.c_str());
        return WriteError(error);
    }
    // The rename itself must survive a crash too.
    Descriptor directory(open(DirectoryOf(path_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() >= 0) fsync(directory.get());

    known_ = true;
    missing_ = false;
    identity_ = IdentityOf(written);
    status_ = ERROR_SUCCESS;
    seen_.reset();  // a new file: the next check asks again
    return ERROR_SUCCESS;
}

}  // namespace marrowick::platform
