#pragma once
// RS232 framing of drive frames, both ways: 0xA5, the payload length n, the
// 8-bit sum of the payload, then the n payload bytes.
//
// The receiver is a byte-wise state machine like the program's own. It hands
// out complete frames, reports frames whose sum does not match, collects bytes
// that arrive outside a frame as garbage, and (when a gap is set) starts over
// when the line stays quiet in the middle of a frame, so that a lost byte costs
// one frame and not every later one. A header that announces 0 bytes is an
// empty frame.
#include "tools/drivesim/SimFaults.h"

#include <cstdint>
#include <string_view>
#include <vector>

namespace vo {

uint8_t SimRs232Checksum(std::string_view payload);
// The frame on the wire; throws vo::Exception for a payload over 255 bytes,
// which the length byte cannot announce.
SimBytes SimRs232Frame(std::string_view payload, const SimWireEffects& effects = {});

struct SimRs232Event {
    enum Kind {
        Frame, // payload complete and its sum right
        ChecksumError, // payload complete, sum wrong: dropped
        Garbage, // bytes before a 0xA5
        Resync, // a frame broken off by a pause on the line: dropped
    };
    Kind kind = Frame;
    SimBytes payload;
    SimBytes wire; // every byte that belonged to the event
    uint8_t receivedSum = 0;
    uint8_t computedSum = 0;
};

class SimRs232Receiver {
public:
    // A pause longer than this inside a frame drops the partial frame; 0: never.
    void SetGapMs(int64_t ms) { gapMs_ = ms; }
    std::vector<SimRs232Event> Feed(std::string_view bytes, int64_t nowMs);
    bool Idle() const { return state_ == State::Header1 && garbage_.empty(); }

private:
    enum class State { Header1,
                       Header2,
                       Header3,
                       Payload };
    void Reset();

    State state_ = State::Header1;
    uint8_t size_ = 0;
    uint8_t sum_ = 0;
    SimBytes payload_;
    SimBytes wire_;
    SimBytes garbage_;
    int64_t gapMs_ = 0;
    int64_t lastByteMs_ = 0;
};

} // namespace vo
