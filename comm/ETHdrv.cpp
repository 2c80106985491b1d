#include "comm/ETHdrv.h"

#include "kernel/Debug.h"
#include "kernel/functions.h"
#include "platform/Exception.h"
#include "platform/UdpSocket.h"

#include <chrono>
#include <thread>

namespace vo {

namespace {

std::atomic<uint16_t> GEthDrivePort{20000};

MyAnsiString PackTrigger(const MyAnsiString& Data, int32_t FromIP) {
    MyAnsiString s(4, '\0');
    for (int i = 0; i < 4; ++i)
        s[static_cast<size_t>(i)] = static_cast<char>((static_cast<uint32_t>(FromIP) >> (24 - 8 * i)) & 0xFF);
    return s + Data;
}

} // namespace

uint16_t EthDrivePort() noexcept {
    return GEthDrivePort.load();
}

void SetEthDrivePort(uint16_t Port) noexcept {
    GEthDrivePort.store(Port);
}

// ------------------------------------------------------------------ slave

TETHSlave::TETHSlave(TETHDriver& Driver, int32_t DeviceIP, TMxScheduler& Scheduler)
    : TPortSlave(Scheduler, "ETHSlave.Create", [&Driver, DeviceIP](const MyAnsiString& Frame) { Driver.SlaveInput(DeviceIP, Frame); }),
      FDeviceIP(DeviceIP) {}

// ------------------------------------------------------------------ driver

TETHDriver::TETHDriver() : TPortDriver(65535) {
    SetPortType("ETH");
}

TETHDriver::~TETHDriver() {
    std::vector<std::unique_ptr<TETHSlave>> slaves;
    {
        std::lock_guard lock(FSlaveLock);
        slaves.swap(ETHSlaves);
    }
    for (auto& s : slaves)
        s->Stop();
    slaves.clear();
    SwitchOff();
    TPortDriver::Close();
}

void TETHDriver::SetOnTrigger(TTriggerEvent Handler) {
    std::lock_guard lock(FMessageLock);
    FOnTrigger = std::move(Handler);
}

MyAnsiString TETHDriver::MessageStr() const {
    std::lock_guard lock(FMessageLock);
    return FMessageStr;
}

uint16_t TETHDriver::LocalPort() const {
    std::lock_guard lock(const_cast<std::mutex&>(FEndpointLock));
    return FIDUdpServer ? FIDUdpServer->LocalPort() : 0;
}

int32_t TETHDriver::NoOfSlaves() const {
    std::lock_guard lock(FSlaveLock);
    return static_cast<int32_t>(ETHSlaves.size());
}

int32_t TETHDriver::GetSlaveIndex(int32_t PortIndex) const {
    std::lock_guard lock(FSlaveLock);
    for (size_t i = 0; i < ETHSlaves.size(); ++i)
        if (ETHSlaves[i]->DeviceIP() == PortIndex)
            return static_cast<int32_t>(i);
    return -1;
}

bool TETHDriver::IsBound(int32_t PortIndex) const {
    return GetSlaveIndex(PortIndex) >= 0;
}

void TETHDriver::SwitchOn(TThreadManager& AThreadManager) {
    std::lock_guard lock(FEndpointLock);
    auto socket = std::make_unique<TUdpSocket>();
    socket->Open();
    TThreadClient* client = AThreadManager.NewThreadClient();
    client->SetOnEvent([this](TThreadClient&) { ReadDatagrams(); });
    client->AttachWaitHandle(socket->Handle());
    bool trigger;
    {
        std::lock_guard ml(FMessageLock);
        trigger = static_cast<bool>(FOnTrigger);
    }
    if (trigger && MxScheduler()) {
        FTriggerQueue = std::make_unique<TMxQueue>();
        FTriggerTask = std::make_unique<TMxTask>(*MxScheduler(), "ETHDriver.Trigger");
        FTriggerTask->SetOnExecute([this](TMxTask& Sender) { TriggerStep(Sender); });
        FTriggerTask->Start();
        FTriggerTarget.store(FTriggerQueue.get());
    }
    std::lock_guard rl(FRxLock);
    FIDUdpServer = std::move(socket);
    FClient = client;
}

void TETHDriver::SwitchOff() {
    std::unique_ptr<TUdpSocket> socket;
    std::unique_ptr<TMxTask> task;
    std::unique_ptr<TMxQueue> queue;
    std::unique_ptr<TThreadManager> own;
    {
        std::lock_guard lock(FEndpointLock);
        if (FClient) {
            TThreadManager* owner = FClient->Owner();
            FClient->SetOnEvent(nullptr); // waits for a reception in progress
            FClient->Release();
            FClient = nullptr;
            owner->WaitUntilSettled(2000); // no poll on the socket any more
        }
        FTriggerTarget.store(nullptr);
        {
            std::lock_guard rl(FRxLock);
            socket = std::move(FIDUdpServer);
        }
        task = std::move(FTriggerTask);
        queue = std::move(FTriggerQueue);
        own = std::move(FOwnThreadManager);
    }
    task.reset();
    queue.reset();
    socket.reset();
    own.reset();
}

void TETHDriver::Open(TMxScheduler& AScheduler, TThreadManager& AThreadManager) {
    if (PortIsOpen())
        return;
    FWithoutScheduler.store(false);
    try {
        SwitchOn(AThreadManager);
    } catch (const std::exception& e) {
        SwitchOff();
        throw Exception(e.what());
    }
    TPortDriver::Open(AScheduler, AThreadManager);
}

void TETHDriver::Open() {
    if (PortIsOpen())
        return;
    try {
        auto own = std::make_unique<TThreadManager>();
        TThreadManager& tm = *own;
        {
            std::lock_guard lock(FEndpointLock);
            FOwnThreadManager = std::move(own);
        }
        SwitchOn(tm);
        static TMxScheduler NoScheduler; // never runs a step
        FWithoutScheduler.store(true);
        TPortDriver::Open(NoScheduler, tm);
    } catch (const std::exception& e) {
        SwitchOff();
        throw Exception(e.what());
    }
}

void TETHDriver::Close() {
    if (!PortIsOpen() || NoOfSlaves() > 0)
        return;
    SwitchOff();
    if (const int64_t delay = EthDriverCloseDelay.Milliseconds(); delay > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(delay));
    TPortDriver::Close();
}

uint8_t TETHDriver::Assign(int32_t APortIndex, TInpEvent OnInput, TErrEvent OnError) {
    FPortIndex.store(APortIndex);
    std::unique_ptr<TETHSlave> gone;
    {
        std::lock_guard lock(FLock);
        if (OnInput) {
            if (IsBound(APortIndex))
                return OvraResIndexBound;
            TMxScheduler* scheduler = Scheduler();
            if (!scheduler || FWithoutScheduler.load())
                throw Exception("ETHDriver.Assign: no scheduler for the receive task of " + IntToIPStr(APortIndex));
            const uint8_t res = TPortDriver::Assign(NoOfSlaves(), std::move(OnInput), std::move(OnError));
            if (res == 0) {
                auto slave = std::make_unique<TETHSlave>(*this, APortIndex, *scheduler);
                std::lock_guard sl(FSlaveLock);
                ETHSlaves.push_back(std::move(slave));
            }
            return res;
        }
        const int32_t index = GetSlaveIndex(APortIndex);
        if (index < 0)
            return 0;
        TPortDriver::Assign(index, nullptr, nullptr);
        std::lock_guard sl(FSlaveLock);
        gone = std::move(ETHSlaves[static_cast<size_t>(index)]);
        ETHSlaves.erase(ETHSlaves.begin() + index);
    }
    // Outside the lock: freeing the task waits for a step in progress, which
    // may wait for the lock.
    gone->Stop();
    gone.reset();
    return 0;
}

uint8_t TETHDriver::Send(int32_t PortIndex, const MyAnsiString& Msg) {
    std::lock_guard lock(FEndpointLock);
    if (!FIDUdpServer)
        return OvraResSendFailed;
    try {
        FIDUdpServer->SendTo(static_cast<uint32_t>(PortIndex), EthDrivePort(), Msg);
    } catch (const std::exception& e) {
        LogInfo(FName + ": " + e.what() + " (" + IntToIPStr(PortIndex) + ")");
        return OvraResSendFailed;
    }
    return 0;
}

void TETHDriver::ReadDatagrams() {
    std::lock_guard rl(FRxLock);
    if (!FIDUdpServer)
        return;
    MyAnsiString data;
    uint32_t address = 0;
    uint16_t port = 0;
    while (FIDUdpServer->ReceiveFrom(data, address, port))
        UDPRead(data, static_cast<int32_t>(address));
}

void TETHDriver::UDPRead(const MyAnsiString& Data, int32_t FromIP) {
    TTriggerEvent trigger;
    {
        std::lock_guard lock(FMessageLock);
        FMessageStr = Data;
        trigger = FOnTrigger;
    }
    {
        std::lock_guard lock(FSlaveLock);
        for (auto& slave : ETHSlaves)
            if (slave->DeviceIP() == FromIP) {
                slave->Put(Data);
                break;
            }
    }
    if (!trigger)
        return;
    if (TMxQueue* q = FTriggerTarget.load()) {
        TMxMessage* msg = TMxMessage::Create();
        msg->SetText(PackTrigger(Data, FromIP));
        q->PutMessage(msg);
    } else {
        trigger(*this, Data, FromIP);
    }
}

void TETHDriver::TriggerStep(TMxTask& Sender) {
    TMxQueue* queue = FTriggerTarget.load();
    if (!queue)
        return;
    if (TMxMessage* msg = queue->GetMessage()) {
        const MyAnsiString packed = msg->GetText();
        TMxMessage::Free(msg);
        TTriggerEvent trigger;
        {
            std::lock_guard lock(FMessageLock);
            trigger = FOnTrigger;
        }
        if (trigger && packed.size() >= 4) {
            uint32_t ip = 0;
            for (int i = 0; i < 4; ++i)
                ip = (ip << 8) | static_cast<uint8_t>(packed[static_cast<size_t>(i)]);
            trigger(*this, packed.substr(4), static_cast<int32_t>(ip));
        }
    }
    Sender.WaitFor(*queue, MxInfinite);
}

void TETHDriver::SlaveInput(int32_t DeviceIP, const MyAnsiString& Frame) {
    std::lock_guard lock(FLock);
    const int32_t index = GetSlaveIndex(DeviceIP);
    if (index >= 0)
        Input(index, Frame);
}

} // namespace vo
