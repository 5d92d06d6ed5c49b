#include "stdafx.h"

#include "ValueBytes.h"

std::string DwordBytes(DWORD value) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((value >> (8 * i)) & 0xFF);
    return bytes;
}

bool ReadDword(const marrowick::platform::RegFileValue& value, DWORD& number) {
    if (value.type != REG_DWORD || value.data.size() != 4) return false;
    number = 0;
    for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<BYTE>(value.data[i]);
    return true;
}

std::string StringBytes(const std::string& text) {
    return text + '\0';
}
