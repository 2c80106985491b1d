#include "parameters/ParSrv.h"

#include "comm/OvraClnt.h"
#include "comm/QpCustom.h"
#include "devices/ModulSrv.h"
#include "devices/QsBasic.h"
#include "devices/StatSrv.h"
#include "kernel/CsServices.h"
#include "kernel/Debug.h"
#include "kernel/LoginPrompts.h"
#include "kernel/ModTree.h"
#include "kernel/PropList.h"
#include "kernel/UserPrompt.h"
#include "parameters/ParMan.h"
#include "parameters/PtClass.h"
#include "parameters/PtDir.h"
#include "parameters/PtGen.h"
#include "parameters/PtRoot.h"
#include "parameters/UniSrv.h"
#include "parameters/VisCtrl.h"
#include "platform/Exception.h"
#include "storagelib/CtxIntf.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Rec.h"
#include "storagelib/SL20Sto.h"

#include <exception>
#include <string>

namespace vo {

namespace {

// The maximum number of rounds of the visibility calculation.
constexpr int MaxVisibilityRounds = 20;

} // namespace

TParameterService::TParameterService(TDevice& AOwner, TSLDictionary* AProfDict)
    : TDeviceService(AOwner, AProfDict),
      FServiceProvider(std::make_unique<TServiceProvider>(this, "Parameter Service")),
      FVisibilityController(std::make_unique<TVisibilityController>()) {
    FTreeRoot = std::make_unique<TRootDirParameter>(*this);
    TModelItem& model = FTreeRoot->Model();
    MyAnsiString caption;
    bool visible = false;
    if (AProfDict) {
        if (AProfDict->NameExists("Caption"))
            caption = AProfDict->GetStrWithName("Caption");
        if (AProfDict->NameExists("Visible"))
            visible = AProfDict->GetBoolWithName("Visible");
    }
    model.SetCaption(caption);
    model.SetVisible(visible);
    AOwner.Model().AddChild(model);

    FServiceProvider->FOnUpdateDone = [this](TObject*) {
        LogInfo("ProviderUpdateDone");
        FTreeChanged = FFlagChanged = FDataChanged = false;
    };
    FServiceProvider->FOnExecuteJob = [](TServiceJob& Job, bool&) {
        if (Job.FInfoTag != 0)
            LogWarning("undefined job info tag in TParameterService.ProviderExecuteJob");
    };
    FInternalClient = std::make_unique<TServiceClient>();
    FInternalClient->FOnExecute = [this](TServiceClient& Client) { InternalClientExecute(Client); };
    FInternalClient->FOnNotify = [this](TObject*) { InternalClientNotify(); };
    FInternalClient->Connect(*FServiceProvider);

    if (TOvraClient* client = OvraClient()) {
        Actor = &client->GetActor();
        Actor->SetName("Parameter Service Actor");
    }
    if (TStorageManager* storage = StorageManager()) {
        try {
            FScriptTask = storage->CreateScriptTask();
            FScriptTask->SetContext(storage->CreateContext(false));
            FScriptTask->SetAutoFree(false);
            std::weak_ptr<bool> alive = FAlive;
            FScriptTask->OnResponse = [this, alive](TScriptTaskInterface&) {
                if (!alive.expired())
                    ScriptTaskFinished();
            };
        } catch (const std::exception& e) {
            // Without script tasks the queue is skipped (logged when it runs).
            FScriptTask.reset();
            LogWarning(MyAnsiString("TParameterService: no script task: ") + e.what());
        }
    }
}

TParameterService::~TParameterService() {
    FAlive.reset();
    if (FScriptTask)
        FScriptTask->OnResponse = nullptr;
    if (ScriptTask)
        ScriptTask->OnResponse = nullptr;
    if (Actor) {
        Actor->SetOnResponse(nullptr);
        Actor->OvraClient().ReleaseActor(*Actor);
        Actor = nullptr;
    }
    FStatusClient.reset();
    FInternalClient.reset();
    FDestroying = true;
    FTreeRoot.reset();
    FParameterList.clear();
    FDevParameterList.clear();
    FClassList.clear();
    ParameterWorkList.clear();
}

void TParameterService::Initialize() {
    FOnLine = FOwner->DeviceType() == dtOnline;
}

void TParameterService::StartUp(bool& Wait) {
    Wait = false;
    if (FServiceStatus == dsStopped) {
        FOvraService = FOwner->FindService<TBasicOvraService>("OvraService");
        FModuleService = FOwner->FindService<TModuleService>("ModuleService");
        FUnitService = FOwner->FindService<TUnitService>("UnitService");
        FStatusService = FOwner->FindService<TStatusService>("StatusService");
        if (!FOvraService || !FModuleService || !FUnitService || !FStatusService) {
            LogError("couldn't start parameter service: a required service is missing");
            SetServiceStatus(dsError);
            return;
        }
        if (FOnLine) {
            FParServiceCollection = std::make_unique<TParameterServiceCollection>();
            FRequestPattern = nullptr;
            FParServiceCollection->Create(*FOvraService, FOvraService->ProtocolVersion());
            if (!FParServiceCollection->FGetRequest) {
                char buf[8];
                std::snprintf(buf, sizeof buf, "%2.2X", FOvraService->ProtocolVersion());
                LogError(MyAnsiString("couldn't start parameter service: the drive's protocol version ") + buf +
                         "h has no parameter telegrams");
                SetServiceStatus(dsError);
                return;
            }
        }
        SetServiceStatus(dsStarting);
    }
    if (FServiceStatus != dsStarting)
        return;
    if (FOvraService->ServiceStatus() != dsStarted || FModuleService->ServiceStatus() != dsStarted ||
        FUnitService->ServiceStatus() != dsStarted || FStatusService->ServiceStatus() != dsStarted)
        return;
    if (SetServiceStatusRequest) {
        Wait = true; // the internal client is at work
        return;
    }
    if (!FStatusClient) {
        FStatusClient = std::make_unique<TServiceClient>();
        FStatusClient->FOnUpdate = [this](TServiceClient&) { StatusClientUpdate(); };
    }
    FInternalClientState = TInternalClientState::icsStart;
    FInternalClient->Request();
    Wait = true;
    SetServiceStatusRequest = true;
}

void TParameterService::InternalClientNotify() {
    if (FServiceProvider->CurrentClient() == FInternalClient.get() && FServiceProvider->Status() == psWaitClient)
        FInternalClient->Continue();
}

void TParameterService::InternalClientExecute(TServiceClient& Client) {
    switch (FInternalClientState) {
    case TInternalClientState::icsStart: {
        FInternalClientState = TInternalClientState::icsNodes;
        // The init script: the script objects of this device's services.
        const MyAnsiString name = FOwner->Name();
        const MyAnsiString text = "[B  /DeviceName '" + name + "' def" + "  /ParSrv Create:ParameterService def" +
            "  DeviceName ParSrv.Connect" + "  /UniSrv Create:UnitService def" + "  DeviceName UniSrv.Connect" + "]";
        if (TStorageManager* storage = StorageManager()) {
            try {
                TRef<TSLObject> block = storage->DecodeStringToObject(text);
                if (auto* b = dynamic_cast<TSLBlock*>(block.Get()))
                    QueueScript(b);
            } catch (const std::exception& e) {
                LogWarning(MyAnsiString("TParameterService: init script: ") + e.what());
            }
        }
        Client.Wait(0x7FFFFFFF);
        ExecuteScripts([this] { InternalClientNotify(); });
        break;
    }
    case TInternalClientState::icsNodes:
        FInternalClientState = TInternalClientState::icsTrees;
        Client.Wait(0x7FFFFFFF);
        RebuildParameterTree([this] { InternalClientNotify(); });
        break;
    case TInternalClientState::icsTrees:
        FInternalClientState = TInternalClientState::icsPreload;
        Client.Wait(0x7FFFFFFF);
        try {
            LoadPreloadParameters();
        } catch (...) {
            SetServiceStatus(dsError);
            throw;
        }
        break;
    case TInternalClientState::icsPreload:
        FInternalClientState = TInternalClientState::icsIdle;
        if (SetServiceStatusRequest) {
            if (FServiceStatus == dsStarting) {
                // A GUEST sees the tree only when the drive's switch allows it.
                if (FOwner->GetUserPermission() == 1)
                    if (auto* guestView = dynamic_cast<TGenericBoolParameter*>(FindParameter(3274)))
                        FTreeRoot->Model().SetVisible(guestView->GetValid() && guestView->GetBoolValue());
                SetServiceStatus(dsStarted);
            }
            SetServiceStatusRequest = false;
        }
        break;
    case TInternalClientState::icsIdle:
        Client.RequestUpdate();
        Client.Release();
        break;
    }
}

void TParameterService::ShutDown(bool& Wait) {
    Wait = false;
    if (FServiceStatus == dsError || FServiceStatus == dsStarting) {
        // A failed or unfinished start: the internal client gives up its turn.
        if (FInternalClient->RequestPending())
            FInternalClient->Release();
        FInternalClientState = TInternalClientState::icsIdle;
        SetServiceStatusRequest = false;
        SetServiceStatus(dsStopped);
        return;
    }
    if (FServiceStatus != dsStarted)
        return;
    if (FOnLine)
        FOvraService = nullptr;
    SetServiceStatus(dsStopped);
    TModelItem& model = FTreeRoot->Model();
    if (model.Parent())
        model.Parent()->RemoveChild(model);
}

void TParameterService::Kill() {}

// ------------------------------------------------------------------ lists

void TParameterService::AddToParameterList(const MyAnsiString& Key, TParameter& P) {
    FParameterIndex.try_emplace(Key, FParameterList.size());
    FParameterList.push_back({Key, &P});
}

void TParameterService::AddToDevParameterList(const MyAnsiString& Key, TParameter& P) {
    FDevParameterIndex.try_emplace(Key, FDevParameterList.size());
    FDevParameterList.push_back({Key, &P});
}

namespace {

// Removes P's entries and renews the index of first entries when any went.
void Forget(std::vector<TParameterService::TListEntry>& List, std::unordered_map<MyAnsiString, std::size_t>& Index,
            const TParameter& P) {
    bool removed = false;
    for (std::size_t i = List.size(); i-- > 0;)
        if (List[i].Node == &P) {
            List.erase(List.begin() + static_cast<std::ptrdiff_t>(i));
            removed = true;
        }
    if (!removed)
        return;
    Index.clear();
    for (std::size_t i = 0; i < List.size(); ++i) Index.try_emplace(List[i].Key, i);
}

} // namespace

void TParameterService::ForgetParameter(const TParameter& P) {
    Forget(FParameterList, FParameterIndex, P);
    Forget(FDevParameterList, FDevParameterIndex, P);
    std::erase(ParameterWorkList, &P);
    std::erase(FClassList, &P);
    if (FSearchedParameter == &P)
        FSearchedParameter = nullptr;
}

const TParameterService::TListEntry& TParameterService::GetParameterEntry(int Index) const {
    return FParameterList.at(static_cast<std::size_t>(Index));
}

const TParameterService::TListEntry& TParameterService::GetDevParameterEntry(int Index) const {
    return FDevParameterList.at(static_cast<std::size_t>(Index));
}

TParameter* TParameterService::FindParameterWithKey(const MyAnsiString& Key) const {
    auto it = FParameterIndex.find(Key);
    return it == FParameterIndex.end() ? nullptr : FParameterList[it->second].Node;
}

TParameter* TParameterService::FindParameter(std::int32_t AMasterUPID) const {
    return FindParameterWithKey(std::to_string(AMasterUPID));
}

namespace {

// A parameter as a configuration file's header reads it, looked up again at
// every read so that a rebuilt tree is never read through a stale node.
class TConfigParameterView : public TConfigParameter {
public:
    TConfigParameterView(const TParameterService& AService, std::int32_t AUPID) : FService(AService), FUPID(AUPID) {}
    MyAnsiString GetStrValue() override { return Node().GetStrValue(); }
    int64_t GetIntValue() override { return Node().GetIntValue(); }

private:
    const TParameter& Node() const {
        const TParameter* p = FService.FindParameter(FUPID);
        if (!p)
            throw Exception("parameter " + std::to_string(FUPID) + " does not exist");
        return *p;
    }
    const TParameterService& FService;
    std::int32_t FUPID;
};

} // namespace

TConfigParameter* TParameterService::FindConfigParameter(std::int32_t UPID) {
    if (!FindParameter(UPID))
        return nullptr;
    std::unique_ptr<TConfigParameter>& view = FConfigParameters[UPID];
    if (!view)
        view = std::make_unique<TConfigParameterView>(*this, UPID);
    return view.get();
}

TParameter* TParameterService::FindParameterWithDeviceUPID(std::int32_t AUPID) const {
    auto it = FDevParameterIndex.find(std::to_string(AUPID));
    return it == FDevParameterIndex.end() ? nullptr : FDevParameterList[it->second].Node;
}

void TParameterService::ForEachParameter(const TParameterCallBack& CallBack) {
    FTreeRoot->ForEach(CallBack, false);
}

void TParameterService::IndexParameters() {
    FClassList.clear();
    for (std::size_t i = 0; i < FParameterList.size(); ++i) {
        TParameter* p = FParameterList[i].Node;
        p->SetIndex(static_cast<std::int32_t>(i));
        auto* dir = dynamic_cast<TDirectoryParameter*>(p);
        if (dir && dir->Level() == 1)
            FClassList.push_back(dir);
    }
}

TDirectoryParameter& TParameterService::GetClassRoot(int AIndex) const {
    if (AIndex < 0 || AIndex >= GetClassCount())
        throw Exception(MyAnsiString(ClassName()) + ".GetClassRoot: index out of bounds");
    return *FClassList[static_cast<std::size_t>(AIndex)];
}

TDirectoryParameter* TParameterService::FindClassRoot(const MyAnsiString& AName) const {
    for (TDirectoryParameter* d : FClassList)
        if (d->Caption() == AName)
            return d;
    return nullptr;
}

MyAnsiString TParameterService::GetTreeName(int Index) const {
    if (Index < 0 || Index >= GetTreeCount())
        return {};
    return FTreeList[static_cast<std::size_t>(Index)];
}

TUnitService* TParameterService::UnitService() const {
    if (!FUnitService)
        FUnitService = FOwner->FindService<TUnitService>("UnitService");
    return FUnitService;
}

TModelManager& TParameterService::ModelManager() const {
    return FOwner->Owner().ModelManager();
}

// ------------------------------------------------------------------ visibility

std::uint8_t TParameterService::UserMask() const {
    switch (FOwner->GetUserPermission()) {
    case 3: return UserMaskUser;
    case 7: return UserMaskService;
    case 15: return UserMaskDeveloper;
    default: return UserMaskGuest;
    }
}

void TParameterService::SetParameterVisibility(TParameter& P) {
    P.SetAttrFlag(AttrVisible);
    if (P.UseVFlag() && !P.UseVFlag()->Value())
        P.ClrAttrFlag(AttrVisible);
}

void TParameterService::SetVisibilityFlags(TParameter& P) {
    if (auto* b = dynamic_cast<TGenericBoolParameter*>(&P))
        b->UpdateSetVFlags();
}

namespace {

void UpdateModelTree(TParameter& Dir, std::uint8_t Mask) {
    for (TParameter* p = Dir.Child(); p; p = p->Next()) {
        auto* dir = dynamic_cast<TGenericDirParameter*>(p);
        if (!dir)
            continue;
        dir->ChangePermission();
        dir->Model().SetVisible((dir->Permission() & Mask) != 0);
        UpdateModelTree(*dir, Mask);
    }
}

} // namespace

void TParameterService::UpdateVisibility() {
    TVisibilityController& flags = *FVisibilityController;
    flags.PrepareCalculation();
    const std::uint8_t mask = UserMask();
    int round = 0;
    do {
        flags.CreateSnapshot();
        if (++round > MaxVisibilityRounds)
            throw Exception("Visibility update needs to many recursions!");
        ForEachParameter([this](TParameter& P, bool&) { SetParameterVisibility(P); });
        ForEachParameter([this](TParameter& P, bool&) { SetVisibilityFlags(P); });
        flags.ExecuteCalculation();
    } while (!flags.CompareSnapshot());

    TModelManager& models = ModelManager();
    models.BeginUpdate();
    try {
        TModelItem& root = FTreeRoot->Model();
        if (FOwner->GetUserPermission() != 1) {
            root.Show();
        } else if (TParameter* guestView = FindParameter(3274)) {
            // An unread switch grants nothing.
            root.SetVisible(guestView->GetValid() && guestView->GetBoolValue());
        }
        UpdateModelTree(*FTreeRoot, mask);
    } catch (...) {
        models.EndOfUpdate();
        throw;
    }
    models.EndOfUpdate();
}

// ------------------------------------------------------------------ queueing

void TParameterService::CheckClient(TServiceClient& Client, const char* Operation) const {
    if (FServiceProvider->CurrentClient() != &Client)
        throw Exception(MyAnsiString(ClassName()) + "." + Operation + ": caller isn't the current client");
}

void TParameterService::CheckState(TParameterServiceState Required, const char* Operation) const {
    if (FState != Required)
        throw Exception(MyAnsiString(ClassName()) + "." + Operation + ": not allowed in current state");
}

void TParameterService::ParameterUpdate(TParameter& P, TServiceClient& Client) {
    CheckClient(Client, "ParameterUpdate");
    CheckState(TParameterServiceState::stUpdate, "ParameterUpdate");
    if (P.GetValid() || P.GetAttrFlag(AttrReadQueued))
        return;
    P.SetAttrFlag(AttrReadQueued);
    ParameterWorkList.push_back(&P);
}

void TParameterService::ParameterModify(TParameter& P, TServiceClient& Client) {
    CheckClient(Client, "ParameterModify");
    CheckState(TParameterServiceState::stModify, "ParameterModify");
    if (P.GetAttrFlag(AttrWriteQueued))
        return;
    P.SetAttrFlag(AttrWriteQueued);
    ParameterWorkList.push_back(&P);
}

void TParameterService::ParameterInvalidate(TParameter& P, TServiceClient& Client) {
    CheckClient(Client, "ParameterInvalidate");
    P.ClrAttrFlag(AttrValid);
}

} // namespace vo

