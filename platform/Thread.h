#pragma once
// Platform threads, events and critical sections: the small layer the kernel's
// tasks, timer queue and thread managers stand on.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <exception>
#include <mutex>
#include <string>
#include <thread>

namespace vo {

// Names the calling thread for debuggers and tools (ps, gdb, perf). Linux
// keeps at most 15 bytes of a thread name; longer names are cut.
void SetCurrentThreadName(const std::string& Name);
// The calling thread's name as the system keeps it.
std::string GetCurrentThreadName();
// Lowers (positive) or raises (negative) the calling thread's scheduling
// priority relative to the process. Best effort: failures are ignored.
void SetCurrentThreadPriorityOffset(int Offset);

// A recursive lock, like the critical sections the system's structures are
// guarded by. Satisfies Lockable, so std::lock_guard/std::unique_lock work.
class TCriticalSection {
public:
    void Enter() { FMutex.lock(); }
    void Leave() { FMutex.unlock(); }
    bool TryEnter() { return FMutex.try_lock(); }

    void lock() { FMutex.lock(); }
    void unlock() { FMutex.unlock(); }
    bool try_lock() { return FMutex.try_lock(); }

private:
    std::recursive_mutex FMutex;
};

// Auto- or manual-reset event. An auto-reset event lets one waiter through
// and resets itself; a manual-reset event stays set until ResetEvent.
class TEvent {
public:
    static constexpr int64_t Infinite = -1;

    TEvent(bool ManualReset, bool InitialState);
    TEvent(const TEvent&) = delete;
    TEvent& operator=(const TEvent&) = delete;

    void SetEvent();
    void ResetEvent();
    bool IsSet() const;
    // Waits until the event is set or Milliseconds have passed (Infinite: no
    // limit). True when the event was set (an auto-reset event is then reset).
    bool WaitFor(int64_t Milliseconds = Infinite);

private:
    mutable std::mutex FMutex;
    std::condition_variable FCond;
    bool FManualReset;
    bool FSet;
};

// Base class of every thread of the program. The thread does not run until
// Start (a derived object must be complete before its Execute can run).
// A derived class whose Execute touches its own members must stop the thread
// in its destructor (Terminate, wake it, WaitFor); the base destructor only
// joins.
class TThread {
public:
    TThread();
    TThread(const TThread&) = delete;
    TThread& operator=(const TThread&) = delete;
    virtual ~TThread();

    void Start();
    // Asks the thread to end; Execute tests Terminated().
    void Terminate() { FTerminated.store(true); }
    bool Terminated() const { return FTerminated.load(); }
    // Joins the thread; does nothing when it never started or was joined.
    void WaitFor();
    bool Started() const { return FStarted; }
    bool Finished() const { return FFinished.load(); }
    // True when called on this object's own thread.
    bool IsCurrentThread() const;
    // The exception that ended Execute, if any (Execute should catch its own).
    std::exception_ptr FatalException() const;
    // Renames the running thread (no effect before Start or after the end).
    void RenameThread(const std::string& Name);

protected:
    virtual void Execute() = 0;

private:
    void Run();

    std::thread FThread;
    std::atomic<bool> FTerminated{false};
    std::atomic<bool> FFinished{false};
    std::atomic<std::thread::id> FThreadId{};
    bool FStarted = false;
    mutable std::mutex FFatalMutex;
    std::exception_ptr FFatal;
};

} // namespace vo
