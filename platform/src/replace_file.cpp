#include "replace_file.h"

#include <fcntl.h>
#include <sys/random.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>

#include "descriptor.h"

namespace marrowick::platform {

namespace {

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

bool WriteAll(int fd, const std::vector<std::string_view>& pieces) {
    std::vector<iovec> rest;
    for (const std::string_view piece : pieces) {
        if (!piece.empty()) rest.push_back({const_cast<char*>(piece.data()), piece.size()});
    }
    std::size_t next = 0;
    while (next < rest.size()) {
        const int count = static_cast<int>(std::min<std::size_t>(rest.size() - next, IOV_MAX));
        ssize_t written = writev(fd, rest.data() + next, count);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        // Past what was written whole, then into the piece written in part.
        for (; next < rest.size() && static_cast<std::size_t>(written) >= rest[next].iov_len;
             ++next) {
            written -= static_cast<ssize_t>(rest[next].iov_len);
        }
        if (written > 0) {
            rest[next].iov_base = static_cast<char*>(rest[next].iov_base) + written;
            rest[next].iov_len -= static_cast<std::size_t>(written);
        }
    }
    return true;
}

// Gives the new file its mode, then its owner and group as far as we may. The mode goes
// first: once the file is another's, changing it would take CAP_FOWNER, and a service that
// keeps a hive's owner needs no more than CAP_CHOWN. Without a group of its own the file
// loses the group's bits.
bool GiveAway(int fd, const FileRights& rights) {
    const mode_t mode = rights.mode & 07777;
    if (fchmod(fd, mode) != 0) return false;
    const uid_t keep = static_cast<uid_t>(-1);
    if (rights.owner == keep && rights.group == static_cast<gid_t>(-1)) return true;
    if (fchown(fd, rights.owner, rights.group) == 0) return true;
    if (errno != EPERM) return false;
    if (rights.group != static_cast<gid_t>(-1) && fchown(fd, keep, rights.group) == 0) return true;
    if (errno != EPERM) return false;
    return fchmod(fd, mode & ~static_cast<mode_t>(S_IRWXG)) == 0;
}

}  // namespace

int ReplaceFileAt(int directory, const std::string& name, const std::string& bytes,
                  const FileRights& rights, struct stat* written) {
    return ReplaceFileAt(directory, name, std::vector<std::string_view>{bytes}, rights, written);
}

int ReplaceFileAt(int directory, const std::string& name,
                  const std::vector<std::string_view>& bytes, const FileRights& rights,
                  struct stat* written) {
    if (name.empty() || name.find('/') != std::string::npos) return EINVAL;
    std::string temporary;
    Descriptor file;
    for (int attempt = 0; attempt < 100 && file.get() < 0; ++attempt) {
        temporary = name + std::string(kTemporaryInfix) + UniqueSuffix();
        file = Descriptor(openat(directory, temporary.c_str(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                                 S_IRUSR | S_IWUSR));
        if (file.get() < 0 && errno != EEXIST) return errno;
    }
    if (file.get() < 0) return EEXIST;
    struct stat status;
    errno = 0;
    if (!GiveAway(file.get(), rights) || !WriteAll(file.get(), bytes) || fsync(file.get()) != 0 ||
        fstat(file.get(), &status) != 0 || close(file.release()) != 0 ||
        renameat(directory, temporary.c_str(), directory, name.c_str()) != 0) {
        const int error = errno ? errno : EIO;
        unlinkat(directory, temporary.c_str(), 0);
        return error;
    }
    // The rename itself must survive a crash too; `directory` may be open for its path only.
    const Descriptor flushable(openat(directory, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (flushable.get() >= 0) fsync(flushable.get());
    if (written) *written = status;
    return 0;
}

int ReplaceFile(const std::string& path, const std::string& bytes, const FileRights& rights) {
    const std::size_t slash = path.rfind('/');
    const std::string directory =
        slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    const Descriptor opened(open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC));
    if (opened.get() < 0) return errno;
    return ReplaceFileAt(opened.get(), slash == std::string::npos ? path : path.substr(slash + 1),
                         bytes, rights);
}

bool IsTemporaryFileOf(std::string_view entry, std::string_view name) {
    if (!entry.starts_with(name)) return false;
    entry.remove_prefix(name.size());
    if (!entry.starts_with(kTemporaryInfix)) return false;
    entry.remove_prefix(kTemporaryInfix.size());
    return entry.size() == kUniqueCharacters &&
           entry.find_first_not_of(kNameCharacters) == std::string_view::npos;
}

}  // namespace marrowick::platform
