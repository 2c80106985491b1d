#pragma once
// Script tasks: one script run from start to end as the main-scheduler task
// "ScriptTask". The task drives the interpreter in time slices, sleeps while a
// native method waits for an answer, advances token by token under the
// debugger, and reports the end of every run through OnResponse (Result 0 or
// 1, the error text). The program-wide TScriptTaskManager numbers the tasks
// and tells its listeners of every creation and destruction.
//
// Everything runs on the GUI thread; nothing here takes a lock.
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "kernel/MxTLib20.h"
#include "storagelib/CtxIntf.h"
#include "storagelib/RefObj.h"
#include "storagelib/SL20Sto.h"

namespace vo {

class TSLInterpreter;
class TSLContextImplementation;
class TScriptTaskManager;

// The state of a task (stored as one byte).
enum class TScriptState : uint8_t {
    scIdle, // no run; the task sleeps on its signal
    scStartRun, // started without debug; the next step announces the start
    scStartStepInto, // started under the debugger; the next step announces the start
    scRun, // runs freely in time slices
    scStepInto, // one token per user command
    scStepOver, // one statement (calls run through) per user command
    scFinished, // the script ended; the next step reports success
    scAborted // aborted or failed; the next step reports failure
};
using enum TScriptState;

class TScriptTask final : public TScriptTaskInterface {
public:
    static const char* ClassName() noexcept { return "TScriptTask"; }

    // A task on the main scheduler ("Main Scheduler not created!" without
    // one), numbered by Manager (nil: the program-wide ScriptTaskManager()).
    // Interpreter nil: the storage manager's.
    explicit TScriptTask(TSLInterpreter* Interpreter = nullptr, TScriptTaskManager* Manager = nullptr);
    // The same on another scheduler.
    TScriptTask(TMxScheduler& Scheduler, TSLInterpreter* Interpreter, TScriptTaskManager* Manager = nullptr);
    ~TScriptTask() override;
    TScriptTask(const TScriptTask&) = delete;
    TScriptTask& operator=(const TScriptTask&) = delete;

    // ---- TScriptTaskInterface, in its order
    TSLBlock* GetScript() override { return FScript.Get(); }
    void SetScript(TSLBlock* Value) override;
    TSLContext* GetContext() override { return FContext.Get(); }
    // Holds the context and routes its continue notification to Continue.
    void SetContext(TSLContext* Value) override;
    bool GetAutoFree() override { return FAutoFree; }
    // With true the task frees itself once a run has been reported (through
    // the autorelease pool, after its step has returned).
    void SetAutoFree(bool Value) override { FAutoFree = Value; }
    bool GetDebug() override { return FDebug; }
    void SetDebug(bool Value) override { FDebug = Value; }
    MyAnsiString GetErrorMsg() override { return FErrorMsg; }
    bool GetRunning() override { return ScriptState != scIdle; }
    int32_t GetTaskID() override { return FTaskID; }
    // Nil before the first debug run.
    TScriptDebuggerInterface* GetScriptDebugger() override { return FScriptDebugger.get(); }
    // Releases script and context and empties the error text.
    void Clear() override;
    // "TScriptTask.PushParameter: Context not initialized" without a context.
    void PushParameter(TSLObject* Par) override;
    // "TScriptTask.PopResult: Context not initialized" without a context.
    TRef<TSLObject> PopResult() override;
    // Reads the stored object Name (a script block; with source positions in
    // debug mode) and gives the task a new context of the storage manager
    // named after it. A failed read leaves script and context as they were.
    void LoadScript(const MyAnsiString& Name) override;
    // "TScriptTask.Start: script task not idle" unless idle.
    void Start() override;
    // Ends a run: reported at the task's next step with Result 1 and
    // "script task aborted". Nothing on an idle task.
    void Abort() override;
    // Wakes the task when a run waits for it; nothing otherwise.
    void Continue(void* Sender) override;

    // ---- the debugger's commands (nothing unless a run has begun)
    void StepInto();
    void StepOver();
    void Run();

    TScriptState GetScriptState() const noexcept { return ScriptState; }
    TMxTask& Task() noexcept { return *ScriptTask; }

private:
    void Init(TSLInterpreter* Interpreter, TScriptTaskManager* Manager);
    bool InRunState() const noexcept;
    void Work();
    void ExecRun(TScriptState Mode);
    void Report(uint8_t AResult);
    void Fail(const std::exception& E);
    void DbgEvent(TSLObject* Token);
    void InstallDisplay();
    void RemoveDisplay();
    void DoAutoFree();
    void Detach();
    TSLInterpreter& Interpreter();
    TSLContextImplementation& Ctx();

