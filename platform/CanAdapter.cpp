#include "platform/CanAdapter.h"

#include "platform/FdEvent.h"

#include <linux/can.h>
#include <linux/can/raw.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

namespace vo {

namespace {

constexpr size_t MaxQueuedItems = 4096;

struct TItem {
    int32_t Kind = 0;
    PARAM_STRUCT Param;
};

bool Accepts(uint32_t Ident, uint32_t Code, uint32_t Mask) {
    return (Ident & Mask) == (Code & Mask);
}

std::mutex& LibraryMutex() {
    static std::mutex m;
    return m;
}

std::map<std::string, std::string>& LibraryMap() {
    static std::map<std::string, std::string> m;
    return m;
}

// ------------------------------------------------------------------ SocketCAN

class TSocketCanAdapter : public TCanAdapter {
public:
    explicit TSocketCanAdapter(std::string Interface) : FInterface(std::move(Interface)) {}
    ~TSocketCanAdapter() override { INIPC_close_board(); }

    int32_t INIPC_initialize_board(CANPC_RESSOURCES*) override {
        std::lock_guard lock(FLock);
        if (FFd >= 0)
            return CanResDeviceOpen;
        const int fd = ::socket(PF_CAN, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, CAN_RAW);
        if (fd < 0)
            return CanResNoDevice;
        sockaddr_can addr{};
        addr.can_family = AF_CAN;
        addr.can_ifindex = static_cast<int>(::if_nametoindex(FInterface.c_str()));
        if (addr.can_ifindex == 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
            ::close(fd);
            return CanResNoDevice;
        }
        // Nothing passes until the chip is started.
        ::setsockopt(fd, SOL_CAN_RAW, CAN_RAW_FILTER, nullptr, 0);
        FFd = fd;
        return CanResOk;
    }
    int32_t INIPC_close_board() override {
        StopReader();
        std::lock_guard lock(FLock);
        if (FFd < 0)
            return CanResNotInitialized;
        ::close(FFd);
        FFd = -1;
        FStarted = false;
        FItems.clear();
        return CanResOk;
    }
    int32_t CANPC_reset_board() override { return Board(); }
    int32_t CANPC_reset_chip() override { return Board(); }
    // The bit rate is the interface's own.
    int32_t CANPC_initialize_chip(int32_t, int32_t, int32_t, int32_t, int32_t) override { return Board(); }
    int32_t CANPC_initialize_chip2(int32_t, int32_t, int32_t, int32_t, int32_t) override { return Board(); }
    int32_t CANPC_set_mode(int32_t, int32_t) override { return Board(); }
    int32_t CANPC_set_mode2(int32_t, int32_t) override { return Board(); }
    int32_t CANPC_set_output_control(int32_t) override { return Board(); }
    int32_t CANPC_set_output_control2(int32_t) override { return Board(); }
    int32_t CANPC_set_acceptance(uint32_t, uint32_t, uint32_t CodeXtd, uint32_t MaskXtd) override {
        std::lock_guard lock(FLock);
        if (FFd < 0)
            return CanResNotInitialized;
        FCode = CodeXtd;
        FMask = MaskXtd;
        return ApplyFilter();
    }
    int32_t CANPC_set_acceptance2(uint32_t A, uint32_t B, uint32_t C, uint32_t D) override {
        return CANPC_set_acceptance(A, B, C, D);
    }
    int32_t CANPC_enable_fifo() override { return Board(); }
    int32_t CANPC_start_chip() override {
        std::lock_guard lock(FLock);
        if (FFd < 0)
            return CanResNotInitialized;
        FStarted = true;
        return ApplyFilter();
    }
    int32_t CANPC_set_interrupt_event(TFdEvent* Event) override {
        {
            std::lock_guard lock(FLock);
            if (FFd < 0)
                return CanResNotInitialized;
            FEvent = Event;
        }
        StartReader();
        return CanResOk;
    }
    int32_t CANPC_send_data(uint32_t Ident, int32_t Xtd, int32_t DataLength, const uint8_t* Data) override {
        std::lock_guard lock(FLock);
        if (FFd < 0)
            return CanResNotInitialized;
        if (DataLength < 0 || DataLength > 8)
            return CanResParameter;
        can_frame f{};
        f.can_id = Xtd ? ((Ident & CAN_EFF_MASK) | CAN_EFF_FLAG) : (Ident & CAN_SFF_MASK);
        f.can_dlc = static_cast<uint8_t>(DataLength);
        if (DataLength > 0)
            std::memcpy(f.data, Data, static_cast<size_t>(DataLength));
        return ::write(FFd, &f, sizeof f) == static_cast<ssize_t>(sizeof f) ? CanResOk : CanResCommError;
    }
    int32_t CANPC_read_ac(PARAM_STRUCT* Param) override {
        std::lock_guard lock(FLock);
        if (FItems.empty())
            return 0;
        *Param = FItems.front().Param;
        const int32_t kind = FItems.front().Kind;
        FItems.pop_front();
        return kind;
    }
    std::string FixedBitRateText() const override { return "the bit rate of " + FInterface; }

private:
    int32_t Board() {
        std::lock_guard lock(FLock);
        return FFd < 0 ? CanResNotInitialized : CanResOk;
    }
    int32_t ApplyFilter() {
        if (!FStarted)
            return CanResOk;
        can_filter filter{};
        filter.can_id = (FCode & CAN_EFF_MASK) | CAN_EFF_FLAG;
        filter.can_mask = (FMask & CAN_EFF_MASK) | CAN_EFF_FLAG;
        return ::setsockopt(FFd, SOL_CAN_RAW, CAN_RAW_FILTER, &filter, sizeof filter) == 0 ? CanResOk : CanResParameter;
    }
    void StartReader() {
        if (FReader.joinable())
            return;
        FStop = false;
        FReader = std::thread([this] { ReadLoop(); });
    }
    void StopReader() {
        FStop = true;
        if (FReader.joinable())
            FReader.join();
    }
    void ReadLoop() {
        while (!FStop.load()) {
            int fd;
            {
                std::lock_guard lock(FLock);
                fd = FFd;
            }
            if (fd < 0)
                return;
            pollfd p{fd, POLLIN, 0};
            if (::poll(&p, 1, 100) <= 0)
                continue;
            std::lock_guard lock(FLock);
            can_frame f{};
            bool any = false;
            while (FFd >= 0 && ::read(FFd, &f, sizeof f) == static_cast<ssize_t>(sizeof f)) {
                TItem item;
                const bool xtd = (f.can_id & CAN_EFF_FLAG) != 0;
                const bool rtr = (f.can_id & CAN_RTR_FLAG) != 0;
                if (f.can_id & CAN_ERR_FLAG) {
                    item.Kind = CanItemErrorFrame;
                } else {
                    item.Kind = xtd ? (rtr ? CanItemXtdRemote : CanItemXtdData) : (rtr ? CanItemStdRemote : CanItemStdData);
                    item.Param.Ident = static_cast<int32_t>(f.can_id & (xtd ? CAN_EFF_MASK : CAN_SFF_MASK));
                    item.Param.DataLength = std::min<int32_t>(f.can_dlc, 8);
                    std::memcpy(item.Param.RcvData, f.data, 8);
                }
                if (FItems.size() < MaxQueuedItems)
                    FItems.push_back(item);
                any = true;
            }
            if (any && FEvent)
                FEvent->SetEvent();
        }
    }

