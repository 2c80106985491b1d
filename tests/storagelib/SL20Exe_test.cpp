// The interpreter and its contexts: time slices, states, waiting and
// re-execution, failure mapping, name resolution, the context interface and
// the debugger hooks.
#include <chrono>
#include <vector>

#include "ScriptTestUtil.h"
#include "storagelib/SL20Exe.h"

namespace vo::test {
namespace {

using Clock = std::chrono::steady_clock;

// Natives of the tests, added to a context's Global dictionary.
class TCountingWait : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TCountingWait, TSLInternalProcedure)
public:
    void Execute(TSLContext* Context) override {
        ++Calls;
        Context->FContextInterface->SetUserValue(UserValue);
        Context->FContextInterface->Wait(this, 250);
    }
    int Calls = 0;
    int32_t UserValue = 0;
};

// Waits for an outside completion (user value 1), then pushes what came.
class TAwaitResult : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TAwaitResult, TSLInternalProcedure)
public:
    void Execute(TSLContext* Context) override {
        TContextInterface& ci = *Context->FContextInterface;
        ++Calls;
        if (ci.GetUserValue() == 0) {
            ci.SetUserValue(1);
            ci.Wait(this, 5000);
            return;
        }
        ci.SetUserValue(0);
        ci.PushString(Result.empty() ? "no result" : Result);
    }
    int Calls = 0;
    std::string Result;
};

// Works in steps with the help of the script: pushes 'a', has "helper" run,
// then pushes 'c'.
class TStepper : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TStepper, TSLInternalProcedure)
public:
    void Execute(TSLContext* Context) override {
        TContextInterface& ci = *Context->FContextInterface;
        ++Calls;
        if (ci.GetUserValue() == 0) {
            ci.PushString("a");
            if (SetFirst) ci.SetUserValue(1);
            ci.ExecuteName("helper");
            if (!SetFirst) ci.SetUserValue(1); // too late: the helper's frame is on top now
            return;
        }
        ci.PushString("c");
        ci.SetUserValue(0);
    }
    int Calls = 0;
    bool SetFirst = true;
};

class TFailing : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TFailing, TSLInternalProcedure)
public:
    void Execute(TSLContext*) override { throw Exception("native failed"); }
};

// Keeps the frame it runs in (the tokenizer on top of the execution stack).
class TFrameKeeper : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TFrameKeeper, TSLInternalProcedure)
public:
    void Execute(TSLContext* Context) override { Kept.emplace_back(SLContextImpl(Context).TopTokenizer()); }
    std::vector<TRef<TSLTokenizer>> Kept;
};

class InterpreterTest : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        // A call returns only when the script finishes, waits or stops, however
        // slow the machine; the tests of time slices set their own.
        Interp->TimeSlice = 600000;
    }
    template <class T>
    T* AddNative(TSLContextImplementation& C, const char* Name) {
        TRef<T> p = MakeRef<T>();
        auto* global = static_cast<TSLDictionary*>(C.DictStack().GetObjAtIndex(0));
        global->AddObject(Name, p.Get());
        return p.Get();
    }
    TSLContextImplementation& StartWith(std::string_view Text, std::function<void(TSLContextImplementation&)> Setup) {
        TRef<TSLObject> block = SLDecodeString("[B " + std::string(Text) + " ]");
        NewContext();
        Setup(*Ctx);
        Ctx->PushBlock(SLCast<TSLBlock>(block.Get()));
        return *Ctx;
    }
};

TEST_F(InterpreterTest, AScriptOfOneLiteralFinishesInTheFirstCallAndLeavesTheLiteral) {
    Start("42");
    EXPECT_TRUE(Interp->Run(Ctx.Get()));
    EXPECT_EQ(Ctx->GetState(), isFinished);
    EXPECT_EQ(Stack(), "42");
    // A finished context takes the next script.
    Ctx->PushBlock(SLCast<TSLBlock>(SLDecodeString("[B 1 2 add]").Get()));
    EXPECT_TRUE(Interp->Run(Ctx.Get()));
    EXPECT_EQ(Stack(), "42 3");
}

