#include "stdafx.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <memory>
#include <string>

#include "RegManager.h"
#include "RegistryProbe.h"
#include "hive_fixture.h"
#include "unprivileged.h"

namespace marrowick::test {
namespace {

const LPCSTR kKey = "Software\\Probe\\Deep\\Key";

class RegManagerTest : public HiveTest {
protected:
    static MimeEntryArray OneEntry() {
        MimeEntryArray entries;
        entries.Add(MimeEntry{"kept", "text/kept"});
        return entries;
    }
};

TEST(RegManagerClassTest, IsCreatedDynamicallyAsACommandTarget) {
    const CRuntimeClass* record = RUNTIME_CLASS(CRegManager);
    EXPECT_STREQ(record->m_lpszClassName, "CRegManager");
    EXPECT_EQ(record->m_pBaseClass, RUNTIME_CLASS(CCmdTarget));
    EXPECT_EQ(record->m_wSchema, 0xFFFFu);
    EXPECT_EQ(record->m_nObjectSize, static_cast<int>(sizeof(CRegManager)));

    std::unique_ptr<CObject> object(record->CreateObject());
    ASSERT_NE(object, nullptr);
    EXPECT_NE(dynamic_cast<CRegManager*>(object.get()), nullptr);
    EXPECT_EQ(object->GetRuntimeClass(), record);
    EXPECT_TRUE(object->IsKindOf(RUNTIME_CLASS(CRegManager)));
    EXPECT_TRUE(object->IsKindOf(RUNTIME_CLASS(CCmdTarget)));
    EXPECT_TRUE(object->IsKindOf(RUNTIME_CLASS(CObject)));
}

TEST_F(RegManagerTest, ReadingAMissingKeyGivesDefaultsAndCreatesNothing) {
    hive.PlantString("Software\\Probe", "other", "x");
    const std::string before = hive.ReadText();

    EXPECT_EQ(CRegManager::GetRegDWORD(HKEY_LOCAL_MACHINE, kKey, "Count", 42), 42u);
    EXPECT_EQ(CRegManager::GetRegString(HKEY_LOCAL_MACHINE, kKey, "Name", "fallback"), "fallback");
    MimeEntryArray entries = OneEntry();
    EXPECT_FALSE(CRegManager::EnumRegValues(HKEY_LOCAL_MACHINE, kKey, entries));
    EXPECT_EQ(entries.GetSize(), 1);

    EXPECT_FALSE(KeyExists(kKey));
    EXPECT_EQ(hive.ReadText(), before);
}

TEST_F(RegManagerTest, WritingCreatesTheWholeKeyPath) {
    EXPECT_TRUE(CRegManager::SetRegDWORD(HKEY_LOCAL_MACHINE, kKey, "Count", 0x01020304));
    EXPECT_TRUE(
        CRegManager::SetRegString(HKEY_LOCAL_MACHINE, "Software\\Other\\Path", "Name", "Größe"));

    std::optional<StoredValue> count = QueryValue(kKey, "Count");
    ASSERT_TRUE(count);
    EXPECT_EQ(count->type, DWORD(REG_DWORD));
    EXPECT_EQ(count->bytes, std::string("\x04\x03\x02\x01", 4));  // little-endian

    std::optional<StoredValue> name = QueryValue("Software\\Other\\Path", "Name");
    ASSERT_TRUE(name);
    EXPECT_EQ(name->type, DWORD(REG_SZ));
    EXPECT_EQ(name->bytes, std::string("Größe", sizeof("Größe")));  // NUL counted
}

TEST_F(RegManagerTest, DeletingFromAMissingKeyCreatesItAndFails) {
    EXPECT_FALSE(CRegManager::DeleteRegValue(HKEY_LOCAL_MACHINE, kKey, "absent"));
    EXPECT_TRUE(KeyExists(kKey));
}

TEST_F(RegManagerTest, NullTextDeletesAndEmptyTextStoresAnEmptyString) {
    hive.PlantString(kKey, "Name", "old");
    EXPECT_TRUE(CRegManager::SetRegString(HKEY_LOCAL_MACHINE, kKey, "Name", NULL));
    EXPECT_FALSE(QueryValue(kKey, "Name"));
    EXPECT_FALSE(CRegManager::SetRegString(HKEY_LOCAL_MACHINE, kKey, "Name", NULL));

    EXPECT_TRUE(CRegManager::SetRegString(HKEY_LOCAL_MACHINE, kKey, "Empty", ""));
    std::optional<StoredValue> empty = QueryValue(kKey, "Empty");
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->bytes, std::string(1, '\0'));
    EXPECT_EQ(CRegManager::GetRegString(HKEY_LOCAL_MACHINE, kKey, "Empty", "fallback"), "");
}

TEST_F(RegManagerTest, DwordIsReadFromExactlyFourBytesOfAnyType) {
    hive.PlantValue(kKey, "Binary", REG_BINARY, "\x78\x56\x34\x12");
    hive.PlantString(kKey, "Text", "abc");  // 'a' 'b' 'c' NUL
    hive.PlantValue(kKey, "Long", REG_DWORD, std::string("\x01\x00\x00\x00\x00", 5));
    hive.PlantValue(kKey, "Short", REG_DWORD, std::string("\x01\x02\x03", 3));
    hive.PlantValue(kKey, "Empty", REG_DWORD, "");

    EXPECT_EQ(CRegManager::GetRegDWORD(HKEY_LOCAL_MACHINE, kKey, "Binary", 7), 0x12345678u);
    EXPECT_EQ(CRegManager::GetRegDWORD(HKEY_LOCAL_MACHINE, kKey, "Text", 7), 0x00636261u);
    EXPECT_EQ(CRegManager::GetRegDWORD(HKEY_LOCAL_MACHINE, kKey, "Long", 7), 7u);
    // Short data would leave bytes undefined, so it counts as unreadable.
    EXPECT_EQ(CRegManager::GetRegDWORD(HKEY_LOCAL_MACHINE, kKey, "Short", 7), 7u);
    EXPECT_EQ(CRegManager::GetRegDWORD(HKEY_LOCAL_MACHINE, kKey, "Empty", 7), 7u);
    EXPECT_EQ(CRegManager::GetRegDWORD(HKEY_LOCAL_MACHINE, kKey, "Missing", 7), 7u);
}

TEST_F(RegManagerTest, StringEndsAtItsFirstNulOrWithItsData) {
    hive.PlantValue(kKey, "Embedded", REG_SZ, std::string("ab\0cd", 6));
    hive.PlantValue(kKey, "Unterminated", REG_BINARY, "xyz");
    hive.PlantValue(kKey, "Long", REG_SZ, std::string(5000, 'q') + '\0');

    EXPECT_EQ(CRegManager::GetRegString(HKEY_LOCAL_MACHINE, kKey, "Embedded", "-"), "ab");
    EXPECT_EQ(CRegManager::GetRegString(HKEY_LOCAL_MACHINE, kKey, "Unterminated", "-"), "xyz");
    EXPECT_EQ(CRegManager::GetRegString(HKEY_LOCAL_MACHINE, kKey, "Long", "-").str(),
              std::string(5000, 'q'));
    EXPECT_EQ(CRegManager::GetRegString(HKEY_LOCAL_MACHINE, kKey, "Missing", "-"), "-");
}

TEST_F(RegManagerTest, EnumerationAppendsEveryValueHoweverLong) {
    const std::string longType = "application/" + std::string(288, 'x');  // 300 bytes + NUL
    const std::string longName(300, 'n');
    hive.PlantString(kKey, "first", "text/first");
    hive.PlantString(kKey, "long", longType);
    hive.PlantString(kKey, "second", "text/second");
    hive.PlantString(kKey, longName.c_str(), "text/long-name");
    hive.PlantString(kKey, "third", "text/third");
    hive.PlantValue(kKey, "binary", REG_BINARY, std::string("a/b\0junk", 8));

    MimeEntryArray entries = OneEntry();
    EXPECT_FALSE(CRegManager::EnumRegValues(HKEY_LOCAL_MACHINE, kKey, entries));

    ASSERT_EQ(entries.GetSize(), 7);
    EXPECT_EQ(entries[0].strExtension, "kept");
    EXPECT_EQ(entries[2].strMimeType.str(), longType);
    EXPECT_EQ(entries[4].strExtension.str(), longName);
    EXPECT_EQ(entries[4].strMimeType, "text/long-name");
    EXPECT_EQ(entries[6].strExtension, "binary");
    EXPECT_EQ(entries[6].strMimeType, "a/b");
    std::string names;
    for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
        names += entries[i].strExtension.Left(6).str() + ",";
    }
    EXPECT_EQ(names, "kept,first,long,second,nnnnnn,third,binary,");
}

