// What an open key finds after the tree it last looked at went stale: read again from the
// file, changed by this process, rebuilt for a transaction, or a key of it destroyed. And
// what one step of a value change does, alone or within a run, when the commit replays it
// onto a tree others changed meanwhile.
#include <gtest/gtest.h>
#include <windows.h>

#include <registry_transaction.h>

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "hive_file.h"
#include "hive_fixture.h"

namespace {

using RegistryCaches = marrowick::test::HiveTest;
using marrowick::platform::Expect;
using marrowick::platform::ValueChange;

constexpr const char* kViewerKey = "Software\\Viewer";

constexpr const char* kViewerHive =
    "REGEDIT4\n"
    "\n"
    "[HKEY_LOCAL_MACHINE\\Software\\Viewer]\n"
    "\"Title\"=\"Alt\"\n"
    "\"Other\"=\"x\"\n";

HANDLE NewTransaction() {
    return CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
}

HKEY OpenIn(HANDLE transaction, const char* path = kViewerKey) {
    HKEY key = nullptr;
    const LONG status =
        transaction ? RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WRITE, &key,
                                            transaction, nullptr)
                    : RegOpenKeyExA(HKEY_LOCAL_MACHINE, path, 0, KEY_READ | KEY_WRITE, &key);
    EXPECT_EQ(status, ERROR_SUCCESS) << path;
    return key;
}

LONG SetString(HKEY key, const char* name, const std::string& text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                          static_cast<DWORD>(text.size() + 1));
}

// The value's text, or "<error N>".
std::string Query(HKEY key, const char* name) {
    char buffer[256] = {};
    DWORD size = sizeof buffer - 1;
    const LONG status =
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    return status == ERROR_SUCCESS ? buffer : "<error " + std::to_string(status) + ">";
}

// Sets a value through a key of its own, on the hive directly or in the transaction.
void SetThroughNewKey(HANDLE transaction, const char* name, const std::string& text) {
    HKEY key = OpenIn(transaction);
    EXPECT_EQ(SetString(key, name, text), ERROR_SUCCESS);
    RegCloseKey(key);
}

// A key opened (on the hive or in a transaction) and read, so that it holds its key found;
// then something happens; then what reading through the same key finds.
struct StaleCase {
    const char* what;
    bool inTransaction;
    std::function<void(marrowick::test::TemporaryHive&, HANDLE own)> happen;
    std::string title;  // read through the key afterwards
};

TEST_F(RegistryCaches, OpenKeyFindsTheTreeAsItIsNow) {
    const StaleCase cases[] = {
        {"another key of this process set the value", false,
         [](auto&, HANDLE) { SetThroughNewKey(nullptr, "Title", "Neu"); }, "Neu"},
        {"another key of this process deleted the key", false,
         [](auto&, HANDLE) { EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, kViewerKey), 0); },
         "<error 1018>"},
        {"a transaction committed", false,
         [](auto&, HANDLE) {
             HANDLE other = NewTransaction();
             SetThroughNewKey(other, "Title", "Festgeschrieben");
             EXPECT_TRUE(CommitTransaction(other));
             CloseHandle(other);
         },
         "Festgeschrieben"},
        {"another writer changed the file under the transaction", true,
         [](auto& hive, HANDLE) {
             hive.WriteText(
                 "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Viewer]\n"
                 "\"Title\"=\"Von außen, länger\"\n");
         },
         "Von außen, länger"},
        {"another transaction built its view and committed", true,
         [](auto&, HANDLE) {
             HANDLE other = NewTransaction();
             HKEY key = OpenIn(other);
             EXPECT_EQ(Query(key, "Title"), "Alt");
             EXPECT_EQ(SetString(key, "Title", "Zweite"), ERROR_SUCCESS);
             EXPECT_TRUE(CommitTransaction(other));
             RegCloseKey(key);
             CloseHandle(other);
         },
         "Zweite"},
        {"another transaction only built its view", true,
         [](auto&, HANDLE) {
             HANDLE other = NewTransaction();
             HKEY key = OpenIn(other);
             EXPECT_EQ(SetString(key, "Title", "Nie"), ERROR_SUCCESS);
             RegCloseKey(key);
             CloseHandle(other);
         },
         "Alt"},
        {"its own transaction set the value through another key", true,
         [](auto&, HANDLE own) { SetThroughNewKey(own, "Title", "Eigen"); }, "Eigen"},
        {"its own transaction deleted the key", true,
         [](auto&, HANDLE own) {
             HKEY software = OpenIn(own, "Software");
             EXPECT_EQ(RegDeleteTreeA(software, "Viewer"), ERROR_SUCCESS);
             RegCloseKey(software);
         },
         "<error 1018>"},
        {"its own transaction was rolled back", true,
         [](auto&, HANDLE own) { EXPECT_TRUE(RollbackTransaction(own)); }, "<error 6701>"},
        {"its own transaction was committed", true,
         [](auto&, HANDLE own) { EXPECT_TRUE(CommitTransaction(own)); }, "<error 6701>"},
    };
    for (const StaleCase& test : cases) {
        SCOPED_TRACE(test.what);
        hive.WriteText(kViewerHive);
        HANDLE own = test.inTransaction ? NewTransaction() : nullptr;
        HKEY key = OpenIn(own);
        EXPECT_EQ(Query(key, "Title"), "Alt");
        test.happen(hive, own);
        EXPECT_EQ(Query(key, "Title"), test.title);
        RegCloseKey(key);
        if (own) CloseHandle(own);
    }
}

