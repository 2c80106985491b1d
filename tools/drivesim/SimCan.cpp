#include "tools/drivesim/SimCan.h"

#include "platform/Exception.h"

#include <poll.h>

#include <utility>
#include <vector>

namespace vo {

namespace {

uint32_t Ident(uint8_t sender, uint8_t receiver, uint32_t follow) {
    return 0x10000000u | (uint32_t(sender) << 13) | (uint32_t(receiver) << 5) | (follow & 0x1F);
}

uint8_t DriveMacId(SimRunner& runner) {
    return runner.WithDrive([](SimDrive& d) { return d.Identity().canMacId; });
}

} // namespace

SimCanTransport::SimCanTransport(SimRunner& runner, const std::string& busName, uint8_t macId)
    : runner_(runner), mac_(macId), bus_(TVirtualCanBus::Get(busName)) {
    node_ = bus_->NewNode("drive " + std::to_string(macId));
    CANPC_RESSOURCES res;
    if (node_->INIPC_initialize_board(&res) != 0 || node_->CANPC_initialize_chip(1, 1, 8, 7, 0) != 0 ||
        node_->CANPC_set_acceptance(0, 0x7FF, Ident(0, macId, 0), 0x1E001FE0) != 0 || node_->CANPC_start_chip() != 0 ||
        node_->CANPC_set_interrupt_event(&event_) != 0)
        throw Exception("SimCanTransport.Create: the virtual bus refused the node");
    runner_.Attach(*this);
}

SimCanTransport::SimCanTransport(SimRunner& runner, const std::string& busName)
    : SimCanTransport(runner, busName, DriveMacId(runner)) {}

SimCanTransport::~SimCanTransport() {
    runner_.Detach(*this);
    node_->CANPC_set_interrupt_event(nullptr);
}

void SimCanTransport::AddFault(SimCanFault fault, int segment) {
    std::lock_guard lock(faultMutex_);
    faults_.push_back({fault, segment});
}

size_t SimCanTransport::PendingFaults() const {
    std::lock_guard lock(faultMutex_);
    return faults_.size();
}

short SimCanTransport::PollEvents() const {
    return POLLIN;
}

void SimCanTransport::Write(std::string_view wire, const std::string& master) {
    if (master.rfind("can:", 0) != 0 || wire.empty())
        return;
    const auto to = uint8_t(std::stoul(master.substr(4)));
    std::vector<std::pair<uint32_t, SimBytes>> segments;
    const size_t count = (wire.size() - 1) / 8 + 1;
    for (size_t k = 0; k < count; ++k)
        segments.emplace_back(Ident(mac_, to, uint32_t(count - k - 1)), SimBytes(wire.substr(8 * k, 8)));

    std::optional<Fault> fault;
    {
        std::lock_guard lock(faultMutex_);
        if (!faults_.empty()) {
            fault = faults_.front();
            faults_.pop_front();
        }
    }
    if (fault) {
        const auto k = size_t(std::max(0, fault->segment));
        switch (fault->fault) {
        case SimCanFault::DropSegment:
            if (k < segments.size())
                segments.erase(segments.begin() + std::ptrdiff_t(k));
            break;
        case SimCanFault::DuplicateSegment:
            if (k < segments.size())
                segments.insert(segments.begin() + std::ptrdiff_t(k), segments[k]);
            break;
        case SimCanFault::SwapSegments:
            if (k + 1 < segments.size())
                std::swap(segments[k], segments[k + 1]);
            break;
        case SimCanFault::WrongCount:
            if (k < segments.size())
                segments[k].first = (segments[k].first & ~0x1Fu) | ((segments[k].first + 3) & 0x1F);
            break;
        case SimCanFault::BusOff:
            bus_->SetBusState(2);
            bus_->SetBusState(0);
            return;
        }
    }
    for (const auto& [ident, data] : segments) {
        // Counted before it goes: whoever has received the segment sees it counted.
        ++segmentsSent_;
        node_->CANPC_send_data(ident, 1, int32_t(data.size()), reinterpret_cast<const uint8_t*>(data.data()));
    }
}

void SimCanTransport::OnPoll(short revents) {
    if (!(revents & POLLIN))
        return;
    event_.ResetEvent();
    PARAM_STRUCT p;
    for (int32_t kind; (kind = node_->CANPC_read_ac(&p)) > 0;) {
        if (kind != CanItemXtdData)
            continue;
        const auto ident = uint32_t(p.Ident);
        const uint8_t sender = uint8_t(ident >> 13);
        const int follow = int(ident & 0x1F);
        const SimBytes data(reinterpret_cast<const char*>(p.RcvData), size_t(std::clamp(p.DataLength, 0, 8)));
        Assembly& a = assembly_[sender];
        const std::string master = "can:" + std::to_string(sender);
        if (a.skipping) {
            a.skipping = follow != 0;
            continue;
        }
        if ((a.expected >= 0 && follow != a.expected) || a.buffer.size() + data.size() > 255 ||
            (follow > 0 && data.size() != 8)) {
            runner_.Reject(*this, master, a.buffer + data, "segment out of sequence");
            a = Assembly{};
            a.skipping = follow != 0;
            continue;
        }
        a.buffer += data;
        if (follow > 0) {
            a.expected = follow - 1;
            continue;
        }
        SimBytes frame;
        frame.swap(a.buffer);
        a = Assembly{};
        runner_.FrameIn(*this, master, frame, frame);
    }
}

} // namespace vo
