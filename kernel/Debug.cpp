#include "kernel/Debug.h"

#include "platform/Time.h"

#include <chrono>
#include <cstdio>

namespace vo {

// ---------------------------------------------------------------- sink

TDebugLineSink::TDebugLineSink(size_t Capacity) : FCapacity(Capacity ? Capacity : 1) {}

void TDebugLineSink::Append(MyAnsiString Line) {
    std::function<void()> notify;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        if (FLines.size() >= FCapacity) {
            FLines.pop_front();
            ++FDropped;
        }
        FLines.push_back(std::move(Line));
        if (FLines.size() == 1)
            notify = FNotify;
    }
    FCond.notify_all();
    if (notify)
        notify();
}

std::vector<MyAnsiString> TDebugLineSink::Drain() {
    std::lock_guard<std::mutex> lock(FMutex);
    std::vector<MyAnsiString> out(std::make_move_iterator(FLines.begin()), std::make_move_iterator(FLines.end()));
    FLines.clear();
    return out;
}

size_t TDebugLineSink::Pending() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FLines.size();
}

uint64_t TDebugLineSink::Dropped() const {
    std::lock_guard<std::mutex> lock(FMutex);
    return FDropped;
}

void TDebugLineSink::SetOnLinesPending(std::function<void()> Notify) {
    std::lock_guard<std::mutex> lock(FMutex);
    FNotify = std::move(Notify);
}

bool TDebugLineSink::WaitForLines(size_t Count, int64_t TimeoutMs) {
    std::unique_lock<std::mutex> lock(FMutex);
    return FCond.wait_for(lock, std::chrono::milliseconds(TimeoutMs), [&] { return FLines.size() >= Count; });
}

// ---------------------------------------------------------------- manager

TDebugManager::TDebugManager() = default;

static bool ValidGroup(uint8_t Group) { return Group >= 1 && Group <= 8; }

void TDebugManager::Assign(uint8_t Group, TSetDebugHandler PSetDebugHandler) {
    if (!ValidGroup(Group))
        return;
    bool enabled;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FList.push_back({Group, PSetDebugHandler});
        enabled = FEnabled[Group - 1];
    }
    if (enabled && PSetDebugHandler)
        PSetDebugHandler(GroupMessage(Group));
}

void TDebugManager::Enable(uint8_t Group) {
    if (!ValidGroup(Group))
        return;
    std::vector<TSetDebugHandler> targets;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FEnabled[Group - 1] = true;
        for (const auto& n : FList)
            if (n.Group == Group)
                targets.push_back(n.SetDebugHandler);
    }
    for (auto& t : targets)
        if (t)
            t(GroupMessage(Group));
}

void TDebugManager::Disable(uint8_t Group) {
    if (!ValidGroup(Group))
        return;
    std::vector<TSetDebugHandler> targets;
    {
        std::lock_guard<std::mutex> lock(FMutex);
        FEnabled[Group - 1] = false;
        for (const auto& n : FList)
            if (n.Group == Group)
                targets.push_back(n.SetDebugHandler);
    }
    for (auto& t : targets)
        if (t)
            t(TDebugHandler{});
}

bool TDebugManager::IsEnabled(uint8_t Group) const {
    if (!ValidGroup(Group))
        return false;
    std::lock_guard<std::mutex> lock(FMutex);
    return FEnabled[Group - 1];
}

TDebugHandler TDebugManager::GroupMessage(uint8_t Group) {
    return [this, Group](uint16_t Code, const MyAnsiString& Text) { DebugMessage(Group, Code, Text); };
}

void TDebugManager::DebugMessage(uint8_t /*Group*/, uint16_t Code, const MyAnsiString& Text) {
    try {
        if (!FDebugingEnabled.load())
            return;
        TDebugLineSink* memo = FDebugMemo.load();
        if (!memo)
            return;
        if (FFilter.Filter(Code) != faAllow)
            return;
        char head[16];
        std::snprintf(head, sizeof head, "[%.4X] ", static_cast<unsigned>(Code));
        memo->Append(head + Text);
    } catch (...) {
        // a trace line never disturbs its caller
    }
}

void TDebugManager::LogInfo(const MyAnsiString& Msg) { DebugMessage(0, 0, "***INFO: " + Msg); }
void TDebugManager::LogWarning(const MyAnsiString& Msg) { DebugMessage(0, 1, "***WARNING: " + Msg); }
void TDebugManager::LogError(const MyAnsiString& Msg) { DebugMessage(0, 2, "***ERROR: " + Msg); }

// ---------------------------------------------------------------- globals

namespace {
std::atomic<TDebugManager*> GDebugManager{nullptr};
// Taken when the unit is initialised, at program start.
const int64_t GStartMicroseconds = SteadyMicroseconds();
} // namespace

TDebugManager* DebugManager() noexcept { return GDebugManager.load(); }
void SetDebugManager(TDebugManager* Manager) noexcept { GDebugManager.store(Manager); }

void LogInfo(const MyAnsiString& Text) {
    if (auto* m = DebugManager())
        m->LogInfo(Text);
}

void LogWarning(const MyAnsiString& Text) {
    if (auto* m = DebugManager())
        m->LogWarning(Text);
}

void LogError(const MyAnsiString& Text) {
    if (auto* m = DebugManager())
        m->LogError(Text);
}

MyAnsiString StrToHexStr(const MyAnsiString& S) {
    static const char digits[] = "0123456789ABCDEF";
    MyAnsiString out;
    out.reserve(S.size() * 3);
    for (unsigned char c : S) {
        out.push_back(digits[c >> 4]);
        out.push_back(digits[c & 15]);
        out.push_back(' ');
    }
    return out;
}

MyAnsiString FormatSecondsFromStart(int64_t Microseconds) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%10.3f", static_cast<double>(Microseconds) / 1e6);
    return buf;
}

MyAnsiString MillisecondsFromStart() {
    return FormatSecondsFromStart(SteadyMicroseconds() - GStartMicroseconds);
}

} // namespace vo
