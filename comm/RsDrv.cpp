#include "comm/RsDrv.h"

#include "comm/OvraServ.h"
#include "kernel/Debug.h"
#include "platform/Exception.h"

#include <chrono>
#include <string>
#include <thread>

namespace vo {

uint8_t RsChecksum(const MyAnsiString& Data) {
    uint8_t sum = 0;
    for (const char c : Data)
        sum = static_cast<uint8_t>(sum + static_cast<uint8_t>(c));
    return sum;
}

MyAnsiString RsFrame(const MyAnsiString& Payload) {
    if (Payload.size() > RsMaxPayload)
        throw Exception("RsFrame: payload of " + std::to_string(Payload.size()) + " bytes is longer than 255");
    MyAnsiString frame;
    frame.reserve(Payload.size() + 3);
    frame.push_back(static_cast<char>(RsFrameStart));
    frame.push_back(static_cast<char>(Payload.size()));
    frame.push_back(static_cast<char>(RsChecksum(Payload)));
    frame += Payload;
    return frame;
}

// ------------------------------------------------------------------ receiver

void TRsReceiver::Reset() {
    RxState = stWaitForHeader1;
    RxBuffer.clear();
    RxDataSize = 0;
    RxCheckSum = 0;
}

void TRsReceiver::Complete() {
    const uint8_t computed = RsChecksum(RxBuffer);
    MyAnsiString payload;
    payload.swap(RxBuffer);
    const uint8_t received = RxCheckSum;
    Reset();
    if (computed == received) {
        if (FOnFrame)
            FOnFrame(payload);
    } else if (FOnChecksumError) {
        FOnChecksumError(received, computed);
    }
}

uint8_t TRsReceiver::Receive(const MyAnsiString& Data, int64_t NowMs) {
    if (Data.empty())
        return RxState == stWaitForOvraFrame ? static_cast<uint8_t>(RxDataSize - RxBuffer.size()) : 1;

    // A frame whose bytes stopped coming is given up: the byte that comes now
    // starts over, looking for a frame start.
    if (RxState != stWaitForHeader1 && FGap > 0 && NowMs - FLastByte > FGap) {
        const size_t dropped = (RxState == stWaitForOvraFrame ? 3 : static_cast<size_t>(RxState)) + RxBuffer.size();
        Reset();
        if (FOnBroken)
            FOnBroken(dropped);
    }
    FLastByte = NowMs;

    size_t i = 0;
    while (i < Data.size()) {
        const auto b = static_cast<uint8_t>(Data[i]);
        switch (RxState) {
        case stWaitForHeader1:
            if (b == RsFrameStart)
                RxState = stWaitForHeader2;
            ++i;
            break;
        case stWaitForHeader2:
            RxDataSize = b;
            RxState = stWaitForHeader3;
            ++i;
            break;
        case stWaitForHeader3:
            RxCheckSum = b;
            RxBuffer.clear();
            ++i;
            RxState = stWaitForOvraFrame;
            if (RxDataSize == 0)
                Complete(); // an empty frame; the next byte is not part of it
            break;
        case stWaitForOvraID:
        case stWaitForOvraFrame: {
            const size_t missing = RxDataSize - RxBuffer.size();
            const size_t take = std::min(missing, Data.size() - i);
            RxBuffer.append(Data, i, take);
            i += take;
            if (RxBuffer.size() == RxDataSize)
                Complete();
            break;
        }
        }
    }
    if (RxState == stWaitForOvraFrame)
        return static_cast<uint8_t>(RxDataSize - RxBuffer.size());
    return 1;
}

// ------------------------------------------------------------------ driver

TRsDriver::TRsDriver(int32_t PortNr, uint32_t BaudRate, MyAnsiString APortName)
    : TPortDriver(1), FPortNr(PortNr), FDefaultBaudRate(BaudRate), FFixedName(std::move(APortName)),
      FBaudRate(BaudRate) {
    SetPortType("RS");
}

TRsDriver::~TRsDriver() {
    try {
        TRsDriver::Close();
    } catch (const std::exception& e) {
        LogInfo(MyAnsiString(e.what()) + " - TRsDriver.Destroy");
    }
}

uint32_t TRsDriver::BaudRate() const {
    std::lock_guard lock(FRsLock);
    return FBaudRate;
}

MyAnsiString TRsDriver::OpenedName() const {
    std::lock_guard lock(FRsLock);
    return FOpenedName;
}

bool TRsDriver::SetBaudRate(uint32_t BaudRate) {
    std::lock_guard lock(FRsLock);
    FBaudRate = BaudRate;
    return true;
}

MyAnsiString TRsDriver::ResolvePortName() {
    if (!FFixedName.empty())
        return FFixedName;
    if (TOvraServer* server = OvraServer()) {
        MyAnsiString name = server->GetPortName(FPortNr - 1);
        if (!name.empty())
            return name;
    }
    MyAnsiString name = PortName();
    if (!name.empty())
        return name;
    return "COM" + std::to_string(FPortNr);
}

void TRsDriver::Open(TMxScheduler& AScheduler, TThreadManager& AThreadManager) {
    if (PortIsOpen())
        return;
    const MyAnsiString name = ResolvePortName();

    auto queue = std::make_unique<TMxQueue>();
    auto port = std::make_unique<TCommPort>();
    port->SetPortName(name);
    {
        std::lock_guard lock(FRsLock);
        port->SetBaud(FBaudRate);
    }
    FReceiver.Reset();
    FReceiver.SetGap(RsDriverResyncGap.Milliseconds());
    FReceiver.SetOnFrame([this](const MyAnsiString& Payload) {
        ++FFramesReceived;
        TMxMessage* msg = TMxMessage::Create();
        msg->SetText(Payload);
        if (TMxQueue* q = FRxTarget.load())
            q->PutMessage(msg);
        else
            TMxMessage::Free(msg);
    });
    FReceiver.SetOnChecksumError([this, name](uint8_t Received, uint8_t Computed) {
        ++FChecksumErrors;
        LogInfo(name + ": Check sum error! " + std::to_string(Received) + "(" + std::to_string(Computed) + ")");
    });
    FReceiver.SetOnBroken([this, name](size_t Bytes) {
        ++FBrokenFrames;
        LogInfo(name + ": incomplete frame dropped after a pause (" + std::to_string(Bytes) + " bytes)");
    });
    FRxTarget.store(queue.get());
    port->SetOnReceive([this](const MyAnsiString& Data, uint8_t& NextSize, bool& Stop) { Receiver(Data, NextSize, Stop); });
    try {
        port->OpenPort(AThreadManager);
    } catch (const std::exception& e) {
        FRxTarget.store(nullptr);
        throw Exception(e.what());
    }

    {
        std::lock_guard lock(FRsLock);
        FOpenedName = name;
        CommPort = std::move(port);
        RxQueue = std::move(queue);
    }
    TPortDriver::Open(AScheduler, AThreadManager);

    if (const int64_t delay = RsDriverOpenDelay.Milliseconds(); delay > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));

