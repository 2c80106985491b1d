#include "kernel/MxTLib20.h"

#include "kernel/Debug.h"
#include "platform/Exception.h"
#include "platform/Time.h"

#include <algorithm>
#include <chrono>
#include <utility>
#include <vector>

namespace vo {

namespace {

// Guards the sleeps (suspensions without a control): Sleep, the wake-up on
// the timer thread and Kill/Terminate of a sleeping task. Taken where a
// control's lock would be: before the scheduler's and the timer queue's.
TCriticalSection& SleepLock() {
    static TCriticalSection* lock = new TCriticalSection;
    return *lock;
}

std::mutex& QueueRegistryMutex() {
    static std::mutex* m = new std::mutex;
    return *m;
}

std::vector<TMxTimerQueue*>& QueueRegistry() {
    static std::vector<TMxTimerQueue*>* v = new std::vector<TMxTimerQueue*>;
    return *v;
}

std::atomic<TMxScheduler*> GMainScheduler{nullptr};
std::mutex GMainSchedulerMutex;
// Not freed at process end (tasks of static lifetime may still refer to it);
// MxFreeMainScheduler frees it explicitly.
TMxScheduler* GMainSchedulerOwner = nullptr;

MyAnsiString StateText(TMxTaskState s) { return MxTaskStateText(s); }

} // namespace

const char* MxTaskStateText(TMxTaskState State) {
    switch (State) {
    case tsCreated: return "Created";
    case tsReady: return "Ready";
    case tsSuspended: return "Suspended";
    case tsTerminated: return "Terminated";
    }
    return "Unknown";
}

const char* MxExecuteInfoText(TMxExecuteInfo Info) {
    switch (Info) {
    case eiSuccess: return "eiSuccess";
    case eiTimeout: return "eiTimeout";
    case eiUnavailable: return "eiUnavailable";
    case eiReset: return "eiReset";
    case eiAbort: return "eiAbort";
    }
    return "Unknown";
}

int32_t MxWaitInterval(int64_t Timeout) noexcept {
    auto v = static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(Timeout) & 0xFFFFFFFFu));
    return v < 0 ? 0 : v;
}

int64_t MyGetTickCount() noexcept { return SteadyMilliseconds(); }

// ====================================================================== timers

TMxTimer::TMxTimer(TMxTimerQueue* Queue) : FQueue(Queue ? Queue : &MxTimerQueue()) {}

TMxTimer::~TMxTimer() {
    StopAndWait();
}

void TMxTimer::Initialize(int64_t Interval, bool Cyclic, bool AutoStart) {
    std::lock_guard<std::mutex> lock(FQueue->ProtectTimerQueue);
    if (FPending)
        FQueue->RemoveLocked(*this);
    ++FArmSeq;
    FInterval = Interval;
    FCyclic = Cyclic;
    if (AutoStart)
        FQueue->InsertLocked(*this);
}

void TMxTimer::Start() {
    std::lock_guard<std::mutex> lock(FQueue->ProtectTimerQueue);
    if (FPending)
        FQueue->RemoveLocked(*this);
    ++FArmSeq;
    FQueue->InsertLocked(*this);
}

void TMxTimer::Stop() {
    std::unique_lock<std::mutex> lock(FQueue->ProtectTimerQueue);
    FQueue->StopLocked(*this, lock, false);
}

void TMxTimer::StopAndWait() {
    std::unique_lock<std::mutex> lock(FQueue->ProtectTimerQueue);
    FQueue->StopLocked(*this, lock, true);
}

int64_t TMxTimer::Remaining() const {
    std::lock_guard<std::mutex> lock(FQueue->ProtectTimerQueue);
    int64_t r = FExpirationTime - MyGetTickCount();
    return r > 0 ? r : 0;
}

bool TMxTimer::Pending() const {
    std::lock_guard<std::mutex> lock(FQueue->ProtectTimerQueue);
    return FPending;
}

