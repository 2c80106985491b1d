// Script tasks: a stored script run on the main scheduler in time slices,
// with parameters and results, waits that yield to other tasks, outside
// completions and time-outs, aborts, the report of a failed run, and the
// task manager's numbers, lists and listeners.
#include <chrono>

#include "scripting/ScrTaImp.h"
#include "tests/storagelib/ScriptTestUtil.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/ScriptTasks.h"

namespace vo::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

class ScriptTaskTest : public ScriptTest {
protected:
    void SetUp() override {
        ScriptTest::SetUp();
        MxCreateMainScheduler(Pump);
        Manager->AnnounceScriptTaskFactory(std::make_unique<TScriptTaskFactory>(nullptr, &Tasks));
    }
    void TearDown() override {
        PurgeAutoReleasePool(); // tasks that free themselves go before the scheduler
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
    // Adds a native to the task's global dictionary.
    static void AddGlobal(TScriptTask& Task, const char* Name, TSLObject* Obj) {
        static_cast<TSLDictionary*>(SLContextImpl(Task.GetContext()).DictStack().GetObjAtIndex(0))
            ->AddObject(Name, Obj);
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
    TScriptTaskManager Tasks;
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

// "ticks" -> the millisecond tick.
class TTicks : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TTicks, TSLInternalProcedure)
public:
    void Execute(TSLContext* Context) override { Context->FContextInterface->PushLongint(MyGetTickCount()); }
};

// "steps" -> how often the counting task below has run.
class TSteps : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TSteps, TSLInternalProcedure)
public:
    explicit TSteps(const int& ASteps) : Steps(ASteps) {}
    void Execute(TSLContext* Context) override { Context->FContextInterface->PushLongint(Steps); }
    const int& Steps;
};

TEST_F(ScriptTaskTest, ALongScriptRunsInSlicesBetweenOtherTasks) {
    // A loop of at least 50 ms that also ends only once the counter has run
    // three times: it can finish only when its slices leave room for other
    // tasks, however slow the machine.
    TCountingTask other;
    auto task = TaskFor("/t0 ticks def 0 [B 1 add ticks t0 sub 50 ge steps 3 ge and [B exitloop] if] loop");
    AddGlobal(*task, "ticks", MakeRef<TTicks>().Get());
    AddGlobal(*task, "steps", MakeRef<TSteps>(other.Steps).Get());
    task->Start();
    int stepsWhileRunning = 0;
    ASSERT_TRUE(Pump.RunUntil(
        [&] {
            if (task->GetRunning()) stepsWhileRunning = other.Steps;
            return !task->GetRunning();
        },
        60s));
    EXPECT_EQ(task->Result, 0) << task->GetErrorMsg();
    EXPECT_GT(stepsWhileRunning, 1);
}

TEST_F(ScriptTaskTest, ParametersGoInAndResultsComeOut) {
    // Pushed a then b: the script pops b first.
    auto task = TaskFor("/b exch def /a exch def a b sub");
    task->PushParameter(MakeRef<TSLLongint>(10).Get());
    task->PushParameter(MakeRef<TSLLongint>(3).Get());
    task->Start();
    ASSERT_TRUE(Finish(*task));
    EXPECT_EQ(W(task->PopResult().Get()), "7");
    EXPECT_THROW(task->PopResult(), Exception);

    auto bare = NewTask();
    EXPECT_THROW_MSG(bare->PushParameter(MakeRef<TSLLongint>(1).Get()), Exception,
                     "TScriptTask.PushParameter: Context not initialized");
    EXPECT_THROW_MSG(bare->PopResult(), Exception, "TScriptTask.PopResult: Context not initialized");
    EXPECT_THROW(bare->Start(), Exception);
    EXPECT_FALSE(bare->GetRunning());
    EXPECT_EQ(bare->GetScriptDebugger(), nullptr);
    // A finished task takes the next script.
    task->Clear();
    EXPECT_EQ(task->GetContext(), nullptr);
}

