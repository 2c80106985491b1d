#include "devices/StatSrv.h"

#include "comm/OvraClnt.h"
#include "devices/ModulSrv.h"
#include "devices/QsBasic.h"
#include "kernel/AnsiText.h"
#include "kernel/CsServices.h"
#include "kernel/Debug.h"
#include "kernel/LanguageMan.h"
#include "kernel/MxTLib20.h"
#include "kernel/ShellServices.h"
#include "kernel/UserPrompt.h"
#include "kernel/functions.h"
#include "storagelib/CtxIntf.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Bas.h"
#include "storagelib/SL20Sto.h"

#include <array>

namespace vo {

namespace {

using enum TStatusService::TWorkState;

constexpr int32_t UserStatus = 0;
constexpr int32_t UserStart = 1;
constexpr int32_t UserStop = 2;
constexpr int32_t UserReset = 3;
constexpr int32_t UserBlink = 5;
// A status answer after which the drive expects nothing of this answer.
constexpr uint8_t ResultEndOfAnswer = 0xEC;

constexpr int32_t BitRunning = 0x4000;
constexpr int32_t BitStarting = 0x0400;
constexpr int32_t StateNoAnswer = 1;
constexpr int32_t StateOtherDrive = 2;

const std::array<const char*, 6> SetupExtensions = {".H86", ".E86", ".GR2", ".GR3", ".HX2", ".HX3"};

} // namespace

TStatusService::TStatusService(TDevice& AOwner, TSLDictionary* AProfDict)
    : TDeviceService(AOwner, AProfDict),
      FProvider(std::make_unique<TServiceProvider>(this, "Status Service")),
      WorkSignal(std::make_unique<TMxSignal>()) {
    if (TOvraClient* client = OvraClient()) {
        FOvraActor = &client->GetActor();
        FOvraActor->SetName("Status Service Actor");
        FOvraActor->SetOnResponse([this](TOvraActor& Actor) { ActorResponse(Actor); });
    }
    FWorkTask = std::make_unique<TMxTask>("StatusService");
    FWorkTask->SetOnExecute([this](TMxTask& Sender) { Work(Sender); });
    FWorkTask->Start();
}

TStatusService::~TStatusService() {
    FWorkTask.reset();
    if (FOvraActor) {
        FOvraActor->SetOnResponse(nullptr);
        FOvraActor->OvraClient().ReleaseActor(*FOvraActor);
    }
    if (FUpdateOpen)
        FProvider->EndOfUpdate();
}

bool TStatusService::GetInstancePresent(int Index) const {
    return Index >= 0 && Index <= 2 && (FMainState & (0x08 << Index)) != 0;
}

bool TStatusService::GetInstanceRunning(int Index) const {
    return Index >= 0 && Index <= 2 && (FMainState & (0x01 << Index)) != 0;
}

void TStatusService::Signal() {
    if (FWorkState == wsReady)
        WorkSignal->SetReady(true);
}

void TStatusService::StartDevice() {
    FStartRequest = true;
    FStopRequest = FResetRequest = FGoOfflineRequest = FBlinkDeviceRequest = false;
    Signal();
}

void TStatusService::StopDevice() {
    FStopRequest = true;
    FStartRequest = FResetRequest = FGoOfflineRequest = FBlinkDeviceRequest = false;
    Signal();
}

void TStatusService::ResetDevice() {
    FResetRequest = true;
    FStopRequest = FStartRequest = FGoOfflineRequest = FBlinkDeviceRequest = false;
    Signal();
}

void TStatusService::BlinkDevice() {
    FBlinkDeviceRequest = true;
    FResetRequest = FStopRequest = FStartRequest = FGoOfflineRequest = false;
    Signal();
}

void TStatusService::GoOffline() {
    FGoOfflineRequest = true;
    FSendLogout = true;
    FResetRequest = FStopRequest = FStartRequest = false;
    Signal();
}

void TStatusService::SetupDevice(const MyAnsiString& FileName, bool ADebugMode) {
    FFileName = FileName;
    FDebugMode = ADebugMode;
    FSetupRequest = true;
    Signal();
}

// ------------------------------------------------------------------ start and stop

void TStatusService::StartUp(bool& Wait) {
    if (FServiceStatus == dsStopped) {
        FOvraService = Owner().FindService<TBasicOvraService>("OvraService");
        FModuleService = Owner().FindService<TModuleService>("ModuleService");
        if (FOvraService && FModuleService) {
            SetServiceStatus(dsStarting);
        } else {
            LogError("couldn't start status service: a required device service is missing");
            SetServiceStatus(dsError);
        }
        return;
    }
    if (FServiceStatus != dsStarting)
        return;
    FShutDownRequest = false;
    if (FModuleService->ServiceStatus() != dsStarted)
        return;
    if (!FModuleService->IsServiceActive("StatusService", true)) {
        SetServiceStatus(dsDisabled);
        return;
    }
    if (FOvraService->ServiceStatus() != dsStarted)
        return;
    if (FOvraService->DeviceOnline() && FOvraActor) {
        Wait = true;
        FWorkState = wsLogin;
        WorkSignal->SetReady(true);
        return;
    }
    SetServiceStatus(dsStarted);
}

void TStatusService::ShutDown(bool& Wait) {
    if (FWorkState != wsReady) {
        Wait = true;
        FShutDownRequest = true;
        return;
    }
    FWorkState = wsReady;
    SetServiceStatus(dsStopped);
}

// ------------------------------------------------------------------ the work task

void TStatusService::Work(TMxTask& Sender) {
    if (FServiceStatus != dsStarted && FWorkState != wsLogin) {
        WorkSignal->SetReady(false);
        Sender.WaitFor(*WorkSignal, StatusServiceIdleWait.Milliseconds());
        return;
    }
    switch (FWorkState) {
    case wsLogin:
        FOvraActor->Clear();
        FOvraService->GetStatus()->Put(*FOvraActor, 0, UserStatus);
        WorkSignal->SetReady(false);
        Sender.WaitFor(*WorkSignal, MxInfinite);
        FOvraActor->Execute();
        return;
    case wsGoingOffline:
        FWorkState = wsReady;
        WorkSignal->SetReady(false);
        Sender.WaitFor(*WorkSignal, StatusServicePollInterval.Milliseconds());
        return;
    case wsWait:
        // The answer (or the setup script) is still out: it wakes the task.
        WorkSignal->SetReady(false);
        FAwaitingAnswer = true;
        Sender.WaitFor(*WorkSignal, MxInfinite);
        return;
    case wsReady: break;
    }
    FAwaitingAnswer = false;
    if (FShutDownRequest) {
        // Also for a drive no longer online (gone offline meanwhile): the
        // device waits for this service to stop.
        FWorkState = wsReady;
        SetServiceStatus(dsStopped);
        return;
    }
    if (FOvraService && FOvraService->DeviceOnline()) {
        if (!WorkReady())
            return;
    }
    WorkSignal->SetReady(false);
    Sender.WaitFor(*WorkSignal, StatusServicePollInterval.Milliseconds());
}

bool TStatusService::WorkReady() {
    FOvraActor->Clear();
    TBasicOvraService& ovra = *FOvraService;
    if (FStartRequest) {
        if (!GetInstancePresent(0) && !GetInstancePresent(1) && !GetInstancePresent(2) &&
            FModuleService->GetStrVar("ProgramStartAddr").empty()) {
            ShowMessage(LangText("StatusSrv_No_Firmware"));
            LogWarning("There is not executable firmware on the drive!");
            FStartRequest = false;
            return false;
        }
        ovra.StartProgram()->Put(*FOvraActor, UserStart);
        if (!GetRunning())
            SetMainState(FMainState | BitStarting);
    } else if (FStopRequest) {
        ovra.StopProgram()->Put(*FOvraActor, UserStop);
    } else if (FResetRequest) {
        ovra.ResetDevice()->Put(*FOvraActor, UserReset);
    } else if (FSetupRequest) {
        Setup();
    } else if (FBlinkDeviceRequest) {
        ovra.BlinkDevice()->Put(*FOvraActor, MyAnsiString("\xFF\xFF\x01", 3), UserBlink);
    } else if (FGoOfflineRequest) {
        FGoOfflineRequest = false;
        FWorkState = wsGoingOffline;
        FProvider->BeginUpdate();
        FUpdateOpen = true;
        WorkSignal->SetReady(false);
        FWorkTask->WaitFor(*WorkSignal, MxInfinite);
        try {
            Owner().ChangeToOffline([this](TDevice&) { DeviceResponse(); }, FSendLogout);
        } catch (...) {
            FWorkState = wsReady;
            FUpdateOpen = false;
            FProvider->EndOfUpdate();
            WorkSignal->SetReady(true);
            throw;
        }
        return false;
    } else {
        ovra.GetStatus()->Put(*FOvraActor, 0, UserStatus);
    }
    FWorkState = wsWait;
    if (!FSetupRequest)
        FOvraActor->Execute();
    return true;
}

// ------------------------------------------------------------------ answers

void TStatusService::ActorResponse(TOvraActor& Actor) {
    if (FWorkState == wsLogin) {
        FWorkState = wsReady;
        Actor.Reset();
        const int32_t word = Actor.GetResult() == 0 ? FOvraService->GetStatus()->GetStatus(Actor) : StateNoAnswer;
        SetMainState(word);
        SetServiceStatus(dsStarted);
        WorkSignal->SetReady(true);
        return;
    }
    if (FWorkState != wsWait)
        return;
    Actor.Reset();
    for (int i = 0; i < Actor.Count(); ++i, Actor.Next()) {
        bool stop = false;
        switch (Actor.GetUser()) {
        case UserStatus: StatusAnswer(Actor, stop); break;
        case UserStart: FStartRequest = false; break;
        case UserStop:
            FStopRequest = false;
            SetMainState(FMainState & ~BitRunning);
            break;
        case UserReset:
            FResetRequest = false;
            SetMainState(FMainState & ~BitRunning);
            break;
        case UserBlink: FBlinkDeviceRequest = false; break;
        default: break;
        }
        if (stop)
            break;
    }
    FWorkState = wsReady;
    // A task that waits for this answer (and not for its poll interval) goes on.
    if (FAwaitingAnswer)
        WorkSignal->SetReady(true);
}

void TStatusService::StatusAnswer(TOvraActor& Actor, bool& Stop) {
    const uint8_t result = Actor.GetResult();
    if (result == ResultEndOfAnswer) {
        Stop = true;
        return;
    }
    if (result != 0) {
        SetMainState(StateNoAnswer);
        if (Owner().DeviceType() == dtOnline && Owner().State() == dstStarted)
            Owner().ChangeToConnectionLost(nullptr);
        return;
    }
    const TGetStatusData d = FOvraService->GetStatus()->Get(Actor);
    ++FStatusReadCount;
    if (!FDeviceInfoValid) {
        FSerNbrLow = d.SerNbrLow;
        FSerNbrHigh = d.SerNbrHigh;
        FPartNbr = d.PartNbr;
        FDeviceInfoValid = true;
    } else if (d.SerNbrLow != FSerNbrLow || d.SerNbrHigh != FSerNbrHigh || d.PartNbr != FPartNbr) {
        DeviceChanged(d.SerNbrLow, d.SerNbrHigh, d.PartNbr);
    }
    FCommErrorCount = 0;
    ++FStatusAnswers;
    if (Owner().DeviceType() == dtConnectionLost)
        Owner().ChangeToConnectionRecovered(nullptr);
    SetMainState(d.Status);
}

void TStatusService::DeviceChanged(uint16_t SerLow, uint16_t SerHigh, uint16_t Part) {
    LogInfo(ansi::Fmt("%u %u %u", unsigned(SerLow), unsigned(SerHigh), unsigned(Part)));
    SetMainState(StateOtherDrive);
    MyAnsiString prefix;
    switch (Owner().InterfaceType()) {
    case ifCAN:
        prefix = ansi::Fmt("ID %d on ", Owner().DeviceMACID()) + Owner().GetStrVar("PortName") + ": ";
        break;
    case ifEthernet: prefix = "IP Address: " + IntToIPStr(Owner().DeviceIP()) + ": "; break;
    default: prefix = Owner().GetStrVar("PortName") + ": "; break;
    }
    const TConnectionLostAnswer answer =
        ShellServices().ShowConnectionLost(prefix + "Device has changed! Please reconnect the original device.");
    if (answer != TConnectionLostAnswer::Retry) {
        FGoOfflineRequest = true;
        FSendLogout = false;
    }
}

void TStatusService::DeviceResponse() {
    SetMainState(0);
    FWorkState = wsReady;
    if (FUpdateOpen) {
        FUpdateOpen = false;
        FProvider->EndOfUpdate();
    }
    WorkSignal->SetReady(true);
}

// ------------------------------------------------------------------ setup

void TStatusService::Setup() {
    const size_t dot = FFileName.rfind('.');
    const MyAnsiString ext = UpperCaseText(dot == MyAnsiString::npos ? MyAnsiString() : FFileName.substr(dot));
    bool known = false;
    for (const char* e : SetupExtensions)
        known = known || ext == e;
    if (!known) {
        // Refused once: the request is dropped, the polling goes on.
        FSetupRequest = false;
        throw Exception(MyAnsiString(ClassName()) + ".Setup: unknown file extension " + ext);
    }
    TStorageManager* manager = StorageManager();
    if (!manager) {
        FSetupRequest = false;
        throw Exception(MyAnsiString(ClassName()) + ".Setup: no storage manager");
    }
    try {
        std::unique_ptr<TScriptTaskInterface> task = manager->CreateScriptTask();
        task->SetDebug(FDebugMode);
        // The script may outlive the service: it answers only a living one.
        std::weak_ptr<bool> alive = FAlive;
        task->OnResponse = [this, alive](TScriptTaskInterface&) {
            if (!alive.expired())
                ScriptTaskResponse();
        };
        task->LoadScript("PackInst\\Load.sct");
        auto* globals = dynamic_cast<TSLDictionary*>(task->GetContext()->FDictStackInterface->GetObjAtIndex(0));
        if (globals && !globals->GetNameExists("DeviceName"))
            globals->SetObjWithName("DeviceName", MakeRef<TSLString>(Owner().Name()).Get());
        task->PushParameter(MakeRef<TSLString>(FFileName).Get());
        task->SetAutoFree(true);
        task->Start();
        ReleaseToAutoFree(std::move(task));
    } catch (...) {
        FSetupRequest = false;
        throw;
    }
}

void TStatusService::ScriptTaskResponse() {
    FSetupRequest = false;
    FWorkState = wsReady;
    WorkSignal->SetReady(true);
}

// ------------------------------------------------------------------ state and image

void TStatusService::SetMainState(int32_t Value) {
    if (Value == FMainState)
        return;
    FProvider->BeginUpdate();
    FMainState = Value;
    UpdateImage();
    FProvider->EndOfUpdate();
}

void TStatusService::UpdateImage() {
    int image;
    if (FMainState == StateNoAnswer || FMainState == StateOtherDrive || Owner().DeviceType() == dtConnectionLost)
        image = ImageNoConnection;
    else if (!GetOnline())
        image = ImageOffline;
    else if (GetControllerStarting())
        image = ImageStarting;
    else if (GetRunning() && GetControllerError())
        image = ImageRunningWithError;
    else if (GetRunning())
        image = ImageRunning;
    else
        image = ImageStopped;
    TModelItem& node = Owner().Model();
    if (node.ImageIndex() != image)
        node.SetImageIndex(image);
}

} // namespace vo
