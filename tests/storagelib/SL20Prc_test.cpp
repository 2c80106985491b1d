// The System dictionary and the polymorphic dispatch of native procedures.
#include "ScriptTestUtil.h"
#include "storagelib/SL20Prc.h"
#include "storagelib/SL20PrcCol.h"
#include "storagelib/SL20PrcNum.h"

namespace vo::test {
namespace {

using SystemDictTest = ScriptTest;

TEST_F(SystemDictTest, HoldsTheBuiltInsInTheirOrderThenTrueAndFalseThenAnnouncedOnes) {
    const auto& names = SLSystemProcedureNames();
    EXPECT_EQ(names.front(), "abort");
    EXPECT_EQ(names.back(), "xor");
    EXPECT_EQ(names[9], "case");
    EXPECT_EQ(names[11], "cdict"); // the order is not alphabetical here
    EXPECT_EQ(names[79], "le");

    TRef<TSLInternalProcedure> loadclass = MakeRef<TSLAddProcedure>(); // any procedure object
    Manager->AnnounceSystemProcedure("loadclass", loadclass.Get());

    TSLDictionary& sys = *Manager->GetSystemDict();
    // Every built-in of the table, in table order, then true and false.
    const int n = sys.GetCount();
    ASSERT_EQ(n, static_cast<int>(names.size()) + 3);
    for (int i = 0; i < n - 3; ++i) {
        const MyAnsiString name = sys.GetNameAtIndex(i);
        EXPECT_EQ(name, names[static_cast<std::size_t>(i)]);
        EXPECT_TRUE(sys.GetObjAtIndex(i)->GetExecutable()) << name;
        EXPECT_TRUE(sys.GetObjAtIndex(i)->InheritsFrom(TSLInternalProcedure::ClassInfo)) << name;
    }
    EXPECT_EQ(sys.GetNameAtIndex(n - 3), "true");
    EXPECT_EQ(sys.GetNameAtIndex(n - 2), "false");
    EXPECT_EQ(sys.GetNameAtIndex(n - 1), "loadclass");
    EXPECT_TRUE(SLCast<TSLBoolean>(sys.GetObjAtIndex(n - 3))->GetBooleanValue());
    EXPECT_FALSE(SLCast<TSLBoolean>(sys.GetObjAtIndex(n - 2))->GetBooleanValue());

    // Each built-in is created once per dictionary; "ADD" finds "add".
    EXPECT_EQ(sys.FindObjWithName("ADD"), sys.FindObjWithName("add"));
    EXPECT_EQ(SLCreateSystemProcedure("nosuch"), nullptr);
    EXPECT_NE(SLCreateSystemProcedure("for"), nullptr);
}

TEST_F(SystemDictTest, PolymorphicProceduresDispatchOnTheOperandClassAtTheirDepth) {
    struct TCase {
        const char* Script;
        const char* Stack;
    } cases[] = {
        {"7 2 add", "9"},
        {"7 2.0 add", "9r"},
        {"2.5 1 add", "3.5r"},
        {"'ab' 'cd' add", "'abcd'"},
        {"/a [A 1] def a /x add a", "[A 1 /x ]"}, // the array takes b itself; nothing is pushed
        {"9223372036854775807 1 add", "-9223372036854775808"},
        {"[S 1 2 3] count", "3"}, // a stack is an array
        {"/d 1 dict def d /a 1 put d count", "1"},
        {"1 2 [A 10 20] 1 get", "1 2 20"},
        {"5 /v 1 dict def v /k 3 put v /k get", "5 3"},
        {"[B 1] exec [P [A] [A] ] exec", "1"},
        {"2 [A 'a' 'b'] exch [A 'x'] 'y' [A] 3 carr", "[A 'a' 'b' ] 2 [A [A 'x' ] 'y' [A ] ]"},
        {"/Msg 'm' /n 2 2 cdict dup /n get", "[D /Msg 'm' /n 2 ] 2"},
        {"1 2 lt 2 1 lt 1 2.0 lt 'abc' 'ABD' lt 2 2 le 3 2 gt 2 2 ge", "#1 #0 #1 #1 #1 #1 #1"},
        {"5.7 5 eq 5 5.7 eq 'a' 'a' ne", "#1 #0 #0"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Script);
        EXPECT_EQ(Run(c.Script), c.Stack);
    }
    struct TFail {
        const char* Script;
        const char* Message;
    } failures[] = {
        {"true 2 add", "Procedure 'TSLAddProcedure' doesn't work on object with class TSLBoolean"},
        {"1 count", "Procedure 'TSLCountProcedure' doesn't work on object with class TSLLongint"},
        {"1 2 'x' put", "Procedure 'TSLPutProcedure' doesn't work on object with class TSLLongint"},
        {"1 'x' add", "Invalid class typecast"},
        {"'1' 2 lt", "Invalid class typecast"},
        {"add", "TSLStack.ObjectAtIndex: no object to fetch at index -2"}, // the stack's own error
    };
    for (const TFail& f : failures) {
        SCOPED_TRACE(f.Script);
        EXPECT_EQ(RunError(f.Script), f.Message);
    }
    // A refused class check leaves the operands where they were.
    RunError("true 2 add");
    EXPECT_EQ(Stack(), "#1 2");
}

class TTooMany : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TTooMany, TSLPolymorphProcedure)
public:
    void Handler(TSLContext*) {}
    int Count = 8;

protected:
    void RegisterProcedures() override {
        for (int i = 0; i < Count; ++i) Register(&TTooMany::Handler, TSLLongint::ClassInfo, 0);
    }
};

class TUnregistered : public TSLPolymorphProcedure {
    VO_REFOBJ_CLASS(TUnregistered, TSLPolymorphProcedure)
};

TEST_F(SystemDictTest, TheDispatchTableHasSevenEntriesAndEverySubclassFillsIt) {
    NewContext();
    Ctx->FContextInterface->PushLongint(1);
    TRef<TTooMany> many = MakeRef<TTooMany>();
    EXPECT_THROW_MSG(many->Execute(Ctx.Get()), Exception, "Procedure array has only 7 entries");
    many = MakeRef<TTooMany>();
    many->Count = 7;
    many->Execute(Ctx.Get());
    EXPECT_EQ(many->GetProcedureCount(), 7);
    TRef<TUnregistered> none = MakeRef<TUnregistered>();
    EXPECT_THROW_MSG(none->Execute(Ctx.Get()), Exception, "TUnregistered.RegisterProcedures not overwritten");
}

TEST_F(SystemDictTest, ABuiltInCanBeShadowedAndIsStillReachableThroughItsNamespace) {
    EXPECT_EQ(Run("/pop [B 'mine'] def 1 pop 2 System:pop"), "1 'mine'");
}

} // namespace
} // namespace vo::test
