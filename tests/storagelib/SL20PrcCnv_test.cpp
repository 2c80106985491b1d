// Conversion built-ins: numbers, strings and names into each other, number
// tests, radix texts, padding, and objects exchanged for integer handles.
#include "ScriptTestUtil.h"
#include "storagelib/SL20PrcCnv.h"

namespace vo::test {
namespace {

class ConversionProcTest : public ScriptTest {
protected:
    void TearDown() override {
        // Handles a script made with objtoint keep their objects for good.
        Ctx.Reset();
        SLObjectHandles().Clear();
        ScriptTest::TearDown();
    }
};

TEST_F(ConversionProcTest, NumbersStringsAndNames) {
    const TStackCase cases[] = {
        {"3.99 cvi -3.99 cvi 42 cvi", "3 -3 42"},
        {"'42' cvi ' -17' cvi '$FF' cvi '0x10' cvi", "42 -17 255 16"},
        {"2.5 cvr 7 cvr '1.5' cvr '-2e3' cvr", "2.5r 7r 1.5r -2000r"},
        // The whole 64-bit integer (its low 32 bits would give -2147483648).
        {"2147483648 cvr 4294967297 cvr", "2147483648r 4294967297r"},
        {"42 cvs -2.5 cvs /abc cvs", "'42' '-2.5' 'abc'"},
        {"'abc' cvn 'a b' cvn", "/abc /a b"},
        {"'abc' chki '12' chki '' chki '1.5' chki", "#0 #1 #0 #0"},
        {"'1.5' chkr '1,5' chkr '12' chkr 'x' chkr", "#1 #0 #1 #0"},
    };
    ExpectStacks(cases);
    const TErrorCase failures[] = {
        {"'abc' cvi", "''abc'' is not a valid integer value"},
        {"'1.5' cvi", "''1.5'' is not a valid integer value"},
        {"1e19 cvi", "Invalid floating point operation"},
        {"'1,5' cvr", "'1,5' is not a valid floating point value"},
        {"'' cvr", "'' is not a valid floating point value"},
        {"'x' cvs", "Procedure 'TSLCvsProcedure' doesn't work on object with class TSLString"},
        {"true cvi", "Procedure 'TSLCviProcedure' doesn't work on object with class TSLBoolean"},
        {"5 cvn", "Invalid class typecast"},
        {"5 chki", "Invalid class typecast"},
    };
    ExpectErrors(failures);
}

TEST_F(ConversionProcTest, CviOfAnIntegerLeavesTheSameObject) {
    Run("/a 5 def a cvi");
    EXPECT_EQ(Ctx->OperandStack().GetObjAtIndex(0), Global("a"));
    Run("/a 5.5 def a cvr");
    EXPECT_EQ(Ctx->OperandStack().GetObjAtIndex(0), Global("a"));
}

TEST_F(ConversionProcTest, RadixTexts) {
    const TStackCase cases[] = {
        {"255 16 cvrs -255 16 cvrs 0 2 cvrs 5 2 cvrs", "'FF' '-FF' '0' '101'"},
        {"35 36 cvrs 9223372036854775807 36 cvrs", "'Z' '1Y2P0IJ32E8E7'"},
        {"10 4294967312 cvrs", "'A'"}, // the base by its low 32 bits (16)
        {"'ff' 16 cvri 'FF' 16 cvri '-ff' 16 cvri '101' 2 cvri", "255 255 -255 5"},
        {"'1Y2P0IJ32E8E7' 36 cvri", "9223372036854775807"},
        {"'-' 10 cvri", "0"},
        {"'z' 40 cvri", "35"}, // the base is not range-checked here
        {"'10000000000000000' 16 cvri", "0"}, // wraps at 64 bits
        {"34 cvrls 35 cvrls 0 cvrls -70 cvrls", "'Z' '10' '0' '-20'"},
        {"'N' cvrli 'P' cvrli '10' cvrli '-Z' cvrli", "23 24 35 -34"}, // P follows N: there is no O
        {"9223372036854775807 cvrls cvrli", "9223372036854775807"},
        {"'12' 5 '0' pad '12' 5 '0' padr", "'00012' '12000'"},
        {"'123456' 5 '0' pad '123456' 5 '0' padr", "'123456' '123456'"},
        {"'12' 5 'xy' pad '' 3 ' ' padr '12' -1 '0' pad", "'xxx12' '   ' '12'"},
    };
    ExpectStacks(cases);
    const TErrorCase failures[] = {
        {"10 37 cvrs", "IntToStrBaseX: Base must between 2 and 36"},
        {"10 1 cvrs", "IntToStrBaseX: Base must between 2 and 36"},
        {"'1g' 16 cvri", "StrBaseXToInt: Invalid AnsiChar 'g' in MyAnsiString"},
        {"'12' 2 cvri", "StrBaseXToInt: Invalid AnsiChar '2' in MyAnsiString"},
        {"'1#' 16 cvri", "Char36ToInt: Value has to be '0'..'9', 'A'..'Z' or 'a'..'z'"},
        {"'O' cvrli", "StrChArrToInt: Invalid AnsiChar 'O' in MyAnsiString"},
        {"'n' cvrli", "StrChArrToInt: Invalid AnsiChar 'n' in MyAnsiString"}, // symbols are case-sensitive
        // Sound behaviour where the text would be read outside its bounds or
        // the value has no positive counterpart.
        {"'' 16 cvri", "StrBaseXToInt: Empty MyAnsiString"},
        {"'' cvrli", "StrChArrToInt: Empty MyAnsiString"},
        {"-9223372036854775808 16 cvrs", "IntToStrBaseX: Value out of range"},
        {"-9223372036854775808 cvrls", "IntToStrChArr: Value out of range"},
        {"'12' 5 '' pad", "pad: fill text is empty"},
        {"'12' 5 '' padr", "padr: fill text is empty"},
        {"'ff' '16' cvri", "Invalid class typecast"},
    };
    ExpectErrors(failures);
}

TEST_F(ConversionProcTest, HandlesGiveBackTheVeryObjectAndRefuseUnknownOnes) {
    // A change made through the object of the handle is seen through the name.
    EXPECT_EQ(Run("/a [A 1] def a objtoint /h exch def h inttoobj 2 add a"), "[A 1 2 ]");
    // One object has one handle; another object another one.
    EXPECT_EQ(Run("/a [A] def a objtoint a objtoint eq a objtoint [A] objtoint eq"), "#1 #0");
    EXPECT_EQ(Run("'x' objtoint 0 gt"), "#1");

    // The handle keeps its object beyond the script that made it.
    Run("[D /k 'kept'] objtoint");
    const int64_t handle = SLCast<TSLLongint>(Ctx->OperandStack().GetObjAtIndex(0))->GetLongintValue();
    Ctx.Reset();
    PurgeAutoReleasePool();
    EXPECT_EQ(Run(std::to_string(handle) + " inttoobj /k get"), "'kept'");

    EXPECT_EQ(RunError("12345 inttoobj"), "TSLObjectHandles.Find: unknown object handle 12345");
    EXPECT_EQ(RunError("-1 inttoobj"), "TSLObjectHandles.Find: unknown object handle -1");
    EXPECT_EQ(RunError("'1' inttoobj"), "Invalid class typecast");
    EXPECT_EQ(Run("0 inttoobj"), "@0"); // 0 stands for nil
}

TEST(ObjectHandlesTest, ReferencesAreCountedPerHandle) {
    TSLObjectHandles table;
    TRef<TSLString> s = MakeRef<TSLString>("x");
    const int32_t h = table.Add(s.Get());
    EXPECT_EQ(s->GetRefCount(), 2);
    EXPECT_EQ(table.Add(s.Get()), h);
    EXPECT_EQ(s->GetRefCount(), 2); // one reference for the handle, however often it was asked for
    table.Release(h);
    EXPECT_EQ(table.Find(h), s.Get());
    table.Release(h);
    EXPECT_FALSE(table.Known(h));
    EXPECT_EQ(s->GetRefCount(), 1);
    EXPECT_THROW(table.Find(h), Exception);
    table.Release(h); // ignored
    EXPECT_EQ(table.Add(nullptr), 0);
    EXPECT_EQ(table.Find(0), nullptr);
    const int32_t h2 = table.Add(s.Get());
    EXPECT_NE(h2, h); // handles are not reused at once
    table.Clear();
    EXPECT_EQ(table.Count(), 0u);
    EXPECT_EQ(s->GetRefCount(), 1);
}

} // namespace
} // namespace vo::test
