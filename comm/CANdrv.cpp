#include "comm/CANdrv.h"

#include "comm/CANMan.h"
#include "comm/CANPort.h"
#include "kernel/Debug.h"
#include "platform/CanAdapter.h"
#include "platform/Exception.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"

#include <cstdio>

namespace vo {

namespace {

MyAnsiString Hex8(uint32_t Value) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%08X", Value);
    return buf;
}

MyAnsiString Hex2(uint8_t Value) {
    char buf[4];
    std::snprintf(buf, sizeof buf, "%02X", Value);
    return buf;
}

// The connection steps, in order.
enum TStep { stBoardInit,
             stBoardReset,
             stChipReset,
             stChipInit,
             stOutputControl,
             stAcceptance,
             stFifo,
             stChipStart };
constexpr unsigned Bit(TStep S) { return 1u << S; }
constexpr unsigned ChipSteps =
    Bit(stChipReset) | Bit(stChipInit) | Bit(stOutputControl) | Bit(stAcceptance) | Bit(stFifo) | Bit(stChipStart);

const char* const StepOk[] = {"Board initialization ok", "Reset Board ok", "Reset Chip ok", "Chip initialization ok",
                              "Set output control ok", "", "Enable fifo mode ok", "Start chip ok"};
const char* const StepFailed[] = {"Board initialization failed: ", "Reset Board failed: ", "Reset Chip failed: ",
                                  "Chip initialization failed: ", "Set output control failed: ", "Set acceptance failed: ",
                                  "Enable fifo mode failed: ", "Start chip failed: "};

struct TCodeText {
    int32_t Code;
    const char* Text;
    unsigned Steps;
};

const TCodeText CodeTexts[] = {
    {0xFE00, "No CAN device or driver found", Bit(stBoardInit)},
    {0xFE08, "Wrong driver DLL version", Bit(stBoardInit)},
    {0xFE09, "Wrong driver version", Bit(stBoardInit)},
    {0xFE0A, "Not enough memory", Bit(stBoardInit)},
    {0xFE0B, "Too many devices", Bit(stBoardInit)},
    {0xFE0E, "Device already open", Bit(stBoardInit)},
    {0xFE0F, "Device already exists", Bit(stBoardInit)},
    {0xFE11, "Resource conflict", Bit(stBoardInit)},
    {0xFE12, "Resource conflict access error", Bit(stBoardInit)},
    {-614, "Wrong version of boot firmware", Bit(stBoardReset)},
    {-613, "Failed to start communication between host and interface", Bit(stChipStart)},
    {-612, "Not enough memory", Bit(stChipStart)},
    {-605, "Internal driver error", ChipSteps},
    {-603, "Communication via USB pipe broken", Bit(stBoardReset) | ChipSteps},
    {-99, "Board not initialized", Bit(stBoardReset) | ChipSteps},
    {-39, "No CAN-AC2-PCI plugged in", Bit(stBoardReset)},
    {-38, "Error initializing chip", Bit(stBoardReset)},
    {-27, "Error reading PCI parameter", Bit(stBoardReset)},
    {-26, "PCI chip not supported", Bit(stBoardReset)},
    {-25, "Bad response after program start", Bit(stBoardReset)},
    {-24, "No response after program start", Bit(stBoardReset)},
    {-23, "Invalid record type", Bit(stBoardReset)},
    {-22, "Invalid program start address", Bit(stBoardReset)},
    {-21, "SRAM seems to be damaged", Bit(stBoardReset)},
    {-20, "Bad response from card", Bit(stBoardReset)},
    {-18, "Invalid IRQ number", Bit(stBoardReset)},
    {-17, "No physical memory", Bit(stBoardReset)},
    {-16, "No card present", Bit(stBoardReset)},
    {-7, "Firmware checksum error", Bit(stBoardReset)},
    {-6, "Firmware data format error", Bit(stBoardReset)},
    {-4, "Communication error between host and interface", Bit(stBoardReset) | ChipSteps},
    {-1, "Parameter error", Bit(stChipInit) | Bit(stOutputControl) | Bit(stAcceptance) | Bit(stFifo) | Bit(stChipStart)},
};

MyAnsiString HexBytes(const uint8_t* Data, int32_t Length, bool BlankBefore) {
    MyAnsiString s;
    for (int32_t i = 0; i < Length; ++i)
        s += BlankBefore ? " " + Hex2(Data[i]) : Hex2(Data[i]) + " ";
    return s;
}

} // namespace

