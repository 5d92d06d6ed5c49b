// The one path by which the viewer's settings are changed: the dialogs, the command line and
// import all turn what the user asked for into a change set and hand it to ApplyChangeSet.
// A change set is checked by the settings' rules, then written in one registry transaction
// whose commit tests every expectation under the hive's lock: either every change is stored
// or none, and the caller learns which change was refused and why. Include after stdafx.h.
#pragma once

#include <reg_file.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ValueBytes.h"

// What a change expects to find before it is made. For a value change it is about the
// value (by name, ignoring letter case); for a key change about the key.
struct Expectation {
    enum Kind {
        kAnything,  // no expectation
        kAbsent,    // the value (or key) does not exist
        kPresent,   // it exists, whatever it holds
        kEqual,     // the value exists with exactly this type and data (values only)
    };
    Kind kind = kAnything;
    std::uint32_t type = 0;  // kEqual
    std::string data;        // kEqual
};

// A key path that copies share instead of copying its text: an import gives thousands of
// changes of one key the same path. Written and read as a string. (With it and OutOfLine,
// importing 50,000 mappings peaks at 33 MiB; with a string and std::optional, at 42 MiB.)
class SharedKeyPath {
public:
    SharedKeyPath() = default;
    SharedKeyPath(std::string path) : text_(std::make_shared<const std::string>(std::move(path))) {}
    SharedKeyPath(const char* path) : SharedKeyPath(std::string(path)) {}

    const std::string& str() const { return text_ ? *text_ : Empty(); }
    operator const std::string&() const { return str(); }
    const char* c_str() const { return str().c_str(); }
    std::size_t size() const { return str().size(); }
    bool empty() const { return str().empty(); }

    friend bool operator==(const SharedKeyPath& left, const SharedKeyPath& right) {
        return left.text_ == right.text_ || left.str() == right.str();
    }
    friend bool operator==(const SharedKeyPath& left, std::string_view right) {
        return left.str() == right;
    }

private:
    static const std::string& Empty();

    std::shared_ptr<const std::string> text_;
};

// A value that may be missing, kept out of line and read like std::optional: most changes
// of a large import find no value before them, and a change record that carries room for
// one in place is half as large again.
template <typename T>
class OutOfLine {
public:
    OutOfLine() = default;
    OutOfLine(const OutOfLine& other) : value_(other ? std::make_unique<T>(*other) : nullptr) {}
    OutOfLine(OutOfLine&&) noexcept = default;
    OutOfLine& operator=(const OutOfLine& other) {
        if (this != &other) value_ = other ? std::make_unique<T>(*other) : nullptr;
        return *this;
    }
    OutOfLine& operator=(OutOfLine&&) noexcept = default;
    OutOfLine& operator=(T value) {
        value_ = std::make_unique<T>(std::move(value));
        return *this;
    }

    bool has_value() const { return value_ != nullptr; }
    explicit operator bool() const { return has_value(); }
    T& operator*() const { return *value_; }
    T* operator->() const { return value_.get(); }
    void reset() { value_.reset(); }

private:
    std::unique_ptr<T> value_;
};

// One change to a key below HKEY_LOCAL_MACHINE.
struct Change {
    enum Kind { kCreateKey, kDeleteKey, kSetValue, kDeleteValue };
    Kind kind = kSetValue;
    SharedKeyPath keyPath;                       // below HKEY_LOCAL_MACHINE
    std::string name;                            // kSetValue, kDeleteValue: the value's name
    marrowick::platform::RegFileValue newValue;  // kSetValue (its name is ignored)
    Expectation expected;
    // Filled in reports: what was stored before the change (nothing: there was no value).
    OutOfLine<marrowick::platform::RegFileValue> oldValue;
};

// Builders for the usual changes, so that callers never assemble one field by field.
Change SetValueChange(SharedKeyPath keyPath, const std::string& name,
                      const marrowick::platform::RegFileValue& value);
Change SetDwordChange(SharedKeyPath keyPath, const std::string& name, DWORD value);
Change SetStringChange(SharedKeyPath keyPath, const std::string& name, const std::string& text);
Change DeleteValueChange(SharedKeyPath keyPath, const std::string& name);
Change KeyChange(Change::Kind kind, SharedKeyPath keyPath);  // kCreateKey, kDeleteKey

// How a change set ended.
struct ChangeOutcome {
    enum Result {
        kApplied,            // stored (or, for a dry run, would be)
        kInvalid,            // refused by the settings' rules; nothing was written
        kExpectationFailed,  // changes[failedChange] did not find what it expected
        kRegistryError,      // the registry refused (status); nothing was written
    };
    Result result = kApplied;
    LONG status = ERROR_SUCCESS;       // the registry's code for kRegistryError
    std::ptrdiff_t failedChange = -1;  // index of the refused change, -1 when none is to blame
    // The dialogs' string resource for the refusal (102, 107, 117, 118, 119); 0 when applied.
    UINT messageId = 0;
    std::string message;  // the refusal in German with its detail, for every result but kApplied
    // What was (or with dryRun would be) changed, each with oldValue; changes that would
    // leave everything as it is are left out.
    std::vector<Change> changed;

    bool Applied() const { return result == kApplied; }
};

// Checks a change set against the settings' rules without touching the registry: only the
// viewer's key and what lies below it, values the dialogs edit with their type and range,
// names without NUL or line breaks, bounded sizes and counts.
ChangeOutcome CheckChangeSet(const std::vector<Change>& changes);

// Checks, then applies the change set in one transaction that tests every expectation
// under the hive's lock. With dryRun nothing is written; the outcome tells what would be.
// Every write to the viewer's settings goes through here.
ChangeOutcome ApplyChangeSet(const std::vector<Change>& changes, bool dryRun = false);
// The same for a change set the caller gives up: its changes become the outcome's report
// instead of being copied.
ChangeOutcome ApplyChangeSet(std::vector<Change>&& changes, bool dryRun = false);