    std::string FInterface;
    std::mutex FLock;
    int FFd = -1;
    bool FStarted = false;
    uint32_t FCode = 0;
    uint32_t FMask = 0;
    TFdEvent* FEvent = nullptr;
    std::deque<TItem> FItems;
    std::thread FReader;
    std::atomic<bool> FStop{false};
};

} // namespace

// ------------------------------------------------------------------ loading

void CanMapLibrary(const std::string& LibraryName, const std::string& Backend) {
    std::lock_guard lock(LibraryMutex());
    if (Backend.empty())
        LibraryMap().erase(LibraryName);
    else
        LibraryMap()[LibraryName] = Backend;
}

std::string CanLibraryBackend(const std::string& LibraryName) {
    {
        std::lock_guard lock(LibraryMutex());
        auto it = LibraryMap().find(LibraryName);
        if (it != LibraryMap().end())
            return it->second;
    }
    if (const char* env = std::getenv("VO_CAN_BACKEND"); env && *env)
        return env;
    return "socketcan:can0";
}

std::unique_ptr<TCanAdapter> CanLoadAdapter(const std::string& LibraryName, std::string* Reason) {
    const std::string backend = CanLibraryBackend(LibraryName);
    const auto colon = backend.find(':');
    const std::string kind = backend.substr(0, colon);
    const std::string arg = colon == std::string::npos ? std::string() : backend.substr(colon + 1);
    if (kind == "virtual" && !arg.empty()) {
        return TVirtualCanBus::Get(arg)->NewNode(LibraryName, true);
    }
    if (kind == "socketcan" && !arg.empty()) {
        const int probe = ::socket(PF_CAN, SOCK_RAW | SOCK_CLOEXEC, CAN_RAW);
        if (probe < 0) {
            if (Reason)
                *Reason = "SocketCAN is not available: " + std::string(std::strerror(errno));
            return nullptr;
        }
        ::close(probe);
        return std::make_unique<TSocketCanAdapter>(arg);
    }
    if (Reason)
        *Reason = "no CAN backend \"" + backend + "\"";
    return nullptr;
}

// ------------------------------------------------------------------ virtual bus

struct TVirtualCanBus::TImpl {
    mutable std::mutex Lock;
    std::vector<TVirtualCanNode*> Nodes;
    std::map<std::string, int32_t> Results;
    int32_t BusState = 0;
    uint64_t FramesSent = 0;
};

struct TVirtualCanNode::TState {
    std::string Name;
    bool Program = false;
    mutable std::mutex Lock;
    bool BoardOpen = false;
    bool Started = false;
    int32_t Timing[5] = {};
    uint32_t CodeStd = 0, MaskStd = 0, CodeXtd = 0, MaskXtd = 0;
    TFdEvent* Event = nullptr;
    std::deque<TItem> Items;
    int32_t Overruns = 0;
};

namespace {
std::mutex& BusRegistryMutex() {
    static std::mutex m;
    return m;
}
std::map<std::string, std::shared_ptr<TVirtualCanBus>>& BusRegistry() {
    static std::map<std::string, std::shared_ptr<TVirtualCanBus>> r;
    return r;
}
} // namespace

TVirtualCanBus::TVirtualCanBus(std::string Name) : FName(std::move(Name)), FImpl(std::make_shared<TImpl>()) {}

std::shared_ptr<TVirtualCanBus> TVirtualCanBus::Get(const std::string& Name) {
    std::lock_guard lock(BusRegistryMutex());
    auto& slot = BusRegistry()[Name];
    if (!slot)
        slot = std::shared_ptr<TVirtualCanBus>(new TVirtualCanBus(Name));
    return slot;
}

void TVirtualCanBus::Remove(const std::string& Name) {
    std::lock_guard lock(BusRegistryMutex());
    BusRegistry().erase(Name);
}

std::unique_ptr<TVirtualCanNode> TVirtualCanBus::NewNode(std::string NodeName, bool Program) {
    return std::unique_ptr<TVirtualCanNode>(new TVirtualCanNode(shared_from_this(), std::move(NodeName), Program));
}

void TVirtualCanBus::SetResult(const std::string& Entry, int32_t Code) {
    std::lock_guard lock(FImpl->Lock);
    if (Code == CanResOk)
        FImpl->Results.erase(Entry);
    else
        FImpl->Results[Entry] = Code;
}

void TVirtualCanBus::ClearResults() {
    std::lock_guard lock(FImpl->Lock);
    FImpl->Results.clear();
}

int32_t TVirtualCanBus::Injected(const std::string& Entry) const {
    std::lock_guard lock(FImpl->Lock);
    auto it = FImpl->Results.find(Entry);
    return it == FImpl->Results.end() ? CanResOk : it->second;
}

void TVirtualCanBus::SetBusState(int32_t State) {
    std::lock_guard lock(FImpl->Lock);
    FImpl->BusState = State;
    for (TVirtualCanNode* n : FImpl->Nodes)
        n->Announce(State);
}

int32_t TVirtualCanBus::BusState() const {
    std::lock_guard lock(FImpl->Lock);
    return FImpl->BusState;
}

std::vector<TVirtualCanBus::TNodeInfo> TVirtualCanBus::Nodes() const {
    std::lock_guard lock(FImpl->Lock);
    std::vector<TNodeInfo> out;
    for (TVirtualCanNode* n : FImpl->Nodes) {
        std::lock_guard nl(n->FState->Lock);
        TNodeInfo info;
        info.Name = n->FState->Name;
        info.Program = n->FState->Program;
        info.BoardOpen = n->FState->BoardOpen;
        info.Started = n->FState->Started;
        std::copy(std::begin(n->FState->Timing), std::end(n->FState->Timing), info.Timing);
        info.CodeXtd = n->FState->CodeXtd;
        info.MaskXtd = n->FState->MaskXtd;
        out.push_back(info);
    }
    return out;
}

uint64_t TVirtualCanBus::FramesSent() const {
    std::lock_guard lock(FImpl->Lock);
    return FImpl->FramesSent;
}

void TVirtualCanBus::Attach(TVirtualCanNode* Node) {
    std::lock_guard lock(FImpl->Lock);
    FImpl->Nodes.push_back(Node);
}

void TVirtualCanBus::Detach(TVirtualCanNode* Node) {
    std::lock_guard lock(FImpl->Lock);
    std::erase(FImpl->Nodes, Node);
}

int32_t TVirtualCanBus::Transmit(TVirtualCanNode* From, const TCanFrame& Frame) {
    std::lock_guard lock(FImpl->Lock);
    if (FImpl->BusState == 2)
        return CanResCommError;
    ++FImpl->FramesSent;
    for (TVirtualCanNode* n : FImpl->Nodes)
        if (n != From)
            n->Offer(Frame);
    return CanResOk;
}

TVirtualCanNode::TVirtualCanNode(std::shared_ptr<TVirtualCanBus> Bus, std::string Name, bool Program)
    : FBus(std::move(Bus)), FState(std::make_unique<TState>()) {
    FState->Name = std::move(Name);
    FState->Program = Program;
    FBus->Attach(this);
}

TVirtualCanNode::~TVirtualCanNode() {
    FBus->Detach(this);
}

int32_t TVirtualCanNode::Step(const char* Entry, bool NeedsBoard) const {
    if (FState->Program)
        if (const int32_t code = FBus->Injected(Entry); code != CanResOk)
            return code;
    if (NeedsBoard) {
        std::lock_guard lock(FState->Lock);
        if (!FState->BoardOpen)
            return CanResNotInitialized;
    }
    return CanResOk;
}

int32_t TVirtualCanNode::INIPC_initialize_board(CANPC_RESSOURCES*) {
    if (const int32_t code = Step("INIPC_initialize_board", false))
        return code;
    std::lock_guard lock(FState->Lock);
    if (FState->BoardOpen)
        return CanResDeviceOpen;
    FState->BoardOpen = true;
    return CanResOk;
}

int32_t TVirtualCanNode::INIPC_close_board() {
    if (const int32_t code = Step("INIPC_close_board"))
        return code;
    std::lock_guard lock(FState->Lock);
    FState->BoardOpen = false;
    FState->Started = false;
    FState->Items.clear();
    return CanResOk;
}

int32_t TVirtualCanNode::CANPC_reset_board() {
    return Step("CANPC_reset_board");
}

int32_t TVirtualCanNode::CANPC_reset_chip() {
    if (const int32_t code = Step("CANPC_reset_chip"))
        return code;
    std::lock_guard lock(FState->Lock);
    FState->Started = false;
    return CanResOk;
}

int32_t TVirtualCanNode::CANPC_initialize_chip(int32_t presc, int32_t sjw, int32_t tseg1, int32_t tseg2, int32_t sam) {
    if (const int32_t code = Step("CANPC_initialize_chip"))
        return code;
    if (presc < 1 || presc > 64 || sjw < 1 || sjw > 4 || tseg1 < 1 || tseg1 > 16 || tseg2 < 1 || tseg2 > 8 || sam < 0 || sam > 1)
        return CanResParameter;
    std::lock_guard lock(FState->Lock);
    const int32_t t[5] = {presc, sjw, tseg1, tseg2, sam};
    std::copy(std::begin(t), std::end(t), FState->Timing);
    return CanResOk;
}

int32_t TVirtualCanNode::CANPC_initialize_chip2(int32_t presc, int32_t sjw, int32_t tseg1, int32_t tseg2, int32_t sam) {
    if (const int32_t code = Step("CANPC_initialize_chip2"))
        return code;
    (void)presc, (void)sjw, (void)tseg1, (void)tseg2, (void)sam; // the second channel is not on this bus
    return CanResOk;
}

int32_t TVirtualCanNode::CANPC_set_mode(int32_t, int32_t) {
    return Step("CANPC_set_mode");
}
int32_t TVirtualCanNode::CANPC_set_mode2(int32_t, int32_t) {
    return Step("CANPC_set_mode2");
}
int32_t TVirtualCanNode::CANPC_set_output_control(int32_t) {
    return Step("CANPC_set_output_control");
}
int32_t TVirtualCanNode::CANPC_set_output_control2(int32_t) {
    return Step("CANPC_set_output_control2");
}

int32_t TVirtualCanNode::CANPC_set_acceptance(uint32_t AccCodeStd, uint32_t AccMaskStd, uint32_t AccCodeXtd, uint32_t AccMaskXtd) {
    if (const int32_t code = Step("CANPC_set_acceptance"))
        return code;
    std::lock_guard lock(FState->Lock);
    FState->CodeStd = AccCodeStd;
    FState->MaskStd = AccMaskStd;
    FState->CodeXtd = AccCodeXtd;
    FState->MaskXtd = AccMaskXtd;
    return CanResOk;
}

int32_t TVirtualCanNode::CANPC_set_acceptance2(uint32_t, uint32_t, uint32_t, uint32_t) {
    return Step("CANPC_set_acceptance2");
}

int32_t TVirtualCanNode::CANPC_enable_fifo() {
    return Step("CANPC_enable_fifo");
}

int32_t TVirtualCanNode::CANPC_start_chip() {
    if (const int32_t code = Step("CANPC_start_chip"))
        return code;
    std::lock_guard lock(FState->Lock);
    FState->Started = true;
    return CanResOk;
}

int32_t TVirtualCanNode::CANPC_set_interrupt_event(TFdEvent* Event) {
    if (const int32_t code = Step("CANPC_set_interrupt_event"))
        return code;
    std::lock_guard lock(FState->Lock);
    FState->Event = Event;
    if (Event && !FState->Items.empty())
        Event->SetEvent();
    return CanResOk;
}

int32_t TVirtualCanNode::CANPC_send_data(uint32_t Ident, int32_t Xtd, int32_t DataLength, const uint8_t* Data) {
    if (const int32_t code = Step("CANPC_send_data"))
        return code;
    if (DataLength < 0 || DataLength > 8 || (DataLength > 0 && !Data))
        return CanResParameter;
    {
        std::lock_guard lock(FState->Lock);
        if (!FState->Started)
            return CanResNotInitialized;
    }
    TCanFrame f;
    f.Ident = Xtd ? (Ident & 0x1FFFFFFF) : (Ident & 0x7FF);
    f.Xtd = Xtd != 0;
    f.Data.assign(reinterpret_cast<const char*>(Data), static_cast<size_t>(DataLength));
    return FBus->Transmit(this, f);
}

int32_t TVirtualCanNode::CANPC_read_ac(PARAM_STRUCT* Param) {
    if (FState->Program)
        if (const int32_t code = FBus->Injected("CANPC_read_ac"); code != CanResOk)
            return code;
    std::lock_guard lock(FState->Lock);
    if (FState->Items.empty())
        return 0;
    *Param = FState->Items.front().Param;
    const int32_t kind = FState->Items.front().Kind;
    FState->Items.pop_front();
    return kind;
}

void TVirtualCanNode::InjectItem(int32_t Kind, const PARAM_STRUCT& Param) {
    std::lock_guard lock(FState->Lock);
    FState->Items.push_back({Kind, Param});
    if (FState->Event)
        FState->Event->SetEvent();
}

size_t TVirtualCanNode::Pending() const {
    std::lock_guard lock(FState->Lock);
    return FState->Items.size();
}

void TVirtualCanNode::Offer(const TCanFrame& Frame) {
    std::lock_guard lock(FState->Lock);
    if (!FState->Started)
        return;
    if (Frame.Xtd ? !Accepts(Frame.Ident, FState->CodeXtd, FState->MaskXtd)
                  : !Accepts(Frame.Ident, FState->CodeStd, FState->MaskStd))
        return;
    if (FState->Items.size() >= MaxQueuedItems) {
        ++FState->Overruns;
        return;
    }
    TItem item;
    item.Kind = Frame.Xtd ? CanItemXtdData : CanItemStdData;
    item.Param.Ident = static_cast<int32_t>(Frame.Ident);
    item.Param.DataLength = static_cast<int32_t>(Frame.Data.size());
    item.Param.RecOverrun = FState->Overruns;
    std::memcpy(item.Param.RcvData, Frame.Data.data(), Frame.Data.size());
    FState->Items.push_back(item);
    if (FState->Event)
        FState->Event->SetEvent();
}

void TVirtualCanNode::Announce(int32_t State) {
    std::lock_guard lock(FState->Lock);
    if (!FState->Started)
        return;
    TItem item;
    item.Kind = CanItemBusState;
    item.Param.BusState = State;
    FState->Items.push_back(item);
    if (FState->Event)
        FState->Event->SetEvent();
}

} // namespace vo
