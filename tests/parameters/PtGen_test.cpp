// The generic parameter bases: integer display in the five modes and in the
// unit systems (with and without a device unit), the integer's additional
// functions, Boolean truth texts, the string base and directory permissions.
#include "parameters/PtGen.h"

#include "kernel/ModTree.h"
#include "tests/parameters/ParTestUtil.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/TestShell.h"

#include <gtest/gtest.h>

#include <string>

namespace vo {
namespace {

using test::ExpectError;
using test::IntDef;
using test::TTestBoolParameter;
using test::TTestIntParameter;

class GenericParameterTest : public test::ParameterFixture {
protected:
    // One integer of the test type (UUID as given) under the root.
    TTestIntParameter& MakeInt(int UUID = 0, const MyAnsiString& Extra = "") {
        MyAnsiString def = IntDef;
        if (!Extra.empty())
            def.replace(def.size() - 1, 1, "/AdditionalFunction '' ]");
        const MyAnsiString values = "10 10 1 'i' 85 5 '' " + std::to_string(UUID) + (Extra.empty() ? "" : " '" + Extra + "'");
        auto nodes = BuildTree("[A [R " + def + " [A " + values + " ] ] ]");
        return dynamic_cast<TTestIntParameter&>(*nodes.back());
    }
};

TEST_F(GenericParameterTest, IntegerDisplayModes) {
    TTestIntParameter& p = MakeInt();
    const struct {
        int Width;
        std::int64_t Value;
        const char* Mode;
        const char* Text;
    } cases[] = {
        {2, 26, "HEX", "001Ah"},
        {1, -1, "HEX", "FFh"},
        {4, -2, "HEX", "FFFFFFFEh"},
        {2, -32768, "HEX", "8000h"},
        {4, 2147483648LL, "HEX", "80000000h"},
        {1, 0x1234, "HEX", "1234h"}, // longer when the value needs it
        {1, -5, "DEC", "-5"},
        {1, -5, "BIN", "11111011"},
        {2, 0x4142, "ASCII", "AB"},
        {1, 0x4142, "ASCII", "B"},
        {4, 0x41424344, "ASCII", "ABCD"},
        {2, 26, "Hex", "as passed"},
        {2, 26, "", "as passed"},
    };
    for (const auto& c : cases) {
        p.SetWidth(c.Width);
        p.Value = c.Value;
        TValueRec v{"as passed", "unit"};
        p.GetScaledValue(v, usSI, c.Mode);
        EXPECT_EQ(v.ValueStr, c.Text) << c.Width << " " << c.Value << " " << c.Mode;
        EXPECT_EQ(v.UnitStr, "") << c.Mode;
    }
    p.SetWidth(2);
    p.Value = -1;
    EXPECT_EQ(p.GetRawDataStr("HEX"), "FFFFh");
    EXPECT_EQ(p.GetRawDataStr("DEC"), "-1");
    EXPECT_EQ(p.GetRawDataStr("BIN"), "");
}

// Scaled values go through the device unit of the record's UUID; without
// such a unit the value shows unscaled and without a caption.
TEST_F(GenericParameterTest, ScaledValuesAndUnits) {
    Units().Init(*dynamic_cast<TSLDictionary*>(SLDecodeString(
                                                   "[D /Units [A [R [D:U /UUID 0 /UnitName '' /ImperialCaption '' /ImperialOffset 0.0 /ImperialScale 1.0 "
                                                   "/MetricCaption '' /MetricOffset 0.0 /MetricScale 1.0 /SICaption '' /SIOffset 0.0 /SIScale 1.0 ] "
                                                   "[A 7 'pos' 'in' 0.0 0.0254 'mm' 0.0 1.0 'm' 0.0 0.001 ] ] ] ]")
                                                   .Get()));
    TTestIntParameter& scaled = MakeInt(7);
    scaled.Value = 1500;
    TValueRec v;
    scaled.GetScaledValue(v, usSI, "SCALED");
    EXPECT_EQ(v.ValueStr, "1.5");
    EXPECT_EQ(v.UnitStr, "m");
    scaled.GetScaledValue(v, usMetric, "SCALED");
    EXPECT_EQ(v.ValueStr, "1500");
    EXPECT_EQ(v.UnitStr, "mm");
    scaled.GetScaledValue(v, usEnglish, "SCALED");
    EXPECT_EQ(v.ValueStr, "1500");
    EXPECT_EQ(v.UnitStr, "");
    EXPECT_DOUBLE_EQ(scaled.GetBaseScaledValue(), 1.5);
    double scale = 0;
    MyAnsiString unit;
    scaled.GetUnit(scale, unit, usImperial);
    EXPECT_DOUBLE_EQ(scale, 0.0254);
    EXPECT_EQ(unit, "in");
    EXPECT_EQ(scaled.DeviceUnit(), Units().GetUnitWithUUID(7));

    TTestIntParameter& plain = MakeInt(99);
    plain.Value = -42;
    EXPECT_EQ(plain.DeviceUnit(), nullptr);
    for (TUnitSystem us : {usSI, usMetric, usEnglish, usImperial}) {
        plain.GetScaledValue(v, us, "SCALED");
        EXPECT_EQ(v.ValueStr, "-42");
        EXPECT_EQ(v.UnitStr, "");
    }
    EXPECT_DOUBLE_EQ(plain.GetBaseScaledValue(), -42.0);
    plain.GetUnit(scale, unit, usSI);
    EXPECT_DOUBLE_EQ(scale, 1.0);
    EXPECT_EQ(unit, "");
}

TEST_F(GenericParameterTest, AdditionalFunctions) {
    test::TestShell shell;
    shell.SetUPIDDispMode("DEC");
    const struct {
        const char* Function;
        bool IsUPID, RamWrite, Scaled;
        int ScaleUPID;
    } cases[] = {
        {"upid", true, false, false, 0},
        {"RamWriteUPID", true, true, false, 0},
        {"UPIDSCALE:4711", false, false, true, 4711},
        {"other", false, false, false, 0},
    };
    for (const auto& c : cases) {
        TTestIntParameter& p = MakeInt(0, c.Function);
        EXPECT_EQ(p.IsUPID(), c.IsUPID) << c.Function;
        EXPECT_EQ(p.IsRamWriteUPID(), c.RamWrite) << c.Function;
        EXPECT_EQ(p.IsUPIDScaled(), c.Scaled) << c.Function;
        EXPECT_EQ(p.UPIDScaleUPID(), c.ScaleUPID) << c.Function;
        EXPECT_EQ(p.GetDisplayModeStr(), c.IsUPID ? "DEC" : "") << c.Function;
    }
    EXPECT_THROW(MakeInt(0, "UPIDSCALE:12x"), EConvertError);
    TTestIntParameter& p = MakeInt();
    EXPECT_THROW(p.GetMaxValueInt(), EAbstractError);
    EXPECT_THROW(p.SetScaledValue("1", usSI, "DEC"), EAbstractError);
}

TEST_F(GenericParameterTest, TruthTexts) {
    auto nodes = BuildTree("[A [R " + MyAnsiString(test::BoolDef) + " [A 20 1 'b' 85 5 '' [A ] ] ] ]");
    auto& b = dynamic_cast<TTestBoolParameter&>(*nodes.back());
    const struct {
        const char* Text;
        bool Value;
    } good[] = {{"On", true}, {"oFF", false}, {"TRUE", true}, {"false", false}, {"1", true}, {"0", false}};
    for (const auto& c : good) {
        b.Value = !c.Value;
        b.SetScaledValue(c.Text, usSI, "SCALED");
        EXPECT_EQ(b.Value, c.Value) << c.Text;
    }
    b.Value = true;
    ExpectError([&] { b.SetScaledValue(" true", usSI, "SCALED"); }, "invalid boolean parameter TRUE");
    ExpectError([&] { b.SetScaledValue("yes", usSI, "SCALED"); }, "invalid boolean parameterYES");
    EXPECT_TRUE(b.Value);
    TValueRec v{"x", "y"};
    b.GetScaledValue(v, usSI, "HEX");
    EXPECT_EQ(v.ValueStr, "True");
    EXPECT_EQ(v.UnitStr, "");
    EXPECT_FALSE(b.GetAttrFlag(AttrVFlagSource));
}

class TTestStrParameter : public TGenericStrParameter {
public:
    using TGenericStrParameter::TGenericStrParameter;
    MyAnsiString GetStrValue() const override { return Value; }
    void SetStrValue(const MyAnsiString& S) override { Value = S; }
    MyAnsiString Value;
};

TEST_F(GenericParameterTest, StringBase) {
    TRef<TSLObject> rec = SLDecodeString("[R [D:S /UPID 30 /Level 1 /Caption 's' /Permission 85 /AddrUsage 5 /UseVFlag '' ] [A 30 1 's' 85 5 '' ] ]");
    TTestStrParameter s(Service(), dynamic_cast<TSLRecord*>(rec.Get()));
    s.SetScaledValue(MyAnsiString(70, 'a'), usSI, "SCALED");
    TValueRec v{"x", "y"};
    s.GetScaledValue(v, usSI, "SCALED");
    EXPECT_EQ(v.ValueStr, MyAnsiString(64, 'a'));
    EXPECT_EQ(v.UnitStr, "");
    EXPECT_TRUE(s.IsString());
}

// The model item's permissions follow the permission byte; the user type the
// device's user.
TEST_F(GenericParameterTest, DirectoryPermissions) {
    const struct {
        int Permission;
        TUserTypeSet Read, Write;
    } cases[] = {
        {0x55, {utRead1, utRead2, utUser1, utUser2, utService, utDevelop}, {}},
        {0x0C, {utService}, {utService}},
        {0xA2, {}, {utRead1, utRead2, utUser1, utUser2, utDevelop}},
        {0xC0, {}, {}}, // the GUEST bits grant nothing
    };
    for (const auto& c : cases) {
        auto nodes = BuildTree("[A [R " + MyAnsiString(test::DirDef) + " [A 1 1 'd' " + std::to_string(c.Permission) + " 0 '' ] ] ]");
        auto& d = dynamic_cast<TGenericDirParameter&>(*nodes.back());
        EXPECT_EQ(d.Model().Permission().Read, c.Read) << c.Permission;
        EXPECT_EQ(d.Model().Permission().Write, c.Write) << c.Permission;
        EXPECT_EQ(d.Model().UserType(), TUserTypeSet{utService});
    }
    Device().SetStrVar("UserName", "developer");
    auto nodes = BuildTree("[A [R " + MyAnsiString(test::DirDef) + " [A 1 1 'd' 85 0 '' ] ] ]");
    EXPECT_EQ(dynamic_cast<TGenericDirParameter&>(*nodes.back()).Model().UserType(), TUserTypeSet{utDevelop});
}

} // namespace
} // namespace vo
