#include "shell/MainTask.h"

#include "devices/VelInit.h"
#include "kernel/AnsiFormat.h"
#include "kernel/Debug.h"
#include "kernel/LanguageMan.h"
#include "kernel/LoginPrompts.h"
#include "kernel/MD5Generator.h"
#include "kernel/ModTree.h"
#include "kernel/CsServices.h"
#include "kernel/ShellServices.h"
#include "kernel/UserPrompt.h"
#include "platform/Exception.h"
#include "platform/FileNames.h"
#include "shell/ShellSettings.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Sto.h"

#include <filesystem>

namespace vo {

namespace {

const char* const StateNames[] = {"stStartup",
                                  "stReady",
                                  "stOpenDevice",
                                  "stOpenDeviceOffline",
                                  "stOpenDeviceOfflineDragAndDrop",
                                  "stAutoOpenDevice",
                                  "stWaitDevice",
                                  "stShutDown",
                                  "stOpenDeviceWithPar",
                                  "stCANScanForDevices",
                                  "stSendLoginCmd",
                                  "stCANWaitScanDevice",
                                  "stCANScanDeviceName",
                                  "stCANFreePorts",
                                  "stCANScanLogin",
                                  "stCANFreePortsBeforeLogin",
                                  "stCANScanOpenDevice",
                                  "stCANScanWaitDevice",
                                  "stCreateDeviceOfflineOldRel",
                                  "stCreateDeviceOffline",
                                  "stETHScanForDevices",
                                  "stSendBroadcast",
                                  "stWaitETHScanDevice",
                                  "stETHScanDeviceName",
                                  "stETHScanLogin",
                                  "stBlinking",
                                  "stEndBlinking",
                                  "stETHScanOpenDevice",
                                  "stETHScanWaitDevice",
                                  "stWorkSpaceOpenDevice",
                                  "stWorkSpaceWaitDevice"};

MyAnsiString StrEntry(TSLDictionary* D, const char* Name) {
    if (!D)
        return {};
    TSLObject* o = D->FindObjWithName(Name);
    if (auto* s = dynamic_cast<TSLString*>(o))
        return s->GetStringValue();
    if (auto* n = dynamic_cast<TSLNumber*>(o))
        return n->GetStringValue();
    return {};
}

std::optional<int64_t> IntEntry(TSLDictionary* D, const char* Name) {
    TSLObject* o = D ? D->FindObjWithName(Name) : nullptr;
    if (auto* n = dynamic_cast<TSLNumber*>(o))
        return n->GetLongintValue();
    return std::nullopt;
}

// A file name as typed or dropped (real or stored form) in the stored form.
MyAnsiString StoredFileName(const MyAnsiString& Name) {
    if (Name.empty())
        return Name;
    try {
        return RealPathToStored(StoredPathToRealPath(Name));
    } catch (const std::exception&) {
        return Name;
    }
}

bool StoredFileExists(const MyAnsiString& Name) {
    std::error_code ec;
    return !Name.empty() && std::filesystem::is_regular_file(StoredPathToRealPath(Name), ec);
}

// Frees a created device again unless the opening went on with it.
class TDeviceGuard {
public:
    TDeviceGuard(TDeviceManager& M, TDevice& D) : FM(M), FD(&D) {}
    ~TDeviceGuard() {
        if (FD && FM.DeviceExists(FD->Name()))
            FM.DestroyDevice(*FD);
    }
    void Release() { FD = nullptr; }

private:
    TDeviceManager& FM;
    TDevice* FD;
};

} // namespace

const char* MainStateText(TMainState State) {
    return State <= stWorkSpaceWaitDevice ? StateNames[State] : "Unknown";
}

TMainTask::TMainTask(TMainTaskView& View, TShellSettings& Settings) : FView(View), FSettings(Settings) {
    FTask = TMxTask::CreateMain("MainTask");
    FTask->SetOnExecute([this](TMxTask& Sender) { Execute(Sender); });
    FTask->Start();
}

TMainTask::~TMainTask() {
    FTask.reset();
}

TDeviceManager& TMainTask::Devices() const {
    TDeviceManager* m = DeviceManager();
    if (!m)
        throw Exception("TMainTask: no device manager");
    return *m;
}

TDevice* TMainTask::CurrentDevice() const {
    TDeviceManager* m = DeviceManager();
    if (!m || FCurrentDevice.empty() || !m->DeviceExists(FCurrentDevice))
        return nullptr;
    return &m->GetDevice(FCurrentDevice);
}

MyAnsiString TMainTask::NewDeviceName(const TDeviceManager& Devices) {
    for (int n = 1;; ++n) {
        MyAnsiString name = "BOX" + std::to_string(n);
        if (!Devices.DeviceExists(name))
            return name;
    }
}

void TMainTask::SetState(TMainState Value) {
    FState = Value;
    Signal();
}

void TMainTask::Wait(int64_t Ms) {
    FSignal.SetReady(false);
    FTask->WaitFor(FSignal, Ms);
}

// ------------------------------------------------------------------ requests

void TMainTask::CreateDevice(const MyAnsiString& ProfileName) {
    FView.ResetLoginDialog();
    if (FState != stReady)
        return;
    FDeviceName = NewDeviceName(Devices());
    FProfileName = ProfileName;
    const MyAnsiString p = UpperCaseText(ProfileName);
    if (p == "VELKORONLINE") {
        if (FView.ShowLoginDialog(FDeviceName, {}))
            FState = stOpenDevice;
    } else if (p == "VELKOROFFLINE") {
        FState = stOpenDeviceOffline;
    } else if (p == "VELKORCREATEOFFLINEOLDREL") {
        FState = stCreateDeviceOfflineOldRel;
    } else if (p == "VELKORCREATEOFFLINE") {
        FState = stCreateDeviceOffline;
    } else {
        return;
    }
    Signal();
}

void TMainTask::CreateDeviceDragAndDrop(const MyAnsiString& AFileName) {
    FFileNameDragAndDrop = AFileName;
    if (FState != stReady)
        return;
    FDeviceName = NewDeviceName(Devices());
    if (FView.ShowLoginDialog(FDeviceName, AFileName)) {
        FProfileName = "VELKOROFFLINE";
        FState = stOpenDeviceOfflineDragAndDrop;
        Signal();
    }
}

void TMainTask::CreateDeviceWithPar(const MyAnsiString& AProfileName, const MyAnsiString& APortName) {
    FPortName = APortName;
    FProfileName = AProfileName;
    if (FState != stReady)
        return;
    FDeviceName = NewDeviceName(Devices());
    SetState(stOpenDeviceWithPar);
}

bool TMainTask::OpenWorkSpace(TSLArray* DevArray) {
    if (FState != stReady || !DevArray)
        return false;
    FDevArray = DevArray;
    WorkspaceDevIndex = 0;
    SetState(stWorkSpaceOpenDevice);
    return true;
}

// ------------------------------------------------------------------ steps

void TMainTask::Execute(TMxTask&) {
    switch (FState) {
    case stStartup: StepStartup(); break;
    case stReady: StepReady(); break;
    case stOpenDevice: StepOpenDevice(); break;
    case stOpenDeviceOffline: StepOpenDeviceOffline(false); break;
    case stOpenDeviceOfflineDragAndDrop: StepOpenDeviceOffline(true); break;
    case stAutoOpenDevice: StepAutoOpenDevice(); break;
    case stOpenDeviceWithPar: StepOpenDeviceWithPar(); break;
    case stWaitDevice:
    case stWorkSpaceWaitDevice: StepWaitDevice(); break;
    case stWorkSpaceOpenDevice: StepWorkSpaceOpenDevice(); break;
    default: StepNotAvailable(); break;
    }
}

void TMainTask::StepStartup() {
    FView.InitLoginDialog();
    if (OvraProgramType() == 1) {
        LogInfo("Started as DEVELOP");
        FState = stReady;
        return;
    }
    TSLDictionary* auto_ = FSettings.AutoLogin.Get();
    TSLObject* o = auto_ ? auto_->FindObjWithName("Auto") : nullptr;
    bool autoOpen = false;
    if (auto* b = dynamic_cast<TSLBoolean*>(o))
        autoOpen = b->GetBooleanValue();
    else if (auto* n = dynamic_cast<TSLNumber*>(o))
        autoOpen = n->GetLongintValue() != 0;
    FState = autoOpen ? stAutoOpenDevice : stReady;
}

void TMainTask::StepReady() {
    if (NoForm) {
        const bool running = ScriptsRunning && ScriptsRunning();
        if (ScriptsExpectedToStart == ScriptsStarted && !running) {
            FView.CloseMainForm();
            Wait(MxInfinite);
            return;
        }
    } else if (!WindowCount || WindowCount() == 0) {
        FView.CloseMainForm();
        Wait(MxInfinite);
        return;
    }
    Wait(MxInfinite);
}

void TMainTask::StartDevice(TDevice& Device, TMainState WaitState, bool PostInfo) {
    Device.CreateServices();
    FCurrentDevice = Device.Name();
    FState = WaitState;
    Device.StartUpServices([this](TDevice& D) { DeviceResponse(D); });
    if (PostInfo)
        FView.PostShowLoginInfo();
}

void TMainTask::DeviceResponse(TDevice& Device) {
    if (Device.Name() == FCurrentDevice)
        Signal();
}

void TMainTask::DeviceResponseShutDown(TDevice& Device) {
    // The state is left alone: a chained opening has moved on already.
    TDeviceManager& m = Devices();
    if (m.DeviceExists(Device.Name()) && &m.GetDevice(Device.Name()) == &Device) {
        m.DestroyDevice(Device);
        m.ModelManager().EndOfUpdate();
        m.Provider().EndOfUpdate();
    }
}

void TMainTask::CheckOfflineLogin(const MyAnsiString& File, const MyAnsiString& User, const MyAnsiString& Password) {
    TStorageManager* sm = StorageManager();
    if (!sm)
        throw Exception("TMainTask: no storage manager");
    TRef<TSLStorageObject> obj = sm->GetObject(File, saRead);
    obj->Read();
    auto* root = dynamic_cast<TSLDictionary*>(obj->GetData());
    auto* info = root ? dynamic_cast<TSLDictionary*>(root->FindObjWithName("Info")) : nullptr;
    const MyAnsiString release = StrEntry(info, "FirmwareRelease");
    const int64_t version = IntEntry(info, "Version").value_or(0);
    if (version < 3)
        throw Exception("Login aborted!\r Old configuration format version! This configuration cannot be opened!");
    if (version > 3) {
        if (!release.empty())
            throw Exception("Login aborted!\rThis configuration was set up with the software version: " + release +
                            " and cannot be opened.\rPlease update " +
                            ShellServices().GetProductInfoStr("ProgramName") + " available from " +
                            ShellServices().GetCompanyInfoStr("HomePage") + ".");
        throw Exception("Login aborted!\r Unknown configuration format version! This configuration cannot be opened!");
    }
    const MyAnsiString user = UpperCaseText(User);
    bool ok = false;
    if (user == "GUEST")
        ok = true;
    else if (user == "USER")
        ok = Password == StrEntry(info, "L1PW");
    else if (user == "SERVICE")
        ok = Password == StrEntry(info, "L2PW");
    else if (user == "DEVELOPER")
        ok = CompareMD5(MD5Value(Password), ShellServices().pswDeveloper());
    else
        throw Exception("Unknown login ID!");
    if (!ok)
        throw Exception("Wrong password!");
}

void TMainTask::StepOpenDevice() {
    try {
        ShellServices().SetLoginAbortRequest(false);
        FView.ResetLoginDialog();
        if (!VKC_Name.empty()) {
            FDeviceName = NewDeviceName(Devices());
            if (!FView.ShowLoginDialog(FDeviceName, VKC_Name)) {
                VKC_Name.clear();
                FState = stReady;
                return;
            }
        }
        const TLoginAnswers a = FView.LoginAnswers();
        TDeviceManager& m = Devices();
        if (a.Interface == ifOffline) {
            MyAnsiString file = StoredFileName(VKC_Name);
            if (file.empty()) {
                file = StoredFileName(a.OfflineFile);
                if (!StoredFileExists(file))
                    throw Exception(LangTextFmt("Login_File_Not_Found", {TFmtArg(file)}));
            }
            TDevice& d = m.CreateDevice(FDeviceName, "VelkorOffline");
            TDeviceGuard guard(m, d);
            d.SetStrVar("DefaultCommander", a.DefaultCommander);
            d.SetStrVar("ConfigFile", file);
            d.SetStrVar("UserName", UpperCaseText(a.UserName));
            d.SetStrVar("Password", a.Password);
            d.SetInterfaceType(ifOffline);
            CheckOfflineLogin(file, a.UserName, a.Password);
            VKC_Name.clear();
            guard.Release();
            StartDevice(d, stWaitDevice, true);
            return;
        }
        if (a.Interface == ifCAN) {
            for (int i = 0; i < m.GetDeviceCount(); ++i) {
                TDevice& other = m.GetDeviceAtIndex(i);
                if (other.GetStrVar("PortName") == "CAN" && other.DeviceMACID() == a.MACID) {
                    FState = stReady;
                    MessageDlg("You are already logged in a device with CAN ID = " + std::to_string(a.MACID) + "!",
                               TMsgDlgType::mtWarning, {TMsgDlgBtn::mbOK});
                    return;
                }
            }
        }
        TDevice& d = m.CreateDevice(FDeviceName, "VelkorOnline");
        TDeviceGuard guard(m, d);
        d.SetStrVar("PortName", a.PortName);
        d.SetStrVar("DeviceType", a.DeviceType);
        d.SetStrVar("DefaultCommander", a.DefaultCommander);
        d.SetStrVar("UserName", UpperCaseText(a.UserName));
        d.SetStrVar("Password", a.Password);
        d.SetInterfaceType(a.Interface);
        d.SetDeviceMACID(a.MACID);
        d.SetDeviceIP(a.IPAddress);
        guard.Release();
        StartDevice(d, stWaitDevice, true);
    } catch (const std::exception& E) {
        FState = stReady;
        VKC_Name.clear();
        LogError(E.what());
        ShowErrorMessage(E.what());
    }
}

void TMainTask::StepOpenDeviceOffline(bool DragAndDrop) {
    try {
        MyAnsiString file = StoredFileName(FFileNameDragAndDrop);
        if (!DragAndDrop) {
            TOpenDialogRequest r;
            r.Filter = "Configuration file (*.vkc)|*.vkc";
            r.DefaultExt = "vkc";
            if (!ShellServices().OpenDialog(r)) {
                FState = stReady;
                return;
            }
            file = StoredFileName(r.FileName);
        }
        const TLoginAnswers a = FView.LoginAnswers();
        TDeviceManager& m = Devices();
        TDevice& d = m.CreateDevice(FDeviceName, "VelkorOffline");
        TDeviceGuard guard(m, d);
        d.SetStrVar("DefaultCommander", a.DefaultCommander);
        d.SetStrVar("UserName", "USER");
        d.Model().SetCaption(FDeviceName + " offline");
        d.SetStrVar("ConfigFile", file);
        d.SetInterfaceType(ifOffline);
        guard.Release();
        StartDevice(d, stWaitDevice, true);
    } catch (const std::exception& E) {
        LogError(E.what());
        FState = stReady;
    }
}

void TMainTask::StepAutoOpenDevice() {
    try {
        TDeviceManager& m = Devices();
        TSLDictionary* auto_ = FSettings.AutoLogin.Get();
        TDevice& d = m.CreateDevice("Box1", StrEntry(auto_, "Profile"));
        TDeviceGuard guard(m, d);
        if (auto_ && auto_->FindObjWithName("ComPort"))
            d.SetStrVar("PortName", StrEntry(auto_, "ComPort"));
        d.SetStrVar("UserName", "USER");
        // A drive that asks the user level for a password gets the stored one.
        if (auto_ && auto_->FindObjWithName("Password"))
            d.SetStrVar("Password", StrEntry(auto_, "Password"));
        const MyAnsiString port = d.GetStrVar("PortName");
        d.Model().SetCaption(port.empty() ? MyAnsiString("Box1 offline") : "Box1 on " + port);
        guard.Release();
        StartDevice(d, stWaitDevice, false);
    } catch (const std::exception& E) {
        LogError(E.what());
        FState = stReady;
    }
}

void TMainTask::StepOpenDeviceWithPar() {
    try {
        TDeviceManager& m = Devices();
        TDevice& d = m.CreateDevice(FDeviceName, FProfileName);
        TDeviceGuard guard(m, d);
        d.SetStrVar("PortName", FPortName);
        d.SetStrVar("UserName", "USER");
        guard.Release();
        StartDevice(d, stWaitDevice, false);
    } catch (const std::exception& E) {
        LogError(E.what());
        FState = stReady;
    }
}

void TMainTask::StepWorkSpaceOpenDevice() {
    ShellServices().SetLoginAbortRequest(false);
    try {
        auto* entry = FDevArray ? dynamic_cast<TSLDictionary*>(FDevArray->GetObjAtIndex(WorkspaceDevIndex)) : nullptr;
        if (!entry)
            throw Exception("TMainTask: workspace entry " + std::to_string(WorkspaceDevIndex) + " is no dictionary");
        TDeviceManager& m = Devices();
        TDevice& d = m.CreateDevice(NewDeviceName(m), "VelkorOnline");
        TDeviceGuard guard(m, d);
        const MyAnsiString port = StrEntry(entry, "PortName");
        d.SetStrVar("PortName", port);
        d.SetStrVar("DeviceType", "Online");
        d.SetStrVar("DefaultCommander", "");
        d.SetStrVar("UserName", StrEntry(entry, "UserName"));
        d.SetStrVar("Password", StrEntry(entry, "Password"));
        const MyAnsiString p = UpperCaseText(port);
        if (p == "ETH") {
            d.SetInterfaceType(ifEthernet);
            d.SetDeviceIP(static_cast<int32_t>(IntEntry(entry, "IPAddress").value_or(0)));
        } else if (p == "CAN") {
            d.SetInterfaceType(ifCAN);
            d.SetDeviceMACID(static_cast<int32_t>(IntEntry(entry, "DevMACID").value_or(0)));
        } else {
            d.SetInterfaceType(ifRS232);
        }
        guard.Release();
        StartDevice(d, stWorkSpaceWaitDevice, true);
    } catch (const std::exception& E) {
        FState = stReady;
        ShowErrorMessage(E.what());
    }
}

void TMainTask::StepWaitDevice() {
    const TMainState waitState = FState;
    try {
        TDevice* d = CurrentDevice();
        if (!d) {
            FState = stReady;
            return;
        }
        TDeviceManager& m = Devices();
        const bool moreEntries = waitState == stWorkSpaceWaitDevice && FDevArray &&
            WorkspaceDevIndex + 1 < FDevArray->GetCount();
        if (d->State() == dstStarted) {
            m.ModelManager().BeginUpdate();
            m.Provider().BeginUpdate();
            struct TBrackets {
                TDeviceManager& M;
                ~TBrackets() {
                    M.ModelManager().EndOfUpdate();
                    M.Provider().EndOfUpdate();
                }
            } brackets{m};
            if (d->DeviceType() == dtOffline && LoadOfflineConfiguration &&
                UpperCaseText(d->GetStrVar("ConfigFile")) != "CREATEOFFLINE")
                LoadOfflineConfiguration(*d);
            if (moreEntries) {
                ++WorkspaceDevIndex;
                FState = stWorkSpaceOpenDevice;
            } else {
                FState = stReady;
            }
            m.ModelManager().Root().AddChild(d->Model());
            m.UpdateRequest = true;
            FCurrentDevice.clear();
            LoginInfoWindow().AddString(" ");
            LoginInfoWindow().AddString("Login process successfull completed!");
            FView.EnableLoginInfoClose();
            FView.CloseLoginInfo();
            FView.ShowObjectInspector();
            return;
        }
        if (d->State() == dstError) {
            m.ModelManager().BeginUpdate();
            m.Provider().BeginUpdate();
            FCurrentDevice.clear();
            d->ShutDownServices([this](TDevice& D) { DeviceResponseShutDown(D); });
            LoginInfoWindow().AddString(" ");
            LoginInfoWindow().AddString("An error has occurred during the login process!");
            FView.EnableLoginInfoClose();
            if (moreEntries && !ShellServices().LoginAbortRequest()) {
                ++WorkspaceDevIndex;
                FState = stWorkSpaceOpenDevice;
                FView.CloseLoginInfo();
            } else {
                FState = stReady;
            }
            return;
        }
        Wait(MxInfinite);
    } catch (const std::exception& E) {
        FState = stReady;
        if (waitState == stWaitDevice)
            LogError(E.what());
        else
            ShowErrorMessage(E.what());
    }
}

void TMainTask::StepNotAvailable() {
    LogWarning(MyAnsiString("TMainTask: the state ") + MainStateText(FState) + " is not available in this build");
    FState = stReady;
}

} // namespace vo
