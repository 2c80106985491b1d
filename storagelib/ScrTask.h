#pragma once
// Script tasks: one script context run on the main scheduler as the task
// "ScriptTask", one interpreter time slice per step. Between two slices the
// task yields (0 ms), waits for a native's completion (Continue) or for the
// native's time-out, after which it resumes the context.
//
// This is the part of the script runtime the storage library's users need (a
// script run with parameters pushed in and results popped out); the debugger
// window and the stepping modes belong to the script runtime proper.
#include <cstdint>
#include <functional>
#include <memory>

#include "kernel/MxTLib20.h"
#include "storagelib/CtxIntf.h"
#include "storagelib/SL20Exe.h"
#include "storagelib/SL20Sto.h"

namespace vo {

class TScriptTask final : public TScriptTaskInterface {
public:
    static const char* ClassName() noexcept { return "TScriptTask"; }

    // A task on the main scheduler ("Main Scheduler not created!" without
    // one) or on Scheduler. Interpreter nil: the storage manager's.
    explicit TScriptTask(TSLInterpreter* Interpreter = nullptr);
    TScriptTask(TMxScheduler& Scheduler, TSLInterpreter* Interpreter);
    ~TScriptTask() override;
    TScriptTask(const TScriptTask&) = delete;
    TScriptTask& operator=(const TScriptTask&) = delete;

    TSLBlock* GetScript() override { return FScript.Get(); }
    void SetScript(TSLBlock* Value) override;
    TSLContext* GetContext() override { return FContext.Get(); }
    void SetContext(TSLContext* Value) override;
    bool GetAutoFree() override { return FAutoFree; }
    void SetAutoFree(bool Value) override { FAutoFree = Value; }
    bool GetDebug() override { return FDebug; }
    void SetDebug(bool Value) override { FDebug = Value; }
    MyAnsiString GetErrorMsg() override { return FErrorMsg; }
    bool GetRunning() override { return FState == TState::Starting || FState == TState::Running; }
    int32_t GetTaskID() override { return FTaskID; }
    // No debugger window in this build.
    TScriptDebuggerInterface* GetScriptDebugger() override { return nullptr; }
    // "TScriptTask.Clear: script task running" while it runs.
    void Clear() override;
    // "TScriptTask.PushParameter: Context not initialized" without a context.
    void PushParameter(TSLObject* Par) override;
    // "TScriptTask.PopResult: Context not initialized" without a context.
    TRef<TSLObject> PopResult() override;
    // Reads the stored object Name (a block), makes it the script and gives the
    // task a new context of the storage manager.
    void LoadScript(const MyAnsiString& Name) override;
    // "TScriptTask.Start: script task not idle" unless idle; needs a script and
    // a context.
    void Start() override;
    // Ends a starting or running script with result 1 and "script task
    // aborted" at the task's next step; an interpreter call in progress is not
    // interrupted.
    void Abort() override;
    // Wakes the task so that its next step runs the interpreter again.
    void Continue(void* Sender) override;

    TMxTask& Task() noexcept { return *FTask; }

private:
    enum class TState : uint8_t { Idle,
                                  Starting,
                                  Running };

    void Init(TSLInterpreter* Interpreter);
    void ExecRun();
    void Finish(int32_t Result, const MyAnsiString& Error);
    void Detach();
    TSLInterpreter& Interpreter();
    TSLContextImplementation& Ctx();

    std::unique_ptr<TMxTask> FTask;
    TMxSignal FSignal;
    TRef<TSLInterpreter> FInterpreter;
    TRef<TSLBlock> FScript;
    TRef<TSLContext> FContext;
    TState FState = TState::Idle;
    bool FAutoFree = false;
    bool FDebug = false;
    bool FAborted = false;
    int64_t FWaitUntil = 0; // end of a native's wait (ms tick)
    int32_t FTaskID;
    MyAnsiString FErrorMsg;
};

// Makes TScriptTasks (announced to the storage manager by the shell).
class TScriptTaskFactory final : public TScriptTaskFactoryInterface {
public:
    // Interpreter nil: the storage manager's.
    explicit TScriptTaskFactory(TSLInterpreter* Interpreter = nullptr) : FInterpreter(Interpreter) {}
    std::unique_ptr<TScriptTaskInterface> CreateScriptTask() override;

private:
    TRef<TSLInterpreter> FInterpreter;
};

// "log" string -> : writes the text as an info line of the log. A script task
// adds it to the script's top dictionary when that has none.
class TScriptLogProcedure : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TScriptLogProcedure, TSLInternalProcedure)
public:
    TScriptLogProcedure() = default;
    void Execute(TSLContext* Context) override;
};

// The sound of a failed script (the GUI installs the system's alert sound;
// nothing without one).
void SetScriptErrorBeep(std::function<void()> Beep);

} // namespace vo
