// A temporary hive for tests that touch the registry.
//
//   class MyTest : public marrowick::test::HiveTest {};   // or hold a TemporaryHive
//   TEST_F(MyTest, Something) {
//       hive.WriteText("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software]\n");
//       ... call the registry functions ...
//       std::string text = hive.ReadText();
//   }
//
// Settings another writer left are planted as such a writer leaves them, in the hive
// file's text, not through the code under test:
//
//   hive.PlantDword("Software\\Vendor\\Product", "Count", 3);
//   hive.PlantValue("Software\\Vendor\\Product", "Odd", 4, std::string("\x01\x02", 2));
//
// The hive file does not exist until something writes it (a missing hive is an empty
// registry). Its directory is world-readable (0755) so that code run through
// RunAsUnprivilegedUser can read it but not write to it.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marrowick::test {

class TemporaryHive {
public:
    // Creates a fresh directory and points MARROWICK_HKLM at "HKLM.reg" inside it.
    TemporaryHive();
    // Restores the previous MARROWICK_HKLM and removes the directory with its contents.
    ~TemporaryHive();
    TemporaryHive(const TemporaryHive&) = delete;
    TemporaryHive& operator=(const TemporaryHive&) = delete;

    const std::string& Directory() const { return directory_; }
    const std::string& Path() const { return path_; }

    // Replaces the hive file with exactly these bytes.
    void WriteText(const std::string& text) const;
    // The hive file's bytes; "" when it does not exist.
    std::string ReadText() const;
    bool Exists() const;

    // Plants a value of any type and size below HKEY_LOCAL_MACHINE: the hive file is
    // written anew, in its text form, with every key and value planted so far (key paths
    // compared ignoring ASCII letter case, as the registry does). Plant before the code
    // under test writes: planting over what it wrote would lose that, so it fails the
    // test instead.
    void PlantValue(std::string_view keyPath, std::string_view name, std::uint32_t type,
                    std::string_view bytes);
    void PlantString(std::string_view keyPath, std::string_view name, std::string_view text);
    void PlantDword(std::string_view keyPath, std::string_view name, std::uint32_t value);
    void PlantKey(std::string_view keyPath);  // empty unless values are planted in it

    // The hive text of what has been planted.
    std::string PlantedText() const;

private:
    struct PlantedValue {
        std::string name;
        std::uint32_t type;
        std::string bytes;
    };
    struct PlantedKey {
        std::string path;
        std::vector<PlantedValue> values;
    };
    PlantedKey& PlantedKeyAt(std::string_view keyPath);
    void WritePlanted();

    std::string directory_;
    std::string path_;
    std::optional<std::string> previousEnvironment_;
    std::vector<PlantedKey> planted_;
    std::optional<std::string> lastPlantedText_;  // what planting last wrote
};

// Holds the writers' lock of a hive from another process until destroyed, as a writer
// that hangs would.
class HeldLock {
public:
    explicit HeldLock(const TemporaryHive& hive);
    ~HeldLock();
    HeldLock(const HeldLock&) = delete;
    HeldLock& operator=(const HeldLock&) = delete;
    // Whether the other process has the lock.
    bool Held() const { return held_; }

private:
    int holder_ = -1;
    int release_ = -1;  // closing it lets the holder go
    bool held_ = false;
};

// Fixture giving each test its own empty hive.
class HiveTest : public ::testing::Test {
protected:
    TemporaryHive hive;
};

}  // namespace marrowick::test