namespace vo {

// ------------------------------------------------------------------ tree building

void TParameterService::RebuildParameterTree(std::function<void()> ANotification) {
    TModelManager& models = ModelManager();
    models.BeginUpdate();
    try {
        if (FModuleService)
            for (int i = 0; i < FModuleService->GetModuleCount(); ++i) LoadTree(FModuleService->GetModule(i));
        FTreeChanged = true;
        const bool online = FOnLine;
        ForEachParameter([online](TParameter& P, bool&) { P.Initialize(online); });
        ExecuteScripts(std::move(ANotification));
    } catch (...) {
        models.EndOfUpdate();
        throw;
    }
    models.EndOfUpdate();
}

void TParameterService::LoadTree(TModuleItem& AModule) {
    AddTree(AModule.FName);
    TSLDictionary* data = AModule.GetData();
    if (!data)
        return;
    try {
        if (TUnitService* units = UnitService())
            units->Init(*data);
        FVisibilityController->LoadFlags(*data);
        LoadParameters(*data);
    } catch (const std::exception& e) {
        ShowErrorMessage(e.what());
    }
    IndexParameters();
}

void TParameterService::LoadParameters(const TSLDictionary& AData) {
    if (!AData.NameExists("ParameterArray"))
        return;
    auto* records = dynamic_cast<TSLArray*>(AData.GetObjWithName("ParameterArray"));
    if (!records)
        throw EInvalidCast();
    TParameterManager& classes = ParameterManager();
    TParameter* at = FTreeRoot.get();
    for (int i = 0; i < records->GetCount(); ++i) {
        auto* rec = dynamic_cast<TSLRecord*>(records->GetObjAtIndex(i));
        if (!rec)
            throw EInvalidCast();
        const TParameterClass& cls = classes.GetParameterClass(rec->GetTypeName());
        // The level is checked before the node exists: a node that cannot be
        // placed never enters the UPID lists.
        const std::int64_t level = rec->GetIntWithName("Level");
        if (level <= 0 || level > 255 || level >= at->Level() + 2)
            throw Exception(MyAnsiString(ClassName()) + ".LoadTree: can't insert parameter '" +
                            rec->GetStrWithName("Caption") + "' at level " + std::to_string(level));
        std::unique_ptr<TParameter> node = cls.Create(*this, rec);
        while (at->Level() >= level && at->Parent()) at = at->Parent();
        at = &at->AddChild(std::move(node));
    }
}

// ------------------------------------------------------------------ script queue

void TParameterService::QueueScript(TSLBlock* ABlock) {
    FScriptQueue.emplace_back(ABlock);
}

void TParameterService::ExecuteScripts(std::function<void()> ANotification) {
    FScriptExecutedNotification = std::move(ANotification);
    FScriptExecutionIndex = 0;
    ExecuteNextScript();
}

void TParameterService::ExecuteNextScript() {
    while (FScriptExecutionIndex < FScriptQueue.size()) {
        TSLBlock* block = FScriptQueue[FScriptExecutionIndex++].Get();
        if (!FScriptTask) {
            LogWarning("TParameterService: no script task, a queued script is skipped");
            continue;
        }
        try {
            FScriptTask->SetScript(block);
            FScriptTask->Start();
            return; // ScriptTaskFinished goes on
        } catch (const std::exception& e) {
            LogWarning(MyAnsiString("TParameterService: queued script: ") + e.what());
        }
    }
    FScriptQueue.clear();
    FScriptExecutionIndex = 0;
    if (auto notification = std::exchange(FScriptExecutedNotification, nullptr))
        notification();
}

void TParameterService::ScriptTaskFinished() {
    if (FScriptTask && FScriptTask->Result != 0)
        LogWarning("TParameterService: queued script failed: " + FScriptTask->GetErrorMsg());
    ExecuteNextScript();
}

// ------------------------------------------------------------------ look-ups

namespace {

MyAnsiString UpperAscii(MyAnsiString S) {
    for (char& c : S)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return S;
}

} // namespace

TParameter* TParameterService::FindNextWithCaption(const TParameter* P, const MyAnsiString& AText) const {
    std::size_t start = 0;
    if (P) {
        auto it = FDevParameterIndex.find(std::to_string(P->UPID()));
        if (it == FDevParameterIndex.end())
            return nullptr;
        // P's own entry among those with its key.
        std::size_t i = it->second;
        while (i < FDevParameterList.size() && FDevParameterList[i].Node != P) ++i;
        start = i + 1;
    }
    const MyAnsiString text = UpperAscii(AText);
    for (std::size_t i = start; i < FDevParameterList.size(); ++i)
        if (UpperAscii(FDevParameterList[i].Node->Caption()).find(text) != MyAnsiString::npos)
            return FDevParameterList[i].Node;
    return nullptr;
}

TParameter* TParameterService::FindPreviousWithCaption(const TParameter* P, const MyAnsiString& AText) const {
    std::size_t end = FDevParameterList.size();
    if (P) {
        end = 0;
        for (std::size_t i = 0; i < FDevParameterList.size(); ++i)
            if (FDevParameterList[i].Node == P) {
                end = i;
                break;
            }
    }
    const MyAnsiString text = UpperAscii(AText);
    for (std::size_t i = end; i-- > 0;)
        if (UpperAscii(FDevParameterList[i].Node->Caption()).find(text) != MyAnsiString::npos)
            return FDevParameterList[i].Node;
    return nullptr;
}

std::vector<std::pair<MyAnsiString, TParameter*>> TParameterService::GetClassList() const {
    std::vector<std::pair<MyAnsiString, TParameter*>> out;
    for (const TListEntry& e : FParameterList)
        if (dynamic_cast<TClassDirParameter*>(e.Node))
            out.emplace_back(e.Node->Caption(), e.Node);
    return out;
}

void TParameterService::DefaultParameters(std::int32_t ASelInstances, bool ADebug) {
    if (FState != TParameterServiceState::stReady || !FOnLine)
        return;
    TStorageManager* storage = StorageManager();
    if (!storage)
        return;
    FState = TParameterServiceState::stDefaultPars;
    try {
        if (!ScriptTask) {
            ScriptTask = storage->CreateScriptTask();
            std::weak_ptr<bool> alive = FAlive;
            ScriptTask->OnResponse = [this, alive](TScriptTaskInterface& Task) {
                if (alive.expired() || FState != TParameterServiceState::stDefaultPars)
                    return;
                FState = TParameterServiceState::stReady;
                if (Task.Result != 0)
                    MessageDlg("An error occured during the default parameter procedure!", TMsgDlgType::mtError,
                               {TMsgDlgBtn::mbOK});
                else
                    MessageDlg("The parameters on the drive have been defaulted. Please log out and log in again in "
                               "order to see the changes!",
                               TMsgDlgType::mtInformation, {TMsgDlgBtn::mbOK});
            };
        }
        TSLContext* context = storage->CreateContext(false);
        context->FScriptName = "fdfd";
        ScriptTask->SetContext(context);
        ScriptTask->SetDebug(ADebug);
        ScriptTask->LoadScript(DefaultParametersScript);
        ScriptTask->PushParameter(MakeRef<TSLString>(FOwner->Name()).Get());
        ScriptTask->PushParameter(MakeRef<TSLLongint>(ASelInstances).Get());
        ScriptTask->Start();
    } catch (...) {
        FState = TParameterServiceState::stReady;
        throw;
    }
}

void TParameterService::ReplaceMasterUPID() {
    static const MyAnsiString tag = "<UPID>";
    ForEachParameter([this](TParameter& P, bool&) {
        TPropertyList* props = P.PropList();
        if (!props)
            return;
        for (int i = 0; i < props->GetNoOfInfoStr(); ++i) {
            const MyAnsiString language = props->GetLanguageWithIndex(i);
            const MyAnsiString old = props->GetInfoStr(language);
            MyAnsiString text = old;
            for (std::size_t at = text.find(tag); at != MyAnsiString::npos; at = text.find(tag)) {
                const MyAnsiString digits = text.substr(at + tag.size(), 5);
                bool number = digits.size() == 5;
                for (char c : digits) number = number && c >= '0' && c <= '9';
                if (!number) {
                    text.erase(at, tag.size());
                    continue;
                }
                if (TParameter* found = FindParameter(std::stoi(digits)))
                    text.replace(at, tag.size() + 5, TParameter::UPIDText(found->UPID()) + " (" + found->Caption() + ")");
                else
                    text.erase(at, tag.size());
            }
            if (text != old)
                props->ReplaceInfoStr(language, text);
        }
    });
}

} // namespace vo
