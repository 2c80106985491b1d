// Radix texts: round trips through every base and both directions of the
// 35-symbol alphabet, the digit helpers and filling.
#include <gtest/gtest.h>

#include <cstdint>
#include <limits>

#include "platform/Exception.h"
#include "storagelib/SL20Str.h"
#include "tests/support/ExpectError.h"

namespace vo {
namespace {

TEST(RadixTextTest, EveryBaseRoundTripsWithoutLosingTheSign) {
    const int64_t values[] = {0, 1, -1, 35, 36, -36, 1295, 255,
                              -255, 1 << 20, INT32_MAX, INT32_MIN, INT64_MAX, INT64_MIN + 1};
    for (int32_t base = 2; base <= 36; ++base)
        for (int64_t v : values) {
            const MyAnsiString text = IntToStrBaseX(base, v);
            EXPECT_EQ(StrBaseXToInt(text, base), v) << base << " " << text;
            EXPECT_EQ(text.front() == '-', v < 0) << text;
        }
    EXPECT_EQ(IntToStrBaseX(2, INT64_MAX), MyAnsiString(63, '1'));
    EXPECT_EQ(IntToStrBaseX(16, -1), "-1");
    for (int64_t v : values) EXPECT_EQ(StrChArrToInt(IntToStrChArr(SLCharArray35, v), SLCharArray35), v) << v;
    EXPECT_EQ(IntToStrChArr(SLCharArray35, 35 * 35 - 1), "ZZ");
    EXPECT_EQ(IntToStrChArr("01", 6), "110");
    EXPECT_THROW(IntToStrChArr("0", 6), Exception);
    EXPECT_THROW(IntToStrChArr("", 6), Exception);
}

TEST(RadixTextTest, DigitHelpers) {
    EXPECT_EQ(IntToChar36(0), '0');
    EXPECT_EQ(IntToChar36(35), 'Z');
    EXPECT_THROW(IntToChar36(36), Exception);
    EXPECT_EQ(Char36ToInt('a'), 10);
    EXPECT_EQ(Char36ToInt('Z'), 35);
    EXPECT_THROW(Char36ToInt('-'), Exception);
    EXPECT_TRUE(IsCharValidForBase('f', 16));
    EXPECT_FALSE(IsCharValidForBase('g', 16));
    EXPECT_TRUE(IsCharInArray('P', SLCharArray35));
    EXPECT_FALSE(IsCharInArray('O', SLCharArray35));
    EXPECT_EQ(CharrToInt('P', SLCharArray35), 24);
    test::ExpectError([&] { CharrToInt('O', SLCharArray35); }, "ChArrToInt: Value not in array");
    EXPECT_EQ(IntIntPower(2, 10), 1024);
    EXPECT_EQ(IntIntPower(2, 64), 0);
    EXPECT_EQ(IntIntPower(-3, 3), -27);
    EXPECT_EQ(IntIntPower(7, 0), 1);
    EXPECT_EQ(IntIntPower(7, -2), 1);
}

TEST(RadixTextTest, Filling) {
    EXPECT_EQ(AddLeadingChars("12", 5, '0'), "00012");
    EXPECT_EQ(AddTrailingChars("12", 5, '0'), "12000");
    EXPECT_EQ(AddLeadingChars("12345", 5, '0'), "12345");
    EXPECT_EQ(AddTrailingChars("123456", 5, '0'), "123456");
    EXPECT_EQ(AddLeadingChars("", 2, ' '), "  ");
    EXPECT_EQ(AddLeadingChars("ab", INT32_MIN, '*'), "ab");
}

} // namespace
} // namespace vo
