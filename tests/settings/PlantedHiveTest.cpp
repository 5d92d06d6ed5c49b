// Values planted in the hive's text are what the registry then holds: every type, size and
// character the settings tests plant reads back exactly.
#include "stdafx.h"

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include <string>

#include "ChangeSet.h"
#include "RegistryProbe.h"
#include "hive_fixture.h"

namespace marrowick::test {
namespace {

class PlantedHiveTest : public HiveTest {};

TEST_F(PlantedHiveTest, EveryPlantedValueReadsBackWithItsTypeAndBytes) {
    const struct {
        const char* key;
        std::string name;
        DWORD type;
        std::string bytes;
    } cases[] = {
        {"Software\\P", "plain", REG_SZ, std::string("text/plain", 11)},
        {"Software\\P", "quote \"and\\ back", REG_SZ, std::string("a\"b\\c", 6)},
        {"Software\\P", "", REG_SZ, std::string("default", 8)},
        {"Software\\P", "umlaut", REG_SZ,
         std::string("Gr\xC3\xB6\xC3\x9F"
                     "e",
                     8)},
        {"Software\\P", "embedded", REG_SZ, std::string("ab\0cd", 6)},
        {"Software\\P", "unterminated", REG_SZ, "xyz"},
        {"Software\\P", "empty", REG_SZ, ""},
        {"Software\\P\\Deep", "dword", REG_DWORD, std::string("\x78\x56\x34\x12", 4)},
        {"Software\\P\\Deep", "short dword", REG_DWORD, std::string("\x01\x02\x03", 3)},
        {"Software\\P\\Deep", "binary", REG_BINARY, std::string("\x00\xff\x10", 3)},
        {"Software\\P\\Deep", "long", REG_SZ, std::string(5000, 'q') + '\0'},
        {"Software\\Q", "odd type", 0x1234, "?"},
    };
    for (const auto& c : cases) hive.PlantValue(c.key, c.name, c.type, c.bytes);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<StoredValue> stored = QueryValue(c.key, c.name.c_str());
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->type, c.type);
        EXPECT_EQ(stored->bytes, c.bytes);
    }
}

TEST_F(PlantedHiveTest, KeysAndNamesInAnotherLetterCaseAreTheSame) {
    hive.PlantString("Software\\Vendor", "Name", "first");
    hive.PlantDword("SOFTWARE\\vendor", "NAME", 7);
    hive.PlantKey("software\\VENDOR\\Empty");
    EXPECT_EQ(QueryValue("Software\\Vendor", "name")->bytes, std::string("\x07\0\0\0", 4));
    EXPECT_TRUE(KeyExists("Software\\Vendor\\Empty"));
}

TEST_F(PlantedHiveTest, PlantingOverWhatTheCodeWroteFailsTheTest) {
    const std::string key = "Software\\TAVIK\\Brisvandale\\Pallisander\\Other";
    hive.PlantString(key, "Before", "x");
    ASSERT_TRUE(ApplyChangeSet({SetStringChange(key, "Code", "y")}).Applied());
    EXPECT_NONFATAL_FAILURE(hive.PlantString(key, "After", "z"), "plant first");
}

}  // namespace
}  // namespace marrowick::test
