// Registry conformance: the behaviour the program relies on, written only against the
// Win32 registry and transaction functions so that it runs unchanged against our store
// and, built with MinGW-w64, against the real functions under Wine. It works below a key
// of its own with a unique name, deletes it at the end and prints "N passed, N failed" last.
#include <windows.h>
// After <windows.h>, as on Windows.
#include <ktmw32.h>

// The Windows SDK's codes, which MinGW-w64's <winerror.h> lacks.
#ifndef ERROR_TRANSACTION_NOT_ACTIVE
#define ERROR_TRANSACTION_NOT_ACTIVE 6701L
#define ERROR_TRANSACTION_ALREADY_ABORTED 6704L
#define ERROR_TRANSACTION_ALREADY_COMMITTED 6705L
#endif

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

int passed = 0;
int failed = 0;

#define CHECK(condition) Check((condition), #condition, __LINE__)
#define CHECK_EQ(actual, expected) \
    CheckEqual(static_cast<long>(actual), static_cast<long>(expected), #actual, __LINE__)

void Check(bool condition, const char* text, int line) {
    if (condition) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAILED line %d: %s\n", line, text);
    }
}

void CheckEqual(long actual, long expected, const char* text, int line) {
    if (actual == expected) {
        ++passed;
    } else {
        ++failed;
        std::printf("FAILED line %d: %s is %ld, expected %ld\n", line, text, actual, expected);
    }
}

std::string base;  // Software\MarrowickConformance\<unique>

std::string Path(const char* relative) {
    return base + "\\" + relative;
}

HKEY Create(const std::string& path, DWORD* disposition = nullptr) {
    HKEY key = nullptr;
    const LONG status =
        RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_READ | KEY_WRITE, nullptr, &key, disposition);
    CHECK_EQ(status, ERROR_SUCCESS);
    return key;
}

LONG SetString(HKEY key, const char* name, const char* text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                          static_cast<DWORD>(std::strlen(text) + 1));
}

void TestKeys() {
    DWORD disposition = 0;
    HKEY key = Create(Path("Keys\\A\\B"), &disposition);
    CHECK_EQ(disposition, REG_CREATED_NEW_KEY);
    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);
    key = Create(Path("keys\\a\\b"), &disposition);
    CHECK_EQ(disposition, REG_OPENED_EXISTING_KEY);

    // An empty sub-key is a new handle to the same key.
    HKEY same = nullptr;
    CHECK_EQ(RegOpenKeyExA(key, "", 0, KEY_READ, &same), ERROR_SUCCESS);
    CHECK_EQ(SetString(key, "Where", "B"), ERROR_SUCCESS);
    char text[8] = {};
    DWORD size = sizeof text;
    CHECK_EQ(
        RegQueryValueExA(same, "Where", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
        ERROR_SUCCESS);
    CHECK(std::strcmp(text, "B") == 0);
    CHECK_EQ(RegCloseKey(same), ERROR_SUCCESS);
    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);
    CHECK_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    CHECK_EQ(RegCloseKey(nullptr), ERROR_INVALID_HANDLE);

    // Opening never creates; sub-keys open relative to a handle; trailing backslashes pass.
    HKEY opened = nullptr;
    CHECK_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Path("Keys\\Missing").c_str(), 0, KEY_READ, &opened),
             ERROR_FILE_NOT_FOUND);
    CHECK_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Path("Keys\\Missing").c_str(), 0, KEY_READ, &opened),
             ERROR_FILE_NOT_FOUND);
    HKEY parent = nullptr;
    CHECK_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Path("KEYS").c_str(), 0, KEY_READ, &parent),
             ERROR_SUCCESS);
    CHECK_EQ(RegOpenKeyExA(parent, "a\\B\\", 0, KEY_READ, &opened), ERROR_SUCCESS);
    CHECK_EQ(RegCloseKey(opened), ERROR_SUCCESS);
    CHECK_EQ(RegOpenKeyExA(parent, "\\A", 0, KEY_READ, &opened), ERROR_BAD_PATHNAME);
    CHECK_EQ(RegCreateKeyExA(parent, "\\C", 0, nullptr, 0, KEY_WRITE, nullptr, &opened, nullptr),
             ERROR_BAD_PATHNAME);
    CHECK_EQ(RegCloseKey(parent), ERROR_SUCCESS);

    // A 255-character key name is allowed (relative to a handle: Wine limits the whole
    // narrow path to MAX_PATH).
    const std::string longName(255, 'k');
    parent = Create(Path("Keys"));
    CHECK_EQ(RegCreateKeyExA(parent, longName.c_str(), 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr,
                             &key, &disposition),
             ERROR_SUCCESS);
    CHECK_EQ(disposition, REG_CREATED_NEW_KEY);
    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);
    CHECK_EQ(RegCloseKey(parent), ERROR_SUCCESS);
}

