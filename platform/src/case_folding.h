// The one case folding used for registry key and value names and by _mbsicmp, so that
// the program's own duplicate checks agree with the store.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace marrowick::platform {

// Code points first, first + stride, ..., last map to themselves + delta.
struct CaseRun {
    std::uint32_t first;
    std::uint32_t last;
    std::uint32_t stride;
    std::int32_t delta;
};
extern const CaseRun kUpperCaseRuns[];
extern const std::size_t kUpperCaseRunCount;

// The simple Unicode upper case of one code point (itself when it has none).
char32_t UpperCase(char32_t codePoint);

// A name folded for comparison: every well-formed UTF-8 character is replaced by its
// upper case; bytes that are not well-formed UTF-8 stay as they are. Two names are the
// same name exactly when their folded forms are equal.
std::string FoldCase(std::string_view name);

// Compares two names under the folding: 0 exactly when the folded forms are equal;
// otherwise ordered as the run-time library's _mbsicmp orders them (letters as lower case).
int CompareFolded(std::string_view left, std::string_view right);

}  // namespace marrowick::platform
