#include "comm/OvraServ.h"

#include "kernel/Debug.h"
#include "kernel/functions.h"
#include "platform/Exception.h"

#include <algorithm>
#include <atomic>
#include <cctype>

namespace vo {

namespace {

std::atomic<TOvraServer*> GOvraServer{nullptr};

bool SameName(const MyAnsiString& A, const MyAnsiString& B) {
    return A.size() == B.size() && std::equal(A.begin(), A.end(), B.begin(), [](char x, char y) {
               return std::toupper(static_cast<unsigned char>(x)) == std::toupper(static_cast<unsigned char>(y));
           });
}

// A text that can travel as one message parameter: not empty, without TAB or CR.
MyAnsiString ParameterText(MyAnsiString Text) {
    for (char& c : Text)
        if (c == '\t' || c == '\r')
            c = ' ';
    if (Text.empty())
        Text = "error";
    return Text;
}

// Logs Q on at the well-known node the GUI side addresses.
void LogOnAt(TMxQueue& Q, uint16_t Ident) {
    try {
        Q.LogOnAt(Ident);
    } catch (const Exception&) {
        throw Exception("OvraServer.Create: dispatcher node " + std::to_string(Ident) + " is taken");
    }
}

MyAnsiString OutOfRange(int32_t Index, const MyAnsiString& Port) {
    return "OvraServer: index " + std::to_string(Index) + " at port '" + Port + "' is out of range";
}

MyAnsiString IndexOccupied(int32_t Index, const MyAnsiString& Port) {
    return "OvraServer: index " + std::to_string(Index) + " at port '" + Port + "' is occupied";
}

} // namespace

TOvraServer* OvraServer() noexcept {
    return GOvraServer.load();
}

void SetOvraServer(TOvraServer* Server) noexcept {
    GOvraServer.store(Server);
}

TOvraServer::TOvraServer() {
    MxEnsureMessaging();
    if (TDebugManager* dm = DebugManager())
        dm->Enable(1);
    OvraScheduler = TMxScheduler::CreateThreaded("OvraScheduler");
    FThreadManager = std::make_unique<TThreadManager>();
    FThreadManager->SetThreadName("OvraServer");
    LogOnAt(Queue, OvraServerIdent);
    for (auto& actor : ServerActor)
        actor = std::make_unique<TServerActor>(Queue, OvraDeviceList, *OvraScheduler);
    LogOnAt(FCommandQueue, OvraServerCommandIdent);
    CommandTask = std::make_unique<TMxTask>(*OvraScheduler, "OvraServer.Create");
    CommandTask->SetOnExecute([this](TMxTask& Sender) { CommandStep(Sender); });
    CommandTask->Start();
}

TOvraServer::~TOvraServer() {
    if (GOvraServer.load() == this)
        GOvraServer.store(nullptr);
    // Tasks first (each waits for a step of its own that is running), so
    // that nothing on the server's thread touches what follows.
    CommandTask.reset();
    for (auto& actor : ServerActor)
        actor.reset();
    if (CmdMsgReader.GetItem())
        CmdMsgReader.DestroyMessage();
    for (auto& dev : OvraDeviceList.TakeAll())
        dev->Detach();
    {
        std::lock_guard lock(FLock);
        for (auto& [name, driver] : PortDriverList)
            driver->Close();
        PortDriverList.clear();
    }
    if (FCommandQueue.LoggedOn())
        FCommandQueue.LogOff();
    if (Queue.LoggedOn())
        Queue.LogOff();
    OvraScheduler.reset();
    FThreadManager.reset();
}

std::shared_ptr<TPortDriver> TOvraServer::FindDriver(const MyAnsiString& AName) const {
    for (const auto& [name, driver] : PortDriverList)
        if (SameName(name, AName))
            return driver;
    return nullptr;
}

bool TOvraServer::AddPortDriver(const MyAnsiString& AName, std::shared_ptr<TPortDriver> APortDriver) {
    if (!APortDriver)
        return false;
    std::lock_guard lock(FLock);
    if (FindDriver(AName))
        return false;
    PortDriverList.emplace_back(AName, std::move(APortDriver));
    return true;
}

int32_t TOvraServer::OpenDevice(const MyAnsiString& AName, int32_t ADeviceMACID, int32_t ADeviceIP, uint16_t AIdent,
                                uint8_t ADomain, uint8_t AInfo) {
    std::lock_guard lock(FLock);
    try {
        std::shared_ptr<TPortDriver> port;
        int32_t index = 0;
        bool serial = false;
        MyAnsiString portName = AName;
        if (AName == "CAN") {
            port = FindDriver(AName);
            if (!port)
                throw Exception("OvraServer: port " + AName + " is unknown");
            index = ADeviceMACID;
            if (index < 0 || index >= port->PortCount())
                throw Exception(OutOfRange(index, AName));
            if (port->IsBound(index))
                throw Exception(IndexOccupied(index, AName));
        } else if (AName == "ETH") {
            port = FindDriver(AName);
            if (!port)
                throw Exception("OvraServer: port " + AName + " is unknown");
            index = ADeviceIP;
            if (port->IsBound(index))
                throw Exception("OvraServer: port " + IntToIPStr(index) + " is occupied");
        } else {
            serial = true;
            if (OvraDeviceList.DeviceWithName(AName))
                throw Exception("OvraServer: port " + AName + " is occupied");
            const auto colon = AName.find(':');
            if (colon != MyAnsiString::npos) {
                portName = AName.substr(0, colon);
                index = StrToInt(AName.substr(colon + 1));
            }
            port = FindDriver(portName);
            if (!port)
                throw Exception("OvraServer: port " + AName + " is unknown");
            if (index < 0 || index >= port->PortCount())
                throw Exception(OutOfRange(index, portName));
            if (port->IsBound(index))
                throw Exception(IndexOccupied(index, portName));
        }

        const bool wasOpen = port->PortIsOpen();
        if (!wasOpen)
            port->Open(*OvraScheduler, *FThreadManager);
        if (serial) {
            if (!port->PortIsOpen())
                throw Exception("Port " + portName + " could not be opened!");
            port->SetPortName(portName);
        }

        auto device = std::make_shared<TOvraDevice>(AName, port, index, &Queue);
        if (!device->PortDriver()) {
            // The index is bound after all (a binding from outside the
            // server): no device without a port driver.
            device.reset();
            if (!wasOpen)
                port->Close();
            throw Exception(serial ? IndexOccupied(index, portName) : IndexOccupied(index, AName));
        }
        const int32_t handle = OvraDeviceList.AddDevice(device);
        device->SetDefaultQueue(AIdent, ADomain, AInfo);
        if (TDebugManager* dm = DebugManager()) {
            std::weak_ptr<TOvraDevice> weak = device;
            dm->Assign(1, [weak](TDebugHandler Handler) {
                if (auto d = weak.lock())
                    d->SetDebugHandler(std::move(Handler));
            });
        }
        return handle;
    } catch (const std::exception& e) {
        throw Exception(e.what());
    }
}

void TOvraServer::CloseDevice(int32_t AHandle) {
    std::lock_guard lock(FLock);
    if (TOvraDevicePtr device = OvraDeviceList.DeleteHandle(AHandle))
        device->Detach(); // an actor that still holds it gets 0x90 from now on
}

int32_t TOvraServer::GetDeviceHandle(const MyAnsiString& AName) const {
    TOvraDevicePtr d = OvraDeviceList.DeviceWithName(AName);
    return d ? d->DeviceHandle() : -1;
}

int32_t TOvraServer::GetPortCount() const {
    std::lock_guard lock(FLock);
    return static_cast<int32_t>(PortDriverList.size());
}

MyAnsiString TOvraServer::GetPortName(int32_t AIndex) const {
    std::lock_guard lock(FLock);
    if (AIndex < 0 || static_cast<size_t>(AIndex) >= PortDriverList.size())
        return {};
    return PortDriverList[static_cast<size_t>(AIndex)].first;
}

MyAnsiString TOvraServer::GetPortType(const MyAnsiString& APortName) const {
    std::lock_guard lock(FLock);
    auto d = FindDriver(APortName);
    return d ? d->PortType() : MyAnsiString();
}

std::shared_ptr<TPortDriver> TOvraServer::GetPortDriver(const MyAnsiString& APortName) const {
    std::lock_guard lock(FLock);
    return FindDriver(APortName);
}

bool TOvraServer::SetPortBaudRate(const MyAnsiString& AName, uint32_t BaudRate) {
    std::lock_guard lock(FLock);
    auto d = FindDriver(AName);
    return d && d->SetBaudRate(BaudRate);
}

void TOvraServer::ClearRSPorts() {
    std::lock_guard lock(FLock);
    for (size_t i = PortDriverList.size(); i-- > 0;) {
        if (PortDriverList[i].second->PortType() == "RS") {
            // A device still open on it keeps the driver alive until closed.
            PortDriverList.erase(PortDriverList.begin() + static_cast<std::ptrdiff_t>(i));
        }
    }
}

void TOvraServer::CommandStep(TMxTask& Sender) {
    TMxMessage* msg = FCommandQueue.GetMessage();
    if (!msg) {
        Sender.WaitFor(FCommandQueue, MxInfinite);
        return;
    }
    CmdMsgReader.SetItem(msg);
    CmdMsgWriter.CreateMessage();
    TMxMessage* reply = CmdMsgWriter.GetItem();
    reply->SetReceiverFromSender(*msg);
    try {
        ExecuteCommand(CmdMsgReader, CmdMsgWriter, *msg);
    } catch (const std::exception& e) {
        // The reply could not be written at all: answer a bare error.
        LogInfo(MyAnsiString(e.what()) + " - " + Sender.Caption());
        reply->Clear();
        CmdMsgWriter.PutCommand(OvraReplyError);
        CmdMsgWriter.PutParameter(OvraReplyError);
        CmdMsgWriter.PutParameter(ParameterText(e.what()));
    }
    CmdMsgReader.DestroyMessage();
    CmdMsgWriter.SetItem(nullptr);
    try {
        FCommandQueue.SendMessage(reply); // an undeliverable reply goes back to the pool
    } catch (const std::exception& e) {
        LogInfo(MyAnsiString("OvraServer.Command: ") + e.what());
    }
    Sender.WaitFor(FCommandQueue, MxInfinite);
}

void TOvraServer::ExecuteCommand(TMessageReader& Reader, TMessageWriter& Writer, const TMxMessage& Request) {
    MyAnsiString command;
    MyAnsiString readError;
    try {
        command = Reader.GetCommand();
    } catch (const std::exception& e) {
        readError = e.what();
    }
    Writer.PutCommand(ParameterText(command.empty() ? MyAnsiString(OvraReplyError) : command));
    if (!readError.empty()) {
        Writer.PutParameter(OvraReplyError);
        Writer.PutParameter(ParameterText(readError));
        return;
    }
    try {
        if (command == "OpenDevice") {
            const MyAnsiString name = Reader.GetParameter();
            if (name.empty())
                throw EMessageFormatError("OvraServer.OpenDevice: port name missing");
            const int32_t macId = MsgGetInt(Reader);
            const int32_t ip = MsgGetInt(Reader);
            const int32_t info = MsgGetInt(Reader);
            const int32_t handle = OpenDevice(name, macId, ip, Request.Sender.Ident, Request.Sender.Domain,
                                              static_cast<uint8_t>(info));
            Writer.PutParameter("OK");
            Writer.PutParameter(std::to_string(handle));
        } else if (command == "CloseDevice") {
            const int32_t handle = MsgGetInt(Reader);
            CloseDevice(handle);
            Writer.PutParameter("OK");
        } else {
            Writer.PutParameter(OvraReplyError);
            Writer.PutParameter("unknown command");
        }
    } catch (const std::exception& e) {
        Writer.PutParameter(OvraReplyError);
        Writer.PutParameter(ParameterText(e.what()));
    }
}

} // namespace vo