TEST_F(InterpreterTest, AnEndlessLoopReturnsAfterItsTimeSliceAndTheNextCallGoesOn) {
    Interp->TimeSlice = TSLInterpreter::TimeSliceDefault;
    Start("/n 0 def [B /n n 1 add def] loop");
    const auto t0 = Clock::now();
    EXPECT_FALSE(Interp->Run(Ctx.Get()));
    const auto used = Clock::now() - t0;
    EXPECT_EQ(Ctx->GetState(), isWaitZero);
    // Ten steps of the millisecond tick: at least 9 ms of real time.
    EXPECT_GE(used, std::chrono::milliseconds(9));
    const int64_t after1 = SLCast<TSLLongint>(Global("n"))->GetLongintValue();
    EXPECT_GT(after1, 0);
    EXPECT_FALSE(Interp->Run(Ctx.Get()));
    EXPECT_GT(SLCast<TSLLongint>(Global("n"))->GetLongintValue(), after1);
}

TEST_F(InterpreterTest, ARunSplitIntoManySlicesLosesAndRepeatsNoToken) {
    Interp->TimeSlice = 1;
    Start("0 1 1 400000 [B add] for");
    const int calls = RunToEnd();
    EXPECT_GT(calls, 1);
    EXPECT_EQ(Stack(), "80000200000");
}

// Finished frames are reused by later calls, but only those nothing else
// holds: a frame kept by native code keeps its procedure or block.
TEST_F(InterpreterTest, AFinishedFrameSomebodyStillHoldsIsNotReused) {
    TFrameKeeper* keeper = nullptr;
    StartWith("/p [P [A /n] keep [A /n]] def /q [P [A] /r 3 def [A /r]] def 5 p [B keep] exec q true [B 2] if q",
              [&](TSLContextImplementation& C) { keeper = AddNative<TFrameKeeper>(C, "keep"); });
    RunToEnd();
    EXPECT_EQ(Stack(), "5 3 2 3");
    ASSERT_EQ(keeper->Kept.size(), 2u);
    auto* proc = dynamic_cast<TSLProcTokenizer*>(keeper->Kept[0].Get());
    ASSERT_NE(proc, nullptr);
    EXPECT_EQ(proc->TokenArray.Get(), Global("p"));
    EXPECT_TRUE(proc->FFinished);
    auto* block = dynamic_cast<TSLBlockTokenizer*>(keeper->Kept[1].Get());
    ASSERT_NE(block, nullptr);
    ASSERT_NE(block->TokenArray.Get(), nullptr);
    EXPECT_EQ(W(block->TokenArray.Get()), "[B keep ]");
}

TEST_F(InterpreterTest, CallsInTheWrongStateAreRefused) {
    Start("1");
    EXPECT_THROW_MSG(Ctx->PushBlock(SLCast<TSLBlock>(SLDecodeString("[B 2]").Get())), Exception,
                     "PushBlock is only allowed in finished or idle state");
    EXPECT_THROW_MSG(Ctx->Continue(nullptr), Exception, "continue called while not in wait state");
    EXPECT_THROW_MSG(Ctx->Resume(nullptr), Exception, "resume called while not in wait state");
    EXPECT_THROW_MSG(Ctx->ResumeAfterBreakpoint(nullptr), Exception, "resume called while not in wait state");
    Ctx->Wait(nullptr, 10);
    EXPECT_THROW_MSG(Ctx->Wait(nullptr, 10), Exception, "wait called while in wait state");
    EXPECT_THROW_MSG(Interp->Run(Ctx.Get()), Exception, "interpreter called in wait state");
    Ctx->Resume(nullptr);
    EXPECT_TRUE(Interp->Run(Ctx.Get()));
    EXPECT_THROW_MSG(Interp->Run(Ctx.Get()), Exception, "interpreter called in finished state");

    TRef<TSLContext> idle(Manager->CreateContext(false));
    EXPECT_THROW_MSG(Interp->Run(idle.Get()), Exception, "interpreter called in idle state");
    EXPECT_EQ(idle->GetState(), isIdle);
}

