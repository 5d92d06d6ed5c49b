// The one UTF-8 decoder and encoder every layer uses.
#include <gtest/gtest.h>

#include <utf8.h>

#include <string>

using marrowick::platform::AppendUtf8;
using marrowick::platform::DecodeUtf8;
using marrowick::platform::Utf16LeToUtf8;
using marrowick::platform::Utf8ToUtf16Le;

namespace {

TEST(Utf8, DecodesWellFormedSequencesOnly) {
    const struct {
        std::string bytes;
        std::size_t length;
        char32_t codePoint;
    } cases[] = {
        {"A", 1, U'A'},
        {"\xC3\xA4x", 2, U'ä'},
        {"\xE2\x82\xAC", 3, U'€'},
        {"\xF0\x90\x90\xA8", 4, U'\U00010428'},
        {"\xF4\x8F\xBF\xBF", 4, U'\U0010FFFF'},
        {"", 0, 0},
        {"\xC3", 0, 0},              // truncated
        {"\xC0\xA1", 0, 0},          // overlong
        {"\xE0\x9F\xBF", 0, 0},      // overlong, three bytes
        {"\xED\xA0\x80", 0, 0},      // surrogate
        {"\xF4\x90\x80\x80", 0, 0},  // beyond U+10FFFF
        {"\xE2\x28\xAC", 0, 0},      // third byte does not continue
        {"\x80", 0, 0},              // a lone continuation byte
    };
    for (const auto& c : cases) {
        char32_t codePoint = 0;
        EXPECT_EQ(DecodeUtf8(c.bytes, &codePoint), c.length) << c.bytes;
        if (c.length) {
            EXPECT_EQ(codePoint, c.codePoint) << c.bytes;
        }
    }
}

TEST(Utf8, EncodingDecodesBackAndCrossesUtf16) {
    for (const char32_t codePoint :
         {U'\x7F', U'\x80', U'\u07FF', U'\u0800', U'\uFFFF', U'\U00010000', U'\U0010FFFF'}) {
        std::string text;
        AppendUtf8(text, codePoint);
        char32_t decoded = 0;
        EXPECT_EQ(DecodeUtf8(text, &decoded), text.size());
        EXPECT_EQ(decoded, codePoint);
        std::string back;
        ASSERT_TRUE(Utf16LeToUtf8(Utf8ToUtf16Le(text), back));
        EXPECT_EQ(back, text);
    }
}

}  // namespace
