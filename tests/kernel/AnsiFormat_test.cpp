#include "kernel/AnsiFormat.h"

#include <gtest/gtest.h>

#include <cmath>

#include "platform/Exception.h"
#include "tests/support/ExpectError.h"

namespace vo {
namespace {

TEST(FormatTextTest, ConversionsWidthsAndPrecisions) {
    struct Case {
        const char* format;
        TFmtArgs args;
        const char* expected;
    };
    const Case cases[] = {
        {"plain 100%%", {}, "plain 100%"},
        {"%d/%d", {3, -4}, "3/-4"},
        {"%.4d", {-5}, "-0005"},
        {"%5d|%-5d|", {42, 42}, "   42|42   |"},
        {"%x", {255}, "FF"},
        {"%.4x", {10}, "000A"},
        {"%x", {-1}, "FFFFFFFF"},
        {"%u", {-1}, "4294967295"},
        {"%s-%s", {"a", MyAnsiString("b")}, "a-b"},
        {"%.2s", {"abcdef"}, "ab"},
        {"%1:s %0:s %s", {"x", "y"}, "y x y"},
        {"%*d", {4, 7}, "   7"},
        {"%f", {1.5}, "1.50"},
        {"%.0f", {2.5}, "2"},
        {"%.3f", {-0.0001}, "0.000"},
        {"%n", {1234567.891}, "1,234,567.89"},
        {"%g", {0.1}, "0.1"},
        {"%g", {1e20}, "1E20"},
        {"%e", {1.5}, "1.50000000000000E+000"},
        {"%.3e", {-1234.5}, "-1.23E+003"},
        {"%D %X %S", {1, 26, "s"}, "1 1A s"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatText(c.format, c.args), c.expected) << c.format;
}

TEST(FormatTextTest, MismatchedArgumentsRaise) {
    test::ExpectError([&] { FormatText("%d", {"x"}); }, "Format '%d' invalid or incompatible with argument");
    test::ExpectError([&] { FormatText("%s and %s", {"x"}); }, "No argument for format '%s and %s'");
    for (const char* bad : {"%", "%5", "%q", "%.", "%3:"}) EXPECT_THROW(FormatText(bad, {1}), EConvertError) << bad;
    EXPECT_THROW(FormatText("%f", {1}), Exception) << "an integer is no floating-point argument";
    EXPECT_THROW(FormatText("%d", {1.0}), Exception);
    EXPECT_EQ(FormatText("%d", {1, 2}), "1") << "extra arguments are ignored";
}

// The pictures the oscilloscope and the logs show values with.
TEST(FormatFloatTest, PicturesOfShownValues) {
    struct Case {
        const char* Format;
        double Value;
        const char* Text;
    };
    const Case cases[] = {
        {"0.###", 1.23456, "1.235"},
        {"0.###", 2.0, "2"},
        {"0.###", -7.5, "-7.5"},
        {"0.#", 0.04, "0"},
        {"0.#", 12.26, "12.3"},
        {"0.########", 1.0 / 3.0, "0.33333333"},
        {"0.########", 2.5e-9, "0"},
        {"0.###", 1234567.891, "1234567.891"},
        {"", 0.1, "0.1"},
        {"0.###", std::nan(""), "NAN"},
    };
    for (const Case& c : cases) EXPECT_EQ(FormatFloat(c.Format, c.Value), c.Text) << c.Format << " " << c.Value;
}

} // namespace
} // namespace vo
