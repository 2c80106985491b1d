// Execution frames: procedures with parameters, locals and results, the
// counted loops, forall, repeat and the handler frames of try blocks.
#include "ScriptTestUtil.h"
#include "storagelib/SL20Tok.h"

namespace vo::test {
namespace {

using FrameTest = ScriptTest;

struct TScriptCase {
    const char* Script;
    const char* Stack; // the operand stack afterwards, bottom first
};

class FrameCases : public FrameTest {
protected:
    void Check(const std::vector<TScriptCase>& Cases) {
        for (const TScriptCase& c : Cases) {
            SCOPED_TRACE(c.Script);
            EXPECT_EQ(Run(c.Script), c.Stack);
        }
    }
};

TEST_F(FrameCases, ProceduresTakeParametersKeepLocalsAndDeliverNamedResults) {
    Check({
        // the last parameter receives the topmost value
        {"/p [P [A /a /b] /r a b sub def [A /r] ] def 1 2 p", "-1"},
        // values the body leaves are discarded; results come in the result order
        {"/p [P [A /x] 99 98 /q x 1 add def /r x 2 add def [A /r /q] ] def 5 p", "7 6"},
        // locals vanish with the procedure; outer names stay reachable
        {"/g 10 def /p [P [A] /loc g 1 add def [A /loc] ] def p currentdict /loc known", "11 #0"},
        // a procedure may call itself
        {"/f [P [A /n] n 2 lt [B /r n def] [B /r n 1 sub f n 2 sub f add def] ifelse [A /r] ] def 10 f", "55"},
        // parameters are the objects themselves
        {"/p [P [A /d] d /k 1 put [A] ] def /D 1 dict def D p D /k get", "1"},
        // exitproc inside a loop inside the procedure ends both and delivers the results
        {"/p [P [A] /r 0 def [B /r r 1 add def r 3 eq [B exitproc] if] loop /r 99 def [A /r] ] def p", "3"},
        // exec of a procedure runs it as a procedure
        {"7 [P [A /x] /y x x add def [A /y] ] exec", "14"},
    });
}

// Each call has a local dictionary of its own: a new call never sees what an
// earlier one defined, and a dictionary a script kept stays as it was.
TEST_F(FrameCases, EveryCallStartsWithAnEmptyLocalDictionaryOfItsOwn) {
    Check({
        {"/p [P [A] /x 1 def [A] ] def /q [P [A] /r currentdict /x known def [A /r] ] def p q p q", "#0 #0"},
#define VO_KEEP_LOCALS "/K 2 dict def /f [P [A /n /key] K key currentdict put [A] ] def "
        {VO_KEEP_LOCALS "1 /a f 2 /b f K /b get /n get K /a get /n get", "2 1"},
        {VO_KEEP_LOCALS "1 /a f K /a get /k 5 put 2 /b f K /b get /k known K /a get /k get", "#0 5"},
#undef VO_KEEP_LOCALS
        // calls inside calls
        {"/g [P [A /n] /r n 1 add def [A /r] ] def /f [P [A /n] /r n g n 2 mul g add def [A /r] ] def 5 f", "17"},
    });
}

TEST_F(FrameTest, ProcedureFailuresAreFetchFailuresThatEndTheRun) {
    // a missing result name
    EXPECT_EQ(RunError("[B [P [A] [A /nothing] ] exec] [B 'caught'] tryexcept"),
              "TSLDictionary error: no object named nothing");
    // too few operands for the parameters
    EXPECT_NE(RunError("/p [P [A /a /b] [A] ] def 1 p").find("no object to fetch"), std::string::npos);
    // a parameter named twice
    EXPECT_EQ(RunError("1 2 [P [A /a /a] [A] ] exec"), "TSLDictionary.AddObject: object with name 'a' already exists");
    // malformed procedures are refused when they are run
    EXPECT_EQ(RunError("[P 1 [A] ] exec"),
              "TSLProcTokenizer.Init: Invalid Procedure(first object is not of type TSLArray)");
    EXPECT_EQ(RunError("[P [A] 1 ] exec"),
              "TSLProcTokenizer.Init: Invalid Procedure(last object is not of type TSLArray)");
}

TEST_F(FrameCases, CountedLoopsPushTheirValueBeforeEachPassAndIncludeTheLimit) {
    Check({
        {"1 1 3 [B] for", "1 2 3"},
        {"3 -1 1 [B] for", "3 2 1"},
        {"1 1 0 [B] for", ""},
        {"1 -1 2 [B] for", ""},
        {"0.0 0.5 1.0 [B] for", "0r 0.5r 1r"},
        {"0 2 6 [B 10 mul] for", "0 20 40 60"},
        // integer mode takes the integer value of real initial values and increments
        {"1.9 1.2 3 [B] for", "1 2 3"},
        // the body is any array, run as a plain block
        {"1 1 2 [A 5] for", "1 5 2 5"},
        // an increment of 0 never ends by itself
        {"/n 0 def 1 0 1 [B pop /n n 1 add def n 1000 eq [B exitloop] if] for n", "1000"},
        // 64-bit values
        {"9223372036854775806 1 9223372036854775807 [B] for", "9223372036854775806 9223372036854775807"},
    });
    EXPECT_EQ(RunError("1 1 3.0 [B] for"), "Invalid class typecast"); // real limit, integer initial
    EXPECT_EQ(Stack(), "1 1 3r [B ]"); // refused before anything was popped
}

// The loop value object of a pass is used again for the next pass only when
// the body let go of it: a value the body kept anywhere stays as it was.
TEST_F(FrameCases, ALoopValueTheBodyKeptIsNeverChangedByTheNextPass) {
    Check({
        {"/a [A] def 1 1 3 [B a exch add] for a", "[A 1 2 3 ]"},
        {"1 1 3 [B /v exch def] for v", "3"},
        {"/d 0 dict def 1 1 3 [B /v exch def d v cvs cvn v put] for d", "[D /1 1 /2 2 /3 3 ]"},
        {"1 1 3 [B dup pop] for", "1 2 3"},
        {"0.5 0.5 1.5 [B /v exch def v] for v", "0.5r 1r 1.5r 1.5r"},
        // consumed values: the sum is right whatever object carried them
        {"0 1 1 100 [B add] for", "5050"},
        {"0.0 0.5 0.5 2.0 [B add] for", "5r"},
    });
}

TEST_F(FrameCases, ForallPassesTheElementsOrTheNamesOfAKeyedCollection) {
    Check({
        {"[A] [B 1] forall", ""},
        {"[A 1 'x' 2.5] [B] forall", "1 'x' 2.5r"},
        {"/d 2 dict def d /a 1 put d /b 2 put d [B] forall", "/a /b"},
        {"/d 2 dict def d /a 1 put d /b 2 put d [B d exch get] forall", "1 2"},
        {"[S 1 2 3] [B] forall", "1 2 3"}, // a stack from its top down
        {"[A 1 2 3 4] [B dup 2 eq [B pop exitloop] if] forall", "1"},
        // elements are delivered as tokens: executable ones run, literal ones
        // are pushed, with or without a body
        {"[A 1 dup 2] [B] forall", "1 1 2"},
        {"[A 1 dup 2] [B 10] forall", "1 10 10 10 2 10"},
        {"[A 5 [B 6] 7] [B 0] forall", "5 0 [B 6 ] 0 7 0"},
        {"[B 3 4] [B 1 add] forall", "4 5"},
        {"/s 0 def [A 1 2 3] [B /s exch s add def] forall s", "6"},
        // a body that changes the collection it walks
        {"/a [A 1 2 3] def a [B a 0 del] forall a", "1 3 [A 3 ]"},
        {"/d 3 dict def d /a 1 put d /b 2 put d [B d exch get] forall", "1 2"},
    });
}

TEST_F(FrameCases, RepeatAndLoopRunTheirCounts) {
    Check({
        {"3 [B 'x'] repeat", "'x' 'x' 'x'"},
        {"0 [B 'x'] repeat", ""},
        {"-5 [B 'x'] repeat", ""},
        {"/n 0 def -1 [B /n n 1 add def n 4 eq [B exitloop] if] repeat n", "4"},
        {"/n 0 def [B /n n 1 add def n 3 eq [B exitloop] if] loop n", "3"},
        {"[B] loop 'after'", "'after'"}, // an empty body ends at once
    });
}

// The count is the whole 64-bit integer: counts beyond 32 bits neither wrap to
// a few passes, to none, nor to a loop without end.
TEST_F(FrameCases, RepeatCountsBeyond32Bits) {
#define VO_COUNT_TO_5 " [B /n n 1 add def n 5 eq [B exitloop] if] repeat n"
    Check({
        {"/n 0 def 4294967298" VO_COUNT_TO_5, "5"},
        {"/n 0 def 2147483648" VO_COUNT_TO_5, "5"},
        {"/n 0 def 4294967295" VO_COUNT_TO_5, "5"},
        {"/n 0 def 9223372036854775807" VO_COUNT_TO_5, "5"},
        {"-4294967295 [B 'x'] repeat", ""}, // negative: no pass, not one
        {"-9223372036854775808 [B 'x'] repeat", ""},
    });
#undef VO_COUNT_TO_5
}

TEST_F(FrameCases, FinallyBlocksRunOnceAndPassTheExceptionOnWithTheSameObject) {
    Check({
        {"[B 1] [B 'fin'] tryfinally", "1 'fin'"},
        // (what a finally block leaves is cleaned away by the outer handler's try)
        {"/f 0 def [B [B 1 'abc' raisese 2] [B /f f 1 add def] tryfinally] [B /Msg get] tryexcept f", "'abc' 1"},
        // the same object reaches the outer handler
        {"/e /Msg 'x' 1 cdict def [B [B e raise] [B] tryfinally] [B e eq] tryexcept", "#1"},
        // nested finally blocks run from the inside out
        {"/s '' def [B [B [B 'boom' raisese] [B /s s 'in ' add def] tryfinally] [B /s s 'out' add def] tryfinally] "
         "[B /Msg get] tryexcept s",
         "'boom' 'in out'"},
        // an except block that ends normally finishes the exception
        {"[B 'a' raisese] [B pop 'handled'] tryexcept 'next'", "'handled' 'next'"},
    });
}

TEST_F(FrameTest, TokenizersDeliverNothingBeforeTheyAreInitialized) {
    NewContext();
    TRef<TSLBlockTokenizer> block = MakeRef<TSLBlockTokenizer>();
    EXPECT_EQ(block->GetNextToken(*Ctx), nullptr);
    TRef<TSLProcTokenizer> proc = MakeRef<TSLProcTokenizer>();
    EXPECT_THROW_MSG(proc->GetNextToken(*Ctx), Exception, "TSLProcTokenizer.GetNextToken: ProcTokenizer not initialized");
    TRef<TSLExceptTokenizer> except = MakeRef<TSLExceptTokenizer>();
    except->InitWithBlock(VAs<TSLArray>("[A 1]").Get());
    EXPECT_EQ(except->GetNextToken(*Ctx), nullptr); // not armed
    except->Arm();
    EXPECT_EQ(W(except->GetNextToken(*Ctx)), "1");
    TRef<TSLObjectTokenizer> obj = MakeRef<TSLObjectTokenizer>(MakeRef<TSLLongint>(4).Get());
    EXPECT_EQ(W(obj->GetNextToken(*Ctx)), "4");
    EXPECT_EQ(obj->GetNextToken(*Ctx), nullptr);
}

} // namespace
} // namespace vo::test