TEST_F(InterpreterTest, ANativeThatWaitsWithUserValueZeroIsPassedAfterItsTimeOut) {
    TCountingWait* w = nullptr;
    StartWith("1 cwait 2", [&](TSLContextImplementation& C) { w = AddNative<TCountingWait>(C, "cwait"); });
    EXPECT_FALSE(Interp->Run(Ctx.Get()));
    EXPECT_EQ(Ctx->GetState(), isWaiting);
    EXPECT_EQ(Ctx->FTimeout, 250);
    bool resumed = false;
    Ctx->FOnResume = [&](TSLContext* Sender) { resumed = Sender == Ctx.Get(); };
    Ctx->Resume(nullptr);
    EXPECT_TRUE(resumed);
    EXPECT_EQ(Ctx->GetState(), isContinuing);
    EXPECT_TRUE(Interp->Run(Ctx.Get()));
    EXPECT_EQ(w->Calls, 1);
    EXPECT_EQ(Stack(), "1 2");
    // The time-out of each call starts at "no wait".
    EXPECT_EQ(Ctx->FTimeout, 2147483647);
}

TEST_F(InterpreterTest, ANativeWaitingWithAUserValueRunsAgainWhenContinued) {
    TAwaitResult* await = nullptr;
    StartWith("await 'after'", [&](TSLContextImplementation& C) { await = AddNative<TAwaitResult>(C, "await"); });
    int continued = 0;
    Ctx->FOnContinue = [&](TSLContext*) { ++continued; };
    EXPECT_FALSE(Interp->Run(Ctx.Get()));
    EXPECT_EQ(Ctx->GetState(), isWaiting);
    await->Result = "answer";
    Ctx->Continue(await);
    EXPECT_EQ(continued, 1);
    EXPECT_TRUE(Interp->Run(Ctx.Get()));
    EXPECT_EQ(await->Calls, 2);
    EXPECT_EQ(Stack(), "'answer' 'after'");
}

TEST_F(InterpreterTest, ANativeScheduledAgainByItsUserValueRunsAfterTheNamedObject) {
    TStepper* s = nullptr;
    StartWith("/helper [B 'b'] def step 'd'", [&](TSLContextImplementation& C) { s = AddNative<TStepper>(C, "step"); });
    RunToEnd();
    EXPECT_EQ(Stack(), "'a' 'b' 'c' 'd'");
    EXPECT_EQ(s->Calls, 2);

    // The user value set after ExecuteName lands on the named object's frame,
    // which then delivers nothing: neither the helper nor the native runs.
    StartWith("/helper [B 'b'] def step 'd'", [&](TSLContextImplementation& C) {
        s = AddNative<TStepper>(C, "step");
        s->SetFirst = false;
    });
    RunToEnd();
    EXPECT_EQ(Stack(), "'a' 'd'");
    EXPECT_EQ(s->Calls, 1);
}

TEST_F(InterpreterTest, EveryNativeFailureOfARunIsCatchableNotOnlyTheFirst) {
    // 1 'x' add fails in the native (the operands are left for the cleanup).
    StartWith("0 [B 1 'x' add] [B /Msg get] tryexcept "
              "[B 2 'y' add] [B /Msg get] tryexcept "
              "[B fail] [B /Msg get] tryexcept 3",
              [&](TSLContextImplementation& C) { AddNative<TFailing>(C, "fail"); });
    RunToEnd();
    EXPECT_EQ(Stack(), "0 'Invalid class typecast' 'Invalid class typecast' 'native failed' 3");
}

TEST_F(InterpreterTest, AnUncaughtNativeFailureEndsTheRunAtTheFailingName) {
    StartWith("1 2 fail 3", [&](TSLContextImplementation& C) { AddNative<TFailing>(C, "fail"); });
    EXPECT_THROW_MSG(RunToEnd(), Exception, "native failed");
    ASSERT_NE(Ctx->GetExceptToken(), nullptr);
    EXPECT_EQ(W(Ctx->GetExceptToken()), "fail");
    // The stacks stay as they were at the failure.
    EXPECT_EQ(Stack(), "1 2");
    Ctx->Reset();
    EXPECT_EQ(Ctx->GetExceptToken(), nullptr);
    EXPECT_FALSE(Ctx->FExceptionMapped);
}