// An enumeration walks on from the key it found only while that is still current.
TEST_F(RegistryCaches, EnumerationWalksOnOnlyInTheTreeItBegan) {
    hive.WriteText(kViewerHive);
    HKEY key = OpenIn(nullptr);
    char name[64];
    DWORD size = sizeof name;
    ASSERT_EQ(RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_STREQ(name, "Title");
    // The value after the first goes, through another key of this process: the walk on
    // must see the tree as it is now, not the one it began in and this process changed.
    HKEY other = OpenIn(nullptr);
    ASSERT_EQ(RegDeleteValueA(other, "Other"), ERROR_SUCCESS);
    size = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 1, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_NO_MORE_ITEMS);
    RegCloseKey(other);
    RegCloseKey(key);

    // Walking on after the transaction ended must not read the view it dropped.
    HANDLE transaction = NewTransaction();
    key = OpenIn(transaction);
    size = sizeof name;
    ASSERT_EQ(RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_TRUE(RollbackTransaction(transaction));
    size = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 1, name, &size, nullptr, nullptr, nullptr, nullptr),
              ERROR_TRANSACTION_NOT_ACTIVE);
    RegCloseKey(key);
    CloseHandle(transaction);
}

// One transaction's steps, then what another writer does before the commit, then what the
// commit answers and the file holds.
struct ReplayCase {
    const char* what;
    std::function<void(HKEY own, HANDLE transaction)> steps;
    std::function<void()> meanwhile;
    bool committed;
    std::string title, other;  // in the file afterwards
};

