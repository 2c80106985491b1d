#pragma once
// SimClock: the simulator's time in milliseconds. SimSteadyClock follows real
// time; SimManualClock only moves when a test advances it, so answers delayed
// by seconds come without waiting seconds.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>

namespace vo {

class SimClock {
public:
    virtual ~SimClock() = default;
    virtual int64_t NowMs() const = 0;
    // A manual clock wakes its users when it moves; a real one needs timed waits.
    virtual bool IsManual() const { return false; }

    int AddWaker(std::function<void()> wake);
    void RemoveWaker(int id);

protected:
    void WakeAll();

private:
    std::mutex mutex_;
    std::map<int, std::function<void()>> wakers_;
    int nextId_ = 1;
};

class SimSteadyClock : public SimClock {
public:
    SimSteadyClock() : start_(std::chrono::steady_clock::now()) {}
    int64_t NowMs() const override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_)
            .count();
    }

private:
    std::chrono::steady_clock::time_point start_;
};

class SimManualClock : public SimClock {
public:
    int64_t NowMs() const override { return now_.load(); }
    bool IsManual() const override { return true; }
    void Advance(int64_t ms) {
        now_ += ms;
        WakeAll();
    }
    void Set(int64_t ms) {
        now_ = ms;
        WakeAll();
    }

private:
    std::atomic<int64_t> now_{0};
};

} // namespace vo
