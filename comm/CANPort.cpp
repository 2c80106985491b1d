#include "comm/CANPort.h"

namespace vo {

TCANPort::TCANPort(MyAnsiString PortName) : FPortName(std::move(PortName)) {}

TCANPort::~TCANPort() {
    ClosePort();
}

void TCANPort::Receive() {
    if (FOnReceive)
        FOnReceive();
}

bool TCANPort::IsOpen() const {
    std::lock_guard lock(FLock);
    return ThreadClient != nullptr;
}

void TCANPort::OpenPort(TThreadManager& ThreadManager) {
    std::lock_guard lock(FLock);
    if (ThreadClient)
        return;
    TThreadClient* client = ThreadManager.NewThreadClient();
    client->SetOnEvent([this](TThreadClient&) { DoReceive(); });
    client->AttachWaitHandle(FEvent.Handle());
    ThreadClient = client;
}

void TCANPort::ClosePort() {
    TThreadClient* client;
    {
        std::lock_guard lock(FLock);
        client = ThreadClient;
        ThreadClient = nullptr;
    }
    if (!client)
        return;
    TThreadManager* owner = client->Owner();
    client->SetOnEvent(nullptr); // waits for a reception in progress
    client->Release();
    owner->WaitUntilSettled(2000);
}

void TCANPort::DoReceive() {
    // The manager does not reset an outside event: reset it before reading,
    // so that a frame arriving while we read sets it again.
    FEvent.ResetEvent();
    std::lock_guard lock(FReceiverLock);
    Receive();
}

} // namespace vo