// ------------------------------------------------------------------ frames

std::vector<std::pair<uint32_t, MyAnsiString>> CanSegments(uint8_t Master, uint8_t Receiver, const MyAnsiString& Frame) {
    std::vector<std::pair<uint32_t, MyAnsiString>> out;
    if (Frame.empty())
        return out;
    const size_t count = (Frame.size() - 1) / 8 + 1;
    for (size_t k = 0; k < count; ++k)
        out.emplace_back(CanIdent(Master, Receiver, static_cast<uint8_t>(count - k - 1)), Frame.substr(8 * k, 8));
    return out;
}

TCanReassembly::TResult TCanReassembly::Drop(uint8_t Follow, MyAnsiString Reason) {
    RxBuffer.clear();
    FExpected = -1;
    FSkipping = Follow != 0;
    FReason = std::move(Reason);
    return crDropped;
}

TCanReassembly::TResult TCanReassembly::Feed(uint8_t Follow, std::string_view Data) {
    Follow &= 0x1F;
    if (FSkipping) {
        if (Follow == 0)
            FSkipping = false;
        return crSkipped;
    }
    if (FExpected >= 0 && Follow != FExpected)
        return Drop(Follow, "unexpected count " + std::to_string(Follow) + " (expected " + std::to_string(FExpected) + ")");
    if (Data.size() > 8 || (Follow > 0 && Data.size() != 8))
        return Drop(Follow, "segment of " + std::to_string(Data.size()) + " bytes");
    if (RxBuffer.size() + Data.size() > MaxFrame)
        return Drop(Follow, "longer than 255 bytes");
    RxBuffer.append(Data);
    if (Follow > 0) {
        FExpected = Follow - 1;
        return crPending;
    }
    FExpected = -1;
    if (RxBuffer.empty())
        return Drop(0, "empty frame");
    FComplete.swap(RxBuffer);
    RxBuffer.clear();
    return crComplete;
}

MyAnsiString TCanReassembly::TakeFrame() {
    MyAnsiString f;
    f.swap(FComplete);
    return f;
}

void TCanReassembly::Reset() {
    RxBuffer.clear();
    FComplete.clear();
    FExpected = -1;
    FSkipping = false;
}

MyAnsiString CanStepFailure(int Step, int32_t Code) {
    if (Step < stBoardInit || Step > stChipStart)
        return {};
    if (Step == stChipReset && Code == -1)
        return "Reset Chip failed";
    for (const auto& c : CodeTexts)
        if (c.Code == Code && (c.Steps & (1u << Step)))
            return MyAnsiString(StepFailed[Step]) + c.Text;
    return MyAnsiString(StepFailed[Step]) + "Error Code " + std::to_string(Code);
}

MyAnsiString CanItemText(int32_t Kind, int32_t BusState, uint32_t Ident, const uint8_t* Data, int32_t Length) {
    switch (Kind) {
    case 1: return "Standard data frame received";
    case 2: return "Standard remote frame received";
    case 3: return "Transmission of a standard data frame is confirmed";
    case 4: return "Overrun of the remote transmit FIFO";
    case 5:
        switch (BusState) {
        case 0: return "Change of bus status: error active";
        case 1: return "Change of bus status: error passive";
        case 2: return "Change of bus status: bus off";
        default: return {};
        }
    case 8: return "Transmission of a standard remote frame is confirmed";
    case 9: return "Extended data frame received: Ident: " + Hex8(Ident) + "h , Data: " + HexBytes(Data, Length, false);
    case 10: return "Transmission of an extended data frame is confirmed";
    case 11: return "Transmission of an extended remote frame is confirmed";
    case 12: return "Extended remote frame received";
    case 15: return "Error frame detected";
    case -605: return "Internal driver error";
    case -603: return "Communication via USB pipe broken";
    case -99: return "Board not initialized";
    case -4: return "Communication error between host and interface";
    case -1: return "Function not successful";
    default: return {};
    }
}

