#pragma once
// The device driver: the server-side object of one opened drive. It binds the
// drive to one index of one port driver, owns the semaphore that serialises
// the server actors on the drive, hands frames to the port driver and routes
// the frames that come back: to the server actor that waits for that command
// code, or else to the drive's default queue on the GUI side. It also writes
// the communication trace (debug group 1).
//
// Threads: everything runs on the communication server's thread, except the
// trace switch (the debug manager calls SetDebugHandler from the GUI thread);
// the routing fields and the trace handler are guarded all the same, so a
// port driver may deliver frames from another thread.
#include "comm/PortDrv.h"
#include "kernel/Debug.h"
#include "kernel/MxMLib20.h"
#include "kernel/MxTLib20.h"
#include "platform/AnsiString.h"

#include <cstdint>
#include <memory>
#include <mutex>

namespace vo {

// Result codes of the device driver.
inline constexpr uint8_t OvraResNoPortDriver = 0x90; // the device has no port driver
inline constexpr uint8_t OvraResNotOwner = 0x91; // the sender does not own the device
inline constexpr uint8_t OvraResOffLine = 0xA0; // device off-line: only the login may pass

class TDeviceDriver {
public:
    // Binds PortIndex at PortDriver (Assign) and keeps the port driver only
    // when that succeeds (otherwise every Output gives 0x90). MainQueue is
    // the server's request queue, through whose node frames that answer no
    // request are sent to the default queue (nullptr: such frames are
    // dropped).
    TDeviceDriver(std::shared_ptr<TPortDriver> PortDriver, int32_t PortIndex, TMxQueue* MainQueue);
    // Detaches from the port driver (when not done yet).
    virtual ~TDeviceDriver();
    TDeviceDriver(const TDeviceDriver&) = delete;
    TDeviceDriver& operator=(const TDeviceDriver&) = delete;

    // Called before each frame is sent: may change the frame, or set Handled
    // and return a result instead of sending. The base passes everything.
    virtual uint8_t ModifyOutput(MyAnsiString& Frame, bool& Handled);
    // Called for each received frame before it is routed: may change it, or
    // set Handled to drop it. The base does nothing.
    virtual void ModifyInput(MyAnsiString& Frame, bool& Handled);

    // Unbinds the index at the port driver and closes it (a driver that
    // still serves other devices stays open); afterwards every Output gives
    // 0x90. Called when the device is closed, even while an actor still
    // holds the device.
    void Detach();

    // Sets or clears (empty handler) the trace handler.
    void SetDebugHandler(TDebugHandler DebugHandler);
    void SetDefaultQueue(uint16_t Ident, uint8_t Domain, uint8_t Info);

    // Lets Sender wait (from its step) for the semaphore for at most Timeout ms.
    void ObtainDevice(TMxTask& Sender, int64_t Timeout);
    // 0x91 when Sender does not own the semaphore; else releases it, 0.
    uint8_t ReleaseDevice(TMxTask& Sender);
    bool IsOwner(const TMxTask& Sender) const { return Semaphore.IsOwner(Sender); }

    // Routes frames whose first byte is ServiceId to Queue. Raises
    // "<class>.AssignCurrentService: current service is already assigned"
    // while a code is assigned.
    void AssignCurrentService(TMxQueue& Queue, uint8_t ServiceId);
    // Raises "<class>.ReleaseCurrentService: wrong current service queue"
    // when Queue is not the assigned one.
    void ReleaseCurrentService(TMxQueue& Queue);
    // The assigned command code, -1 when none.
    int32_t CurrentServiceIdent() const;

    // Sends one frame: 0x90 without port driver, 0x91 when Sender does not
    // own the semaphore, ModifyOutput's result when it handles the frame,
    // else the port driver's result. Exceptions of the port driver pass on.
    uint8_t Output(TMxTask& Sender, const MyAnsiString& Msg);
    // The input event given to the port driver.
    void InputEvent(int32_t PortIndex, const MyAnsiString& Frame);

    std::shared_ptr<TPortDriver> PortDriver() const;
    int32_t PortIndex() const { return FPortIndex; }
    TMxSemaphore& DeviceSemaphore() { return Semaphore; }

    virtual const char* ClassName() const { return "TDeviceDriver"; }

private:
    void Trace(bool Sent, const MyAnsiString& Frame, const TPortDriver& Port);

    mutable std::mutex FLock; // routing fields, default queue, trace handler, port driver
    bool DefaultQueueAssigned = false;
    uint16_t DefQueueIdent = 0;
    uint8_t DefQueueDomain = 0;
    uint8_t DefQueueInfo = 0;
    std::shared_ptr<TPortDriver> FPortDriver;
    int32_t FPortIndex;
    TMxQueue* FMainQueue;
    TDebugHandler FDebugHandler;
    TMxSemaphore Semaphore;
    int32_t FCurrentServiceIdent = -1;
    TMxQueue* CurrentServiceQueue = nullptr;
};

// The trace text of a frame by port type: "(<time>) - COM1 OUT: 10 01 00 ",
// "(<time>) - CAN (5) - IN: ...", "(<time>) - ETH (10.0.0.5) - OUT: ...".
// At most the first 255 bytes are written.
MyAnsiString DeviceTraceText(const MyAnsiString& Time, const MyAnsiString& PortType,
                             const MyAnsiString& PortName, int32_t PortIndex, bool Sent,
                             const MyAnsiString& Frame);

} // namespace vo
