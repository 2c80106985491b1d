#pragma once
// The older serial protocol gateway: drives of an older serial protocol
// reached as if they understood drive frames. Each request frame is carried
// out as byte-wise transfers on the line (with check sums and
// acknowledgements), and the outcome becomes a reply frame of the usual shape
// (command code, status, data) that the driver delivers to its device as if
// it had been received. The login is answered by the gateway itself.
//
// One transfer of a 16-bit word:
//   program: ':' F AH AM AL DH DL      drive: C1 = sum of the six bytes
//   program: '!' (C1 right) or 'U'     drive: RH RL C2 = RH + RL
// A block write follows a transfer of function 0x14 (RAM) or 0x16 (flash)
// whose result is the largest chunk M the drive takes:
//   program: '!' n <n bytes>           drive: 0x00, the chunk's sum
//   ... per chunk, then program: 0x99  drive: 0x00
//
// TQp1Protocol is the state machine alone (no I/O, no locks); TQp1Driver is
// the port driver "OQP1"/"OQP2" around it on a serial port, serialising the
// server's requests with the bytes the receive thread feeds in.
#include "comm/CommPort.h"
#include "comm/PortDrv.h"
#include "comm/PortSlave.h"
#include "platform/AnsiString.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace vo {

class TQp1Protocol {
public:
    enum TOvraState : uint8_t { tsIdle,
                                tsBusy };
    enum TLineState : uint8_t { stIdle,
                                stWait1,
                                stWait2,
                                stWait3,
                                stWait4,
                                stWait5,
                                stWait6,
                                stWait7 };

    using TBytesEvent = std::function<void(const MyAnsiString& Bytes)>;

    // Bytes for the line; a reply frame for the device; a warning for the log.
    void SetOnWrite(TBytesEvent Handler) { FOnWrite = std::move(Handler); }
    void SetOnDeliver(TBytesEvent Handler) { FOnDeliver = std::move(Handler); }
    void SetOnWarning(TBytesEvent Handler) { FOnWarning = std::move(Handler); }

    // Starts the translation of a request frame. While a previous request is
    // still unanswered the line is reset first (256 'U' and the warning
    // "Qp1Driver: protocol state error"). Raises "Qp1Trans: not in idle
    // state" when a transfer cannot start; the request is then given up.
    void Send(const MyAnsiString& Msg);
    // One byte from the line.
    void ReceiveByte(uint8_t B);
    // Idle, nothing in flight (the handlers stay).
    void Reset();

    TOvraState OvraState() const { return FOvraState; }
    TLineState State() const { return FState; }

    // The gateway's own login reply.
    static MyAnsiString LoginReply();

private:
    void Qp1Trans(uint8_t F);
    void Qp1Ready();
    void Qp1ReadMemoryBlock();
    void Qp1BlockWrite();
    void Qp1BlockReady();
    void Qp1Error();
    void Qp1RequestExtendedTimeout();
    void SendResponse();
    void Write(const MyAnsiString& Bytes);
    uint8_t R(size_t I) const; // request byte I (from 1), 0 when absent

    TOvraState FOvraState = tsIdle;
    MyAnsiString Request;
    MyAnsiString Response;
    TLineState FState = stIdle;
    uint8_t CheckSum1 = 0, CheckSum2 = 0, CheckSum3 = 0;
    uint32_t TxAddr = 0; // high, middle, low byte
    uint8_t TxDataLo = 0, TxDataHi = 0;
    uint8_t RxDataLo = 0, RxDataHi = 0;
    int32_t BlockMaxLen = 0;
    int32_t BlockSize = 0;
    MyAnsiString BlockBuffer;
    int32_t BlockPointer = 1;
    TBytesEvent FOnWrite, FOnDeliver, FOnWarning;
};

class TQp1Driver : public TPortDriver {
public:
    // Port type "OQP", one device; the port "COM<PortNr>" at BaudRate.
    TQp1Driver(int32_t PortNr, uint16_t BaudRate);
    ~TQp1Driver() override;

    // Opens the serial port on AThreadManager and starts the receive task
    // "Qp1Driver.Open" on AScheduler; a port that does not open raises its
    // message and the driver stays closed. Already open: nothing.
    void Open(TMxScheduler& AScheduler, TThreadManager& AThreadManager) override;
    void Close() override;
    // Starts the translation; 0, or 0x8F when the port is closed or the
    // request could not start.
    uint8_t Send(int32_t PortIndex, const MyAnsiString& Msg) override;

    MyAnsiString SerialPortName() const;
    uint16_t BaudRate() const { return FBaudRate; }

    const char* ClassName() const override { return "TQp1Driver"; }

private:
    void Receive(const MyAnsiString& Data);

    const int32_t FPortNr;
    const uint16_t FBaudRate;
    std::mutex FQpLock; // the protocol and the port
    TQp1Protocol FProtocol;
    std::unique_ptr<TCommPort> CommPort;
    std::unique_ptr<TPortSlave> FRx; // receive queue and task
};

} // namespace vo