MyAnsiString CanSendText(uint32_t Ident, const MyAnsiString& Data, bool Ok) {
    return "Send Ident " + Hex8(Ident) + "h , Data:" +
        HexBytes(reinterpret_cast<const uint8_t*>(Data.data()), static_cast<int32_t>(Data.size()), true) +
        (Ok ? ": ok" : ": failed");
}

// ------------------------------------------------------------------ slave

TCANSlave::TCANSlave(TCANDriver& Driver, int32_t MacId, TMxScheduler& Scheduler)
    : TPortSlave(Scheduler, "CANSlave.Create", [&Driver, MacId](const MyAnsiString& Frame) { Driver.Input(MacId, Frame); }),
      FDeviceMACID(MacId) {}

// ------------------------------------------------------------------ driver

TCANDriver::TCANDriver() : TPortDriver(256) {
    SetPortType("CAN");
}

TCANDriver::~TCANDriver() {
    try {
        ReleaseSlaves();
        if (CANPort)
            CANPort->ClosePort();
        Disconnect();
        CANPort.reset();
        TPortDriver::Close();
    } catch (const std::exception& e) {
        LogInfo(MyAnsiString(e.what()) + " - TCANDriver.Destroy");
    }
}

void TCANDriver::ReleaseSlaves() {
    std::array<std::unique_ptr<TCANSlave>, 256> slaves;
    {
        std::lock_guard lock(FSlaveLock);
        slaves.swap(CANSlaves);
        FNoOfSlaves = 0;
    }
    for (auto& s : slaves)
        if (s)
            s->Stop();
}

void TCANDriver::Init(const TSLDictionary* Dict) {
    if (!Dict)
        return;
    auto take = [Dict](const char* Name, int64_t Max, std::atomic<int32_t>& Field) {
        auto* n = dynamic_cast<TSLLongint*>(Dict->FindObjWithName(Name));
        if (n && n->GetLongintValue() >= 0 && n->GetLongintValue() <= Max)
            Field.store(static_cast<int32_t>(n->GetLongintValue()));
    };
    take("InterfaceSelection", static_cast<int64_t>(CANInterfaceDataArray.size()) - 1, FInterfaceSel);
    take("BaudRateSelection", static_cast<int64_t>(CANTimingDataArray.size()) - 1, FBaudRateSel);
    take("OvraMasterMACID", 255, FOvraMasterMACID);
}

void TCANDriver::SetReportMemo(TDebugLineSink* Memo) {
    std::lock_guard lock(FReportLock);
    FReportMemo = Memo;
}

void TCANDriver::SetUpdateSettingsView(std::function<void()> Callback) {
    std::lock_guard lock(FReportLock);
    FUpdateSettingsView = std::move(Callback);
}

void TCANDriver::Report(const MyAnsiString& Text) {
    TCANManager* manager = CANManager();
    if (!manager || !manager->DebugingEnabled())
        return;
    std::lock_guard lock(FReportLock);
    if (FReportMemo)
        FReportMemo->Append(FName + ": " + Text);
}

void TCANDriver::UpdateSettings() {
    std::lock_guard lock(FReportLock);
    if (FUpdateSettingsView)
        FUpdateSettingsView();
}

MyAnsiString TCANDriver::GetStatusString() const {
    return GetIsConnected() ? "Online" : "Offline";
}

int32_t TCANDriver::NoOfSlaves() const {
    std::lock_guard lock(FSlaveLock);
    return FNoOfSlaves;
}

