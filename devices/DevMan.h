#pragma once
// The device model: the device manager, the devices and the base class of
// every per-device service.
//
// TDeviceManager is the program's one registry of device-service classes by
// name and of the devices that exist; it owns the project model tree whose
// root is "Project". A TDevice is one drive (online), an offline
// configuration or an archive. It is created from a named profile of the
// program registry, creates its services in the order the profile lists them,
// and starts, stops and takes them offline one after another in its own work
// task "DeviceManager": a small state machine that gives every service as many
// turns as it asks for. TDeviceService is the base of every per-device service;
// the device drives a service only through StartUp, ShutDown and
// ChangeToOffline and learns of its progress through the service's status.
//
// The device owns its services: they are freed with it, last service first,
// and their tasks end with them. A device is shut down (ShutDownServices)
// before it is destroyed; destroying it from its own response procedure is
// allowed.
//
// Profiles. The manager's "Devices" dictionary holds "Profiles", device
// profiles by name. A device profile may hold "DeviceType" ("Online",
// "Offline", "Archive"), "DevVars" (string variables copied into the device),
// "HelpTextDict" (info texts by language) and "Services": an array of
// dictionaries {"Name": the service's name in the device, "Profile": a program
// registry path of the service profile}. A service profile holds "Name" (the
// registered class name), optionally "Caption" and "HelpTextDict", and what its
// class reads.
//
// Everything here runs on the main scheduler (GUI thread); no locks.
#include "kernel/ModTree.h"
#include "kernel/MxTLib20.h"
#include "kernel/Object.h"
#include "kernel/PropList.h"
#include "platform/AnsiString.h"
#include "platform/Exception.h"
#include "storagelib/RefObj.h"
#include "storagelib/SL20Dic.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

namespace vo {

class TApplicationViewFactory;
class TServiceProvider;

enum TDeviceType : uint8_t { dtUnknown,
                             dtOnline,
                             dtOffline,
                             dtArchive,
                             dtConnectionLost };

enum TDeviceState : uint8_t {
    dstStopped,
    dstStarting,
    dstStarted,
    dstStopping,
    dstError,
    dstDestroyed,
    dstGoingOffline
};

// Order matters: a status below dsStarted is dsStopped or dsStarting.
enum TDeviceServiceStatus : uint8_t {
    dsStopped,
    dsStarting,
    dsStarted,
    dsStopping,
    dsError,
    dsDisabled,
    dsGoingOffline
};

enum TInterfaceType : uint8_t { ifRS232,
                                ifCAN,
                                ifOffline,
                                ifEthernet };

class TDevice;
class TDeviceManager;
class TDeviceService;
class TDeviceServiceClient;

// The response procedure of the start, stop and offline requests.
using TDeviceResponse = std::function<void(TDevice& Device)>;
using TServiceStatusChangeEvent = std::function<void(TDeviceService& Service)>;
using TServiceNotification = std::function<void(TDeviceService& Service)>;
using TDeviceCloseEvent = std::function<void(TDevice& Device)>;
// A registered service class: creates a service of its class for a device
// with a service profile.
using TDeviceServiceClass = std::function<std::unique_ptr<TDeviceService>(TDevice& AOwner, TSLDictionary* AProfDict)>;
// Looks up the dictionary at a program-registry path (nullptr or an exception
// when there is none).
using TRegistryLookup = std::function<TSLDictionary*(const MyAnsiString& Path)>;

// The class of a service type T with the constructor T(TDevice&, TSLDictionary*).
template <class T>
TDeviceServiceClass DeviceServiceClass() {
    return [](TDevice& AOwner, TSLDictionary* AProfDict) -> std::unique_ptr<TDeviceService> {
        return std::make_unique<T>(AOwner, AProfDict);
    };
}

// Texts of the enumerations as the device answers them.
const char* DeviceStateText(TDeviceState State); // "Stopped" .. "Error", "Unknown"
const char* DeviceTypeText(TDeviceType Type); // "Online", .., "Connection Lost", "Unknown"
const char* ServiceStatusText(TDeviceServiceStatus Status); // "Stopped" .. "Error", "Unknown"

// The permission of a user name (compared in upper case): "GUEST" 1, "USER" 3,
// "SERVICE" 7, "DEVELOPER" 15, anything else 0.
int32_t UserPermission(const MyAnsiString& UserName);
// The text with its letters in upper case (code page 1252).
MyAnsiString UpperCaseText(const MyAnsiString& Text);

// The dictionary at a backslash path below Root (names compared without regard
// to case); nullptr when a part is missing or not a dictionary.
TSLDictionary* DictionaryAtPath(TSLDictionary* Root, const MyAnsiString& Path);

// ------------------------------------------------------------------ service clients

class TDeviceServiceClient {
public:
    explicit TDeviceServiceClient(TDeviceService& AOwner) : FOwner(&AOwner) {}
    TDeviceServiceClient(const TDeviceServiceClient&) = delete;
    TDeviceServiceClient& operator=(const TDeviceServiceClient&) = delete;

