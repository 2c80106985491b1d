#pragma once
// The port-driver base: one communication medium that serves a fixed number
// of device indices. The base keeps, per device index, the input event through
// which received frames reach the device driver (and the error event given
// with it), checks indices and the open state, and leaves framing and the
// receive path to the subclass (RS232, older serial protocol, CAN, Ethernet).
//
// Threads: Open, Close, Assign, Output and Input run on the communication
// server's thread, except that the CAN scan binds and sends from the GUI
// thread. The event table is therefore guarded by the driver's lock, which is
// also held while an input event runs: once Assign has unbound an index, no
// frame reaches the former device any more. An input event must not bind or
// unbind at its own driver from another thread while it runs.
#include "kernel/MxTLib20.h"
#include "kernel/ThrdMan.h"
#include "platform/AnsiString.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <vector>

namespace vo {

// A frame received for a device index.
using TInpEvent = std::function<void(int32_t PortIndex, const MyAnsiString& Frame)>;
// An error of a device index (kept with the input event; not raised by the drivers).
using TErrEvent = std::function<void(int32_t PortIndex, uint8_t Code)>;

// Result codes of the port drivers.
inline constexpr uint8_t OvraResIndexOutOfRange = 0x80; // device index outside the port's range
inline constexpr uint8_t OvraResPortNotOpen = 0x81; // port not open
inline constexpr uint8_t OvraResIndexBound = 0x82; // Assign: the index is already bound
inline constexpr uint8_t OvraResSendFailed = 0x8F; // the medium refused the frame
inline constexpr uint8_t OvraResReplaced = 0xFF; // Assign: CAN index 0 bound again (replaced)

class TPortDriver {
public:
    // Port type "Generic", APortCount device indices 0 .. APortCount - 1.
    explicit TPortDriver(int32_t APortCount);
    // Closes the base when still open. A subclass closes its medium in its own
    // destructor (Close is virtual and cannot reach the subclass from here).
    virtual ~TPortDriver();
    TPortDriver(const TPortDriver&) = delete;
    TPortDriver& operator=(const TPortDriver&) = delete;

    // Opens the medium: AScheduler runs the driver's receive tasks, the thread
    // manager's thread waits on its receive events. The base keeps both, makes
    // the event table empty and marks the driver open; already open: nothing.
    virtual void Open(TMxScheduler& AScheduler, TThreadManager& AThreadManager);
    // The base: when open, marks it closed, forgets every binding and the
    // scheduler.
    virtual void Close();
    // OnInput set binds PortIndex, unset unbinds it (see the .cpp for the
    // rules per port type). 0 on success, else 0x80 / 0x82 / 0xFF.
    virtual uint8_t Assign(int32_t PortIndex, TInpEvent OnInput, TErrEvent OnError);
    // Frames Msg for the medium and hands it over for the device at
    // PortIndex: 0, or 0x8F when the medium refused it. The answer comes later
    // through Input.
    virtual uint8_t Send(int32_t PortIndex, const MyAnsiString& Msg) = 0;

    // Whether a device is bound at PortIndex (the server refuses a second
    // device there). The Ethernet driver answers by address.
    virtual bool IsBound(int32_t PortIndex) const;
    // The baud rate for the next opening; false for drivers without one.
    virtual bool SetBaudRate(uint32_t BaudRate);

    // The device driver's way to send: 0x81 when not open, 0x80 for an index
    // out of range (every type but "ETH"), else Send's result.
    uint8_t Output(int32_t PortIndex, const MyAnsiString& Msg);
    // A complete frame for a device index, from the subclass's receive path:
    // calls the index's input event; without one (or out of range, or
    // closed) the frame is dropped. Any index of the port's range is
    // reachable (Ethernet slave positions go beyond 255).
    void Input(int32_t PortIndex, const MyAnsiString& Msg);

    bool PortIsOpen() const { return FPortIsOpen.load(); }
    int32_t PortCount() const { return FPortCount; }
    const MyAnsiString& PortType() const { return FPortType; }
    // The name shown in trace lines (set by the server for serial ports).
    MyAnsiString PortName() const;
    void SetPortName(const MyAnsiString& Name);
    // The scheduler given to Open (nullptr while closed) and the thread manager.
    TMxScheduler* Scheduler() const;
    TThreadManager* ThreadManager() const;

    virtual const char* ClassName() const { return "TPortDriver"; }

protected:
    // Subclasses set their type in their constructor ("RS", "OQP", "CAN", "ETH").
    void SetPortType(MyAnsiString Type) { FPortType = std::move(Type); }
    bool IsEth() const { return FPortType == "ETH"; }

    // Guards the event table, the scheduler and the name. Recursive so that a
    // subclass may call the base from inside its own locked sections.
    mutable std::recursive_mutex FLock;

private:
    TMxScheduler* FScheduler = nullptr;
    TThreadManager* FThreadManager = nullptr;
    MyAnsiString FPortType = "Generic";
    std::atomic<bool> FPortIsOpen{false};
    int32_t FPortCount;
    MyAnsiString FPortName;
    // Per index; grown on demand up to FPortCount entries (the Ethernet
    // driver's 65535 positions are mostly unused).
    std::vector<TInpEvent> PInpEventArray;
    std::vector<TErrEvent> PErrEventArray;
};

} // namespace vo
