#pragma once
// TCANPort: the receive side of the CAN adapter for the CAN link and the raw
// CAN ports. It owns the interrupt event that the adapter sets while frames
// wait, and lets a thread manager wait on it; each time, the receive event
// (the owner's reading loop) runs on the manager's thread, one reception at a
// time under the port's receiver lock. The event outlives the opening, so an
// adapter that still holds it after ClosePort sets nothing that is gone.
#include "kernel/ThrdMan.h"
#include "platform/AnsiString.h"
#include "platform/FdEvent.h"

#include <functional>
#include <mutex>

namespace vo {

using TCANRxEvent = std::function<void()>;

class TCANPort {
public:
    explicit TCANPort(MyAnsiString PortName = "CAN1");
    virtual ~TCANPort(); // closes the port
    TCANPort(const TCANPort&) = delete;
    TCANPort& operator=(const TCANPort&) = delete;

    // Calls the receive event.
    virtual void Receive();

    // Set before OpenPort.
    void SetOnReceive(TCANRxEvent Handler) { FOnReceive = std::move(Handler); }
    const MyAnsiString& PortName() const { return FPortName; }

    // Takes a client of ThreadManager that waits on the interrupt event;
    // raises the manager's "maximum of clients" error. Already open: nothing.
    void OpenPort(TThreadManager& ThreadManager);
    // Releases the client; a reception in progress ends first, none follows.
    void ClosePort();
    bool IsOpen() const;
    // The event to hand to CANPC_set_interrupt_event.
    TFdEvent* GetInterruptEventHandle() { return &FEvent; }

private:
    void DoReceive();

    TThreadClient* ThreadClient = nullptr;
    MyAnsiString FPortName;
    TCANRxEvent FOnReceive;
    TFdEvent FEvent;
    mutable std::mutex FLock; // ThreadClient
    std::mutex FReceiverLock;
};

} // namespace vo