TEST_F(ScriptTaskTest, OnResponseRunsOnceAfterTheTaskIsIdleAndMayStartItAgain) {
    auto task = TaskFor("1");
    int responses = 0;
    int starts = 0;
    task->OnStart = [&](TScriptTaskInterface&) { ++starts; };
    task->OnResponse = [&](TScriptTaskInterface& T) {
        ++responses;
        EXPECT_FALSE(T.GetRunning());
        EXPECT_EQ(Tasks.GetCountRunning(), 0);
        if (responses == 1) T.Start(); // the same context, finished: runs again
    };
    task->Start();
    ASSERT_TRUE(Pump.RunUntil([&] { return responses == 2; }, 5s));
    Pump.RunUntil([] { return false; }, 20ms);
    EXPECT_EQ(responses, 2);
    EXPECT_EQ(starts, 2);
    EXPECT_EQ(Results(*task), "1 1");
}

TEST_F(ScriptTaskTest, AFailedRunReportsFileAndLineLogsOnceAndBeeps) {
    int beeps = 0;
    SetScriptErrorBeep([&] { ++beeps; });
    Mem->Texts["scripts\\x.sct"] = Lines("[B 1 2 add\n  pop\n  nosuch 3 ]");
    Mem->Texts["Cast.sct"] = Lines("[B\n\n 1 'x' add ]");
    Mem->Texts["End.sct"] = Lines("[B 1\n end ]");
    Mem->Texts["Fin.sct"] = Lines("[B [B\n 1 pop\n 'deep' raisese ] [B\n 2 pop ] tryfinally ]");
    struct TCase {
        const char* Name;
        bool Positions; // read with source positions
        const char* Error;
    } cases[] = {
        {"scripts\\x.sct", true, "[x.sct, 3] Runtime error: object with name 'nosuch' not found"},
        {"scripts\\x.sct", false, "Runtime error: object with name 'nosuch' not found"},
        {"Cast.sct", true, "[Cast.sct, 3] Runtime error: Invalid class typecast"},
        // an error a built-in reports itself stands where the built-in was called
        {"End.sct", true, "[End.sct, 2] Runtime error: tried to delete global dictionary"},
        // a finally block lets the exception pass with its place
        {"Fin.sct", true, "[Fin.sct, 3] Runtime error: deep"},
    };
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Error);
        CapturedTrace trace;
        beeps = 0;
        auto task = NewTask();
        TRef<TSLStorageObject> stored(Manager->GetObject(c.Name, saRead, c.Positions));
        task->SetScript(SLCast<TSLBlock>(stored->GetData()));
        task->SetContext(TRef<TSLContext>(Manager->CreateContext(false)).Get());
        int responses = 0;
        task->OnResponse = [&](TScriptTaskInterface&) { ++responses; };
        task->Start();
        ASSERT_TRUE(Finish(*task));
        EXPECT_EQ(task->Result, 1);
        EXPECT_EQ(responses, 1);
        EXPECT_EQ(task->GetErrorMsg(), c.Error);
        int errors = 0;
        for (const std::string& line : trace.Lines())
            if (line.find("***ERROR: ") != std::string::npos) {
                ++errors;
                EXPECT_NE(line.find(std::string("***ERROR: ") + c.Error), std::string::npos) << line;
            }
        EXPECT_EQ(errors, 1);
        EXPECT_EQ(beeps, 1);
    }
    SetScriptErrorBeep({});
    Mem->Texts["Data.stx"] = "[D /a 1]";
    EXPECT_THROW_MSG(NewTask()->LoadScript("Data.stx"), Exception,
                     "TScriptTask.LoadScript: 'Data.stx' is not a script block");
}

