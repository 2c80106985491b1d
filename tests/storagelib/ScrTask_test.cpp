// Script tasks: a stored script run on the main scheduler in time slices,
// with parameters and results, waits that yield to other tasks, outside
// completions, aborts and the report of a failed run.
#include <chrono>

#include "ScriptTestUtil.h"
#include "storagelib/ScrTask.h"
#include "tests/support/KernelFixtures.h"

namespace vo::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class ScriptTaskTest : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        MxCreateMainScheduler(Pump);
        Manager->AnnounceScriptTaskFactory(std::make_unique<TScriptTaskFactory>());
    }
    void TearDown() override {
        MxFreeMainScheduler();
        ScriptTest::TearDown();
    }

    std::unique_ptr<TScriptTask> NewTask() {
        std::unique_ptr<TScriptTaskInterface> t = Manager->CreateScriptTask();
        return std::unique_ptr<TScriptTask>(static_cast<TScriptTask*>(t.release()));
    }
    // A task with its own context running Text (the tokens of a block).
    std::unique_ptr<TScriptTask> TaskFor(std::string_view Text) {
        auto task = NewTask();
        TRef<TSLObject> block = SLDecodeString("[B " + std::string(Text) + " ]");
        task->SetScript(SLCast<TSLBlock>(block.Get()));
        task->SetContext(TRef<TSLContext>(Manager->CreateContext(false)).Get());
        return task;
    }
    bool Finish(TScriptTaskInterface& Task, std::chrono::milliseconds Limit = 10s) {
        return Pump.RunUntil([&] { return !Task.GetRunning(); }, Limit);
    }
    std::string Results(TScriptTaskInterface& Task) {
        std::string out;
        TStackInterface& ops = *Task.GetContext()->FOperandStackInterface;
        for (int i = ops.GetCount() - 1; i >= 0; --i) out += (out.empty() ? "" : " ") + W(ops.GetObjAtIndex(i));
        return out;
    }

    THeadlessPump Pump;
};

// A main-scheduler task that counts its steps while it runs.
class TCountingTask {
public:
    TCountingTask() : Task(TMxTask::CreateMain("Counter")) {
        Task->SetOnExecute([this](TMxTask& T) {
            ++Steps;
            T.Sleep(1);
        });
        Task->Start();
    }
    std::unique_ptr<TMxTask> Task;
    int Steps = 0;
};

// Stored texts end their lines with CR LF.
std::string Lines(std::string_view Text) {
    std::string out;
    for (char c : Text) {
        if (c == '\n') out += '\r';
        out += c;
    }
    return out;
}

const char* DemoScript = R"([B
  % procedures with parameters, locals and results
  /square [P [A /x] /r x x mul def [A /r] ] def
  /sumto [P [A /n] /s 0 def 1 1 n [B s add /s exch def] for [A /s] ] def
  /total 0 def 1 1 10 [B total add /total exch def] for
  /d 2 dict def d /a 1 put d /b 2 put
  /nkeys 0 def d [B pop /nkeys nkeys 1 add def] forall
  /r 0 def 3 [B /r r 1 add def] repeat
  /i 0 def [B /i i 1 add def i 5 eq [B exitloop] if] loop
  /caught 'none' def [B 'bad thing' raisese] [B /Msg get /caught exch def] tryexcept
  /fin 0 def /code 0 def
  [B [B /Msg 'mine' /Code 7 2 cdict raise] [B /fin 1 def] tryfinally] [B /Code get /code exch def] tryexcept
  100 wait
  4 square 10 sumto total nkeys r i caught fin code
])";