bool TCANDriver::ConnectBoard() {
    std::lock_guard lock(FAdapterLock);
    FStatus.store(CANDriverOffline);
    if (FAdapter) {
        FAdapter->CANPC_set_interrupt_event(nullptr);
        FAdapter->INIPC_close_board();
        FAdapter.reset();
    }
    const int32_t sel = FInterfaceSel.load();
    const TCANInterfaceData& itf = CANInterfaceDataArray[static_cast<size_t>(
        sel >= 0 && sel < static_cast<int32_t>(CANInterfaceDataArray.size()) ? sel : 0)];
    std::string reason;
    std::unique_ptr<TCanAdapter> adapter = CanLoadAdapter(itf.InterfaceDLL, &reason);
    if (!adapter) {
        const MyAnsiString line = MyAnsiString("Loading ") + itf.InterfaceDLL + " failed: " + reason;
        Report(line);
        LogInfo(FName + ": " + line);
        return false;
    }

    const int32_t baud = FBaudRateSel.load();
    const TCANTimingData& t = CANTimingDataArray[static_cast<size_t>(
        baud >= 0 && baud < static_cast<int32_t>(CANTimingDataArray.size()) ? baud : 2)];
    const uint32_t codeXtd = CanIdentBase + static_cast<uint32_t>(FOvraMasterMACID.load() & 0xFF) * 32;
    CANPC_RESSOURCES resources;
    resources.uSocket = -1;

    bool ok = true;
    for (int step = stBoardInit; ok && step <= stChipStart; ++step) {
        int32_t rc = 0;
        switch (step) {
        case stBoardInit: rc = adapter->INIPC_initialize_board(&resources); break;
        case stBoardReset: rc = adapter->CANPC_reset_board(); break;
        case stChipReset: rc = adapter->CANPC_reset_chip(); break;
        case stChipInit: rc = adapter->CANPC_initialize_chip(t.presc, t.sjw, t.tseg1, t.tseg2, t.sam); break;
        case stOutputControl: rc = adapter->CANPC_set_output_control(-1); break;
        case stAcceptance: rc = adapter->CANPC_set_acceptance(0, 0x7FF, codeXtd, CanMaskXtd); break;
        case stFifo: rc = adapter->CANPC_enable_fifo(); break;
        case stChipStart: rc = adapter->CANPC_start_chip(); break;
        }
        if (rc != 0) {
            Report(CanStepFailure(step, rc));
            ok = false;
        } else if (step == stAcceptance) {
            Report("Set acceptance ok (CodeXtd: " + Hex8(codeXtd) + "h, MaskXtd: " + Hex8(CanMaskXtd) + "h)");
        } else {
            Report(StepOk[step]);
            if (step == stChipInit)
                if (const std::string fixed = adapter->FixedBitRateText(); !fixed.empty())
                    Report("Bit rate: " + fixed + " (" + t.BaudRateString + " not applied)");
        }
    }
    if (!ok) {
        Report(adapter->INIPC_close_board() == 0 ? "Close board ok" : "Close board failed");
        return false;
    }
    FAdapter = std::move(adapter);
    FStatus.store(CANDriverOnline);
    return true;
}

void TCANDriver::Disconnect() {
    std::lock_guard lock(FAdapterLock);
    if (FAdapter) {
        FAdapter->CANPC_set_interrupt_event(nullptr);
        FAdapter->INIPC_close_board();
        FAdapter.reset();
    }
    FStatus.store(CANDriverOffline);
}

void TCANDriver::Open(TMxScheduler& AScheduler, TThreadManager& AThreadManager) {
    if (PortIsOpen())
        return;
    try {
        ConnectBoard();
        UpdateSettings();
        auto port = std::make_unique<TCANPort>(FName);
        port->SetOnReceive([this] { CANReceive(); });
        port->OpenPort(AThreadManager);
        {
            std::lock_guard lock(FAdapterLock);
            if (FAdapter)
                FAdapter->CANPC_set_interrupt_event(port->GetInterruptEventHandle());
        }
        CANPort = std::move(port);
        TPortDriver::Open(AScheduler, AThreadManager);
    } catch (const std::exception& e) {
        Disconnect();
        CANPort.reset();
        throw Exception(e.what());
    }
}

void TCANDriver::Close() {
    if (!PortIsOpen())
        return;
    if (NoOfSlaves() > 0) {
        UpdateSettings();
        return;
    }
    if (CANPort)
        CANPort->ClosePort();
    Disconnect();
    CANPort.reset();
    TPortDriver::Close();
    UpdateSettings();
}