void TestQuery() {
    HKEY key = Create(Path("Query"));
    CHECK_EQ(SetString(key, "Text", "Hallo"), ERROR_SUCCESS);

    DWORD type = 0;
    DWORD size = 0;
    CHECK_EQ(RegQueryValueExA(key, "Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    CHECK_EQ(type, REG_SZ);
    CHECK_EQ(size, 6);  // the NUL it was stored with counts

    // Too small: the required size comes back and the buffer stays as it was.
    char small[3] = {'x', 'x', 'x'};
    size = sizeof small;
    CHECK_EQ(RegQueryValueExA(key, "Text", nullptr, nullptr, reinterpret_cast<BYTE*>(small), &size),
             ERROR_MORE_DATA);
    CHECK_EQ(size, 6);
    CHECK(small[0] == 'x' && small[2] == 'x');

    char exact[6];
    size = sizeof exact;
    CHECK_EQ(RegQueryValueExA(key, "tEXT", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size),
             ERROR_SUCCESS);
    CHECK(std::memcmp(exact, "Hallo", 6) == 0);

    CHECK_EQ(
        RegQueryValueExA(key, "Text", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), nullptr),
        ERROR_INVALID_PARAMETER);

    // Missing value: the size is cleared without a buffer, kept with one.
    size = 99;
    CHECK_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, &size),
             ERROR_FILE_NOT_FOUND);
    CHECK_EQ(size, 0);
    size = sizeof exact;
    CHECK_EQ(
        RegQueryValueExA(key, "Missing", nullptr, nullptr, reinterpret_cast<BYTE*>(exact), &size),
        ERROR_FILE_NOT_FOUND);
    CHECK_EQ(size, sizeof exact);
    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

