#include "hive_fixture.h"

#include <sys/stat.h>
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

}  // namespace marrowick::test