    TDeviceService* Owner() const { return FOwner; }
    // Calls FOnNotify with the owning service when assigned.
    void Notify();
    // Removes the client from its service, which frees it.
    void Release();

    TServiceNotification FOnNotify;

private:
    TDeviceService* FOwner;
};

// ------------------------------------------------------------------ services

class TDeviceService : public TObject {
public:
    // Keeps owner and profile; permissions 1; caption from "Caption"; status
    // dsStopped; the property list ("Service", the read-only "Name", the info
    // texts of "HelpTextDict").
    TDeviceService(TDevice& AOwner, TSLDictionary* AProfDict);
    // Releases the clients still registered.
    ~TDeviceService() override;
    TDeviceService(const TDeviceService&) = delete;
    TDeviceService& operator=(const TDeviceService&) = delete;

    virtual const char* ClassName() const { return "TDeviceService"; }

    // Called once right after construction.
    virtual void Initialize() {}
    // One turn of starting, stopping: a service moves its own status with
    // SetServiceStatus and sets Wait only when a later event will change it.
    virtual void StartUp(bool& Wait) = 0;
    virtual void ShutDown(bool& Wait) = 0;
    virtual void Kill() = 0;
    // A descendant's string variables (Found stays false for others).
    virtual void DoGetStrVar(const MyAnsiString& VarName, MyAnsiString& Value, bool& Found);
    // One turn of going offline; the base leaves Wait false.
    virtual void ChangeToOffline(bool& Wait);

    // DoGetStrVar first, then "ServiceStatus", "ServiceName", "DeviceName".
    MyAnsiString GetStrVar(const MyAnsiString& VarName);
    // Stores the status and calls FOnServiceStatusChange, also when it did
    // not change.
    void SetServiceStatus(TDeviceServiceStatus Value);
    TDeviceServiceStatus ServiceStatus() const { return FServiceStatus; }

    bool GetHasReadPermission() const;
    bool GetHasWritePermission() const;

    TDeviceServiceClient& CreateServiceClient();
    // Removes and frees the client (nothing for a stranger).
    void ReleaseClient(TDeviceServiceClient& Item);
    void NotifyClients();
    int GetClientCount() const { return static_cast<int>(FClientList.size()); }

    // The property "Name" (ident 2): the caption.
    MyAnsiString GetStrVarProp(int Ident) const;

    // Logs "couldn't start <name>: <reason>" as an error and goes to dsError.
    void StartFailed(const MyAnsiString& Reason);

    TDevice& Owner() const { return *FOwner; }
    const MyAnsiString& Name() const { return FName; }
    const MyAnsiString& Caption() const { return FCaption; }
    TSLDictionary* ProfDict() const { return FProfDict; }
    TPropertyList& PropList() { return FPropList; }
    int32_t MinReadPermission() const { return FMinReadPermission; }
    int32_t MinWritePermission() const { return FMinWritePermission; }

    TServiceStatusChangeEvent FOnServiceStatusChange;
    // Lists a descendant may keep of services it uses and serves.
    std::vector<TDeviceService*> FClientServiceList;
    std::vector<TDeviceService*> FServerServiceList;
    // A descendant's node in the project tree, where it has one.
    TModelItem* FModel = nullptr;

protected:
    friend class TDevice;

