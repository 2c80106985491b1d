// Number, comparison and logic built-ins: mixed integer and real arithmetic,
// wrapping, rounding, shifts, logarithms, logic and ordering, and the
// floating-point failures that become script exceptions.
#include "ScriptTestUtil.h"
#include "storagelib/SL20PrcNum.h"

namespace vo::test {
namespace {

using NumberProcTest = ScriptTest;

TEST_F(NumberProcTest, ArithmeticMixesIntegersAndRealsAndWrapsAt64Bits) {
    const TStackCase cases[] = {
        {"7 2 add", "9"},
        {"7 2.0 add", "9r"},
        {"7.5 2 add", "9.5r"},
        {"'ab' 'cd' add", "'abcd'"},
        {"/a [A 1] def a /x add a", "[A 1 /x ]"}, // appended, nothing pushed
        {"7 2 sub 2 7 sub 7.0 2 sub", "5 -5 5r"},
        {"6 7 mul 1.5 2 mul", "42 3r"},
        {"7 2 div 6 3 div 7.0 2.0 div", "3.5r 2r 3.5r"}, // div is always real
        {"7 2 idiv -7 2 idiv 7 -2 idiv", "3 -3 -3"},
        {"-7 2 mod 7 -2 mod 7 2 mod", "-1 1 1"},
        {"9223372036854775807 1 add", "-9223372036854775808"},
        {"-9223372036854775808 1 sub", "9223372036854775807"},
        {"4294967296 4294967296 mul", "0"},
        {"-9223372036854775808 -1 idiv -9223372036854775808 -1 mod", "-9223372036854775808 0"},
        // The integer is converted whole in mixed arithmetic.
        {"9007199254740993 0.0 add", "9.00719925474099E15r"},
        {"5 neg -2.5 neg -9223372036854775808 neg", "-5 2.5r -9223372036854775808"},
        {"-5 abs -2.5 abs -9223372036854775808 abs", "5 2.5r -9223372036854775808"},
        {"16 sqrt 2.25 sqrt", "4r 1.5r"},
    };
    ExpectStacks(cases);
}

TEST_F(NumberProcTest, RoundingGivesFull64BitIntegers) {
    const TStackCase cases[] = {
        {"2.5 round 3.5 round -2.5 round 2.6 round -0.5 round", "2 4 -2 3 0"},
        {"-2.7 trunc 2.7 trunc", "-2 2"},
        {"-2.5 floor 2.5 floor -2.0 floor", "-3 2 -2"},
        {"2.1 ceil -2.1 ceil 2.0 ceil", "3 -2 2"},
        {"5 round 5 trunc 5 ceil 5 floor", "5 5 5 5"},
        // Beyond 32 bits (a 32-bit result would have wrapped to 1, -1, ...).
        {"4294967296.5 ceil", "4294967297"},
        {"-4294967296.5 floor", "-4294967297"},
        {"8589934593 ceil 8589934593 floor", "8589934593 8589934593"},
        {"9007199254740992.0 round", "9007199254740992"},
        {"1e18 trunc", "1000000000000000000"},
    };
    ExpectStacks(cases);
}

TEST_F(NumberProcTest, ShiftsPowersAndLogarithms) {
    const TStackCase cases[] = {
        {"1 64 shl 1 63 shl 3 2 shl", "1 -9223372036854775808 12"}, // the count is taken mod 64
        {"-1 1 shr -1 -1 shr 256 4 shr", "9223372036854775807 1 16"},
        {"2 10 power 2 0 power 2 -3 power", "1024 1 1"},
        {"3 40 power", "-6289078614652622815"}, // wraps like repeated multiplication
        {"4294967297 2 power", "8589934593"}, // the whole base, not its low 32 bits
        {"-2 3 power", "-8"},
        {"2 8 logx 2 1024 logx", "3r 10r"},
        {"2 8589934592 logx", "33r"}, // the whole value
        {"2.0 3.0 exp 4.0 0.5 exp 2.0 -1.0 exp 0.0 0.0 exp", "8r 2r 0.5r 1r"},
        {"1.0 ln 8.0 log2 1000.0 log10", "0r 3r 3r"},
        {"0.0 sin 0.0 cos", "0r 1r"},
        {"1.0 0.0 atan 0.0 -1.0 atan -1.0 0.0 atan", "1.5707963267949r 3.14159265358979r -1.5707963267949r"},
    };
    ExpectStacks(cases);
}

TEST_F(NumberProcTest, LogicIsBitwiseOnIntegersAndLogicalOnBooleans) {
    const TStackCase cases[] = {
        {"12 10 and 12 10 or 12 10 xor", "8 14 6"},
        {"0 not -1 not 5 not", "-1 0 -6"},
        {"-1 9223372036854775807 and", "9223372036854775807"},
        {"true false and true false or true true xor false false xor", "#0 #1 #0 #0"},
        {"true not false not", "#0 #1"},
    };
    ExpectStacks(cases);
}

TEST_F(NumberProcTest, OrderingComparesNumbersAsDoublesAndStringsIgnoringAsciiCase) {
    const TStackCase cases[] = {
        {"1 2 lt 2 1 lt 1 2.0 lt 2.0 1 lt", "#1 #0 #1 #0"},
        {"2 2 le 2 2 lt 3 2 gt 2 2 gt 2 2 ge 1 2 ge", "#1 #0 #1 #0 #1 #0"},
        {"'abc' 'ABD' lt 'ABD' 'abc' gt 'abc' 'ABC' le 'abc' 'ABC' ge", "#1 #1 #1 #1"},
        {"'ab' 'abc' lt 'abc' 'ab' gt '' 'a' lt", "#1 #1 #1"}, // a prefix is the smaller
        {"'a' 'B' lt 'A' 'b' lt '[' 'a' gt", "#1 #1 #1"}, // a is folded to A, below '['
        // Only a to z are folded: an accented capital stays above its small letter.
        {"'\xC9' '\xE9' lt", "#1"},
        // Integers beyond 2^53 compare with double precision.
        {"9007199254740993 9007199254740992 gt", "#0"},
        // eq asks the top operand, so mixed numbers are not symmetric.
        {"5.7 5 eq 5 5.7 eq 5 5.0 eq 5.0 5 eq", "#1 #0 #1 #1"},
        {"'a' 'a' eq 'a' 'A' eq 'a' 'a' ne 1 2 ne", "#1 #0 #0 #1"},
        {"[A 1 2] [A 1 2] eq [D /a 1] [D /a 2] eq", "#1 #0"},
    };
    ExpectStacks(cases);
}

TEST_F(NumberProcTest, FailuresBecomeScriptExceptionsWithTheirMessages) {
    const TErrorCase failures[] = {
        {"7 0 idiv", "Division by zero"},
        {"7 0 mod", "Division by zero"},
        {"1 0 div", "Floating point division by zero"},
        {"1.5 0 div", "Floating point division by zero"},
        {"-1.0 0.0 div", "Floating point division by zero"},
        {"0 0 div", "Invalid floating point operation"},
        {"-1 sqrt", "Invalid floating point operation"},
        {"-4.0 sqrt", "Invalid floating point operation"},
        {"-1.0 ln", "Invalid floating point operation"},
        {"0.0 ln", "Floating point division by zero"},
        {"0.0 log2", "Floating point division by zero"},
        {"-1.0 log10", "Invalid floating point operation"},
        {"-2 8 logx", "Invalid floating point operation"},
        {"2 0 logx", "Floating point division by zero"},
        {"1 8 logx", "Floating point division by zero"},
        {"1 1 logx", "Invalid floating point operation"},
        {"1e308 10.0 mul", "Floating point overflow"},
        {"1e308 1e308 add", "Floating point overflow"},
        {"-1e308 1e308 sub", "Floating point overflow"},
        {"10.0 400.0 exp", "Floating point overflow"},
        {"0.0 -1.0 exp", "Floating point division by zero"},
        {"-8.0 0.5 exp", "Invalid floating point operation"},
        {"1e300 round", "Invalid floating point operation"},
        {"-1e19 trunc", "Invalid floating point operation"},
        {"9.3e18 ceil", "Invalid floating point operation"},
        {"-9.3e18 floor", "Invalid floating point operation"},
        // Operands of exactly the named class.
        {"2 3 exp", "Invalid class typecast"},
        {"2 ln", "Invalid class typecast"},
        {"1.0 0.0 atan 1 sin", "Invalid class typecast"},
        {"1.5 2 idiv", "Invalid class typecast"},
        {"2 1.5 power", "Invalid class typecast"},
        {"2.0 8 logx", "Invalid class typecast"},
        {"1 2.0 shl", "Invalid class typecast"},
        {"1 true and", "Invalid class typecast"},
        {"true 1 or", "Invalid class typecast"},
        {"1 'x' add", "Invalid class typecast"},
        {"'ab' 1 add", "Invalid class typecast"},
        {"'1' 2 lt", "Invalid class typecast"},
        {"1 '2' lt", "Invalid class typecast"},
        // Dispatch by the class of the operand at the procedure's depth.
        {"true 2 add", "Procedure 'TSLAddProcedure' doesn't work on object with class TSLBoolean"},
        {"'a' 1 sub", "Procedure 'TSLSubProcedure' doesn't work on object with class TSLString"},
        {"'a' 2 div", "Procedure 'TSLDivProcedure' doesn't work on object with class TSLString"},
        {"'a' not", "Procedure 'TSLNotProcedure' doesn't work on object with class TSLString"},
        {"1.5 2 and", "Procedure 'TSLAndProcedure' doesn't work on object with class TSLDouble"},
        {"'a' round", "Procedure 'TSLRoundProcedure' doesn't work on object with class TSLString"},
        {"true neg", "Procedure 'TSLNegProcedure' doesn't work on object with class TSLBoolean"},
    };
    ExpectErrors(failures);
}

TEST_F(NumberProcTest, AFailureLeavesTheOperandsWhereTheyWereAndATryBlockCatchesIt) {
    // The class check comes before anything is popped.
    RunError("1 true and");
    EXPECT_EQ(Stack(), "1 #1");
    RunError("7 0 idiv");
    EXPECT_EQ(Stack(), "7 0");
    EXPECT_EQ(Run("[B 1 0 div] [B /Msg get] tryexcept"), "'Floating point division by zero'");
}

// A result may be written into an operand that nothing but the operand stack
// holds (the result of an earlier step); a value held anywhere else - a
// dictionary, a block, a second stack slot, an array - must never change.
TEST_F(NumberProcTest, AResultNeverChangesAValueHeldElsewhere) {
    const TStackCase cases[] = {
        {"/x 5 def x 1 add x", "6 5"},
        {"5 dup 1 add", "5 6"},
        {"/x 1.5 def x 1 add x", "2.5r 1.5r"},
        {"1 2 add dup 10 add", "3 13"},
        {"/a [A] def 1 2 add dup a exch add 10 add a", "13 [A 3 ]"},
        {"1 2 add /y exch def y y 1 add y", "3 4 3"},
        // Written results keep the class the operation gives.
        {"1 2 add 0.5 add 1.5 2.5 add 1 add", "3.5r 5r"},
        {"1 2 add 2 div", "1.5r"},
        // Wrapping on a written result as on a new one.
        {"9223372036854775806 0 add 1 add 1 add", "-9223372036854775808"},
        {"-9223372036854775807 0 add 1 sub 1 sub", "9223372036854775807"},
        // Values given up (popped, or a call's locals) are reused for later
        // results only when nothing else held them.
        {"/b 1 2 lt def b [B] [B] ifelse 3 2 lt b", "#0 #1"},
        {"/b 1 2 lt def b [B] if 3 2 lt b b not b", "#0 #1 #0 #1"},
        {"1 2 lt dup 3 2 lt exch", "#1 #0 #1"},
        {"1 2 lt [B] [B] ifelse 1 2 lt 2 1 lt 1 2 eq 1 1 eq", "#1 #0 #0 #1"},
        {"1 2 add 3 4 add add 5 6 add 7 8 add sub", "10 -4"},
        {"1 1 3 [B 1 add] for 1 1 3 [B dup mul] for", "2 3 4 1 4 9"},
        {"/P [P [A /n] /r n 1 add def [A /r]] def 5 P 5 P /k 7 def k P k", "6 6 8 7"},
        {"/P [P [A /n] /r n def [A /r]] def 5 P 2 add 5 P 3 add", "7 8"},
        {"/x 1 def /y x def /y 2 def x y /y 1 2 add def y 5 add x", "1 2 8 1"},
        {"/x 1.5 def x 1.0 add pop 2.5 3.5 add x", "6r 1.5r"},
    };
    ExpectStacks(cases);
    // A failure leaves a writable operand as it was.
    RunError("1.0E308 0.0 add 10.0 mul");
    EXPECT_EQ(Stack(), "1E308r 10r");
}

TEST(IntPowerTest, SquaringAgreesWithRepeatedMultiplication) {
    for (int64_t base : {int64_t{0}, int64_t{1}, int64_t{-1}, int64_t{3}, int64_t{-7}, int64_t{4294967297},
                         INT64_MIN, INT64_MAX}) {
        uint64_t product = 1;
        for (int64_t e = 0; e <= 70; ++e) {
            EXPECT_EQ(SLIntPower(base, e), static_cast<int64_t>(product)) << base << "^" << e;
            product *= static_cast<uint64_t>(base);
        }
    }
    EXPECT_EQ(SLIntPower(5, -1), 1);
    EXPECT_EQ(SLIntPower(2, INT64_MIN), 1);
    EXPECT_EQ(SLIntPower(-1, INT64_MAX), -1);
}

} // namespace
} // namespace vo::test
