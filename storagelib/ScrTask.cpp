#include "storagelib/ScrTask.h"

#include <atomic>
#include <string>

#include "kernel/Debug.h"
#include "storagelib/SL20DbgHlp.h"

namespace vo {

namespace {

std::function<void()>& ErrorBeep() {
    static std::function<void()> beep;
    return beep;
}

int32_t NextTaskID() {
    static std::atomic<int32_t> next{0};
    return ++next;
}

[[noreturn]] void Raise(const char* Method, const char* Text) {
    throw Exception(std::string(TScriptTask::ClassName()) + "." + Method + ": " + Text);
}

} // namespace

void SetScriptErrorBeep(std::function<void()> Beep) { ErrorBeep() = std::move(Beep); }

// ---------------------------------------------------------------- TScriptTask

TScriptTask::TScriptTask(TSLInterpreter* Interpreter) : FTask(TMxTask::CreateMain("ScriptTask")) { Init(Interpreter); }

TScriptTask::TScriptTask(TMxScheduler& Scheduler, TSLInterpreter* Interpreter)
    : FTask(std::make_unique<TMxTask>(Scheduler, "ScriptTask")) {
    Init(Interpreter);
}

void TScriptTask::Init(TSLInterpreter* Interpreter) {
    FInterpreter = TRef<TSLInterpreter>(Interpreter);
    FTaskID = NextTaskID();
    FTask->SetOnExecute([this](TMxTask&) { ExecRun(); });
}

TScriptTask::~TScriptTask() {
    // The task first, so that no step of it runs any more.
    FTask.reset();
    Detach();
}

void TScriptTask::Detach() {
    if (!FContext) return;
    FContext->FOnContinue = nullptr;
    if (auto* c = dynamic_cast<TSLContextImplementation*>(FContext.Get()); c && c->FScriptTask == this)
        c->FScriptTask = nullptr;
}

TSLInterpreter& TScriptTask::Interpreter() {
    if (!FInterpreter) {
        TStorageManager* manager = StorageManager();
        if (!manager) Raise("Start", "no storage manager");
        FInterpreter = TRef<TSLInterpreter>(&SLInterpreter(*manager));
    }
    return *FInterpreter;
}

TSLContextImplementation& TScriptTask::Ctx() { return SLContextImpl(FContext.Get()); }

void TScriptTask::SetScript(TSLBlock* Value) { FScript = TRef<TSLBlock>(Value); }

void TScriptTask::SetContext(TSLContext* Value) {
    if (Value == FContext.Get()) return;
    Detach();
    FContext = TRef<TSLContext>(Value);
    if (FContext) FContext->FOnContinue = [this](TSLContext*) { Continue(nullptr); };
}

void TScriptTask::Clear() {
    if (GetRunning()) Raise("Clear", "script task running");
    Detach();
    FContext.Reset();
    FScript.Reset();
    FErrorMsg.clear();
}

void TScriptTask::PushParameter(TSLObject* Par) {
    if (!FContext) Raise("PushParameter", "Context not initialized");
    FContext->FOperandStackInterface->Push(Par);
}

TRef<TSLObject> TScriptTask::PopResult() {
    if (!FContext) Raise("PopResult", "Context not initialized");
    TStackInterface& ops = *FContext->FOperandStackInterface;
    TRef<TSLObject> top(ops.GetObjAtIndex(0));
    ops.Pop(false);
    return top;
}

void TScriptTask::LoadScript(const MyAnsiString& Name) {
    TStorageManager* manager = StorageManager();
    if (!manager) Raise("LoadScript", "no storage manager");
    TRef<TSLStorageObject> stored(manager->GetObject(Name, saRead, FDebug));
    TSLObject* data = stored->GetData();
    if (!data || !data->InheritsFrom(TSLBlock::ClassInfo))
        throw Exception(std::string(ClassName()) + ".LoadScript: '" + Name + "' is not a script block");
    TRef<TSLContext> context(manager->CreateContext(false));
    SetScript(static_cast<TSLBlock*>(data));
    SetContext(context.Get());
    context->FScriptName = Name;
}

void TScriptTask::Start() {
    if (FState != TState::Idle) Raise("Start", "script task not idle");
    if (!FScript) Raise("Start", "no script");
    if (!FContext) Raise("Start", "Context not initialized");
    Interpreter();
    TSLContextImplementation& c = Ctx();
    c.PushBlock(FScript.Get());
    c.Reset();
    auto* top = static_cast<TSLDictionary*>(c.DictStack().GetObjAtIndex(0));
    if (!top->GetNameExists("log")) top->AddObject("log", MakeRef<TScriptLogProcedure>().Get());
    c.FScriptTask = this;
    c.FDebug = FDebug;
    FAborted = false;
    FErrorMsg.clear();
    FSignal.SetReady(false);
    FState = TState::Starting;
    FTask->Start();
}

void TScriptTask::Abort() {
    if (!GetRunning()) return;
    FAborted = true;
    FErrorMsg = "script task aborted";
    // Woken in any case: the abort also ends a wait the script begins after it.
    FSignal.SetReady(true);
}

void TScriptTask::Continue(void*) {
    if (GetRunning()) FSignal.SetReady(true);
}

void TScriptTask::ExecRun() {
    FSignal.SetReady(false);
    if (FAborted) {
        Finish(1, "script task aborted");
        return;
    }
    if (FState == TState::Starting && OnStart) OnStart(*this);
    FState = TState::Running;
    TSLContextImplementation& c = Ctx();
    bool done = false;
    try {
        if (c.GetState() == isBreakpoint) c.ResumeAfterBreakpoint(this);
        if (c.GetState() == isWaiting) {
            const TMxExecuteInfo info = FTask->ExecuteInfo();
            const int64_t rest = FWaitUntil - MyGetTickCount();
            if (info == eiSuccess && rest > 0) {
                // Woken before the native's wait ended, without a continue:
                // the rest of the wait.
                FTask->WaitFor(FSignal, rest);
                return;
            }
            c.Resume(this);
        }
        done = Interpreter().Run(&c);
    } catch (const std::exception& e) {
        TSLObject* where = c.GetExceptToken() ? c.GetExceptToken() : c.GetUnresolvedToken();
        MyAnsiString text;
        if (GetDbgInfo(where)) text = "[" + GetDbgFile(where) + ", " + GetDbgLine(where) + "] ";
        text += "Runtime error: ";
        text += e.what();
        LogError(text);
        if (ErrorBeep()) ErrorBeep()();
        Finish(1, text);
        return;
    }
    if (done) {
        Finish(0, MyAnsiString());
        return;
    }
    switch (c.GetState()) {
    case isExecuting:
    case isBreakpoint:
        FTask->WaitFor(FSignal, MxInfinite);
        break;
    case isWaiting: {
        const int32_t timeout = c.FTimeout < 0 ? 0 : c.FTimeout;
        FWaitUntil = MyGetTickCount() + timeout;
        FTask->WaitFor(FSignal, timeout);
        break;
    }
    case isWaitZero:
        FTask->WaitFor(FSignal, 0);
        break;
    default:
        LogError("invalid interpreter state");
        Finish(1, "invalid interpreter state");
        break;
    }
}

void TScriptTask::Finish(int32_t Result, const MyAnsiString& Error) {
    this->Result = static_cast<uint8_t>(Result);
    FErrorMsg = Error;
    FState = TState::Idle;
    FAborted = false;
    if (FTask->State() == tsReady) FTask->Terminate();
    if (auto* c = dynamic_cast<TSLContextImplementation*>(FContext.Get()); c && c->FScriptTask == this)
        c->FScriptTask = nullptr;
    // The handler may free a task that does not free itself.
    const bool autoFree = FAutoFree;
    if (OnResponse) OnResponse(*this);
    if (autoFree) delete this;
}

// ---------------------------------------------------------------- factory and log

std::unique_ptr<TScriptTaskInterface> TScriptTaskFactory::CreateScriptTask() {
    return std::make_unique<TScriptTask>(FInterpreter.Get());
}

void TScriptLogProcedure::Execute(TSLContext* Context) {
    const MyAnsiString text = SLCast<TSLString>(Context->FOperandStackInterface->GetObjAtIndex(0))->GetStringValue();
    Context->FOperandStackInterface->Pop(false);
    LogInfo(text);
}

} // namespace vo
