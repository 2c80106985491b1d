#include "scripting/ScrTaImp.h"

#include <algorithm>
#include <string>

#include "kernel/Debug.h"
#include "scripting/ScrModel.h"
#include "storagelib/SL20Dbg.h"
#include "storagelib/SL20DbgHlp.h"
#include "storagelib/SL20Exe.h"

namespace vo {

namespace {

std::function<void()>& ErrorBeep() {
    static std::function<void()> beep;
    return beep;
}

[[noreturn]] void Raise(const char* Method, const char* Text) {
    throw Exception(std::string(TScriptTask::ClassName()) + "." + Method + ": " + Text);
}

// The task whose display handler an interpreter holds (the last debug slice's).
struct TDisplayHolder {
    TSLInterpreter* Interpreter = nullptr;
    TScriptTask* Task = nullptr;
};
TDisplayHolder DisplayHolder;

} // namespace

void SetScriptErrorBeep(std::function<void()> Beep) { ErrorBeep() = std::move(Beep); }

// ---------------------------------------------------------------- TScriptTask

TScriptTask::TScriptTask(TSLInterpreter* Interpreter, TScriptTaskManager* Manager)
    : ScriptTask(TMxTask::CreateMain("ScriptTask")) {
    Init(Interpreter, Manager);
}

TScriptTask::TScriptTask(TMxScheduler& Scheduler, TSLInterpreter* Interpreter, TScriptTaskManager* Manager)
    : ScriptTask(std::make_unique<TMxTask>(Scheduler, "ScriptTask")) {
    Init(Interpreter, Manager);
}

void TScriptTask::Init(TSLInterpreter* Interpreter, TScriptTaskManager* Manager) {
    FInterpreter = TRef<TSLInterpreter>(Interpreter);
    FManager = Manager ? Manager : &ScriptTaskManager();
    FSelf = std::make_shared<TScriptTask*>(this);
    // The first step finds the task idle and lets it sleep on its signal.
    ScriptTask->SetOnExecute([this](TMxTask&) { Work(); });
    ScriptTask->Start();
    FTaskID = FManager->AnnounceCreation(*this);
}

TScriptTask::~TScriptTask() {
    if (FDestroyed) *FDestroyed = true;
    // The Mx task first, so that no step of it runs any more.
    ScriptTask.reset();
    RemoveDisplay();
    FSelf.reset();
    FScriptDebugger.reset();
    Detach();
    FContext.Reset();
    FScript.Reset();
    FManager->AnnounceDestruction(*this);
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
    if (FContext) FContext->FOnContinue = [this](TSLContext* Sender) { Continue(Sender); };
}

void TScriptTask::Clear() {
    // The interpreter must not lose the context it runs.
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
    if (ScriptState != scIdle) Raise("Start", "script task not idle");
    if (!FScript) Raise("Start", "no script");
    if (!FContext) Raise("Start", "Context not initialized");
    Interpreter(); // made before the run begins
    TSLContextImplementation& c = Ctx();
    c.PushBlock(FScript.Get());
    c.Reset();
    auto* top = static_cast<TSLDictionary*>(c.DictStack().GetObjAtIndex(0));
    if (!top->GetNameExists("log")) top->AddObject("log", MakeRef<TSLScriptLogProcedure>().Get());
    c.FScriptTask = this;
    if (FDebug) {
        InstallDisplay();
        if (!FScriptDebugger) FScriptDebugger = TScriptDebuggerFactory().CreateScriptDebugger();
        FScriptDebugger->SetContext(&c);
        c.FDebug = true;
        FScriptDebugger->Clear();
        uint16_t id = 0;
        TStorageManager* manager = StorageManager();
        if (manager && !c.FScriptName.empty() && manager->GetStorageIDManager().NameExist(c.FScriptName, id))
            FScriptDebugger->AddScript(c.FScriptName, id);
        else if (const TDbgInfo* info = GetDbgInfo(FScript.Get()); manager && info && info->GetStorageID() != 0)
            // Read under another name (a plug-in's complete name): the name
            // its storage id was given.
            FScriptDebugger->AddScript(
                manager->GetStorageIDManager().GetIDInfo(info->GetStorageID()).Name, info->GetStorageID());
        FScriptDebugger->WaitForKey();
        FScriptDebugger->SetScriptTask(this);
        ScriptState = scStartStepInto;
    } else {
        c.FDebug = false;
        ScriptState = scStartRun;
    }
    ScriptSignal.SetReady(true);
}

void TScriptTask::Abort() {
    switch (ScriptState) {
    case scStartRun:
    case scStartStepInto:
    case scRun:
    case scStepInto:
    case scStepOver:
        ScriptState = scAborted;
        FErrorMsg = "script task aborted";
        // Woken in every case: a task that sleeps without time-out (waiting
        // for a native, at a breakpoint, between steps) sees it at once, and
        // one that is due anyway loses nothing.
        ScriptSignal.SetReady(true);
        break;
    default:
        break;
    }
}

bool TScriptTask::InRunState() const noexcept {
    return ScriptState == scRun || ScriptState == scStepInto || ScriptState == scStepOver;
}

void TScriptTask::Continue(void*) {
    if (InRunState()) ScriptSignal.SetReady(true);
}

void TScriptTask::StepInto() {
    if (!InRunState()) return;
    ScriptState = scStepInto;
    ScriptSignal.SetReady(true);
    if (FScriptDebugger) FScriptDebugger->WaitForStep();
}

void TScriptTask::StepOver() {
    if (!InRunState()) return;
    ScriptState = scStepOver;
    ScriptSignal.SetReady(true);
    if (FScriptDebugger) FScriptDebugger->WaitForStep();
}

void TScriptTask::Run() {
    if (!InRunState()) return;
    ScriptState = scRun;
    ScriptSignal.SetReady(true);
    if (FScriptDebugger) FScriptDebugger->Run();
}

void TScriptTask::Work() {
    try {
        switch (ScriptState) {
        case scIdle:
            ScriptSignal.SetReady(false);
            ScriptTask->WaitFor(ScriptSignal, MxInfinite);
            break;
        case scStartRun:
        case scStartStepInto: {
            ScriptState = ScriptState == scStartRun ? scRun : scStepInto;
            if (OnStart) {
                bool destroyed = false;
                FDestroyed = &destroyed;
                const auto handler = OnStart;
                handler(*this);
                if (destroyed) return;
                FDestroyed = nullptr;
            }
            break;
        }
        case scRun:
        case scStepInto:
        case scStepOver:
            ExecRun(ScriptState);
            break;
        case scFinished:
            Report(0);
            break;
        case scAborted:
            Report(1);
            break;
        }
    } catch (const std::exception& e) {
        FDestroyed = nullptr;
        Fail(e);
    }
}

void TScriptTask::Report(uint8_t AResult) {
    Result = AResult;
    ScriptState = scIdle;
    if (auto* c = dynamic_cast<TSLContextImplementation*>(FContext.Get()); c && c->FScriptTask == this)
        c->FScriptTask = nullptr;
    const bool autoFree = FAutoFree;
    if (FDebug && FScriptDebugger && AResult == 0) {
        FScriptDebugger->SetStatusLine("Script Finished!");
        FScriptDebugger->DeselectNextInstruction();
    }
    if (OnResponse) {
        // The handler may free the task (unless it frees itself) or start it
        // again.
        bool destroyed = false;
        FDestroyed = &destroyed;
        const auto handler = OnResponse;
        try {
            handler(*this);
        } catch (const std::exception& e) {
            LogError(std::string(ClassName()) + ".OnResponse: " + e.what());
        }
        if (destroyed) return;
        FDestroyed = nullptr;
    }
    if (autoFree && ScriptState == scIdle) DoAutoFree();
}

void TScriptTask::ExecRun(TScriptState Mode) {
    TSLContextImplementation& c = Ctx();
    if (c.GetState() == isBreakpoint) c.ResumeAfterBreakpoint(this);
    if (c.GetState() == isWaiting) {
        if (ScriptTask->ExecuteInfo() != eiTimeout && FWaitUntil >= 0) {
            const int64_t rest = FWaitUntil - MyGetTickCount();
            if (rest > 0) {
                // Woken (by a debugger command) before the native's wait
                // ended without an answer: the rest of the wait.
                ScriptSignal.SetReady(false);
                ScriptTask->WaitFor(ScriptSignal, rest);
                return;
            }
        } else if (ScriptTask->ExecuteInfo() != eiTimeout) {
            ScriptSignal.SetReady(false);
            ScriptTask->WaitFor(ScriptSignal, MxInfinite);
            return;
        }
        c.Resume(this);
        if (Mode == scStepInto && FScriptDebugger) FScriptDebugger->StepDone();
    }
    TSLInterpreter& interpreter = Interpreter();
    if (FDebug)
        InstallDisplay();
    else if (interpreter.FDbgDisplayEvent) {
        // A run without the debugger never stops at breakpoints and tells no
        // debugger of its tokens.
        interpreter.FDbgDisplayEvent = nullptr;
        if (DisplayHolder.Interpreter == &interpreter) DisplayHolder = {};
    }
    bool done = false;
    switch (Mode) {
    case scRun: done = interpreter.Run(&c); break;
    case scStepInto: done = interpreter.StepInto(&c); break;
    case scStepOver: done = interpreter.StepOver(&c); break;
    default: Raise("ExecRun", "internal error");
    }
    // The script aborted itself: reported at the next step, whatever it
    // began after the abort.
    if (ScriptState == scAborted) return;
    if (done) {
        if (FDebug && FScriptDebugger) FScriptDebugger->RunDone();
        ScriptState = scFinished;
        return;
    }
    ScriptSignal.SetReady(false);
    switch (c.GetState()) {
    case isExecuting:
    case isBreakpoint:
        ScriptTask->WaitFor(ScriptSignal, MxInfinite);
        if (FDebug && FScriptDebugger) FScriptDebugger->StepDone();
        break;
    case isWaiting: {
        const int32_t timeout = std::max<int32_t>(c.FTimeout, 0);
        FWaitUntil = timeout >= MxInfinite ? -1 : MyGetTickCount() + timeout;
        ScriptTask->WaitFor(ScriptSignal, timeout);
        break;
    }
    case isWaitZero:
        ScriptTask->WaitFor(ScriptSignal, 0);
        break;
    default:
        throw Exception("invalid interpreter state");
    }
}

void TScriptTask::Fail(const std::exception& E) {
    ScriptState = scAborted;
    MyAnsiString text = "Runtime error: internal error";
    try {
        auto* c = dynamic_cast<TSLContextImplementation*>(FContext.Get());
        TSLObject* where = nullptr;
        if (c) where = c->GetExceptToken() ? c->GetExceptToken() : c->GetUnresolvedToken();
        const MyAnsiString file = GetDbgFile(where);
        if (!file.empty()) {
            text = "[" + file + ", " + GetDbgLine(where) + "] Runtime error: ";
            if (FDebug && FScriptDebugger) {
                const TDbgInfo* info = GetDbgInfo(where);
                FScriptDebugger->SelectNextInstruction(info->GetStorageID(), info->GetTokPos(),
                                                       info->GetTokLength());
                FScriptDebugger->RefreshDbgViews();
            }
        } else {
            text = "Runtime error: ";
        }
        text += E.what();
    } catch (const std::exception&) {
    }
    FErrorMsg = text;
    LogError(text);
    if (FDebug && FScriptDebugger) {
        try {
            FScriptDebugger->SetStatusLine(text);
        } catch (const std::exception&) {
        }
    }
    if (ErrorBeep()) ErrorBeep()();
}

void TScriptTask::DbgEvent(TSLObject* Token) {
    if (!FScriptDebugger) return;
    const TDbgInfo* info = GetDbgInfo(Token);
    if (info && info->GetTokPos() != 0)
        FScriptDebugger->SelectNextInstruction(info->GetStorageID(), info->GetTokPos(), info->GetTokLength());
    else
        FScriptDebugger->DeselectNextInstruction();
}

void TScriptTask::InstallDisplay() {
    TSLInterpreter& interpreter = Interpreter();
    std::weak_ptr<TScriptTask*> self = FSelf;
    interpreter.FDbgDisplayEvent = [self](TSLObject* Token) {
        if (const auto task = self.lock()) (*task)->DbgEvent(Token);
    };
    DisplayHolder = {&interpreter, this};
}

void TScriptTask::RemoveDisplay() {
    if (DisplayHolder.Task == this) {
        DisplayHolder.Interpreter->FDbgDisplayEvent = nullptr;
        DisplayHolder = {};
    }
}

void TScriptTask::DoAutoFree() {
    // Freed by the pool's next purge, after this step has returned.
    (void)NewRefObj<TAutoFree>(true, std::unique_ptr<TScriptTaskInterface>(this));
}

// ---------------------------------------------------------------- factory and "log"

TScriptTaskFactory::TScriptTaskFactory(TSLInterpreter* Interpreter, TScriptTaskManager* Manager)
    : FInterpreter(Interpreter), FManager(Manager) {}

std::unique_ptr<TScriptTaskInterface> TScriptTaskFactory::CreateScriptTask() {
    return std::make_unique<TScriptTask>(FInterpreter.Get(), FManager);
}

void TSLScriptLogProcedure::Execute(TSLContext* Context) {
    LogInfo(Context->FContextInterface->PopString());
}

// ---------------------------------------------------------------- TScriptTaskManager

int32_t TScriptTaskManager::AnnounceCreation(TScriptTask& Item) {
    TaskList.push_back(&Item);
    Notify();
    return ++FTaskIDCount;
}

void TScriptTaskManager::AnnounceDestruction(TScriptTask& Item) {
    const auto it = std::find(TaskList.begin(), TaskList.end(), &Item);
    if (it != TaskList.end()) TaskList.erase(it);
    Notify();
}

TScriptTask& TScriptTaskManager::GetTask(int32_t Index) const {
    if (Index < 0 || Index >= GetCount())
        throw Exception("TScriptTaskManager.GetTask: index " + std::to_string(Index) + " out of range");
    return *TaskList[static_cast<std::size_t>(Index)];
}

int32_t TScriptTaskManager::IndexOf(const TScriptTaskInterface* Task) const {
    for (std::size_t i = 0; i < TaskList.size(); ++i)
        if (TaskList[i] == Task) return static_cast<int32_t>(i);
    return -1;
}

int32_t TScriptTaskManager::GetCountRunning() const {
    return static_cast<int32_t>(std::count_if(TaskList.begin(), TaskList.end(), [](TScriptTask* t) {
        return t->GetRunning();
    }));
}

int32_t TScriptTaskManager::AddOnChangeListener(TOnChangeEvent OnChangeEvent) {
    FOnChangeListenerList.push_back({++FNextToken, std::move(OnChangeEvent)});
    return FNextToken;
}

void TScriptTaskManager::RemoveOnChangeListener(int32_t Token) {
    const auto it = std::find_if(FOnChangeListenerList.begin(), FOnChangeListenerList.end(),
                                 [Token](const TOnChangeEventClass& L) { return L.Token == Token; });
    if (it != FOnChangeListenerList.end()) FOnChangeListenerList.erase(it);
}

void TScriptTaskManager::Notify() {
    // A listener may add or remove listeners: the list as it was.
    const std::vector<TOnChangeEventClass> listeners = FOnChangeListenerList;
    for (const TOnChangeEventClass& l : listeners)
        if (l.OnChangeEvent) l.OnChangeEvent(*this);
}

TScriptTaskManager& ScriptTaskManager() {
    static TScriptTaskManager manager;
    return manager;
}

} // namespace vo