TEST_F(RegistryCaches, CommitReplaysEveryStepOntoWhatOthersDid) {
    const std::string neu("Neu", 4);
    const ReplayCase cases[] = {
        {"a deletion others made first, then a set in the same run",
         [&](HKEY own, HANDLE) {
             const ValueChange run[] = {{ValueChange::kDelete, "Other", 0, {}, {}},
                                        {ValueChange::kSet, "Title", REG_SZ, neu, {}}};
             EXPECT_EQ(marrowick::platform::ChangeValuesInTransaction(own, run).status, 0);
         },
         [] {
             HKEY key = OpenIn(nullptr);
             EXPECT_EQ(RegDeleteValueA(key, "Other"), ERROR_SUCCESS);
             RegCloseKey(key);
         },
         true, "Neu", "<error 2>"},
        {"a single deletion others made first",
         [](HKEY own, HANDLE) { EXPECT_EQ(RegDeleteValueA(own, "Other"), ERROR_SUCCESS); },
         [] {
             HKEY key = OpenIn(nullptr);
             EXPECT_EQ(RegDeleteValueA(key, "Other"), ERROR_SUCCESS);
             RegCloseKey(key);
         },
         true, "Alt", "<error 2>"},
        {"a deletion that found nothing fails alone, the set before it stays",
         [](HKEY own, HANDLE) {
             EXPECT_EQ(SetString(own, "Title", "Neu"), ERROR_SUCCESS);
             EXPECT_EQ(RegDeleteValueA(own, "Missing"), ERROR_FILE_NOT_FOUND);
         },
         [] {}, true, "Neu", "x"},
        {"a set whose key others deleted",
         [](HKEY own, HANDLE) { EXPECT_EQ(SetString(own, "Title", "Neu"), ERROR_SUCCESS); },
         [] { EXPECT_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, kViewerKey), ERROR_SUCCESS); }, false,
         "<error 2>", "<error 2>"},
        {"a run's expectation others broke",
         [&](HKEY own, HANDLE) {
             const ValueChange run[] = {
                 {ValueChange::kSet, "Title", REG_SZ, neu, {Expect::kPresent, 0, {}}}};
             EXPECT_EQ(marrowick::platform::ChangeValuesInTransaction(own, run).status, 0);
         },
         [] {
             HKEY key = OpenIn(nullptr);
             EXPECT_EQ(RegDeleteValueA(key, "Title"), ERROR_SUCCESS);
             RegCloseKey(key);
         },
         false, "<error 2>", "x"},
        {"an expectation of no value in a missing key that still holds",
         [](HKEY own, HANDLE transaction) {
             const std::string name = "Title";
             EXPECT_EQ(marrowick::platform::ExpectInTransaction(
                           HKEY_LOCAL_MACHINE, "Software\\Elsewhere", &name,
                           {Expect::kAbsent, 0, {}}, transaction),
                       ERROR_SUCCESS);
             EXPECT_EQ(SetString(own, "Other", "y"), ERROR_SUCCESS);
         },
         [] {}, true, "Alt", "y"},
        {"an expectation of no value in a missing key others broke",
         [](HKEY own, HANDLE transaction) {
             const std::string name = "TITLE";
             EXPECT_EQ(marrowick::platform::ExpectInTransaction(
                           HKEY_LOCAL_MACHINE, "Software\\Elsewhere", &name,
                           {Expect::kAbsent, 0, {}}, transaction),
                       ERROR_SUCCESS);
             EXPECT_EQ(SetString(own, "Other", "y"), ERROR_SUCCESS);
         },
         [] {
             HKEY key = nullptr;
             EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Elsewhere", 0, nullptr, 0,
                                       KEY_WRITE, nullptr, &key, nullptr),
                       ERROR_SUCCESS);
             EXPECT_EQ(SetString(key, "Title", "da"), ERROR_SUCCESS);
             RegCloseKey(key);
         },
         false, "Alt", "x"},
    };
    for (const ReplayCase& test : cases) {
        SCOPED_TRACE(test.what);
        hive.WriteText(kViewerHive);
        HANDLE own = NewTransaction();
        HKEY key = OpenIn(own);
        test.steps(key, own);
        test.meanwhile();
        EXPECT_EQ(CommitTransaction(own) != FALSE, test.committed);
        RegCloseKey(key);
        CloseHandle(own);
        HKEY plain = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kViewerKey, 0, KEY_READ, &plain) == ERROR_SUCCESS) {
            EXPECT_EQ(Query(plain, "Title"), test.title);
            EXPECT_EQ(Query(plain, "Other"), test.other);
            RegCloseKey(plain);
        } else {
            EXPECT_EQ(test.title, "<error 2>");
        }
    }
}

// What the store knows of the file as it goes from state to state: each row writes the
// file (or removes it) and tells what opening the key and the file's status find.
TEST_F(RegistryCaches, StoreFollowsTheFileFromStateToState) {
    struct Row {
        const char* what;
        const char* text;  // null: the file is removed
        LONG open;
        std::size_t failedLine;
    };
    const Row rows[] = {
        {"no file yet", nullptr, ERROR_FILE_NOT_FOUND, 0},
        {"a hive", kViewerHive, ERROR_SUCCESS, 0},
        {"broken on its fourth line", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Viewer]\nx\n",
         ERROR_BADDB, 4},
        {"removed while broken", nullptr, ERROR_FILE_NOT_FOUND, 0},
        {"broken on its third line", "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Viewer\n",
         ERROR_BADDB, 3},
        {"mended", kViewerHive, ERROR_SUCCESS, 0},
        {"removed", nullptr, ERROR_FILE_NOT_FOUND, 0},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        if (row.text) {
            hive.WriteText(row.text);
        } else {
            std::remove(hive.Path().c_str());
        }
        HKEY key = nullptr;
        EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kViewerKey, 0, KEY_READ, &key), row.open);
        if (key) {
            EXPECT_EQ(Query(key, "Title"), "Alt");
            RegCloseKey(key);
        }
        EXPECT_EQ(marrowick::platform::GetHiveFileStatus().failedLine, row.failedLine);
    }
}

}  // namespace
