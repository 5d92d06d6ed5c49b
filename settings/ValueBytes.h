// The bytes of the two value types the viewer's settings use, as the registry stores them.
// Include after stdafx.h.
#pragma once

#include <reg_file.h>

#include <string>

// A REG_DWORD's data (4 bytes, little-endian) and back; ReadDword is false unless the
// value is a REG_DWORD of exactly 4 bytes.
std::string DwordBytes(DWORD value);
bool ReadDword(const marrowick::platform::RegFileValue& value, DWORD& number);
// A REG_SZ's data: the text and its terminating NUL.
std::string StringBytes(const std::string& text);