    TDevice* FOwner;
    MyAnsiString FName;
    MyAnsiString FCaption;
    TSLDictionary* FProfDict; // not owned
    TDeviceServiceStatus FServiceStatus = dsStopped;
    int32_t FMinReadPermission = 1;
    int32_t FMinWritePermission = 1;
    std::vector<std::unique_ptr<TDeviceServiceClient>> FClientList;
    TPropertyList FPropList;
};

// ------------------------------------------------------------------ device clients

class TDeviceClient {
public:
    explicit TDeviceClient(TDevice& ADevice) : FDevice(&ADevice) {}
    TDeviceClient(const TDeviceClient&) = delete;
    TDeviceClient& operator=(const TDeviceClient&) = delete;

    TDevice* Device() const { return FDevice; }
    // Asks the device for a release and forgets it.
    void Release();

    TDeviceCloseEvent FOnClose;

private:
    TDevice* FDevice;
};

// ------------------------------------------------------------------ devices

class TDevice : public TObject {
public:
    // Keeps owner, name and profile; the type from "DeviceType"; the node in
    // the owner's model tree (not in the tree yet); the work task; the string
    // variables of "DevVars"; the property list. State dstStopped.
    TDevice(TDeviceManager& AOwner, MyAnsiString AName, TSLDictionary* AProfDict);
    // Ends the work task, frees the services (last first) and lets the node go.
    ~TDevice() override;
    TDevice(const TDevice&) = delete;
    TDevice& operator=(const TDevice&) = delete;

    static const char* ClassName() { return "TDevice"; }

    // Creates the services of the profile's "Services" in order; a failing
    // entry is logged as an error and left out.
    void CreateServices();
    // Raises "TDevice.CreateService: device '%s' has already a service with
    // name '%s'"; the class of the profile's "Name" must be registered.
    TDeviceService& CreateService(const MyAnsiString& AName, TSLDictionary* AProfDict);
    // Raises "TDevice.GetService: service with name '%s' not found".
    TDeviceService& GetService(const MyAnsiString& AServiceName) const;
    bool ServiceExists(const MyAnsiString& AServiceName) const;
    int GetServiceCount() const { return static_cast<int>(ServiceList.size()); }
    TDeviceService& GetServiceWithIndex(int Index) const;
    // The service of that name as T, nullptr when absent or of another class.
    template <class T>
    T* FindService(const MyAnsiString& AServiceName) const {
        for (const auto& [name, service] : ServiceList)
            if (SameName(name, AServiceName))
                return dynamic_cast<T*>(service.get());
        return nullptr;
    }

    // Requests to the work task.
    // Only in dstStopped, else "TDevice.StartupServices: device not ready".
    void StartUpServices(TDeviceResponse RespProc);
    // Only in dstStarted or dstError, else "TDevice.ShutDownServices: device
    // not ready".
    void ShutDownServices(TDeviceResponse RespProc);
    // Only in dstStarted or dstError, else "TDevice.ChangeToOffline: device
    // not ready".
    void ChangeToOffline(TDeviceResponse RespProc, bool ASendLogout);
    // Only in dstStarted or dstError, else "TDevice.ChangeToConnectionLost:
    // device not ready (<state>)"; the type becomes dtConnectionLost.
    void ChangeToConnectionLost(TDeviceResponse RespProc);
    // Only in dstStarted or dstError, else "TDevice.ChangeToConnectionRecovered:
    // device not ready"; the type becomes dtOnline.
    void ChangeToConnectionRecovered(TDeviceResponse RespProc);

    // String variables. "UserName" is kept in upper case.
    void SetStrVar(const MyAnsiString& AName, const MyAnsiString& Value);
    // The variable; else "DeviceName", "DeviceStatus", "DeviceType" from the
    // device; else "".
    MyAnsiString GetStrVar(const MyAnsiString& AName) const;
    int32_t GetUserPermission() const;

    MyAnsiString GetModelCaption() const;
    // The property "Name" (ident 2): the caption.
    MyAnsiString GetStrVarProp(int Ident) const;