TEST_F(InterpreterTest, AnUndefinedNameEndsTheRunEvenInsideATryBlock) {
    EXPECT_EQ(RunError("[B 1 nosuchname] [B 'caught'] tryexcept"), "object with name 'nosuchname' not found");
    EXPECT_EQ(W(Ctx->GetUnresolvedToken()), "nosuchname");
}

TEST_F(InterpreterTest, NamesAreFoundCaseInsensitivelyTheTopmostDictionaryFirst) {
    EXPECT_EQ(Run("1 2 ADD 3 4 Add"), "3 7");
    // A definition in Global shadows the built-in; "System:add" still reaches it.
    EXPECT_EQ(Run("/add 5 def add 1 2 System:add"), "5 3");
    // A local dictionary above Global shadows Global.
    EXPECT_EQ(Run("/x 1 def 1 dict begin /X 2 def x end x"), "2 1");
}

// A name token remembers what it resolved to; every change that could alter
// the resolution must show on the token's very next use.
TEST_F(InterpreterTest, ANameTokenSeesEveryChangeOfItsResolutionAtItsNextUse) {
    // "add" redefined inside the loop: the second pass multiplies.
    EXPECT_EQ(Run("0 1 1 4 [B add /add [B mul] def] for"), "24");
    // ... also under another letter case, and through "undef" and "put".
    EXPECT_EQ(Run("/p [B 2 3 add] def p /ADD [B mul] def p currentdict /add undef currentdict /add [B sub] put p"),
              "5 6 -1");
    // A dictionary pushed and popped between two uses of the same token.
    EXPECT_EQ(Run("/x 1 def /d 1 dict def d /x 2 put /p [B x] def p d begin p end p"), "1 2 1");
    // A name defined above a cached binding shadows it at once.
    EXPECT_EQ(Run("/p [B x] def /x 1 def p 1 dict begin p /x 3 def p end p"), "1 1 3 1");
    // Replaced in the top dictionary, then removed from it: the lower one
    // shows again.
    EXPECT_EQ(Run("/d 1 dict def d /x 7 put /x 1 def /p [B x] def d begin p /x 2 def p currentdict /x undef p end"),
              "7 2 1");
    // "undef" of a cached name: the next use fails.
    EXPECT_EQ(RunError("/x 1 def /p [B x] def p currentdict /x undef p"), "object with name 'x' not found");
    EXPECT_EQ(Stack(), "1");
}

// A name last found in the top dictionary is looked for there first, at the
// same place, once calls have pushed and popped dictionaries in between.
TEST_F(InterpreterTest, ANameFoundInTheTopDictionaryIsTakenFromTheCurrentTopOnly) {
    // Each call's parameter, also after the calls it made.
    EXPECT_EQ(Run("/f [P [A /n] n 0 gt [B /r n 1 sub f 10 mul n add def] [B /r 0 def] ifelse [A /r] ] def 3 f"),
              "123");
    // Another name at that place in the next top dictionary: the one below.
    EXPECT_EQ(Run("/x 5 def /p [B x] def 1 dict begin /x 1 def p end 1 dict begin /y 2 def p end"), "1 5");
    // The name at that place under another letter case.
    EXPECT_EQ(Run("/p [B x] def 1 dict begin /x 1 def p end 1 dict begin /X 4 def p end"), "1 4");
    // Entries before it removed, another name now at its place.
    EXPECT_EQ(Run("1 dict begin /a 0 def /y 2 def /p [B y] def p currentdict /a undef /z 3 def p end"), "2 2");
    // A parameter removed inside its call: the global of that name shows.
    EXPECT_EQ(Run("/n 7 def /q [P [A /n] /a n def currentdict /n undef /b n def [A /a /b] ] def 1 q"), "1 7");
    // Removed from the top dictionary with nothing below: the next use fails.
    EXPECT_EQ(RunError("/q [P [A /m] m currentdict /m undef m [A] ] def 1 q"), "object with name 'm' not found");
}

