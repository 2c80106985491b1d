// Drive variables: flags, data cache, address texts, names, scale and unit,
// requests, the conversions of every data type in the four display modes,
// the configuration record and the property list.
#include "parameters/varItem.h"

#include "kernel/PropList.h"
#include "kernel/ShellServices.h"
#include "kernel/functions.h"
#include "parameters/UniMan.h"
#include "parameters/UniSrv.h"
#include "parameters/VelFloat.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Rec.h"
#include "tests/support/ExpectError.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <limits>
#include <map>
#include <random>
#include <vector>

namespace vo {
namespace {

using test::ExpectError;

// The variable service as a variable sees it: counts brackets and change
// information, runs a batch on demand and holds the device's units.
class TTestOwner : public TVarItemOwner {
public:
    void BeginUpdate() override { ++Depth, ++Brackets; }
    void EndOfUpdate() override { --Depth; }
    void AddChangeInfo(TVariableChangeInfo Info) override {
        EXPECT_GT(Depth, 0) << "change information outside an update bracket";
        Infos.push_back(Info);
    }
    bool GetUpdateRunning() const override { return Running; }
    void SetUpdateRequest() override { UpdateRequest = true; }
    TDeviceUnit* GetUnitWithUUID(std::int32_t AUUID) const override {
        auto it = Units.find(AUUID);
        return it == Units.end() ? nullptr : it->second.get();
    }

    int Depth = 0;
    int Brackets = 0;
    std::vector<TVariableChangeInfo> Infos;
    bool Running = false;
    bool UpdateRequest = false;
    std::map<std::int32_t, std::unique_ptr<TDeviceUnit>> Units;
};

class TTestParent : public TVarItemParent {
public:
    void SetUpdateRequest() override { UpdateRequest = true; }
    bool UpdateRequest = false;
};

TRef<TSLNamedCollection> Dict(const MyAnsiString& Text) {
    TRef<TSLObject> o = SLDecodeString(Text);
    return TRef<TSLNamedCollection>(dynamic_cast<TSLNamedCollection*>(o.Get()));
}

// "01 00" <-> bytes.
MyAnsiString Bytes(const MyAnsiString& Hex) { return BufToStr(Hex); }
MyAnsiString ToHex(const MyAnsiString& S) {
    MyAnsiString r;
    for (unsigned char c : S) {
        char b[4];
        std::snprintf(b, sizeof b, "%02X", c);
        if (!r.empty()) r += ' ';
        r += b;
    }
    return r;
}

class VarItemTest : public ::testing::Test {
public:
    void SetUp() override { UnitManager().SetUnitSystem(usSI); }
    void TearDown() override {
        UnitManager().SetUnitSystem(usSI);
        ShellServices().SetUPIDDispMode("HEX");
    }

    std::unique_ptr<TVarItem> Make(const char* Type, TVarSourceType Source = vstUserDefined,
                                   const char* Mode = "HEX") {
        auto v = CreateVarItem(Type, Owner, &Parent, Source);
        EXPECT_NE(v, nullptr) << Type;
        v->SetDisplayMode(Mode);
        return v;
    }
    // A device unit "pos": SI and Metric in mm (Metric scale 0.1), Imperial in in.
    void AddMmUnit(std::int32_t UUID) {
        Owner.Units[UUID] = std::make_unique<TDeviceUnit>(*Dict(
            "[D /UUID " + std::to_string(UUID) +
            " /UnitName 'pos' /SICaption 'mm' /SIOffset 0 /SIScale 1.0 /MetricCaption 'mm' /MetricOffset 0 "
            "/MetricScale 0.1 /ImperialCaption 'in' /ImperialOffset 0 /ImperialScale 0.5 ]"));
    }
    std::unique_ptr<TVarItem> SystemVar(const char* Type, std::int32_t UUID, const char* Mode) {
        auto v = Make(Type, vstSystem, Mode);
        v->SetConfig(*Dict("[D /UPID 100 /UUID " + std::to_string(UUID) + " ]"));
        return v;
    }

