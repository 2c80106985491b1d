#pragma once
// The communication server: the half of drive communication that owns the
// ports. It runs its own threaded scheduler "OvraScheduler" with the command
// task, the 20 server actors and the port drivers' receive tasks; it keeps the
// port drivers by port name and the opened drives ("devices") by handle.
//
// The GUI side reaches it only through two dispatcher queues of domain 0: the
// request queue (node 0, served by the server actors) and the command queue
// (node 1, served by the command task).
//
// Command messages (one command field and its parameters):
//   "OpenDevice"  port name; MAC-ID, IP address, info code for unsolicited
//                 frames (hexadecimal)  -> "OK", handle (decimal)
//   "CloseDevice" handle (hexadecimal)   -> "OK"
//   anything else                        -> "ERROR", "unknown command"
// A failure answers "ERROR" and the error text; a message that cannot be read
// (a parameter that is no hexadecimal number, a missing parameter) is answered
// the same way. The reply repeats the command field and goes to the sender
// with the request's info code.
//
// Threads: the command task and the actors run on "OvraScheduler". The GUI
// thread registers and looks up port drivers and may open the CAN port
// directly; the port-driver list and the opening and closing of devices are
// guarded by the server's lock, the device list by its own.
#include "comm/OvraDev.h"
#include "comm/PortDrv.h"
#include "comm/ServActr.h"
#include "kernel/MsgTools.h"
#include "kernel/MxMLib20.h"
#include "kernel/MxTLib20.h"
#include "kernel/ThrdMan.h"
#include "platform/AnsiString.h"

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <utility>
#include <vector>

namespace vo {

// The dispatcher address of the server's queues (domain 0).
inline constexpr uint16_t OvraServerIdent = 0; // request queue
inline constexpr uint8_t OvraServerDomain = 0;
inline constexpr uint16_t OvraServerCommandIdent = OvraServerIdent + 1; // command queue

class TOvraServer {
public:
    static constexpr int ActorCount = 20;

    // Enables trace group 1 (when a debug manager exists), creates the
    // scheduler "OvraScheduler" and the thread manager "OvraServer", logs
    // the request queue on as node 0 and the command queue as node 1 of
    // domain 0, creates the 20 actors and starts the command task
    // "OvraServer.Create". Raises "OvraServer.Create: dispatcher node %d is
    // taken" when a node is not free (the server must log on first). The
    // message pool and dispatcher are created when missing.
    TOvraServer();
    // Stops the tasks, closes every device and port driver and logs off.
    ~TOvraServer();
    TOvraServer(const TOvraServer&) = delete;
    TOvraServer& operator=(const TOvraServer&) = delete;

    // False when a driver is registered under AName already (names compare
    // without regard to case); else appends it.
    bool AddPortDriver(const MyAnsiString& AName, std::shared_ptr<TPortDriver> APortDriver);
    // Opens a device and returns its handle; raises with the texts of the
    // command replies.
    int32_t OpenDevice(const MyAnsiString& AName, int32_t ADeviceMACID, int32_t ADeviceIP, uint16_t AIdent,
                       uint8_t ADomain, uint8_t AInfo);
    // Closes the device with that handle; a handle without device is ignored.
    void CloseDevice(int32_t AHandle);
    // The first open device with that name, -1 when there is none.
    int32_t GetDeviceHandle(const MyAnsiString& AName) const;

    int32_t GetPortCount() const;
    MyAnsiString GetPortName(int32_t AIndex) const; // registration order; "" out of range
    MyAnsiString GetPortType(const MyAnsiString& APortName) const; // "" when not registered
    std::shared_ptr<TPortDriver> GetPortDriver(const MyAnsiString& APortName) const;
    // False for a name that is not registered or a driver without baud rate.
    bool SetPortBaudRate(const MyAnsiString& AName, uint32_t BaudRate);
    // Frees and removes every driver of type "RS", last to first.
    void ClearRSPorts();

    // The dispatcher ident of the request queue.
    uint16_t QueueId() const { return Queue.GetQueueIdent(); }

    TMxScheduler& Scheduler() { return *OvraScheduler; }
    TThreadManager& ThreadManager() { return *FThreadManager; }
    TOvraDeviceList& DeviceList() { return OvraDeviceList; }
    TMxQueue& RequestQueue() { return Queue; }
    TMxQueue& CommandQueue() { return FCommandQueue; }
    TServerActor& Actor(int AIndex) { return *ServerActor.at(static_cast<size_t>(AIndex)); }

private:
    void CommandStep(TMxTask& Sender);
    void ExecuteCommand(TMessageReader& Reader, TMessageWriter& Writer, const TMxMessage& Request);
    std::shared_ptr<TPortDriver> FindDriver(const MyAnsiString& AName) const; // hold FLock

    mutable std::recursive_mutex FLock; // port-driver list; opening and closing devices
    std::vector<std::pair<MyAnsiString, std::shared_ptr<TPortDriver>>> PortDriverList;
    TOvraDeviceList OvraDeviceList;
    std::unique_ptr<TMxScheduler> OvraScheduler;
    std::unique_ptr<TThreadManager> FThreadManager;
    TMxQueue Queue;
    TMxQueue FCommandQueue;
    std::array<std::unique_ptr<TServerActor>, ActorCount> ServerActor;
    TMessageReader CmdMsgReader;
    TMessageWriter CmdMsgWriter;
    std::unique_ptr<TMxTask> CommandTask;
};

// The program's server (nullptr until the composition root sets it).
TOvraServer* OvraServer() noexcept;
void SetOvraServer(TOvraServer* Server) noexcept;

} // namespace vo