// Calls reuse the dictionaries of finished calls; each call still starts with
// only its own parameters.
TEST_F(InterpreterTest, EachCallStartsWithOnlyItsParametersInItsDictionary) {
    // Parameters in their order, call after call.
    EXPECT_EQ(Run("/s [P [A /a /b] /r a b sub def [A /r] ] def 5 3 s 10 4 s"), "2 6");
    // The same names in another order.
    EXPECT_EQ(Run("/s [P [A /a /b] /r a b sub def [A /r] ] def /t [P [A /b /a] /r a b sub def [A /r] ] def "
                  "5 3 s 5 3 t 5 3 s"),
              "2 -2 2");
    // A name the last call defined is gone.
    EXPECT_EQ(Run("/x 9 def /u [P [A /a] /r x def a 0 gt [B /x a def] [B] ifelse [A /r] ] def 1 u 0 u"), "9 9");
    // Too few operands for a reused dictionary fails as a new one does.
    EXPECT_EQ(RunError("/s [P [A /a /b] /r a b sub def [A /r] ] def 5 3 s pop 1 s"),
              "TSLStack.ObjectAtIndex: no object to fetch at index -1");
}

TEST_F(InterpreterTest, ARenamedNameTokenResolvesItsNewName) {
    TRef<TSLObject> block = SLDecodeString("[B a ]");
    auto* token = static_cast<TSLIdent*>(SLCast<TSLBlock>(block.Get())->GetObjAtIndex(0));
    NewContext();
    auto* global = static_cast<TSLDictionary*>(Ctx->DictStack().GetObjAtIndex(0));
    global->AddObject("a", MakeRef<TSLLongint>(1).Get());
    global->AddObject("b", MakeRef<TSLLongint>(2).Get());
    for (const char* name : {"a", "b", "a"}) {
        token->SetIdentValue(name);
        Ctx->PushBlock(SLCast<TSLBlock>(block.Get()));
        RunToEnd();
    }
    EXPECT_EQ(Stack(), "1 2 1");
}

// Contexts with their own dictionaries share a block; each sees its own.
TEST_F(InterpreterTest, ContextsRunningOneBlockResolveItsNamesInTheirOwnDictionaries) {
    TRef<TSLObject> block = SLDecodeString("[B x ]");
    std::string seen;
    for (const int value : {1, 2, 1}) {
        NewContext();
        static_cast<TSLDictionary*>(Ctx->DictStack().GetObjAtIndex(0))
            ->AddObject("x", MakeRef<TSLLongint>(value).Get());
        Ctx->PushBlock(SLCast<TSLBlock>(block.Get()));
        RunToEnd();
        seen += Stack();
    }
    EXPECT_EQ(seen, "121");
}

