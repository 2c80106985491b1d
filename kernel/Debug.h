#pragma once
// The debug manager: the three log levels and the telegram trace of the
// communication layer. Every line carries a 16-bit code, passes the trace
// filter and, while debugging is enabled and the debug window exists, is
// handed to the debug window's line sink. Nothing is written to a file.
//
// Codes in use: 0 info, 1 warning, 2 error; 0x0100 + first byte of a telegram
// sent, 0x0200 + first byte of a frame received (0x0103 / 0x0203 are the drive
// status request and its answer).
#include "kernel/FiltEdt.h"
#include "platform/AnsiString.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <vector>

namespace vo {

// A trace receiver handed to components while their group is enabled: call it
// with a code and a text. An empty handler means tracing is off.
using TDebugHandler = std::function<void(uint16_t Code, const MyAnsiString& Text)>;
// A component's setter that receives the group's handler (empty to switch off).
using TSetDebugHandler = std::function<void(TDebugHandler Handler)>;

// Where trace lines go: the debug window's memo side. Lines are appended on
// any thread, in order, and taken (drained) on the GUI thread, which alone
// touches the memo. The sink keeps at most Capacity lines; when the GUI falls
// behind, the oldest lines give way and are counted in Dropped.
class TDebugLineSink {
public:
    explicit TDebugLineSink(size_t Capacity = 100000);

    void Append(MyAnsiString Line); // any thread
    std::vector<MyAnsiString> Drain(); // all pending lines, oldest first
    size_t Pending() const;
    uint64_t Dropped() const;
    // Called on the appending thread when the sink goes from empty to not
    // empty (e.g. to post an event to the GUI thread). Set before use.
    void SetOnLinesPending(std::function<void()> Notify);
    // Waits (test helper) until at least Count lines are pending.
    bool WaitForLines(size_t Count, int64_t TimeoutMs);

private:
    mutable std::mutex FMutex;
    std::condition_variable FCond;
    std::deque<MyAnsiString> FLines;
    size_t FCapacity;
    uint64_t FDropped = 0;
    std::function<void()> FNotify;
};

class TDebugManager {
public:
    TDebugManager();
    TDebugManager(const TDebugManager&) = delete;
    TDebugManager& operator=(const TDebugManager&) = delete;

    // Registers a component for a group 1..8 (others are ignored). When the
    // group is enabled the component gets the group's handler at once.
    void Assign(uint8_t Group, TSetDebugHandler PSetDebugHandler);
    // Enables a group 1..8 and hands its handler to every component
    // registered for it, in registration order.
    void Enable(uint8_t Group);
    // Disables a group 1..8 and hands an empty handler to its components.
    void Disable(uint8_t Group);
    bool IsEnabled(uint8_t Group) const;

    // The group's message method (Group1Message .. Group8Message).
    TDebugHandler GroupMessage(uint8_t Group);

    // Writes one trace line "[%.4X] %s" when debugging is enabled, a sink is
    // set and the filter allows the code. Never raises. Any thread.
    void DebugMessage(uint8_t Group, uint16_t Code, const MyAnsiString& Text);

    void LogInfo(const MyAnsiString& Msg); // code 0, "***INFO: "
    void LogWarning(const MyAnsiString& Msg); // code 1, "***WARNING: "
    void LogError(const MyAnsiString& Msg); // code 2, "***ERROR: "

    // The debug window's "Enable Debug Mode".
    void SetDebugingEnabled(bool Value) { FDebugingEnabled.store(Value); }
    bool DebugingEnabled() const { return FDebugingEnabled.load(); }

    // The debug window's memo side (DebugMemo): set when the window is created.
    // The sink must outlive the manager or be reset to nullptr first.
    void SetDebugMemo(TDebugLineSink* Sink) { FDebugMemo.store(Sink); }
    TDebugLineSink* DebugMemo() const { return FDebugMemo.load(); }

    // The trace filter (the filter editor's rules).
    TFilterRules& Filter() { return FFilter; }

    // The debug window's "Break" button handler.
    std::function<void()> FDoBreak;
    bool ExtendedDebugInfo = false;

private:
    struct TNode {
        uint8_t Group;
        TSetDebugHandler SetDebugHandler;
    };

    mutable std::mutex FMutex; // registrations and group states
    std::vector<TNode> FList;
    std::array<bool, 8> FEnabled{};
    std::atomic<bool> FDebugingEnabled{false};
    std::atomic<TDebugLineSink*> FDebugMemo{nullptr};
    TFilterRules FFilter;
};

// The program-wide manager (nullptr until the main form creates it). The
// manager must outlive every thread that logs; reset to nullptr before freeing.
TDebugManager* DebugManager() noexcept;
void SetDebugManager(TDebugManager* Manager) noexcept;

// Forward to DebugManager(); do nothing before it exists. Any thread.
void LogInfo(const MyAnsiString& Text);
void LogWarning(const MyAnsiString& Text);
void LogError(const MyAnsiString& Text);

// Each byte as two upper-case hexadecimal digits and one blank ("A5 03 ").
MyAnsiString StrToHexStr(const MyAnsiString& S);
// Seconds since program start formatted "%10.3f" (right-aligned in 10
// characters, three decimals).
MyAnsiString MillisecondsFromStart();
// The same format for a given number of microseconds (for tests and tools).
MyAnsiString FormatSecondsFromStart(int64_t Microseconds);

} // namespace vo