int64_t TMxTimer::Interval() const {
    std::lock_guard<std::mutex> lock(FQueue->ProtectTimerQueue);
    return FInterval;
}

bool TMxTimer::Cyclic() const {
    std::lock_guard<std::mutex> lock(FQueue->ProtectTimerQueue);
    return FCyclic;
}

int64_t TMxTimer::ExpirationTime() const {
    std::lock_guard<std::mutex> lock(FQueue->ProtectTimerQueue);
    return FExpirationTime;
}

void TMxTimer::Expiration() {
    if (FOnExpiration)
        FOnExpiration();
}

bool TMxTimer::IsCurrentExpiration() const {
    std::lock_guard<std::mutex> lock(FQueue->ProtectTimerQueue);
    return FArmSeq == FFireSeq && !FPending;
}

// ---------------------------------------------------------------- queue

TMxTimerQueue::TMxTimerQueue(std::string ThreadName) : TOurThread(std::move(ThreadName)) {
    {
        std::lock_guard<std::mutex> lock(QueueRegistryMutex());
        QueueRegistry().push_back(this);
    }
    Start();
}

TMxTimerQueue::~TMxTimerQueue() {
    Terminate();
    {
        std::lock_guard<std::mutex> lock(ProtectTimerQueue);
        FHeadChanged = true;
    }
    FEvent.notify_all();
    WaitFor();
    {
        std::lock_guard<std::mutex> lock(QueueRegistryMutex());
        auto& v = QueueRegistry();
        v.erase(std::remove(v.begin(), v.end(), this), v.end());
    }
    std::lock_guard<std::mutex> lock(ProtectTimerQueue);
    while (TimerQueue)
        RemoveLocked(*TimerQueue);
}

void TMxTimerQueue::InsertTimer(TMxTimer& Timer) {
    std::lock_guard<std::mutex> lock(ProtectTimerQueue);
    if (Timer.FPending)
        RemoveLocked(Timer);
    ++Timer.FArmSeq;
    InsertLocked(Timer);
}

void TMxTimerQueue::RemoveTimer(TMxTimer& Timer) {
    std::lock_guard<std::mutex> lock(ProtectTimerQueue);
    ++Timer.FArmSeq;
    if (Timer.FPending)
        RemoveLocked(Timer);
}

size_t TMxTimerQueue::Count() const {
    std::lock_guard<std::mutex> lock(ProtectTimerQueue);
    return FCount;
}

void TMxTimerQueue::InsertLocked(TMxTimer& Timer) {
    Timer.FExpirationTime = MyGetTickCount() + Timer.FInterval;
    Timer.FPending = true;
    // The queue is sorted by expiration time; a new timer goes behind every
    // timer that expires at the same time or earlier. New timers mostly
    // expire last, so the walk starts at the tail (a new earliest timer goes
    // straight to the head).
    TMxTimer* after = FTail;
    if (TimerQueue && Timer.FExpirationTime < TimerQueue->FExpirationTime)
        after = nullptr; // before every queued timer
    else
        while (after && after->FExpirationTime > Timer.FExpirationTime)
            after = after->Last;
    Timer.Last = after;
    Timer.Next = after ? after->Next : TimerQueue;
    if (Timer.Next)
        Timer.Next->Last = &Timer;
    else
        FTail = &Timer;
    if (after)
        after->Next = &Timer;
    else
        TimerQueue = &Timer;
    ++FCount;
    if (TimerQueue == &Timer) {
        FHeadChanged = true;
        FEvent.notify_one();
    }
}

void TMxTimerQueue::RemoveLocked(TMxTimer& Timer) {
    if (!Timer.FPending)
        return;
    if (Timer.Last)
        Timer.Last->Next = Timer.Next;
    else
        TimerQueue = Timer.Next;
    if (Timer.Next)
        Timer.Next->Last = Timer.Last;
    else
        FTail = Timer.Last;
    Timer.Last = Timer.Next = nullptr;
    Timer.FPending = false;
    --FCount;
}