TEST_F(ScriptTaskTest, AScriptFindsLogAndWritesAnInformationLine) {
    CapturedTrace trace;
    auto task = TaskFor("'hello from the script' log");
    task->Start();
    ASSERT_TRUE(Finish(*task));
    EXPECT_EQ(task->Result, 0) << task->GetErrorMsg();
    EXPECT_TRUE(trace.Contains("***INFO: hello from the script"));
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
        int responses = 0;
        task->OnResponse = [&](TScriptTaskInterface&) { ++responses; };
        task->Start();
        if (c.AbortFromOutside) {
            Pump.RunUntil([] { return false; }, 30ms);
            EXPECT_TRUE(task->GetRunning());
            task->Abort();
        }
        ASSERT_TRUE(Finish(*task, 5s));
        EXPECT_EQ(task->Result, 1);
        EXPECT_EQ(responses, 1);
        EXPECT_EQ(task->GetErrorMsg(), "script task aborted");
        // Abort on an idle task changes nothing.
        task->Abort();
        Pump.RunUntil([] { return false; }, 10ms);
        EXPECT_FALSE(task->GetRunning());
        EXPECT_EQ(responses, 1);
    }
}

// A native method: waits (user value 1) with a time-out; run again it pushes
// 'rerun' and ends.
class TAwait : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TAwait, TSLInternalProcedure)
public:
    explicit TAwait(int32_t ATimeout) : Timeout(ATimeout) {}
    void Execute(TSLContext* Context) override {
        TContextInterface& ci = *Context->FContextInterface;
        if (ci.GetUserValue() == 0) {
            ci.SetUserValue(1);
            Waiting = &ci;
            ++Waits;
            ci.Wait(this, Timeout);
            return;
        }
        ci.SetUserValue(0);
        ci.PushString("rerun");
    }
    int32_t Timeout;
    TContextInterface* Waiting = nullptr;
    int Waits = 0;
};

TEST_F(ScriptTaskTest, AnOutsideCompletionContinuesAWaitingNative) {
    TRef<TAwait> await = MakeRef<TAwait>(0x7FFFFFFF);
    auto task = TaskFor("await 'after' 30 wait 'end'");
    AddGlobal(*task, "await", await.Get());
    task->Start();
    ASSERT_TRUE(Pump.RunUntil([&] { return await->Waiting != nullptr; }, 5s));
    Pump.RunUntil([] { return false; }, 20ms);
    EXPECT_TRUE(task->GetRunning());
    const auto t0 = Clock::now();
    await->Waiting->Continue(await.Get());
    ASSERT_TRUE(Finish(*task, 5s));
    const auto used = Clock::now() - t0;
    EXPECT_GE(used, 25ms); // the script's own "30 wait" ran out
    EXPECT_EQ(Results(*task), "'rerun' 'after' 'end'");
    EXPECT_EQ(await->Waits, 1);
}

TEST_F(ScriptTaskTest, AWaitThatTimesOutResumesTheContextAndRunsTheMethodAgain) {
    TRef<TAwait> await = MakeRef<TAwait>(30);
    auto task = TaskFor("await 'next'");
    AddGlobal(*task, "await", await.Get());
    const auto t0 = Clock::now();
    task->Start();
    ASSERT_TRUE(Finish(*task, 5s));
    EXPECT_GE(Clock::now() - t0, 25ms);
    EXPECT_EQ(task->Result, 0) << task->GetErrorMsg();
    EXPECT_EQ(Results(*task), "'rerun' 'next'");
    EXPECT_EQ(await->Waits, 1);
}

TEST_F(ScriptTaskTest, AbortEndsANativeWaitWithoutTimeOut) {
    TRef<TAwait> await = MakeRef<TAwait>(0x7FFFFFFF);
    auto task = TaskFor("await 'never'");
    AddGlobal(*task, "await", await.Get());
    task->Start();
    ASSERT_TRUE(Pump.RunUntil([&] { return await->Waiting != nullptr; }, 5s));
    Pump.RunUntil([] { return false; }, 20ms);
    EXPECT_TRUE(task->GetRunning()); // nothing ends the wait by itself
    task->Abort();
    ASSERT_TRUE(Finish(*task, 5s));
    EXPECT_EQ(task->Result, 1);
    EXPECT_EQ(task->GetErrorMsg(), "script task aborted");
    EXPECT_EQ(Results(*task), "");
}

