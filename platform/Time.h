#pragma once
// Millisecond time on a steady clock (never jumps with the wall clock), and
// the time constants that tests may shorten.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace vo {

// Milliseconds on the steady clock; the base of every time-out and timer.
int64_t SteadyMilliseconds() noexcept;
// Microseconds on the same clock.
int64_t SteadyMicroseconds() noexcept;

// A time constant of the program (a time-out, a poll interval). Its default is
// the value the program runs with; tests override it so that no test waits out a real
// multi-second time-out. Define each one once, as a namespace-scope object:
//
//     inline vo::TTimeConstant OvraReplyTimeout{"OvraService.ReplyTimeout", 5000};
//     ... wait for OvraReplyTimeout.Milliseconds() ...
//
// and in a test:  vo::TScopedTimeOverride fast(OvraReplyTimeout, 20);
class TTimeConstant {
public:
    TTimeConstant(std::string Name, int64_t DefaultMilliseconds);
    ~TTimeConstant();
    TTimeConstant(const TTimeConstant&) = delete;
    TTimeConstant& operator=(const TTimeConstant&) = delete;

    int64_t Milliseconds() const noexcept { return FValue.load(std::memory_order_relaxed); }
    int64_t DefaultMilliseconds() const noexcept { return FDefault; }
    const std::string& Name() const noexcept { return FName; }
    void Override(int64_t Milliseconds) noexcept { FValue.store(Milliseconds, std::memory_order_relaxed); }
    void Restore() noexcept { FValue.store(FDefault, std::memory_order_relaxed); }

    // Every constant defined so far, and a look-up by name (nullptr when unknown).
    static std::vector<TTimeConstant*> All();
    static TTimeConstant* Find(const std::string& Name);
    // Puts every constant back to its default.
    static void RestoreAll();

private:
    std::string FName;
    int64_t FDefault;
    std::atomic<int64_t> FValue;
};

// Overrides a time constant for the lifetime of the object.
class TScopedTimeOverride {
public:
    TScopedTimeOverride(TTimeConstant& Constant, int64_t Milliseconds)
        : FConstant(Constant), FOld(Constant.Milliseconds()) {
        Constant.Override(Milliseconds);
    }
    ~TScopedTimeOverride() { FConstant.Override(FOld); }
    TScopedTimeOverride(const TScopedTimeOverride&) = delete;
    TScopedTimeOverride& operator=(const TScopedTimeOverride&) = delete;

private:
    TTimeConstant& FConstant;
    int64_t FOld;
};

} // namespace vo
