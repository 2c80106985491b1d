#include "devices/DevMan.h"

#include "kernel/AnsiText.h"
#include "kernel/CsServices.h"
#include "kernel/Debug.h"
#include "kernel/PropItms.h"
#include "kernel/functions.h"
#include "storagelib/PrgRegs.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Elm.h"

#include <algorithm>

namespace vo {

namespace {

TDeviceManager* GDeviceManager = nullptr;

MyAnsiString Msg(const char* Format, const MyAnsiString& A) {
    return ansi::Fmt(Format, A.c_str());
}

MyAnsiString Msg(const char* Format, const MyAnsiString& A, const MyAnsiString& B) {
    return ansi::Fmt(Format, A.c_str(), B.c_str());
}

// A string entry of a dictionary ("" when missing or not a string).
MyAnsiString StrEntry(TSLDictionary* Dict, std::string_view Name) {
    if (!Dict)
        return {};
    if (auto* s = dynamic_cast<TSLString*>(Dict->FindObjWithName(Name)))
        return s->GetStringValue();
    return {};
}

TSLDictionary* DictEntry(TSLDictionary* Dict, std::string_view Name) {
    return Dict ? dynamic_cast<TSLDictionary*>(Dict->FindObjWithName(Name)) : nullptr;
}

// The info texts of a "HelpTextDict" (language -> text); empty texts are
// skipped.
void AddHelpTexts(TPropertyList& List, TSLDictionary* Dict) {
    TSLDictionary* help = DictEntry(Dict, "HelpTextDict");
    if (!help)
        return;
    for (int i = 0; i < help->GetCount(); ++i) {
        auto* s = dynamic_cast<TSLString*>(help->GetObjAtIndex(i));
        if (s && !s->GetStringValue().empty())
            List.AddInfoStringListItem(help->GetNameAtIndex(i), s->GetStringValue());
    }
}

// The read-only property "Name" (ident 2) of a device or a service, read
// through the owner's GetStrVarProp, then the info texts of the profile's
// "HelpTextDict".
template <class TOwner>
void AddNameAndHelp(TPropertyList& List, TSLDictionary* Dict) {
    List.Add<TStringProperty>("Name").Setup(
        [](TObject* AObj, int AId) -> MyAnsiString {
            auto* owner = dynamic_cast<TOwner*>(AObj);
            return owner ? owner->GetStrVarProp(AId) : MyAnsiString();
        },
        nullptr, 2);
    AddHelpTexts(List, Dict);
}

bool IsCriticalService(const MyAnsiString& Name) {
    return ansi::SameText(Name, "OvraService") || ansi::SameText(Name, "ModuleService") ||
        ansi::SameText(Name, "ParameterService");
}

} // namespace

TDeviceManager* DeviceManager() noexcept {
    return GDeviceManager;
}

void SetDeviceManager(TDeviceManager* Manager) noexcept {
    GDeviceManager = Manager;
}

const char* DeviceStateText(TDeviceState State) {
    switch (State) {
    case dstStopped: return "Stopped";
    case dstStarting: return "Starting";
    case dstStarted: return "Started";
    case dstStopping: return "Stopping";
    case dstError: return "Error";
    default: return "Unknown";
    }
}

const char* DeviceTypeText(TDeviceType Type) {
    switch (Type) {
    case dtOnline: return "Online";
    case dtOffline: return "Offline";
    case dtArchive: return "Archive";
    case dtConnectionLost: return "Connection Lost";
    default: return "Unknown";
    }
}

const char* ServiceStatusText(TDeviceServiceStatus Status) {
    switch (Status) {
    case dsStopped: return "Stopped";
    case dsStarting: return "Starting";
    case dsStarted: return "Started";
    case dsStopping: return "Stopping";
    case dsError: return "Error";
    default: return "Unknown";
    }
}

MyAnsiString UpperCaseText(const MyAnsiString& Text) {
    MyAnsiString out(Text);
    for (char& c : out)
        c = static_cast<char>(ansi::UpCase(static_cast<unsigned char>(c)));
    return out;
}

int32_t UserPermission(const MyAnsiString& UserName) {
    const MyAnsiString user = UpperCaseText(UserName);
    if (user == "GUEST")
        return 1;
    if (user == "USER")
        return 3;
    if (user == "SERVICE")
        return 7;
    if (user == "DEVELOPER")
        return 15;
    return 0;
}

TSLDictionary* DictionaryAtPath(TSLDictionary* Root, const MyAnsiString& Path) {
    TSLDictionary* dict = Root;
    size_t start = 0;
    while (dict) {
        const size_t end = Path.find('\\', start);
        const std::string_view part = std::string_view(Path).substr(start, end == MyAnsiString::npos ? MyAnsiString::npos : end - start);
        if (!part.empty())
            dict = dynamic_cast<TSLDictionary*>(dict->FindObjWithName(part));
        if (end == MyAnsiString::npos)
            break;
        start = end + 1;
    }
    return dict;
}

// ------------------------------------------------------------------ service clients

void TDeviceServiceClient::Notify() {
    if (FOnNotify && FOwner)
        FOnNotify(*FOwner);
}

void TDeviceServiceClient::Release() {
    if (FOwner)
        FOwner->ReleaseClient(*this); // frees this object
}

// ------------------------------------------------------------------ services

TDeviceService::TDeviceService(TDevice& AOwner, TSLDictionary* AProfDict) : FOwner(&AOwner), FProfDict(AProfDict) {
    if (FProfDict && FProfDict->GetNameExists("Caption"))
        FCaption = StrEntry(FProfDict, "Caption");
    FPropList.SetObjType("Service");
    AddNameAndHelp<TDeviceService>(FPropList, FProfDict);
}

TDeviceService::~TDeviceService() {
    // Clients still registered are let go; they must not call back.
    for (auto& client : FClientList)
        client->FOnNotify = nullptr;
    FClientList.clear();
}

void TDeviceService::DoGetStrVar(const MyAnsiString&, MyAnsiString&, bool&) {
}

void TDeviceService::ChangeToOffline(bool& Wait) {
    Wait = false;
}

MyAnsiString TDeviceService::GetStrVar(const MyAnsiString& VarName) {
    MyAnsiString value;
    bool found = false;
    DoGetStrVar(VarName, value, found);
    if (found)
        return value;
    if (ansi::SameText(VarName, "ServiceStatus"))
        return ServiceStatusText(FServiceStatus);
    if (ansi::SameText(VarName, "ServiceName"))
        return FName;
    if (ansi::SameText(VarName, "DeviceName"))
        return FOwner->Name();
    return {};
}

void TDeviceService::SetServiceStatus(TDeviceServiceStatus Value) {
    FServiceStatus = Value;
    if (FOnServiceStatusChange)
        FOnServiceStatusChange(*this);
}

bool TDeviceService::GetHasReadPermission() const {
    return FOwner->GetUserPermission() >= FMinReadPermission;
}

bool TDeviceService::GetHasWritePermission() const {
    return FOwner->GetUserPermission() >= FMinWritePermission;
}

TDeviceServiceClient& TDeviceService::CreateServiceClient() {
    FClientList.push_back(std::make_unique<TDeviceServiceClient>(*this));
    return *FClientList.back();
}

void TDeviceService::ReleaseClient(TDeviceServiceClient& Item) {
    auto it = std::find_if(FClientList.begin(), FClientList.end(), [&](const auto& c) { return c.get() == &Item; });
    if (it != FClientList.end())
        FClientList.erase(it);
}

void TDeviceService::NotifyClients() {
    // A client may release itself in its handler: walk a snapshot.
    std::vector<TDeviceServiceClient*> clients;
    for (auto& c : FClientList)
        clients.push_back(c.get());
    for (TDeviceServiceClient* c : clients) {
        const bool still = std::any_of(FClientList.begin(), FClientList.end(), [&](const auto& x) { return x.get() == c; });
        if (still)
            c->Notify();
    }
}

MyAnsiString TDeviceService::GetStrVarProp(int Ident) const {
    return Ident == 2 ? FCaption : MyAnsiString();
}

void TDeviceService::StartFailed(const MyAnsiString& Reason) {
    LogError("couldn't start " + FName + (Reason.empty() ? MyAnsiString() : ": " + Reason));
    SetServiceStatus(dsError);
}

// ------------------------------------------------------------------ device clients

void TDeviceClient::Release() {
    if (!FDevice)
        return;
    TDevice* device = FDevice;
    FDevice = nullptr;
    device->ClientRequest(*this);
}

// ------------------------------------------------------------------ devices

bool TDevice::SameName(const MyAnsiString& A, const MyAnsiString& B) {
    return ansi::SameText(A, B);
}

TDevice::TDevice(TDeviceManager& AOwner, MyAnsiString AName, TSLDictionary* AProfDict)
    : FOwner(&AOwner), FName(std::move(AName)), FProfDict(AProfDict) {
    const MyAnsiString type = StrEntry(FProfDict, "DeviceType");
    if (type == "Online")
        FDeviceType = dtOnline;
    else if (type == "Offline")
        FDeviceType = dtOffline;
    else if (type == "Archive")
        FDeviceType = dtArchive;

    FModel = &TModelItem::Create(FOwner->ModelManager(), this);
    FModel->SetCaption(FName);
    FModel->SetImageIndex(87);
    FModel->SetOnGetStrVar([this](const MyAnsiString& AVarName, MyAnsiString& AValue) { AValue = GetStrVar(AVarName); });
    FModel->SetView(FOwner->DeviceInfoFormFactory());

    FWorkTask = std::make_unique<TMxTask>("DeviceManager");
    FWorkTask->SetOnExecute([this](TMxTask& Sender) { Work(Sender); });
    FWorkTask->Start();

    FVarDict = MakeRef<TSLDictionary>();
    if (TSLDictionary* vars = DictEntry(FProfDict, "DevVars"))
        for (int i = 0; i < vars->GetCount(); ++i)
            if (auto* s = dynamic_cast<TSLString*>(vars->GetObjAtIndex(i)))
                SetStrVar(vars->GetNameAtIndex(i), s->GetStringValue());

    FPropList.SetObjType(FDeviceType == dtOnline ? "Drive (Online)" : "Offline Drive Configuration");
    AddNameAndHelp<TDevice>(FPropList, FProfDict);
}

TDevice::~TDevice() {
    // The work task first: no step of it runs on a half-destroyed device.
    FWorkTask.reset();
    FState = dstDestroyed;
    FRespProc = nullptr;
    FCurrentService = nullptr;
    // The services go last first, each ending its own tasks.
    while (!ServiceList.empty()) {
        ServiceList.back().second->FOnServiceStatusChange = nullptr;
        ServiceList.pop_back();
    }
    ClientList.clear();
    if (FModel) {
        FModel->SetOnGetStrVar(nullptr);
        FModel->SetData(nullptr);
        FModel->Release();
        FModel = nullptr;
    }
}

void TDevice::CreateServices() {
    auto* services = FProfDict ? dynamic_cast<TSLArray*>(FProfDict->FindObjWithName("Services")) : nullptr;
    if (!services)
        return;
    for (int i = 0; i < services->GetCount(); ++i) {
        try {
            auto* entry = dynamic_cast<TSLDictionary*>(services->GetObjAtIndex(i));
            if (!entry)
                throw Exception(ansi::Fmt("TDevice.CreateServices: entry %d of the services of device '%s' is no dictionary", i,
                                          FName.c_str()));
            const MyAnsiString name = entry->GetStrWithName("Name");
            const MyAnsiString path = entry->GetStrWithName("Profile");
            CreateService(name, FOwner->LookupProfile(path));
        } catch (const std::exception& e) {
            LogError(e.what());
        }
    }
}

TDeviceService& TDevice::CreateService(const MyAnsiString& AName, TSLDictionary* AProfDict) {
    if (ServiceExists(AName))
        throw Exception(Msg("TDevice.CreateService: device '%s' has already a service with name '%s'", FName, AName));
    const TDeviceServiceClass& cls = FOwner->GetServiceClass(StrEntry(AProfDict, "Name"));
    std::unique_ptr<TDeviceService> service = cls(*this, AProfDict);
    if (!service)
        throw Exception(Msg("TDevice.CreateService: the class of service '%s' created nothing", AName));
    service->FName = AName;
    service->Initialize();
    service->FOnServiceStatusChange = [this](TDeviceService& Sender) { ServiceStatusChange(Sender); };
    ServiceList.emplace_back(AName, std::move(service));
    return *ServiceList.back().second;
}

TDeviceService& TDevice::GetService(const MyAnsiString& AServiceName) const {
    for (const auto& [name, service] : ServiceList)
        if (SameName(name, AServiceName))
            return *service;
    throw Exception(Msg("TDevice.GetService: service with name '%s' not found", AServiceName));
}

bool TDevice::ServiceExists(const MyAnsiString& AServiceName) const {
    return std::any_of(ServiceList.begin(), ServiceList.end(), [&](const auto& s) { return SameName(s.first, AServiceName); });
}

TDeviceService& TDevice::GetServiceWithIndex(int Index) const {
    if (Index < 0 || Index >= GetServiceCount())
        throw Exception(ansi::Fmt("TDevice.GetServiceWithIndex: index %d out of bounds", Index));
    return *ServiceList[static_cast<size_t>(Index)].second;
}

bool TDevice::IsDeveloper() const {
    return GetStrVar("UserName") == "DEVELOPER";
}

void TDevice::StartUpServices(TDeviceResponse RespProc) {
    if (FState != dstStopped)
        throw Exception("TDevice.StartupServices: device not ready");
    FRespProc = std::move(RespProc);
    FCurrentServiceIndex = 0;
    FCurrentService = nullptr;
    RetryCounter = 0;
    RetryRequest = false;
    FState = dstStarting;
    FWorkSignal.SetReady(true);
}

void TDevice::ShutDownServices(TDeviceResponse RespProc) {
    if (FState != dstStarted && FState != dstError)
        throw Exception("TDevice.ShutDownServices: device not ready");
    FRespProc = std::move(RespProc);
    FCurrentServiceIndex = GetServiceCount() - 1;
    FCurrentService = nullptr;
    RetryCounter = 0;
    RetryRequest = false;
    if (IsDeveloper())
        LogInfo(MyAnsiString("ShutDownServices: leaving the state ") + DeviceStateText(FState));
    FState = dstStopping;
    FWorkSignal.SetReady(true);
}

void TDevice::ChangeToOffline(TDeviceResponse RespProc, bool ASendLogout) {
    if (FState != dstStarted && FState != dstError)
        throw Exception("TDevice.ChangeToOffline: device not ready");
    FSendLogout = ASendLogout;
    FRespProc = std::move(RespProc);
    FDeviceType = dtOffline;
    FOwner->ChangeToOffline(*this);
    FCurrentServiceIndex = GetServiceCount() - 1;
    FCurrentService = nullptr;
    RetryCounter = 0;
    FState = dstGoingOffline;
    FWorkSignal.SetReady(true);
}

void TDevice::ChangeToConnectionLost(TDeviceResponse) {
    if (FState != dstStarted && FState != dstError) {
        const char* state = FState == dstStopped ? "Stopped"
            : FState == dstStarting              ? "Starting"
            : FState == dstStopping              ? "Stopping"
            : FState == dstDestroyed             ? "Destroyed"
                                                 : "GoingOffline";
        throw Exception(ansi::Fmt("TDevice.ChangeToConnectionLost: device not ready (%s)", state));
    }
    FDeviceType = dtConnectionLost;
    FWorkSignal.SetReady(true);
}

void TDevice::ChangeToConnectionRecovered(TDeviceResponse) {
    if (FState != dstStarted && FState != dstError)
        throw Exception("TDevice.ChangeToConnectionRecovered: device not ready");
    FDeviceType = dtOnline;
    FWorkSignal.SetReady(true);
}

void TDevice::SetStrVar(const MyAnsiString& AName, const MyAnsiString& Value) {
    const MyAnsiString value = ansi::SameText(AName, "UserName") ? UpperCaseText(Value) : Value;
    if (auto* s = dynamic_cast<TSLString*>(FVarDict->FindObjWithName(AName))) {
        s->SetStringValue(value);
        return;
    }
    if (FVarDict->GetNameExists(AName))
        FVarDict->RemoveObject(AName);
    FVarDict->AddObject(AName, MakeRef<TSLString>(value).Get());
}

MyAnsiString TDevice::GetStrVar(const MyAnsiString& AName) const {
    if (FVarDict)
        if (auto* s = dynamic_cast<TSLString*>(FVarDict->FindObjWithName(AName)))
            return s->GetStringValue();
    if (ansi::SameText(AName, "DeviceName"))
        return FName;
    if (ansi::SameText(AName, "DeviceStatus"))
        return DeviceStateText(FState);
    if (ansi::SameText(AName, "DeviceType"))
        return DeviceTypeText(FDeviceType);
    return {};
}

int32_t TDevice::GetUserPermission() const {
    return UserPermission(GetStrVar("UserName"));
}

MyAnsiString TDevice::GetModelCaption() const {
    const MyAnsiString user = " (" + GetStrVar("UserName") + ")";
    switch (FDeviceType) {
    case dtOnline:
        switch (FInterfaceType) {
        case ifRS232: return FCaption + " on " + GetStrVar("PortName") + user;
        case ifCAN: return FCaption + ", ID " + std::to_string(FDeviceMACID) + " on " + GetStrVar("PortName") + user;
        case ifEthernet: return FCaption + ", IP: " + IntToIPStr(FDeviceIP) + user;
        default: return {};
        }
    case dtOffline: return FCaption + " offline" + user;
    default: return {};
    }
}

MyAnsiString TDevice::GetStrVarProp(int Ident) const {
    return Ident == 2 ? FCaption : MyAnsiString();
}

void TDevice::ServiceStatusChange(TDeviceService& Sender) {
    if ((FState == dstStarting || FState == dstStopping || FState == dstGoingOffline) && &Sender == FCurrentService)
        FWorkSignal.SetReady(true);
}

TDeviceClient& TDevice::GetDeviceClient() {
    ClientList.push_back(std::make_unique<TDeviceClient>(*this));
    return *ClientList.back();
}

void TDevice::ClientRequest(TDeviceClient& Sender) {
    const bool known = std::any_of(ClientList.begin(), ClientList.end(), [&](const auto& c) { return c.get() == &Sender; });
    if (!known)
        throw Exception("TDevice.ClientRequest: sender isn't client of this device");
    FClientReleaseRequest = true;
    FWorkSignal.SetReady(true);
}

void TDevice::Respond() {
    TDeviceResponse proc = std::move(FRespProc);
    FRespProc = nullptr;
    if (!proc)
        return;
    try {
        proc(*this); // may free the device: nothing of it is touched afterwards
    } catch (const std::exception& e) {
        LogError(MyAnsiString("TDevice.Work: response procedure failed: ") + e.what());
    }
}

void TDevice::Work(TMxTask& Sender) {
    bool gone = false;
    try {
        gone = WorkStep();
    } catch (...) {
        // The condition that raised stays until a service changes its
        // status: wait for that instead of raising at every turn.
        FWorkSignal.SetReady(false);
        Sender.WaitFor(FWorkSignal, MxInfinite);
        throw;
    }
    if (gone)
        return; // the response procedure may have freed the device (and this task)
    if (FState != dstDestroyed)
        Sender.WaitFor(FWorkSignal, MxInfinite);
}

bool TDevice::WorkStep() {
    switch (FState) {
    case dstStarting: StepStarting(); break;
    case dstStarted:
        FWorkSignal.SetReady(false);
        if (FRespProc) {
            // Wait first: the procedure may free the device and its task.
            FWorkTask->WaitFor(FWorkSignal, MxInfinite);
            Respond();
            return true;
        }
        break;
    case dstStopping: StepStopping(); break;
    case dstStopped:
    case dstError:
        FWorkSignal.SetReady(false);
        if (FRespProc) {
            FWorkTask->WaitFor(FWorkSignal, MxInfinite);
            Respond();
            return true;
        }
        break;
    case dstGoingOffline: StepGoingOffline(); break;
    case dstDestroyed: break;
    }
    return false;
}

void TDevice::StepStarting() {
    const int32_t count = GetServiceCount();
    if (FCurrentServiceIndex < count) {
        TDeviceService& service = *ServiceList[static_cast<size_t>(FCurrentServiceIndex)].second;
        FCurrentService = &service;
        switch (service.ServiceStatus()) {
        case dsStopped:
        case dsStarting: {
            RetryRequest = true;
            bool wait = false;
            try {
                service.StartUp(wait);
            } catch (const std::exception& e) {
                wait = false;
                service.StartFailed(e.what());
            }
            if (IsDeveloper())
                LogInfo("Starting " + (service.Caption().empty() ? service.Name() : service.Caption()));
            if (wait) {
                FWorkSignal.SetReady(false);
            } else {
                ++FCurrentServiceIndex;
                FCurrentService = nullptr;
            }
            break;
        }
        case dsStarted:
        case dsDisabled: ++FCurrentServiceIndex; break;
        case dsError:
            if (IsCriticalService(service.Name())) {
                FState = dstError;
                FCurrentService = nullptr;
                // The response comes with the next step (dstError delivers it).
                FWorkSignal.SetReady(true);
            } else {
                ++FCurrentServiceIndex;
                FWorkSignal.SetReady(true);
            }
            break;
        case dsStopping:
        case dsGoingOffline: throw Exception("TDevice.Work: wrong service state");
        }
        return;
    }
    // A pass is complete.
    FCurrentService = nullptr;
    FCurrentServiceIndex = 0;
    if (RetryRequest && RetryCounter <= count) {
        ++RetryCounter;
        RetryRequest = false;
        return;
    }
    for (auto& [name, service] : ServiceList) {
        const TDeviceServiceStatus s = service->ServiceStatus();
        if (s != dsStarted && s != dsDisabled) {
            service->SetServiceStatus(dsError);
            LogError("Service " + name + " not started!");
        }
    }
    FState = dstStarted;
}

void TDevice::StepStopping() {
    const int32_t count = GetServiceCount();
    if (FCurrentServiceIndex < 0) {
        FCurrentService = nullptr;
        FCurrentServiceIndex = count - 1;
        if (RetryRequest && RetryCounter <= count) {
            ++RetryCounter;
            RetryRequest = false;
        } else {
            FState = dstStopped;
        }
        return;
    }
    TDeviceService& service = *ServiceList[static_cast<size_t>(FCurrentServiceIndex)].second;
    FCurrentService = &service;
    const TDeviceServiceStatus s = service.ServiceStatus();
    if (s < dsStarted) {
        --FCurrentServiceIndex;
        return;
    }
    if (s == dsGoingOffline)
        throw Exception("TDevice.Work: wrong service state");
    RetryRequest = true;
    bool wait = false;
    try {
        service.ShutDown(wait);
    } catch (const std::exception& e) {
        wait = false;
        LogError("couldn't stop " + service.Name() + ": " + e.what());
    }
    if (IsDeveloper())
        LogInfo("Stopping " + (service.Caption().empty() ? service.Name() : service.Caption()));
    if (wait)
        FWorkSignal.SetReady(false);
    else
        --FCurrentServiceIndex;
}

void TDevice::StepGoingOffline() {
    if (FCurrentServiceIndex < 0) {
        FCurrentService = nullptr;
        FState = dstStarted;
        return;
    }
    TDeviceService& service = *ServiceList[static_cast<size_t>(FCurrentServiceIndex)].second;
    FCurrentService = &service;
    const TDeviceServiceStatus s = service.ServiceStatus();
    if (s < dsStarted) {
        --FCurrentServiceIndex;
        return;
    }
    if (s == dsGoingOffline) {
        // Looked at again once its status changes.
        FWorkSignal.SetReady(false);
        return;
    }
    bool wait = false;
    try {
        service.ChangeToOffline(wait);
    } catch (const std::exception& e) {
        wait = false;
        LogError("couldn't take " + service.Name() + " offline: " + e.what());
    }
    if (wait)
        FWorkSignal.SetReady(false);
    else
        --FCurrentServiceIndex;
}

// ------------------------------------------------------------------ manager

TDeviceManager::TDeviceManager(TSLDictionary* AProfDict, TRegistryLookup Lookup)
    : FProfDict(AProfDict), FLookup(std::move(Lookup)) {
    FDevManProvider = std::make_unique<TServiceProvider>(nullptr, "Device Manager");
    FModelManager = std::make_unique<TModelManager>();
    TModelItem& root = FModelManager->Root();
    root.SetCaption("Project");
    root.SetImageIndex(13);
    root.SetUserType(AllUsers);
}

TDeviceManager::~TDeviceManager() {
    while (!DeviceList.empty())
        DeviceList.pop_back();
    if (GDeviceManager == this)
        GDeviceManager = nullptr;
}

void TDeviceManager::SetProjectInfoFormFactory(TApplicationViewFactory* Value) {
    FProjectInfoFormFactory = Value;
    FModelManager->Root().SetView(Value);
}

void TDeviceManager::RegisterServiceClass(const MyAnsiString& AName, TDeviceServiceClass AClass) {
    auto it = std::lower_bound(ServiceClassList.begin(), ServiceClassList.end(), AName,
                               [](const auto& e, const MyAnsiString& n) { return ansi::CompareText(e.first, n) < 0; });
    if (it != ServiceClassList.end() && ansi::SameText(it->first, AName))
        throw Exception(Msg("TDeviceManager.RegisterDeviceService: service with name '%s' already registered", AName));
    ServiceClassList.emplace(it, AName, std::move(AClass));
}

const TDeviceServiceClass& TDeviceManager::GetServiceClass(const MyAnsiString& AName) const {
    for (const auto& [name, cls] : ServiceClassList)
        if (ansi::SameText(name, AName))
            return cls;
    throw Exception(Msg("TDeviceManager.GetServiceClass: a service with name '%s' ist not registered", AName));
}

bool TDeviceManager::ServiceClassExists(const MyAnsiString& AName) const {
    return std::any_of(ServiceClassList.begin(), ServiceClassList.end(),
                       [&](const auto& e) { return ansi::SameText(e.first, AName); });
}

int TDeviceManager::IndexOfDevice(const MyAnsiString& AName) const {
    for (size_t i = 0; i < DeviceList.size(); ++i)
        if (ansi::SameText(DeviceList[i].first, AName))
            return static_cast<int>(i);
    return -1;
}

TDevice& TDeviceManager::CreateDevice(const MyAnsiString& AName, const MyAnsiString& AProfile) {
    if (IndexOfDevice(AName) >= 0)
        throw Exception(Msg("TDeviceManager.CreateDevice: device with name '%s' already exists", AName));
    TSLDictionary* profiles = DictEntry(FProfDict, "Profiles");
    if (!profiles)
        throw Exception("TDeviceManager.CreateDevice: no device profiles defined in registry");
    TSLDictionary* profile = DictEntry(profiles, AProfile);
    if (!profile)
        throw Exception(Msg("TDeviceManager.CreateDevice: profile with name '%s' doesn't exist", AProfile));
    auto device = std::make_unique<TDevice>(*this, AName, profile);
    device->FProfileName = AProfile;
    DeviceList.emplace_back(AName, std::move(device));
    return *DeviceList.back().second;
}

void TDeviceManager::DestroyDevice(TDevice& ADevice) {
    auto it = std::find_if(DeviceList.begin(), DeviceList.end(), [&](const auto& d) { return d.second.get() == &ADevice; });
    if (it == DeviceList.end())
        return;
    FDevManProvider->BeginUpdate();
    std::unique_ptr<TDevice> device = std::move(it->second);
    DeviceList.erase(it);
    TModelItem& root = FModelManager->Root();
    if (root.IndexOfChild(device->Model()) >= 0)
        root.RemoveChild(device->Model());
    device.reset();
    UpdateRequest = true;
    FDevManProvider->EndOfUpdate();
}

TDevice& TDeviceManager::GetDevice(const MyAnsiString& ADeviceName) const {
    const int i = IndexOfDevice(ADeviceName);
    if (i < 0)
        throw Exception(Msg("TDeviceManager.GetDevice: device with name '%s' not found", ADeviceName));
    return *DeviceList[static_cast<size_t>(i)].second;
}

bool TDeviceManager::DeviceExists(const MyAnsiString& ADeviceName) const {
    return IndexOfDevice(ADeviceName) >= 0;
}

TDevice& TDeviceManager::GetDeviceAtIndex(int Index) const {
    if (Index < 0 || Index >= GetDeviceCount())
        throw Exception("TDeviceManager.GetDeviceAtIndex: index out of bounds");
    return *DeviceList[static_cast<size_t>(Index)].second;
}

TDeviceService& TDeviceManager::GetService(const MyAnsiString& ADeviceName, const MyAnsiString& AServiceName) const {
    return GetDevice(ADeviceName).GetService(AServiceName);
}

bool TDeviceManager::ServiceExists(const MyAnsiString& ADeviceName, const MyAnsiString& AServiceName) const {
    const int i = IndexOfDevice(ADeviceName);
    return i >= 0 && DeviceList[static_cast<size_t>(i)].second->ServiceExists(AServiceName);
}

bool TDeviceManager::GetDeviceOnlineExists() const {
    return std::any_of(DeviceList.begin(), DeviceList.end(), [](const auto& d) { return d.second->DeviceType() == dtOnline; });
}

void TDeviceManager::SetDeviceCaption(const MyAnsiString& DeviceName, const MyAnsiString& DeviceCaption) {
    FDevManProvider->BeginUpdate();
    try {
        const int index = IndexOfDevice(DeviceName);
        if (index < 0)
            throw Exception(Msg("TDeviceManager.ChangeDeviceName: device with name '%s' not found", DeviceName));
        TDevice& device = *DeviceList[static_cast<size_t>(index)].second;
        MyAnsiString caption = DeviceCaption;
        if (device.DeviceType() == dtOffline)
            for (const auto& [name, other] : DeviceList)
                if (other.get() != &device && other->DeviceType() == dtOffline && other->Caption() == caption)
                    caption += "(1)";
        device.FCaption = caption;
        device.Model().SetCaption(device.GetModelCaption());
    } catch (...) {
        FDevManProvider->EndOfUpdate();
        throw;
    }
    FDevManProvider->EndOfUpdate();
}

void TDeviceManager::ChangeToOffline(TDevice& ADevice) {
    SetDeviceCaption(ADevice.Name(), ADevice.Caption());
}

TSLDictionary* TDeviceManager::LookupProfile(const MyAnsiString& Path) const {
    TSLDictionary* dict = FLookup ? FLookup(Path) : ProgramRegistry().GetDictKey(Path);
    if (!dict)
        throw Exception(Msg("TDeviceManager.LookupProfile: no service profile at '%s'", Path));
    return dict;
}

} // namespace vo