void TestSetAndDelete() {
    HKEY key = Create(Path("Set"));

    const DWORD number = 0x12345678;
    CHECK_EQ(RegSetValueExA(key, "Number", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4),
             ERROR_SUCCESS);
    // Types are stored, never checked: a 4-byte string reads into a DWORD.
    CHECK_EQ(RegSetValueExA(key, "Four", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 4),
             ERROR_SUCCESS);
    DWORD read = 0;
    DWORD type = 0;
    DWORD size = sizeof read;
    CHECK_EQ(RegQueryValueExA(key, "Number", nullptr, &type, reinterpret_cast<BYTE*>(&read), &size),
             ERROR_SUCCESS);
    CHECK_EQ(read, 0x12345678);
    CHECK_EQ(type, REG_DWORD);
    size = sizeof read;
    CHECK_EQ(RegQueryValueExA(key, "Four", nullptr, &type, reinterpret_cast<BYTE*>(&read), &size),
             ERROR_SUCCESS);
    CHECK(std::memcmp(&read, "abc", 4) == 0);
    CHECK_EQ(type, REG_SZ);

    // Bytes are kept exactly as given: short DWORDs, embedded NULs, empty strings.
    const BYTE bytes[] = {1, 0, 2};
    CHECK_EQ(RegSetValueExA(key, "Short", 0, REG_DWORD, bytes, 3), ERROR_SUCCESS);
    CHECK_EQ(RegSetValueExA(key, "Empty", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 0),
             ERROR_SUCCESS);
    BYTE back[8] = {};
    size = sizeof back;
    CHECK_EQ(RegQueryValueExA(key, "Short", nullptr, &type, back, &size), ERROR_SUCCESS);
    CHECK(size == 3 && std::memcmp(back, bytes, 3) == 0 && type == REG_DWORD);
    size = sizeof back;
    CHECK_EQ(RegQueryValueExA(key, "Empty", nullptr, &type, back, &size), ERROR_SUCCESS);
    CHECK(size == 0 && type == REG_SZ);

    CHECK_EQ(RegSetValueExA(key, "Null", 0, REG_BINARY, nullptr, 4), ERROR_NOACCESS);

    // Backslashes are ordinary characters in value names and data.
    CHECK_EQ(SetString(key, "A\\B", "C:\\Path \"quoted\""), ERROR_SUCCESS);
    char text[32] = {};
    size = sizeof text;
    CHECK_EQ(RegQueryValueExA(key, "a\\b", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
             ERROR_SUCCESS);
    CHECK(std::strcmp(text, "C:\\Path \"quoted\"") == 0);

    // The default value: "" and NULL name it alike.
    CHECK_EQ(SetString(key, "", "default"), ERROR_SUCCESS);
    size = sizeof text;
    CHECK_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
             ERROR_SUCCESS);
    CHECK(std::strcmp(text, "default") == 0);
    CHECK_EQ(RegDeleteValueA(key, nullptr), ERROR_SUCCESS);
    CHECK_EQ(RegQueryValueExA(key, "", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);

    CHECK_EQ(RegDeleteValueA(key, "NUMBER"), ERROR_SUCCESS);
    CHECK_EQ(RegDeleteValueA(key, "Number"), ERROR_FILE_NOT_FOUND);
    CHECK_EQ(RegQueryValueExA(key, "Number", nullptr, nullptr, nullptr, &size),
             ERROR_FILE_NOT_FOUND);

    // A handle opened for reading cannot write.
    HKEY readOnly = nullptr;
    CHECK_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Path("Set").c_str(), 0, KEY_READ, &readOnly),
             ERROR_SUCCESS);
    CHECK_EQ(SetString(readOnly, "Denied", "x"), ERROR_ACCESS_DENIED);
    CHECK_EQ(RegDeleteValueA(readOnly, "Four"), ERROR_ACCESS_DENIED);
    CHECK_EQ(RegCloseKey(readOnly), ERROR_SUCCESS);
    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

void TestEnumeration(bool checkOrder) {
    HKEY key = Create(Path("Enum"));
    CHECK_EQ(SetString(key, "txt", "text/plain"), ERROR_SUCCESS);
    CHECK_EQ(SetString(key, "HTM", "text/html"), ERROR_SUCCESS);
    CHECK_EQ(SetString(key, "doc", "application/msword"), ERROR_SUCCESS);
    // Writing again under another case keeps the name as first created.
    CHECK_EQ(SetString(key, "TXT", "text/x-plain"), ERROR_SUCCESS);

    char name[256];
    BYTE data[256];
    DWORD nameSize = 0;
    DWORD dataSize = 0;
    DWORD type = 0;
    bool sawTxt = false;
    DWORD index = 0;
    for (;; ++index) {
        nameSize = sizeof name;
        dataSize = sizeof data;
        const LONG status =
            RegEnumValueA(key, index, name, &nameSize, nullptr, &type, data, &dataSize);
        if (status != ERROR_SUCCESS) {
            CHECK_EQ(status, ERROR_NO_MORE_ITEMS);
            break;
        }
        CHECK_EQ(nameSize, std::strlen(name));
        CHECK_EQ(type, REG_SZ);
        if (std::strcmp(name, "txt") == 0) {
            sawTxt = true;
            CHECK(std::strcmp(reinterpret_cast<char*>(data), "text/x-plain") == 0);
        }
        if (checkOrder) {
            const char* expected[] = {"txt", "HTM", "doc"};
            CHECK(index < 3 && std::strcmp(name, expected[index]) == 0);
        }
    }
    CHECK_EQ(index, 3);
    CHECK(sawTxt);

    // Too small for the name, or for the data: the required data size comes back.
    nameSize = 2;
    dataSize = sizeof data;
    CHECK_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, data, &dataSize),
             ERROR_MORE_DATA);
    nameSize = sizeof name;
    dataSize = 2;
    CHECK_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, &type, data, &dataSize),
             ERROR_MORE_DATA);
    CHECK(dataSize > 2);
    CHECK_EQ(RegEnumValueA(key, 0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
             ERROR_INVALID_PARAMETER);
    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);

    // A 255-character name needs a 256-character buffer.
    key = Create(Path("LongName"));
    const std::string longName(255, 'v');
    CHECK_EQ(SetString(key, longName.c_str(), "x"), ERROR_SUCCESS);
    nameSize = 255;
    dataSize = sizeof data;
    CHECK_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, data, &dataSize),
             ERROR_MORE_DATA);
    nameSize = 256;
    dataSize = sizeof data;
    CHECK_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, data, &dataSize),
             ERROR_SUCCESS);
    CHECK_EQ(nameSize, 255);
    CHECK_EQ(RegEnumValueA(key, 1, name, &nameSize, nullptr, nullptr, data, &dataSize),
             ERROR_NO_MORE_ITEMS);
    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

