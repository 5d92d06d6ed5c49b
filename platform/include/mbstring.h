// Multibyte string comparison from the C run-time library, for platforms without it.
// Narrow strings are UTF-8 here. _mbsicmp folds case exactly as the registry store
// compares key and value names, so a duplicate check in the program agrees with it.
#pragma once

#ifdef _WIN32
#error "Use the system's <mbstring.h> on Windows."
#endif

// Byte-wise comparison: < 0, 0 or > 0.
int _mbscmp(const unsigned char* string1, const unsigned char* string2);
// Case-insensitive comparison under the registry's folding: < 0, 0 or > 0.
int _mbsicmp(const unsigned char* string1, const unsigned char* string2);

#include <string>

namespace marrowick::platform {
// What _mbsicmp orders by: for any two strings, _mbsicmp has the sign of comparing their
// keys byte by byte (std::string::compare). Sorting by keys folds each string once instead
// of on every comparison.
std::string MbsicmpKey(const unsigned char* string);
}  // namespace marrowick::platform