void TMxTimerQueue::StopLocked(TMxTimer& Timer, std::unique_lock<std::mutex>& Lock, bool Wait) {
    ++Timer.FArmSeq;
    RemoveLocked(Timer);
    if (!Wait || FFiring != &Timer)
        return;
    if (IsCurrentThread()) {
        FFiringGone = true; // destroyed by its own handler: never touched again
        return;
    }
    FFiredCond.wait(Lock, [&] { return FFiring != &Timer; });
}

void TMxTimerQueue::Synchronize(bool TaskTimersOnly) {
    if (IsCurrentThread())
        return;
    std::unique_lock<std::mutex> lock(ProtectTimerQueue);
    if (!FFiring || (TaskTimersOnly && !FFiringIsTaskTimer))
        return;
    const uint64_t count = FFireCount;
    FFiredCond.wait(lock, [&] { return FFireCount != count; });
}

void TMxTimerQueue::SynchronizeAll(bool TaskTimersOnly) {
    std::vector<TMxTimerQueue*> queues;
    {
        std::lock_guard<std::mutex> lock(QueueRegistryMutex());
        queues = QueueRegistry();
    }
    for (auto* q : queues)
        q->Synchronize(TaskTimersOnly);
}

void TMxTimerQueue::Execute() {
    SetName();
    std::unique_lock<std::mutex> lock(ProtectTimerQueue);
    while (!Terminated()) {
        TMxTimer* t = TimerQueue;
        if (t && t->FExpirationTime <= MyGetTickCount()) {
            RemoveLocked(*t);
            t->FFireSeq = t->FArmSeq;
            FFiring = t;
            FFiringGone = false;
            FFiringIsTaskTimer = t->FTaskTimer;
            lock.unlock();
            try {
                t->Expiration();
            } catch (const std::exception& e) {
                LogError(MyAnsiString("MxTimerQueue: timer expiration failed: ") + e.what());
            } catch (...) {
                LogError("MxTimerQueue: timer expiration failed");
            }
            lock.lock();
            // A cyclic timer goes round again from now, unless its handler (or
            // anyone meanwhile) stopped, restarted or destroyed it.
            if (!FFiringGone && t->FCyclic && t->FArmSeq == t->FFireSeq && !t->FPending) {
                ++t->FArmSeq;
                t->FFireSeq = t->FArmSeq;
                InsertLocked(*t);
            }
            FFiring = nullptr;
            ++FFireCount;
            FFiredCond.notify_all();
            continue;
        }
        FHeadChanged = false;
        if (t) {
            const auto until = std::chrono::steady_clock::time_point(std::chrono::milliseconds(t->FExpirationTime));
            FEvent.wait_until(lock, until, [&] { return FHeadChanged || Terminated(); });
        } else {
            FEvent.wait(lock, [&] { return FHeadChanged || Terminated(); });
        }
    }
}

TMxTimerQueue& MxTimerQueue() {
    static TMxTimerQueue* queue = new TMxTimerQueue("MxTimerQueue");
    return *queue;
}

// ====================================================================== tasks

TMxTask::TMxTask(TMxScheduler& AScheduler, MyAnsiString ACaption)
    : FCaption(std::move(ACaption)), FScheduler(&AScheduler), FTimer(*this, nullptr) {
}

static TMxScheduler& MainSchedulerOrRaise() {
    TMxScheduler* s = MxScheduler();
    if (!s)
        throw Exception("Main Scheduler not created!");
    return *s;
}

TMxTask::TMxTask(MyAnsiString ACaption) : TMxTask(MainSchedulerOrRaise(), std::move(ACaption)) {}

std::unique_ptr<TMxTask> TMxTask::CreateMain(MyAnsiString ACaption) {
    return std::make_unique<TMxTask>(std::move(ACaption));
}

