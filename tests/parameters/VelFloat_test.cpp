// The drive's packed float: known byte patterns both ways, truncation,
// the range limits and the exact round trip of every normalised pattern.
#include "parameters/VelFloat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "tests/support/ExpectError.h"

namespace vo {
namespace {

// The word of four bytes as they travel (byte 0 first).
std::uint32_t Word(std::uint8_t b0, std::uint8_t b1, std::uint8_t b2, std::uint8_t b3) {
    return static_cast<std::uint32_t>(b0) | static_cast<std::uint32_t>(b1) << 8 |
        static_cast<std::uint32_t>(b2) << 16 | static_cast<std::uint32_t>(b3) << 24;
}

TEST(VelFloat, KnownPatternsBothWays) {
    struct Case {
        double Value;
        std::uint32_t Bytes;
    };
    const Case cases[] = {
        {1.0, Word(0x00, 0x80, 0x00, 0x00)},
        {-2.5, Word(0x00, 0xA0, 0x01, 0x80)},
        {-0.75, Word(0x00, 0xC0, 0xFF, 0x80)},
        {1000.0, Word(0x00, 0xFA, 0x09, 0x00)},
        {65535.0, Word(0xFF, 0xFF, 0x0F, 0x00)},
        {0.0, Word(0x00, 0x00, 0x00, 0x00)},
        {3.0, Word(0x00, 0xC0, 0x01, 0x00)},
        {0.5, Word(0x00, 0x80, 0xFF, 0x00)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.Value);
        EXPECT_EQ(VelFloatToDouble(c.Bytes), c.Value);
        EXPECT_EQ(DoubleToVelFloat(c.Value), c.Bytes);
    }
}

TEST(VelFloat, DecodingIgnoresWhatTheFormatDoesNotUse) {
    // Bit 15 clear: 0 whatever the rest holds.
    EXPECT_EQ(VelFloatToDouble(Word(0x34, 0x12, 0x05, 0x00)), 0.0);
    EXPECT_EQ(VelFloatToDouble(0xFF7F7FFFu), 0.0);
    // Bits 24 to 30 do not count.
    EXPECT_EQ(VelFloatToDouble(Word(0x00, 0x80, 0x00, 0x7F)), 1.0);
    EXPECT_EQ(VelFloatToDouble(Word(0x00, 0x80, 0x00, 0xFF)), -1.0);
    // The exponent's extremes.
    EXPECT_EQ(VelFloatToDouble(Word(0x00, 0x80, 0x80, 0x00)), std::ldexp(1.0, -128));
    EXPECT_EQ(VelFloatToDouble(Word(0xFF, 0xFF, 0x7F, 0x00)), std::ldexp(65535.0, 127 - 15));
}

TEST(VelFloat, EncodingTruncatesTowardZero) {
    // 0.1 keeps 16 significant bits, cut, not rounded.
    const std::uint32_t w = DoubleToVelFloat(0.1);
    EXPECT_EQ(w, Word(0xCC, 0xCC, 0xFC, 0x00));
    EXPECT_EQ(VelFloatToDouble(w), 0.09999847412109375);
    // Just below 2: all mantissa bits set, never rounded up into the next exponent.
    EXPECT_EQ(DoubleToVelFloat(std::nextafter(2.0, 0.0)), Word(0xFF, 0xFF, 0x00, 0x00));
    EXPECT_EQ(DoubleToVelFloat(-std::nextafter(2.0, 0.0)), Word(0xFF, 0xFF, 0x00, 0x80));
}

TEST(VelFloat, ValuesOutsideTheRangeAreRefused) {
    const double refused[] = {std::ldexp(1.0, 128), -std::ldexp(1.0, 128), std::ldexp(1.0, -129),
                              -std::ldexp(1.5, -130), std::numeric_limits<double>::denorm_min(),
                              HUGE_VAL, -HUGE_VAL, std::nan("")};
    for (const double v : refused) {
        SCOPED_TRACE(v);
        test::ExpectError<EConvertError>([&] { DoubleToVelFloat(v); }, "Value out of VelFloat range!");
    }
    // The limits themselves are inside.
    EXPECT_EQ(DoubleToVelFloat(std::ldexp(1.0, -128)), Word(0x00, 0x80, 0x80, 0x00));
    EXPECT_EQ(DoubleToVelFloat(std::nextafter(std::ldexp(1.0, 128), 0.0)), Word(0xFF, 0xFF, 0x7F, 0x00));
    EXPECT_EQ(DoubleToVelFloat(-0.0), 0u);
}

TEST(VelFloat, EveryNormalisedPatternSurvivesDecodeAndEncode) {
    std::mt19937 rng(20261211);
    std::uniform_int_distribution<std::uint32_t> any;
    for (int i = 0; i < 200000; ++i) {
        // Mantissa bit 15 set, bits 24 to 30 clear.
        const std::uint32_t w = (any(rng) & 0x80FFFFFFu) | 0x8000u;
        ASSERT_EQ(DoubleToVelFloat(VelFloatToDouble(w)), w) << std::hex << w;
    }
}

} // namespace
} // namespace vo
