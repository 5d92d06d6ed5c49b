#include "stdafx.h"

#include "ChangeSet.h"

using marrowick::platform::RegFileValue;

std::string DwordBytes(DWORD value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

bool ReadDword(const RegFileValue& value, DWORD& number) {
    if (value.type != REG_DWORD || value.data.size() != 4) return false;
    number = 0;
    for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<BYTE>(value.data[i]);
    return true;
}

std::string StringBytes(const std::string& text) {
    return text + '\0';
}

Change SetValueChange(const std::string& keyPath, const std::string& name,
                      const RegFileValue& value) {
    Change change;
    change.kind = Change::kSetValue;
    change.keyPath = keyPath;
    change.name = name;
    change.newValue = value;
    change.newValue.name = name;
    return change;
}

Change SetDwordChange(const std::string& keyPath, const std::string& name, DWORD value) {
    return SetValueChange(keyPath, name, {name, REG_DWORD, DwordBytes(value)});
}

Change SetStringChange(const std::string& keyPath, const std::string& name,
                       const std::string& text) {
    return SetValueChange(keyPath, name, {name, REG_SZ, StringBytes(text)});
}

Change DeleteValueChange(const std::string& keyPath, const std::string& name) {
    Change change;
    change.kind = Change::kDeleteValue;
    change.keyPath = keyPath;
    change.name = name;
    return change;
}

Change KeyChange(Change::Kind kind, const std::string& keyPath) {
    Change change;
    change.kind = kind;
    change.keyPath = keyPath;
    return change;
}