void TMxTask::ClearHooks() {
    FOnExecute = nullptr;
    FOnSuspend = nullptr;
    FOnResume = nullptr;
    FOnTimeout = nullptr;
    FOnSignal = nullptr;
}

TMxTask::~TMxTask() {
    // The hooks could reach into a derived object that is already gone: the
    // wait hooks are skipped from here on. The step hooks are left alone until
    // a step running on another thread has ended (clearing them under it would
    // race with its call).
    FDying.store(true);
    try {
        Kill();
    } catch (...) {
    }
    FTimer.StopAndWait();
    // A step of this task may still be running.
    {
        std::unique_lock<std::mutex> lock(FScheduler->ProtectTaskList);
        if (FScheduler->FRunning == this) {
            if (FScheduler->FRunningThread == std::this_thread::get_id()) {
                FScheduler->FRunningGone = true; // destroyed by its own step
                return;
            }
            FScheduler->FStepDone.wait(lock, [this] { return FScheduler->FRunning != this; });
        }
    }
    ClearHooks();
}

void TMxTask::Start() {
    // Once the task is in a ready list a threaded scheduler may run it, and a
    // task may free itself in its first step: touch no member after that.
    TMxScheduler* const scheduler = FScheduler;
    bool woken = false;
    {
        std::lock_guard<std::mutex> lock(FScheduler->ProtectTaskList);
        const TMxTaskState s = FState.load();
        if (s != tsCreated && s != tsTerminated)
            throw Exception("Can not start task");
        FState.store(tsReady);
        woken = FScheduler->InsertLocked(*this);
    }
    if (woken)
        scheduler->Woken();
}

void TMxTask::Terminate() {
    for (int round = 0;; ++round) {
        const TMxTaskState s = FState.load();
        if (s == tsCreated)
            throw Exception("Task Terminate Error: Actual State = Created");
        if (s == tsTerminated)
            throw Exception("Task Terminate Error: Actual State = Terminated");
        if (s == tsReady) {
            std::lock_guard<std::mutex> lock(FScheduler->ProtectTaskList);
            if (FState.load() != tsReady)
                continue;
            FScheduler->RemoveLocked(*this);
            FState.store(tsTerminated);
            return;
        }
        // Suspended: leave the wait first, straight into tsTerminated.
        if (TMxTaskControl* c = FSuspender.load()) {
            if (c->AbortWaiting(*this))
                return;
        } else {
            std::lock_guard<TCriticalSection> sleep(SleepLock());
            if (FState.load() == tsSuspended && FSuspender.load() == nullptr) {
                TaskAbortWait(nullptr);
                return;
            }
        }
        // The state changed under us (resumed meanwhile): look again.
    }
}

void TMxTask::Kill() {
    const TMxTaskState s = FState.load();
    if (s == tsCreated || s == tsTerminated)
        return;
    try {
        Terminate();
    } catch (const Exception&) {
        // became created/terminated meanwhile: nothing to do
    }
}

void TMxTask::Sleep(int32_t ATime) {
    std::lock_guard<TCriticalSection> sleep(SleepLock());
    if (FState.load() != tsReady) {
        LogInfo("Task Sleep Error");
        throw Exception("Task Sleep Error");
    }
    TaskSuspend(nullptr, ATime);
}

void TMxTask::WaitFor(TMxTaskControl& ATaskControl, int64_t ATimeout) {
    ATaskControl.TaskWaitFor(*this, ATimeout);
}

void TMxTask::SetPriority(uint8_t Value) {
    std::lock_guard<std::mutex> lock(FScheduler->ProtectTaskList);
    if (FState.load() == tsReady)
        throw Exception("Task Set Priority Error");
    if (Value > 4)
        throw Exception("Invalid Priority Value");
    FPriority = Value;
}

uint8_t TMxTask::Priority() const {
    std::lock_guard<std::mutex> lock(FScheduler->ProtectTaskList);
    return FPriority;
}

