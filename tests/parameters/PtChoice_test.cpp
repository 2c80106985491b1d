// The text, Boolean, enumerator and radio parameters as nodes: texts of
// values, defaults and children, what entries store or refuse, child
// look-ups (duplicates, values no child names, foreign children), radio
// children as Booleans, and the registry of all record types.
#include "parameters/ParInit.h"
#include "parameters/PtBool.h"
#include "parameters/PtEnum.h"
#include "parameters/PtRadio.h"
#include "parameters/PtStr.h"
#include "parameters/VisCtrl.h"

#include "kernel/ModTree.h"
#include "tests/parameters/ParTestUtil.h"
#include "tests/support/ExpectError.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

namespace vo {
namespace {

using test::ExpectError;

// The base keys of every record, then the type's own.
constexpr const char* BaseKeys = "/UPID 0 /Level 1 /Caption '' /Permission 255 /AddrUsage 15 /UseVFlag ''";

class ChoiceTest : public test::ParameterFixture {
protected:
    void SetUp() override {
        ParameterFixture::SetUp();
        Classes.RegisterParameterClass(ParameterClass<TEnumDir16Parameter>(), "EnumDir16");
        Classes.RegisterParameterClass(ParameterClass<TEnumDir8Parameter>(), "EnumDir8");
        Classes.RegisterParameterClass(ParameterClass<TEnumDir32Parameter>(), "EnumDir32");
        Classes.RegisterParameterClass(ParameterClass<TEnumChild16Parameter>(), "EnumChild16");
        Classes.RegisterParameterClass(ParameterClass<TEnumChild8Parameter>(), "EnumChild8");
        Classes.RegisterParameterClass(ParameterClass<TEnumChild32Parameter>(), "EnumChild32");
        Classes.RegisterParameterClass(ParameterClass<TRadioDir16Parameter>(), "RadioDir16");
        Classes.RegisterParameterClass(ParameterClass<TRadioDir32Parameter>(), "RadioDir32");
        Classes.RegisterParameterClass(ParameterClass<TRadioDirBitParameter>(), "RadioDirBit");
        Classes.RegisterParameterClass(ParameterClass<TRadioChildParameter>(), "RadioChild");
        Classes.RegisterParameterClass(ParameterClass<TRadioChild32Parameter>(), "RadioChild32");
        Classes.RegisterParameterClass(ParameterClass<TRadioChildBitParameter>(), "RadioChildBit");
        Classes.RegisterParameterClass(ParameterClass<TBoolParameter>(), "Bool");
        Classes.RegisterParameterClass(ParameterClass<TStringParameter>(), "String");
        Classes.RegisterParameterClass(ParameterClass<TCapDirParameter>(), "CapDir");
    }

