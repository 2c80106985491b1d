#pragma once
// The RS232 link: drive frames over one serial port.
//
// Each frame travels with a three-byte header (both directions):
//   0xA5, n (the payload length, 0 to 255), the 8-bit sum of the n payload
//   bytes, then the payload (one drive frame, command code first).
// The length and the sum cover the payload only.
//
// TRsDriver is the port driver of one serial port ("COM1" ..), registered with
// the communication server under the port's name; it serves one device
// (index 0). It frames and writes what the device driver sends, and
// reassembles the bytes the serial port reads (on the server's thread
// manager) with TRsReceiver; complete frames reach the server's thread only
// through the driver's receive queue and its receive task "RSDriver.Open".
//
// The receiver drops bytes outside frames, drops a frame whose sum does not
// match (logging "<port>: Check sum error! <received>(<computed>)"), takes a
// header that announces 0 bytes as an empty frame, and starts over when the
// line stays quiet in the middle of a frame for longer than the resync gap, so
// that a lost byte costs one frame and not every frame after it.
#include "comm/CommPort.h"
#include "comm/PortDrv.h"
#include "kernel/MxMLib20.h"
#include "kernel/MxTLib20.h"
#include "platform/AnsiString.h"
#include "platform/Time.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace vo {

// The pause after opening a port before its receive task starts.
inline TTimeConstant RsDriverOpenDelay{"RsDriver.OpenDelay", 250};
// A pause longer than this inside a received frame breaks the frame off.
inline TTimeConstant RsDriverResyncGap{"RsDriver.ResyncGap", 500};

inline constexpr uint8_t RsFrameStart = 0xA5;
inline constexpr size_t RsMaxPayload = 255;

// The 8-bit sum of the bytes.
uint8_t RsChecksum(const MyAnsiString& Data);
// The frame on the wire for a payload; raises "RsFrame: payload of %d bytes
// is longer than 255" for a payload the length byte cannot announce.
MyAnsiString RsFrame(const MyAnsiString& Payload);

// The receiving state machine of the RS232 link, fed with the pieces the
// serial port reads. No I/O of its own and no locks: one thread feeds it.
class TRsReceiver {
public:
    enum TRxState : uint8_t {
        stWaitForHeader1,
        stWaitForHeader2,
        stWaitForHeader3,
        stWaitForOvraID, // never entered
        stWaitForOvraFrame
    };

    using TFrameEvent = std::function<void(const MyAnsiString& Payload)>;
    using TChecksumEvent = std::function<void(uint8_t Received, uint8_t Computed)>;
    // A frame broken off by a pause: the bytes of it that were dropped.
    using TBrokenEvent = std::function<void(size_t Bytes)>;

    void SetOnFrame(TFrameEvent Handler) { FOnFrame = std::move(Handler); }
    void SetOnChecksumError(TChecksumEvent Handler) { FOnChecksumError = std::move(Handler); }
    void SetOnBroken(TBrokenEvent Handler) { FOnBroken = std::move(Handler); }
    // The resync gap in milliseconds; 0: never break a frame off.
    void SetGap(int64_t Milliseconds) { FGap = Milliseconds; }

    // Back to stWaitForHeader1 with nothing received.
    void Reset();
    // One piece of received bytes at NowMs (any length; the port reads as
    // many as NextSize asked for). Returns the number of bytes wanted next:
    // the rest of the payload while in a frame, else 1.
    uint8_t Receive(const MyAnsiString& Data, int64_t NowMs);

    TRxState State() const { return RxState; }
    uint8_t DataSize() const { return RxDataSize; }

private:
    void Complete();

    TRxState RxState = stWaitForHeader1;
    MyAnsiString RxBuffer;
    uint8_t RxDataSize = 0;
    uint8_t RxCheckSum = 0;
    int64_t FLastByte = 0;
    int64_t FGap = 0;
    TFrameEvent FOnFrame;
    TChecksumEvent FOnChecksumError;
    TBrokenEvent FOnBroken;
};

class TRsDriver : public TPortDriver {
public:
    // Port type "RS", one device index. PortNr is the driver's position in
    // the server's port list plus 1; the port is opened under the name the
    // server lists at that position (APortName, when given, instead). BaudRate
    // is the default baud rate, to which every Close returns.
    TRsDriver(int32_t PortNr, uint32_t BaudRate, MyAnsiString APortName = {});
    ~TRsDriver() override;

    // Opens the serial port (nothing when open), then the base; waits
    // RsDriverOpenDelay; starts the receive task on AScheduler. A port that
    // does not open raises its message ("Port COM7 could not be opened!") and
    // the driver stays closed.
    void Open(TMxScheduler& AScheduler, TThreadManager& AThreadManager) override;
    // Closes and frees the port, the receive task and queue; the baud rate
    // returns to the default; then the base.
    void Close() override;
    // Writes the framed payload in one piece: 0, or 0x8F when the port
    // refused it, is closed, or the payload is longer than 255 bytes.
    uint8_t Send(int32_t PortIndex, const MyAnsiString& Msg) override;
    // The baud rate of the next opening.
    bool SetBaudRate(uint32_t BaudRate) override;

    static uint8_t Checksum(const MyAnsiString& Data) { return RsChecksum(Data); }

    int32_t PortNr() const { return FPortNr; }
    uint32_t BaudRate() const;
    uint32_t DefaultBaudRate() const { return FDefaultBaudRate; }
    // The name the port was (last) opened under.
    MyAnsiString OpenedName() const;

    // Counts since creation (diagnostics and tests).
    uint64_t FramesReceived() const { return FFramesReceived.load(); }
    uint64_t ChecksumErrors() const { return FChecksumErrors.load(); }
    uint64_t BrokenFrames() const { return FBrokenFrames.load(); }

    const char* ClassName() const override { return "TRsDriver"; }

private:
    MyAnsiString ResolvePortName();
    // The serial port's receive event (thread manager's thread).
    void Receiver(const MyAnsiString& Data, uint8_t& NextSize, bool& Stop);
    void RxStep(TMxTask& Sender);
    void ReleaseMedium();

    const int32_t FPortNr;
    const uint32_t FDefaultBaudRate;
    const MyAnsiString FFixedName;

    mutable std::mutex FRsLock; // port, task, queue, baud rate, name
    uint32_t FBaudRate;
    MyAnsiString FOpenedName;
    std::unique_ptr<TCommPort> CommPort;
    std::unique_ptr<TMxQueue> RxQueue;
    std::unique_ptr<TMxTask> RxTask;

    // Receiving side (thread manager's thread while the port is open).
    TRsReceiver FReceiver;
    std::atomic<TMxQueue*> FRxTarget{nullptr};

    std::atomic<uint64_t> FFramesReceived{0};
    std::atomic<uint64_t> FChecksumErrors{0};
    std::atomic<uint64_t> FBrokenFrames{0};
};

} // namespace vo
