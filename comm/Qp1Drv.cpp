#include "comm/Qp1Drv.h"

#include "kernel/Debug.h"
#include "platform/Exception.h"

namespace vo {

namespace {

uint8_t Sum(const MyAnsiString& Bytes) {
    uint8_t s = 0;
    for (const char c : Bytes)
        s = static_cast<uint8_t>(s + static_cast<uint8_t>(c));
    return s;
}

MyAnsiString Byte(uint8_t B) {
    return MyAnsiString(1, static_cast<char>(B));
}

} // namespace

// ------------------------------------------------------------------ protocol

MyAnsiString TQp1Protocol::LoginReply() {
    static const char head[] = {0x01, 0x00, 0x20, 0x03, 0x02, 0x02, static_cast<char>(0xFF)};
    return MyAnsiString(head, sizeof head) + MyAnsiString(10, '\0') + Byte(0x08) + "OVRA 1.0 GateWay";
}

void TQp1Protocol::Reset() {
    FOvraState = tsIdle;
    FState = stIdle;
    Request.clear();
    Response.clear();
    BlockBuffer.clear();
}

uint8_t TQp1Protocol::R(size_t I) const {
    return I >= 1 && I <= Request.size() ? static_cast<uint8_t>(Request[I - 1]) : 0;
}

void TQp1Protocol::Write(const MyAnsiString& Bytes) {
    if (FOnWrite)
        FOnWrite(Bytes);
}

void TQp1Protocol::SendResponse() {
    FOvraState = tsIdle;
    if (FOnDeliver)
        FOnDeliver(Response);
}

void TQp1Protocol::Qp1RequestExtendedTimeout() {
    if (Response.size() == 1 && FOnDeliver)
        FOnDeliver(Response + Byte(0x01));
}

void TQp1Protocol::Send(const MyAnsiString& Msg) {
    if (FOvraState == tsBusy) {
        FOvraState = tsIdle;
        FState = stIdle;
        for (int i = 0; i < 256; ++i)
            Write("U");
        if (FOnWarning)
            FOnWarning("Qp1Driver: protocol state error");
    }
    if (Msg.empty())
        return;
    Request = Msg.substr(0, 255);
    Response = Request.substr(0, 1);
    FOvraState = tsBusy;
    const uint8_t cmd = R(1);
    auto address = [this] { TxAddr = uint32_t(R(2)) | uint32_t(R(3)) << 8 | uint32_t(R(4)) << 16; };
    TxAddr = 0;
    TxDataLo = TxDataHi = 0;
    try {
        switch (cmd) {
        case 0x01:
            Response = LoginReply();
            SendResponse();
            break;
        case 0x10:
            address();
            Qp1Trans(0x00);
            break;
        case 0x11:
        case 0x12:
            address();
            TxDataLo = R(5);
            TxDataHi = R(6);
            if (cmd == 0x12)
                Qp1RequestExtendedTimeout();
            Qp1Trans(cmd == 0x11 ? 0x04 : 0x06);
            break;
        case 0x20:
            address();
            Qp1RequestExtendedTimeout();
            Qp1Trans(0x0C);
            break;
        case 0x21: Qp1Trans(0x09); break;
        case 0x22: Qp1Trans(0xFF); break;
        case 0x23:
            address();
            Qp1RequestExtendedTimeout();
            Qp1Trans(0x08);
            break;
        case 0x30:
            address();
            Qp1RequestExtendedTimeout();
            BlockSize = R(5);
            BlockBuffer.clear();
            Qp1ReadMemoryBlock();
            break;
        case 0x31:
        case 0x32:
            address();
            Qp1RequestExtendedTimeout();
            BlockBuffer = Request.size() > 4 ? Request.substr(4) : MyAnsiString();
            Qp1Trans(cmd == 0x31 ? 0x14 : 0x16);
            break;
        default:
            // Not translated: no reply, and nothing left in flight.
            FOvraState = tsIdle;
            break;
        }
    } catch (...) {
        FOvraState = tsIdle;
        FState = stIdle;
        throw;
    }
}

void TQp1Protocol::Qp1Trans(uint8_t F) {
    if (FState != stIdle)
        throw Exception("Qp1Trans: not in idle state");
    MyAnsiString six;
    six += Byte(F);
    six += Byte(static_cast<uint8_t>(TxAddr >> 16));
    six += Byte(static_cast<uint8_t>(TxAddr >> 8));
    six += Byte(static_cast<uint8_t>(TxAddr));
    six += Byte(TxDataHi);
    six += Byte(TxDataLo);
    CheckSum1 = Sum(six);
    FState = stWait1;
    Write(":" + six);
}

void TQp1Protocol::ReceiveByte(uint8_t B) {
    switch (FState) {
    case stIdle: break;
    case stWait1:
        if (B == CheckSum1) {
            FState = stWait2;
            Write("!");
        } else {
            FState = stIdle;
            Write("U");
            Qp1Error();
        }
        break;
    case stWait2:
        RxDataHi = B;
        CheckSum2 = B;
        FState = stWait3;
        break;
    case stWait3:
        RxDataLo = B;
        CheckSum2 = static_cast<uint8_t>(CheckSum2 + B);
        FState = stWait4;
        break;
    case stWait4:
        FState = stIdle;
        if (B == CheckSum2)
            Qp1Ready();
        else
            Qp1Error();
        break;
    case stWait5:
        if (B == 0x00) {
            FState = stWait6;
        } else {
            FState = stIdle;
            Qp1Error();
        }
        break;
    case stWait6:
        if (B == CheckSum3) {
            Qp1BlockWrite();
        } else {
            FState = stIdle;
            Qp1Error();
        }
        break;
    case stWait7:
        FState = stIdle;
        if (B == 0x00)
            Qp1BlockReady();
        else
            Qp1Error();
        break;
    }
}

void TQp1Protocol::Qp1Ready() {
    if (FOvraState != tsBusy)
        return;
    switch (R(1)) {
    case 0x10:
        Response += Byte(0x00) + Byte(RxDataLo) + Byte(RxDataHi);
        SendResponse();
        break;
    case 0x11:
    case 0x12:
    case 0x20:
    case 0x21:
    case 0x22:
    case 0x23:
        Response += Byte(0x00);
        SendResponse();
        break;
    case 0x30:
        BlockBuffer += Byte(RxDataLo) + Byte(RxDataHi);
        Qp1ReadMemoryBlock();
        break;
    case 0x31:
    case 0x32:
        BlockMaxLen = RxDataLo + 256 * RxDataHi;
        if (BlockMaxLen <= 0) {
            // A drive that takes no bytes at all would never see the end.
            Qp1Error();
            break;
        }
        BlockPointer = 1;
        Qp1BlockWrite();
        break;
    default:
        Response += Byte(0xFF);
        SendResponse();
        break;
    }
}

void TQp1Protocol::Qp1ReadMemoryBlock() {
    if (static_cast<int32_t>(BlockBuffer.size()) < BlockSize) {
        Qp1Trans(0x00);
        TxAddr = (TxAddr + 2) & 0xFFFFFF;
        return;
    }
    Response += Byte(0x00) + BlockBuffer;
    SendResponse();
}

void TQp1Protocol::Qp1BlockWrite() {
    const auto left = static_cast<int32_t>(BlockBuffer.size()) - (BlockPointer - 1);
    if (left <= 0) {
        FState = stWait7;
        Write(Byte(0x99));
        return;
    }
    const int32_t n = std::min(left, BlockMaxLen);
    const MyAnsiString chunk = BlockBuffer.substr(static_cast<size_t>(BlockPointer - 1), static_cast<size_t>(n));
    CheckSum3 = Sum(chunk);
    BlockPointer += n;
    FState = stWait5;
    Write("!" + Byte(static_cast<uint8_t>(n)) + chunk);
}

void TQp1Protocol::Qp1BlockReady() {
    if (FOvraState != tsBusy)
        return;
    switch (R(1)) {
    case 0x30: Response += Byte(0x00) + BlockBuffer; break;
    case 0x31:
    case 0x32: Response += Byte(0x00); break;
    default: Response += Byte(0xFF); break;
    }
    SendResponse();
}

void TQp1Protocol::Qp1Error() {
    if (FOvraState != tsBusy)
        return;
    Response = Response.substr(0, 1) + Byte(0xFF);
    SendResponse();
}

// ------------------------------------------------------------------ driver

TQp1Driver::TQp1Driver(int32_t PortNr, uint16_t BaudRate) : TPortDriver(1), FPortNr(PortNr), FBaudRate(BaudRate) {
    SetPortType("OQP");
    FProtocol.SetOnWrite([this](const MyAnsiString& Bytes) {
        if (!CommPort)
            throw Exception("Qp1Driver: port " + SerialPortName() + " is closed");
        CommPort->Send(Bytes);
    });
    FProtocol.SetOnDeliver([this](const MyAnsiString& Frame) {
        if (FRx)
            FRx->Put(Frame);
    });
    FProtocol.SetOnWarning([](const MyAnsiString& Text) { LogWarning(Text); });
}

TQp1Driver::~TQp1Driver() {
    try {
        TQp1Driver::Close();
    } catch (const std::exception& e) {
        LogInfo(MyAnsiString(e.what()) + " - TQp1Driver.Destroy");
    }
}

MyAnsiString TQp1Driver::SerialPortName() const {
    return "COM" + std::to_string(FPortNr);
}

void TQp1Driver::Open(TMxScheduler& AScheduler, TThreadManager& AThreadManager) {
    if (PortIsOpen())
        return;
    auto port = std::make_unique<TCommPort>();
    port->SetPortName(SerialPortName());
    port->SetBaud(FBaudRate);
    port->SetOnReceive([this](const MyAnsiString& Data, uint8_t&, bool&) { Receive(Data); });
    {
        std::lock_guard lock(FQpLock);
        FRx = std::make_unique<TPortSlave>(AScheduler, "Qp1Driver.Open",
                                           [this](const MyAnsiString& Frame) { Input(0, Frame); });
    }
    try {
        port->OpenPort(AThreadManager);
    } catch (const std::exception& e) {
        std::lock_guard lock(FQpLock);
        FRx.reset();
        throw Exception(e.what());
    }
    {
        std::lock_guard lock(FQpLock);
        CommPort = std::move(port);
        FProtocol.Reset(); // a fresh line: nothing in flight
    }
    TPortDriver::Open(AScheduler, AThreadManager);
}

void TQp1Driver::Close() {
    std::unique_ptr<TCommPort> port;
    std::unique_ptr<TPortSlave> rx;
    {
        std::lock_guard lock(FQpLock);
        port = std::move(CommPort);
    }
    // Outside the lock: closing waits for a reception in progress.
    if (port)
        port->ClosePort();
    {
        std::lock_guard lock(FQpLock);
        rx = std::move(FRx);
    }
    if (rx)
        rx->Stop();
    rx.reset();
    port.reset();
    TPortDriver::Close();
}

uint8_t TQp1Driver::Send(int32_t, const MyAnsiString& Msg) {
    std::lock_guard lock(FQpLock);
    if (!CommPort)
        return OvraResSendFailed;
    try {
        FProtocol.Send(Msg);
    } catch (const std::exception& e) {
        LogInfo(MyAnsiString(e.what()) + " - " + SerialPortName());
        return OvraResSendFailed;
    }
    return 0;
}

void TQp1Driver::Receive(const MyAnsiString& Data) {
    std::lock_guard lock(FQpLock);
    for (const char c : Data) {
        try {
            FProtocol.ReceiveByte(static_cast<uint8_t>(c));
        } catch (const std::exception& e) {
            LogInfo(MyAnsiString(e.what()) + " - " + SerialPortName());
        }
    }
}

} // namespace vo