    auto task = std::make_unique<TMxTask>(AScheduler, "RSDriver.Open");
    task->SetOnExecute([this](TMxTask& Sender) { RxStep(Sender); });
    task->Start();
    std::lock_guard lock(FRsLock);
    RxTask = std::move(task);
}

void TRsDriver::ReleaseMedium() {
    std::unique_ptr<TCommPort> port;
    std::unique_ptr<TMxTask> task;
    std::unique_ptr<TMxQueue> queue;
    {
        std::lock_guard lock(FRsLock);
        port = std::move(CommPort);
        task = std::move(RxTask);
        queue = std::move(RxQueue);
        FBaudRate = FDefaultBaudRate;
    }
    // Outside the lock: closing waits for a reception in progress, freeing
    // the task for a step in progress.
    if (port)
        port->ClosePort();
    FRxTarget.store(nullptr);
    port.reset();
    task.reset();
    queue.reset(); // gives frames not yet taken back to the pool
}

void TRsDriver::Close() {
    ReleaseMedium();
    TPortDriver::Close();
}

uint8_t TRsDriver::Send(int32_t /*PortIndex*/, const MyAnsiString& Msg) {
    if (Msg.size() > RsMaxPayload) {
        LogInfo(OpenedName() + ": frame of " + std::to_string(Msg.size()) + " bytes is too long for the RS232 link");
        return OvraResSendFailed;
    }
    const MyAnsiString frame = RsFrame(Msg);
    std::lock_guard lock(FRsLock);
    if (!CommPort)
        return OvraResSendFailed;
    try {
        CommPort->Send(frame);
    } catch (const std::exception&) {
        return OvraResSendFailed;
    }
    return 0;
}

void TRsDriver::Receiver(const MyAnsiString& Data, uint8_t& NextSize, bool& /*Stop*/) {
    NextSize = FReceiver.Receive(Data, SteadyMilliseconds());
}

void TRsDriver::RxStep(TMxTask& Sender) {
    TMxQueue* queue;
    {
        std::lock_guard lock(FRsLock);
        queue = RxQueue.get();
    }
    if (!queue)
        return; // closing
    if (TMxMessage* msg = queue->GetMessage()) {
        const MyAnsiString frame = msg->GetText();
        TMxMessage::Free(msg);
        Input(0, frame);
    }
    Sender.WaitFor(*queue, MxInfinite);
}

} // namespace vo
