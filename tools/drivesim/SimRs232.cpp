#include "tools/drivesim/SimRs232.h"

#include "platform/Exception.h"

namespace vo {

uint8_t SimRs232Checksum(std::string_view payload) {
    uint8_t sum = 0;
    for (char c : payload) sum = uint8_t(sum + uint8_t(c));
    return sum;
}

SimBytes SimRs232Frame(std::string_view payload, const SimWireEffects& effects) {
    if (payload.size() > 255)
        throw Exception("SimRs232Frame: a payload of " + std::to_string(payload.size()) +
                        " bytes cannot be framed");
    SimBytes out = effects.garbageBefore;
    if (effects.zeroLengthHeaderBefore) out += SimBytes{'\xA5', '\0', '\0'};
    uint8_t sum = SimRs232Checksum(payload);
    if (effects.corruptChecksum) sum = uint8_t(sum ^ 0x5A);
    out.push_back('\xA5');
    out.push_back(char(payload.size()));
    out.push_back(char(sum));
    out.append(payload);
    return out;
}

void SimRs232Receiver::Reset() {
    state_ = State::Header1;
    payload_.clear();
    wire_.clear();
}

std::vector<SimRs232Event> SimRs232Receiver::Feed(std::string_view bytes, int64_t nowMs) {
    std::vector<SimRs232Event> events;
    auto flushGarbage = [&] {
        if (garbage_.empty()) return;
        SimRs232Event e;
        e.kind = SimRs232Event::Garbage;
        e.wire = std::move(garbage_);
        garbage_.clear();
        events.push_back(std::move(e));
    };
    if (!bytes.empty() && gapMs_ > 0 && state_ != State::Header1 && nowMs - lastByteMs_ > gapMs_) {
        SimRs232Event e;
        e.kind = SimRs232Event::Resync;
        e.payload = payload_;
        e.wire = wire_;
        events.push_back(std::move(e));
        Reset();
    }
    if (!bytes.empty()) lastByteMs_ = nowMs;
    auto complete = [&] {
        SimRs232Event e;
        e.payload = payload_;
        e.wire = wire_;
        e.receivedSum = sum_;
        e.computedSum = SimRs232Checksum(payload_);
        e.kind = e.receivedSum == e.computedSum ? SimRs232Event::Frame : SimRs232Event::ChecksumError;
        events.push_back(std::move(e));
        Reset();
    };

    for (char c : bytes) {
        uint8_t b = uint8_t(c);
        switch (state_) {
        case State::Header1:
            if (b == 0xA5) {
                flushGarbage();
                wire_.assign(1, c);
                state_ = State::Header2;
            } else {
                garbage_.push_back(c);
            }
            break;
        case State::Header2:
            size_ = b;
            wire_.push_back(c);
            state_ = State::Header3;
            break;
        case State::Header3:
            sum_ = b;
            wire_.push_back(c);
            payload_.clear();
            state_ = State::Payload;
            if (size_ == 0) complete(); // an empty frame
            break;
        case State::Payload:
            payload_.push_back(c);
            wire_.push_back(c);
            if (payload_.size() == size_) complete();
            break;
        }
    }
    if (state_ == State::Header1) flushGarbage();
    return events;
}

} // namespace vo
