// Built-in control flow, exception and wait procedures.
#include "ScriptTestUtil.h"
#include "storagelib/SL20PrcCtl.h"

namespace vo::test {
namespace {

class ControlTest : public ScriptTest {
protected:
    struct TCase {
        const char* Script;
        const char* Result; // the stack, or the message that ends the run
    };
    void Check(std::initializer_list<TCase> Cases) {
        for (const TCase& c : Cases) {
            SCOPED_TRACE(c.Script);
            EXPECT_EQ(Run(c.Script), c.Result);
        }
    }
    void CheckErrors(std::initializer_list<TCase> Cases) {
        for (const TCase& c : Cases) {
            SCOPED_TRACE(c.Script);
            EXPECT_EQ(RunError(c.Script), c.Result);
        }
    }
};

TEST_F(ControlTest, ConditionalsAndCase) {
    Check({
        {"true [B 1] if false [B 2] if", "1"},
        {"true [B 1] [B 2] ifelse false [B 1] [B 2] ifelse", "1 2"},
        // a procedure handed to "if" runs as a plain block
        {"true [P [A] 5 [A] ] if", "[A ] 5 [A ]"},
        {"2 [B 1 [B 'A'] 2 [B 'B']] [B 'default'] case", "'B'"},
        {"3 [B 1 [B 'A'] 2 [B 'B']] [B 'default'] case", "'default'"},
        {"/two 2 def 2 [B 1 [B 'A'] two [B 'B']] [B 'd'] case", "'B'"},
        {"'b' [B 'a' [B 1] 'b' [B 2]] [B 0] case", "2"},
        {"'B' [B 'b' [B 2]] [B 0] case", "0"}, // strings compare with case
        {"5 [B 5] [B 'd'] case", "'d'"}, // an odd last element is ignored
        {"/x 5 def /x exec /p [B 1 2 add] def /p exec [B 7] exec", "5 3 7"},
    });
    CheckErrors({
        {"1 [B 1] if", "Invalid class typecast"},
        {"2 [B 'x' [B 1]] [B 0] case", "Invalid class typecast"},
        {"2 [B 2 5] [B 0] case", "Invalid class typecast"},
        {"true [B] [B] case", "Procedure 'TSLCaseProcedure' doesn't work on object with class TSLBoolean"},
        {"5 exec", "Procedure 'TSLExecProcedure' doesn't work on object with class TSLLongint"},
        {"/nothing exec", "object with name 'nothing' not found"},
    });
    RunError("1 [B 1] if");
    EXPECT_EQ(Stack(), "1 [B 1 ]");
}

TEST_F(ControlTest, ExitsLeaveTheirBlockLoopOrProcedure) {
    Check({
        {"1 true [B 2 exitblock 3] if 4", "1 2 4"},
        {"0 [B 1 add dup 5 eq [B exitloop] if] loop", "5"},
        // exitblock in a loop's body leaves the loop
        {"0 [B 1 add exitblock] loop", "1"},
        {"/p [P [A] /r 1 def 1 1 10 [B /r exch def r 4 eq [B exitproc] if] for /r 0 def [A /r] ] def p", "4"},
        // an exit leaving a procedure takes its local dictionary along
        {"/p [P [A] /loc 5 def exitloop [A] ] def [B p] loop /loc gknown", "#0"},
    });
    CheckErrors({
        {"[B exitloop] [B 'caught'] tryexcept", "exitloop called without enclosing loop"},
        {"true [B exitproc] if", "exitproc called without enclosing procedure"},
    });
    EXPECT_EQ(Ctx->ExecutionStack().GetCount(), 0); // every frame, the try's included, is gone
}

TEST_F(ControlTest, ExitsRunTheFinallyBlocksOfTheTryBlocksTheyLeave) {
    Check({
        {"/f 0 def 1 1 3 [B [B exitloop] [B /f f 1 add def] tryfinally] for f", "1 1"},
        {"/p [P [A] /r 1 def [B exitproc] [B /r 2 def] tryfinally /r 3 def [A /r] ] def p", "2"},
        {"[B 1 exitblock 2] [B 'fin'] tryfinally", "1 'fin'"},
        // nested finally blocks run from the inside out, each once
        {"/s '' def [B [B [B exitloop] [B /s s 'a' add def] tryfinally] [B /s s 'b' add def] tryfinally] loop s",
         "'ab'"},
        // an exit from inside a finally block does not run that block again
        {"/n 0 def [B [B 1 pop] [B /n n 1 add def exitloop] tryfinally] loop n", "1"},
        // a handler block left by an exit is simply left
        {"/n 0 def [B [B 'e' raisese] [B pop /n n 1 add def exitloop] tryexcept] loop n", "1"},
        // the finally block runs before the procedure's results are taken
        {"/p [P [A] /r 0 def [B [B exitproc] [B /r r 1 add def] tryfinally] loop [A /r] ] def p", "1"},
    });
}

TEST_F(ControlTest, RaiseFindsTheNearestTryAndRestoresItsStackDepths) {
    Check({
        {"1 2 [B 3 4 /Msg 'abc' 1 cdict raise] [B] tryexcept", "1 2 [D /Msg 'abc' ]"},
        {"[B /Msg 'm' /Code 7 2 cdict raise] [B /Code get] tryexcept", "7"},
        {"[B [B 'in' raisese] [B raise] tryexcept] [B /Msg get] tryexcept", "'in'"},
        {"/p [P [A] /loc 1 def 'e' raisese [A] ] def [B p] [B pop] tryexcept /loc gknown", "#0"},
        {"[B 'a' raise] [B] tryexcept", "'a'"},
        {"[B 'x' raisese 'not reached'] [B /Msg get] tryexcept 'next'", "'x' 'next'"},
    });
    Run("[B 1 dict begin 2 dict begin 'x' raisese] [B pop] tryexcept");
    EXPECT_EQ(Ctx->DictStack().GetCount(), 3);
    CheckErrors({
        {"'abc' raise", "abc"},
        {"5 raise", "exception object is not a dictionary"},
        {"/x 1 1 cdict raise", "exception object is not a dictionary"},
        {"/Msg 5 1 cdict raise", "Invalid class typecast"},
        {"5 raisese", "Invalid class typecast"},
        {"[B 'first' raisese] [B pop 'second' raisese] tryexcept", "second"},
    });
    // The failure token is the raising name.
    RunError("1 'boom' raisese");
    EXPECT_EQ(W(Ctx->GetExceptToken()), "raisese");
}

TEST_F(ControlTest, WaitSuspendsTheRunAndTestReExecutesItselfThroughThreeWaits) {
    Start("5 100 wait 6");
    EXPECT_FALSE(Interp->Run(Ctx.Get()));
    EXPECT_EQ(Ctx->GetState(), isWaiting);
    EXPECT_EQ(Ctx->FTimeout, 100);
    Ctx->Resume(nullptr);
    EXPECT_TRUE(Interp->Run(Ctx.Get()));
    EXPECT_EQ(Stack(), "5 6");

    Start("test 'end'");
    std::vector<int32_t> timeouts;
    while (!Interp->Run(Ctx.Get())) {
        ASSERT_EQ(Ctx->GetState(), isWaiting);
        timeouts.push_back(Ctx->FTimeout);
        Ctx->Resume(nullptr);
    }
    EXPECT_EQ(timeouts, (std::vector<int32_t>{100, 200, 300}));
    EXPECT_EQ(Stack(), "100 200 300 'end'");

    EXPECT_EQ(RunError("1.5 wait"), "Invalid class typecast");
}

TEST_F(ControlTest, AbortWithoutAScriptTaskEndsTheRun) {
    EXPECT_EQ(RunError("1 [B abort] [B 'caught'] tryexcept 2"), "script task aborted");
    EXPECT_EQ(Stack(), "1");
}

} // namespace
} // namespace vo::test
