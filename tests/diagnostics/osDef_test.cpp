// Reply numbers and unique item names.
#include "diagnostics/osDef.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Exception.h"

namespace vo {
namespace {

TEST(OsDef, StrToValReadsLittleEndian) {
    struct Case {
        std::string Data;
        int Pos, Len;
        std::int32_t Value;
    };
    const Case cases[] = {
        {"\x34\x12", 1, 2, 0x1234},
        {std::string("\x00\xFF\xFF", 3), 2, 2, 0xFFFF},
        {"\xFF", 1, 1, 0xFF},
        {"\x01\x02\x03", 1, 3, 0x030201},
        {"\x78\x56\x34\x12", 1, 4, 0x12345678},
        {std::string("\x00\x00\x00\x80", 4), 1, 4, INT32_MIN},
        {"\xFF\xFF\xFF\xFF", 1, 4, -1},
        {"\x01\x02\x03\x04\x05\x06", 1, 6, 0x04030201}, // 48 bits keep the low four bytes
    };
    for (const Case& c : cases) {
        int pos = c.Pos;
        EXPECT_EQ(StrToVal(c.Data, pos, c.Len), c.Value);
        EXPECT_EQ(pos, c.Pos + c.Len);
    }
    int pos = 2;
    EXPECT_THROW(StrToVal("\x01\x02", pos, 2), Exception);
    EXPECT_EQ(pos, 2);
    pos = 0;
    EXPECT_THROW(StrToVal("\x01\x02", pos, 1), Exception);
}

TEST(OsDef, BaseNames) {
    struct Case {
        const char* Name;
        const char* Base;
    };
    const Case cases[] = {
        {"Trace(12)", "Trace"},
        {"Trace (12)  ", "Trace"},
        {"Trace (x)", "Trace (x)"},
        {"Trace ()", "Trace ()"},
        {"Trace 12)", "Trace 12)"},
        {"Trace  ", "Trace"},
        {"(3)", ""},
        {"", ""},
    };
    for (const Case& c : cases) {
        MyAnsiString base = "stale";
        SearchBaseName(c.Name, base);
        EXPECT_EQ(base, c.Base) << c.Name;
    }
}

TEST(OsDef, UniqueNames) {
    using L = std::vector<MyAnsiString>;
    struct Case {
        const char* Name;
        L List;
        const char* Result;
    };
    const Case cases[] = {
        {"Default", {"Default", "Default (2)"}, "Default (3)"},
        {"Default (2)", {"Default"}, "Default (2)"},
        {"Default (7)", {}, "Default"},
        {"default", {"DEFAULT"}, "default (2)"},
        {"", {}, "Untitled"},
        {"  ", {"Untitled"}, "Untitled (2)"},
        {"(4)", {}, "Untitled"},
        {"Trace (x)", {"Trace (x)"}, "Trace (x) (2)"},
    };
    for (const Case& c : cases) {
        MyAnsiString name = c.Name;
        ReadjustSettingsName(name, c.List);
        EXPECT_EQ(name, c.Result) << c.Name;
    }
    // The list decides how names compare.
    MyAnsiString name = "default";
    ReadjustSettingsName(name, [](const MyAnsiString& s) { return s == "Default"; });
    EXPECT_EQ(name, "default");
}

} // namespace
} // namespace vo
