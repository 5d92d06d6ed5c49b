#include "stdafx.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

#include "RegistryProbe.h"
#include "ViewerSettings.h"
#include "hive_fixture.h"

namespace marrowick::test {
namespace {

const LPCSTR kMimeMapKey = "Software\\TAVIK\\Brisvandale\\Pallisander\\MimeMap";

typedef std::vector<std::pair<std::string, std::string>> Mappings;

Mappings AsMappings(const MimeEntryArray& entries) {
    Mappings mappings;
    for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
        mappings.emplace_back(entries[i].strExtension.str(), entries[i].strMimeType.str());
    }
    return mappings;
}

class MimeMapTest : public HiveTest {
protected:
    Mappings Load() {
        MimeEntryArray entries;
        EXPECT_TRUE(settings.GetMimeMap(entries));
        return AsMappings(entries);
    }

    CViewerSettings settings;
};

TEST_F(MimeMapTest, LoadsSortedByExtensionIgnoringCase) {
    hive.PlantString(kMimeMapKey, "txt", "text/plain");
    hive.PlantString(kMimeMapKey, "HTM", "text/html");
    hive.PlantString(kMimeMapKey, "doc", "application/msword");

    EXPECT_EQ(
        Load(),
        (Mappings{{"doc", "application/msword"}, {"HTM", "text/html"}, {"txt", "text/plain"}}));
}

TEST_F(MimeMapTest, MissingOrEmptyMapLoadsEmptyWithoutCreatingIt) {
    EXPECT_TRUE(Load().empty());
    EXPECT_FALSE(KeyExists(kMimeMapKey));
    EXPECT_FALSE(hive.Exists());

    hive.PlantString("Software\\TAVIK\\Brisvandale\\Pallisander", "TopDay", "x");
    EXPECT_TRUE(Load().empty());
    EXPECT_FALSE(KeyExists(kMimeMapKey));

    // The key exists but holds no mapping yet.
    hive.PlantKey(kMimeMapKey);
    const std::string before = hive.ReadText();
    EXPECT_TRUE(Load().empty());
    EXPECT_EQ(hive.ReadText(), before);
}

TEST_F(MimeMapTest, LongMimeTypeHidesNoMapping) {
    const std::string longType = "application/vnd." + std::string(284, 'x');
    hive.PlantString(kMimeMapKey, "a", "text/a");
    hive.PlantString(kMimeMapKey, "long", longType);
    hive.PlantString(kMimeMapKey, "b", "text/b");
    hive.PlantString(kMimeMapKey, "z", "text/z");

    EXPECT_EQ(Load(),
              (Mappings{{"a", "text/a"}, {"b", "text/b"}, {"long", longType}, {"z", "text/z"}}));
}

// The table the list loads into holds what the array holds, in the same order and refilled
// afresh, whatever the texts: not UTF-8, empty, cut at a NUL in the data, and long enough to
// need blocks of their own or to start new ones.
TEST_F(MimeMapTest, TableHoldsWhatTheArrayHolds) {
    const std::vector<std::pair<std::string, std::string>> stored = {
        {"txt", "text/plain"},
        {"\xc3\x96l", "text/\xc3\xa4"},
        {"\xff", "x/raw\xfe"},
        {"empty", ""},
        {"half", "application/" + std::string(40 * 1024, 'h')},
        {std::string(300, 'n'), "application/" + std::string(70 * 1024, 'l')},
        {"third", "application/" + std::string(30 * 1024, 't')},
        {"DOC", "application/msword"},
    };
    for (const auto& [extension, type] : stored)
        hive.PlantString(kMimeMapKey, extension.c_str(), type);
    hive.PlantValue(kMimeMapKey, "cut", REG_SZ, std::string("text/a\0hidden", 14));

    CMimeMapTable table;
    table.Add("stale", "x/stale");
    ASSERT_TRUE(settings.GetMimeMap(table));
    Mappings fromTable;
    for (INT_PTR i = 0; i < table.GetSize(); ++i) {
        const std::string_view extension = table.Extension(i);
        const std::string_view type = table.MimeType(i);
        // Each text is also a C string.
        EXPECT_EQ(extension.data()[extension.size()], '\0');
        EXPECT_EQ(type.data()[type.size()], '\0');
        const MimeEntry entry = table.GetEntry(i);
        EXPECT_EQ(entry.strExtension.str(), extension);
        EXPECT_EQ(entry.strMimeType.str(), type);
        fromTable.emplace_back(extension, type);
    }
    EXPECT_EQ(fromTable, Load());
    EXPECT_EQ(fromTable.size(), stored.size() + 1);
    EXPECT_TRUE(table.HasExtension("\xc3\x96L"));
    EXPECT_TRUE(table.HasExtension("doc"));
    EXPECT_FALSE(table.HasExtension("stale"));
}

TEST_F(MimeMapTest, AddStoresTheExtensionAsTypedAndReplacesAnyLetterCase) {
    BOOL written = FALSE;
    EXPECT_TRUE(settings.AddMimeType("pdf", "application/pdf", &written));
    EXPECT_TRUE(written);
    EXPECT_EQ(QueryValue(kMimeMapKey, "pdf")->bytes, std::string("application/pdf", 16));

    EXPECT_TRUE(settings.AddMimeType("pdf", "application/x-pdf"));
    EXPECT_EQ(Load(), (Mappings{{"pdf", "application/x-pdf"}}));

    // Registry names ignore case: PDF names the same mapping.
    EXPECT_TRUE(settings.AddMimeType("PDF", "application/acrobat"));
    Mappings loaded = Load();
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(loaded[0].second, "application/acrobat");

    EXPECT_TRUE(settings.AddMimeType(".Tar.GZ", "application/gzip"));
    EXPECT_EQ(Load()[0].first, ".Tar.GZ");
}

TEST_F(MimeMapTest, ChangeToAnEmptyTypeKeepsTheMapping) {
    hive.PlantString(kMimeMapKey, "doc", "application/msword");
    hive.PlantString(kMimeMapKey, "txt", "text/plain");

    BOOL written = FALSE;
    EXPECT_TRUE(settings.ChangeMimeType("doc", "", &written));
    EXPECT_TRUE(written);
    EXPECT_EQ(Load(), (Mappings{{"doc", ""}, {"txt", "text/plain"}}));
    EXPECT_EQ(QueryValue(kMimeMapKey, "doc")->type, DWORD(REG_SZ));
}

TEST_F(MimeMapTest, DeleteRemovesOnlyThatMapping) {
    hive.PlantString(kMimeMapKey, "doc", "application/msword");
    hive.PlantString(kMimeMapKey, "txt", "text/plain");

    BOOL written = FALSE;
    EXPECT_TRUE(settings.DeleteMimeType("DOC", &written));
    EXPECT_TRUE(written);
    EXPECT_EQ(Load(), (Mappings{{"txt", "text/plain"}}));

    // Already gone (another copy of the program deleted it): the user's wish holds, so
    // it counts as done, and nothing else changes.
    const std::string before = hive.ReadText();
    written = FALSE;
    EXPECT_TRUE(settings.DeleteMimeType("doc", &written));
    EXPECT_TRUE(written);
    EXPECT_EQ(hive.ReadText(), before);
}

TEST_F(MimeMapTest, DeleteOfAMissingExtensionCreatesOnlyTheKey) {
    hive.PlantString("Software\\TAVIK\\Brisvandale\\Pallisander", "SortKey", "keep");

    EXPECT_TRUE(settings.DeleteMimeType("pdf"));

    EXPECT_TRUE(KeyExists(kMimeMapKey));
    EXPECT_TRUE(Load().empty());
    EXPECT_EQ(QueryValue("Software\\TAVIK\\Brisvandale\\Pallisander", "SortKey")->bytes,
              std::string("keep", 5));
}

TEST_F(MimeMapTest, RefusedWritesStillReturnTrueButReportIt) {
    hive.WriteText(CorruptHiveText());

    BOOL added = TRUE, changed = TRUE, deleted = TRUE;
    EXPECT_TRUE(settings.AddMimeType("pdf", "application/pdf", &added));
    EXPECT_TRUE(settings.ChangeMimeType("pdf", "application/x-pdf", &changed));
    EXPECT_TRUE(settings.DeleteMimeType("pdf", &deleted));
    EXPECT_FALSE(added);
    EXPECT_FALSE(changed);
    EXPECT_FALSE(deleted);
    EXPECT_EQ(hive.ReadText(), CorruptHiveText());
}

// The order the map has always had: a bubble sort that swaps only strictly greater
// neighbours, so equal extensions keep their order.
void BubbleSortByExtension(Mappings& mappings) {
    const int n = static_cast<int>(mappings.size());
    for (int pass = 0; n - 1 - pass >= 1; ++pass) {
        for (int j = 1; j <= n - 1 - pass; ++j) {
            if (_mbsicmp(reinterpret_cast<const unsigned char*>(mappings[j - 1].first.c_str()),
                         reinterpret_cast<const unsigned char*>(mappings[j].first.c_str())) > 0) {
                std::swap(mappings[j - 1], mappings[j]);
            }
        }
    }
}

int CompareNoCase(const char* a, const char* b) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a),
                    reinterpret_cast<const unsigned char*>(b));
}

