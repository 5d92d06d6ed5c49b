// Registry conformance: the behaviour the program relies on, written only against the
// seven registry functions so that it runs unchanged against our store and, built with
// MinGW-w64, against the real functions under Wine. It works below a key of its own with
// a unique name and prints "N passed, N failed" last.
#include <windows.h>

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
    const bool nativeStore = false;  // Wine enumerates values sorted, Windows as created
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
    std::printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? 0 : 1;
}