// Differences from Windows once found in our store.
void TestWindowsDetails() {
    // A failed open or create leaves no stale handle behind.
    HKEY key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    CHECK_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Path("Nowhere").c_str(), 0, KEY_READ, &key),
             ERROR_FILE_NOT_FOUND);
    CHECK(key == nullptr);
    key = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x1234));
    CHECK_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "\\Bad", 0, nullptr, 0, KEY_READ, nullptr, &key,
                             nullptr),
             ERROR_BAD_PATHNAME);
    CHECK(key == nullptr);

    // Only the low 32 bits of a predefined key count.
    const HKEY zeroExtended = reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u));
    CHECK_EQ(RegOpenKeyExA(zeroExtended, base.c_str(), 0, KEY_READ, &key), ERROR_SUCCESS);
    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);

    // A string stored without its NUL is given one when the buffer has room for it; the
    // size stays what was stored. (Windows' RegSetValueExA stores a NUL that follows the
    // data given too, reading past it; "abcd" is given as 3 bytes so that none follows.)
    key = Create(Path("Unterminated"));
    CHECK_EQ(RegSetValueExA(key, "abc", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcd"), 3),
             ERROR_SUCCESS);
    for (const DWORD room : {3, 8}) {
        char text[8];
        std::memset(text, 'x', sizeof text);
        DWORD size = room;
        CHECK_EQ(
            RegQueryValueExA(key, "abc", nullptr, nullptr, reinterpret_cast<BYTE*>(text), &size),
            ERROR_SUCCESS);
        CHECK_EQ(size, 3);
        CHECK(std::memcmp(text, room > 3 ? "abc\0x" : "abcxx", 5) == 0);
        char name[8];
        DWORD nameSize = sizeof name;
        std::memset(text, 'x', sizeof text);
        size = room;
        CHECK_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr,
                               reinterpret_cast<BYTE*>(text), &size),
                 ERROR_SUCCESS);
        CHECK_EQ(size, 3);
        CHECK(std::memcmp(text, room > 3 ? "abc\0x" : "abcxx", 5) == 0);
    }
    DWORD size = 0;
    CHECK_EQ(RegQueryValueExA(key, "abc", nullptr, nullptr, nullptr, &size), ERROR_SUCCESS);
    CHECK_EQ(size, 3);
    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

std::string SubKeyName(HKEY key, DWORD index) {
    char name[256];
    DWORD size = sizeof name;
    if (RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) !=
        ERROR_SUCCESS) {
        return "";
    }
    return std::string(name, size);
}

