// Composite and string built-ins: building arrays, dictionaries and records,
// reading and changing them (the objects themselves, not copies), and the
// string procedures with their edge positions.
#include "ScriptTestUtil.h"
#include "storagelib/SL20PrcCol.h"

namespace vo::test {
namespace {

using CompositeProcTest = ScriptTest;

TEST_F(CompositeProcTest, BuildingComposites) {
    const TStackCase cases[] = {
        {"1 2 3 3 carr", "[A 1 2 3 ]"},
        {"0 carr -5 carr", "[A ] [A ]"},
        {"9 1 2 2 carr", "9 [A 1 2 ]"}, // only n entries are taken
        {"/a 1 /b 2 2 cdict", "[D /a 1 /b 2 ]"},
        {"/b 1 /a 2 2 cdict", "[D /b 1 /a 2 ]"}, // the order of pushing
        {"7 8 4294967298 carr", "[A 7 8 ]"}, // n by its low 32 bits
        {"/y 5 /x 3 2 [D:Point /x 0 /y 0 /z 7] crec dup getrectype exch /z get", "/Point 7"},
        {"/x 3 1 [D:Point /x 0 /y 0] crec dup /x get exch /y get", "3 0"},
        {"[A:list 1] getident [D] getident", "/list /"},
    };
    ExpectStacks(cases);
    EXPECT_EQ(RunError("/a 1 /a 2 2 cdict"), "TSLDictionary.AddObject: object with name 'a' already exists");
    EXPECT_EQ(RunError("1 2 /a 3 2 cdict"), "Invalid class typecast");
    EXPECT_EQ(RunError("/w 1 1 [D:Point /x 0] crec"), "TSLRecord.SetObjWithName: object with name 'w' not found");
    EXPECT_EQ(RunError("5 getident"), "Invalid class typecast");
}

TEST_F(CompositeProcTest, ReadingAndChangingCompositesWorksOnTheObjectsThemselves) {
    const TStackCase cases[] = {
        {"[A 10 20 30] 1 get [D /k 'v'] /K get", "20 'v'"}, // names without regard to case
        // get gives the element itself: changing it changes the container.
        {"/a [A [A 1]] def a 0 get 2 add a", "[A [A 1 2 ] ]"},
        {"/a [A 1 2] def a 0 9 put a", "[A 9 2 ]"},
        {"/a [A 1 2] def a 2 3 put a", "[A 1 2 3 ]"}, // the count appends
        {"/d [D /a 1] def d /b 2 put d", "[D /a 1 /b 2 ]"},
        {"/d [D /a 1 /b 2] def d /a 3 puts d", "[D /b 2 /a 3 ]"}, // replaced and moved to the end
        {"/d [D /a 1 /b 2] def d /B 3 puts d", "[D /a 1 /B 3 ]"}, // the last entry, under the new spelling
        {"/d [D] def d /n 1 puts d", "[D /n 1 ]"},
        {"/a [A 1 2 3] def a 1 del a", "[A 1 3 ]"},
        {"/d [D /a 1 /b 2] def d /a del d 'b' del d", "[D ]"},
        {"/a [A 1 3] def a 1 2 ins a 3 4 ins a", "[A 1 2 3 4 ]"},
        {"[A 1 2] count [D /a 1] count [S 1 2 3] count [B 1] count", "2 1 3 1"},
        {"[A 1 2 3 4] 1 2 getsubarr [A 1 2] 0 0 getsubarr [A 1] 0 -1 getsubarr", "[A 2 3 ] [A ] [A ]"},
        {"/a [A 1 2 3] def a 1 [A 8 9] putsubarr a", "[A 1 8 9 ] [A 1 8 9 ]"},
        {"[A 1 2] 2 [A 3 4] putsubarr", "[A 1 2 3 4 ]"}, // a start at the count appends
        {"/a [A 1 2] def a 2 a putsubarr pop a", "[A 1 2 1 2 ]"}, // the source as it was
        {"/a [A [A 0]] def a 0 1 getsubarr 0 get 5 add a", "[A [A 0 5 ] ]"}, // the elements themselves
    };
    ExpectStacks(cases);
    const TErrorCase failures[] = {
        {"[D /a 1] /a 2 put", "TSLDictionary.SetObjWithName: object with name 'a' already exists"},
        {"[D /a 1] /b get", "TSLDictionary error: no object named b"},
        {"[D /a 1] /b del", "TSLDictionary.RemoveObject: no object found with name 'b'"},
        {"[D /a 1] 1 del", "Invalid class typecast"},
        {"[A 1] 1 get", "TSLArray.ObjectAtIndex: no object to fetch at index 1"},
        {"[A 1] 3 del", "TSLArray.DelObjAtIndex: index (3) out of bounds (1)"},
        {"[A 1] 3 0 ins", "TSLArray.InsObjAtIndex: index (3) out of bounds (1)"},
        {"[A 1 2] 1 2 getsubarr", "TSLArray.ObjectAtIndex: no object to fetch at index 2"},
        {"[A 1 2] 3 [A 5] putsubarr", "TSLArray.SetObjAtIndex: index (3) out of bounds (2)"},
        {"[A 1] /a 1 put", "Invalid class typecast"},
        {"[R [D:P /x 0] [A 0]] count", "Procedure 'TSLCountProcedure' doesn't work on object with class TSLRecord"},
        {"1 0 get", "Procedure 'TSLGetProcedure' doesn't work on object with class TSLLongint"},
        {"'ab' 0 del", "Procedure 'TSLDelProcedure' doesn't work on object with class TSLString"},
        {"[D] /a 1 ins", "Invalid class typecast"},
    };
    ExpectErrors(failures);
}

TEST_F(CompositeProcTest, RecordsTakeFieldsByNameThroughGetPutAndDel) {
    EXPECT_EQ(Run("/r /x 1 1 [D:P /x 0 /y 0] crec def r /y 5 put r /x get r /y get"), "1 5");
    EXPECT_EQ(RunError("/x 1 1 [D:P /x 0] crec /q 5 put"), "TSLRecord.SetObjWithName: object with name 'q' not found");
}

TEST_F(CompositeProcTest, SubstringsFollowTheirPositionRules) {
    const TStackCase cases[] = {
        {"'abcdef' 2 3 getsubstr", "'cde'"},
        {"'abcdef' 10 3 getsubstr", "''"},
        {"'abcdef' 6 1 getsubstr", "''"},
        {"'abcdef' -1 2 getsubstr", "'ab'"}, // the start moves to 0, the count stays
        {"'abcdef' 2 -1 getsubstr", "''"},
        {"'abcdef' 2 100 getsubstr", "'cdef'"},
        {"'abcdef' 0 0 getsubstr", "''"},
        {"'abc' 0 2147483647 getsubstr", "'abc'"},
        {"'abc' 4294967297 1 getsubstr", "'b'"}, // low 32 bits of the start
        {"'' 0 1 getsubstr", "''"},
    };
    ExpectStacks(cases);
}

TEST_F(CompositeProcTest, PutsubstrChangesTheStringObjectEverywhereAndRefusesToReachOutside) {
    EXPECT_EQ(Run("/s 'abcd' def s 1 'XY' putsubstr s"), "'aXYd' 'aXYd'");
    EXPECT_EQ(Run("/d [D /t 'hello'] def d /t get 0 'J' putsubstr pop d"), "[D /t 'Jello' ]");
    EXPECT_EQ(Run("'abcd' 2 'XY' putsubstr 'abcd' 4 '' putsubstr"), "'abXY' 'abcd'");
    const TErrorCase failures[] = {
        {"'abcd' 3 'XY' putsubstr", "TSLPutSubStrProcedure.Execute: 2 characters at position 3 do not fit into a "
                                    "string of length 4"},
        {"'abcd' -1 'X' putsubstr", "TSLPutSubStrProcedure.Execute: 1 characters at position -1 do not fit into a "
                                    "string of length 4"},
        {"'' 0 'X' putsubstr", "TSLPutSubStrProcedure.Execute: 1 characters at position 0 do not fit into a string "
                               "of length 0"},
        {"'abcd' 0 5 putsubstr", "Invalid class typecast"},
    };
    ExpectErrors(failures);
    // A refused position leaves the string and the operands as they were.
    RunError("/s 'abcd' def s 3 'XY' putsubstr");
    EXPECT_EQ(Stack(), "'abcd' 3 'XY'");
    EXPECT_EQ(W(Global("s")), "'abcd'");
}

TEST_F(CompositeProcTest, SearchUppercaseLengthChrOrd) {
    const TStackCase cases[] = {
        {"'abcdef' 'cd' search", "'ab' 'cd' 'ef' #1"},
        {"'abcdef' 'xy' search", "#0"},
        {"'abab' 'ab' search", "'' 'ab' 'ab' #1"}, // the first occurrence
        {"'abcdef' 'ef' search", "'abcd' 'ef' '' #1"},
        {"'abc' '' search '' 'a' search", "#0 #0"}, // an empty pattern is never found
        {"'abc' 'B' search", "#0"}, // case-sensitive
        {"'aBz{~' uppercase '\xE9' uppercase", "'ABZ{~' '\xE9'"}, // a to z only
        {"'' length 'abc' length", "0 3"},
        {"65 chr 321 chr 0 chr length", "'A' 'A' 1"}, // low 8 bits
        {"'A' ord '\xFF' ord", "65 255"},
    };
    ExpectStacks(cases);
    EXPECT_EQ(RunError("'AB' ord"), "operand must be of type AnsiChar (string with length 1)");
    EXPECT_EQ(RunError("'' ord"), "operand must be of type AnsiChar (string with length 1)");
    EXPECT_EQ(RunError("1 length"), "Invalid class typecast");
    EXPECT_EQ(RunError("'abc' 1 search"), "Invalid class typecast");
    // ord takes the string off before it reports.
    RunError("7 'AB' ord");
    EXPECT_EQ(Stack(), "7");
}

} // namespace
} // namespace vo::test