void TMxTask::Execute() {
    if (!FOnExecute)
        return;
    try {
        FOnExecute(*this);
    } catch (const Exception& e) {
        LogInfo(MyAnsiString(e.what()) + " - " + FCaption);
    }
}

void TMxTask::TaskExecute() {
    // Active is set and cleared by the scheduler: the task may be gone
    // (destroyed by its own step) when Execute returns.
    if (Signal.any()) {
        if (FOnSignal)
            FOnSignal(*this);
        Signal.reset();
    }
    Execute();
}

void TMxTask::TaskSuspend(TMxTaskControl* Control, int64_t Interval) {
    {
        std::lock_guard<std::mutex> lock(FScheduler->ProtectTaskList);
        const TMxTaskState s = FState.load();
        if (s != tsReady) {
            // A task that already waits cannot wait a second time: it would be
            // linked into two lists at once.
            throw Exception("Task Suspend Error! Actual State = " + StateText(s) + " " + FCaption);
        }
        FScheduler->RemoveLocked(*this);
        FSuspender.store(Control);
        FState.store(tsSuspended);
    }
    const int32_t interval = MxWaitInterval(Interval);
    if (interval != MxInfinite) {
        FTimer.FSleep.store(Control == nullptr);
        FTimer.Initialize(interval, false, true);
    }
    if (FOnSuspend && !FDying.load())
        FOnSuspend(*this);
}

void TMxTask::TaskResume(TMxTaskControl* Control, TMxExecuteInfo Info) {
    if (FState.load() != tsSuspended || FSuspender.load() != Control)
        throw Exception("Task Resume Error");
    // Stop the timer before the task can run again: once it is ready it may
    // wait anew (on a threaded scheduler at once) and arm the timer itself.
    FTimer.Stop();
    FExecuteInfo.store(Info);
    if (FOnResume && !FDying.load())
        FOnResume(*this);
    TMxScheduler* const scheduler = FScheduler; // the task may be gone after the insertion
    bool woken;
    {
        std::lock_guard<std::mutex> lock(FScheduler->ProtectTaskList);
        FSuspender.store(nullptr);
        FState.store(tsReady);
        woken = FScheduler->InsertLocked(*this);
    }
    if (woken)
        scheduler->Woken();
}

void TMxTask::TaskAbortWait(TMxTaskControl* Control) {
    FTimer.Stop();
    FExecuteInfo.store(eiAbort);
    if (FOnResume && !FDying.load())
        FOnResume(*this);
    std::lock_guard<std::mutex> lock(FScheduler->ProtectTaskList);
    (void)Control;
    FSuspender.store(nullptr);
    FState.store(tsTerminated);
}

void TMxTask::WakeUp() {
    std::lock_guard<TCriticalSection> sleep(SleepLock());
    if (!FTimer.Current())
        return; // late: the sleep already ended (killed, terminated)
    if (FState.load() != tsSuspended || FSuspender.load() != nullptr)
        return;
    TaskResume(nullptr, eiSuccess);
}

void TMxTask::Timeout() {
    TMxTaskControl* c = FSuspender.load();
    if (!c)
        return; // late: the wait already ended
    c->TimeoutTask(*this);
}

void TMxTask::TMxTaskTimer::Expiration() {
    if (FSleep.load())
        FTask.WakeUp();
    else
        FTask.Timeout();
}

// ====================================================================== controls

TMxTaskControl::TMxTaskControl() = default;

TMxTaskControl::~TMxTaskControl() {
    {
        std::lock_guard<TCriticalSection> lock(ProtectStruct);
        while (FWaitingTasks)
            ResumeTask(*FWaitingTasks, eiReset);
    }
    // A time-out of one of the tasks that just left may be running on the
    // timer thread with a pointer to this control: let it finish first.
    TMxTimerQueue::SynchronizeAll(true);
}

int32_t TMxTaskControl::WaitingCount() const {
    std::lock_guard<TCriticalSection> lock(ProtectStruct);
    return FTaskCount;
}

