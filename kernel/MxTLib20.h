#pragma once
// The task kernel: cooperative tasks run step by step by schedulers, waits on
// signals, semaphores and queues, and the millisecond timer queue.
//
// A task is an object with a step handler; a scheduler calls one step of one
// ready task at a time and a step always runs to its end. A task that has to
// wait registers the wait from inside its step (WaitFor, Sleep) and returns;
// the kernel takes it out of the ready lists and puts it back when the wait
// ends. The next step reads ExecuteInfo() to learn why it was resumed.
//
// Schedulers: the main scheduler runs from the GUI thread's idle handler
// (MxCreateMainScheduler on a TMainLoop); threaded schedulers have their own
// thread (TMxScheduler::CreateThreaded). One timer-queue thread,
// "MxTimerQueue", serves every timer: task time-outs, sleeps, service timers.
//
// Ownership: tasks, controls and timers are owned by their creators; the
// kernel only links them (all lists are intrusive). A task must be destroyed
// before its scheduler. Destroying a task kills it (a task may destroy itself
// from its own step; destroyed on another thread while its step runs, the
// destructor waits for the step to end); destroying a control resumes its
// waiting tasks with eiReset.
//
// Locks are taken in the order: task control (queue, signal, semaphore), then
// scheduler, then timer queue. Expiration handlers run on the timer thread
// without the queue's lock.
#include "kernel/ThrdMan.h"
#include "platform/AnsiString.h"
#include "platform/MainLoop.h"
#include "platform/Thread.h"

#include <array>
#include <atomic>
#include <bitset>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace vo {

enum TMxTaskState : uint8_t { tsCreated,
                              tsReady,
                              tsSuspended,
                              tsTerminated };

// Why a task continues after a wait.
enum TMxExecuteInfo : uint8_t {
    eiSuccess, // the awaited object was available or released the task
    eiTimeout, // the wait's time limit expired
    eiUnavailable, // the object was not available and the caller asked not to wait
    eiReset, // the object was reset or destroyed
    eiAbort // the wait was aborted (ReleaseTask, Kill)
};

const char* MxTaskStateText(TMxTaskState State); // "Created", "Ready", ...
const char* MxExecuteInfoText(TMxExecuteInfo Info); // "eiSuccess", ...

class TMxTask;
class TMxTaskControl;
class TMxScheduler;
class TMxTimerQueue;

using TMxTaskEvent = std::function<void(TMxTask& Sender)>;
using TMxTimerEvent = std::function<void()>;

// Time-out arguments of every wait: MxNoWait (-1) does not wait; any other
// value counts as a signed 32-bit millisecond number (its low 32 bits);
// MxInfinite waits without time limit and arms no timer.
inline constexpr int64_t MxNoWait = -1;
inline constexpr int64_t MxInfinite = 0x7FFFFFFF;
// The interval a time-out argument stands for (negative values count as 0).
int32_t MxWaitInterval(int64_t Timeout) noexcept;

// 64-bit milliseconds on the steady clock.
int64_t MyGetTickCount() noexcept;

// ------------------------------------------------------------------ timers

class TMxTimer {
public:
    // Queue nullptr: the program's timer queue, MxTimerQueue().
    explicit TMxTimer(TMxTimerQueue* Queue = nullptr);
    // Stops the timer; when its expiration is running on the timer thread,
    // waits until it has returned (unless called from that handler).
    virtual ~TMxTimer();
    TMxTimer(const TMxTimer&) = delete;
    TMxTimer& operator=(const TMxTimer&) = delete;

    // Removes a pending timer, stores interval and kind, and inserts it when
    // AutoStart (the interval counts from now).
    void Initialize(int64_t Interval, bool Cyclic, bool AutoStart);
    void Start(); // (re)inserts; the interval counts from now
    void Stop(); // removes when pending; a running expiration is not repeated
    // Stop, then wait for an expiration running on the timer thread to return.
    void StopAndWait();
    // Milliseconds until expiration, 0 when due.
    int64_t Remaining() const;
    bool Pending() const;
    int64_t Interval() const;
    bool Cyclic() const;
    int64_t ExpirationTime() const;
    // The handler (set it while the timer is stopped).
    void SetOnExpiration(TMxTimerEvent Handler) { FOnExpiration = std::move(Handler); }
    TMxTimerQueue& Queue() const { return *FQueue; }

    // Called on the timer thread when the timer expires; calls the handler.
    virtual void Expiration();

protected:
    // Inside Expiration: false when the timer was stopped or restarted since
    // this expiration was taken from the queue (a late expiration).
    bool IsCurrentExpiration() const;
    void MarkTaskTimer() { FTaskTimer = true; }

private:
    friend class TMxTimerQueue;