TEST_F(InterpreterTest, NamespacesAliasesAndPathsResolveToTheirDictionaries) {
    Run("'lib' cnamespace /lib:v 7 def /L 'lib' def "
        "/outer 1 dict def outer begin /inner 1 dict def end "
        "/Global:outer.inner.c 3 def /num 5 def");
    TSLContextImplementation& C = *Ctx;
    TSLDictionary* parent = nullptr;
    struct TCase {
        const char* Name;
        const char* Value; // nil: not found
        const char* ParentIdent; // the dictionary Parent names ("" nil, "lib" the namespace)
    } cases[] = {
        {"lib:v", "7", "lib"},
        {"LIB:V", "7", "lib"},
        {"L:v", "7", "lib"}, // the string entry L names the namespace
        {"nons:v", nullptr, ""}, // neither a namespace nor an alias
        {"num:v", nullptr, ""}, // an entry that is no string is no alias
        {"outer.inner.c", "3", "inner"},
        {"outer.inner.missing", nullptr, "inner"}, // the dictionary "missing" would go into
        {"outer.missing.c", nullptr, ""},
        {"num.x", nullptr, ""}, // a path through a value that is no dictionary
        {"lib:missing", nullptr, "lib"},
    };
    TSLDictionary* inner = SLCast<TSLDictionary>(SLCast<TSLDictionary>(Global("outer"))->GetObjWithName("inner"));
    TSLDictionary* lib = C.FindNamespace("lib");
    ASSERT_NE(lib, nullptr);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        TSLObject* found = C.Resolve(c.Name, parent);
        if (c.Value) {
            ASSERT_NE(found, nullptr);
            EXPECT_EQ(W(found), c.Value);
        } else {
            EXPECT_EQ(found, nullptr);
        }
        const std::string want = c.ParentIdent;
        if (want.empty()) {
            EXPECT_EQ(parent, nullptr);
        } else if (want == "lib") {
            EXPECT_EQ(parent, lib);
        } else {
            EXPECT_EQ(parent, inner);
        }
    }
    EXPECT_THROW_MSG(C.ResolveName("lib:nothing"), Exception, "object with name 'lib:nothing' not found");
    // "a" is no namespace: the definition fails as a script error.
    EXPECT_EQ(RunError("/a 1 dict def /a:b 0 def"), "namespace 'a:b' not found");
}

TEST_F(InterpreterTest, TheContextInterfacePushesAndPopsExactKinds) {
    TSLContextImplementation& C = NewContext();
    TContextInterface& ci = *C.FContextInterface;
    EXPECT_FALSE(ci.CheckLongint());
    ci.PushLongint(7);
    EXPECT_TRUE(ci.CheckLongint());
    EXPECT_FALSE(ci.CheckDouble());
    EXPECT_THROW_MSG(ci.PopDouble(), EInvalidCast, "Invalid class typecast");
    EXPECT_THROW(ci.PopString(), EInvalidCast);
    EXPECT_EQ(C.OperandStack().GetCount(), 1); // nothing removed by a refused pop
    EXPECT_EQ(ci.PopLongint(), 7);
    ci.PushDouble(1.5);
    EXPECT_THROW(ci.PopLongint(), EInvalidCast);
    EXPECT_TRUE(ci.CheckDouble());
    EXPECT_EQ(ci.PopDouble(), 1.5);
    ci.PushString("s");
    ci.PushBoolean(true);
    ci.PushIdent("name");
    EXPECT_TRUE(C.OperandStack().GetObjAtIndex(0)->GetExecutable());
    EXPECT_EQ(ci.PopIdent(), "name");
    EXPECT_TRUE(ci.CheckBoolean());
    EXPECT_TRUE(ci.PopBoolean());
    EXPECT_TRUE(ci.CheckString());
    EXPECT_EQ(ci.PopString(), "s");
    EXPECT_THROW(ci.PopLongint(), Exception); // empty stack
    // The user value belongs to the top frame; without one it reads 0.
    ci.SetUserValue(5);
    EXPECT_EQ(ci.GetUserValue(), 0);
}

TEST_F(InterpreterTest, TheStacksRefuseValuesOfTheWrongClass) {
    TSLContextImplementation& C = NewContext();
    TRef<TSLLongint> n = MakeRef<TSLLongint>(1);
    EXPECT_THROW(C.FDictStackInterface->Push(n.Get()), EInvalidCast);
    EXPECT_THROW(C.FExecutionStackInterface->Push(n.Get()), EInvalidCast);
    EXPECT_THROW(C.AddDict(nullptr), EInvalidCast);
    EXPECT_EQ(C.DictStack().GetCount(), 3);
    EXPECT_THROW(C.AddNamedDict("System", MakeRef<TSLDictionary>().Get()), Exception); // a namespace name twice
    EXPECT_EQ(C.DictStack().GetCount(), 3);
}