void TMxTaskControl::ReleaseTask(TMxTask& Task) {
    ReleaseWithInfo(Task, eiAbort);
}

void TMxTaskControl::Reset() {
    std::lock_guard<TCriticalSection> lock(ProtectStruct);
    while (FWaitingTasks)
        ResumeTask(*FWaitingTasks, eiReset);
}

bool TMxTaskControl::IsWaiting(const TMxTask& Task) const {
    // The task's suspender changes only under this control's lock while it is
    // (or becomes) this control.
    return Task.FState.load() == tsSuspended && Task.FSuspender.load() == this;
}

void TMxTaskControl::SuspendTask(TMxTask& Task, int64_t Interval) {
    std::lock_guard<TCriticalSection> lock(ProtectStruct);
    Task.TaskSuspend(this, Interval);
    // Append at the tail of the circular FIFO.
    if (!FWaitingTasks) {
        Task.Last = Task.Next = &Task;
        FWaitingTasks = &Task;
    } else {
        TMxTask* tail = FWaitingTasks->Last;
        Task.Last = tail;
        Task.Next = FWaitingTasks;
        tail->Next = &Task;
        FWaitingTasks->Last = &Task;
    }
    ++FTaskCount;
}

void TMxTaskControl::Unlink(TMxTask& Task) {
    if (Task.Next == &Task) {
        FWaitingTasks = nullptr;
    } else {
        Task.Last->Next = Task.Next;
        Task.Next->Last = Task.Last;
        if (FWaitingTasks == &Task)
            FWaitingTasks = Task.Next;
    }
    Task.Last = Task.Next = nullptr;
    --FTaskCount;
}

void TMxTaskControl::ResumeTask(TMxTask& Task, TMxExecuteInfo Info) {
    std::lock_guard<TCriticalSection> lock(ProtectStruct);
    if (!IsWaiting(Task))
        throw Exception("Task Resume Error");
    Unlink(Task);
    Task.TaskResume(this, Info);
}

void TMxTaskControl::ReleaseWithInfo(TMxTask& Task, TMxExecuteInfo Info) {
    std::lock_guard<TCriticalSection> lock(ProtectStruct);
    if (!IsWaiting(Task))
        throw Exception("Release Task Error");
    ResumeTask(Task, Info);
}

bool TMxTaskControl::AbortWaiting(TMxTask& Task) {
    std::lock_guard<TCriticalSection> lock(ProtectStruct);
    if (!IsWaiting(Task))
        return false;
    Unlink(Task);
    Task.TaskAbortWait(this);
    return true;
}

void TMxTaskControl::TimeoutTask(TMxTask& Task) {
    std::lock_guard<TCriticalSection> lock(ProtectStruct);
    // Late when the task was released meanwhile (perhaps waiting again since).
    if (!IsWaiting(Task) || !Task.FTimer.Current())
        return;
    if (Task.FOnTimeout && !Task.FDying.load())
        Task.FOnTimeout(Task);
    ResumeTask(Task, eiTimeout);
}

// ---------------------------------------------------------------- signal

void TMxSignal::SetReady(bool Value) {
    std::lock_guard<TCriticalSection> lock(ProtectStruct);
    FReady = Value;
    if (Value)
        while (FWaitingTasks)
            ResumeTask(*FWaitingTasks, eiSuccess);
}

bool TMxSignal::Ready() const {
    std::lock_guard<TCriticalSection> lock(ProtectStruct);
    return FReady;
}

void TMxSignal::TaskWaitFor(TMxTask& Task, int64_t Timeout) {
    std::lock_guard<TCriticalSection> lock(ProtectStruct);
    if (FReady)
        SetTaskInfo(Task, eiSuccess);
    else if (Timeout == MxNoWait)
        SetTaskInfo(Task, eiUnavailable);
    else
        SuspendTask(Task, Timeout);
}

// ---------------------------------------------------------------- semaphore