    // A directory of Type (value DefValue) with one child of ChildType per
    // entry of Children (value, caption); a radio child carries an empty
    // "SetVFlag" list.
    std::vector<TParameter*> Family(const MyAnsiString& Type, long long DefValue, const MyAnsiString& ChildType,
                                    const std::vector<std::pair<long long, MyAnsiString>>& Children) {
        const bool radioChild = ChildType.rfind("Radio", 0) == 0;
        MyAnsiString records = "[A [R [D:" + Type + " " + BaseKeys + " /DefValue 0 ] [A 8224 1 'Dir' 255 15 '' " +
            std::to_string(DefValue) + " ] ]";
        bool first = true;
        int upid = 65600;
        for (const auto& [value, caption] : Children) {
            records += first ? " [R [D:" + ChildType + " /UPID 65535 /Level 2 /Caption '' /Permission 255 /AddrUsage 0 /UseVFlag ''" +
                    (radioChild ? " /SetVFlag [A ]" : "") + " /ChildValue 0 ] "
                             : " [R @" + ChildType + " ";
            records += "[A " + std::to_string(upid++) + " 2 '" + caption +
                "' 255 0 ''" + (radioChild ? " [A ]" : "") + " " + std::to_string(value) + " ] ]";
            first = false;
        }
        return BuildTree(records + " ]");
    }
    // Commits Value as if read from the drive.
    template <class Dir>
    static void Commit(Dir& D, typename Dir::TValue Value) {
        D.SetValue(Value);
        D.CopyTempToData();
    }
};

TEST_F(ChoiceTest, EnumeratorLookUpsTakeTheFirstMatch) {
    auto nodes = Family("EnumDir16", 3, "EnumChild16", {{1, "One"}, {3, "Three"}, {3, "Three again"}});
    auto& dir = dynamic_cast<TEnumDir16Parameter&>(*nodes[0]);
    EXPECT_EQ(dir.GetDefaultChild(), nodes[2]);
    // Invalid with children: the value is needed and raises.
    ExpectError([&] { dir.GetSelectedChild(); }, "Parameter not valid");
    dir.SetDefaultValue(usSI);
    EXPECT_EQ(dir.GetSelectedChild(), nodes[2]);
    EXPECT_EQ(dir.SelectedEntryCaption(), "Three");
    EXPECT_TRUE(nodes[3]->GetValid()); // children follow their directory
    Commit(dir, 0x1234);
    EXPECT_EQ(dir.GetSelectedChild(), nullptr);

    // Without children an invalid directory finds nothing and raises nothing.
    auto lone = Family("EnumDir8", 1, "EnumChild8", {});
    EXPECT_EQ(dynamic_cast<TEnumDir8Parameter&>(*lone[0]).GetSelectedChild(), nullptr);
}

TEST_F(ChoiceTest, ValueAndChildTexts) {
    struct Case {
        const char* type;
        const char* childType;
        long long value;
        const char* mode;
        const char* raw; // GetRawDataStr
        const char* scaled; // GetScaledValue
        long long childValue;
        const char* childText; // GetChildValueStr
    };
    const Case cases[] = {
        {"EnumDir16", "EnumChild16", 0x1234, "HEX", "1234h", "4660", 255, "00FFh"},
        {"EnumDir16", "EnumChild16", 0x1234, "DEC", "4660", "4660", 255, "255"},
        {"EnumDir16", "EnumChild16", 0x1234, "SCALED", "", "4660", 255, "Child"},
        {"EnumDir8", "EnumChild8", 5, "HEX", "05h", "5", 5, "05h"},
        {"EnumDir32", "EnumChild32", 0xFFFF, "HEX", "FFFFh", "65535", 1, "0001h"},
        {"RadioDir16", "RadioChild", 2, "HEX", "0002h", "2", 2, "0002h"},
        {"RadioDir32", "RadioChild32", -1, "HEX", "FFFFFFFFh", "-1", -1, "FFFFFFFFh"},
        {"RadioDir32", "RadioChild32", -1, "DEC", "-1", "-1", -1, "-1"},
        {"RadioDir32", "RadioChild32", 0x12345, "HEX", "12345h", "74565", 1, "0001h"},
        {"RadioDirBit", "RadioChildBit", 1, "HEX", "1h", "1", 1, "1h"},
        {"RadioDirBit", "RadioChildBit", 1, "ASCII", "", "1", 1, "Child"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " " + c.mode);
        auto nodes = Family(c.type, 0, c.childType, {{c.childValue, "Child"}});
        TParameter& dir = *nodes[0];
        dir.SetIntValue(usSI, c.value);
        dir.CopyTempToData();
        EXPECT_EQ(dir.GetRawDataStr(c.mode), c.raw);
        TValueRec v;
        dir.GetScaledValue(v, usSI, c.mode);
        EXPECT_EQ(v.ValueStr, c.scaled);
        EXPECT_EQ(v.UnitStr, "");
        EXPECT_EQ(dir.GetIntValue(), c.value);
        EXPECT_EQ(nodes[1]->GetChildValueStr(c.mode), c.childText);
    }
}

TEST_F(ChoiceTest, EntriesKeepTheFamilysRange) {
    struct Case {
        const char* type;
        const char* childType;
        const char* text;
        long long stored; // the pending value, or
        const char* error; // the error
    };
    const Case cases[] = {
        {"EnumDir8", "EnumChild8", "255", 255, nullptr},
        {"EnumDir8", "EnumChild8", "-128", 0x80, nullptr},
        {"EnumDir8", "EnumChild8", "300", 0, "Value out of range of UInt8 Enumerator type!"},
        {"EnumDir8", "EnumChild8", "-129", 0, "Value out of range of UInt8 Enumerator type!"},
        {"EnumDir16", "EnumChild16", "65535", 65535, nullptr},
        {"EnumDir16", "EnumChild16", "-1", 0xFFFF, nullptr},
        {"EnumDir16", "EnumChild16", "$8000", 0x8000, nullptr},
        {"EnumDir16", "EnumChild16", "70000", 0, "Value out of range of UInt16 Enumerator type!"},
        {"EnumDir16", "EnumChild16", "Three", 0, "'Three' is not a valid integer value"},
        {"EnumDir32", "EnumChild32", "70000", 0, "Value out of range of UInt32 Enumerator type!"},
        {"RadioDir16", "RadioChild", "65536", 0, "Value out of range of UInt16 type!"},
        {"RadioDir32", "RadioChild32", "-2147483648", -2147483648LL, nullptr},
        {"RadioDir32", "RadioChild32", "$FFFFFFFF", -1, nullptr},
        {"RadioDirBit", "RadioChildBit", "257", 257, nullptr},
        {"RadioDirBit", "RadioChildBit", "", 0, "'' is not a valid integer value"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.type) + " '" + c.text + "'");
        auto nodes = Family(c.type, 7, c.childType, {});
        TParameter& dir = *nodes[0];
        dir.SetDefaultValue(usSI);
        if (c.error) {
            ExpectError([&] { dir.SetScaledValue(c.text, usSI, "SCALED"); }, c.error);
        } else {
            dir.SetScaledValue(c.text, usSI, "SCALED");
        }
        dir.CopyTempToData();
        EXPECT_EQ(dir.GetIntValue(), c.error ? 7 : c.stored);
    }
    // An empty text is ignored by all but the bit directory.
    for (const char* type : {"EnumDir16", "EnumDir8", "EnumDir32", "RadioDir16", "RadioDir32"}) {
        SCOPED_TRACE(type);
        auto nodes = Family(type, 7, "EnumChild16", {});
        nodes[0]->SetDefaultValue(usSI);
        nodes[0]->SetScaledValue("", usSI, "SCALED");
        nodes[0]->CopyTempToData();
        EXPECT_EQ(nodes[0]->GetIntValue(), 7);
    }
}

TEST_F(ChoiceTest, ACommitOfTheSameValueChangesNothing) {
    auto nodes = Family("EnumDir16", 3, "EnumChild16", {});
    TParameter& dir = *nodes[0];
    dir.SetDefaultValue(usSI);
    EXPECT_TRUE(dir.GetAttrFlag(AttrChanged));
    dir.ClrAttrFlag(AttrChanged);
    dir.SetScaledValue("3", usSI, "SCALED");
    dir.CopyTempToData();
    EXPECT_FALSE(dir.GetAttrFlag(AttrChanged));
    dir.SetScaledValue("4", usSI, "SCALED");
    dir.CopyTempToData();
    EXPECT_TRUE(dir.GetAttrFlag(AttrChanged));
}

TEST_F(ChoiceTest, ForeignChildrenAreSkipped) {
    // A Boolean and a radio child below an enumerator, a radio child of the
    // 16-bit family below a bit directory: look-ups pass over them.
    auto nodes = BuildTree(MyAnsiString("[A [R [D:EnumDir16 ") + BaseKeys + " /DefValue 0 ] [A 8224 1 'E' 255 15 '' 1 ] ]" +
                           " [R [D:TestBool /UPID 0 /Level 2 /Caption '' /Permission 85 /AddrUsage 5 /UseVFlag '' /SetVFlag [A ] ] [A 65600 2 'B' 85 0 '' [A ] ] ]" +
                           " [R [D:RadioChild /UPID 0 /Level 2 /Caption '' /Permission 85 /AddrUsage 0 /UseVFlag '' /SetVFlag [A ] /ChildValue 0 ] [A 65601 2 'R' 85 0 '' [A ] 1 ] ]" +
                           " [R [D:EnumChild16 /UPID 0 /Level 2 /Caption '' /Permission 85 /AddrUsage 0 /UseVFlag '' /ChildValue 0 ] [A 65602 2 'One' 85 0 '' 1 ] ]" +
                           " [R [D:RadioDirBit " + BaseKeys + " /DefValue 0 ] [A 8225 1 'Bits' 255 15 '' 1 ] ]" +
                           " [R @RadioChild [A 65603 2 'R16' 85 0 '' [A ] 1 ] ] ]");
    auto& e = dynamic_cast<TEnumDir16Parameter&>(*nodes[0]);
    e.SetDefaultValue(usSI);
    EXPECT_EQ(e.GetSelectedChild(), nodes[3]);
    EXPECT_EQ(e.GetDefaultChild(), nodes[3]);
    std::vector<TEnumChild16Parameter*> list;
    e.GetChildList(list);
    EXPECT_EQ(list, std::vector<TEnumChild16Parameter*>{dynamic_cast<TEnumChild16Parameter*>(nodes[3])});
    auto& bits = dynamic_cast<TRadioDirBitParameter&>(*nodes[4]);
    bits.SetDefaultValue(usSI);
    EXPECT_EQ(bits.GetSelectedChild(), nullptr);
    EXPECT_EQ(bits.GetBitSetValueStr("SCALED"), "Bit Cleared");
}

TEST_F(ChoiceTest, RadioChildrenAreBooleansOverTheirDirectory) {
    auto nodes = Family("RadioDir16", 2, "RadioChild", {{1, "One"}, {2, "Two"}});
    auto& dir = dynamic_cast<TRadioDir16Parameter&>(*nodes[0]);
    TParameter& one = *nodes[1];
    TParameter& two = *nodes[2];
    ExpectError([&] { one.GetBoolValue(); }, "Parameter not valid");
    dir.SetDefaultValue(usSI);
    EXPECT_FALSE(one.GetBoolValue());
    EXPECT_TRUE(two.GetBoolValue());
    TValueRec v;
    one.GetScaledValue(v, usSI, "SCALED");
    EXPECT_EQ(v.ValueStr, "One"); // the caption also when not selected
    EXPECT_EQ(dir.Model().ImageIndex(), 23);

    // Leaving a choice by setting it false changes nothing.
    two.SetBoolValue(false);
    EXPECT_EQ(dir.PendingValue(), 2);
    one.SetScaledValue("on", usSI, "SCALED");
    EXPECT_EQ(dir.PendingValue(), 1);
    EXPECT_EQ(dir.GetValue(), 2); // not committed yet
    ExpectError([&] { one.SetScaledValue("maybe", usSI, "SCALED"); }, "invalid boolean parameterMAYBE");
}

TEST_F(ChoiceTest, BitDirectoryTexts) {
    struct Case {
        std::vector<std::pair<long long, MyAnsiString>> children;
        const char* set; // GetBitSetValueStr("SCALED")
        const char* cleared; // GetBitClearedValueStr("SCALED")
    };
    const Case cases[] = {
        {{{0, "Off"}}, "Bit Cleared", "Off"},
        {{{0, "Off"}, {1, "On"}, {1, "On later"}}, "On later", "Off"},
        {{}, "Bit Cleared", "Bit Cleared"},
    };
    for (const Case& c : cases) {
        auto nodes = Family("RadioDirBit", 1, "RadioChildBit", c.children);
        auto& dir = dynamic_cast<TRadioDirBitParameter&>(*nodes[0]);
        // Neither needs a valid value.
        EXPECT_EQ(dir.GetBitSetValueStr("SCALED"), c.set);
        EXPECT_EQ(dir.GetBitClearedValueStr("SCALED"), c.cleared);
        EXPECT_EQ(dir.GetBitSetValueStr("HEX"), "1h");
        EXPECT_EQ(dir.GetBitClearedValueStr("DEC"), "0");
        dir.SetDefaultValue(usSI);
        // Only the selected bit child shows its text.
        for (std::size_t i = 1; i < nodes.size(); ++i) {
            TValueRec v;
            nodes[i]->GetScaledValue(v, usSI, "SCALED");
            EXPECT_EQ(v.ValueStr, nodes[i]->GetChildValue() == 1 ? nodes[i]->Caption() : "");
        }
    }
}

TEST_F(ChoiceTest, ARadioChildThatSetsFlagsMarksItsDirectoryOnline) {
    TRef<TSLObject> flags = SLDecodeString("[D /VisibilityFlags [A [D /Type 'B' /Name 'F1' ] ] ]");
    Service().VisibilityController().LoadFlags(*dynamic_cast<TSLDictionary*>(flags.Get()));
    auto nodes = BuildTree(MyAnsiString("[A [R [D:RadioDir16 ") + BaseKeys + " /DefValue 0 ] [A 8224 1 'R' 255 15 '' 1 ] ]" +
                           " [R [D:RadioChild /UPID 0 /Level 2 /Caption '' /Permission 85 /AddrUsage 0 /UseVFlag '' /SetVFlag [A ] /ChildValue 0 ]" +
                           " [A 65600 2 'Plain' 85 0 '' [A ] 1 ] ]" + " [R @RadioChild [A 65601 2 'Flag' 85 0 '' [A 'F1' ] 2 ] ] ]");
    nodes[2]->Initialize(false);
    EXPECT_FALSE(nodes[0]->GetAttrFlag(AttrVFlagSource));
    nodes[1]->Initialize(true);
    EXPECT_FALSE(nodes[0]->GetAttrFlag(AttrVFlagSource));
    nodes[2]->Initialize(true);
    EXPECT_TRUE(nodes[0]->GetAttrFlag(AttrVFlagSource));
}

TEST_F(ChoiceTest, BooleanTexts) {
    auto nodes = BuildTree(MyAnsiString("[A [R [D:Bool ") + BaseKeys + " /SetVFlag [A ] /DefValue 0 ] [A 8208 1 'B' 255 15 '' [A ] 1 ] ]" +
                           " [R @Bool [A 8209 1 'C' 255 15 '' [A ] 0 ] ] ]");
    auto& b = dynamic_cast<TBoolParameter&>(*nodes[0]);
    const std::pair<const char*, const char*> defaults[] = {{"DEC", "1"}, {"HEX", "1h"}, {"SCALED", "True"}, {"BIN", "1"}};
    for (const auto& [mode, text] : defaults) {
        TValueRec v;
        b.GetDefaultStr(v, usSI, mode);
        EXPECT_EQ(v.ValueStr, text) << mode;
    }
    ExpectError([&] { b.GetBoolValue(); }, "Parameter not valid");
    ExpectError([&] { b.GetRawDataStr("HEX"); }, "Parameter not valid");
    EXPECT_EQ(b.GetRawDataStr("SCALED"), "");
    nodes[1]->SetDefaultValue(usSI);
    EXPECT_EQ(nodes[1]->GetRawDataStr("HEX"), "0h");
    EXPECT_EQ(nodes[1]->GetRawDataStr("DEC"), "0");
    EXPECT_EQ(b.GetFalseValueStr("SCALED"), "False");
    EXPECT_EQ(TBoolParameter::DataToValue(std::string("\x02", 1)), 2);
    EXPECT_EQ(TBoolParameter::DataToValue(""), 0);
    EXPECT_EQ(TBoolParameter::ValueToData(true), std::string("\x01\x00", 2));
}

TEST_F(ChoiceTest, TextsKeepSixtyFourCharacters) {
    const std::string longText(70, 'x');
    auto nodes = BuildTree(MyAnsiString("[A [R [D:String ") + BaseKeys + " /DefValue '' /MaxSize 32 ] [A 8192 1 'S' 255 15 '' '" +
                           longText + "' 80 ] ]" + " [R [D:CapDir " + BaseKeys + " /DefValue '' /MaxSize 32 ] [A 8193 1 'C' 255 15 '' '" +
                           longText + "' 80 ] ] ]");
    for (TParameter* p : nodes) {
        SCOPED_TRACE(p->TypeStr());
        ExpectError([&] { p->GetStrValue(); }, "Parameter not valid");
        TValueRec v;
        p->GetDefaultStr(v, usSI, "SCALED");
        EXPECT_EQ(v.ValueStr, longText.substr(0, 64));
        p->SetDefaultValue(usSI);
        EXPECT_EQ(p->GetStrValue(), longText.substr(0, 64));
        EXPECT_EQ(p->GetRawDataStr("HEX"), "");
        p->SetScaledValue("short", usSI, "SCALED");
        p->CopyTempToData();
        p->GetScaledValue(v, usSI, "SCALED");
        EXPECT_EQ(v.ValueStr, "short");
    }
    auto& cap = dynamic_cast<TCapDirParameter&>(*nodes[1]);
    EXPECT_EQ(cap.Text().FDefaultValue.size(), 64u);
    EXPECT_EQ(dynamic_cast<TStringParameter&>(*nodes[0]).Text().FDefaultValue.size(), 70u);
    EXPECT_TRUE(cap.Model().Flags().Contains(mfAllowEdit));
    EXPECT_EQ(cap.Model().ImageIndex(), 21);
}

TEST_F(ChoiceTest, EveryRecordTypeIsRegisteredInOrder) {
    TParameterManager all;
    RegisterParameterClasses(all);
    const char* names[] = {"UInt8", "SInt8", "UInt16", "SInt16", "UInt32", "SInt32", "EnumDir32", "EnumDir16",
                           "EnumDir8", "EnumChild32", "EnumChild16", "EnumChild8", "RadioDir32", "RadioDir16",
                           "RadioDirBit", "RadioChild32", "RadioChild", "RadioChildBit", "Directory", "Bool",
                           "String", "ClassDir", "CapDir"};
    EXPECT_EQ(all.GetClassCount(), 23);
    std::set<std::type_index> classes;
    for (const char* n : names) {
        ASSERT_TRUE(all.ParameterClassExists(n)) << n;
        classes.insert(all.GetParameterClass(n).Type);
        EXPECT_EQ(all.GetName(all.GetParameterClass(n)), n);
    }
    EXPECT_EQ(classes.size(), 23u);
    EXPECT_EQ(all.GetParameterClass("radiodirbit").Type, std::type_index(typeid(TRadioDirBitParameter)));
}

TEST_F(ChoiceTest, MissingKeysStopTheConstruction) {
    // "DefValue" may be left out only by the 32-bit enumerator.
    auto ok = BuildTree(MyAnsiString("[A [R [D:EnumDir32 ") + BaseKeys + " ] [A 8224 1 'E' 255 15 '' ] ] ]");
    ok[0]->SetDefaultValue(usSI);
    EXPECT_EQ(ok[0]->GetIntValue(), 0);
    for (const char* type : {"EnumDir16", "EnumDir8", "RadioDir16", "RadioDir32", "RadioDirBit"}) {
        SCOPED_TRACE(type);
        TRef<TSLObject> arr = SLDecodeString(MyAnsiString("[A [R [D:") + type + " " + BaseKeys + " ] [A 8230 1 'E' 255 15 '' ] ] ]");
        auto* rec = dynamic_cast<TSLRecord*>(dynamic_cast<TSLArray*>(arr.Get())->GetObjAtIndex(0));
        const int before = Service().GetParameterCount();
        EXPECT_THROW(Classes.GetParameterClass(type).Create(Service(), rec), Exception);
        EXPECT_EQ(Service().GetParameterCount(), before);
    }
}

} // namespace
} // namespace vo
