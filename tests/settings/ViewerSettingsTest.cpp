#include "stdafx.h"

#include <gtest/gtest.h>

#include <string>

#include "RegistryProbe.h"
#include "ViewerSettings.h"
#include "hive_fixture.h"

namespace marrowick::test {
namespace {

const LPCSTR kViewerKey = "Software\\TAVIK\\Brisvandale\\Pallisander";
const LPCSTR kObjectNumKey = "Software\\TAVIK\\Brisvandale\\Pallisander\\ObjectNum";

// What the viewer reads, by position in the main dialog's list.
const char* const kSortKeyIds[] = {
    "045c375f_7aad_11d1_85e5_00a024e8a452", "9551204B_3B1C_11d3_8C9F_00e0292f001f",
    "9340d27d_ed79_11d2_8c3b_00e0292f001f", "9340d382_ed79_11d2_8c3b_00e0292f001f",
    "9340d37e_ed79_11d2_8c3b_00e0292f001f", "3E149908_B1F6_11d3_88E3_000629B0191D",
    "9340d37f_ed79_11d2_8c3b_00e0292f001f", "9340d399_ed79_11d2_8c3b_00e0292f001f",
};

const ObjectNumKind kKinds[] = {ObjectNumEntrySection, ObjectNumDocList, ObjectNumDocThum,
                                ObjectNumSecList, ObjectNumSecThum};
const char* const kKindValueNames[] = {"EntrySection", "DocList", "DocThum", "SecList", "SecThum"};

class ViewerSettingsTest : public HiveTest {
protected:
    struct Snapshot {
        int topDay = -99, sortKey = -99, sortDir = -99;
        int counts[5] = {-99, -99, -99, -99, -99};
    };

    Snapshot ReadAll() {
        Snapshot snapshot;
        EXPECT_TRUE(settings.GetTopDay(snapshot.topDay));
        EXPECT_TRUE(settings.GetSortKey(snapshot.sortKey));
        EXPECT_TRUE(settings.GetSortDir(snapshot.sortDir));
        for (int i = 0; i < 5; ++i)
            EXPECT_TRUE(settings.GetObjectNum(kKinds[i], snapshot.counts[i]));
        return snapshot;
    }

    static void ExpectFactoryValues(const Snapshot& snapshot) {
        EXPECT_EQ(snapshot.topDay, 0);
        EXPECT_EQ(snapshot.sortKey, 0);
        EXPECT_EQ(snapshot.sortDir, 0);
        const int factory[5] = {10, 20, 10, 20, 10};
        for (int i = 0; i < 5; ++i) EXPECT_EQ(snapshot.counts[i], factory[i]) << kKindValueNames[i];
    }

    int StoredSortKeyIndexAfterSetting(int index) {
        EXPECT_TRUE(settings.SetSortKey(index));
        int read = -99;
        settings.GetSortKey(read);
        return read;
    }