void TestSubKeys(bool checkOrder) {
    HKEY key = Create(Path("Tree"));
    for (const char* name : {"Zeta\\Deep", "alpha", "Mid"}) {
        HKEY sub = Create(Path("Tree\\") + name);
        CHECK_EQ(SetString(sub, "v", name), ERROR_SUCCESS);
        CHECK_EQ(RegCloseKey(sub), ERROR_SUCCESS);
    }
    char name[8];
    DWORD size = 0;
    DWORD classSize = 0;
    FILETIME written;
    std::string names;
    for (DWORD index = 0; index < 3; ++index) {
        size = sizeof name;
        char className[4] = "x";
        classSize = sizeof className;
        CHECK_EQ(RegEnumKeyExA(key, index, name, &size, nullptr, className, &classSize, &written),
                 ERROR_SUCCESS);
        CHECK_EQ(size, std::strlen(name));
        CHECK(classSize == 0 && className[0] == '\0');
        names += std::string(name) + ",";
    }
    if (checkOrder) {
        CHECK(names == "Zeta,alpha,Mid,");
    } else {
        CHECK(names.find("Zeta,") != std::string::npos &&
              names.find("alpha,") != std::string::npos && names.find("Mid,") != std::string::npos);
    }
    size = sizeof name;
    CHECK_EQ(RegEnumKeyExA(key, 3, name, &size, nullptr, nullptr, nullptr, nullptr),
             ERROR_NO_MORE_ITEMS);
    // A name needs room for its NUL too; the size is left as it was.
    size = 4;
    CHECK_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
             ERROR_MORE_DATA);
    CHECK_EQ(size, 4);

    // A whole sub-tree goes; a missing one is not found.
    HKEY deep = Create(Path("Tree\\Zeta\\Deep"));
    CHECK_EQ(RegDeleteTreeA(key, "ZETA"), ERROR_SUCCESS);
    HKEY opened = nullptr;
    CHECK_EQ(RegOpenKeyExA(key, "Zeta", 0, KEY_READ, &opened), ERROR_FILE_NOT_FOUND);
    CHECK_EQ(RegDeleteTreeA(key, "Zeta"), ERROR_FILE_NOT_FOUND);
    CHECK(SubKeyName(key, 0) == "alpha" || SubKeyName(key, 0) == "Mid");
    CHECK_EQ(RegOpenKeyExA(key, "mid", 0, KEY_READ, &opened), ERROR_SUCCESS);
    CHECK_EQ(RegCloseKey(opened), ERROR_SUCCESS);

    // A handle names the key it opened, not its path: once that key is deleted, a new key
    // of the same name is another key.
    CHECK_EQ(SetString(deep, "v", "x"), ERROR_KEY_DELETED);
    HKEY again = Create(Path("Tree\\Zeta\\Deep"));
    CHECK_EQ(SetString(deep, "v", "x"), ERROR_KEY_DELETED);
    size = sizeof name;
    CHECK_EQ(RegQueryValueExA(deep, "v", nullptr, nullptr, reinterpret_cast<BYTE*>(name), &size),
             ERROR_KEY_DELETED);
    CHECK_EQ(RegCloseKey(deep), ERROR_SUCCESS);
    CHECK_EQ(RegCloseKey(again), ERROR_SUCCESS);

    // Without a sub-key: everything below the key goes, the key stays.
    CHECK_EQ(SetString(key, "own", "value"), ERROR_SUCCESS);
    CHECK_EQ(RegDeleteTreeA(key, nullptr), ERROR_SUCCESS);
    size = sizeof name;
    CHECK_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr),
             ERROR_NO_MORE_ITEMS);
    CHECK_EQ(RegQueryValueExA(key, "own", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    CHECK_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Path("Tree").c_str(), 0, KEY_READ, &opened),
             ERROR_SUCCESS);
    CHECK_EQ(RegCloseKey(opened), ERROR_SUCCESS);
    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

HKEY CreateTransacted(HANDLE transaction, const std::string& path, LONG* status = nullptr) {
    HKEY key = nullptr;
    const LONG result = RegCreateKeyTransactedA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr,
                                                REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE,
                                                nullptr, &key, nullptr, transaction, nullptr);
    if (status) {
        *status = result;
    } else {
        CHECK_EQ(result, ERROR_SUCCESS);
    }
    return key;
}

bool Visible(const std::string& path, const char* value) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    const bool found =
        RegQueryValueExA(key, value, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
}

