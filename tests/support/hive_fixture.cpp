#include "hive_fixture.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
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

namespace {

// Registry names compare ignoring letter case; ASCII is enough for the paths tests plant.
bool SameName(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto x = static_cast<unsigned char>(a[i]);
        const auto y = static_cast<unsigned char>(b[i]);
        if (std::tolower(x) != std::tolower(y)) return false;
    }
    return true;
}

constexpr std::uint32_t kStringType = 1;  // REG_SZ
constexpr std::uint32_t kDwordType = 4;   // REG_DWORD

void AppendQuoted(std::string& out, std::string_view text) {
    out += '"';
    for (const char c : text) {
        if (c == '"' || c == '\\') out += '\\';
        out += c;
    }
    out += '"';
}

// A REG_SZ of printable ASCII with one closing NUL is written "quoted"; the hive reads
// anything else from hex(type): bytes exactly as given.
bool QuotedForm(std::uint32_t type, std::string_view bytes) {
    if (type != kStringType || bytes.empty() || bytes.back() != '\0') return false;
    for (const char c : bytes.substr(0, bytes.size() - 1)) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x7F) return false;
    }
    return true;
}

void AppendData(std::string& out, std::uint32_t type, std::string_view bytes) {
    static constexpr char kHex[] = "0123456789abcdef";
    if (QuotedForm(type, bytes)) {
        AppendQuoted(out, bytes.substr(0, bytes.size() - 1));
        return;
    }
    if (type == kDwordType && bytes.size() == 4) {
        char digits[9];
        std::uint32_t number = 0;
        for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<unsigned char>(bytes[i]);
        std::snprintf(digits, sizeof digits, "%08x", number);
        out += "dword:";
        out += digits;
        return;
    }
    char typeDigits[9];
    std::snprintf(typeDigits, sizeof typeDigits, "%x", type);
    out += "hex(";
    out += typeDigits;
    out += "):";
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0) out += ',';
        const auto byte = static_cast<unsigned char>(bytes[i]);
        out += kHex[byte >> 4];
        out += kHex[byte & 0xF];
    }
}

}  // namespace

TemporaryHive::PlantedKey& TemporaryHive::PlantedKeyAt(std::string_view keyPath) {
    for (PlantedKey& key : planted_) {
        if (SameName(key.path, keyPath)) return key;
    }
    planted_.push_back({std::string(keyPath), {}});
    return planted_.back();
}

void TemporaryHive::PlantValue(std::string_view keyPath, std::string_view name, std::uint32_t type,
                               std::string_view bytes) {
    std::vector<PlantedValue>& values = PlantedKeyAt(keyPath).values;
    auto same = std::find_if(values.begin(), values.end(),
                             [&](const PlantedValue& value) { return SameName(value.name, name); });
    if (same == values.end()) {
        values.push_back({std::string(name), type, std::string(bytes)});
    } else {
        *same = {std::string(name), type, std::string(bytes)};
    }
    WritePlanted();
}

void TemporaryHive::PlantString(std::string_view keyPath, std::string_view name,
                                std::string_view text) {
    std::string bytes(text);
    bytes += '\0';
    PlantValue(keyPath, name, kStringType, bytes);
}

void TemporaryHive::PlantDword(std::string_view keyPath, std::string_view name,
                               std::uint32_t value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    PlantValue(keyPath, name, kDwordType, bytes);
}

void TemporaryHive::PlantKey(std::string_view keyPath) {
    PlantedKeyAt(keyPath);
    WritePlanted();
}

std::string TemporaryHive::PlantedText() const {
    std::string text = "REGEDIT4\n";
    for (const PlantedKey& key : planted_) {
        text += "\n[HKEY_LOCAL_MACHINE\\" + key.path + "]\n";
        for (const PlantedValue& value : key.values) {
            if (value.name.empty()) {
                text += '@';
            } else {
                AppendQuoted(text, value.name);
            }
            text += '=';
            AppendData(text, value.type, value.bytes);
            text += '\n';
        }
    }
    return text;
}

void TemporaryHive::WritePlanted() {
    if (lastPlantedText_ ? ReadText() != *lastPlantedText_ : Exists()) {
        ADD_FAILURE() << "Planting over a hive the code under test has written; plant first";
    }
    lastPlantedText_ = PlantedText();
    WriteText(*lastPlantedText_);
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
