// Visibility flags: loading, equations, the calculation order, the bit
// stack, and the service's visibility pass over nodes and model items.
#include "parameters/VisCtrl.h"

#include "kernel/ModTree.h"
#include "tests/parameters/ParTestUtil.h"
#include "tests/support/KernelFixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vo {
namespace {

using test::ExpectError;
using test::TTestBoolParameter;

TRef<TSLDictionary> Dict(const MyAnsiString& Text) {
    TRef<TSLObject> o = SLDecodeString(Text);
    return TRef<TSLDictionary>(dynamic_cast<TSLDictionary*>(o.Get()));
}

// "VisibilityFlags" of a module: entries "B:name", "I:name" or
// "C:name=op op op".
TRef<TSLDictionary> Flags(const std::vector<MyAnsiString>& Entries) {
    MyAnsiString text = "[D /VisibilityFlags [A ";
    for (const MyAnsiString& e : Entries) {
        const auto colon = e.find(':');
        const auto eq = e.find('=');
        const MyAnsiString type = e.substr(0, colon);
        const MyAnsiString name = e.substr(colon + 1, eq == MyAnsiString::npos ? MyAnsiString::npos : eq - colon - 1);
        text += "[D /Type '" + type + "' /Name '" + name + "'";
        if (eq != MyAnsiString::npos) {
            text += " /Equation [A";
            MyAnsiString rest = e.substr(eq + 1);
            std::size_t at = 0;
            while (at < rest.size()) {
                auto end = rest.find(' ', at);
                if (end == MyAnsiString::npos)
                    end = rest.size();
                text += " '" + rest.substr(at, end - at) + "'";
                at = end + 1;
            }
            text += " ]";
        }
        text += " ] ";
    }
    return Dict(text + "] ]");
}

TEST(VisibilityFlags, EquationsEvaluate) {
    TVisibilityController c;
    c.LoadFlags(*Flags({"B:FlagA", "B:FlagB", "C:NotBoth=FlagA FlagB & !", "C:Either=FlagA FlagB #", "C:Same=FlagA FlagA &"}));
    const struct {
        bool A, B, NotBoth, Either;
    } cases[] = {{true, false, true, true}, {true, true, false, true}, {false, false, true, false}};
    for (const auto& k : cases) {
        c.PrepareCalculation();
        c.GetFlag("flaga").SetValue(k.A);
        c.GetFlag("FlagB").SetValue(k.B);
        c.ExecuteCalculation();
        EXPECT_EQ(c.GetFlag("NotBoth").Value(), k.NotBoth);
        EXPECT_EQ(c.GetFlag("Either").Value(), k.Either);
        EXPECT_EQ(c.GetFlag("Same").Value(), k.A);
    }
    EXPECT_EQ(c.GetFlag("Same").OperandCount(), 1);
    EXPECT_EQ(c.GetNameOfFlag(&c.GetFlag("either")), "Either");
    EXPECT_EQ(c.GetNameOfFlag(nullptr), "");
}

// Steps follow the operands whatever the names; evaluation goes by step.
TEST(VisibilityFlags, CalculationOrder) {
    TVisibilityController c;
    c.LoadFlags(*Flags({"B:B1", "C:A3=C2 !", "C:C2=B1"}));
    EXPECT_EQ(c.GetFlag("B1").CalcStep(), 0);
    EXPECT_EQ(c.GetFlag("C2").CalcStep(), 1);
    EXPECT_EQ(c.GetFlag("A3").CalcStep(), 2);
    EXPECT_EQ(c.LastCalcStep(), 2);
    c.GetFlag("B1").SetValue(true);
    c.ExecuteCalculation();
    EXPECT_TRUE(c.GetFlag("C2").Value());
    EXPECT_FALSE(c.GetFlag("A3").Value()); // A3 saw C2 after it was computed

    // snapshots tell whether anything changed
    c.CreateSnapshot();
    EXPECT_TRUE(c.CompareSnapshot());
    c.GetFlag("B1").SetValue(false);
    EXPECT_FALSE(c.CompareSnapshot());
}

TEST(VisibilityFlags, LoadErrors) {
    const struct {
        std::vector<MyAnsiString> Entries;
        const char* Error;
    } cases[] = {
        {{"C:C1=C2", "C:C2=C1"}, "TVisibilityController.SetupCalcOrder: circular references"},
        {{"C:Self=Self !"}, "TVisibilityController.SetupCalcOrder: circular references"},
        {{"I:X"}, "visibility flag with name 'X' not found"},
        {{"B:Flag", "B:flag"}, "TVisibilityController.LoadFlags: visibility flag with name 'flag' already exists"},
        {{"X:Flag"}, "unknow visibility flag type 'X' for 'Flag'"},
        {{"B:Flag", "C:E=Flag ?"}, "undefined command token: ?"},
        {{"B:A", "C:E=A"}, "undefined command token: A"}, // one-character names are no operands
        {{"C:E=Missing"}, "visibility flag with name 'Missing' not found"},
    };
    for (const auto& k : cases) {
        TVisibilityController c;
        ExpectError([&] { c.LoadFlags(*Flags(k.Entries)); }, k.Error);
    }
    // a later module imports the flags of an earlier one
    TVisibilityController c;
    c.LoadFlags(*Flags({"B:Base"}));
    c.LoadFlags(*Flags({"I:base", "C:Derived=Base !"}));
    EXPECT_EQ(c.GetFlagCount(), 2);
    c.LoadFlags(*Dict("[D /Other 1 ]"));
    EXPECT_EQ(c.GetFlagCount(), 2);
}

TEST(VisibilityFlags, EvaluationErrors) {
    const struct {
        const char* Equation;
        const char* Error;
    } cases[] = {
        {"C:E=FA FB", "TVisibilityFlag.Calculate: error in equation"},
        {"C:E=FA #", "TBitStack.Pop: stack underflow"},
        {"C:E=#", "TBitStack.Pop: stack underflow"},
    };
    for (const auto& k : cases) {
        TVisibilityController c;
        c.LoadFlags(*Flags({"B:FA", "B:FB", k.Equation}));
        ExpectError([&] { c.ExecuteCalculation(); }, k.Error);
    }
}

TEST(VisibilityFlags, StackHoldsThirtyOneValues) {
    TBitStack s;
    for (int i = 0; i < 31; ++i) s.Push(static_cast<std::uint8_t>(i & 1));
    EXPECT_EQ(s.Count(), 31);
    ExpectError([&] { s.Push(1); }, "TBitStack.Push: stack overflow");
    EXPECT_EQ(s.Pop(), 0);

    // an equation that needs 31 values at once evaluates; 32 overflow
    for (int n : {31, 32}) {
        MyAnsiString eq = "C:E=";
        for (int i = 0; i < n; ++i) eq += "FA ";
        for (int i = 1; i < n; ++i) eq += i + 1 < n ? "& " : "&";
        TVisibilityController c;
        c.LoadFlags(*Flags({"B:FA", eq}));
        c.GetFlag("FA").SetValue(true);
        if (n == 31) {
            c.ExecuteCalculation();
            EXPECT_TRUE(c.GetFlag("E").Value());
        } else {
            ExpectError([&] { c.ExecuteCalculation(); }, "TBitStack.Push: stack overflow");
        }
    }
}

// ------------------------------------------------------------------ visibility pass

class VisibilityPassTest : public test::ParameterFixture {
protected:
    static MyAnsiString Dir(int UPID, int Level, const char* Caption, int Permission, const char* Flag = "") {
        return "[R @Directory [A " + std::to_string(UPID) + " " + std::to_string(Level) + " '" + Caption + "' " +
            std::to_string(Permission) + " 0 '" + Flag + "' ] ]";
    }
    static MyAnsiString Bool(int UPID, int Level, const char* Caption, const char* Flags, const char* Use = "") {
        return "[R @TestBool [A " + std::to_string(UPID) + " " + std::to_string(Level) + " '" + Caption + "' 85 5 '" + Use +
            "' [A " + Flags + " ] ] ]";
    }
    // Loads the flags and builds the tree: the first row defines the
    // directory type, the second the Boolean type.
    std::vector<TParameter*> Build(const std::vector<MyAnsiString>& FlagEntries, const std::vector<MyAnsiString>& Rows) {
        Service().VisibilityController().LoadFlags(*Flags(FlagEntries));
        MyAnsiString text = "[A [R " + MyAnsiString(test::DirDef) + " [A 65535 1 'Defs' 85 0 '' ] ] [R " + test::BoolDef +
            " [A 9 2 'defbool' 85 5 '' [A ] ] ]";
        for (const auto& r : Rows) text += " " + r;
        return BuildTree(text + " ]");
    }
};

TEST_F(VisibilityPassTest, FlagsFromBooleansGovernNodes) {
    auto n = Build({"B:Expert", "C:Simple=Expert !"},
                   {Bool(10, 1, "expert mode", "'Expert'"), Dir(11, 1, "Expert", 0x55, "Expert"), Dir(12, 1, "Simple", 0x55, "Simple"),
                    Dir(13, 1, "Always", 0x55)});
    auto& expert = dynamic_cast<TTestBoolParameter&>(*n[2]);
    EXPECT_TRUE(expert.GetAttrFlag(AttrVFlagSource));
    TParameterService& s = Service();

    s.UpdateVisibility(); // the switch is not read yet: it sets nothing
    EXPECT_FALSE(n[3]->GetAttrFlag(AttrVisible));
    EXPECT_TRUE(n[4]->GetAttrFlag(AttrVisible));
    EXPECT_TRUE(n[5]->GetAttrFlag(AttrVisible));

    expert.Commit(true);
    s.UpdateVisibility();
    EXPECT_TRUE(n[3]->GetAttrFlag(AttrVisible));
    EXPECT_FALSE(n[4]->GetAttrFlag(AttrVisible));
    EXPECT_TRUE(s.VisibilityController().GetFlag("Expert").Value());

    expert.Commit(false); // flags are computed from false on every pass
    s.UpdateVisibility();
    EXPECT_FALSE(n[3]->GetAttrFlag(AttrVisible));
    EXPECT_TRUE(n[4]->GetAttrFlag(AttrVisible));
}

// The user level decides which directories the project tree shows, and with
// which permissions.
TEST_F(VisibilityPassTest, ModelItemsByUserLevel) {
    auto n = Build({}, {Dir(1, 1, "UserOnly", 0x03), Dir(2, 1, "ServiceRead", 0x04), Dir(3, 2, "Nested", 0x08), Dir(4, 1, "DevOnly", 0x30), Dir(5, 1, "Guest", 0x40)});
    TParameterService& s = Service();
    auto model = [&](int i) -> TModelItem& { return dynamic_cast<TGenericDirParameter&>(*n[static_cast<std::size_t>(i)]).Model(); };
    EXPECT_FALSE(model(4).GetVisible()); // a nested directory starts hidden
    s.TreeRoot().Model().Hide();

    s.UpdateVisibility(); // SERVICE: mask 0x0C
    EXPECT_TRUE(s.TreeRoot().Model().GetVisible());
    const struct {
        int Node;
        bool Shown;
    } shown[] = {{0, true}, {2, false}, {3, true}, {4, true}, {5, false}, {6, false}};
    for (const auto& k : shown) EXPECT_EQ(model(k.Node).GetVisible(), k.Shown) << n[static_cast<std::size_t>(k.Node)]->Caption();
    EXPECT_EQ(model(3).Permission().Read, TUserTypeSet{utService});
    EXPECT_EQ(model(4).Permission().Write, TUserTypeSet{utService});
    EXPECT_EQ(model(3).UserType(), TUserTypeSet{utService});

    Device().SetStrVar("UserName", "DEVELOPER");
    s.UpdateVisibility();
    EXPECT_TRUE(model(5).GetVisible());
    EXPECT_FALSE(model(3).GetVisible());
    EXPECT_EQ(model(5).UserType(), TUserTypeSet{utDevelop});

    Device().SetStrVar("UserName", "USER");
    s.UpdateVisibility();
    EXPECT_TRUE(model(2).GetVisible());
    EXPECT_FALSE(model(5).GetVisible());
}

// For GUEST the root follows the switch 3274 when the drive has it, and is
// left alone otherwise.
TEST_F(VisibilityPassTest, GuestRootFollowsItsSwitch) {
    Device().SetStrVar("UserName", "GUEST");
    auto n = Build({}, {Dir(1, 1, "Guest", 0x40)});
    TParameterService& s = Service();
    TModelItem& root = s.TreeRoot().Model();
    root.Hide();
    s.UpdateVisibility();
    EXPECT_FALSE(root.GetVisible());
    root.Show();
    s.UpdateVisibility();
    EXPECT_TRUE(root.GetVisible());
    EXPECT_TRUE(dynamic_cast<TGenericDirParameter&>(*n[2]).Model().GetVisible());

    auto more = BuildTree("[A [R " + MyAnsiString(test::BoolDef) + " [A 3274 1 'guest view' 85 5 '' [A ] ] ] ]", "");
    auto& guestView = dynamic_cast<TTestBoolParameter&>(*more.back());
    s.UpdateVisibility(); // not read yet
    EXPECT_FALSE(root.GetVisible());
    guestView.Commit(true);
    s.UpdateVisibility();
    EXPECT_TRUE(root.GetVisible());
    guestView.Commit(false);
    s.UpdateVisibility();
    EXPECT_FALSE(root.GetVisible());
}

// An equation error ends the pass and leaves no update bracket open.
TEST_F(VisibilityPassTest, EquationErrorsEndThePass) {
    auto n = Build({"B:FA", "B:FB", "C:Bad=FA FB"}, {Bool(10, 1, "a", "'FA'")});
    dynamic_cast<TTestBoolParameter&>(*n[2]).Commit(true);
    ExpectError([&] { Service().UpdateVisibility(); }, "TVisibilityFlag.Calculate: error in equation");
    EXPECT_EQ(FManager->ModelManager().UpdateCounter(), 0); // no bracket left open
}

} // namespace
} // namespace vo
