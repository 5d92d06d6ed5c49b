#include "stdafx.h"

#include "LabelText.h"

#include <reg_file.h>
#include <utf8.h>

#include <cstdint>

using marrowick::platform::AppendUtf8;
using marrowick::platform::DecodeUtf8;

namespace {

// The canonical compositions whose result lies in Latin-1: a base letter and one combining
// mark. Full NFC would need Unicode's whole decomposition data and canonical ordering for
// no label's sake: the labels hold no letter outside Latin-1.
struct Composition {
    char32_t base;
    char32_t mark;
    char32_t composed;
};
const Composition kCompositions[] = {
    {0x0041, 0x0300, 0x00C0},  // À
    {0x0041, 0x0301, 0x00C1},  // Á
    {0x0041, 0x0302, 0x00C2},  // Â
    {0x0041, 0x0303, 0x00C3},  // Ã
    {0x0041, 0x0308, 0x00C4},  // Ä
    {0x0041, 0x030A, 0x00C5},  // Å
    {0x0043, 0x0327, 0x00C7},  // Ç
    {0x0045, 0x0300, 0x00C8},  // È
    {0x0045, 0x0301, 0x00C9},  // É
    {0x0045, 0x0302, 0x00CA},  // Ê
    {0x0045, 0x0308, 0x00CB},  // Ë
    {0x0049, 0x0300, 0x00CC},  // Ì
    {0x0049, 0x0301, 0x00CD},  // Í
    {0x0049, 0x0302, 0x00CE},  // Î
    {0x0049, 0x0308, 0x00CF},  // Ï
    {0x004E, 0x0303, 0x00D1},  // Ñ
    {0x004F, 0x0300, 0x00D2},  // Ò
    {0x004F, 0x0301, 0x00D3},  // Ó
    {0x004F, 0x0302, 0x00D4},  // Ô
    {0x004F, 0x0303, 0x00D5},  // Õ
    {0x004F, 0x0308, 0x00D6},  // Ö
    {0x0055, 0x0300, 0x00D9},  // Ù
    {0x0055, 0x0301, 0x00DA},  // Ú
    {0x0055, 0x0302, 0x00DB},  // Û
    {0x0055, 0x0308, 0x00DC},  // Ü
    {0x0059, 0x0301, 0x00DD},  // Ý
    {0x0061, 0x0300, 0x00E0},  // à
    {0x0061, 0x0301, 0x00E1},  // á
    {0x0061, 0x0302, 0x00E2},  // â
    {0x0061, 0x0303, 0x00E3},  // ã
    {0x0061, 0x0308, 0x00E4},  // ä
    {0x0061, 0x030A, 0x00E5},  // å
    {0x0063, 0x0327, 0x00E7},  // ç
    {0x0065, 0x0300, 0x00E8},  // è
    {0x0065, 0x0301, 0x00E9},  // é
    {0x0065, 0x0302, 0x00EA},  // ê
    {0x0065, 0x0308, 0x00EB},  // ë
    {0x0069, 0x0300, 0x00EC},  // ì
    {0x0069, 0x0301, 0x00ED},  // í
    {0x0069, 0x0302, 0x00EE},  // î
    {0x0069, 0x0308, 0x00EF},  // ï
    {0x006E, 0x0303, 0x00F1},  // ñ
    {0x006F, 0x0300, 0x00F2},  // ò
    {0x006F, 0x0301, 0x00F3},  // ó
    {0x006F, 0x0302, 0x00F4},  // ô
    {0x006F, 0x0303, 0x00F5},  // õ
    {0x006F, 0x0308, 0x00F6},  // ö
    {0x0075, 0x0300, 0x00F9},  // ù
    {0x0075, 0x0301, 0x00FA},  // ú
    {0x0075, 0x0302, 0x00FB},  // û
    {0x0075, 0x0308, 0x00FC},  // ü
    {0x0079, 0x0301, 0x00FD},  // ý
    {0x0079, 0x0308, 0x00FF},  // ÿ
};

char32_t Composed(char32_t base, char32_t mark) {
    for (const Composition& row : kCompositions) {
        if (row.base == base && row.mark == mark) return row.composed;
    }
    return 0;
}

// The letters whose full case folding is more than one letter and that a German label may
// hold: ß and its capital, and the Latin ligatures a keyboard or a text system may produce.
const char* FullFolding(char32_t letter) {
    switch (letter) {
        case 0x00DF:  // ß
        case 0x1E9E:  // ẞ
            return "SS";
        case 0xFB00:
            return "FF";
        case 0xFB01:
            return "FI";
        case 0xFB02:
            return "FL";
        case 0xFB03:
            return "FFI";
        case 0xFB04:
            return "FFL";
        case 0xFB05:
        case 0xFB06:
            return "ST";
        default:
            return nullptr;
    }
}

}  // namespace

std::string LabelComparisonKey(std::string_view text) {
    std::string composed;
    char32_t previous = 0;  // the last letter appended, when a mark may still join it
    std::size_t previousAt = 0;
    while (!text.empty()) {
        char32_t letter = 0;
        std::size_t length = DecodeUtf8(text, &letter);
        if (length == 0) {  // not UTF-8: kept as it is, matching no label
            composed += text.front();
            text.remove_prefix(1);
            previous = 0;
            continue;
        }
        text.remove_prefix(length);
        if (const char32_t joined = previous ? Composed(previous, letter) : 0) {
            composed.resize(previousAt);
            AppendUtf8(composed, joined);
            previous = 0;
            continue;
        }
        previous = letter;
        previousAt = composed.size();
        if (const char* folded = FullFolding(letter)) {
            composed += folded;
            previous = 0;
        } else {
            AppendUtf8(composed, letter);
        }
    }
    // The simple upper case of every other letter, as the registry compares names.
    return marrowick::platform::FoldName(composed);
}

bool IsSameLabel(std::string_view typed, std::string_view label) {
    return LabelComparisonKey(typed) == LabelComparisonKey(label);
}
