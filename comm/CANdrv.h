#pragma once
// The CAN link: drive frames over a CAN bus through the USB-CAN adapter.
//
// A drive frame of n bytes (1 to 255) travels as F = (n - 1) / 8 + 1 CAN
// frames under 29-bit identifiers
//   0x10000000 | sender MAC-ID << 13 | receiver MAC-ID << 5 | frames still to follow
// frame k carrying bytes 8k .. min(8k + 8, n) - 1. The program is a node with
// its own MAC-ID (the master MAC-ID, default 255); the device indices of the
// driver are the drives' MAC-IDs.
//
// Received frames are put together per sending drive (TCanReassembly): the
// counts must go down by one from frame to frame; a frame out of sequence
// drops what was collected (and the rest of its drive frame), and no drive
// frame grows beyond 255 bytes.
//
// TCANDriver is the port driver "CAN". Its adapter is connected at Open and
// disconnected when the last device is gone; settings changed meanwhile (in
// the CAN manager's view) apply at the next connection. Report lines go to the
// manager view's sink while the manager's debugging switch is on.
//
// Threads: Open, Close, Send and the slave tasks run on the server's thread;
// the receive loop on the server's thread manager; the CAN scan binds and
// sends from the GUI thread. The adapter, the slave table and the report sink
// are guarded.
#include "comm/PortDrv.h"
#include "comm/PortSlave.h"
#include "platform/AnsiString.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string_view>
#include <utility>
#include <vector>

namespace vo {

class TCanAdapter;
class TCANPort;
class TDebugLineSink;
class TSLDictionary;

struct TCANTimingData {
    const char* BaudRateString;
    int32_t presc, sjw, tseg1, tseg2, sam;
};
inline constexpr std::array<TCANTimingData, 7> CANTimingDataArray{{
    {"1 Mbaud", 1, 1, 4, 3, 0},
    {"800 kbaud", 1, 1, 6, 3, 0},
    {"500 kbaud", 1, 1, 8, 7, 0},
    {"250 kbaud", 2, 1, 8, 7, 0},
    {"125 kbaud", 4, 1, 8, 7, 0},
    {"100 kbaud", 4, 4, 11, 8, 0},
    {"10 kbaud", 32, 4, 16, 8, 0},
}};

struct TCANInterfaceData {
    const char* InterfaceName;
    const char* InterfaceDLL;
};
inline constexpr std::array<TCANInterfaceData, 1> CANInterfaceDataArray{{{"USB-CAN converter", "canusb.dll"}}};

inline constexpr uint32_t CanIdentBase = 0x10000000;
inline constexpr uint32_t CanMaskXtd = 0x1E001FE0;

constexpr uint32_t CanIdent(uint8_t Sender, uint8_t Receiver, uint8_t Follow) {
    return CanIdentBase | (uint32_t(Sender) << 13) | (uint32_t(Receiver) << 5) | (Follow & 0x1Fu);
}
constexpr uint8_t CanIdentSender(uint32_t Ident) { return uint8_t(Ident >> 13); }
constexpr uint8_t CanIdentReceiver(uint32_t Ident) { return uint8_t(Ident >> 5); }
constexpr uint8_t CanIdentFollow(uint32_t Ident) { return uint8_t(Ident & 0x1F); }

// The CAN frames (identifier, data) of a drive frame of 1 to 255 bytes.
std::vector<std::pair<uint32_t, MyAnsiString>> CanSegments(uint8_t Master, uint8_t Receiver, const MyAnsiString& Frame);

// The reassembly of the drive frames of one sending drive.
class TCanReassembly {
public:
    enum TResult {
        crPending, // taken, more to come
        crComplete, // a drive frame is complete: TakeFrame
        crDropped, // out of sequence or too long: what was collected is gone
        crSkipped, // the rest of a dropped drive frame
    };
    static constexpr size_t MaxFrame = 255;

    // One CAN frame: Follow = the frames still to follow it, Data its bytes.
    TResult Feed(uint8_t Follow, std::string_view Data);
    MyAnsiString TakeFrame();
    void Reset();
    // The count the next frame must carry (-1: a new drive frame).
    int32_t Expected() const { return FExpected; }
    size_t Collected() const { return RxBuffer.size(); }
    // Why the last crDropped happened.
    const MyAnsiString& DropReason() const { return FReason; }

private:
    TResult Drop(uint8_t Follow, MyAnsiString Reason);