TEST_F(InterpreterTest, StepIntoStopsAfterEveryTokenAndShowsIt) {
    Start("1 2 add");
    std::vector<std::string> shown;
    Interp->FDbgDisplayEvent = [&](TSLObject* Obj) { shown.push_back(Obj ? W(Obj) : "nil"); };
    int calls = 0;
    while (!Interp->StepInto(Ctx.Get())) ++calls;
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(shown, (std::vector<std::string>{"1", "2", "add"}));
    EXPECT_EQ(Stack(), "3");
}

// A plain run may push a loop's value without showing it as a token; a step
// through the same loop afterwards shows every value.
TEST_F(InterpreterTest, StepIntoAfterAPlainRunShowsEveryLoopValue) {
    StartWith("0 1 1 3 [B add cwait] for", [&](TSLContextImplementation& C) { AddNative<TCountingWait>(C, "cwait"); });
    EXPECT_FALSE(Interp->Run(Ctx.Get()));
    EXPECT_EQ(Stack(), "1");
    std::vector<std::string> shown;
    Interp->FDbgDisplayEvent = [&](TSLObject* Obj) { shown.push_back(Obj ? W(Obj) : "nil"); };
    for (int steps = 0; steps < 100; ++steps) {
        if (Ctx->GetState() == isWaiting) Ctx->Resume(nullptr);
        if (Interp->StepInto(Ctx.Get())) break;
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"2", "add", "cwait", "cwait", "3", "add", "cwait", "cwait"}));
    EXPECT_EQ(Stack(), "6");
}

TEST_F(InterpreterTest, StepIntoShowsEveryValueForallDelivers) {
    Start("[A 7 /x] [B pop] forall 9");
    std::vector<std::string> shown;
    Interp->FDbgDisplayEvent = [&](TSLObject* Obj) { shown.push_back(Obj ? W(Obj) : "nil"); };
    while (!Interp->StepInto(Ctx.Get())) {
    }
    EXPECT_EQ(shown, (std::vector<std::string>{"nil", "nil", "forall", "7", "pop", "/x", "pop", "9"}));
    EXPECT_EQ(Stack(), "9");
}

TEST_F(InterpreterTest, StepOverRunsACalledProcedureAsOneStep) {
    Start("/p [P [A ] 1 2 3 add add [A ] ] def p 4", false);
    std::vector<std::string> shown;
    Interp->FDbgDisplayEvent = [&](TSLObject* Obj) { shown.push_back(Obj ? W(Obj) : "nil"); };
    std::vector<std::string> stacks;
    while (!Interp->StepOver(Ctx.Get())) stacks.push_back(Stack());
    // /p, the procedure, def, then the call of p as one step (its body's
    // values are discarded), then 4.
    ASSERT_EQ(stacks.size(), 5u);
    EXPECT_EQ(stacks[1], "/p");
    EXPECT_EQ(stacks[3], "");
    EXPECT_EQ(stacks[4], "");
    EXPECT_EQ(shown.back(), "4");
    EXPECT_EQ(Stack(), "4");
}