    // While starting, stopping or going offline: sets the work signal when
    // Sender is the current service.
    void ServiceStatusChange(TDeviceService& Sender);

    TDeviceClient& GetDeviceClient();
    // Raises "TDevice.ClientRequest: sender isn't client of this device" for a
    // stranger; otherwise sets ClientReleaseRequest and the work signal.
    void ClientRequest(TDeviceClient& Sender);

    TDeviceManager& Owner() const { return *FOwner; }
    const MyAnsiString& Name() const { return FName; }
    const MyAnsiString& Caption() const { return FCaption; }
    void SetCaption(MyAnsiString Value) { FCaption = std::move(Value); }
    const MyAnsiString& ProfileName() const { return FProfileName; }
    TSLDictionary* ProfDict() const { return FProfDict; }
    TDeviceType DeviceType() const { return FDeviceType; }
    void SetDeviceType(TDeviceType Value) { FDeviceType = Value; }
    TDeviceState State() const { return FState; }
    TInterfaceType InterfaceType() const { return FInterfaceType; }
    void SetInterfaceType(TInterfaceType Value) { FInterfaceType = Value; }
    int32_t DeviceMACID() const { return FDeviceMACID; }
    void SetDeviceMACID(int32_t Value) { FDeviceMACID = Value; }
    int32_t DeviceIP() const { return FDeviceIP; }
    void SetDeviceIP(int32_t Value) { FDeviceIP = Value; }
    bool SendLogout() const { return FSendLogout; }
    TModelItem& Model() const { return *FModel; }
    TPropertyList& PropList() { return FPropList; }
    TSLDictionary* VarDict() const { return FVarDict.Get(); }
    TMxTask& WorkTask() { return *FWorkTask; }
    TMxSignal& WorkSignal() { return FWorkSignal; }
    TDeviceService* CurrentService() const { return FCurrentService; }
    int32_t CurrentServiceIndex() const { return FCurrentServiceIndex; }
    bool ClientReleaseRequest() const { return FClientReleaseRequest; }
    int GetClientCount() const { return static_cast<int>(ClientList.size()); }

private:
    friend class TDeviceManager;

    static bool SameName(const MyAnsiString& A, const MyAnsiString& B);
    // The work task's step.
    void Work(TMxTask& Sender);
    // One step by state; true when the step handed the device to its response
    // procedure (which may have freed the device).
    bool WorkStep();
    void StepStarting();
    void StepStopping();
    void StepGoingOffline();
    // Calls and clears the pending response procedure. The device may be
    // gone when it returns.
    void Respond();
    bool IsDeveloper() const;

    TDeviceManager* FOwner;
    MyAnsiString FName;
    MyAnsiString FCaption;
    MyAnsiString FProfileName;
    TSLDictionary* FProfDict; // not owned
    TDeviceType FDeviceType = dtUnknown;
    TInterfaceType FInterfaceType = ifRS232;
    int32_t FDeviceMACID = 0;
    int32_t FDeviceIP = 0;
    std::vector<std::pair<MyAnsiString, std::unique_ptr<TDeviceService>>> ServiceList;
    int32_t FCurrentServiceIndex = 0;
    TDeviceService* FCurrentService = nullptr;
    std::vector<std::unique_ptr<TDeviceClient>> ClientList;
    bool FClientReleaseRequest = false;
    TDeviceState FState = dstStopped;
    TMxSignal FWorkSignal;
    TDeviceResponse FRespProc;
    int32_t RetryCounter = 0;
    bool RetryRequest = false;
    bool FSendLogout = false;
    TRef<TSLDictionary> FVarDict;
    TModelItem* FModel = nullptr;
    TPropertyList FPropList;
    std::unique_ptr<TMxTask> FWorkTask; // after the signal: destroyed first
};

// ------------------------------------------------------------------ manager

class TDeviceManager : public TObject {
public:
    // Keeps the "Devices" dictionary (not owned); Lookup finds service
    // profiles by registry path (none: the program registry,
    // ProgramRegistry().GetDictKey). Creates the provider "Device Manager" and the
    // model tree with its root "Project" (image 13, all users).
    explicit TDeviceManager(TSLDictionary* AProfDict, TRegistryLookup Lookup = {});
    // Frees the devices that are left.
    ~TDeviceManager() override;
    TDeviceManager(const TDeviceManager&) = delete;
    TDeviceManager& operator=(const TDeviceManager&) = delete;