    MyAnsiString RxBuffer;
    MyAnsiString FComplete;
    MyAnsiString FReason;
    int32_t FExpected = -1;
    bool FSkipping = false;
};

// The report line of a failed connection step; Step is the index in the
// order board initialisation, board reset, chip reset, chip initialisation,
// output control, acceptance, FIFO, chip start.
MyAnsiString CanStepFailure(int Step, int32_t Code);
// The report line of an item read from the adapter (empty: none).
MyAnsiString CanItemText(int32_t Kind, int32_t BusState, uint32_t Ident, const uint8_t* Data, int32_t Length);
// "Send Ident 101FE061h , Data: 01 02: ok".
MyAnsiString CanSendText(uint32_t Ident, const MyAnsiString& Data, bool Ok);

enum TCANDriverStatus : int32_t { CANDriverOnline = 0,
                                  CANDriverOffline = 1 };

class TCANDriver;

class TCANSlave : public TPortSlave {
public:
    TCANSlave(TCANDriver& Driver, int32_t MacId, TMxScheduler& Scheduler);
    int32_t DeviceMACID() const { return FDeviceMACID; }
    TCanReassembly RxBuffer; // guarded by the driver's slave lock

private:
    int32_t FDeviceMACID;
};

class TCANDriver : public TPortDriver {
public:
    // Port type and name "CAN", 256 indices, interface 0, "500 kbaud",
    // master MAC-ID 255, offline.
    TCANDriver();
    ~TCANDriver() override;

    // Takes "InterfaceSelection" (0), "BaudRateSelection" (0 to 6) and
    // "OvraMasterMACID" (0 to 255) when present and in range.
    void Init(const TSLDictionary* CANDriverConfigDict);

    // Connects the adapter (a failure leaves the driver open but offline),
    // starts receiving on AThreadManager and opens the base.
    void Open(TMxScheduler& AScheduler, TThreadManager& AThreadManager) override;
    // While devices remain only tells the view; else stops receiving,
    // disconnects and closes.
    void Close() override;
    uint8_t Assign(int32_t PortIndex, TInpEvent OnInput, TErrEvent OnError) override;
    // Segments and sends: 0, or 0x8F offline or at the first CAN frame the
    // adapter refuses (the rest is not sent).
    uint8_t Send(int32_t PortIndex, const MyAnsiString& Msg) override;

    bool ConnectBoard();
    void Disconnect();
    MyAnsiString GetStatusString() const;
    bool GetIsConnected() const { return FStatus.load() == CANDriverOnline; }
    bool GetIsDisconnected() const { return !GetIsConnected(); }
    void UpdateSettings();
    void Report(const MyAnsiString& Text);

    int32_t InterfaceSel() const { return FInterfaceSel.load(); }
    void SetInterfaceSel(int32_t Value) { FInterfaceSel.store(Value); }
    int32_t BaudRateSel() const { return FBaudRateSel.load(); }
    void SetBaudRateSel(int32_t Value) { FBaudRateSel.store(Value); }
    int32_t OvraMasterMACID() const { return FOvraMasterMACID.load(); }
    void SetOvraMasterMACID(int32_t Value) { FOvraMasterMACID.store(Value); }
    int32_t NoOfSlaves() const;
    const MyAnsiString& Name() const { return FName; }

    // The sink of the report lines (nullptr: none) and the view's callback
    // for changes of the connection state; both are called on the thread
    // that reports or connects. After the setter returns, the old ones are
    // no longer called.
    void SetReportMemo(TDebugLineSink* Memo);
    void SetUpdateSettingsView(std::function<void()> Callback);

    // Counts since creation (diagnostics and tests).
    uint64_t FramesDropped() const { return FFramesDropped.load(); }

    // The receive loop (the receive port's event).
    void CANReceive();

    const char* ClassName() const override { return "TCANDriver"; }

private:
    friend class TCANSlave;
    void ReleaseSlaves();

    const MyAnsiString FName = "CAN";
    std::atomic<int32_t> FInterfaceSel{0};
    std::atomic<int32_t> FBaudRateSel{2};
    std::atomic<int32_t> FOvraMasterMACID{255};
    std::atomic<TCANDriverStatus> FStatus{CANDriverOffline};

    std::mutex FReportLock; // memo and view callback
    TDebugLineSink* FReportMemo = nullptr;
    std::function<void()> FUpdateSettingsView;

    std::mutex FAdapterLock; // the adapter and every call into it
    std::unique_ptr<TCanAdapter> FAdapter;
    std::unique_ptr<TCANPort> CANPort;

    mutable std::mutex FSlaveLock;
    std::array<std::unique_ptr<TCANSlave>, 256> CANSlaves;
    int32_t FNoOfSlaves = 0;

    std::atomic<uint64_t> FFramesDropped{0};
};

} // namespace vo
