#include "comm/CommPort.h"

#include "kernel/Debug.h"
#include "platform/ComPorts.h"
#include "platform/Exception.h"

#include <algorithm>
#include <string>

namespace vo {

TCommPort::TCommPort() = default;

TCommPort::~TCommPort() {
    try {
        ClosePort();
    } catch (...) {
    }
}

void TCommPort::OpenPort(TThreadManager& ThreadManager) {
    if (IsOpen())
        throw Exception(std::string(ClassName()) + ".OpenPort: port " + FPortName + " is already open");

    {
        std::lock_guard<std::mutex> rl(FReceiverLock);
        Closing = false;
        FNextSize = 1;
        FStopRequest = false;
        FHungUp = false;
        RxBuffer.clear();
    }
    {
        std::lock_guard<std::mutex> l(FLock);
        FStopped = false;
    }

    const auto path = ComPortTable::Instance().DevicePath(FPortName);
    if (!path)
        throw Exception("Port " + FPortName + " could not be opened!");
    try {
        FPort.SetLine({FBaud, FDataBits, FParity, FStopBits});
        FPort.Open(*path, FPortName);
    } catch (const SerialOpenError& e) {
        // Permission, another holder, a missing device: the reason says what
        // to do about it.
        throw Exception("Port " + FPortName + " could not be opened! " + e.what());
    } catch (const SerialNotCharDevice&) {
        throw Exception("TRsPort.OpenPort: port type error");
    } catch (const SerialLineError& e) {
        throw Exception("TRsPort.OpenPort: problem with port settings. Error Code: " + std::to_string(e.Code()));
    } catch (const SerialError&) {
        throw Exception("Port " + FPortName + " could not be opened!");
    }

    TThreadClient* client;
    try {
        client = ThreadManager.NewThreadClient();
    } catch (...) {
        FPort.Close();
        throw;
    }
    client->SetOnEvent([this](TThreadClient& Sender) { DoReceive(Sender); });
    {
        std::lock_guard<std::mutex> l(FLock);
        ThreadClient = client;
    }
    // The client's event stands for the device's readiness from here on.
    FWaitOnPort = true;
    client->AttachWaitHandle(FPort.Fd());
}

void TCommPort::ClosePort() {
    if (!IsOpen())
        return;
    TThreadClient* client;
    {
        std::lock_guard<std::mutex> l(FLock);
        client = ThreadClient;
        ThreadClient = nullptr;
        FStopped = false;
        FInReception = false;
        FStartDuringReception = false;
    }
    const bool inReception = FReceiverThread.load() == std::this_thread::get_id();
    if (inReception) {
        // Called by the receiver itself: the reception in progress is ours and
        // ends as soon as the receiver returns.
        Closing = true;
        if (client)
            client->Release();
        FPort.Close();
        return;
    }
    if (client) {
        // Waits for a handler call in progress; no further call after this.
        client->SetOnEvent(nullptr);
        client->Release();
    }
    std::lock_guard<std::mutex> rl(FReceiverLock);
    Closing = true;
    FPort.Close();
}

void TCommPort::Receive() {
    FNextSize = 1;
    bool stop = false;
    if (FOnReceive)
        FOnReceive(RxBuffer, FNextSize, stop);
    FStopRequest = stop;
}

void TCommPort::DoReceive(TThreadClient& Sender) {
    std::lock_guard<std::mutex> rl(FReceiverLock);
    if (Closing || !FPort.IsOpen())
        return;
    {
        std::lock_guard<std::mutex> l(FLock);
        if (FStopped)
            throw Exception("internal error in TCommPort.DoReceive");
        FInReception = true;
    }
    FReceiverThread.store(std::this_thread::get_id());
    struct ClearThread {
        std::atomic<std::thread::id>& Id;
        ~ClearThread() { Id.store(std::thread::id()); }
    } clearThread{FReceiverThread};

    bool readAny = false;
    bool failed = false;
    for (;;) {
        std::size_t waiting = 0;
        try {
            waiting = FPort.Available();
            if (waiting == 0)
                break;
            RxBuffer = FPort.Read(std::min<std::size_t>(waiting, FNextSize == 0 ? 1 : FNextSize));
        } catch (const SerialError&) {
            failed = true;
            break;
        }
        if (RxBuffer.empty())
            break;
        readAny = true;
        try {
            Receive();
        } catch (const std::exception& e) {
            FNextSize = 1;
            FStopRequest = false;
            LogError(FPortName + ": receive event failed: " + e.what());
        }
        if (Closing)
            return; // the receiver closed the port
        if (FNextSize == 0)
            FNextSize = 1;
        std::lock_guard<std::mutex> l(FLock);
        if (FStopRequest) {
            FStopRequest = false;
            FStopped = !FStartDuringReception;
        }
        FStartDuringReception = false;
        if (FStopped)
            break;
    }

    // Nothing to read although woken: the other end may be gone, and a device
    // that hung up stays readable; stop waiting on it instead of spinning.
    const bool hungUp = failed || (!readAny && FPort.HungUp());
    {
        std::lock_guard<std::mutex> l(FLock);
        FInReception = false;
        FStartDuringReception = false;
        const bool waitOnPort = !FStopped && !hungUp;
        // A Start that raced with a stop is used up; a Start from now on sets
        // the event again.
        Sender.EventHandle().ResetEvent();
        if (waitOnPort != FWaitOnPort) {
            Sender.AttachWaitHandle(waitOnPort ? FPort.Fd() : -1);
            FWaitOnPort = waitOnPort;
        }
    }
    if (hungUp && !FHungUp) {
        FHungUp = true;
        LogError(FPortName + ": connection lost");
    }
}

void TCommPort::Start() {
    std::lock_guard<std::mutex> l(FLock);
    if (FStopped && ThreadClient) {
        FStopped = false;
        ThreadClient->SetEvent();
    } else if (FInReception) {
        FStartDuringReception = true;
    }
}

void TCommPort::Send(const MyAnsiString& Data) {
    if (auto* dm = DebugManager(); dm && dm->ExtendedDebugInfo)
        LogInfo("TCommPort.Send: DataLength: " + std::to_string(Data.size()) + " - Time: " + MillisecondsFromStart());
    try {
        FPort.Write(Data);
    } catch (const SerialError&) {
        throw Exception("TRsPort.Send: an error occured!");
    }
}

void TCommPort::SendBuffer(const void* BufPtr, int ByteCount) {
    if (auto* dm = DebugManager(); dm && dm->ExtendedDebugInfo)
        LogInfo("TCommPort.SendBuffer: DataLength: " + std::to_string(ByteCount) +
                " - Time: " + MillisecondsFromStart());
    if (ByteCount < 0 || (ByteCount > 0 && BufPtr == nullptr))
        throw Exception("TRsPort.SendBuffer: an error occured!");
    try {
        FPort.Write(BufPtr, static_cast<std::size_t>(ByteCount));
    } catch (const SerialError&) {
        throw Exception("TRsPort.SendBuffer: an error occured!");
    }
}

void TCommPort::SendBreak(bool Active) {
    try {
        FPort.SetBreak(Active);
    } catch (const SerialError& e) {
        throw Exception(std::string(ClassName()) + ".SendBreak: port " + FPortName + ": " + e.what());
    }
}

} // namespace vo
