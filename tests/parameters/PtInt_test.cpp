// Integer parameters: entry by display mode with the type range and the
// limits, limit and default texts, commits, and what the records store.
#include "parameters/PtInt.h"

#include "tests/parameters/ParTestUtil.h"
#include "tests/support/ExpectError.h"

#include <gtest/gtest.h>

namespace vo {
namespace {

class IntParameterTest : public test::ParameterFixture {
protected:
    void SetUp() override {
        ParameterFixture::SetUp();
        for (const char* t : {"UInt8", "SInt8", "UInt16", "SInt16", "UInt32", "SInt32"}) {
            const MyAnsiString type = t;
            if (type == "UInt8")
                Classes.RegisterParameterClass(ParameterClass<TUInt8Parameter>(), t);
            else if (type == "SInt8")
                Classes.RegisterParameterClass(ParameterClass<TSInt8Parameter>(), t);
            else if (type == "UInt16")
                Classes.RegisterParameterClass(ParameterClass<TUInt16Parameter>(), t);
            else if (type == "SInt16")
                Classes.RegisterParameterClass(ParameterClass<TSInt16Parameter>(), t);
            else if (type == "UInt32")
                Classes.RegisterParameterClass(ParameterClass<TUInt32Parameter>(), t);
            else
                Classes.RegisterParameterClass(ParameterClass<TSInt32Parameter>(), t);
        }
    }
    // One node of Type with the limits and default (UUID 0: no unit).
    TParameter& Node(const MyAnsiString& Type, long long Min, long long Max, long long Def, int Upid = 0x1234) {
        const MyAnsiString rec = "[A [R [D:" + Type +
            " /UPID 0 /DEVICE_UPID 0 /Level 1 /Caption '' /Permission 255 /AddrUsage 15 /UseVFlag ''"
            " /UUID 0 /MinValue 0 /MaxValue 0 /DefValue 0 ] [A " +
            std::to_string(Upid) + " " + std::to_string(Upid) + " 1 'P' 255 15 '' 0 " + std::to_string(Min) + " " +
            std::to_string(Max) + " " + std::to_string(Def) + " ] ] ]";
        return *BuildTree(rec).back();
    }
    static std::int64_t Pending(TParameter& P) {
        P.CopyTempToData();
        return P.GetIntValue();
    }
};

TEST_F(IntParameterTest, EntryChecksTypeRangeThenLimits) {
    struct Case {
        const char* type;
        long long min, max;
        const char* mode;
        const char* text;
        long long value; // entered value
        const char* error; // or the error text
    };
    const Case cases[] = {
        {"UInt16", 0, 65535, "DEC", "65535", 65535, nullptr},
        {"UInt16", 0, 65535, "DEC", "65536", 0, "Value out of range of UInt16 type!"},
        {"UInt16", 0, 65535, "DEC", "-1", 0, "Value out of range of UInt16 type!"},
        {"UInt16", 0, 50, "DEC", "70", 0, "Value is too big. The maximum is 50 "},
        {"UInt16", 10, 50, "DEC", "5", 0, "Value is too small. The minimum is 10 "},
        {"UInt8", 0, 255, "DEC", "256", 0, "Value out of range of UInt8 type!"},
        {"SInt8", -128, 127, "HEX", "$80", -128, nullptr},
        {"SInt8", -128, 127, "HEX", "$FF", -1, nullptr},
        {"SInt8", -128, 127, "DEC", "200", 0, "Value out of range of SInt8 type!"},
        {"SInt8", -128, 127, "BIN", "11111111", 0, "Value out of range of SInt8 type!"},
        {"SInt16", -32768, 32767, "HEX", "$FFFF", -1, nullptr},
        {"SInt16", -32768, 32767, "DEC", "40000", 0, "Value out of range of SInt16 type!"},
        {"UInt32", 0, 4294967295LL, "HEX", "$FFFFFFFF", 4294967295LL, nullptr},
        {"UInt32", 0, 4294967295LL, "DEC", "4294967295", 4294967295LL, nullptr},
        {"UInt32", 0, 4294967295LL, "ASCII", "AB", 0x41420000, nullptr},
        {"UInt32", 0, 4294967295LL, "ASCII", "ABCD", 0x41424344, nullptr},
        {"UInt32", 0, 4294967295LL, "ASCII", "ABCDE", 0, "String too long! Maximal MyAnsiString length is 4"},
        {"SInt32", -2147483648LL, 2147483647, "HEX", "$FFFFFFFF", -1, nullptr},
        {"UInt16", 0, 65535, "ASCII", "A", 0, "UInt16 parameters take no entry in display mode 'ASCII'"},
    };
    for (const char* type : {"UInt8", "SInt8", "UInt16", "SInt16", "UInt32", "SInt32"}) {
        SCOPED_TRACE(type);
        TParameter& p = Node(type, 0, 100, 0);
        p.SetScaledValue("101", usSI, "BIN");
        EXPECT_EQ(Pending(p), 5);
        p.SetScaledValue("1 1", usSI, "BIN");
        EXPECT_EQ(Pending(p), 5);
        p.SetScaledValue("", usSI, "BIN");
        EXPECT_EQ(Pending(p), 0);
    }
    int upid = 0x2000;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.mode + " '" + c.text + "'");
        TParameter& p = Node(c.type, c.min, c.max, 0, ++upid);
        const long long before = c.min > 0 ? c.min : 0;
        p.SetIntValue(usSI, before);
        if (c.error) {
            test::ExpectError([&] { p.SetScaledValue(c.text, usSI, c.mode); }, c.error);
            EXPECT_EQ(Pending(p), before) << "a refused entry leaves the pending value";
        } else {
            p.SetScaledValue(c.text, usSI, c.mode);
            EXPECT_EQ(Pending(p), c.value);
        }
    }
}

