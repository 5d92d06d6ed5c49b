// UTF-8, the encoding of every narrow string in the program: one decoder and one encoder
// for all layers, and the conversions to and from the encodings Windows' files use
// (UTF-16LE and Windows-1252, whose five unused bytes map to the same code points, as
// Windows converts them).
// Well-formed means what Unicode allows: no overlong forms, no surrogates, nothing above
// U+10FFFF.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace marrowick::platform {

// Decodes the well-formed UTF-8 sequence at the start of text: its length in bytes, with
// the code point in *codePoint; 0 when text is empty or starts with no such sequence.
std::size_t DecodeUtf8(std::string_view text, char32_t* codePoint = nullptr);

// Appends the UTF-8 form of one code point.
void AppendUtf8(std::string& out, char32_t codePoint);

// True when the whole text is well-formed UTF-8.
bool IsWellFormedUtf8(std::string_view text);

// The characters of UTF-8 text: its bytes that do not continue a sequence.
std::size_t Utf8CharacterCount(std::string_view text);

// UTF-16LE bytes (no byte-order mark) of the text; a byte that starts no well-formed
// sequence is taken as the Windows-1252 character of that byte, so nothing is lost.
std::string Utf8ToUtf16Le(std::string_view text);

// The UTF-8 text of UTF-16LE bytes; false for an odd number of bytes or a surrogate without
// its partner.
bool Utf16LeToUtf8(std::string_view bytes, std::string& out);

// Windows-1252 bytes as UTF-8 text.
std::string Windows1252ToUtf8(std::string_view bytes);

// UTF-8 text as Windows-1252 bytes (a byte that starts no well-formed sequence is taken as
// Windows-1252 already); false when some character has no place there.
bool Utf8ToWindows1252(std::string_view text, std::string& out);

}  // namespace marrowick::platform