TEST(SortMimeMapTest, GivesTheBubbleSortOrderOnRandomMaps) {
    // Groups of extensions that compare equal; without them stability is never tested. Also
    // bytes that are not UTF-8, and long names alike in their first eight or sixteen bytes.
    std::vector<std::string> pool = {
        "pdf",        "PDF", "Pdf", "doc",  "DOC",   "txt",         "htm",         "HTM",
        "html",       "ä",   "Ä",   "äb",   "ÄB",    "öl",          "ÖL",          "Öl",
        "ü",          "Ü",   "é",   "É",    "a",     "A",           "b",           "z",
        "Z",          "",    "x1",  "X1",   "x10",   "ß",           "_",           "~",
        ".doc",       "0",   "9",   "\xff", "a\xc3", "application", "APPLICATION", "applicationx",
        "applicatio",
    };
    pool.insert(pool.end(), {"x-longer-exten", "X-LONGER-EXTENS", "x-longer-extensi",
                             "X-longer-extension", "x-longer-extensio\xc3"});
    ASSERT_EQ(CompareNoCase("Pdf", "pDF"), 0);
    ASSERT_EQ(CompareNoCase("Öl", "öL"), 0);

    std::mt19937 random(20261208);
    std::uniform_int_distribution<size_t> pick(0, pool.size() - 1);
    for (int round = 0; round < 400; ++round) {
        const int size = round % 70;
        Mappings mappings;
        MimeEntryArray entries;
        for (int i = 0; i < size; ++i) {
            const std::string extension = pool[pick(random)];
            const std::string type = "type/" + std::to_string(i);  // tells equal extensions apart
            mappings.emplace_back(extension, type);
            entries.Add(MimeEntry{extension.c_str(), type.c_str()});
        }

        BubbleSortByExtension(mappings);
        CViewerSettings::SortMimeMap(entries);

        ASSERT_EQ(AsMappings(entries), mappings) << "round " << round;
    }
}

}  // namespace
}  // namespace marrowick::test