TEST_F(ScriptTaskTest, TheManagerNumbersListsAndTellsItsListeners) {
    std::vector<std::string> calls;
    const int32_t first = Tasks.AddOnChangeListener([&](TScriptTaskManager& M) {
        calls.push_back("first " + std::to_string(M.GetCount()));
    });
    const int32_t second = Tasks.AddOnChangeListener([&](TScriptTaskManager& M) {
        calls.push_back("second " + std::to_string(M.GetCount()));
    });
    auto a = TaskFor("1");
    auto b = NewTask();
    EXPECT_EQ(a->GetTaskID(), 1);
    EXPECT_EQ(b->GetTaskID(), 2);
    EXPECT_EQ(calls, (std::vector<std::string>{"first 1", "second 1", "first 2", "second 2"}));
    calls.clear();
    b.reset();
    EXPECT_EQ(calls, (std::vector<std::string>{"first 1", "second 1"}));
    Tasks.RemoveOnChangeListener(first);
    Tasks.RemoveOnChangeListener(first); // an unknown token changes nothing
    calls.clear();
    auto c = TaskFor("600000 wait");
    EXPECT_EQ(c->GetTaskID(), 3); // never reused
    EXPECT_EQ(calls, (std::vector<std::string>{"second 2"}));
    Tasks.RemoveOnChangeListener(second);
    EXPECT_EQ(Tasks.GetCount(), 2);
    EXPECT_EQ(&Tasks.GetTask(1), c.get());
    EXPECT_EQ(Tasks.IndexOf(a.get()), 0);

    c->Start();
    EXPECT_EQ(Tasks.GetCountRunning(), 1);
    ASSERT_TRUE(Pump.RunUntil([&] { return SLContextImpl(c->GetContext()).GetState() == isWaiting; }, 5s));
    EXPECT_EQ(Tasks.GetCountRunning(), 1);
    c->Abort();
    ASSERT_TRUE(Finish(*c));
    EXPECT_EQ(Tasks.GetCountRunning(), 0);

    // A task that frees itself is gone after the next purge of the pool.
    bool reported = false;
    a->OnResponse = [&](TScriptTaskInterface&) { reported = true; };
    a->SetAutoFree(true);
    TScriptTask* raw = a.release();
    raw->Start();
    ASSERT_TRUE(Pump.RunUntil([&] { return reported; }, 5s));
    EXPECT_EQ(Tasks.IndexOf(raw), 0); // still there until the purge
    PurgeAutoReleasePool();
    EXPECT_EQ(Tasks.IndexOf(raw), -1);
    EXPECT_EQ(Tasks.GetCount(), 1);
}

TEST_F(ScriptTaskTest, ReleaseToAutoFreeLetsARunningTaskFreeItself) {
    auto task = TaskFor("'x' log");
    bool finished = false;
    task->OnResponse = [&](TScriptTaskInterface& T) { finished = T.Result == 0; };
    TScriptTask* raw = task.get();
    raw->Start();
    ReleaseToAutoFree(std::move(task));
    ASSERT_TRUE(Pump.RunUntil([&] { return finished; }, 5s));
    PurgeAutoReleasePool();
    EXPECT_EQ(Tasks.IndexOf(raw), -1);
    // An idle task goes at once.
    auto idle = NewTask();
    raw = idle.get();
    ReleaseToAutoFree(std::move(idle));
    EXPECT_EQ(Tasks.IndexOf(raw), -1);
}

TEST_F(ScriptTaskTest, TestSupportGivesTasksOfTheProgramWideManager) {
    InstallScriptTasks(*Manager);
    const int32_t before = ScriptTaskManager().GetCount();
    std::unique_ptr<TScriptTaskInterface> task = Manager->CreateScriptTask();
    ASSERT_NE(dynamic_cast<TScriptTask*>(task.get()), nullptr);
    EXPECT_EQ(ScriptTaskManager().GetCount(), before + 1);
    EXPECT_EQ(ScriptTaskManager().IndexOf(task.get()), before);
    task.reset();
    EXPECT_EQ(ScriptTaskManager().GetCount(), before);
}

} // namespace
} // namespace vo::test