    static const char* ClassName() { return "TDeviceManager"; }

    // Raises "TDeviceManager.RegisterDeviceService: service with name '%s'
    // already registered".
    void RegisterServiceClass(const MyAnsiString& AName, TDeviceServiceClass AClass);
    // Raises "TDeviceManager.GetServiceClass: a service with name '%s' ist
    // not registered".
    const TDeviceServiceClass& GetServiceClass(const MyAnsiString& AName) const;
    bool ServiceClassExists(const MyAnsiString& AName) const;

    // A new device from the profile AProfile; neither its services nor the
    // tree are touched (the caller creates and starts the services and adds
    // the node).
    TDevice& CreateDevice(const MyAnsiString& AName, const MyAnsiString& AProfile);
    // Removes the device and its node and frees it; sets UpdateRequest. A
    // device that is not listed is ignored.
    void DestroyDevice(TDevice& ADevice);
    // Raises "TDeviceManager.GetDevice: device with name '%s' not found".
    TDevice& GetDevice(const MyAnsiString& ADeviceName) const;
    bool DeviceExists(const MyAnsiString& ADeviceName) const;
    int GetDeviceCount() const { return static_cast<int>(DeviceList.size()); }
    // Raises "TDeviceManager.GetDeviceAtIndex: index out of bounds".
    TDevice& GetDeviceAtIndex(int Index) const;
    TDeviceService& GetService(const MyAnsiString& ADeviceName, const MyAnsiString& AServiceName) const;
    bool ServiceExists(const MyAnsiString& ADeviceName, const MyAnsiString& AServiceName) const;
    bool GetDeviceOnlineExists() const;

    // Raises "TDeviceManager.ChangeDeviceName: device with name '%s' not
    // found"; an offline device gets "(1)" appended for every other offline
    // device with the caption built so far.
    void SetDeviceCaption(const MyAnsiString& DeviceName, const MyAnsiString& DeviceCaption);
    void ChangeToOffline(TDevice& ADevice);

    // The service profile at a registry path; raises when there is none.
    TSLDictionary* LookupProfile(const MyAnsiString& Path) const;

    TSLDictionary* ProfDict() const { return FProfDict; }
    TServiceProvider& Provider() { return *FDevManProvider; }
    TModelManager& ModelManager() { return *FModelManager; }
    TApplicationViewFactory* DeviceInfoFormFactory() const { return FDeviceInfoFormFactory; }
    void SetDeviceInfoFormFactory(TApplicationViewFactory* Value) { FDeviceInfoFormFactory = Value; }
    TApplicationViewFactory* ProjectInfoFormFactory() const { return FProjectInfoFormFactory; }
    void SetProjectInfoFormFactory(TApplicationViewFactory* Value);

    // Set after a device is destroyed.
    bool UpdateRequest = false;

private:
    int IndexOfDevice(const MyAnsiString& AName) const;

    TSLDictionary* FProfDict; // not owned
    TRegistryLookup FLookup;
    std::vector<std::pair<MyAnsiString, TDeviceServiceClass>> ServiceClassList; // sorted by name
    std::unique_ptr<TServiceProvider> FDevManProvider;
    std::unique_ptr<TModelManager> FModelManager;
    TApplicationViewFactory* FDeviceInfoFormFactory = nullptr; // not owned
    TApplicationViewFactory* FProjectInfoFormFactory = nullptr; // not owned
    // After the model manager: the devices let their nodes go first.
    std::vector<std::pair<MyAnsiString, std::unique_ptr<TDevice>>> DeviceList;
};

// The program's device manager (nullptr until the composition root sets it).
TDeviceManager* DeviceManager() noexcept;
void SetDeviceManager(TDeviceManager* Manager) noexcept;

} // namespace vo
