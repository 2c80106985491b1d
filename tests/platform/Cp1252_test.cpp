// Code page 1252 <-> UTF-8.
#include "platform/Cp1252.h"

#include <gtest/gtest.h>

using namespace vo;

namespace {

TEST(Cp1252, HighRangeTableAgainstKnownCodePoints) {
    struct Case {
        unsigned char Byte;
        char32_t Cp;
    };
    const Case cases[] = {
        {0x80, 0x20AC},
        {0x82, 0x201A},
        {0x83, 0x0192},
        {0x84, 0x201E},
        {0x85, 0x2026},
        {0x86, 0x2020},
        {0x87, 0x2021},
        {0x88, 0x02C6},
        {0x89, 0x2030},
        {0x8A, 0x0160},
        {0x8B, 0x2039},
        {0x8C, 0x0152},
        {0x8E, 0x017D},
        {0x91, 0x2018},
        {0x92, 0x2019},
        {0x93, 0x201C},
        {0x94, 0x201D},
        {0x95, 0x2022},
        {0x96, 0x2013},
        {0x97, 0x2014},
        {0x98, 0x02DC},
        {0x99, 0x2122},
        {0x9A, 0x0161},
        {0x9B, 0x203A},
        {0x9C, 0x0153},
        {0x9E, 0x017E},
        {0x9F, 0x0178},
        // undefined in the code page: the C1 control of the same number
        {0x81, 0x0081},
        {0x8D, 0x008D},
        {0x8F, 0x008F},
        {0x90, 0x0090},
        {0x9D, 0x009D},
        // Latin-1 range and ASCII are identity
        {0x41, 0x41},
        {0xA0, 0xA0},
        {0xE4, 0xE4},
        {0xFF, 0xFF},
        {0x00, 0x00},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Cp1252ToUnicode(c.Byte), c.Cp) << std::hex << int(c.Byte);
        unsigned char back = 0;
        ASSERT_TRUE(UnicodeToCp1252(c.Cp, back)) << std::hex << int(c.Byte);
        EXPECT_EQ(back, c.Byte);
    }
}

TEST(Cp1252, EveryByteSurvivesTheRoundTrip) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all.push_back(static_cast<char>(b));
    const std::string utf8 = Cp1252ToUtf8(all);
    EXPECT_TRUE(IsCp1252Representable(utf8));
    EXPECT_EQ(Utf8ToCp1252(utf8), all);
}

TEST(Cp1252, Utf8Encoding) {
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC"); // euro sign
    EXPECT_EQ(Cp1252ToUtf8("Gr\xFC\xDF"), "Gr\xC3\xBC\xC3\x9F");
    EXPECT_EQ(Utf8ToCp1252("\xE2\x80\x9E"
                           "x"),
              "\x84x"); // low double quote
}

TEST(Cp1252, UnmappableAndMalformedInputBecomesReplacement) {
    EXPECT_EQ(Utf8ToCp1252("a\xE4\xB8\xAD"
                           "b"),
              "a?b"); // CJK character
    EXPECT_EQ(Utf8ToCp1252("\xF0\x9F\x98\x80"), "?"); // emoji
    EXPECT_EQ(Utf8ToCp1252("\xC2\x80"), "?"); // U+0080 has no byte (0x80 is the euro)
    EXPECT_EQ(Utf8ToCp1252("a\xC3"), "a?"); // truncated sequence
    EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "??"); // overlong encoding
    EXPECT_EQ(Utf8ToCp1252("\xED\xA0\x80", '_'), "___"); // surrogate
    EXPECT_FALSE(IsCp1252Representable("\xE4\xB8\xAD"));
}

TEST(Cp1252, CaseInsensitiveComparison) {
    EXPECT_TRUE(Cp1252SameText("Archives\\Config", "ARCHIVES\\config"));
    EXPECT_TRUE(Cp1252SameText("\xE4\xF6\xFC", "\xC4\xD6\xDC")); // umlauts
    EXPECT_TRUE(Cp1252SameText("\x9A\x9C\x9E\xFF", "\x8A\x8C\x8E\x9F"));
    EXPECT_FALSE(Cp1252SameText("\xF7", "\xD7")); // division and multiplication signs
    EXPECT_FALSE(Cp1252SameText("abc", "abcd"));
}

} // namespace