uint8_t TCANDriver::Assign(int32_t PortIndex, TInpEvent OnInput, TErrEvent OnError) {
    std::unique_ptr<TCANSlave> gone;
    {
        std::lock_guard lock(FLock);
        if (PortIndex < 0 || PortIndex >= PortCount())
            return OvraResIndexOutOfRange;
        const auto idx = static_cast<size_t>(PortIndex);
        if (OnInput) {
            TMxScheduler* scheduler = Scheduler();
            if (!scheduler)
                return OvraResPortNotOpen;
            const uint8_t res = TPortDriver::Assign(PortIndex, std::move(OnInput), std::move(OnError));
            if (res == 0) {
                auto slave = std::make_unique<TCANSlave>(*this, PortIndex, *scheduler);
                std::lock_guard sl(FSlaveLock);
                CANSlaves[idx] = std::move(slave);
                ++FNoOfSlaves;
            }
            return res;
        }
        std::lock_guard sl(FSlaveLock);
        if (!CANSlaves[idx])
            return 0;
        TPortDriver::Assign(PortIndex, nullptr, nullptr);
        gone = std::move(CANSlaves[idx]);
        if (FNoOfSlaves > 0)
            --FNoOfSlaves;
    }
    gone->Stop();
    gone.reset();
    return 0;
}

uint8_t TCANDriver::Send(int32_t PortIndex, const MyAnsiString& Msg) {
    if (Msg.empty() || Msg.size() > TCanReassembly::MaxFrame || PortIndex < 0 || PortIndex > 255)
        return OvraResSendFailed;
    const auto master = static_cast<uint8_t>(FOvraMasterMACID.load());
    {
        std::lock_guard lock(FAdapterLock);
        if (!FAdapter || !GetIsConnected())
            return OvraResSendFailed;
        for (const auto& [ident, data] : CanSegments(master, static_cast<uint8_t>(PortIndex), Msg)) {
            const bool ok = FAdapter->CANPC_send_data(ident, 1, static_cast<int32_t>(data.size()),
                                                      reinterpret_cast<const uint8_t*>(data.data())) == 0;
            Report(CanSendText(ident, data, ok));
            if (!ok)
                return OvraResSendFailed;
        }
    }
    if (TDebugManager* dm = DebugManager(); dm && dm->ExtendedDebugInfo)
        LogInfo("TCANDriver.Send: Data: " + StrToHexStr(Msg) + " Time: " + MillisecondsFromStart());
    return 0;
}

void TCANDriver::CANReceive() {
    for (;;) {
        PARAM_STRUCT p;
        int32_t kind;
        {
            std::lock_guard lock(FAdapterLock);
            if (!FAdapter)
                return;
            kind = FAdapter->CANPC_read_ac(&p);
        }
        if (kind == 0)
            return;
        const int32_t length = std::clamp<int32_t>(p.DataLength, 0, 8);
        if (const MyAnsiString line = CanItemText(kind, p.BusState, static_cast<uint32_t>(p.Ident), p.RcvData, length);
            !line.empty())
            Report(line);
        if (kind < 0)
            return; // the adapter reports an error: nothing more to read now
        if (kind != CanItemXtdData && kind != CanItemStdData)
            continue;
        const auto ident = static_cast<uint32_t>(p.Ident);
        if (CanIdentReceiver(ident) != static_cast<uint8_t>(FOvraMasterMACID.load()))
            continue;
        const uint8_t sender = CanIdentSender(ident);
        std::lock_guard lock(FSlaveLock);
        TCANSlave* slave = CANSlaves[sender].get();
        if (!slave)
            continue;
        switch (slave->RxBuffer.Feed(CanIdentFollow(ident),
                                     std::string_view(reinterpret_cast<const char*>(p.RcvData), static_cast<size_t>(length)))) {
        case TCanReassembly::crComplete: {
            const MyAnsiString frame = slave->RxBuffer.TakeFrame();
            Report("Complete Ovra Frame received: Length: " + std::to_string(frame.size()));
            slave->Put(frame);
            break;
        }
        case TCanReassembly::crDropped:
            ++FFramesDropped;
            Report("Frame of MAC-ID " + std::to_string(sender) + " dropped: " + slave->RxBuffer.DropReason());
            break;
        default: break;
        }
    }
}

} // namespace vo