// Code written against the real headers builds and links in both lanes. Wine implements
// no registry transactions, so what they do is checked against our store only.
void TestTransactions(bool implemented) {
    HANDLE transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    CHECK(transaction != INVALID_HANDLE_VALUE);
    LONG status = ERROR_SUCCESS;
    HKEY key = CreateTransacted(transaction, Path("Tx\\New"), &status);
    if (!implemented) {
        CHECK(status == ERROR_SUCCESS || status == ERROR_CALL_NOT_IMPLEMENTED);
        if (status == ERROR_SUCCESS) RegCloseKey(key);
        CloseHandle(transaction);  // Wine's is a dummy it does not know
        return;
    }
    CHECK_EQ(status, ERROR_SUCCESS);

    // Invisible to others until the commit, visible within: through the key, through keys
    // opened below it, and through keys opened in the transaction.
    CHECK_EQ(SetString(key, "First", "1"), ERROR_SUCCESS);
    HKEY below = nullptr;
    CHECK_EQ(RegCreateKeyExA(key, "Below", 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &below,
                             nullptr),
             ERROR_SUCCESS);
    CHECK_EQ(SetString(below, "Second", "2"), ERROR_SUCCESS);
    HKEY opened = nullptr;
    CHECK_EQ(RegOpenKeyTransactedA(HKEY_LOCAL_MACHINE, Path("Tx\\New\\Below").c_str(), 0, KEY_READ,
                                   &opened, transaction, nullptr),
             ERROR_SUCCESS);
    CHECK_EQ(RegQueryValueExA(opened, "Second", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    CHECK(!Visible(Path("Tx\\New"), "First"));
    CHECK(!Visible(Path("Tx\\New\\Below"), "Second"));
    CHECK(CommitTransaction(transaction));
    CHECK(Visible(Path("Tx\\New"), "First"));
    CHECK(Visible(Path("Tx\\New\\Below"), "Second"));
    // Done with: its keys work no more, and it cannot end a second time.
    CHECK_EQ(SetString(key, "Late", "x"), ERROR_TRANSACTION_NOT_ACTIVE);
    CHECK(!CommitTransaction(transaction));
    CHECK_EQ(GetLastError(), ERROR_TRANSACTION_ALREADY_COMMITTED);
    CHECK(!RollbackTransaction(transaction));
    for (HKEY open : {key, below, opened}) CHECK_EQ(RegCloseKey(open), ERROR_SUCCESS);
    CHECK(CloseHandle(transaction));
    CHECK(!CloseHandle(transaction));
    CHECK_EQ(GetLastError(), ERROR_INVALID_HANDLE);

    // Rolled back, or closed without a commit: nothing stays.
    for (bool rollBack : {true, false}) {
        transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
        key = CreateTransacted(transaction, Path("Tx\\New"));
        CHECK_EQ(SetString(key, "Dropped", "x"), ERROR_SUCCESS);
        CHECK_EQ(RegDeleteValueA(key, "First"), ERROR_SUCCESS);
        if (rollBack) {
            CHECK(RollbackTransaction(transaction));
            CHECK(!CommitTransaction(transaction));
            CHECK_EQ(GetLastError(), ERROR_TRANSACTION_ALREADY_ABORTED);
        }
        CHECK(CloseHandle(transaction));
        CHECK_EQ(RegQueryValueExA(key, "First", nullptr, nullptr, nullptr, nullptr),
                 ERROR_TRANSACTION_NOT_ACTIVE);
        CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);
        CHECK(!Visible(Path("Tx\\New"), "Dropped"));
        CHECK(Visible(Path("Tx\\New"), "First"));
    }

    // A change others made meanwhile is kept; a transaction whose key others deleted
    // stores nothing at all.
    transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    key = CreateTransacted(transaction, Path("Tx\\New"));
    CHECK_EQ(SetString(key, "Mine", "x"), ERROR_SUCCESS);
    HKEY plain = Create(Path("Tx\\New"));
    CHECK_EQ(SetString(plain, "Theirs", "y"), ERROR_SUCCESS);
    CHECK_EQ(RegCloseKey(plain), ERROR_SUCCESS);
    CHECK(CommitTransaction(transaction));
    CHECK(Visible(Path("Tx\\New"), "Mine") && Visible(Path("Tx\\New"), "Theirs"));
    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);
    CHECK(CloseHandle(transaction));

    plain = Create(Path("Tx\\Doomed"));
    CHECK_EQ(RegCloseKey(plain), ERROR_SUCCESS);
    transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 0, nullptr);
    HKEY kept = CreateTransacted(transaction, Path("Tx\\Kept"));
    CHECK_EQ(SetString(kept, "Half", "x"), ERROR_SUCCESS);
    key = CreateTransacted(transaction, Path("Tx\\Doomed"));
    CHECK_EQ(SetString(key, "Other", "x"), ERROR_SUCCESS);
    CHECK_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, Path("Tx\\Doomed").c_str()), ERROR_SUCCESS);
    CHECK(!CommitTransaction(transaction));
    CHECK_EQ(GetLastError(), ERROR_KEY_DELETED);
    HKEY absent = nullptr;
    CHECK_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Path("Tx\\Kept").c_str(), 0, KEY_READ, &absent),
             ERROR_FILE_NOT_FOUND);
    for (HKEY open : {kept, key}) CHECK_EQ(RegCloseKey(open), ERROR_SUCCESS);
    CHECK(CloseHandle(transaction));

    // Past its time-out a transaction is rolled back. The time-out leaves the key's creation
    // room on a loaded machine under the sanitizers; 1 ms did not.
    const auto start = std::chrono::steady_clock::now();
    transaction = CreateTransaction(nullptr, nullptr, 0, 0, 0, 250, nullptr);
    key = CreateTransacted(transaction, Path("Tx\\Late"));
    while (std::chrono::steady_clock::now() - start < std::chrono::milliseconds(300)) {
    }
    CHECK_EQ(SetString(key, "Late", "x"), ERROR_TRANSACTION_NOT_ACTIVE);
    CHECK(!CommitTransaction(transaction));
    CHECK_EQ(GetLastError(), ERROR_TRANSACTION_ALREADY_ABORTED);
    CHECK_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, Path("Tx\\Late").c_str(), 0, KEY_READ, &absent),
             ERROR_FILE_NOT_FOUND);
    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);
    CHECK(CloseHandle(transaction));
}

