#pragma once
// The CAN adapter layer: the entry points of the USB-CAN adapter library that
// the CAN link and the raw CAN ports call, behind one interface with two
// backends.
//
//   SocketCAN      a Linux CAN interface ("socketcan:can0"): extended frames,
//                  the acceptance as a kernel filter, the bit rate is the
//                  interface's own (set outside the program with ip link).
//   virtual bus    an in-process bus ("virtual:<bus name>"): every node sees
//                  the frames of the others that pass its acceptance; tests
//                  inject return codes and bus states.
//
// Acceptance: a frame passes when the bits set in the mask are equal in its
// identifier and in the code ((Ident & Mask) == (Code & Mask)); a mask of 0
// lets everything pass.
//
// Loading the library by name becomes choosing a backend: CanLoadAdapter maps
// the library name ("canusb.dll") to a backend text, by default
// "socketcan:can0" or the environment variable VO_CAN_BACKEND; tests map it to
// a virtual bus with CanMapLibrary.
//
// The interrupt event is an eventfd (TFdEvent) that the adapter sets whenever
// items wait to be read; a thread manager waits on it.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vo {

class TFdEvent;

// The resources record of board initialisation; uSocket -1 means "the first
// board found".
struct CANPC_RESSOURCES {
    int16_t uSocket = -1;
    uint16_t uInterrupt = 0;
    uint32_t ulDPRAMBaseAdr = 0;
    uint32_t ulDPRAMSize = 0;
    uint16_t uChip = 0;
    uint16_t IOAddress = 0;
    uint16_t uRegisterBase = 0;
};

// The record CANPC_read_ac fills.
struct PARAM_STRUCT {
    int32_t Ident = 0;
    int32_t DataLength = 0;
    int32_t RecOverrun = 0;
    int32_t LostMessage = 0;
    uint8_t RcvData[8] = {};
    int32_t AckOverrun = 0;
    int32_t LostAck = 0;
    int32_t LostRemotes = 0;
    int32_t BusState = 0;
    int32_t Error_state = 0;
    int32_t Can = 0;
    int32_t TimeStamp = 0;
};

// Item kinds of CANPC_read_ac.
inline constexpr int32_t CanItemStdData = 1;
inline constexpr int32_t CanItemStdRemote = 2;
inline constexpr int32_t CanItemStdTxConfirmed = 3;
inline constexpr int32_t CanItemRemoteOverrun = 4;
inline constexpr int32_t CanItemBusState = 5;
inline constexpr int32_t CanItemStdRemoteTxConfirmed = 8;
inline constexpr int32_t CanItemXtdData = 9;
inline constexpr int32_t CanItemXtdTxConfirmed = 10;
inline constexpr int32_t CanItemXtdRemoteTxConfirmed = 11;
inline constexpr int32_t CanItemXtdRemote = 12;
inline constexpr int32_t CanItemErrorFrame = 15;

// Return codes the backends give.
inline constexpr int32_t CanResOk = 0;
inline constexpr int32_t CanResNoDevice = 0xFE00; // board initialisation: no device or driver
inline constexpr int32_t CanResDeviceOpen = 0xFE0E; // board initialisation: device already open
inline constexpr int32_t CanResParameter = -1; // parameter error / function not successful
inline constexpr int32_t CanResCommError = -4; // communication error between host and interface
inline constexpr int32_t CanResNotInitialized = -99; // board not initialised

class TCanAdapter {
public:
    virtual ~TCanAdapter() = default;

    virtual int32_t INIPC_initialize_board(CANPC_RESSOURCES* Resources) = 0;
    virtual int32_t INIPC_close_board() = 0;
    virtual int32_t CANPC_reset_board() = 0;
    virtual int32_t CANPC_reset_chip() = 0;
    virtual int32_t CANPC_initialize_chip(int32_t presc, int32_t sjw, int32_t tseg1, int32_t tseg2, int32_t sam) = 0;
    virtual int32_t CANPC_initialize_chip2(int32_t presc, int32_t sjw, int32_t tseg1, int32_t tseg2, int32_t sam) = 0;
    virtual int32_t CANPC_set_mode(int32_t SleepMode, int32_t SpeedMode) = 0;
    virtual int32_t CANPC_set_mode2(int32_t SleepMode, int32_t SpeedMode) = 0;
    virtual int32_t CANPC_set_output_control(int32_t OutputControl) = 0;
    virtual int32_t CANPC_set_output_control2(int32_t OutputControl) = 0;
    virtual int32_t CANPC_set_acceptance(uint32_t AccCodeStd, uint32_t AccMaskStd, uint32_t AccCodeXtd,
                                         uint32_t AccMaskXtd) = 0;
    virtual int32_t CANPC_set_acceptance2(uint32_t AccCodeStd, uint32_t AccMaskStd, uint32_t AccCodeXtd,
                                          uint32_t AccMaskXtd) = 0;
    virtual int32_t CANPC_enable_fifo() = 0;
    virtual int32_t CANPC_start_chip() = 0;
    // The event to set while items wait (nullptr: none). The event must
    // outlive the adapter or be replaced before it goes.
    virtual int32_t CANPC_set_interrupt_event(TFdEvent* Event) = 0;
    // One frame: Xtd 1 extended identifier, 0 standard; 0 to 8 data bytes.
    virtual int32_t CANPC_send_data(uint32_t Ident, int32_t Xtd, int32_t DataLength, const uint8_t* Data) = 0;
    // The kind of the next waiting item with its record filled; 0 when none.
    virtual int32_t CANPC_read_ac(PARAM_STRUCT* Param) = 0;