    TMxTimer* Last = nullptr;
    TMxTimer* Next = nullptr;
    bool FPending = false;
    int64_t FExpirationTime = 0;
    int64_t FInterval = 0;
    bool FCyclic = false;
    TMxTimerEvent FOnExpiration;
    TMxTimerQueue* FQueue;
    bool FTaskTimer = false; // the kernel's own timer of a task
    uint64_t FArmSeq = 0; // changes with every start and stop
    uint64_t FFireSeq = 0; // FArmSeq when the running expiration was taken
};

// The timer thread: one queue of timers sorted by expiration time. Timers with
// equal expiration times expire in insertion order. A cyclic timer is queued
// again after its handler has returned, counting from then (the period does
// not make up for delays). A handler's exception is logged and the thread
// goes on.
class TMxTimerQueue : public TOurThread {
public:
    explicit TMxTimerQueue(std::string ThreadName = "MxTimerQueue"); // starts the thread
    ~TMxTimerQueue() override; // stops the thread; queued timers are unlinked

    void InsertTimer(TMxTimer& Timer);
    void RemoveTimer(TMxTimer& Timer);
    size_t Count() const;

    // Returns once no expiration that was running at the call is still
    // running (immediately on the timer thread itself). TaskTimersOnly limits
    // the wait to the kernel's own task time-outs and wake-ups.
    void Synchronize(bool TaskTimersOnly = false);
    // Synchronize on every timer queue of the program.
    static void SynchronizeAll(bool TaskTimersOnly);

protected:
    void Execute() override;

private:
    friend class TMxTimer;
    void InsertLocked(TMxTimer& Timer);
    void RemoveLocked(TMxTimer& Timer);
    void StopLocked(TMxTimer& Timer, std::unique_lock<std::mutex>& Lock, bool Wait);

    mutable std::mutex ProtectTimerQueue;
    std::condition_variable FEvent; // the head changed or termination
    std::condition_variable FFiredCond; // an expiration returned
    bool FHeadChanged = false;
    TMxTimer* TimerQueue = nullptr; // head
    TMxTimer* FTail = nullptr;
    size_t FCount = 0;
    TMxTimer* FFiring = nullptr; // the timer whose expiration runs
    bool FFiringIsTaskTimer = false;
    bool FFiringGone = false; // it was destroyed by its own handler
    uint64_t FFireCount = 0;
};

// ------------------------------------------------------------------ tasks

class TMxTask {
public:
    // A task on AScheduler: state tsCreated, priority 2.
    TMxTask(TMxScheduler& AScheduler, MyAnsiString ACaption);
    // A task on the main scheduler; raises "Main Scheduler not created!"
    // while there is none.
    explicit TMxTask(MyAnsiString ACaption);
    static std::unique_ptr<TMxTask> CreateMain(MyAnsiString ACaption);
    // Kills the task (a waiting or sleeping task leaves its wait) and stops
    // its timer. Hooks are not called during destruction.
    virtual ~TMxTask();
    TMxTask(const TMxTask&) = delete;
    TMxTask& operator=(const TMxTask&) = delete;

    // From tsCreated or tsTerminated: ready. Otherwise "Can not start task".
    void Start();
    // From tsReady: terminated. A waiting task leaves its control's list, a
    // sleeping task's timer is stopped, before it becomes terminated.
    // Raises "Task Terminate Error: Actual State = Created" or
    // "... = Terminated".
    void Terminate();
    // Ready or suspended: terminated (a task waiting on a control is released
    // with eiAbort). Created or terminated: no change.
    void Kill();
    // From the task's own step: suspends it for ATime ms, then it continues
    // with eiSuccess. Otherwise logs and raises "Task Sleep Error".
    void Sleep(int32_t ATime);
    // From the task's own step: waits on the control (see MxNoWait/MxInfinite).
    void WaitFor(TMxTaskControl& ATaskControl, int64_t ATimeout);
    // "Task Set Priority Error" while ready; "Invalid Priority Value" above 4.
    void SetPriority(uint8_t Value);

    uint8_t Priority() const;
    bool IsActive() const { return Active.load(); }
    bool IsReady() const { return State() == tsReady; }
    TMxTaskState State() const { return FState.load(); }
    TMxExecuteInfo ExecuteInfo() const { return FExecuteInfo.load(); }
    const MyAnsiString& Caption() const { return FCaption; }
    void SetCaption(MyAnsiString Caption) { FCaption = std::move(Caption); }
    TMxScheduler& Scheduler() const { return *FScheduler; }
    // The control the task waits on (nullptr while ready or sleeping).
    TMxTaskControl* Suspender() const { return FSuspender.load(); }
    TMxTimer& Timer() { return FTimer; }