    CViewerSettings settings;
};

TEST_F(ViewerSettingsTest, FreshMachineGivesFactoryValuesAndCreatesNothing) {
    ExpectFactoryValues(ReadAll());
    EXPECT_FALSE(hive.Exists());
    EXPECT_FALSE(KeyExists("Software\\TAVIK"));
}

TEST_F(ViewerSettingsTest, UnreadableHiveGivesFactoryValues) {
    hive.WriteText(CorruptHiveText());
    ExpectFactoryValues(ReadAll());
    EXPECT_FALSE(settings.SetTopDay(2));
}

TEST_F(ViewerSettingsTest, ScalarsAreStoredAsDwordsAndDeliveredUnchecked) {
    EXPECT_TRUE(settings.SetTopDay(2));
    EXPECT_TRUE(settings.SetSortDir(1));
    for (int i = 0; i < 5; ++i) EXPECT_TRUE(settings.SetObjectNum(kKinds[i], 50 + i));

    Snapshot snapshot = ReadAll();
    EXPECT_EQ(snapshot.topDay, 2);
    EXPECT_EQ(snapshot.sortDir, 1);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(snapshot.counts[i], 50 + i);

    // Where the viewer looks for them.
    EXPECT_EQ(QueryValue(kViewerKey, "TopDay")->bytes, std::string("\x02\0\0\0", 4));
    EXPECT_EQ(QueryValue(kViewerKey, "SortDir")->type, DWORD(REG_DWORD));
    for (int i = 0; i < 5; ++i) {
        std::optional<StoredValue> value = QueryValue(kObjectNumKey, kKindValueNames[i]);
        ASSERT_TRUE(value) << kKindValueNames[i];
        EXPECT_EQ(value->type, DWORD(REG_DWORD));
        EXPECT_EQ(value->bytes, std::string(1, char(50 + i)) + std::string(3, '\0'));
    }

    // Values the settings' rules refuse are not written.
    EXPECT_FALSE(settings.SetTopDay(7));
    EXPECT_FALSE(settings.SetObjectNum(ObjectNumDocList, 150));
    EXPECT_EQ(QueryValue(kViewerKey, "TopDay")->bytes, std::string("\x02\0\0\0", 4));
}

// What another writer stored outside the rules is delivered as it is.
TEST_F(ViewerSettingsTest, StoredValuesOutsideTheRulesAreDeliveredUnchecked) {
    hive.PlantDword(kViewerKey, "TopDay", 7);
    hive.PlantDword(kObjectNumKey, "DocList", 150);
    const Snapshot snapshot = ReadAll();
    EXPECT_EQ(snapshot.topDay, 7);
    EXPECT_EQ(snapshot.counts[1], 150);
}

// Grouped changes are seen through the same object only, and reach the hive in one write
// at the commit; a discarded group leaves nothing, not even a created key.
TEST_F(ViewerSettingsTest, GroupedChangesAreStoredTogetherAtTheCommit) {
    for (bool commit : {false, true}) {
        ASSERT_TRUE(settings.BeginChanges());
        EXPECT_FALSE(settings.BeginChanges());
        EXPECT_TRUE(settings.SetTopDay(2));
        EXPECT_TRUE(settings.SetObjectNum(ObjectNumDocList, 45));
        Snapshot pending = ReadAll();
        EXPECT_EQ(pending.topDay, 2);
        EXPECT_EQ(pending.counts[1], 45);
        EXPECT_FALSE(hive.Exists());
        EXPECT_FALSE(KeyExists(kViewerKey));
        if (commit) {
            EXPECT_TRUE(settings.CommitChanges());
        } else {
            settings.DiscardChanges();
        }
    }
    EXPECT_EQ(QueryValue(kViewerKey, "TopDay")->bytes, std::string("\x02\0\0\0", 4));
    EXPECT_EQ(QueryValue(kObjectNumKey, "DocList")->bytes, std::string("\x2d\0\0\0", 4));
    EXPECT_FALSE(settings.CommitChanges());  // nothing grouped any more
}

// Another writer deleting a key the group writes to before the commit: the commit fails
// midway and stores nothing, not even the change before the one that no longer applies;
// the other writer's changes stay.
TEST_F(ViewerSettingsTest, GroupThatCannotBeStoredWholeStoresNothing) {
    hive.PlantString(kObjectNumKey, "DocList", "planted");
    ASSERT_TRUE(settings.BeginChanges());
    EXPECT_TRUE(settings.SetTopDay(2));
    EXPECT_TRUE(settings.SetObjectNum(ObjectNumDocList, 45));
    // The other writer, through the one write path as every writer of the viewer's tree.
    ASSERT_TRUE(ApplyChangeSet({KeyChange(Change::kDeleteKey, kObjectNumKey),
                                SetStringChange(kViewerKey, "Theirs", "kept")})
                    .Applied());
    const std::string before = hive.ReadText();

    EXPECT_FALSE(settings.CommitChanges());
    EXPECT_EQ(hive.ReadText(), before);
    EXPECT_FALSE(QueryValue(kViewerKey, "TopDay"));
    EXPECT_TRUE(QueryValue(kViewerKey, "Theirs"));
}

TEST_F(ViewerSettingsTest, UnknownObjectNumKindReadsAndWritesNothing) {
    for (int kind : {-1, 5, 99}) {
        int count = 1234;
        EXPECT_TRUE(settings.GetObjectNum(ObjectNumKind(kind), count));
        EXPECT_EQ(count, 1234);
        EXPECT_FALSE(settings.SetObjectNum(ObjectNumKind(kind), 30));
    }
    EXPECT_FALSE(hive.Exists());
}

TEST_F(ViewerSettingsTest, SortKeyIsStoredAsItsIdentifier) {
    for (int index = 1; index < 8; ++index) {
        EXPECT_EQ(StoredSortKeyIndexAfterSetting(index), index);
        std::optional<StoredValue> stored = QueryValue(kViewerKey, "SortKey");
        ASSERT_TRUE(stored);
        EXPECT_EQ(stored->type, DWORD(REG_SZ));
        EXPECT_EQ(stored->bytes, std::string(kSortKeyIds[index]) + '\0');
    }
    // 0, "nothing selected" and anything past the list all store the first identifier.
    for (int index : {0, -1, 8, 1000}) {
        EXPECT_EQ(StoredSortKeyIndexAfterSetting(3), 3);
        EXPECT_EQ(StoredSortKeyIndexAfterSetting(index), 0);
        EXPECT_EQ(QueryValue(kViewerKey, "SortKey")->bytes, std::string(kSortKeyIds[0]) + '\0');
    }
}

TEST_F(ViewerSettingsTest, SortKeyIdentifierMustMatchExactly) {
    const std::pair<std::string, int> cases[] = {
        {kSortKeyIds[5], 5},
        {"9551204b_3b1c_11d3_8c9f_00e0292f001f", 0},  // index 1 in lower case
        {"3E149908_B1F6_11D3_88E3_000629B0191D", 0},  // index 5 in upper case
        {"9340d399_ed79_11d2_8c3b_00e0292f001f ", 0},
        {"", 0},
        {"unknown", 0},
    };
    for (const auto& [stored, expected] : cases) {
        hive.PlantString(kViewerKey, "SortKey", stored);
        int index = -99;
        EXPECT_TRUE(settings.GetSortKey(index));
        EXPECT_EQ(index, expected) << '"' << stored << '"';
    }
}

}  // namespace
}  // namespace marrowick::test
