#pragma once
// SimTranscript: every frame that passed between a master and the simulated
// drive, with its time, medium, direction and bytes, for tests to assert on.
// Thread-safe; tests on another thread wait for entries with WaitFor.
#include "tools/drivesim/SimDrive.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vo {

enum class SimDirection {
    In, // master -> drive
    Out, // drive -> master
    Withheld, // an answer the fault plan did not send
};

struct SimTranscriptEntry {
    int64_t timeMs = 0;
    std::string medium;
    SimDirection direction = SimDirection::In;
    std::string master;
    SimBytes frame; // the drive frame (payload)
    SimBytes wire; // the bytes on the medium, when they differ from the frame (RS232)
    std::string note; // "checksum error", "empty frame", the faults that shaped an answer ...

    std::string Format() const; // "  12.345 rs232 <- 10 00 34 12  [delay]"
};

class SimTranscript {
public:
    void Add(SimTranscriptEntry entry);
    std::vector<SimTranscriptEntry> Entries() const;
    // Only the frames of one direction, in order.
    std::vector<SimBytes> Frames(SimDirection direction) const;
    size_t Size() const;
    void Clear();
    // Waits until the predicate holds for the entries (checked on every new
    // entry); false after the time-out.
    bool WaitFor(const std::function<bool(const std::vector<SimTranscriptEntry>&)>& pred,
                 std::chrono::milliseconds timeout) const;
    // Waits until `count` frames of the direction have been recorded.
    bool WaitForFrames(SimDirection direction, size_t count, std::chrono::milliseconds timeout) const;
    // Called with each new entry (on the recording thread), e.g. to print it.
    void SetListener(std::function<void(const SimTranscriptEntry&)> listener);
    std::string Dump() const;
    // Keeps only the newest `entries` (0: all); for long runs of the program.
    void SetCapacity(size_t entries);

private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<SimTranscriptEntry> entries_;
    size_t capacity_ = 0;
    std::function<void(const SimTranscriptEntry&)> listener_;
};

} // namespace vo
