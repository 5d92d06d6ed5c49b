#include "case_folding.h"

#include <algorithm>

#include "utf8.h"

namespace marrowick::platform {

char32_t UpperCase(char32_t codePoint) {
    if (codePoint < 0x80) {
        return codePoint >= 'a' && codePoint <= 'z' ? codePoint - 32 : codePoint;
    }
    const CaseRun* end = kUpperCaseRuns + kUpperCaseRunCount;
    // The first run that ends at or after the code point is the only one that can hold it.
    const CaseRun* run = std::lower_bound(
        kUpperCaseRuns, end, codePoint,
        [](const CaseRun& candidate, char32_t value) { return candidate.last < value; });
    if (run == end || codePoint < run->first || (codePoint - run->first) % run->stride != 0) {
        return codePoint;
    }
    return static_cast<char32_t>(static_cast<std::int64_t>(codePoint) + run->delta);
}

std::string FoldCase(std::string_view name) {
    // Most names are ASCII: those bytes are folded in place, the rest one character at a
    // time.
    std::size_t ascii = 0;
    while (ascii < name.size() && static_cast<unsigned char>(name[ascii]) < 0x80) ++ascii;
    std::string folded(name.substr(0, ascii));
    for (char& c : folded) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    name.remove_prefix(ascii);
    folded.reserve(folded.size() + name.size());
    while (!name.empty()) {
        char32_t codePoint;
        std::size_t length = DecodeUtf8(name, &codePoint);
        if (length == 0) {
            folded += name[0];
            length = 1;
        } else {
            AppendUtf8(folded, UpperCase(codePoint));
        }
        name.remove_prefix(length);
    }
    return folded;
}

namespace {

// The run-time library's case-insensitive comparison compares ASCII letters as lower case,
// so "_x" sorts before "htm". Folded text holds no lower-case ASCII letter, so mapping A-Z
// down changes the order only, never which names are equal.
char OrderByte(char folded) {
    return folded >= 'A' && folded <= 'Z' ? static_cast<char>(folded + ('a' - 'A')) : folded;
}

char LowerAscii(char ch) {
    return ch >= 'A' && ch <= 'Z' ? static_cast<char>(ch + ('a' - 'A')) : ch;
}

bool IsAscii(char ch) {
    return static_cast<unsigned char>(ch) < 0x80;
}

}  // namespace

std::string FoldedOrderKey(std::string_view name) {
    std::string key;
    if (std::all_of(name.begin(), name.end(), IsAscii)) {
        // Each ASCII byte is a character of its own: no decoding needed.
        key.resize(name.size());
        std::transform(name.begin(), name.end(), key.begin(), LowerAscii);
        return key;
    }
    key = FoldCase(name);
    for (char& ch : key) ch = OrderByte(ch);
    return key;
}

int CompareFolded(std::string_view left, std::string_view right) {
    // Over an ASCII start both keys are the lower-cased bytes, compared without building
    // them; a character beyond ASCII in either sends the rest through the whole folding.
    std::size_t i = 0;
    const std::size_t common = std::min(left.size(), right.size());
    while (i < common && IsAscii(left[i]) && IsAscii(right[i])) {
        const auto a = static_cast<unsigned char>(LowerAscii(left[i]));
        const auto b = static_cast<unsigned char>(LowerAscii(right[i]));
        if (a != b) return a < b ? -1 : 1;
        ++i;
    }
    if (i == common) {
        // One is the other's start; every character folds to at least one byte.
        if (left.size() == right.size()) return 0;
        return left.size() < right.size() ? -1 : 1;
    }
    const int order = FoldedOrderKey(left.substr(i)).compare(FoldedOrderKey(right.substr(i)));
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace marrowick::platform
