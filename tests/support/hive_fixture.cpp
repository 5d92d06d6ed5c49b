#include "hive_fixture.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace marrowick::test {

namespace {
constexpr const char* kVariable = "MARROWICK_HKLM";
}

TemporaryHive::TemporaryHive() {
    std::string pattern = (std::filesystem::temp_directory_path() / "marrowick-hive-XXXXXX");
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    if (mkdtemp(buffer.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
    directory_ = buffer.data();
    chmod(directory_.c_str(), 0755);
    path_ = directory_ + "/HKLM.reg";
    if (const char* previous = std::getenv(kVariable)) previousEnvironment_ = previous;
    setenv(kVariable, path_.c_str(), 1);
}

TemporaryHive::~TemporaryHive() {
    if (previousEnvironment_)
        setenv(kVariable, previousEnvironment_->c_str(), 1);
    else
        unsetenv(kVariable);
    std::error_code ignored;
    std::filesystem::remove_all(directory_, ignored);
}

void TemporaryHive::WriteText(const std::string& text) const {
    std::ofstream out(path_, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush()) throw std::runtime_error("cannot write " + path_);
}

std::string TemporaryHive::ReadText() const {
    std::ifstream in(path_, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool TemporaryHive::Exists() const {
    return std::filesystem::exists(path_);
}

HeldLock::HeldLock(const TemporaryHive& hive) {
    const std::string lock = hive.Path() + ".lock";
    int ready[2];
    int release[2];
    if (pipe(ready) != 0) return;
    if (pipe(release) != 0) {
        close(ready[0]);
        close(ready[1]);
        return;
    }
    holder_ = fork();
    if (holder_ == 0) {
        close(ready[0]);
        close(release[1]);
        const int fd = open(lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        const char answer = fd >= 0 && flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
        if (write(ready[1], &answer, 1) != 1) _exit(1);
        char ignored;
        while (read(release[0], &ignored, 1) > 0) {
        }
        _exit(0);
    }
    close(ready[1]);
    close(release[0]);
    release_ = release[1];
    char answer = 'n';
    held_ = holder_ > 0 && read(ready[0], &answer, 1) == 1 && answer == 'y';
    close(ready[0]);
}

HeldLock::~HeldLock() {
    if (release_ >= 0) close(release_);
    if (holder_ > 0) waitpid(holder_, nullptr, 0);
}

}  // namespace marrowick::test
