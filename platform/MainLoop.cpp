#include "platform/MainLoop.h"

#include <algorithm>

namespace vo {

void THeadlessPump::SetIdleHandler(TIdleHandler Handler) {
    FHandler = std::move(Handler);
}

void THeadlessPump::PostWakeUp() {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        ++FWakeUps;
        FWoken = true;
    }
    FCond.notify_all();
}

bool THeadlessPump::Step() {
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FWoken = false;
    }
    bool done = true;
    if (FHandler)
        FHandler(done);
    return done;
}

bool THeadlessPump::RunUntil(const std::function<bool()>& Pred, std::chrono::milliseconds Timeout) {
    const auto deadline = std::chrono::steady_clock::now() + Timeout;
    for (;;) {
        if (Pred())
            return true;
        if (std::chrono::steady_clock::now() >= deadline)
            return Pred();
        bool done = Step();
        if (done && !Pred()) {
            // Nothing ready: sleep like a message loop until a wake-up arrives.
            // A short cap keeps predicates on outside state responsive.
            std::unique_lock<std::mutex> lock(FMutex);
            auto until = std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(5));
            FCond.wait_until(lock, until, [this] { return FWoken; });
        }
    }
}

uint64_t THeadlessPump::RunPending(uint64_t MaxSteps) {
    uint64_t n = 0;
    while (n < MaxSteps) {
        ++n;
        if (Step())
            break;
    }
    return n;
}

uint64_t THeadlessPump::WakeUpCount() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FWakeUps;
}

bool THeadlessPump::WaitForWakeUp(std::chrono::milliseconds Timeout) {
    std::unique_lock<std::mutex> lock(FMutex);
    bool r = FCond.wait_for(lock, Timeout, [this] { return FWoken; });
    FWoken = false;
    return r;
}

} // namespace vo