    // Hooks. Set them before the task starts; they run on the thread that
    // causes the event (the timer thread for time-outs).
    void SetOnExecute(TMxTaskEvent Handler) { FOnExecute = std::move(Handler); }
    void SetOnSuspend(TMxTaskEvent Handler) { FOnSuspend = std::move(Handler); }
    void SetOnResume(TMxTaskEvent Handler) { FOnResume = std::move(Handler); }
    void SetOnTimeout(TMxTaskEvent Handler) { FOnTimeout = std::move(Handler); }
    void SetOnSignal(TMxTaskEvent Handler) { FOnSignal = std::move(Handler); }

    // Pending signals 0..255 (the task's own thread): OnSignal is called
    // before a step when any is set, then they are cleared.
    std::bitset<256> Signal;

protected:
    // One step: calls the OnExecute handler. A vo::Exception it raises
    // becomes an info log line "<message> - <caption>".
    virtual void Execute();

private:
    friend class TMxScheduler;
    friend class TMxTaskControl;

    class TMxTaskTimer : public TMxTimer {
    public:
        TMxTaskTimer(TMxTask& Task, TMxTimerQueue* Queue) : TMxTimer(Queue), FTask(Task) { MarkTaskTimer(); }
        void Expiration() override;
        bool Current() const { return IsCurrentExpiration(); }
        std::atomic<bool> FSleep{false};
        TMxTask& FTask;
    };

    void TaskExecute();
    // Under the control's lock (or the sleep lock when Control is nullptr).
    void TaskSuspend(TMxTaskControl* Control, int64_t Interval);
    void TaskResume(TMxTaskControl* Control, TMxExecuteInfo Info);
    // Under the control's lock: leaves the wait straight into tsTerminated.
    void TaskAbortWait(TMxTaskControl* Control);
    void SetTaskInfo(TMxExecuteInfo Info) { FExecuteInfo.store(Info); }
    void WakeUp(); // timer thread: end of a sleep
    void Timeout(); // timer thread: end of a wait's time limit
    void ClearHooks();

    MyAnsiString FCaption;
    std::atomic<TMxTaskState> FState{tsCreated};
    std::atomic<bool> Active{false};
    std::atomic<bool> FDying{false}; // the destructor has begun: no more wait hooks
    std::atomic<TMxExecuteInfo> FExecuteInfo{eiSuccess};
    TMxTask* Last = nullptr; // ready list or waiting list
    TMxTask* Next = nullptr;
    uint8_t FPriority = 2;
    uint8_t FListPriority = 2; // the ready list it is in
    std::atomic<TMxTaskControl*> FSuspender{nullptr};
    TMxScheduler* FScheduler;
    TMxTaskEvent FOnExecute, FOnSuspend, FOnResume, FOnTimeout, FOnSignal;
    TMxTaskTimer FTimer; // last member: destroyed first
};

// ------------------------------------------------------------------ controls

// The abstract waitable object. Subclasses decide in TaskWaitFor, under
// ProtectStruct, whether the task continues (SetTaskInfo) or waits
// (SuspendTask); the test and the suspension are one step with respect to
// releases on other threads because both hold ProtectStruct.
class TMxTaskControl {
public:
    TMxTaskControl();
    // Resets (waiting tasks resume with eiReset) and waits for time-outs of
    // its tasks that are running on the timer thread.
    virtual ~TMxTaskControl();
    TMxTaskControl(const TMxTaskControl&) = delete;
    TMxTaskControl& operator=(const TMxTaskControl&) = delete;

    // Releases a waiting task with eiAbort; "Release Task Error" when it does
    // not wait here.
    virtual void ReleaseTask(TMxTask& Task);
    // Releases every waiting task with eiReset, first waiter first.
    virtual void Reset();
    virtual void TaskWaitFor(TMxTask& Task, int64_t Timeout) = 0;

    // Number of waiting tasks.
    int32_t WaitingCount() const;

protected:
    // Appends the task to the waiting list and suspends it (Interval as a
    // time-out argument: MxInfinite arms no timer). Hold ProtectStruct.
    void SuspendTask(TMxTask& Task, int64_t Interval);
    // Unlinks the task from the waiting list and resumes it with Info.
    void ResumeTask(TMxTask& Task, TMxExecuteInfo Info);
    // ResumeTask when the task waits here, else "Release Task Error".
    void ReleaseWithInfo(TMxTask& Task, TMxExecuteInfo Info);
    // The task continues without waiting, with Info.
    void SetTaskInfo(TMxTask& Task, TMxExecuteInfo Info) { Task.SetTaskInfo(Info); }
    // The first waiting task (nullptr when none). Hold ProtectStruct.
    TMxTask* FirstWaitingTask() const { return FWaitingTasks; }
    bool IsWaiting(const TMxTask& Task) const;

