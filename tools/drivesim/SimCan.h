#pragma once
// SimCanTransport: serves one simulated drive as a node of a virtual CAN bus
// (platform/CanAdapter.h) at the drive's MAC-ID. Drive frames travel cut into
// CAN frames of at most 8 bytes under the extended identifiers
//   0x10000000 | sender << 13 | receiver << 5 | frames still to follow,
// and each sender (master) is put together on its own; the answer goes back to
// the MAC-ID the request came from (master "can:<MAC-ID>").
//
// Segment faults shape the next answers (one fault per answer, in the order
// added): drop, duplicate or swap a segment with the next, give a segment a
// wrong count, or let the bus go off instead of answering.
#include "platform/CanAdapter.h"
#include "platform/FdEvent.h"
#include "tools/drivesim/SimRunner.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace vo {

enum class SimCanFault {
    DropSegment, // segment `segment` is not sent
    DuplicateSegment, // segment `segment` is sent twice
    SwapSegments, // segments `segment` and `segment` + 1 change places
    WrongCount, // segment `segment` carries a count 3 higher than it should
    BusOff, // the bus goes off (and recovers) instead of the answer
};

class SimCanTransport : public SimMedium {
public:
    // A node at MacId on the virtual bus BusName; attaches to the runner.
    SimCanTransport(SimRunner& runner, const std::string& busName, uint8_t macId);
    // At the MAC-ID of the runner's drive (its description's can_mac_id).
    SimCanTransport(SimRunner& runner, const std::string& busName);
    ~SimCanTransport() override;
    SimCanTransport(const SimCanTransport&) = delete;
    SimCanTransport& operator=(const SimCanTransport&) = delete;

    uint8_t MacId() const { return mac_; }
    // Shapes the next answer (segment counted from 0).
    void AddFault(SimCanFault fault, int segment = 1);
    size_t PendingFaults() const;
    // CAN frames this node put on the bus so far.
    uint64_t SegmentsSent() const { return segmentsSent_.load(); }

    std::string Name() const override { return "can"; }
    void Write(std::string_view wire, const std::string& master) override;
    int PollFd() const override { return event_.Handle(); }
    short PollEvents() const override;
    void OnPoll(short revents) override;

private:
    struct Assembly {
        SimBytes buffer;
        int expected = -1;
        bool skipping = false;
    };
    struct Fault {
        SimCanFault fault;
        int segment;
    };

    SimRunner& runner_;
    uint8_t mac_;
    TFdEvent event_;
    std::shared_ptr<TVirtualCanBus> bus_;
    std::unique_ptr<TVirtualCanNode> node_;
    std::array<Assembly, 256> assembly_;
    mutable std::mutex faultMutex_;
    std::deque<Fault> faults_;
    std::atomic<uint64_t> segmentsSent_{0};
};

} // namespace vo