TEST_F(RegManagerTest, LongMultibyteNameHidesNoLaterValue) {
    std::string longName;
    for (int i = 0; i < 9000; ++i) longName += "ä";  // 9,000 characters, 18,000 bytes
    hive.PlantString(kKey, "before", "text/before");
    hive.PlantString(kKey, longName.c_str(), "text/long");
    hive.PlantString(kKey, "after", "text/after");
    hive.PlantString(kKey, "last", "text/last");

    MimeEntryArray entries;
    CRegManager::EnumRegValues(HKEY_LOCAL_MACHINE, kKey, entries);

    ASSERT_EQ(entries.GetSize(), 4);
    EXPECT_EQ(entries[1].strExtension.str(), longName);
    EXPECT_EQ(entries[1].strMimeType, "text/long");
    EXPECT_EQ(entries[2].strExtension, "after");
    EXPECT_EQ(entries[3].strExtension, "last");
    EXPECT_EQ(entries[3].strMimeType, "text/last");
}

// A name no registry function can create, written by hand, would hide every mapping
// enumerated after it; the hive is reported unreadable instead, and kept as it is.
TEST_F(RegManagerTest, NameBeyondWindowsLimitsHidesNoMappingsSilently) {
    hive.WriteText(std::string("REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\") + kKey +
                   "]\n\"a\"=\"text/a\"\n\"" + std::string(70000, 'n') +
                   "\"=\"x\"\n\"z\"=\"text/z\"\n");
    const std::string before = hive.ReadText();
    MimeEntryArray entries;
    CRegManager::EnumRegValues(HKEY_LOCAL_MACHINE, kKey, entries);
    EXPECT_EQ(entries.GetSize(), 0);
    EXPECT_FALSE(CRegManager::SetRegString(HKEY_LOCAL_MACHINE, kKey, "z", "text/neu"));
    EXPECT_EQ(hive.ReadText(), before);
}

// Codes the unprivileged child returns, so a failure says which check failed.
enum ReadOnlyCheck { kAllSeen = 0, kDwordDefaulted, kStringDefaulted, kEnumEmpty, kWriteTaken };

TEST_F(RegManagerTest, UserWithoutWriteAccessReadsTheStoredValues) {
    hive.PlantValue(kKey, "Count", REG_DWORD, std::string("\x2a\x00\x00\x00", 4));
    hive.PlantString(kKey, "Name", "stored");
    // Read-only for the owner too, so the check holds when the tests do not run as root.
    ASSERT_EQ(chmod(hive.Path().c_str(), 0444), 0);
    const std::string before = hive.ReadText();

    int status = RunAsUnprivilegedUser([] {
        if (CRegManager::GetRegDWORD(HKEY_LOCAL_MACHINE, kKey, "Count", 7) != 42) {
            return kDwordDefaulted;
        }
        if (CRegManager::GetRegString(HKEY_LOCAL_MACHINE, kKey, "Name", "-") != "stored") {
            return kStringDefaulted;
        }
        MimeEntryArray entries;
        CRegManager::EnumRegValues(HKEY_LOCAL_MACHINE, kKey, entries);
        if (entries.GetSize() != 2) return kEnumEmpty;
        if (CRegManager::SetRegDWORD(HKEY_LOCAL_MACHINE, kKey, "Count", 1)) return kWriteTaken;
        return kAllSeen;
    });

    EXPECT_EQ(status, kAllSeen);
    EXPECT_EQ(hive.ReadText(), before);
}

}  // namespace
}  // namespace marrowick::test
