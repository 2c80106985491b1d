#pragma once
// SimQp1Drive: a drive of the older serial protocol on a pseudo-terminal, as
// the program's gateway ports ("OQP1", "OQP2") reach it. It answers the
// byte-wise transfers itself (no drive frames): ':' F AH AM AL DH DL is
// answered with the sum C1; after '!' the function is carried out and the
// result word goes back as RH RL C2; functions 0x14 and 0x16 answer the block
// maximum M and then take chunks ('!' n bytes -> 00 sum) until 0x99 (-> 00).
//
// Functions: 0x00 read the word at the address, 0x04 write it (RAM), 0x06
// write it (flash), 0x08 erase, 0x09 stop, 0x0C start, 0xFF reset; words are
// kept low byte first at byte addresses of the drive's memory.
//
// Faults: the next transfers' C1 wrong, or no answer at all (silence).
#include "tools/drivesim/SimDrive.h"
#include "tools/drivesim/SimDriveFile.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vo {

class SimQp1Drive {
public:
    // Opens a pseudo-terminal and starts serving; throws vo::Exception when
    // none can be had. M comes from the description's [gateway] block_max
    // (4 when it has none).
    explicit SimQp1Drive(SimDriveDescription description);
    ~SimQp1Drive();
    SimQp1Drive(const SimQp1Drive&) = delete;
    SimQp1Drive& operator=(const SimQp1Drive&) = delete;

    const std::string& SlavePath() const { return slavePath_; }
    int BlockMax() const { return blockMax_; }

    // The next n transfers get a wrong C1.
    void FailChecksums(int n);
    // The next n transfers get no answer.
    void Silence(int n);

    // Bytes from the program and to it, so far.
    SimBytes Received() const;
    SimBytes Sent() const;
    // Waits until at least `count` bytes came from the program.
    bool WaitReceived(size_t count, std::chrono::milliseconds timeout) const;
    // The functions carried out, in order.
    std::vector<uint8_t> Functions() const;

    template <class F>
    auto WithDrive(F&& f) {
        std::lock_guard lock(mutex_);
        return f(drive_);
    }

private:
    enum class State { Idle,
                       Transfer,
                       AwaitBang,
                       Block,
                       BlockLength,
                       BlockData };

    void Loop();
    void Feed(uint8_t b); // under mutex_
    void Write(const SimBytes& bytes); // under mutex_
    uint16_t Execute(uint8_t f, uint32_t address, uint16_t data); // under mutex_

    SimDrive drive_;
    int blockMax_ = 4;
    int master_ = -1;
    int slave_ = -1;
    int wake_ = -1;
    std::string slavePath_;

    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    State state_ = State::Idle;
    SimBytes transfer_;
    SimBytes chunk_;
    size_t chunkLength_ = 0;
    uint32_t blockAddress_ = 0;
    int failChecksums_ = 0;
    int silence_ = 0;
    SimBytes received_;
    SimBytes sent_;
    std::vector<uint8_t> functions_;

    std::atomic<bool> stop_{false};
    std::thread thread_;
};

} // namespace vo