TEST_F(ScriptTaskTest, AStoredScriptRunsAsATaskAndItsWaitYieldsToOtherTasks) {
    Mem->Texts["Demo.sct"] = Lines(DemoScript);
    auto task = NewTask();
    task->LoadScript("Demo.sct");
    EXPECT_EQ(task->GetContext()->FScriptName, "Demo.sct");
    EXPECT_FALSE(task->GetRunning());
    TCountingTask other;
    const auto t0 = Clock::now();
    task->Start();
    EXPECT_TRUE(task->GetRunning());
    EXPECT_THROW_MSG(task->Start(), Exception, "TScriptTask.Start: script task not idle");
    ASSERT_TRUE(Finish(*task));
    EXPECT_GE(Clock::now() - t0, 95ms);
    EXPECT_GT(other.Steps, 10); // it ran while the script waited
    EXPECT_EQ(task->Result, 0);
    EXPECT_EQ(task->GetErrorMsg(), "");
    EXPECT_EQ(Results(*task), "16 55 55 2 3 5 'bad thing' 1 7");
    EXPECT_EQ(W(task->PopResult().Get()), "7");
    EXPECT_EQ(W(task->PopResult().Get()), "1");
}

TEST_F(ScriptTaskTest, ALongScriptRunsInSlicesBetweenOtherTasks) {
    auto task = TaskFor("0 1 1 300000 [B add] for");
    TCountingTask other;
    task->Start();
    int stepsWhileRunning = 0;
    ASSERT_TRUE(Pump.RunUntil([&] {
        if (task->GetRunning()) stepsWhileRunning = other.Steps;
        return !task->GetRunning();
    },
                              60s));
    EXPECT_EQ(Results(*task), "45000150000");
    EXPECT_GT(stepsWhileRunning, 1);
}

TEST_F(ScriptTaskTest, ParametersGoInAndResultsComeOut) {
    auto task = TaskFor("dup mul exch 1 add");
    task->PushParameter(MakeRef<TSLLongint>(1).Get());
    task->PushParameter(MakeRef<TSLLongint>(7).Get());
    task->Start();
    ASSERT_TRUE(Finish(*task));
    EXPECT_EQ(W(task->PopResult().Get()), "2");
    EXPECT_EQ(W(task->PopResult().Get()), "49");
    EXPECT_THROW(task->PopResult(), Exception);

    auto bare = NewTask();
    EXPECT_THROW_MSG(bare->PushParameter(MakeRef<TSLLongint>(1).Get()), Exception,
                     "TScriptTask.PushParameter: Context not initialized");
    EXPECT_THROW_MSG(bare->PopResult(), Exception, "TScriptTask.PopResult: Context not initialized");
    EXPECT_THROW(bare->Start(), Exception);
    EXPECT_NE(task->GetTaskID(), bare->GetTaskID());
    EXPECT_EQ(bare->GetScriptDebugger(), nullptr);
    // A finished task takes the next script.
    task->Clear();
    EXPECT_EQ(task->GetContext(), nullptr);
}

TEST_F(ScriptTaskTest, AFailedRunReportsItsLocationLogsAndEnds) {
    CapturedTrace trace;
    int beeps = 0;
    SetScriptErrorBeep([&] { ++beeps; });
    Mem->Texts["Bad.sct"] = Lines("[B 1 2 add\n  nosuch 3 ]");
    Mem->Texts["Cast.sct"] = Lines("[B\n\n 1 'x' add ]");
    Mem->Texts["End.sct"] = Lines("[B 1\n end ]");
    Mem->Texts["Fin.sct"] = Lines("[B [B\n 1 pop\n 'deep' raisese ] [B\n 2 pop ] tryfinally ]");
    struct TCase {
        const char* Name;
        bool Debug;
        const char* Error;
    } cases[] = {
        {"Bad.sct", false, "Runtime error: object with name 'nosuch' not found"},
        {"Bad.sct", true, "[Bad.sct, 2] Runtime error: object with name 'nosuch' not found"},
        {"Cast.sct", true, "[Cast.sct, 3] Runtime error: Invalid class typecast"},
        // an error a built-in reports itself stands where the built-in was called
        {"End.sct", true, "[End.sct, 2] Runtime error: tried to delete global dictionary"},
        // a finally block lets the exception pass with its place
        {"Fin.sct", true, "[Fin.sct, 3] Runtime error: deep"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Error);
        auto task = NewTask();
        task->SetDebug(c.Debug);
        task->LoadScript(c.Name);
        task->Start();
        ASSERT_TRUE(Finish(*task));
        EXPECT_EQ(task->Result, 1);
        EXPECT_EQ(task->GetErrorMsg(), c.Error);
        EXPECT_TRUE(trace.Contains(c.Error));
    }
    EXPECT_EQ(beeps, 5);
    SetScriptErrorBeep({});
    Mem->Texts["Data.stx"] = "[D /a 1]";
    EXPECT_THROW_MSG(NewTask()->LoadScript("Data.stx"), Exception, "TScriptTask.LoadScript: 'Data.stx' is not a script block");
}