void TMxSemaphore::Release(TMxTask& Sender) {
    std::lock_guard<TCriticalSection> lock(ProtectStruct);
    if (&Sender != ActualTask) {
        LogInfo("Semaphore Release Error");
        throw Exception("Semaphore Release Error");
    }
    if (TMxTask* next = FWaitingTasks) {
        ActualTask = next;
        ResumeTask(*next, eiSuccess);
    } else {
        ActualTask = nullptr;
    }
}

bool TMxSemaphore::IsOwner(const TMxTask& Sender) const {
    return Owner() == &Sender;
}

TMxTask* TMxSemaphore::Owner() const {
    std::lock_guard<TCriticalSection> lock(ProtectStruct);
    return ActualTask;
}

void TMxSemaphore::TaskWaitFor(TMxTask& Task, int64_t Timeout) {
    std::lock_guard<TCriticalSection> lock(ProtectStruct);
    if (!ActualTask) {
        ActualTask = &Task;
        SetTaskInfo(Task, eiSuccess);
    } else if (Timeout == MxNoWait) {
        SetTaskInfo(Task, eiUnavailable);
    } else {
        SuspendTask(Task, Timeout);
    }
}

// ====================================================================== schedulers

class TMxScheduler::TMxSchedulerThread : public TOurThread {
public:
    TMxSchedulerThread(TMxScheduler& Owner, std::string Name) : TOurThread(std::move(Name)), FOwner(Owner) {}
    ~TMxSchedulerThread() override { Stop(); }
    void Stop() {
        Terminate();
        FOwner.TaskReady->SetEvent();
        WaitFor();
    }

protected:
    void Execute() override {
        SetName();
        SetCurrentThreadPriorityOffset(1); // one step below normal
        while (!Terminated())
            FOwner.Execute();
    }

private:
    TMxScheduler& FOwner;
};

TMxScheduler::TMxScheduler() = default;

TMxScheduler::TMxScheduler(TMainLoop& Loop) : FMainLoop(&Loop) {}

std::unique_ptr<TMxScheduler> TMxScheduler::CreateThreaded(std::string ThreadName) {
    std::unique_ptr<TMxScheduler> s(new TMxScheduler());
    s->Threaded = true;
    s->TaskReady = std::make_unique<TEvent>(true, false);
    s->TaskThread = std::make_unique<TMxSchedulerThread>(*s, ThreadName.empty() ? "MxSchedulerThread" : ThreadName);
    s->TaskThread->Start();
    return s;
}

TMxScheduler::~TMxScheduler() {
    if (TaskThread)
        TaskThread->Stop();
    TaskThread.reset();
}

bool TMxScheduler::IsSchedulerThread() const {
    return TaskThread && TaskThread->IsCurrentThread();
}

bool TMxScheduler::InsertLocked(TMxTask& Task) {
    const uint8_t p = Task.FPriority;
    Task.FListPriority = p;
    TMxTask*& head = ReadyTasks[p];
    if (!head) {
        Task.Last = Task.Next = &Task;
        head = &Task;
    } else {
        TMxTask* tail = head->Last;
        Task.Last = tail;
        Task.Next = head;
        tail->Next = &Task;
        head->Last = &Task;
    }
    const int32_t before = FTaskCount.fetch_add(1);
    if (before == 0) {
        if (Threaded)
            TaskReady->SetEvent();
        return true;
    }
    return false;
}

void TMxScheduler::RemoveLocked(TMxTask& Task) {
    TMxTask*& head = ReadyTasks[Task.FListPriority];
    if (Task.Next == &Task) {
        head = nullptr;
    } else {
        Task.Last->Next = Task.Next;
        Task.Next->Last = Task.Last;
        if (head == &Task)
            head = Task.Next;
    }
    Task.Last = Task.Next = nullptr;
    if (FTaskCount.fetch_sub(1) == 1 && Threaded)
        TaskReady->ResetEvent();
}

