#pragma once
// TCommPort: the program's one serial port wrapper, used by the RS232 driver,
// the older-protocol gateway and the script classes' serial ports.
//
// The port is opened by its port name ("COM1" .. "COM256", resolved through
// the COM-name table, platform/ComPorts.h) with the line settings set before.
// Writes never wait. Reading runs in the thread of a thread manager: the port's
// client waits for the device's readiness, and on each wake-up the receiver is
// handed the bytes that have arrived, in pieces of the size it asked for: after
// each piece it sets NextSize (1 when left alone, at most 255), so a framing
// receiver can ask for a whole payload at once. A receiver that sets Stop gets
// nothing more until Start(); bytes that arrive meanwhile wait in the device.
#include "kernel/ThrdMan.h"
#include "platform/AnsiString.h"
#include "platform/SerialPort.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>

namespace vo {

// The receive event: the bytes just read; what the receiver wants next
// (NextSize, 0 is read as 1); Stop to pause reading until Start().
using TRsRxEvent = std::function<void(const MyAnsiString& Data, uint8_t& NextSize, bool& Stop)>;

class TCommPort {
public:
    TCommPort();
    virtual ~TCommPort(); // closes the port when open
    TCommPort(const TCommPort&) = delete;
    TCommPort& operator=(const TCommPort&) = delete;

    virtual const char* ClassName() const { return "TCommPort"; }

    // Settings used by the next OpenPort. Parity and stop bits in the coding of
    // SerialLineSettings (parity 0 none, 1 odd, 2 even, 3 mark, 4 space; stop
    // bits 0 one, 1 one and a half, 2 two).
    const MyAnsiString& PortName() const { return FPortName; }
    void SetPortName(MyAnsiString Name) { FPortName = std::move(Name); }
    uint32_t Baud() const { return FBaud; }
    void SetBaud(uint32_t Baud) { FBaud = Baud; }
    uint8_t DataBits() const { return FDataBits; }
    void SetDataBits(uint8_t Bits) { FDataBits = Bits; }
    uint8_t Parity() const { return FParity; }
    void SetParity(uint8_t Parity) { FParity = Parity; }
    uint8_t StopBits() const { return FStopBits; }
    void SetStopBits(uint8_t StopBits) { FStopBits = StopBits; }
    uint32_t RxBufSize() const { return FRxBufSize; }
    void SetRxBufSize(uint32_t Size) { FRxBufSize = Size; }
    uint32_t TxBufSize() const { return FTxBufSize; }
    void SetTxBufSize(uint32_t Size) { FTxBufSize = Size; }
    // Set before OpenPort (it is called on the thread manager's thread).
    void SetOnReceive(TRsRxEvent Handler) { FOnReceive = std::move(Handler); }

    // Opens the port and starts reading on a new client of ThreadManager.
    // Raises vo::Exception:
    //   "<class>.OpenPort: port <name> is already open"
    //   "Port <name> could not be opened!"   (the name maps to no device, or
    //                                         the device fails otherwise)
    //   "Port <name> could not be opened! <reason>" when the user can mend it:
    //     "<name> (<path>): permission denied - add your user to the 'dialout'
    //      group and log in again"
    //     "<name> (<path>) is in use by another program"
    //     "<name> (<path>) does not exist - is the adapter plugged in?"
    //   "TRsPort.OpenPort: port type error"  (the name is no serial device)
    //   "TRsPort.OpenPort: problem with port settings. Error Code: <errno>"
    //   "<manager>.NewThreadClient: maximum of clients reached"
    // After any failure the port is closed.
    void OpenPort(TThreadManager& ThreadManager);
    // Stops reading (a reception in progress is finished first), drops what is
    // still buffered in both directions and closes the device.
    void ClosePort();
    bool IsOpen() const { return FPort.IsOpen(); }

    // Queue the bytes for sending and return at once. Raise
    // "TRsPort.Send: an error occured!" ("TRsPort.SendBuffer: ...") when the port
    // is closed or the device refused an earlier or this write.
    void Send(const MyAnsiString& Data);
    void SendBuffer(const void* BufPtr, int ByteCount);
    // Sets or clears the break state of the line.
    void SendBreak(bool Active);
    // Resumes reading stopped by the receiver. Any thread. A Start while the
    // port is reading and not stopped cancels the next stop the receiver asks
    // for in that reading, so that a consumer that starts the port as soon as
    // it has the data cannot lose its Start to the stop still on its way.
    void Start();

    // The device path the port was opened on (empty while closed).
    const std::string& DevicePath() const { return FPort.Path(); }

protected:
    // Hands RxBuffer to the receive event (NextSize starts at 1).
    virtual void Receive();

    MyAnsiString RxBuffer; // the bytes of the last read
    uint8_t FNextSize = 1;
    bool FStopRequest = false; // set by the receiver during Receive

private:
    void DoReceive(TThreadClient& Sender);

    TThreadClient* ThreadClient = nullptr; // owned by the thread manager
    MyAnsiString FPortName = "COM1";
    uint32_t FBaud = 9600;
    uint8_t FDataBits = 8;
    uint8_t FParity = 0;
    uint8_t FStopBits = 0;
    TRsRxEvent FOnReceive;
    bool Closing = false; // guarded by FReceiverLock
    bool FStopped = false; // guarded by FLock
    bool FInReception = false; // the receiver may be called; guarded by FLock
    bool FStartDuringReception = false; // guarded by FLock
    bool FWaitOnPort = false; // the client waits on the device (else on its own event); manager thread
    bool FHungUp = false; // the other end is gone; reported once
    uint32_t FRxBufSize = 1000;
    uint32_t FTxBufSize = 1000;
    std::mutex FLock; // Start and the stop decision
    std::mutex FReceiverLock; // one reception at a time; closing waits for it
    std::atomic<std::thread::id> FReceiverThread{}; // the thread inside a reception
    SerialPort FPort;
};

} // namespace vo