    TTestOwner Owner;
    TTestParent Parent;
};

// ------------------------------------------------------------------ base

TEST_F(VarItemTest, FlagsAboveFifteenAreIgnored) {
    auto v = Make("UInt16");
    EXPECT_EQ(v->GetFlagSet(), (1u << vfCreated) | (1u << vfVisible));
    v->SetFlag(16);
    v->SetFlag(-1);
    EXPECT_EQ(v->GetFlagSet(), (1u << vfCreated) | (1u << vfVisible));
    EXPECT_FALSE(v->CheckFlag(16));
    v->SetFlag(vfChanged);
    EXPECT_TRUE(v->CheckFlag(vfChanged));
    v->ClearFlag(vfChanged);
    v->ClearFlag(16);
    EXPECT_FALSE(v->CheckFlag(vfChanged));
}

TEST_F(VarItemTest, DataCacheStoresOnlyNewBytesAndKeepsItsLength) {
    auto v = Make("UInt16");
    EXPECT_EQ(ToHex(v->GetDataCache()), "00 00");
    EXPECT_FALSE(v->CheckFlag(vfValid));
    v->SetDataCache(Bytes("00 00")); // equal bytes, but not valid yet: stored
    EXPECT_TRUE(v->CheckFlag(vfValid));
    EXPECT_TRUE(v->CheckFlag(vfChanged));
    EXPECT_GT(Owner.Brackets, 0);
    EXPECT_EQ(Owner.Depth, 0);

    v->ClearFlag(vfChanged);
    v->SetDataCache(Bytes("00 00"));
    EXPECT_FALSE(v->CheckFlag(vfChanged));

    v->SetDataCache(Bytes("01 02 03"));
    EXPECT_EQ(ToHex(v->GetDataCache()), "01 02");
    EXPECT_TRUE(v->CheckFlag(vfChanged));
    // Fewer bytes are the same little-endian value; the length stays.
    v->SetDataCache(Bytes("07"));
    EXPECT_EQ(ToHex(v->GetDataCache()), "07 00");
    EXPECT_EQ(v->GetDataSize(), 2);
    v->SetDataCache(Bytes("05 06"));
    EXPECT_EQ(ToHex(v->GetDataCache()), "05 06");
}

TEST_F(VarItemTest, AddressTexts) {
    auto b = Make("Bool16");
    b->SetAddress(0x12345);
    b->SetBitAddr(3);
    EXPECT_EQ(b->GetAddrStr(), "0001:2345.3");
    EXPECT_TRUE(b->CheckFlag(vfModified));
    EXPECT_EQ(Owner.Infos, std::vector<TVariableChangeInfo>(2, vciModified));

    auto u = Make("UInt16");
    u->SetAddrStr("0001:2345.3");
    EXPECT_EQ(u->Address(), 0x12345u);
    EXPECT_EQ(u->BitAddr(), 3);
    EXPECT_EQ(u->GetAddrStr(), "0001:2345"); // only Bool16 shows the bit
    u->SetAddrStr("1234");
    EXPECT_EQ(u->GetAddrStr(), "1234");
    EXPECT_EQ(u->BitAddr(), 0);
    u->SetAddrStr("");
    EXPECT_EQ(u->Address(), 0u);
    EXPECT_EQ(u->BitAddr(), 0);

    b->SetAddrStr("ABCD:EF01.f");
    EXPECT_EQ(b->GetAddrStr(), "ABCD:EF01.F");

    // A bad text changes neither address nor bit.
    for (const char* bad : {"12G4.3", "1234.x", "1234.", "1:2:3", "123456789"}) {
        EXPECT_THROW(b->SetAddrStr(bad), EConvertError) << bad;
        EXPECT_EQ(b->GetAddrStr(), "ABCD:EF01.F") << bad;
    }
    EXPECT_EQ(Owner.Depth, 0);
}

TEST_F(VarItemTest, NamesScaleAndUnitBySource) {
    auto u = Make("UInt16");
    u->SetCaption("Pos");
    u->SetAddress(0x1234);
    EXPECT_EQ(u->GetVarName(), "Pos_4660_0");
    EXPECT_EQ(u->GetDevUnit(), nullptr);

    auto s = SystemVar("UInt16", 99, "HEX");
    s->SetName("1234");
    EXPECT_EQ(s->GetVarName(), "1234");
    EXPECT_EQ(s->GetDevUnit(), nullptr);
    EXPECT_EQ(s->GetScale(), 1.0);
    EXPECT_EQ(s->GetOffset(), 0.0);
    EXPECT_EQ(s->GetUnitStr(), "");

    AddMmUnit(99);
    UnitManager().SetUnitSystem(usMetric);
    EXPECT_EQ(s->GetScale(), 0.1);
    EXPECT_EQ(s->GetUnitStr(), "mm");
    UnitManager().SetUnitSystem(usImperial);
    EXPECT_EQ(s->GetUnitStr(), "in");
}

TEST_F(VarItemTest, UPIDPropertyFollowsTheProgramWideDisplayMode) {
    auto s = Make("UInt16", vstSystem);
    s->SetConfig(*Dict("[D /UPID 6699 ]"));
    ShellServices().SetUPIDDispMode("HEX");
    EXPECT_EQ(s->GetStrVarProp(14), "1A2Bh");
    EXPECT_EQ(s->PropList().GetItemWithName("UPID").GetValue(s.get()), "1A2Bh");
    ShellServices().SetUPIDDispMode("DEC");
    EXPECT_EQ(s->GetStrVarProp(14), "6699");
}

TEST_F(VarItemTest, RequestsMarkTheVariableOutsideABatchOnly) {
    auto v = Make("UInt16");
    Owner.Running = true;
    ExpectError([&] { v->RequestRead(); }, "internal error");
    ExpectError([&] { v->RequestWrite(); }, "internal error");
    EXPECT_FALSE(v->CheckFlag(vfReadReq));
    EXPECT_FALSE(Owner.UpdateRequest);
    EXPECT_FALSE(Parent.UpdateRequest);

    Owner.Running = false;
    v->RequestRead();
    v->RequestWrite();
    EXPECT_TRUE(v->CheckFlag(vfReadReq));
    EXPECT_TRUE(v->CheckFlag(vfWriteReq));
    EXPECT_TRUE(Owner.UpdateRequest);
    EXPECT_TRUE(Parent.UpdateRequest);

    v->Delete();
    EXPECT_TRUE(v->CheckFlag(vfDeleted));
    EXPECT_EQ(Owner.Infos.back(), vciDeleted);
}

TEST_F(VarItemTest, AbstractOperationsAndUnknownTypes) {
    auto b = Make("Bool");
    EXPECT_THROW(b->BinToInt(b->GetDataCache()), EAbstractError);
    EXPECT_EQ(CreateVarItem("uint8", Owner, &Parent, vstSystem), nullptr);
    EXPECT_EQ(CreateVarItem("Int8", Owner, &Parent, vstSystem), nullptr);
}

// ------------------------------------------------------------------ integers

struct TEntryCase {
    const char* Type;
    const char* Mode;
    const char* Text;
    const char* Stored; // bytes, or nullptr when refused
    const char* Error; // message of the refusal
};

void CheckEntries(VarItemTest& T, std::unique_ptr<TVarItem> (VarItemTest::*Make)(const char*, TVarSourceType, const char*),
                  const std::vector<TEntryCase>& Cases) {
    for (const auto& c : Cases) {
        SCOPED_TRACE(std::string(c.Type) + " " + c.Mode + " '" + c.Text + "'");
        auto v = (T.*Make)(c.Type, vstUserDefined, c.Mode);
        if (c.Stored) {
            v->SetValueStr(c.Text);
            EXPECT_EQ(ToHex(v->GetDataCache()), c.Stored);
            EXPECT_TRUE(v->CheckFlag(vfValid));
        } else {
            v->SetDataCache(Bytes("AA AA AA AA AA AA AA AA").substr(0, v->GetDataCache().size()));
            v->ClearFlag(vfChanged);
            const MyAnsiString before = v->GetDataCache();
            ExpectError<EConvertError>([&] { v->SetValueStr(c.Text); }, c.Error);
            EXPECT_EQ(v->GetDataCache(), before);
            EXPECT_TRUE(v->CheckFlag(vfValid));
            EXPECT_FALSE(v->CheckFlag(vfChanged));
        }
    }
}

TEST_F(VarItemTest, IntegerEntry) {
    const MyAnsiString intErr = "'1A' is not a valid integer value";
    CheckEntries(*this, &VarItemTest::Make,
                 {
                     {"UInt8", "HEX", "1Fh", "1F", ""},
                     {"UInt8", "HEX", "1f", "1F", ""},
                     {"UInt8", "HEX", "$1F", "1F", ""},
                     {"UInt8", "HEX", " 1F ", "1F", ""},
                     {"UInt8", "HEX", "\t1FH\t", "1F", ""},
                     {"UInt8", "HEX", "1FF", nullptr, "Value out of 8 bit integer range!"},
                     {"UInt8", "HEX", "  ", nullptr, "Invalid Hexadecimal Value!"},
                     {"UInt8", "HEX", "xyz", nullptr, "'$xyz' is not a valid integer value"},
                     {"SInt16", "HEX", "FFFF", "FF FF", ""},
                     {"SInt16", "HEX", "10000", nullptr, "Value out of 16 bit integer range!"},
                     {"SInt8", "DEC", "200", nullptr, "Value is too big! The maximum is 127"},
                     {"SInt8", "DEC", "-129", nullptr, "Value is too small The minimum is -128"},
                     {"SInt8", "BIN", "11111111", nullptr, "Value is too big! The maximum is 01111111"},
                     {"SInt8", "HEX", "FF", "FF", ""},
                     {"SInt8", "HEX", "80", "80", ""},
                     {"UInt16", "BIN", "101", "05 00", ""},
                     {"UInt32", "DEC", "-1", nullptr, "Value is too small The minimum is 0"},
                     {"UInt32", "DEC", "4294967295", "FF FF FF FF", ""},
                     {"UInt32", "HEX", "100000000", nullptr, "Value out of 32 bit integer range!"},
                     {"SInt32", "DEC", "-2147483648", "00 00 00 80", ""},
                     {"SInt32", "HEX", "80000000", "00 00 00 80", ""},
                     {"UInt48", "HEX", "$FFFFFFFFFFFF", "FF FF FF FF FF FF", ""},
                     {"UInt48", "HEX", "$1000000000000", nullptr, "Data length to big for this data type"},
                     {"UInt48", "HEX", "1A", nullptr, intErr.c_str()},
                     {"UInt48", "HEX", "$1Ah", nullptr, "'$1Ah' is not a valid integer value"},
                     {"UInt48", "DEC", "281474976710656", nullptr, "TUInt48VarItem.DefaultDispStrToInt: value too big"},
                     {"UInt48", "DEC", "-1", nullptr, "TUInt48VarItem.DefaultDispStrToInt: value too small"},
                     {"UInt48", "BIN", std::string(49, '1').c_str(), nullptr, "Data length to big for this data type"},
                     {"SInt48", "DEC", "140737488355328", "00 00 00 00 00 80", ""},
                     {"SInt48", "DEC", "-140737488355328", "00 00 00 00 00 80", ""},
                     {"SInt48", "DEC", "-140737488355329", nullptr, "TSInt48VarItem.DefaultDispStrToInt: value too small"},
                     {"SInt48", "DEC", "281474976710656", nullptr, "Value to big for this data type"},
                     {"SInt48", "HEX", "$FFFFFFFFFFFF", "FF FF FF FF FF FF", ""},
                 });
}

TEST_F(VarItemTest, IntegerDisplayAndRawText) {
    const std::string bin48 = std::string(47, '0') + "1";
    const struct {
        const char* Type;
        const char* Mode;
        const char* Cache;
        const char* Shown;
        const char* RawHex;
        const char* RawDec;
    } cases[] = {
        {"SInt16", "HEX", "FF FF", "FFFFh", "FFFFh", "-1"},
        {"SInt16", "DEC", "FF FF", "-1", "FFFFh", "-1"},
        {"UInt16", "BIN", "05 00", "0000000000000101", "0005h", "5"},
        {"UInt8", "HEX", "0A", "0Ah", "0Ah", "10"},
        {"SInt8", "BIN", "FF", "11111111", "FFh", "-1"},
        {"UInt32", "DEC", "FF FF FF FF", "4294967295", "FFFFFFFFh", "4294967295"},
        {"SInt32", "HEX", "FE FF FF FF", "FFFFFFFEh", "FFFFFFFEh", "-2"},
        {"UInt48", "HEX", "01 02 03 04 05 06", "060504030201h", "060504030201h", "6618611909121"},
        {"SInt48", "HEX", "FF FF FF FF FF FF", "FFFFFFFFFFFFh", "FFFFFFFFFFFFh", "-1"},
        {"SInt48", "DEC", "00 00 00 00 00 80", "-140737488355328", "800000000000h", "-140737488355328"},
        {"SInt48", "BIN", "01 00 00 00 00 00", bin48.c_str(), "000000000001h", "1"},
        {"UInt16", "XYZ", "05 00", "", "0005h", "5"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Type) + " " + c.Mode + " " + c.Cache);
        auto v = Make(c.Type, vstUserDefined, c.Mode);
        EXPECT_EQ(v->GetValueStr(), "");
        EXPECT_EQ(v->GetRawDataStr("HEX"), "---");
        v->SetDataCache(Bytes(c.Cache));
        EXPECT_EQ(v->GetValueStr(), c.Shown);
        EXPECT_EQ(v->GetRawDataStr("HEX"), c.RawHex);
        EXPECT_EQ(v->GetRawDataStr("DEC"), c.RawDec);
        EXPECT_EQ(v->GetRawDataStr("BIN"), "");
    }
}

TEST_F(VarItemTest, ScaledEntryOfUserDefinedVariablesRoundsHalvesToEven) {
    const struct {
        double Scale;
        const char* Text;
        const char* Stored;
    } cases[] = {
        {0.5, "12.25 mm", "18 00"},
        {0.5, "12.75", "1A 00"},
        {1.0, "2.5", "02 00"},
        {1.0, "3.5", "04 00"},
        {1.0, "-0.5", "00 00"},
        {2.0, "7", "04 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        auto v = Make("UInt16", vstUserDefined, "SCALED");
        v->SetDblVarProp(4, c.Scale);
        v->SetValueStr(c.Text);
        EXPECT_EQ(ToHex(v->GetDataCache()), c.Stored);
    }
    auto v = Make("SInt16", vstUserDefined, "SCALED");
    v->SetStrVarProp(4, "0.5");
    v->SetStrVarProp(5, "10");
    v->SetStrVarProp(6, "mm");
    v->SetDataCache(Bytes("FC FF")); // -4
    EXPECT_EQ(v->GetValueStr(), "8 mm");
    ExpectError<EConvertError>([&] { v->SetValueStr("30000 mm"); }, "Value is too big! The maximum is 16393.5 mm");
    ExpectError<EConvertError>([&] { v->SetValueStr("mm"); }, "'' is not a valid floating point value");
    EXPECT_DOUBLE_EQ(dynamic_cast<TIntVarItem&>(*v).GetFloatValue(), 8.0);
}

TEST_F(VarItemTest, ScaledEntryOfSystemVariablesChecksTheUnit) {
    AddMmUnit(7);
    auto v = SystemVar("UInt16", 7, "SCALED");
    for (const char* ok : {"5 mm", "5", "  5mm", "5 mm\t"}) {
        SCOPED_TRACE(ok);
        v->SetDataCache(Bytes("00 00"));
        v->SetValueStr(ok);
        EXPECT_EQ(ToHex(v->GetDataCache()), "05 00");
    }
    EXPECT_EQ(v->GetValueStr(), "5 mm");
    ExpectError<EConvertError>([&] { v->SetValueStr("5 cm"); }, "Wrong Unit! Unit 'mm' expected, but 'cm' found!");
    ExpectError<EConvertError>([&] { v->SetValueStr("5 MM"); }, "Wrong Unit! Unit 'mm' expected, but 'MM' found!");

    UnitManager().SetUnitSystem(usMetric); // 1 raw = 0.1 mm
    v->SetValueStr("2.5 mm");
    EXPECT_EQ(ToHex(v->GetDataCache()), "19 00");
    EXPECT_EQ(v->GetValueStr(), "2.5 mm");
    auto& i = dynamic_cast<TIntVarItem&>(*v);
    EXPECT_DOUBLE_EQ(i.GetFloatValue(), 2.5);
    EXPECT_DOUBLE_EQ(i.GetSIValue(), 25.0);

    auto none = SystemVar("UInt16", 8, "SCALED");
    ExpectError<EConvertError>([&] { none->SetValueStr("5"); }, "Unit not found!");
    none->SetDataCache(Bytes("05 00"));
    EXPECT_EQ(none->GetValueStr(), "");
    EXPECT_EQ(dynamic_cast<TIntVarItem&>(*none).GetFloatValue(), 0.0);

    // 48-bit entry reads the whole text as the number.
    auto wide = SystemVar("SInt48", 7, "SCALED");
    wide->SetValueStr("-2.5");
    EXPECT_EQ(ToHex(wide->GetDataCache()), "E7 FF FF FF FF FF");
    EXPECT_EQ(wide->GetValueStr(), "-2.5 mm");
    auto wideNone = SystemVar("UInt48", 8, "SCALED");
    ExpectError<EConvertError>([&] { wideNone->SetValueStr("5"); }, "Unit not found!");
}

// ------------------------------------------------------------------ enumerators, booleans, strings

TEST_F(VarItemTest, EnumeratorEntryAndDisplay) {
    const auto make = [&](const char* Mode) {
        auto v = Make("EnumDir16", vstUserDefined, Mode);
        auto& e = dynamic_cast<TEnumDirVarItem&>(*v);
        e.AddChild("Off", 0, 3);
        e.AddChild("On", 1, 3);
        return v;
    };
    const struct {
        const char* Mode;
        const char* Text;
        const char* Stored;
        const char* Error;
    } cases[] = {
        {"SCALED", "on", "01 00", ""},
        {"SCALED", "ON", "01 00", ""},
        {"SCALED", "On", "01 00", ""},
        {"SCALED", "Off", "00 00", ""},
        {"SCALED", "1", nullptr, "No Valid Child Found!"},
        {"HEX", "1h", "01 00", ""},
        {"HEX", "0001", "01 00", ""},
        {"HEX", "$1", "01 00", ""},
        {"HEX", "10000", nullptr, "Value out of 16 bit integer range!"},
        {"HEX", "2", nullptr, "No Valid Child Found!"},
        {"HEX", "", nullptr, "Invalid Hexadecimal Value!"},
        {"DEC", "001", "01 00", ""},
        {"DEC", "On", nullptr, "'On' is not a valid integer value"},
        {"BIN", "1", nullptr, "No Valid Child Found!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Mode) + " '" + c.Text + "'");
        auto v = make(c.Mode);
        if (c.Stored) {
            v->SetValueStr(c.Text);
            EXPECT_EQ(ToHex(v->GetDataCache()), c.Stored);
        } else {
            ExpectError<EConvertError>([&] { v->SetValueStr(c.Text); }, c.Error);
            EXPECT_FALSE(v->CheckFlag(vfValid));
        }
    }

    auto v = make("SCALED");
    v->SetDataCache(Bytes("05 00"));
    EXPECT_EQ(v->GetValueStr(), "5");
    EXPECT_EQ(v->GetRawDataStr("HEX"), "0005h");
    EXPECT_EQ(v->GetRawDataStr("DEC"), "5");
    v->SetDataCache(Bytes("01 00"));
    EXPECT_EQ(v->GetValueStr(), "On");
    v->SetDisplayMode("BIN");
    EXPECT_EQ(v->GetValueStr(), "0000000000000001");

    auto empty = Make("EnumDir16", vstUserDefined, "SCALED");
    ExpectError<EConvertError>([&] { empty->SetValueStr("On"); }, "No Child Found!");

    auto e8 = Make("EnumDir8", vstUserDefined, "HEX");
    dynamic_cast<TEnumDirVarItem&>(*e8).AddChild("Max", 255, 3);
    EXPECT_EQ(dynamic_cast<TEnumDirVarItem&>(*e8).GetChild(0).GetChildValueStr("HEX"), "FFh");
    e8->SetValueStr("ff");
    EXPECT_EQ(ToHex(e8->GetDataCache()), "FF");
    EXPECT_EQ(e8->GetValueStr(), "FFh");
    ExpectError<EConvertError>([&] { e8->SetValueStr("100"); }, "Value out of 8 bit integer range!");
}

TEST_F(VarItemTest, BooleansShowOneBit) {
    auto b = Make("Bool");
    b->SetBitAddr(3);
    b->SetValueStr("TRUE");
    EXPECT_EQ(ToHex(b->GetDataCache()), "08 00");
    EXPECT_EQ(b->GetValueStr(), "TRUE");
    EXPECT_EQ(b->GetRawDataStr("HEX"), "1h");
    EXPECT_EQ(b->GetRawDataStr("DEC"), "1");
    b->SetValueStr("yes");
    EXPECT_EQ(ToHex(b->GetDataCache()), "00 00");
    EXPECT_EQ(b->GetValueStr(), "FALSE");
    EXPECT_EQ(b->GetRawDataStr("HEX"), "0h");
    b->SetValueStr("true");
    EXPECT_EQ(ToHex(b->GetDataCache()), "08 00");

    auto w = Make("Bool16");
    w->SetBitAddr(9);
    w->SetDataCache(Bytes("00 02"));
    EXPECT_EQ(w->GetValueStr(), "TRUE");
    w->SetDataCache(Bytes("FF FD"));
    EXPECT_EQ(w->GetValueStr(), "FALSE");
    w->SetValueStr("TRUE");
    EXPECT_EQ(ToHex(w->GetDataCache()), "00 02");
    EXPECT_EQ(w->GetRawDataStr("HEX"), "");
}

TEST_F(VarItemTest, StringsAreCutAndPadded) {
    auto s = Make("String");
    EXPECT_EQ(s->GetDataCache(), "");
    s->SetConfig(*Dict("[D /MaxSize 8 /Address '10' ]"));
    EXPECT_EQ(s->GetDataSize(), 8);
    s->SetValueStr("abc");
    EXPECT_EQ(ToHex(s->GetDataCache()), "61 62 63 00 00 00 00 00");
    EXPECT_EQ(s->GetValueStr(), "abc");
    s->SetValueStr("0123456789");
    EXPECT_EQ(s->GetDataCache(), "01234567");
    EXPECT_EQ(s->GetValueStr(), "01234567");
    EXPECT_EQ(s->GetRawDataStr("HEX"), "");

    ExpectError([&] { s->SetDataCache("012345678"); }, "internal error: data size error");
    auto t = Make("String");
    ExpectError([&] { t->SetConfig(*Dict("[D /MaxSize 8 /Data '012345678' ]")); }, "internal error: data size error");
    EXPECT_THROW(t->SetConfig(*Dict("[D /Data 'x' ]")), Exception); // MaxSize is required
    ExpectError<EConvertError>([&] { t->SetConfig(*Dict("[D /MaxSize 256 ]")); },
                               "TStringVarItem.SetConfig: MaxSize 256 is not within 0 to 255");
}

// ------------------------------------------------------------------ floats

TEST_F(VarItemTest, VelFloatVectorsBothWays) {
    const struct {
        const char* Text;
        const char* Bytes;
    } cases[] = {
        {"1", "00 80 00 00"},
        {"-2.5", "00 A0 01 80"},
        {"-0.75", "00 C0 FF 80"},
        {"1000", "00 FA 09 00"},
        {"65535", "FF FF 0F 00"},
        {"0.0999984741210938", "CC CC FC 00"},
        {"0.0", "00 00 00 00"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Text);
        auto v = Make("VelFloat", vstUserDefined, "SCALED");
        v->SetDataCache(Bytes(c.Bytes));
        EXPECT_EQ(v->GetValueStr(), c.Text);
        auto w = Make("VelFloat", vstUserDefined, "SCALED");
        w->SetValueStr(c.Text);
        EXPECT_EQ(ToHex(w->GetDataCache()), c.Bytes);
    }
    auto v = Make("VelFloat", vstUserDefined, "SCALED");
    v->SetValueStr("0.1");
    EXPECT_EQ(ToHex(v->GetDataCache()), "CC CC FC 00");
    EXPECT_EQ(v->GetValueStr(), "0.0999984741210938");
    v->SetDataCache(Bytes("34 12 05 00"));
    EXPECT_EQ(v->GetValueStr(), "0.0");
    v->SetDataCache(Bytes("00 80 00 7F")); // bits 24-30 are ignored
    EXPECT_EQ(v->GetValueStr(), "1");
    EXPECT_DOUBLE_EQ(dynamic_cast<TIntVarItem&>(*v).GetFloatValue(), 1.0);

    for (const char* out : {"3.5E38", "1E-39", "-3.5E38"}) {
        SCOPED_TRACE(out);
        v->ClearFlag(vfChanged);
        ExpectError<EConvertError>([&] { v->SetValueStr(out); }, "Value out of VelFloat range!");
        EXPECT_EQ(ToHex(v->GetDataCache()), "00 80 00 7F");
        EXPECT_FALSE(v->CheckFlag(vfChanged));
    }
}

TEST(VelFloatFormat, NormalisedPatternsSurviveDecodeAndEncode) {
    std::mt19937 rng(2812);
    for (int i = 0; i < 20000; ++i) {
        const std::uint32_t w = (rng() & 0x80FFFFFFu) | 0x8000u;
        ASSERT_EQ(DoubleToVelFloat(VelFloatToDouble(w)), w) << std::hex << w;
    }
}

TEST_F(VarItemTest, FloatRawModes) {
    auto v = Make("VelFloat", vstUserDefined, "HEX");
    v->SetDataCache(Bytes("00 80 00 00"));
    EXPECT_EQ(v->GetValueStr(), "00008000h");
    EXPECT_EQ(v->GetRawDataStr("HEX"), "00008000h");
    EXPECT_EQ(v->GetRawDataStr("DEC"), "32768");
    v->SetDataCache(Bytes("00 00 00 00"));
    v->SetValueStr("$00008000");
    EXPECT_EQ(ToHex(v->GetDataCache()), "00 80 00 00");
    ExpectError<EConvertError>([&] { v->SetValueStr("00008000h"); }, "'00008000h' is not a valid integer value");
    ExpectError<EConvertError>([&] { v->SetValueStr("8000h"); }, "'8000h' is not a valid integer value");
    ExpectError<EConvertError>([&] { v->SetValueStr("$100000000"); },
                               "Data length to big for this data type");
    v->SetDisplayMode("DEC");
    v->SetDataCache(Bytes("00 A0 01 80"));
    EXPECT_EQ(v->GetValueStr(), "-2147377152");
    EXPECT_EQ(v->GetRawDataStr("DEC"), "2147590144");
    v->SetDataCache(Bytes("00 00 00 00"));
    v->SetValueStr("-2147377152"); // what it shows can be entered back
    EXPECT_EQ(ToHex(v->GetDataCache()), "00 A0 01 80");
    v->SetValueStr("4294967295");
    EXPECT_EQ(ToHex(v->GetDataCache()), "FF FF FF FF");
    ExpectError<EConvertError>([&] { v->SetValueStr("4294967296"); },
                               "TVelFloat32VarItem.DefaultDispStrToInt: value too big");
    v->SetDisplayMode("BIN");
    v->SetValueStr("101");
    EXPECT_EQ(ToHex(v->GetDataCache()), "05 00 00 00");
    EXPECT_EQ(v->GetValueStr(), "00000000000000000000000000000101");
}

TEST_F(VarItemTest, IEEESingles) {
    auto v = Make("FloatIEEE754", vstUserDefined, "SCALED");
    v->SetValueStr("1.5");
    EXPECT_EQ(ToHex(v->GetDataCache()), "00 00 C0 3F");
    EXPECT_EQ(v->GetValueStr(), "1.5");
    v->SetDisplayMode("HEX");
    EXPECT_EQ(v->GetValueStr(), "3FC00000h");
    v->SetValueStr("BF800000");
    EXPECT_EQ(ToHex(v->GetDataCache()), "00 00 80 BF");
    v->SetValueStr("3fc00000H");
    EXPECT_EQ(ToHex(v->GetDataCache()), "00 00 C0 3F");
    ExpectError<EConvertError>([&] { v->SetValueStr("1FFFFFFFF"); },
                               "TFloat32VarItem.DefaultDispStrToInt: value too big");
    ExpectError<EConvertError>([&] { v->SetValueStr("1234567890"); }, "Data length to big for this data type");
    ExpectError<EConvertError>([&] { v->SetValueStr(" "); }, "Invalid Hexadecimal Value!");
    v->SetDisplayMode("DEC");
    v->SetValueStr("-1082130432");
    EXPECT_EQ(ToHex(v->GetDataCache()), "00 00 80 BF");
    EXPECT_EQ(v->GetValueStr(), "-1082130432");
    ExpectError<EConvertError>([&] { v->SetValueStr("3212836864"); },
                               "TFloat32VarItem.DefaultDispStrToInt: value too big");
    ExpectError<EConvertError>([&] { v->SetValueStr("-2147483649"); },
                               "TFloat32VarItem.DefaultDispStrToInt: value too small");

    auto s = Make("FloatIEEE754", vstUserDefined, "SCALED");
    s->SetDblVarProp(4, 2.0);
    s->SetStrVarProp(6, "V");
    s->SetValueStr("3");
    EXPECT_EQ(ToHex(s->GetDataCache()), "00 00 C0 3F");
    EXPECT_EQ(s->GetValueStr(), "3 V");
    auto& f = dynamic_cast<TIntVarItem&>(*s);
    EXPECT_EQ(f.GetFloatValue(), 1.5);
    EXPECT_EQ(f.GetSIValue(), 1.5);
    EXPECT_EQ(f.GetMaxValue(), std::numeric_limits<std::int64_t>::max());
}

// ------------------------------------------------------------------ configuration

// name=value of every field, "Data" in hex.
MyAnsiString Fields(const TSLRecord& R) {
    MyAnsiString r;
    for (int i = 0; i < R.GetCount(); ++i) {
        const MyAnsiString name = R.GetNameAtIndex(i);
        TSLObject* o = R.GetObjAtIndex(i);
        MyAnsiString value;
        if (auto* s = dynamic_cast<TSLString*>(o))
            value = name == "Data" ? ToHex(s->GetStringValue()) : s->GetStringValue();
        else if (auto* n = dynamic_cast<TSLLongint*>(o))
            value = std::to_string(n->GetLongintValue());
        else if (auto* d = dynamic_cast<TSLDouble*>(o))
            value = SLFloatToStrGeneral(d->GetDoubleValue());
        if (!r.empty()) r += " ";
        r += name + "=" + value;
    }
    return r;
}

TEST_F(VarItemTest, GetConfigWritesTheFieldsOfEachClass) {
    const struct {
        const char* Type;
        TVarSourceType Source;
        const char* Expected;
    } cases[] = {
        {"UInt16", vstSystem,
         "Name= Address= Caption=Speed Data=2A 00 VarType=UInt16 DisplayMode=DEC Permission=7 AddrUsage=257 UPID=4661 "
         "UUID=7 MaxValue=100 MinValue=-5 DefValue=5 Offset=0 Scale=1 UnitStr="},
        {"UInt16", vstUserDefined,
         "Name= Address=1234 Caption=Speed Data=2A 00 VarType=UInt16 DisplayMode=DEC Permission=7 AddrUsage=257 UPID=-1 "
         "UUID=-1 MaxValue=0 MinValue=0 DefValue=0 Offset=0.5 Scale=2 UnitStr=mm"},
        {"VelFloat", vstSystem,
         "Name= Address= Caption=Speed Data=2A 00 00 00 VarType=VelFloat DisplayMode=DEC Permission=7 AddrUsage=257 "
         "UPID=4661 UUID=7 MaxValue=100 MinValue=-5 DefValue=5 Offset=0 Scale=1 UnitStr="},
        {"EnumDir8", vstSystem,
         "Name= Address= Caption=Speed Data=2A VarType=EnumDir8 DisplayMode=DEC Permission=7 AddrUsage=257 UPID=4661 "
         "UUID=-1 MaxValue=0 MinValue=0 DefValue=0"},
        {"Bool", vstUserDefined,
         "Name= Address=1234 Caption=Speed Data=2A 00 VarType=Bool DisplayMode= Permission=7 AddrUsage=257 UPID=-1 "
         "UUID=-1 MaxValue=0 MinValue=0 DefValue=0"},
        {"Bool16", vstSystem,
         "Name= Address= Caption=Speed Data=2A 00 VarType=Bool16 DisplayMode= Permission=7 AddrUsage=0 UPID=4661 "
         "UUID=-1 MaxValue=0 MinValue=0 DefValue=0"},
        {"String", vstSystem,
         "Name= Address= Caption=Speed Data=2A 00 00 00 VarType=String DisplayMode= Permission=7 AddrUsage=0 UPID=4661 "
         "UUID=-1 MaxValue=0 MinValue=0 DefValue=0 MaxSize=4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Type);
        auto v = Make(c.Type, c.Source, "DEC");
        MyAnsiString row = "[D /Caption 'Speed' /MaxSize 4 /DisplayMode 'DEC' /Permission 7 /AddrUsage 257 /UPID 4660 "
                           "/DEVICE_UPID 4661 /UUID 7 /MinValue -5 /MaxValue 100 /DefValue 5 /Address '1234' "
                           "/Scale 2 /Offset 0.5 /UnitStr 'mm' ]";
        v->SetConfig(*Dict(row));
        v->SetDataCache(Bytes("2A 00 00 00 00 00").substr(0, v->GetDataCache().size()));
        TRef<TSLRecord> r = v->GetConfig();
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(Fields(*r), c.Expected);
        EXPECT_EQ(r->GetTypeName(), c.Type);
    }
}

TEST_F(VarItemTest, RecordDefinitionDefaults) {
    const struct {
        const char* Type;
        const char* Data;
        const char* Extra;
    } cases[] = {
        {"UInt8", "", " Offset=0 Scale=1 UnitStr="},
        {"UInt32", "00 00 00 00", " Offset=0 Scale=1 UnitStr="},
        {"SInt48", "00 00 00 00 00 00", " Offset=0 Scale=1 UnitStr="},
        {"FloatIEEE754", "00 00 00 00", " Offset=0 Scale=1 UnitStr="},
        {"EnumDir16", "", ""},
        {"Bool16", "00 00", ""},
        {"String", "00 00 00 00 00 00 00 00", " MaxSize=8"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Type);
        auto v = Make(c.Type);
        TRef<TSLRecord> r = MakeRef<TSLRecord>(v->RecDef());
        EXPECT_EQ(Fields(*r), MyAnsiString("Name= Address= Caption= Data=") + c.Data + " VarType= DisplayMode= Permission=0 AddrUsage=0 UPID=-1 UUID=-1 MaxValue=0 "
                                                                                       "MinValue=0 DefValue=0" +
                      c.Extra);
    }
}

TEST_F(VarItemTest, SetConfigBuildsTheVariableOfAVariableArrayRow) {
    auto v = Make("UInt16", vstSystem);
    v->SetConfig(*Dict("[D /VarType 'UInt16' /Caption 'Speed' /UPID 4660 /DEVICE_UPID 4661 /UUID 7 "
                       "/DisplayMode 'SCALED' /Permission 15 /AddrUsage 1 /MinValue -1 /MaxValue 100 /DefValue 5 "
                       "/AdditionalFunction 'upidscale:$1234' /Data 'ab' ]"));
    EXPECT_EQ(v->Caption(), "Speed");
    EXPECT_EQ(v->DeviceUPID(), 4661);
    EXPECT_EQ(v->MasterUPID(), 4660);
    EXPECT_EQ(v->UUID(), 7);
    EXPECT_EQ(v->DisplayMode(), "SCALED");
    EXPECT_EQ(v->Permission(), 15);
    EXPECT_EQ(v->AddrUsage(), 1);
    EXPECT_EQ(v->MinValue(), -1);
    EXPECT_EQ(v->MaxValue(), 100);
    EXPECT_EQ(v->DefaultValue(), 5);
    EXPECT_TRUE(v->IsUPIDScaled());
    EXPECT_EQ(v->UPIDScaleUPID(), 0x1234);
    EXPECT_TRUE(v->CheckFlag(vfModified));

    // A copy through the record: "UPID" carries the device UPID only.
    TRef<TSLRecord> r = v->GetConfig();
    auto copy = Make("UInt16", vstSystem);
    copy->SetConfig(*r);
    EXPECT_EQ(copy->DeviceUPID(), 4661);
    EXPECT_EQ(copy->MasterUPID(), 4661);
    EXPECT_FALSE(copy->IsUPIDScaled());
    EXPECT_EQ(ToHex(copy->GetDataCache()), ToHex(v->GetDataCache()));

    auto noUpid = Make("UInt16", vstSystem);
    EXPECT_THROW(noUpid->SetConfig(*Dict("[D /Caption 'x' ]")), Exception);
    EXPECT_THROW(noUpid->SetConfig(*Dict("[D /UPID 1 /AdditionalFunction 'UPIDSCALE:x' ]")), EConvertError);
    noUpid->SetConfig(*Dict("[D /UPID 1 /AdditionalFunction 'UPIDSCALE:17' ]"));
    EXPECT_EQ(noUpid->UPIDScaleUPID(), 17);

    // Enumerators and "Bool" take "Data" only when user-defined.
    auto e = Make("EnumDir16", vstSystem);
    e->SetConfig(*Dict("[D /UPID 1 /Data 'ab' ]"));
    EXPECT_FALSE(e->CheckFlag(vfValid));
    auto b = Make("Bool", vstSystem);
    b->SetConfig(*Dict("[D /UPID 1 /Data 'ab' ]"));
    EXPECT_FALSE(b->CheckFlag(vfValid));
    EXPECT_TRUE(b->CheckFlag(vfBoolean));
}

TEST_F(VarItemTest, UserDefinedVariablesRoundTripThroughTheirRecord) {
    auto b = Make("Bool16");
    b->SetConfig(*Dict("[D /Caption 'Ready' /Address '0001:2345.3' /Permission 5 ]"));
    b->SetValueStr("TRUE");
    EXPECT_EQ(ToHex(b->GetDataCache()), "08 00");
    EXPECT_EQ(b->Address(), 0x12345u);
    EXPECT_EQ(b->BitAddr(), 3);
    EXPECT_TRUE(b->CheckFlag(vfBoolean));
    TRef<TSLRecord> r = b->GetConfig();
    EXPECT_EQ(r->GetStrWithName("Address"), "0001:2345.3");
    auto c = Make("Bool16");
    c->SetConfig(*r);
    EXPECT_EQ(c->GetVarName(), "Ready_74565_3");
    EXPECT_EQ(c->Permission(), 5);
    EXPECT_EQ(c->GetValueStr(), "TRUE");

    auto u = Make("UInt16");
    u->SetConfig(*Dict("[D /Caption 'Pos' /Address '0001:2345.3' /Scale 0.25 /Offset 1 /UnitStr '" +
                       std::string(40, 'u') + "' ]"));
    EXPECT_EQ(u->OwnUnitStr(), std::string(31, 'u'));
    EXPECT_EQ(u->GetConfig()->GetStrWithName("Address"), "0001:2345");
    auto w = Make("UInt16");
    w->SetConfig(*u->GetConfig());
    EXPECT_EQ(w->OwnScale(), 0.25);
    EXPECT_EQ(w->OwnOffset(), 1.0);
    EXPECT_EQ(w->GetUnitStr(), std::string(31, 'u'));
}

TEST_F(VarItemTest, PropertiesByIdent) {
    auto u = Make("UInt16");
    u->SetAddress(0x1234);
    u->SetCaption("Pos");
    u->SetDataCache(Bytes("0A 00"));
    const struct {
        int Ident;
        const char* Set;
        const char* Get;
    } cases[] = {
        {1, "ABCD", "ABCD"},
        {2, "Speed", "Speed"},
        {3, "1F", "001Fh"},
        {4, "0.5", "0.5"},
        {5, "-1.25", "-1.25"},
        {6, "mm", "mm"},
        {10, "12", "12"},
        {13, "DEC", "DEC"},
        {7, "x", ""},
        {0, "x", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Ident);
        u->SetStrVarProp(c.Ident, c.Set);
        EXPECT_EQ(u->GetStrVarProp(c.Ident), c.Get);
    }
    EXPECT_EQ(u->GetDblVarProp(4), 0.5);
    EXPECT_EQ(u->GetIntVarProp(5), -1);
    EXPECT_EQ(u->GetIntVarProp(10), 12);
    u->SetIntVarProp(4, 3);
    EXPECT_EQ(u->GetScale(), 3.0);
    u->SetDblVarProp(10, 6.6);
    EXPECT_EQ(u->MaxSize(), 7);
    EXPECT_EQ(u->GetDblVarProp(99), 0.0);
    u->SetStrVarProp(6, std::string(40, 'x'));
    EXPECT_EQ(u->GetStrVarProp(6).size(), 31u);
    EXPECT_THROW(u->SetStrVarProp(4, "abc"), EConvertError);
    EXPECT_THROW(u->SetStrVarProp(1, "xyz"), EConvertError);
    EXPECT_EQ(Owner.Depth, 0);

    // The property list: names by source and class, writability, type text.
    const auto names = [](const TVarItem& V) {
        MyAnsiString r;
        for (int i = 0; i < V.PropList().GetCount(); ++i) {
            const TPropertyItem& p = V.PropList().GetItemAtIndex(i);
            r += (r.empty() ? "" : ",") + p.Name() + (p.GetReadOnly() ? "(ro)" : "");
        }
        return V.PropList().ObjType() + ": " + r;
    };
    EXPECT_EQ(names(*u), "UInt16 Variable: Name,Address (HEX),Offset,Scale,UnitStr,DisplayMode");
    EXPECT_EQ(u->PropList().GetItemWithName("DisplayMode").ComboListStr(), "SCALED,DEC,HEX,BIN");
    EXPECT_EQ(names(*Make("VelFloat", vstSystem)), "VelFloat Variable: Name(ro),UPID(ro)");
    EXPECT_EQ(names(*Make("FloatIEEE754")),
              "Float_IEEE_754 Variable: Name,Address (HEX),Offset,Scale,UnitStr,DisplayMode");
    EXPECT_EQ(names(*Make("String")), "String Variable: Name,Address (HEX),MaxSize");
    EXPECT_EQ(names(*Make("String", vstSystem)), "String Variable: Name(ro),UPID(ro),MaxSize(ro)");
    EXPECT_EQ(names(*Make("Bool16", vstSystemPointer)), "Boolean Variable: Name(ro),UPID(ro)");
    EXPECT_EQ(names(*Make("EnumDir8")), "EnumDir8 Variable: Name,Address (HEX)");
    EXPECT_EQ(names(*Make("SInt48")), "SInt48 Variable: Name,Address (HEX),Offset,Scale,UnitStr,DisplayMode");

    // Through the inspector's items.
    TPropertyItem& scale = u->PropList().GetItemWithName("Scale");
    scale.SetValue(u.get(), "0.125");
    EXPECT_EQ(u->GetScale(), 0.125);
    auto str = Make("String");
    TPropertyItem& size = str->PropList().GetItemWithName("MaxSize");
    size.SetValue(str.get(), "12");
    EXPECT_EQ(str->MaxSize(), 12);
}

TEST_F(VarItemTest, HelpTextsBecomeDescriptions) {
    auto v = Make("UInt8");
    v->SetInfoStrings(*Dict("[D /HelpTextDict [D /English 'Speed<BR>now' /German '' ] ]"));
    EXPECT_EQ(v->PropList().GetNoOfInfoStr(), 1);
    EXPECT_EQ(v->PropList().GetInfoStr("English"), "Speed\rnow");
    v->SetInfoStrings(*Dict("[D /Other 1 ]"));
    EXPECT_EQ(v->PropList().GetNoOfInfoStr(), 1);
}

} // namespace
} // namespace vo