void TMxScheduler::Woken() {
    std::lock_guard<std::mutex> lock(FLoopLock);
    if (FMainLoop)
        FMainLoop->PostWakeUp();
}

TMainLoop* TMxScheduler::MainLoop() const {
    std::lock_guard<std::mutex> lock(FLoopLock);
    return FMainLoop;
}

void TMxScheduler::DetachMainLoop() {
    TMainLoop* loop;
    {
        std::lock_guard<std::mutex> lock(FLoopLock);
        loop = std::exchange(FMainLoop, nullptr);
    }
    if (loop)
        loop->SetIdleHandler(nullptr);
}

void TMxScheduler::InsertTask(TMxTask& Task) {
    bool woken;
    {
        std::lock_guard<std::mutex> lock(ProtectTaskList);
        woken = InsertLocked(Task);
    }
    if (woken)
        Woken();
}

void TMxScheduler::RemoveTask(TMxTask& Task) {
    std::lock_guard<std::mutex> lock(ProtectTaskList);
    RemoveLocked(Task);
}

void TMxScheduler::Execute() {
    if (Busy.exchange(true))
        return; // a nested call (a step that pumps messages) does nothing
    struct BusyGuard {
        std::atomic<bool>& B;
        ~BusyGuard() { B.store(false); }
    } guard{Busy};

    TMxTask* task = nullptr;
    {
        std::lock_guard<std::mutex> lock(ProtectTaskList);
        for (auto& head : ReadyTasks) {
            if (head) {
                task = head;
                head = head->Next;
                // Active from the moment it is taken: a Kill from another
                // thread that comes after this sees a running step.
                task->Active.store(true);
                FRunning = task;
                FRunningThread = std::this_thread::get_id();
                FRunningGone = false;
                break;
            }
        }
    }
    if (!task) {
        if (Threaded && !(TaskThread && TaskThread->Terminated()))
            TaskReady->WaitFor(TEvent::Infinite);
        return;
    }
    auto caption = [&]() -> MyAnsiString {
        std::lock_guard<std::mutex> lock(ProtectTaskList);
        return FRunningGone ? MyAnsiString("(freed task)") : task->Caption();
    };
    try {
        task->TaskExecute();
    } catch (const std::exception& e) {
        // Not the general exception class: still no reason to take the
        // scheduler (or its thread) down.
        LogError(MyAnsiString(e.what()) + " - " + caption());
    } catch (...) {
        LogError("unknown exception - " + caption());
    }
    {
        std::lock_guard<std::mutex> lock(ProtectTaskList);
        if (!FRunningGone)
            task->Active.store(false);
        FRunning = nullptr;
        FRunningGone = false;
    }
    FStepDone.notify_all();
}

void TMxScheduler::AppIdleExecute(bool& Done) {
    if (FTaskCount.load() > 0)
        Execute();
    Done = FTaskCount.load() == 0;
}

// ====================================================================== program-wide

TMxScheduler* MxScheduler() noexcept { return GMainScheduler.load(); }

TMxScheduler& MxCreateMainScheduler(TMainLoop& Loop) {
    std::lock_guard<std::mutex> lock(GMainSchedulerMutex);
    if (GMainSchedulerOwner)
        throw Exception("MxCreateMainScheduler: main scheduler already created");
    GMainSchedulerOwner = new TMxScheduler(Loop);
    TMxScheduler* s = GMainSchedulerOwner;
    Loop.SetIdleHandler([s](bool& Done) { s->AppIdleExecute(Done); });
    GMainScheduler.store(s);
    return *s;
}

void MxFreeMainScheduler() {
    std::lock_guard<std::mutex> lock(GMainSchedulerMutex);
    if (!GMainSchedulerOwner)
        return;
    if (TMainLoop* loop = GMainSchedulerOwner->MainLoop())
        loop->SetIdleHandler(nullptr);
    GMainScheduler.store(nullptr);
    delete GMainSchedulerOwner;
    GMainSchedulerOwner = nullptr;
}

} // namespace vo