// A plain run takes the tokens of bodies and loops in one go; stepping takes
// them one at a time. Both must end alike, also when a script changes the
// body it runs (ahead of the current token, the current token itself, a
// loop's body between passes), leaves a loop or procedure early, or fails.
TEST_F(InterpreterTest, APlainRunAndAStepThroughEndAlike) {
    const char* scripts[] = {
        "/b [B currentdict /b get 6 10 put 1 2] def b",
        "/b [B currentdict /b get 5 /x put 7] def b b",
        "/body [B currentdict /body get 0 2 put add] def 0 1 1 3 currentdict /body get for",
        "/body [B dup 2 eq [B currentdict /body get 1 99 put] if add] def 0 1 1 4 currentdict /body get for",
        "/r 0 def 1 1 5 [B dup 3 eq [B exitloop] if /r exch def] for r",
        "/p [P [A /n] 1 1 9 [B n add dup 20 gt [B exitproc] if] for [A /n] ] def 3 p",
        "/f [P [A /n] n 2 lt [B /r n def] [B /r n 1 sub f n 2 sub f add def] ifelse [A /r] ] def 10 f",
        "/x 1 def 0 1 1 3 [B x add /x 10 def] for",
        "1 1 1 4 [B add /add [B mul] def] for",
        "/f [B 1] def 0 1 1 3 [B f add add currentdict /f undef /f [B 2] def] for",
        "1 2 [B nosuchname] exec 3",
        "0 1 1 3 [B 'a' add] for",
        "/p [P [A /a /b] a b sub [A ] ] def 5 2 p 1 p",
    };
    const auto outcome = [&](bool Step) {
        std::string result;
        try {
            if (Step) {
                Interp->FDbgDisplayEvent = [](TSLObject*) {};
                for (int steps = 0; steps < 100000 && !Interp->StepInto(Ctx.Get()); ++steps) {
                }
            } else {
                Interp->FDbgDisplayEvent = nullptr;
                RunToEnd();
            }
        } catch (const Exception& e) {
            result = std::string("failed: ") + e.what() + " at ";
            TSLObject* where = Ctx->GetExceptToken() ? Ctx->GetExceptToken() : Ctx->GetUnresolvedToken();
            result += where ? W(where) : "nil";
            result += " with ";
        }
        Interp->FDbgDisplayEvent = nullptr;
        return result + Stack();
    };
    for (const char* script : scripts) {
        SCOPED_TRACE(script);
        Start(script);
        const std::string plain = outcome(false);
        Start(script);
        EXPECT_EQ(outcome(true), plain);
    }
}

TEST_F(InterpreterTest, ABreakpointStopsTheRunBeforeTheMarkedName) {
    Start("1 2 add 3", /*Debug=*/true);
    auto* block = SLCast<TSLBlock>(static_cast<TSLBlockTokenizer*>(Ctx->TopTokenizer())->TokenArray.Get());
    ASSERT_NE(block->GetObjAtIndex(2)->GetDbgInfo(), nullptr);
    block->GetObjAtIndex(2)->GetDbgInfo()->SetBreakpoint(true);
    std::vector<std::string> shown;
    // Without the debugger's hook breakpoints are not checked.
    EXPECT_TRUE(Interp->Run(Ctx.Get()));
    EXPECT_EQ(Stack(), "3 3");

    Start("1 2 add 3", true);
    block = SLCast<TSLBlock>(static_cast<TSLBlockTokenizer*>(Ctx->TopTokenizer())->TokenArray.Get());
    block->GetObjAtIndex(2)->GetDbgInfo()->SetBreakpoint(true);
    Interp->FDbgDisplayEvent = [&](TSLObject* Obj) { shown.push_back(Obj ? W(Obj) : "nil"); };
    EXPECT_FALSE(Interp->Run(Ctx.Get()));
    EXPECT_EQ(Ctx->GetState(), isBreakpoint);
    EXPECT_EQ(Stack(), "1 2");
    EXPECT_EQ(shown, std::vector<std::string>{"add"});
    EXPECT_FALSE(Interp->Run(Ctx.Get())); // held at the breakpoint
    Ctx->ResumeAfterBreakpoint(nullptr);
    EXPECT_TRUE(Interp->Run(Ctx.Get()));
    EXPECT_EQ(Stack(), "3 3");
}

TEST_F(InterpreterTest, TheStorageManagerMakesContextsWithTheStandardDictionaries) {
    TSLContextImplementation& C = NewContext();
    ASSERT_EQ(C.DictStack().GetCount(), 3);
    EXPECT_EQ(C.DictStack().GetObjAtIndex(2), Manager->GetSystemDict());
    EXPECT_EQ(C.DictStack().GetObjAtIndex(1), Manager->GetScriptClassDict());
    EXPECT_EQ(C.FindNamespace("global"), C.DictStack().GetObjAtIndex(0));
    EXPECT_EQ(&SLInterpreter(*Manager), Interp);
    EXPECT_EQ(C.GetState(), isIdle);
    EXPECT_FALSE(Interp->GetContextDebug(&C));
    C.FDebug = true;
    EXPECT_TRUE(Interp->GetContextDebug(&C));
}

} // namespace
} // namespace vo::test