    mutable TCriticalSection ProtectStruct;
    TMxTask* FWaitingTasks = nullptr; // head of the circular FIFO
    int32_t FTaskCount = 0;

private:
    friend class TMxTask;
    void Unlink(TMxTask& Task);
    // Kill/Terminate: a waiting task goes straight to tsTerminated. False when
    // it no longer waits here.
    bool AbortWaiting(TMxTask& Task);
    // The timer thread's time-out; ignores a late one.
    void TimeoutTask(TMxTask& Task);
};

class TMxSignal : public TMxTaskControl {
public:
    // Stores the ready flag; true resumes every waiting task (first waiter
    // first) with eiSuccess and lets later waits continue at once until
    // SetReady(false).
    void SetReady(bool Value);
    bool Ready() const;
    void TaskWaitFor(TMxTask& Task, int64_t Timeout) override;

private:
    bool FReady = false;
};

// One owner or none. Waiting makes a task the owner when there is none;
// Release passes the ownership to the first waiting task.
class TMxSemaphore : public TMxTaskControl {
public:
    // "Semaphore Release Error" (also logged) when Sender is not the owner.
    void Release(TMxTask& Sender);
    bool IsOwner(const TMxTask& Sender) const;
    TMxTask* Owner() const;
    void TaskWaitFor(TMxTask& Task, int64_t Timeout) override;

private:
    TMxTask* ActualTask = nullptr;
};

// ------------------------------------------------------------------ schedulers

class TMxScheduler {
public:
    // A scheduler without thread, driven by calling Execute / AppIdleExecute.
    TMxScheduler();
    // The main-scheduler kind: waking it (ready count 0 -> 1) posts a wake-up
    // to Loop. Install AppIdleExecute as the loop's idle handler (as
    // MxCreateMainScheduler does).
    explicit TMxScheduler(TMainLoop& Loop);
    // A scheduler with its own thread (one step below normal priority), named
    // ThreadName. The thread runs steps until the scheduler is destroyed.
    static std::unique_ptr<TMxScheduler> CreateThreaded(std::string ThreadName = "MxSchedulerThread");
    ~TMxScheduler();
    TMxScheduler(const TMxScheduler&) = delete;
    TMxScheduler& operator=(const TMxScheduler&) = delete;

    // One step of one ready task (nothing while a step runs: re-entry guard).
    // On a threaded scheduler's thread, waits for a ready task when none is.
    void Execute();
    // The idle handler: one step when tasks are ready; Done := none ready.
    void AppIdleExecute(bool& Done);

    // Ready-list primitives (kernel internal: tasks use Start/WaitFor/...).
    void InsertTask(TMxTask& Task);
    void RemoveTask(TMxTask& Task);

    int32_t TaskCount() const { return FTaskCount.load(); }
    bool IsThreaded() const { return Threaded; }
    bool IsBusy() const { return Busy.load(); }
    TMainLoop* MainLoop() const;
    // Parts the main scheduler from its loop before the loop goes away: later
    // wake-ups (a timer thread may still time a task out) post nothing, and
    // the loop's idle handler is removed.
    void DetachMainLoop();
    // True on a threaded scheduler's own thread.
    bool IsSchedulerThread() const;

private:
    class TMxSchedulerThread;
    friend class TMxTask;

    // Hold ProtectTaskList. Insert returns true when the count went 0 -> 1.
    bool InsertLocked(TMxTask& Task);
    void RemoveLocked(TMxTask& Task);
    void Woken(); // after a 0 -> 1 insertion, outside the lock

    std::array<TMxTask*, 5> ReadyTasks{};
    std::atomic<bool> Busy{false};
    mutable std::mutex ProtectTaskList;
    std::atomic<int32_t> FTaskCount{0};
    bool Threaded = false;
    std::unique_ptr<TEvent> TaskReady;
    std::unique_ptr<TMxSchedulerThread> TaskThread;
    mutable std::mutex FLoopLock; // guards FMainLoop against wake-ups from other threads
    TMainLoop* FMainLoop = nullptr;
    // The task whose step runs (guarded by ProtectTaskList): a task destroyed
    // on another thread waits for the step to end; one destroyed by its own
    // step is not touched after it.
    TMxTask* FRunning = nullptr;
    std::thread::id FRunningThread;
    bool FRunningGone = false;
    std::condition_variable FStepDone;
};

// ------------------------------------------------------------------ program-wide

// The main scheduler (nullptr until MxCreateMainScheduler).
TMxScheduler* MxScheduler() noexcept;
// Creates the main scheduler on Loop and installs its AppIdleExecute as the
// loop's idle handler. Raises "MxCreateMainScheduler: main scheduler already
// created" when one exists.
TMxScheduler& MxCreateMainScheduler(TMainLoop& Loop);
// Removes the idle handler and frees the main scheduler (process end, tests).
// Every main task must be gone.
void MxFreeMainScheduler();
// The program's timer queue, thread "MxTimerQueue" (created on first use,
// never freed).
TMxTimerQueue& MxTimerQueue();

} // namespace vo
