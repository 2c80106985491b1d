// The parameter service's passes: the client protocol, the work list (one
// node per telegram) and the telegrams by UPID.
#include "comm/OvraClnt.h"
#include "comm/QpCustom.h"
#include "devices/ModulSrv.h"
#include "devices/QsBasic.h"
#include "devices/StatSrv.h"
#include "kernel/CsServices.h"
#include "kernel/Debug.h"
#include "kernel/LanguageMan.h"
#include "kernel/LoginPrompts.h"
#include "kernel/UserPrompt.h"
#include "parameters/ParSrv.h"
#include "parameters/UniMan.h"
#include "platform/Exception.h"

#include <cstdio>
#include <string>

namespace vo {

namespace {

// Device UPIDs from here on hold no value of their own.
constexpr std::int32_t PseudoUPID = 0xFFFF;
constexpr std::uint8_t ResultUnknownUPID = 0xC0;
// The status word's running bit.
constexpr std::int32_t StatusRunning = 0x4000;

} // namespace

// ------------------------------------------------------------------ telegrams

TParameterServiceCollection::~TParameterServiceCollection() = default;

void TParameterServiceCollection::Create(TBasicOvraService& AOvraService, std::uint8_t AProtocolVersion) {
    FSetRequest.reset();
    FGetRequest.reset();
    FReadBlockUPID.reset();
    FWriteBlockUPID.reset();
    const int generation = AProtocolVersion >> 4;
    if (generation < 2 || generation > 4)
        return;
    FSetRequest = std::make_unique<TCustomPattern>(&AOvraService, 0x89);
    FGetRequest = std::make_unique<TCustomPattern>(&AOvraService, 0x88);
    if (generation == 4) {
        FReadBlockUPID = std::make_unique<TCustomPattern>(&AOvraService, 0x15);
        FWriteBlockUPID = std::make_unique<TCustomPattern>(&AOvraService, 0x16);
    }
}

void TParameterService::SendRequest(TCustomPattern* Pattern, const char* Operation, const MyAnsiString& Bytes,
                                    std::function<void(TOvraActor&)> AEvent) {
    if (!Pattern || !Actor)
        throw Exception(MyAnsiString(ClassName()) + "." + Operation + ": the drive has no such telegram");
    FRequestSent = true;
    FRequestPattern = Pattern;
    Actor->Clear();
    Actor->SetOnResponse(std::move(AEvent));
    Pattern->Put(*Actor, Bytes, 0);
    Actor->Execute();
}

void TParameterService::GetRequest(const MyAnsiString& Bytes, std::function<void(TOvraActor&)> AEvent) {
    SendRequest(FParServiceCollection ? FParServiceCollection->FGetRequest.get() : nullptr, "GetRequest", Bytes,
                std::move(AEvent));
}

void TParameterService::SetRequest(const MyAnsiString& Bytes, std::function<void(TOvraActor&)> AEvent) {
    SendRequest(FParServiceCollection ? FParServiceCollection->FSetRequest.get() : nullptr, "SetRequest", Bytes,
                std::move(AEvent));
}

void TParameterService::ReadBlockUPID(const MyAnsiString& Bytes, std::function<void(TOvraActor&)> AEvent) {
    SendRequest(FParServiceCollection ? FParServiceCollection->FReadBlockUPID.get() : nullptr, "ReadBlockUPID", Bytes,
                std::move(AEvent));
}

void TParameterService::WriteBlockUPID(const MyAnsiString& Bytes, std::function<void(TOvraActor&)> AEvent) {
    SendRequest(FParServiceCollection ? FParServiceCollection->FWriteBlockUPID.get() : nullptr, "WriteBlockUPID", Bytes,
                std::move(AEvent));
}

MyAnsiString TParameterService::GetResponse(TOvraActor& AActor) const {
    // The answer is read by the pattern that carried the request.
    if (!FParServiceCollection || !FRequestPattern)
        return {};
    return FRequestPattern->GetResponse(AActor);
}

// ------------------------------------------------------------------ client protocol

void TParameterService::PrepareUpdate(TServiceClient& Client) {
    CheckClient(Client, "PrepareUpdate");
    CheckState(TParameterServiceState::stReady, "PrepareUpdate");
    ParameterWorkList.clear();
    FState = TParameterServiceState::stUpdate;
}

void TParameterService::ExecuteUpdate(TServiceClient& Client) {
    CheckClient(Client, "ExecuteUpdate");
    CheckState(TParameterServiceState::stUpdate, "ExecuteUpdate");
    ParameterWorkIndex = 0;
    FWriteFailures.clear();
    ParameterWorkExecute();
}

void TParameterService::DiscardUpdate(TServiceClient& Client) {
    CheckClient(Client, "DiscardUpdate");
    CheckState(TParameterServiceState::stUpdate, "DiscardUpdate");
    // Discarded nodes are not queued any more.
    ClearMarks(AttrReadQueued);
    ParameterWorkList.clear();
    FState = TParameterServiceState::stReady;
}

void TParameterService::PrepareModify(TServiceClient& Client) {
    CheckClient(Client, "PrepareModify");
    CheckState(TParameterServiceState::stReady, "PrepareModify");
    LogInfo("PrepareModify");
    ParameterWorkList.clear();
    FState = TParameterServiceState::stModify;
}

void TParameterService::ExecuteModify(TServiceClient& Client) {
    CheckClient(Client, "ExecuteModify");
    CheckState(TParameterServiceState::stModify, "ExecuteModify");
    LogInfo("ExecuteModify");
    ParameterWorkIndex = 0;
    FWriteFailures.clear();
    ParameterWorkExecute();
}

void TParameterService::DiscardModify(TServiceClient& Client) {
    CheckClient(Client, "DiscardModify");
    CheckState(TParameterServiceState::stModify, "DiscardModify");
    ClearMarks(AttrWriteQueued);
    ParameterWorkList.clear();
    FState = TParameterServiceState::stReady;
}

void TParameterService::PrepareSave(TServiceClient& Client) {
    CheckClient(Client, "PrepareSave");
    CheckState(TParameterServiceState::stReady, "PrepareSave");
    LogInfo("PrepareSave");
    FState = TParameterServiceState::stSave;
}

void TParameterService::ExecuteSave(TServiceClient& Client) {
    CheckClient(Client, "ExecuteSave");
    CheckState(TParameterServiceState::stSave, "ExecuteSave");
    LogInfo("ExecuteSave");
    ParameterWorkIndex = 0;
    ParameterWorkExecute();
}

void TParameterService::ClearMarks(std::int32_t Mask) {
    for (TParameter* p : ParameterWorkList) p->ClrAttrFlag(Mask);
}

void TParameterService::ContinueCurrentClient() {
    TServiceClient* client = FServiceProvider->CurrentClient();
    if (client && FServiceProvider->Status() == psWaitClient)
        client->Continue();
}

// ------------------------------------------------------------------ login read

void TParameterService::LoadPreloadParameters() {
    LogInfo("LoadPreloadParameters");
    CheckState(TParameterServiceState::stReady, "LoadPreloadParameters");
    FState = TParameterServiceState::stUpdate;
    ForEachParameter([this](TParameter& P, bool&) {
        if (P.GetAttrFlag(AttrReadQueued))
            return;
        P.SetAttrFlag(AttrReadQueued);
        ParameterWorkList.push_back(&P);
    });
    ParameterWorkIndex = 0;
    PreviousTree.clear();
    ActualTree.clear();
    AParameterIndex = 0;
    ANumberOfErrors = 0;
    FWriteFailures.clear();
    LoginInfoWindow().AddString(" ");
    FMemoLine = " Read parameter values";
    LoginInfoWindow().SetLastLine(FMemoLine);
    ParameterWorkExecute();
}

void TParameterService::LoginProgress(TParameter& P) {
    ActualTree = P.GetTree();
    if (ActualTree != PreviousTree) {
        AParameterIndex = 0;
        PreviousTree = ActualTree;
        FMemoLine = "Tree name: " + ActualTree;
        LoginInfoWindow().AddString(FMemoLine);
    } else if (AParameterIndex == 15) {
        AParameterIndex = 0;
        FMemoLine += " .";
        LoginInfoWindow().SetLastLine(FMemoLine);
    } else {
        ++AParameterIndex;
    }
}

// ------------------------------------------------------------------ work step

void TParameterService::ParameterWorkExecute() {
    const TDeviceType type = FOwner->DeviceType();
    if (type == dtOffline || type == dtConnectionLost) {
        ParameterWorkOffline();
        return;
    }
    if (type != dtOnline) {
        // Nothing to read or write on such a device: the pass ends at once.
        ClearMarks(AttrReadQueued | AttrWriteQueued);
        ParameterWorkList.clear();
        ParameterWorkNotify();
        return;
    }
    for (;;) {
        FNeedToStop = false;
        if (FState == TParameterServiceState::stModify && FStatusService &&
            (FStatusService->MainState() & StatusRunning) != 0)
            for (TParameter* p : ParameterWorkList)
                if (p->UPID() < PseudoUPID && !(p->AddrUsage() & AddrLive))
                    FNeedToStop = true;
        if (FNeedToStop) {
            const TModalResult answer = MessageDlg(LangText("StopBeforeDownload"), TMsgDlgType::mtWarning,
                                                   {TMsgDlgBtn::mbYes, TMsgDlgBtn::mbCancel});
            if (answer == mrYes) {
                if (!FStatusClient->GetConnected())
                    FStatusClient->Connect(FStatusService->Provider());
                FStatusService->StopDevice();
                return; // StatusClientUpdate goes on once the drive stopped
            }
            for (TParameter* p : ParameterWorkList)
                if (p->UPID() < PseudoUPID)
                    p->ClrAttrFlag(AttrWriteQueued);
            ParameterWorkList.clear();
            FNeedToStop = false;
            FState = TParameterServiceState::stReady;
            ContinueCurrentClient();
            return;
        }
        if (ParameterWorkList.empty()) {
            FState = TParameterServiceState::stReady;
            ContinueCurrentClient();
            return;
        }
        if (ParameterWorkIndex >= static_cast<std::int32_t>(ParameterWorkList.size())) {
            ClearMarks(FState == TParameterServiceState::stUpdate ? AttrReadQueued : AttrWriteQueued);
            ParameterWorkList.clear();
            UpdateTree([this] { ParameterWorkNotify(); });
            return;
        }
        TParameter& p = *ParameterWorkList[static_cast<std::size_t>(ParameterWorkIndex)];
        if (FState == TParameterServiceState::stSave) {
            FState = TParameterServiceState::stReady;
            ContinueCurrentClient();
            return;
        }
        if (p.UPID() >= PseudoUPID) {
            ++ParameterWorkIndex;
            continue;
        }
        const bool reading = FState == TParameterServiceState::stUpdate;
        const std::uint16_t bits = reading ? (AddrRomRead | AddrRamRead) : (AddrRomWrite | AddrRamWrite);
        if (!(p.AddrUsage() & bits)) {
            // The node sends nothing: passed over like a value-less node.
            ++ParameterWorkIndex;
            continue;
        }
        if (reading && FServiceStatus == dsStarting) {
            LoginProgress(p);
        }
        auto response = [this](TOvraActor& A) { ParameterWorkResponse(A); };
        FRequestSent = false;
        if (reading)
            p.RequestUpdate(*Actor, *FOvraService, response);
        else
            p.RequestModify(*Actor, *FOvraService, response);
        if (FRequestSent)
            return;
        // A node without a telegram of its own (a directory, a child, a text
        // on a drive without text telegrams): no answer will come, the pass
        // goes on with the next node.
        p.ClrAttrFlag(reading ? AttrReadQueued : AttrWriteQueued);
        ++ParameterWorkIndex;
    }
}

void TParameterService::ParameterWorkOffline() {
    for (TParameter* p : ParameterWorkList) {
        if (p->UPID() >= PseudoUPID)
            continue;
        try {
            if (FState == TParameterServiceState::stUpdate) {
                p->SetDefaultValue(UnitManager().GetUnitSystem());
                p->ClrAttrFlag(AttrReadQueued);
                if (p->MasterUPID() == 1000 && p->GetAttrFlag(AttrChanged)) {
                    TValueRec v;
                    p->GetDefaultStr(v, UnitManager().GetUnitSystem(), "SCALED");
                    FOwner->Owner().SetDeviceCaption(FOwner->Name(), v.ValueStr);
                }
            } else if (FState == TParameterServiceState::stModify) {
                if (Actor && FOvraService)
                    p->ProcessModify(*Actor, *FOvraService, 2);
                else
                    p->CopyTempToData();
                p->ClrAttrFlag(AttrWriteQueued);
                if (p->GetAttrFlag(AttrChanged))
                    FFlagChanged = true;
            }
        } catch (const std::exception& e) {
            LogWarning(MyAnsiString(ClassName()) + ": '" + p->Caption() + "': " + e.what());
        }
    }
    ClearMarks(AttrReadQueued | AttrWriteQueued);
    ParameterWorkList.clear();
    FServiceProvider->BeginUpdate();
    FServiceProvider->EndOfUpdate();
    UpdateTree([this] { ParameterWorkNotify(); });
    FState = TParameterServiceState::stReady;
}

void TParameterService::ParameterWorkResponse(TOvraActor& AActor) {
    const std::uint8_t result = AActor.GetCount() > 0 ? (AActor.Reset(), AActor.GetResult()) : 0xFF;
    FLoginFailed = false;
    if (ParameterWorkIndex >= static_cast<std::int32_t>(ParameterWorkList.size()))
        return; // the pass ended meanwhile
    TParameter& p = *ParameterWorkList[static_cast<std::size_t>(ParameterWorkIndex)];
    if (result != 0) {
        if (FServiceStatus == dsStarting) {
            if (result == ResultUnknownUPID) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "%4.4X", static_cast<unsigned>(p.UPID()));
                const TModalResult answer = MessageDlg(MyAnsiString("UPID = ") + buf + "h does not exist!",
                                                       TMsgDlgType::mtWarning, {TMsgDlgBtn::mbAbort, TMsgDlgBtn::mbIgnore});
                if (answer != mrIgnore) {
                    ClearMarks(AttrReadQueued);
                    ParameterWorkList.clear();
                    FState = TParameterServiceState::stReady;
                    SetServiceStatus(dsError);
                    return;
                }
            } else {
                FLoginFailed = true;
            }
        } else if (FLoadingConfiguration) {
            if (FModuleService)
                FModuleService->FImportAborted = true;
            ClearMarks(AttrWriteQueued);
            ParameterWorkNotify();
            return;
        } else if (FState == TParameterServiceState::stModify) {
            FWriteFailures.push_back({&p, result});
        }
    }
    if (FState == TParameterServiceState::stSave) {
        FState = TParameterServiceState::stReady;
        ContinueCurrentClient();
        return;
    }
    AActor.Reset();
    if (FState == TParameterServiceState::stUpdate) {
        p.ProcessUpdate(AActor, *FOvraService);
        if (!FLoginFailed)
            p.ClrAttrFlag(AttrReadQueued);
    } else if (FState == TParameterServiceState::stModify) {
        p.ProcessModify(AActor, *FOvraService, 1);
        p.ClrAttrFlag(AttrWriteQueued);
    }
    if (p.GetAttrFlag(AttrChanged)) {
        FDataChanged = true;
        FFlagChanged = true;
    }
    if (FLoginFailed) {
        if (++ANumberOfErrors > 2) {
            ANumberOfErrors = 0;
            ClearMarks(AttrReadQueued);
            ParameterWorkList.clear();
            FState = TParameterServiceState::stReady;
            SetServiceStatus(dsError);
            return;
        }
    } else {
        ++ParameterWorkIndex;
        ANumberOfErrors = 0;
    }
    if (ParameterWorkIndex >= static_cast<std::int32_t>(ParameterWorkList.size())) {
        ParameterWorkList.clear();
        if (FFlagChanged) {
            UpdateTree([this] {
                ParameterWorkNotify();
                FServiceProvider->BeginUpdate();
                FServiceProvider->EndOfUpdate();
            });
        } else {
            ParameterWorkNotify();
        }
        return;
    }
    ParameterWorkExecute();
}

void TParameterService::ParameterWorkNotify() {
    FState = TParameterServiceState::stReady;
    FServiceProvider->NotifyCurrentClient(this);
}

void TParameterService::StatusClientUpdate() {
    if (!FNeedToStop)
        return;
    if (FStatusService && (FStatusService->MainState() & StatusRunning) != 0)
        return; // not stopped yet
    FNeedToStop = false;
    ParameterWorkExecute();
    if (FStatusClient && FStatusClient->GetConnected() && !FNeedToStop)
        FStatusClient->Disconnect();
}

void TParameterService::UpdateTree(std::function<void()> ANotification) {
    try {
        UpdateVisibility();
    } catch (const std::exception& e) {
        LogWarning(MyAnsiString(ClassName()) + ".UpdateTree: " + e.what());
    }
    ExecuteScripts(std::move(ANotification));
}

} // namespace vo
