#include <gtest/gtest.h>
#include <mbstring.h>

#include <string>

#include "case_folding.h"

using marrowick::platform::FoldCase;
using marrowick::platform::UpperCase;

namespace {

int MbsICmp(const char* left, const char* right) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(left),
                    reinterpret_cast<const unsigned char*>(right));
}

int MbsCmp(const char* left, const char* right) {
    return _mbscmp(reinterpret_cast<const unsigned char*>(left),
                   reinterpret_cast<const unsigned char*>(right));
}

TEST(CaseFolding, MapsEachCharacterToItsSimpleUpperCase) {
    EXPECT_EQ(UpperCase(U'a'), U'A');
    EXPECT_EQ(UpperCase(U'ä'), U'Ä');
    EXPECT_EQ(UpperCase(U'ÿ'), U'Ÿ');  // leaves Latin-1
    EXPECT_EQ(UpperCase(U'ǆ'), U'Ǆ');  // stride-2 neighbours must not leak
    EXPECT_EQ(UpperCase(U'ǅ'), U'Ǆ');  // title case goes to upper case
    EXPECT_EQ(UpperCase(U'ς'), U'Σ');  // final sigma
    EXPECT_EQ(UpperCase(U'я'), U'Я');
    EXPECT_EQ(UpperCase(U'\u1F80'), U'\u1F88');
    EXPECT_EQ(UpperCase(U'\U00010428'), U'\U00010400');  // four UTF-8 bytes
    // No one-to-many mappings, and upper case stays as it is.
    EXPECT_EQ(UpperCase(U'ß'), U'ß');
    EXPECT_EQ(UpperCase(U'Ā'), U'Ā');
    EXPECT_EQ(UpperCase(U'ā'), U'Ā');
    EXPECT_EQ(UpperCase(U'€'), U'€');
}

TEST(CaseFolding, InvalidUtf8BytesStayThemselves) {
    EXPECT_EQ(FoldCase("ab\xff"
                       "c"),
              "AB\xff"
              "C");
    EXPECT_EQ(FoldCase("\xc3"), "\xc3");                    // truncated sequence
    EXPECT_EQ(FoldCase("\xc3\xa4"), "\xc3\x84");            // ä
    EXPECT_EQ(FoldCase("\xc0\xa1"), "\xc0\xa1");            // overlong '!'
    EXPECT_EQ(FoldCase("\xed\xa0\x80x"), "\xed\xa0\x80X");  // surrogate
    EXPECT_NE(FoldCase("\xe4"), FoldCase("\xc4"));          // Latin-1 bytes are not letters
}

TEST(MultibyteCompare, ExactComparisonIsByteWiseAndUnsigned) {
    EXPECT_EQ(MbsCmp("abc", "abc"), 0);
    EXPECT_LT(MbsCmp("ABC", "abc"), 0);
    EXPECT_GT(MbsCmp("\xc3\xa4", "z"), 0);  // bytes compare unsigned
    EXPECT_LT(MbsCmp("ab", "abc"), 0);
}

TEST(MultibyteCompare, CaseInsensitiveComparisonAgreesWithTheFolding) {
    EXPECT_EQ(MbsICmp("Äpfel", "äPFEL"), 0);
    EXPECT_EQ(MbsICmp("Straße", "STRAßE"), 0);
    EXPECT_NE(MbsICmp("Straße", "STRASSE"), 0);
    EXPECT_EQ(MbsICmp("\xff"
                      "a",
                      "\xff"
                      "A"),
              0);
    EXPECT_NE(MbsICmp("\xff", "\xfe"), 0);
    // Ordered by the folded text, so "a" sorts before "B" whatever the case.
    EXPECT_LT(MbsICmp("a", "B"), 0);
    EXPECT_GT(MbsICmp("b", "A"), 0);
    EXPECT_LT(MbsICmp("doc", "DOCX"), 0);
    // Letters order as lower case, as in the run-time library: the punctuation between
    // 'Z' and 'a' sorts before every letter.
    EXPECT_LT(MbsICmp("_x", "htm"), 0);
    EXPECT_LT(MbsICmp("[", "A"), 0);
    EXPECT_GT(MbsICmp("a", "@"), 0);
    EXPECT_EQ(MbsICmp("", ""), 0);
}

// The comparison takes shortcuts over ASCII; whatever the mix, it must order as the folded
// texts do (letters as lower case).
TEST(MultibyteCompare, OrdersEveryMixAsTheFoldedTexts) {
    const auto reference = [](const std::string& text) {
        std::string key = FoldCase(text);
        for (char& ch : key) {
            if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch + ('a' - 'A'));
        }
        return key;
    };
    const char* const texts[] = {
        "",          "a",         "A", "ab", "aB\xc3\xa4", "AB\xc3\x84", "ab\xff", "ab\xfe",
        "\xc3\xa4x", "\xc3\x84X", "_", "Z",  "ext0001",    "EXT0001b",   "\xc3",   "abc"};
    for (const char* left : texts) {
        for (const char* right : texts) {
            const int expected = reference(left).compare(reference(right));
            const int actual = MbsICmp(left, right);
            EXPECT_EQ((actual > 0) - (actual < 0), (expected > 0) - (expected < 0))
                << '"' << left << "\" against \"" << right << '"';
        }
    }
}

}  // namespace