TEST_F(ScriptTaskTest, AbortEndsARunningOrWaitingScript) {
    struct TCase {
        const char* Script;
        bool AbortFromOutside;
    } cases[] = {
        {"[B 1 pop] loop", true},
        {"600000 wait", true},
        // the script aborts itself and then begins a long wait: the abort holds
        {"1 abort 600000 wait 2", false},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Script);
        auto task = TaskFor(c.Script);
        task->Start();
        if (c.AbortFromOutside) {
            Pump.RunUntil([] { return false; }, 30ms);
            EXPECT_TRUE(task->GetRunning());
            task->Abort();
        }
        ASSERT_TRUE(Finish(*task, 5s));
        EXPECT_EQ(task->Result, 1);
        EXPECT_EQ(task->GetErrorMsg(), "script task aborted");
    }
}

// Waits (user value 1) until somebody continues the script, then pushes 'woken'.
class TAwait : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TAwait, TSLInternalProcedure)
public:
    void Execute(TSLContext* Context) override {
        TContextInterface& ci = *Context->FContextInterface;
        if (ci.GetUserValue() == 0) {
            ci.SetUserValue(1);
            Waiting = &ci;
            ci.Wait(this, 600000);
            return;
        }
        ci.SetUserValue(0);
        ci.PushString("woken");
    }
    TContextInterface* Waiting = nullptr;
};

TEST_F(ScriptTaskTest, AnOutsideCompletionContinuesAWaitingNativeAndATimeOutResumesIt) {
    TRef<TAwait> await = MakeRef<TAwait>();
    auto task = TaskFor("await 'after' 30 wait 'end'");
    static_cast<TSLDictionary*>(SLContextImpl(task->GetContext()).DictStack().GetObjAtIndex(0))
        ->AddObject("await", await.Get());
    task->Start();
    ASSERT_TRUE(Pump.RunUntil([&] { return await->Waiting != nullptr; }, 5s));
    Pump.RunUntil([] { return false; }, 20ms);
    EXPECT_TRUE(task->GetRunning());
    const auto t0 = Clock::now();
    await->Waiting->Continue(await.Get());
    ASSERT_TRUE(Finish(*task, 5s));
    const auto used = Clock::now() - t0;
    EXPECT_GE(used, 25ms); // the script's own "30 wait" ran out
    EXPECT_LT(used, 5s);
    EXPECT_EQ(Results(*task), "'woken' 'after' 'end'");
}

TEST_F(ScriptTaskTest, AScriptGetsALogProcedureAndATaskCanFreeItself) {
    CapturedTrace trace;
    auto task = TaskFor("'hello from the script' log");
    bool finished = false;
    task->OnResponse = [&](TScriptTaskInterface& T) { finished = T.Result == 0; };
    TScriptTask* raw = task.get();
    raw->Start();
    ReleaseToAutoFree(std::move(task));
    ASSERT_TRUE(Pump.RunUntil([&] { return finished; }, 5s));
    EXPECT_TRUE(trace.Contains("hello from the script"));
    // (the task has freed itself; the sanitizers see a leak or a double free)
}

} // namespace
} // namespace vo::test
