#include "comm/DevDrv.h"

#include "kernel/functions.h"
#include "platform/Exception.h"

namespace vo {

TDeviceDriver::TDeviceDriver(std::shared_ptr<TPortDriver> PortDriver, int32_t PortIndex, TMxQueue* MainQueue)
    : FPortIndex(PortIndex), FMainQueue(MainQueue) {
    if (PortDriver) {
        const uint8_t res = PortDriver->Assign(
            PortIndex, [this](int32_t Index, const MyAnsiString& Frame) { InputEvent(Index, Frame); },
            [](int32_t, uint8_t) {});
        if (res == 0)
            FPortDriver = std::move(PortDriver);
    }
}

TDeviceDriver::~TDeviceDriver() {
    try {
        Detach();
    } catch (const std::exception& e) {
        LogInfo(MyAnsiString(ClassName()) + ".Destroy: " + e.what());
    }
}

uint8_t TDeviceDriver::ModifyOutput(MyAnsiString&, bool& Handled) {
    Handled = false;
    return 0;
}

void TDeviceDriver::ModifyInput(MyAnsiString&, bool&) {}

void TDeviceDriver::Detach() {
    std::shared_ptr<TPortDriver> port;
    {
        std::lock_guard lock(FLock);
        port = std::move(FPortDriver);
        FPortDriver.reset();
    }
    if (!port)
        return;
    // Not under FLock: the port driver holds its own lock while it delivers
    // a frame to InputEvent, which takes FLock.
    port->Assign(FPortIndex, nullptr, nullptr);
    port->Close();
}

void TDeviceDriver::SetDebugHandler(TDebugHandler DebugHandler) {
    std::lock_guard lock(FLock);
    FDebugHandler = std::move(DebugHandler);
}

void TDeviceDriver::SetDefaultQueue(uint16_t Ident, uint8_t Domain, uint8_t Info) {
    std::lock_guard lock(FLock);
    DefQueueIdent = Ident;
    DefQueueDomain = Domain;
    DefQueueInfo = Info;
    DefaultQueueAssigned = true;
}

void TDeviceDriver::ObtainDevice(TMxTask& Sender, int64_t Timeout) {
    Sender.WaitFor(Semaphore, Timeout);
}

uint8_t TDeviceDriver::ReleaseDevice(TMxTask& Sender) {
    if (!Semaphore.IsOwner(Sender))
        return OvraResNotOwner;
    Semaphore.Release(Sender);
    return 0;
}

void TDeviceDriver::AssignCurrentService(TMxQueue& Queue, uint8_t ServiceId) {
    std::lock_guard lock(FLock);
    if (FCurrentServiceIdent != -1)
        throw Exception(MyAnsiString(ClassName()) + ".AssignCurrentService: current service is already assigned");
    FCurrentServiceIdent = ServiceId;
    CurrentServiceQueue = &Queue;
}

void TDeviceDriver::ReleaseCurrentService(TMxQueue& Queue) {
    std::lock_guard lock(FLock);
    if (CurrentServiceQueue != &Queue)
        throw Exception(MyAnsiString(ClassName()) + ".ReleaseCurrentService: wrong current service queue");
    FCurrentServiceIdent = -1;
    CurrentServiceQueue = nullptr;
}

int32_t TDeviceDriver::CurrentServiceIdent() const {
    std::lock_guard lock(FLock);
    return FCurrentServiceIdent;
}

std::shared_ptr<TPortDriver> TDeviceDriver::PortDriver() const {
    std::lock_guard lock(FLock);
    return FPortDriver;
}

uint8_t TDeviceDriver::Output(TMxTask& Sender, const MyAnsiString& Msg) {
    std::shared_ptr<TPortDriver> port = PortDriver();
    if (!port)
        return OvraResNoPortDriver;
    if (!Semaphore.IsOwner(Sender))
        return OvraResNotOwner;
    MyAnsiString frame = Msg;
    bool handled = false;
    const uint8_t modified = ModifyOutput(frame, handled);
    if (handled)
        return modified;
    const uint8_t result = port->Output(FPortIndex, frame);
    Trace(true, frame, *port);
    return result;
}

void TDeviceDriver::InputEvent(int32_t PortIndex, const MyAnsiString& Frame) {
    MyAnsiString frame = Frame;
    bool handled = false;
    ModifyInput(frame, handled);
    if (!handled && !frame.empty()) {
        TMxQueue* actorQueue = nullptr;
        TMxMsgAddr def{};
        uint8_t defInfo = 0;
        bool toDefault = false;
        {
            std::lock_guard lock(FLock);
            if (FCurrentServiceIdent == static_cast<uint8_t>(frame[0]) && CurrentServiceQueue) {
                actorQueue = CurrentServiceQueue;
            } else if (DefaultQueueAssigned && FMainQueue) {
                def = {DefQueueIdent, DefQueueDomain};
                defInfo = DefQueueInfo;
                toDefault = true;
            }
            if (actorQueue) {
                // Under FLock, so that the actor cannot release the code and
                // go away between the test and the hand-over.
                TMxMessage* msg = TMxMessage::Create();
                msg->SetText(frame);
                actorQueue->PutMessage(msg);
            }
        }
        if (toDefault) {
            TMxMessage* msg = TMxMessage::Create();
            msg->SetText(frame);
            msg->SetReceiver(def.Ident, def.Domain, defInfo);
            try {
                if (FMainQueue->LoggedOn()) {
                    FMainQueue->SendMessage(msg); // an undeliverable message goes back to the pool
                } else {
                    TMxMessage::Free(msg);
                }
            } catch (const std::exception& e) {
                LogInfo(MyAnsiString(ClassName()) + ".Input: " + e.what());
            }
        }
    }
    if (frame.empty())
        return;
    if (std::shared_ptr<TPortDriver> port = PortDriver()) {
        (void)PortIndex;
        Trace(false, frame, *port);
    }
}

void TDeviceDriver::Trace(bool Sent, const MyAnsiString& Frame, const TPortDriver& Port) {
    TDebugHandler handler;
    {
        std::lock_guard lock(FLock);
        if (!FDebugHandler)
            return;
        handler = FDebugHandler;
    }
    const uint16_t code = static_cast<uint16_t>((Sent ? 0x100 : 0x200) +
                                                (Frame.empty() ? 0 : static_cast<uint8_t>(Frame[0])));
    try {
        handler(code, DeviceTraceText(MillisecondsFromStart(), Port.PortType(), Port.PortName(), FPortIndex, Sent, Frame));
    } catch (...) {
        // Tracing never disturbs the traffic.
    }
}

MyAnsiString DeviceTraceText(const MyAnsiString& Time, const MyAnsiString& PortType, const MyAnsiString& PortName,
                             int32_t PortIndex, bool Sent, const MyAnsiString& Frame) {
    const MyAnsiString bytes = StrToHexStr(Frame.substr(0, 255));
    const char* dir = Sent ? "OUT: " : "IN: ";
    if (PortType == "ETH")
        return "(" + Time + ") - ETH (" + IntToIPStr(PortIndex) + ") - " + dir + bytes;
    if (PortType == "CAN")
        return "(" + Time + ") - CAN (" + std::to_string(PortIndex) + ") - " + dir + bytes;
    return "(" + Time + ") - " + PortName + " " + dir + bytes;
}

} // namespace vo
