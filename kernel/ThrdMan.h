#pragma once
// Named threads and thread managers. A thread manager is one thread that
// waits on up to 16 client events at once (eventfd + poll) and calls each
// client's handler in that thread when its event fires. Port drivers use it
// for blocking waits that must not happen inside cooperative tasks.
#include "platform/AnsiString.h"
#include "platform/FdEvent.h"
#include "platform/Thread.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include <poll.h>

namespace vo {

// Base class of every thread the program creates: announces FThreadName to
// debuggers and tools first thing in its Execute (SetName).
class TOurThread : public TThread {
public:
    explicit TOurThread(std::string ThreadName = "OurThread") : FThreadName(std::move(ThreadName)) {}

    // Names the calling thread FThreadName. Call from Execute.
    void SetName() const;
    void SetThreadName(std::string Name);
    std::string ThreadName() const;

protected:
    mutable std::mutex FNameMutex;
    std::string FThreadName;
};

class TThreadManager;

// One client of a thread manager: an auto-reset event and a handler.
class TThreadClient {
public:
    using TNotifyEvent = std::function<void(TThreadClient& Sender)>;

    // The client's event. Set it (any thread) to have the handler called on the
    // manager's thread.
    TFdEvent& EventHandle() { return FEventHandle; }
    void SetEvent() { FEventHandle.SetEvent(); }

    // The handler; assign it right after NewThreadClient, before the event is
    // first set (it is read on the manager thread).
    void SetOnEvent(TNotifyEvent Handler);

    // Makes the manager wait for Events on an outside descriptor (a port's)
    // in place of the client's own event. The manager then does not reset
    // anything: the handler must consume the readiness (read the data), or it
    // is called again at once. Fd -1 goes back to the own event.
    void AttachWaitHandle(int Fd, short Events = POLLIN);

    // Asks the manager thread to drop and free the client. The caller must not
    // touch the client afterwards. Its handler is not called any more.
    void Release();

    // Calls the handler when assigned (the manager thread does this).
    void DoEvent();

    TThreadManager* Owner() const { return FOwner; }
    bool ReleaseRequested() const { return FReleaseRequest.load(); }

private:
    friend class TThreadManager;
    explicit TThreadClient(TThreadManager* Owner) : FOwner(Owner) {}

    TFdEvent FEventHandle;
    std::recursive_mutex FHandlerMutex;
    TNotifyEvent FOnEvent;
    TThreadManager* FOwner;
    std::atomic<bool> FReleaseRequest{false};
    int FWaitFd = -1; // outside descriptor (guarded by the owner's list lock)
    short FWaitEvents = POLLIN;
};

class TThreadManager : public TOurThread {
public:
    static constexpr unsigned MaxClients = 16;

    // Creates the control event, names the thread "ThreadManager" and starts it.
    TThreadManager();
    // Stops the thread (terminate, set the control event, join) and frees the
    // clients that are left.
    ~TThreadManager() override;

    // Creates a client and makes the thread wait for its event as well.
    // Raises "<class>.NewThreadClient: maximum of clients reached" when 16
    // clients (not counting released ones) exist.
    TThreadClient* NewThreadClient();

    // Number of clients the thread currently waits on (manager thread's view).
    unsigned ClientCount() const { return FClientCount.load(); }
    // Number of clients in the list, released ones not yet dropped included.
    size_t ListedClients() const;
    // Waits (test helper) until the thread has rebuilt its wait array for every
    // change made so far.
    bool WaitUntilSettled(int64_t TimeoutMs);

    virtual const char* ClassName() const { return "TThreadManager"; }

    // Sets the control event (new clients, releases, termination).
    void Wake() { FControlEvent.SetEvent(); }

protected:
    void Execute() override;

private:
    friend class TThreadClient;
    void Rebuild();

    mutable std::mutex FListMutex;
    std::vector<std::unique_ptr<TThreadClient>> FClientList;
    TFdEvent FControlEvent;
    std::atomic<unsigned> FClientCount{0};
    // Manager thread only:
    std::array<pollfd, MaxClients + 1> FEventArray{};
    std::array<TThreadClient*, MaxClients + 1> FArrayClients{};
    std::array<bool, MaxClients + 1> FOwnEvent{};
    // Change counters for WaitUntilSettled.
    std::atomic<uint64_t> FChanges{0};
    std::atomic<uint64_t> FSettled{0};
    std::mutex FSettleMutex;
    std::condition_variable FSettleCond;
};

} // namespace vo