#ifndef _WIN32
// Narrow strings are UTF-8 here, and names fold by Unicode upper case. (Wine's narrow
// code page is not UTF-8, so this runs natively only.)
void TestUnicodeNames() {
    HKEY key = Create(Path("Äpfel"));
    DWORD disposition = 0;
    HKEY same = Create(Path("äPFEL"), &disposition);
    CHECK_EQ(disposition, REG_OPENED_EXISTING_KEY);
    CHECK_EQ(SetString(key, "Größe", "1"), ERROR_SUCCESS);
    CHECK_EQ(SetString(same, "GRÖSSE", "2"), ERROR_SUCCESS);
    CHECK_EQ(SetString(same, "GRÖßE", "3"), ERROR_SUCCESS);
    char name[16];
    DWORD nameSize = sizeof name;
    BYTE data[4];
    DWORD dataSize = sizeof data;
    CHECK_EQ(RegEnumValueA(key, 0, name, &nameSize, nullptr, nullptr, data, &dataSize),
             ERROR_SUCCESS);
    CHECK(std::strcmp(name, "Größe") == 0 && data[0] == '3');
    // "SS" is a name of its own, not a second spelling of "ß".
    nameSize = sizeof name;
    dataSize = sizeof data;
    CHECK_EQ(RegEnumValueA(key, 1, name, &nameSize, nullptr, nullptr, data, &dataSize),
             ERROR_SUCCESS);
    CHECK(std::strcmp(name, "GRÖSSE") == 0 && data[0] == '2');
    nameSize = sizeof name;
    dataSize = sizeof data;
    CHECK_EQ(RegEnumValueA(key, 2, name, &nameSize, nullptr, nullptr, data, &dataSize),
             ERROR_NO_MORE_ITEMS);
    CHECK_EQ(RegCloseKey(same), ERROR_SUCCESS);
    CHECK_EQ(RegCloseKey(key), ERROR_SUCCESS);
}
#endif

}  // namespace

int main() {
    const auto unique = std::chrono::steady_clock::now().time_since_epoch().count();
    base = "Software\\MarrowickConformance\\" + std::to_string(unique);
#ifdef _WIN32
    const bool nativeStore = false;  // Wine enumerates sorted, Windows values as created
#else
    const bool nativeStore = true;
#endif
    TestKeys();
    TestQuery();
    TestSetAndDelete();
    TestEnumeration(nativeStore);
#ifndef _WIN32
    TestUnicodeNames();
#endif
    TestWindowsDetails();
    TestSubKeys(nativeStore);
    TestTransactions(nativeStore);
    CHECK_EQ(RegDeleteTreeA(HKEY_LOCAL_MACHINE, base.c_str()), ERROR_SUCCESS);
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
