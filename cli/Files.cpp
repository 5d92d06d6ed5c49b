#include "Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "hive_file.h"
#include "replace_file.h"

namespace marrowick::cli {

namespace {

constexpr off_t kMaxFileBytes = off_t(256) << 20;

}  // namespace

bool ReadWholeFile(const std::string& path, std::string& bytes) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) return false;
    struct ::stat status;
    bool ok =
        ::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_size <= kMaxFileBytes;
    // Read into room for the size the file has now (one byte more, to see its end without
    // growing); a file that grows meanwhile is read on up to the limit.
    std::size_t size = 0;
    bytes.resize(ok ? static_cast<std::size_t>(status.st_size) + 1 : 0);
    while (ok) {
        if (size == bytes.size()) bytes.resize(std::min(2 * size, std::size_t(kMaxFileBytes) + 1));
        const ssize_t n = ::read(fd, bytes.data() + size, bytes.size() - size);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) ok = false;
        if (n <= 0) break;
        size += static_cast<std::size_t>(n);
        if (size > std::size_t(kMaxFileBytes)) ok = false;
    }
    bytes.resize(size);
    ::close(fd);
    return ok;
}

bool IsTheHive(const std::string& path) {
    platform::HiveFile hive;
    platform::DescribeHiveFile(hive);
    struct ::stat status;
    if (::lstat(path.c_str(), &status) != 0) return false;
    for (const auto& [device, inode] : hive.entries) {
        if (status.st_dev == device && status.st_ino == inode) return true;
    }
    return false;
}

bool WriteFileReplacing(const std::string& path, const std::string& bytes) {
    platform::HiveFile hive;
    platform::DescribeHiveFile(hive);
    platform::FileRights rights;
    rights.mode = hive.rights.mode & 0644;
    rights.group = hive.rights.group;
    return platform::ReplaceFile(path, bytes, rights) == 0;
}

}  // namespace marrowick::cli