TEST_F(IntParameterTest, LimitErrorsHaveTheirOwnClasses) {
    TParameter& p = Node("UInt16", 10, 50, 20);
    EXPECT_THROW(p.SetIntValue(usSI, 51), EParameterMaxValueError);
    EXPECT_THROW(p.SetIntValue(usSI, 9), EParameterMinValueError);
    EXPECT_NO_THROW(p.SetIntValue(usSI, 50));
}

TEST_F(IntParameterTest, LimitAndDefaultTexts) {
    struct Case {
        const char* type;
        long long min, max, def;
        const char* mode;
        const char* minText;
        const char* maxText;
        const char* defText;
    };
    const Case cases[] = {
        {"UInt16", 0, 300, 5, "HEX", "0000h", "012Ch", "0005h"},
        {"UInt16", 0, 300, 5, "BIN", "0000000000000000", "0000000100101100", "0000000000000101"},
        {"SInt8", -100, 100, -1, "HEX", "9Ch", "64h", "FFh"},
        {"SInt16", -2, 2, -2, "HEX", "FFFEh", "0002h", "FFFEh"},
        {"SInt16", -2, 2, -2, "DEC", "-2", "2", "-2"},
        {"SInt16", -2, 2, -2, "BIN", "1111111111111110", "0000000000000010", "1111111111111110"},
        {"SInt32", -1, 1, -1, "HEX", "FFFFFFFFh", "00000001h", "FFFFFFFFh"},
        {"UInt32", 0, 4294967295LL, 7, "DEC", "0", "4294967295", "7"},
        {"UInt8", 0, 200, 3, "HEX", "00h", "C8h", "03h"},
    };
    int upid = 0x3000;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.mode);
        auto& p = dynamic_cast<TGenericIntParameter&>(Node(c.type, c.min, c.max, c.def, ++upid));
        TValueRec v{"old", "unit"};
        p.GetMinValueStr(v, usSI, c.mode);
        EXPECT_EQ(v.ValueStr, c.minText);
        EXPECT_EQ(v.UnitStr, "");
        p.GetMaxValueStr(v, usSI, c.mode);
        EXPECT_EQ(v.ValueStr, c.maxText);
        p.GetDefaultStr(v, usSI, c.mode);
        EXPECT_EQ(v.ValueStr, c.defText);
    }
}

TEST_F(IntParameterTest, RecordValuesAreCutToTheWidth) {
    auto& p = dynamic_cast<TGenericIntParameter&>(Node("UInt8", 300, 255, 306));
    EXPECT_EQ(p.GetDefaultValue(), 50);
    p.SetDefaultValue(usSI);
    EXPECT_EQ(p.GetMinValueInt(), 44);
    EXPECT_EQ(p.Size(), 1);
    EXPECT_EQ(p.TypeStr(), "UInt8");
    EXPECT_EQ(p.PropList()->ObjType(), "UInt8 Parameter");
}

TEST_F(IntParameterTest, CommitsAndValidity) {
    auto& p = dynamic_cast<TGenericIntParameter&>(Node("SInt16", -100, 100, 7));
    // Not valid: getters raise, the default does not.
    test::ExpectError([&] { (void)p.GetIntValue(); }, "Parameter not valid");
    test::ExpectError([&] { (void)p.GetMinValueInt(); }, "Parameter not valid");
    test::ExpectError([&] { (void)p.GetMaxValueDouble(usSI); }, "Parameter not valid");
    EXPECT_EQ(p.GetDefaultValue(), 7);
    // The first commit of the same value (0 = 0) still validates and counts as a change.
    p.CopyTempToData();
    EXPECT_TRUE(p.GetValid());
    EXPECT_TRUE(p.GetAttrFlag(AttrChanged));
    p.ClrAttrFlag(AttrChanged);
    p.CopyTempToData();
    EXPECT_FALSE(p.GetAttrFlag(AttrChanged)) << "an unchanged valid value is no change";
    p.SetDefaultValue(usSI);
    EXPECT_EQ(p.GetIntValue(), 7);
    EXPECT_TRUE(p.GetAttrFlag(AttrChanged));
    // A default outside the limits is refused and nothing is committed.
    auto& q = dynamic_cast<TGenericIntParameter&>(Node("UInt16", 10, 20, 5, 0x1235));
    EXPECT_THROW(q.SetDefaultValue(usSI), EParameterMinValueError);
    EXPECT_FALSE(q.GetValid());
}

} // namespace
} // namespace vo
