#include <mbstring.h>

#include <cstring>

#include "case_folding.h"

int _mbscmp(const unsigned char* string1, const unsigned char* string2) {
    const int order =
        std::strcmp(reinterpret_cast<const char*>(string1), reinterpret_cast<const char*>(string2));
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

int _mbsicmp(const unsigned char* string1, const unsigned char* string2) {
    return marrowick::platform::CompareFolded(reinterpret_cast<const char*>(string1),
                                              reinterpret_cast<const char*>(string2));
}

std::string marrowick::platform::MbsicmpKey(const unsigned char* string) {
    return FoldedOrderKey(reinterpret_cast<const char*>(string));
}
