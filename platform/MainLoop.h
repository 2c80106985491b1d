#pragma once
// The GUI thread's message loop as the kernel sees it: an idle handler that
// runs between window messages, and a wake-up that any thread may post so a
// sleeping loop comes back to call the idle handler. Two implementations: the
// headless pump below (tests, tools without windows) and the Qt adapter
// (platform/gui/QtMainLoop.h).
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace vo {

class TMainLoop {
public:
    // Called by the loop whenever it is idle. The handler sets Done to false
    // when it wants to be called again at once (more work is ready), to true
    // when the loop may sleep until the next message or wake-up.
    using TIdleHandler = std::function<void(bool& Done)>;

    virtual ~TMainLoop() = default;
    // Installs the idle handler (GUI thread; nullptr removes it).
    virtual void SetIdleHandler(TIdleHandler Handler) = 0;
    // Makes a sleeping loop return and call the idle handler again. Any thread;
    // never blocks.
    virtual void PostWakeUp() = 0;
};

// A loop without windows that the owner drives step by step. It belongs to the
// thread that calls Step/RunUntil (the "GUI thread" of a test).
class THeadlessPump : public TMainLoop {
public:
    void SetIdleHandler(TIdleHandler Handler) override;
    void PostWakeUp() override;

    // One idle call. Returns the handler's Done (true without a handler).
    bool Step();
    // Calls the idle handler while it has more work and sleeps for wake-ups
    // while it has none, until Pred() is true or Timeout has passed.
    // Returns Pred()'s final value.
    bool RunUntil(const std::function<bool()>& Pred, std::chrono::milliseconds Timeout);
    // Runs until the idle handler reports Done; at most MaxSteps calls. Returns
    // the number of idle calls made.
    uint64_t RunPending(uint64_t MaxSteps = UINT64_MAX);
    // Wake-ups posted so far (the kernel posts one only when its ready count
    // goes from 0 to 1).
    uint64_t WakeUpCount() const;
    // Waits until a wake-up has been posted since the last Step/RunUntil/Wait.
    bool WaitForWakeUp(std::chrono::milliseconds Timeout);

private:
    TIdleHandler FHandler;
    mutable std::mutex FMutex;
    std::condition_variable FCond;
    uint64_t FWakeUps = 0;
    bool FWoken = false;
};

} // namespace vo
