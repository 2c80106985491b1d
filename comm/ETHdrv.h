#pragma once
// The Ethernet link: drive frames as UDP datagrams. Each frame goes as one
// datagram to the drive's address, port 20000; each datagram that comes from
// a drive's address is one frame of that drive.
//
// TETHDriver is the port driver "ETH". Its device indices are IPv4 addresses
// (first octet in the most significant byte); for each bound address it keeps
// a slave with a receive queue and a task on the server's scheduler. The
// position of a slave in the slave list is its entry in the base's event
// table; removing a slave moves the later ones down, and a slave task looks
// its position up afresh for every frame.
//
// Datagrams are read on the thread manager given to Open (the server's), so a
// busy window never delays a telegram; they reach the server's thread only
// through the slaves' queues. What a script sees (the trigger event) is handed
// to the main scheduler when there is one.
//
// The script class opens drivers of its own with Open() (no scheduler, a
// thread manager of the driver's own): such a driver sends and announces what
// it receives, but binding a slave raises "ETHDriver.Assign: no scheduler for
// the receive task of <address>".
#include "comm/PortDrv.h"
#include "comm/PortSlave.h"
#include "kernel/MxMLib20.h"
#include "kernel/MxTLib20.h"
#include "kernel/ThrdMan.h"
#include "platform/AnsiString.h"
#include "platform/Time.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace vo {

class TUdpSocket;

// The pause after switching the endpoint off before the driver counts as
// closed.
inline TTimeConstant EthDriverCloseDelay{"ETHDriver.CloseDelay", 300};

// The UDP port of the drives (20000). Tests choose another one so that test
// programs running side by side do not answer each other's drives.
uint16_t EthDrivePort() noexcept;
void SetEthDrivePort(uint16_t Port) noexcept;
class TScopedEthDrivePort {
public:
    explicit TScopedEthDrivePort(uint16_t Port) : FOld(EthDrivePort()) { SetEthDrivePort(Port); }
    ~TScopedEthDrivePort() { SetEthDrivePort(FOld); }
    TScopedEthDrivePort(const TScopedEthDrivePort&) = delete;
    TScopedEthDrivePort& operator=(const TScopedEthDrivePort&) = delete;

private:
    uint16_t FOld;
};

class TETHDriver;

// One bound drive address.
class TETHSlave : public TPortSlave {
public:
    TETHSlave(TETHDriver& Driver, int32_t DeviceIP, TMxScheduler& Scheduler);
    int32_t DeviceIP() const { return FDeviceIP; }

private:
    int32_t FDeviceIP;
};

class TETHDriver : public TPortDriver {
public:
    // A received datagram for the script class: the bytes and the sender.
    using TTriggerEvent = std::function<void(TETHDriver& Sender, const MyAnsiString& Datagram, int32_t FromIP)>;

    // Port type and name "ETH", 65535 positions, no slaves.
    TETHDriver();
    ~TETHDriver() override;

    // Switches the endpoint on (a socket on a port of the system's choice),
    // reading on AThreadManager, then opens the base. A failure is raised
    // again with its message and leaves the driver closed.
    void Open(TMxScheduler& AScheduler, TThreadManager& AThreadManager) override;
    // The script class's own drivers: no scheduler, a thread manager of the
    // driver's own.
    void Open();
    // Nothing while slaves remain; else switches the endpoint off, waits
    // EthDriverCloseDelay and closes the base.
    void Close() override;
    // Binds (OnInput set) or unbinds the address APortIndex; see ETHdrv.cpp.
    uint8_t Assign(int32_t APortIndex, TInpEvent OnInput, TErrEvent OnError) override;
    // One datagram to PortIndex:EthDrivePort(); 0, or 0x8F when it cannot go.
    uint8_t Send(int32_t PortIndex, const MyAnsiString& Msg) override;
    // By address.
    bool IsBound(int32_t PortIndex) const override;
    // The position of the slave of that address, -1 when there is none.
    int32_t GetSlaveIndex(int32_t PortIndex) const;
    int32_t NoOfSlaves() const;

    // Called after each received datagram (set before Open): on the main
    // scheduler when one exists, else on the receiving thread.
    void SetOnTrigger(TTriggerEvent Handler);
    // The last received datagram, from any address.
    MyAnsiString MessageStr() const;
    int32_t LastPortIndex() const { return FPortIndex.load(); }
    const MyAnsiString& Name() const { return FName; }
    // The local UDP port (0 while closed).
    uint16_t LocalPort() const;

    // One datagram as the endpoint received it (the receive path; also the
    // entry of tests that have no network).
    void UDPRead(const MyAnsiString& Data, int32_t FromIP);

    const char* ClassName() const override { return "TETHDriver"; }

private:
    friend class TETHSlave;
    void SwitchOn(TThreadManager& AThreadManager);
    void SwitchOff();
    void ReadDatagrams();
    void TriggerStep(TMxTask& Sender);
    // From a slave task: its current position and the frame to the base.
    void SlaveInput(int32_t DeviceIP, const MyAnsiString& Frame);

    const MyAnsiString FName = "ETH";
    std::atomic<int32_t> FPortIndex{0};
    std::atomic<bool> FWithoutScheduler{false}; // opened by Open()

    mutable std::mutex FSlaveLock; // ETHSlaves (read on the receiving thread)
    std::vector<std::unique_ptr<TETHSlave>> ETHSlaves; // in the order of binding

    std::mutex FEndpointLock; // socket, client, own thread manager, trigger task
    std::mutex FRxLock; // one reception at a time; switching off waits for it
    std::unique_ptr<TUdpSocket> FIDUdpServer;
    TThreadClient* FClient = nullptr;
    std::unique_ptr<TThreadManager> FOwnThreadManager;
    std::unique_ptr<TMxQueue> FTriggerQueue;
    std::unique_ptr<TMxTask> FTriggerTask;
    std::atomic<TMxQueue*> FTriggerTarget{nullptr};

    mutable std::mutex FMessageLock;
    MyAnsiString FMessageStr;
    TTriggerEvent FOnTrigger;
};

} // namespace vo