    // The bit rate the bus runs at when the adapter decides it (SocketCAN),
    // else empty: the chip timing given decides.
    virtual std::string FixedBitRateText() const { return {}; }
};

// The adapter for a library name; nullptr (with Reason) when its backend
// cannot be had (unknown backend text, SocketCAN not available).
std::unique_ptr<TCanAdapter> CanLoadAdapter(const std::string& LibraryName, std::string* Reason = nullptr);
// Maps a library name to a backend text ("virtual:<bus>", "socketcan:<if>");
// an empty backend removes the mapping.
void CanMapLibrary(const std::string& LibraryName, const std::string& Backend);
std::string CanLibraryBackend(const std::string& LibraryName);

// ------------------------------------------------------------------ virtual bus

struct TCanFrame {
    uint32_t Ident = 0;
    bool Xtd = true;
    std::string Data; // 0 to 8 bytes
};

class TVirtualCanNode;

class TVirtualCanBus : public std::enable_shared_from_this<TVirtualCanBus> {
public:
    // The bus of that name, created on first use; it lives until the process
    // ends (or Remove).
    static std::shared_ptr<TVirtualCanBus> Get(const std::string& Name);
    static void Remove(const std::string& Name);

    // A node of the bus. Program nodes (those CanLoadAdapter makes) give the
    // results injected with SetResult; the others (the simulator's drives) not.
    std::unique_ptr<TVirtualCanNode> NewNode(std::string NodeName, bool Program = false);

    // The code the entry (by its name, e.g. "INIPC_initialize_board") gives
    // from now on at nodes that the program opened through CanLoadAdapter;
    // CanResOk removes the injection.
    void SetResult(const std::string& Entry, int32_t Code);
    void ClearResults();
    // Announces a bus state to every started node (item kind 5: 0 error
    // active, 1 error passive, 2 bus off); while bus off, sending fails with
    // CanResCommError.
    void SetBusState(int32_t State);
    int32_t BusState() const;

    struct TNodeInfo {
        std::string Name;
        bool Program = false; // opened through CanLoadAdapter
        bool BoardOpen = false;
        bool Started = false;
        int32_t Timing[5] = {}; // presc, sjw, tseg1, tseg2, sam of the last chip initialisation
        uint32_t CodeXtd = 0;
        uint32_t MaskXtd = 0;
    };
    std::vector<TNodeInfo> Nodes() const;
    // Frames put on the bus so far.
    uint64_t FramesSent() const;

private:
    friend class TVirtualCanNode;
    explicit TVirtualCanBus(std::string Name);
    void Attach(TVirtualCanNode* Node);
    void Detach(TVirtualCanNode* Node);
    int32_t Transmit(TVirtualCanNode* From, const TCanFrame& Frame);
    int32_t Injected(const std::string& Entry) const;

    struct TImpl;
    std::string FName;
    std::shared_ptr<TImpl> FImpl;
};

// One node of a virtual bus; the adapter entries act on it.
class TVirtualCanNode : public TCanAdapter {
public:
    ~TVirtualCanNode() override;

    int32_t INIPC_initialize_board(CANPC_RESSOURCES* Resources) override;
    int32_t INIPC_close_board() override;
    int32_t CANPC_reset_board() override;
    int32_t CANPC_reset_chip() override;
    int32_t CANPC_initialize_chip(int32_t presc, int32_t sjw, int32_t tseg1, int32_t tseg2, int32_t sam) override;
    int32_t CANPC_initialize_chip2(int32_t presc, int32_t sjw, int32_t tseg1, int32_t tseg2, int32_t sam) override;
    int32_t CANPC_set_mode(int32_t SleepMode, int32_t SpeedMode) override;
    int32_t CANPC_set_mode2(int32_t SleepMode, int32_t SpeedMode) override;
    int32_t CANPC_set_output_control(int32_t OutputControl) override;
    int32_t CANPC_set_output_control2(int32_t OutputControl) override;
    int32_t CANPC_set_acceptance(uint32_t AccCodeStd, uint32_t AccMaskStd, uint32_t AccCodeXtd, uint32_t AccMaskXtd) override;
    int32_t CANPC_set_acceptance2(uint32_t AccCodeStd, uint32_t AccMaskStd, uint32_t AccCodeXtd, uint32_t AccMaskXtd) override;
    int32_t CANPC_enable_fifo() override;
    int32_t CANPC_start_chip() override;
    int32_t CANPC_set_interrupt_event(TFdEvent* Event) override;
    int32_t CANPC_send_data(uint32_t Ident, int32_t Xtd, int32_t DataLength, const uint8_t* Data) override;
    int32_t CANPC_read_ac(PARAM_STRUCT* Param) override;

    // Puts an item into this node's queue as if the chip had reported it.
    void InjectItem(int32_t Kind, const PARAM_STRUCT& Param);
    // Items waiting to be read.
    size_t Pending() const;
    TVirtualCanBus& Bus() const { return *FBus; }

private:
    friend class TVirtualCanBus;
    TVirtualCanNode(std::shared_ptr<TVirtualCanBus> Bus, std::string Name, bool Program);
    int32_t Step(const char* Entry, bool NeedsBoard = true) const;
    void Offer(const TCanFrame& Frame); // bus lock held
    void Announce(int32_t State); // bus lock held

    struct TState;
    std::shared_ptr<TVirtualCanBus> FBus;
    std::unique_ptr<TState> FState;
};

} // namespace vo