    std::unique_ptr<TMxTask> ScriptTask;
    TScriptState ScriptState = scIdle;
    TMxSignal ScriptSignal;
    std::unique_ptr<TScriptDebuggerInterface> FScriptDebugger;
    TRef<TSLBlock> FScript;
    TRef<TSLContext> FContext;
    bool FAutoFree = false;
    bool FDebug = false;
    MyAnsiString FErrorMsg;
    int32_t FTaskID = 0;

    TRef<TSLInterpreter> FInterpreter;
    TScriptTaskManager* FManager = nullptr;
    int64_t FWaitUntil = 0; // end of a native's wait (ms tick)
    bool* FDestroyed = nullptr; // set while a handler runs that may free the task
    // The display handler asks this token whether the task still exists.
    std::shared_ptr<TScriptTask*> FSelf;
};

// Frees an object when the autorelease pool releases it: a task that frees
// itself is freed after its own step has returned.
class TAutoFree : public TRefObj {
    VO_REFOBJ_CLASS(TAutoFree, TRefObj)
public:
    explicit TAutoFree(std::unique_ptr<TScriptTaskInterface> Obj) : FObj(std::move(Obj)) {}
    ~TAutoFree() override = default;

    std::unique_ptr<TScriptTaskInterface> FObj;
};

// Makes TScriptTasks (announced to the storage manager by the shell).
class TScriptTaskFactory final : public TScriptTaskFactoryInterface {
public:
    // Interpreter nil: the storage manager's; Manager nil: the program-wide one.
    explicit TScriptTaskFactory(TSLInterpreter* Interpreter = nullptr, TScriptTaskManager* Manager = nullptr);
    std::unique_ptr<TScriptTaskInterface> CreateScriptTask() override;

private:
    TRef<TSLInterpreter> FInterpreter;
    TScriptTaskManager* FManager;
};

// "log" string -> : writes the text as an information line. Every started
// script finds it in its global dictionary.
class TSLScriptLogProcedure : public TSLInternalProcedure {
    VO_REFOBJ_CLASS(TSLScriptLogProcedure, TSLInternalProcedure)
public:
    TSLScriptLogProcedure() = default;
    void Execute(TSLContext* Context) override;
};

// The live script tasks in order of creation, their numbers, and the
// listeners told of every creation and destruction (the script task manager
// window is one). The manager never frees a task.
class TScriptTaskManager {
public:
    using TOnChangeEvent = std::function<void(TScriptTaskManager& Sender)>;

    TScriptTaskManager() = default;
    TScriptTaskManager(const TScriptTaskManager&) = delete;
    TScriptTaskManager& operator=(const TScriptTaskManager&) = delete;

    // Appends the task, calls the listeners, returns the task's number (the
    // first task gets 1; numbers are never reused).
    int32_t AnnounceCreation(TScriptTask& Item);
    // Removes the task, calls the listeners.
    void AnnounceDestruction(TScriptTask& Item);
    int32_t GetCount() const noexcept { return static_cast<int32_t>(TaskList.size()); }
    // The task at a position (0-based, creation order); out of range raises.
    TScriptTask& GetTask(int32_t Index) const;
    // Its position; -1 when it no longer exists.
    int32_t IndexOf(const TScriptTaskInterface* Task) const;
    // Live tasks that run.
    int32_t GetCountRunning() const;
    // Appends a listener; returns the token that removes it.
    int32_t AddOnChangeListener(TOnChangeEvent OnChangeEvent);
    // Removes the listener of a token; nothing for an unknown token.
    void RemoveOnChangeListener(int32_t Token);

private:
    void Notify();

    struct TOnChangeEventClass {
        int32_t Token;
        TOnChangeEvent OnChangeEvent;
    };
    std::vector<TScriptTask*> TaskList;
    std::vector<TOnChangeEventClass> FOnChangeListenerList;
    int32_t FTaskIDCount = 0;
    int32_t FNextToken = 0;
};

// The program-wide script task manager (made on first use, lives until the
// process ends).
TScriptTaskManager& ScriptTaskManager();

// The sound of a failed script (the GUI installs the system's alert sound;
// nothing without one).
void SetScriptErrorBeep(std::function<void()> Beep);

} // namespace vo
