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

int CompareFolded(std::string_view left, std::string_view right) {
    const std::string foldedLeft = FoldCase(left);
    const std::string foldedRight = FoldCase(right);
    // Equal exactly when the folded forms are; the order is that of the run-time
    // library's case-insensitive comparison, which compares ASCII letters as lower case,
    // so "_x" sorts before "htm". Folded text holds no lower-case ASCII letter, so mapping
    // A-Z down changes the order only, never which names are equal.
    const auto orderKey = [](char ch) {
        const auto byte = static_cast<unsigned char>(ch);
        return byte >= 'A' && byte <= 'Z' ? byte + ('a' - 'A') : byte;
    };
    const std::size_t common = std::min(foldedLeft.size(), foldedRight.size());
    for (std::size_t i = 0; i < common; ++i) {
        const int a = orderKey(foldedLeft[i]);
        const int b = orderKey(foldedRight[i]);
        if (a != b) return a < b ? -1 : 1;
    }
    if (foldedLeft.size() == foldedRight.size()) return 0;
    return foldedLeft.size() < foldedRight.size() ? -1 : 1;
}

}  // namespace marrowick::platform
