#include "utf8.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>

namespace marrowick::platform {

std::size_t DecodeUtf8(std::string_view text, char32_t* codePoint) {
    if (text.empty()) return 0;
    const auto byte = [text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(0);
    if (lead < 0x80) {
        if (codePoint) *codePoint = lead;
        return 1;
    }
    // The second byte's range rules out overlong forms, surrogates and code points beyond
    // U+10FFFF.
    std::size_t length;
    unsigned char low = 0x80, high = 0xBF;
    char32_t decoded;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2, decoded = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3, decoded = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4, decoded = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
    for (std::size_t i = 1; i < length; ++i) {
        if (i > 1 && (byte(i) < 0x80 || byte(i) > 0xBF)) return 0;
        decoded = (decoded << 6) | (byte(i) & 0x3F);
    }
    if (codePoint) *codePoint = decoded;
    return length;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
    if (codePoint < 0x80) {
        out += static_cast<char>(codePoint);
    } else if (codePoint < 0x800) {
        out += static_cast<char>(0xC0 | (codePoint >> 6));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else if (codePoint < 0x10000) {
        out += static_cast<char>(0xE0 | (codePoint >> 12));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (codePoint >> 18));
        out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (codePoint & 0x3F));
    }
}

bool IsWellFormedUtf8(std::string_view text) {
    while (!text.empty()) {
        // Plain ASCII, most of any text here, eight bytes at a time.
        std::size_t ascii = 0;
        for (std::uint64_t word; ascii + 8 <= text.size(); ascii += 8) {
            std::memcpy(&word, text.data() + ascii, 8);
            if (word & 0x8080808080808080u) break;
        }
        text.remove_prefix(ascii);
        if (text.empty()) break;
        const std::size_t length = DecodeUtf8(text);
        if (length == 0) return false;
        text.remove_prefix(length);
    }
    return true;
}

std::size_t Utf8CharacterCount(std::string_view text) {
    std::size_t count = 0;
    for (char c : text) count += (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    return count;
}

namespace {

// Windows-1252 at 0x80..0x9F.
constexpr char16_t kWindows1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

char32_t Windows1252CodePoint(unsigned char byte) {
    return byte >= 0x80 && byte < 0xA0 ? kWindows1252High[byte - 0x80] : byte;
}

// Removes the character text starts with and returns it: a well-formed UTF-8 sequence, or
// else one byte taken as Windows-1252.
char32_t TakeCharacter(std::string_view& text) {
    char32_t c;
    std::size_t length = DecodeUtf8(text, &c);
    if (length == 0) {
        c = Windows1252CodePoint(static_cast<unsigned char>(text[0]));
        length = 1;
    }
    text.remove_prefix(length);
    return c;
}

}  // namespace

std::string Utf8ToUtf16Le(std::string_view text) {
    std::string out;
    out.reserve(2 * text.size());
    const auto unit = [&out](char32_t u) {
        out += static_cast<char>(u & 0xFF);
        out += static_cast<char>(u >> 8);
    };
    while (!text.empty()) {
        const char32_t c = TakeCharacter(text);
        if (c >= 0x10000) {
            unit(0xD800 + ((c - 0x10000) >> 10));
            unit(0xDC00 + ((c - 0x10000) & 0x3FF));
        } else {
            unit(c);
        }
    }
    return out;
}

bool Utf16LeToUtf8(std::string_view bytes, std::string& out) {
    if (bytes.size() % 2 != 0) return false;
    out.clear();
    out.reserve(bytes.size() / 2);
    const auto unitAt = [bytes](std::size_t i) -> char32_t {
        return static_cast<unsigned char>(bytes[i]) |
               (static_cast<char32_t>(static_cast<unsigned char>(bytes[i + 1])) << 8);
    };
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        char32_t c = unitAt(i);
        if (c >= 0xDC00 && c < 0xE000) return false;
        if (c >= 0xD800 && c < 0xDC00) {
            if (i + 4 > bytes.size()) return false;
            const char32_t low = unitAt(i + 2);
            if (low < 0xDC00 || low >= 0xE000) return false;
            c = 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00);
            i += 2;
        }
        AppendUtf8(out, c);
    }
    return true;
}

std::string Windows1252ToUtf8(std::string_view bytes) {
    std::string out;
    out.reserve(bytes.size());
    for (char c : bytes) AppendUtf8(out, Windows1252CodePoint(static_cast<unsigned char>(c)));
    return out;
}

bool Utf8ToWindows1252(std::string_view text, std::string& out) {
    out.clear();
    out.reserve(text.size());
    while (!text.empty()) {
        const char32_t c = TakeCharacter(text);
        if (c < 0x80 || (c >= 0xA0 && c < 0x100)) {
            out += static_cast<char>(c);
            continue;
        }
        const char16_t* found = std::find(std::begin(kWindows1252High), std::end(kWindows1252High),
                                          static_cast<char16_t>(c));
        if (c > 0xFFFF || found == std::end(kWindows1252High)) return false;
        out += static_cast<char>(0x80 + (found - std::begin(kWindows1252High)));
    }
    return true;
}

}  // namespace marrowick::platform
