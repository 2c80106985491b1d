#include "parameters/varService.h"

#include "comm/OvraClnt.h"
#include "devices/ModulSrv.h"
#include "devices/QsBasic.h"
#include "kernel/CsServices.h"
#include "kernel/Debug.h"
#include "kernel/ModTree.h"
#include "kernel/PropItms.h"
#include "kernel/PropList.h"
#include "kernel/UserPrompt.h"
#include "parameters/ParMan.h"
#include "parameters/PtStr.h"
#include "parameters/ParSrv.h"
#include "parameters/PtGen.h"
#include "parameters/UniMan.h"
#include "parameters/UniSrv.h"
#include "parameters/VisCtrl.h"
#include "parameters/varDatIntf.h"
#include "platform/Cp1252.h"
#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Rec.h"

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>

namespace vo {

namespace {

constexpr int DirImageIndex = 35;
constexpr int ServiceImageIndex = 100;
constexpr std::uint8_t UserDirPermission = 255;
constexpr std::int32_t UserDirLevel = 5;
constexpr std::uint8_t JobDirPermission = 3;
constexpr std::uint16_t AddrLiveBit = 0x100;
constexpr std::uint8_t WriteBits = 0x20 | 0x08 | 0x02;
constexpr std::size_t MaxCaptionLength = 65;
// A string parameter's text as the parameter views show it at most.
constexpr int StringParameterMaxSize = 64;
// How long the internal client pauses before it looks again whether a held
// batch can go (the drive offline, the service not started).
constexpr std::int32_t HeldBatchPollMs = 50;

MyAnsiString AsciiUpper(const MyAnsiString& S) {
    MyAnsiString r = S;
    for (char& c : r)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return r;
}

MyAnsiString Hex4(std::int32_t V) {
    char buf[16];
    std::snprintf(buf, sizeof buf, "%4.4X", static_cast<unsigned>(V) & 0xFFFFu);
    return buf;
}

const TSLNamedCollection* Named(TSLObject* O) { return dynamic_cast<const TSLNamedCollection*>(O); }

} // namespace

// ------------------------------------------------------------------ manager

bool TVariableManager::TNoCase::operator()(const MyAnsiString& A, const MyAnsiString& B) const {
    return Cp1252UpperCase(A) < Cp1252UpperCase(B);
}

TVariableManager::TVariableManager() { ColsWidth.fill(VarDefaultColWidth); }

void TVariableManager::Initialize(const TSLDictionary& Dict) {
    ReadDisplayInfo(Dict, FShowDetails, ColsWidth.data(), VarColumnCount);
}

std::int32_t TVariableManager::GetColWidth(int Index) const {
    if (Index < 0 || Index >= VarColumnCount)
        throw Exception(MyAnsiString(ClassName()) + ".GetColWidth: index out of bounds");
    return ColsWidth[static_cast<std::size_t>(Index)];
}

namespace {

struct TVarTypeName {
    const char* Upper;
    const char* Text;
};
// Codes 1..17.
constexpr TVarTypeName VarTypeNames[] = {
    {"SINT16", "SInt16"},
    {"UINT16", "UInt16"},
    {"SINT32", "SInt32"},
    {"UINT32", "UInt32"},
    {"SINT48", "SInt48"},
    {"UINT48", "UInt48"},
    {"BOOL16", "Bool16"},
    {"STRING", "String"},
    {"VELFLOAT", "VelFloat"},
    {"BOOL", "Bool"},
    {"SINT8", "SInt8"},
    {"UINT8", "UInt8"},
    {"ENUMDIR16", "UInt16 Enumerator"},
    {"ENUMCHILD16", "EnumChild16"},
    {"ENUMDIR8", "UInt8 Enumerator"},
    {"ENUMCHILD8", "EnumChild8"},
    {"FLOATIEEE754", "FloatIEEE754"},
};

} // namespace

int TVariableManager::StrToVarType(const MyAnsiString& S) {
    const MyAnsiString upper = Cp1252UpperCase(S);
    for (std::size_t i = 0; i < std::size(VarTypeNames); ++i)
        if (upper == VarTypeNames[i].Upper)
            return static_cast<int>(i) + 1;
    return 0;
}

MyAnsiString TVariableManager::VarTypeToStr(int AVarType) {
    if (AVarType < 1 || AVarType > static_cast<int>(std::size(VarTypeNames)))
        return "NotDef";
    return VarTypeNames[AVarType - 1].Text;
}

void TVariableManager::RegisterVariableClass(TVarItemClass AClass, const MyAnsiString& AName) {
    if (VariableClassExists(AName))
        throw Exception(MyAnsiString(ClassName()) + ".RegisterVariableClass: variable class with name " + AName +
                        " already registered");
    VariableClassList.emplace(AName, std::move(AClass));
}

bool TVariableManager::VariableClassExists(const MyAnsiString& AName) const {
    return VariableClassList.find(AName) != VariableClassList.end();
}

const TVarItemClass& TVariableManager::GetVariableClass(const MyAnsiString& AName) const {
    const auto it = VariableClassList.find(AName);
    if (it == VariableClassList.end())
        throw Exception(MyAnsiString(ClassName()) + ".GetVariableClass: variable class with name " + AName +
                        " doesn't exist");
    return it->second;
}

TVariableManager& VariableManager() {
    static TVariableManager* instance = new TVariableManager(); // lives until the process ends
    return *instance;
}

void RegisterVariableClasses(TVariableManager& AManager) {
    AManager.RegisterVariableClass(VarItemClass<TUInt8VarItem>(), "UInt8");
    AManager.RegisterVariableClass(VarItemClass<TSInt8VarItem>(), "SInt8");
    AManager.RegisterVariableClass(VarItemClass<TUInt16VarItem>(), "UInt16");
    AManager.RegisterVariableClass(VarItemClass<TSInt16VarItem>(), "SInt16");
    AManager.RegisterVariableClass(VarItemClass<TUInt32VarItem>(), "UInt32");
    AManager.RegisterVariableClass(VarItemClass<TSInt32VarItem>(), "SInt32");
    AManager.RegisterVariableClass(VarItemClass<TUInt48VarItem>(), "UInt48");
    AManager.RegisterVariableClass(VarItemClass<TSInt48VarItem>(), "SInt48");
    AManager.RegisterVariableClass(VarItemClass<TBoolVarItem>(), "Bool");
    AManager.RegisterVariableClass(VarItemClass<TBool16VarItem>(), "Bool16");
    AManager.RegisterVariableClass(VarItemClass<TStringVarItem>(), "String");
    AManager.RegisterVariableClass(VarItemClass<TVelFloat32VarItem>(), "VelFloat");
    AManager.RegisterVariableClass(VarItemClass<TFloat32VarItem>(), "FloatIEEE754");
    AManager.RegisterVariableClass(VarItemClass<TEnumDir16VarItem>(), "EnumDir16");
    AManager.RegisterVariableClass(VarItemClass<TEnumDir8VarItem>(), "EnumDir8");
}

void InitVariables(TDeviceManager& ADeviceManager, const TSLDictionary* AProgramSettings, TVariableManager& AManager) {
    if (!ADeviceManager.ServiceClassExists("VariableService"))
        ADeviceManager.RegisterServiceClass("VariableService", DeviceServiceClass<TVariableService>());
    try {
        if (AProgramSettings && AProgramSettings->NameExists("Variable"))
            if (auto* section = dynamic_cast<TSLDictionary*>(AProgramSettings->GetObjWithName("Variable")))
                AManager.Initialize(*section);
        if (AManager.GetClassCount() == 0)
            RegisterVariableClasses(AManager);
    } catch (const std::exception& e) {
        LogWarning(MyAnsiString("InitVariables: ") + e.what());
    }
}

std::int32_t TVariableClient::GetColWidth(int Index) const {
    if (Index < 0 || Index > VarColumnCount)
        throw Exception(MyAnsiString(ClassName()) + ".GetColWidth: index out of bounds");
    return FColsWidth[static_cast<std::size_t>(Index)];
}

void TVariableClient::SetColWidth(int Index, std::int32_t Value) {
    if (Index < 0 || Index > VarColumnCount)
        throw Exception(MyAnsiString(ClassName()) + ".SetColWidth: index out of bounds");
    FColsWidth[static_cast<std::size_t>(Index)] = Value;
}

// ------------------------------------------------------------------ sections

namespace {

// Opens and closes an update bracket of the service's provider.
class TBracket {
public:
    explicit TBracket(TVarItemOwner& AOwner) : FOwner(AOwner) { FOwner.BeginUpdate(); }
    ~TBracket() { FOwner.EndOfUpdate(); }
    TBracket(const TBracket&) = delete;
    TBracket& operator=(const TBracket&) = delete;

private:
    TVarItemOwner& FOwner;
};

} // namespace

TDirItem::TDirItem(TVariableService& AOwner, const MyAnsiString& AName, const MyAnsiString& ACaption,
                   std::uint8_t APermission, bool AUserDef)
    : FUserDefined(AUserDef), FCaption(ACaption), FPermission(APermission), FOwner(&AOwner), FName(AName),
      FFlagSet(1u << dfCreated), FPropList(std::make_unique<TPropertyList>()) {
    FModel = &TModelItem::Create(AOwner.Owner().Owner().ModelManager(), this);
    FModel->SetCaption(ACaption);
    FModel->SetImageIndex(DirImageIndex);
    FModel->SetView(VariableManager().VarModelView());
    FPropList->SetObjType("Variable Section");
    auto& name = FPropList->Add<TStringProperty>("Name");
    name.Setup([](TObject* O, int Id) { return static_cast<TDirItem*>(O)->GetStrVarProp(Id); }, nullptr, 2);
    name.SetReadOnly(true);
}

TDirItem::~TDirItem() {
    FVarList.clear();
    if (FModel) {
        FModel->SetData(nullptr);
        FModel->Release();
    }
}

TVarItem& TDirItem::Insert(std::unique_ptr<TVarItem> V, int Index) {
    if (Index == -1) {
        FVarList.push_back(std::move(V));
        return *FVarList.back();
    }
    if (Index < -1 || Index >= GetCount())
        throw Exception("List index out of bounds (" + std::to_string(Index) + ")");
    return **FVarList.insert(FVarList.begin() + Index + 1, std::move(V));
}

TVarItem& TDirItem::CreateVar(const MyAnsiString& AVarName, const MyAnsiString& AVarCaption,
                              const MyAnsiString& AVarType, int Index, TVarSourceType ASourceType) {
    TBracket bracket(*FOwner);
    const TVarItemClass& cls = VariableManager().GetVariableClass(AVarType);
    if (Index < -1 || Index >= GetCount())
        throw Exception("List index out of bounds (" + std::to_string(Index) + ")");
    std::unique_ptr<TVarItem> v = cls(*FOwner, this, ASourceType);
    v->SetCaption(AVarCaption);
    v->SetName(AVarName);
    v->SetVarType(AVarType);
    TVarItem& added = Insert(std::move(v), Index);
    FOwner->AddChangeInfo(vciCreated);
    return added;
}

TVarItem* TDirItem::CreateVarFromPar(const TParameter& P, TVarSourceType ASourceType) {
    TBracket bracket(*FOwner);
    const MyAnsiString cls = P.ClassName();
    MyAnsiString varType;
    TRef<TSLDictionary> conf(new TSLDictionary());
    std::uint8_t permission = P.Permission();
    if (!(P.AddrUsage() & AddrLiveBit))
        permission = static_cast<std::uint8_t>(permission & ~WriteBits);
    conf->SetIntWithName("Permission", permission);
    conf->SetIntWithName("AddrUsage", P.AddrUsage());
    conf->SetIntWithName("UPID", P.UPID());
    MyAnsiString caption = P.Caption() + "_(";
    if (caption.size() > MaxCaptionLength)
        caption.resize(MaxCaptionLength);
    conf->SetStrWithName("Caption", caption + Hex4(P.UPID()) + "h)");
    if (cls == "TRadioDir16Parameter" || cls == "TRadioDirBitParameter" || cls == "TRadioDir32Parameter") {
        varType = cls == "TRadioDir32Parameter" ? "UInt32" : "UInt16";
        conf->SetStrWithName("DisplayMode", "DEC");
        conf->SetStrWithName("VarType", varType);
    } else if (const auto* ip = dynamic_cast<const TGenericIntParameter*>(&P)) {
        varType = P.TypeStr();
        conf->SetStrWithName("DisplayMode", P.DisplayMode());
        conf->SetStrWithName("VarType", varType);
        double scale = 1.0, offset = 0.0;
        MyAnsiString unit;
        if (const TDeviceUnit* u = ip->DeviceUnit()) {
            const TUnitInfo info = u->GetUnitInfo(UnitManager().GetUnitSystem());
            scale = info.Scale;
            offset = info.Offset;
            unit = u->Name();
        }
        conf->SetFloatWithName("Scale", scale);
        conf->SetFloatWithName("Offset", offset);
        conf->SetStrWithName("UnitStr", unit);
        // The limits of a parameter not read yet stay 0.
        std::int64_t minValue = 0, maxValue = 0, defValue = 0;
        if (P.GetValid()) {
            minValue = ip->GetMinValueInt();
            maxValue = ip->GetMaxValueInt();
            defValue = ip->GetDefaultValue();
        }
        conf->SetIntWithName("MinValue", minValue);
        conf->SetIntWithName("MaxValue", maxValue);
        conf->SetIntWithName("DefValue", defValue);
        conf->SetIntWithName("UUID", ip->UUID());
    } else if (dynamic_cast<const TGenericStrParameter*>(&P)) {
        varType = P.TypeStr();
        conf->SetStrWithName("DisplayMode", P.DisplayMode());
        conf->SetStrWithName("VarType", varType);
        // The text's length on the drive; 64 where the parameter gives none.
        const auto* text = dynamic_cast<const TStringParameter*>(&P);
        conf->SetIntWithName("MaxSize", text && text->MaxSize() > 0 ? text->MaxSize() : StringParameterMaxSize);
        conf->SetStrWithName("Value", "");
    } else if (dynamic_cast<const TGenericBoolParameter*>(&P)) {
        varType = P.TypeStr();
        conf->SetStrWithName("DisplayMode", P.DisplayMode());
        conf->SetStrWithName("VarType", varType);
    } else {
        return nullptr;
    }
    const TVarItemClass& make = VariableManager().GetVariableClass(varType);
    std::unique_ptr<TVarItem> v = make(*FOwner, this, ASourceType);
    v->SetConfig(*conf);
    v->SetName(std::to_string(P.UPID()));
    if (const TPropertyList* texts = P.PropList())
        v->PropList().SetInfoStr(*texts);
    TVarItem& added = Insert(std::move(v), -1);
    FOwner->AddChangeInfo(vciCreated);
    return &added;
}

TVarItem& TDirItem::CreateVarCopy(const TVarItem& SourceVar) {
    TBracket bracket(*FOwner);
    const TVarItemClass& make = VariableManager().GetVariableClass(SourceVar.VarType());
    std::unique_ptr<TVarItem> v = make(*FOwner, this, SourceVar.SourceType());
    v->ClearFlag(vfValid);
    v->SetCaption(SourceVar.Caption());
    v->SetName(SourceVar.GetVarName());
    v->SetVarType(SourceVar.VarType());
    if (TRef<TSLRecord> conf = SourceVar.GetConfig())
        v->SetConfig(*conf);
    v->SetCaption(SourceVar.Caption());
    v->PropList().SetInfoStr(SourceVar.PropList());
    v->SetUPIDScale(SourceVar.IsUPIDScaled(), SourceVar.UPIDScaleUPID());
    TVarItem& added = Insert(std::move(v), -1);
    FOwner->AddChangeInfo(vciCreated);
    return added;
}

TVarItem* TDirItem::FindVar(const MyAnsiString& AVarName) const {
    for (const auto& v : FVarList)
        if (v->GetVarName() == AVarName)
            return v.get();
    return nullptr;
}

TVarItem* TDirItem::FindVarWithDeviceUpid(std::int32_t AUPID) const {
    for (const auto& v : FVarList)
        if (v->DeviceUPID() == AUPID)
            return v.get();
    return nullptr;
}

TVarItem& TDirItem::GetVarItem(int AVarIndex) const {
    if (AVarIndex < 0 || AVarIndex >= GetCount())
        throw Exception(MyAnsiString(ClassName()) + ".GetVarItem: index out of bounds");
    return *FVarList[static_cast<std::size_t>(AVarIndex)];
}

MyAnsiString TDirItem::GetVarName(int AVarIndex) const {
    if (AVarIndex < 0 || AVarIndex >= GetCount())
        throw Exception(MyAnsiString(ClassName()) + ".GetVarName: VarIndex out of bounds");
    return FVarList[static_cast<std::size_t>(AVarIndex)]->Caption();
}

bool TDirItem::CheckFlag(int AFlag) const noexcept { return AFlag >= 0 && AFlag <= 7 && (FFlagSet & (1u << AFlag)); }

void TDirItem::Delete() {
    TBracket bracket(*FOwner);
    for (const auto& v : FVarList) v->Delete();
    FFlagSet = static_cast<std::uint8_t>(FFlagSet | (1u << dfDeleted));
    FOwner->AddChangeInfo(vciDirChange);
}

void TDirItem::Clear() {
    TBracket bracket(*FOwner);
    for (const auto& v : FVarList) v->Delete();
}

void TDirItem::UpdateDone() {
    for (std::size_t i = FVarList.size(); i-- > 0;)
        if (FVarList[i]->CheckFlag(vfDeleted))
            FVarList.erase(FVarList.begin() + static_cast<std::ptrdiff_t>(i));
    for (const auto& v : FVarList) {
        v->ClearFlag(vfCreated);
        v->ClearFlag(vfModified);
        v->ClearFlag(vfChanged);
    }
    FFlagSet = static_cast<std::uint8_t>(FFlagSet & ~((1u << dfCreated) | (1u << dfModified)));
}

void TDirItem::SetInfoStrings(const TSLNamedCollection& Conf) {
    if (!Conf.NameExists("HelpTextDict"))
        return;
    const TSLNamedCollection* texts = Named(Conf.GetObjWithName("HelpTextDict"));
    if (!texts)
        return;
    for (int i = 0; i < texts->GetCount(); ++i) {
        const MyAnsiString text = texts->GetStrAtIndex(i);
        if (!text.empty())
            FPropList->AddInfoStringListItem(texts->GetNameAtIndex(i), text);
    }
}

MyAnsiString TDirItem::GetStrVarProp(int Ident) const { return Ident == 2 ? FCaption : MyAnsiString(); }

MyAnsiString TDirItem::ReadjustVarName(const MyAnsiString& AVarName) const {
    if (AVarName.empty()) {
        MyAnsiString name = "UserVar";
        for (int n = 2; FindVar(name); ++n) name = "UserVar" + std::to_string(n);
        return name;
    }
    for (const auto& v : FVarList)
        if (v->GetVarName() == AVarName && !v->CheckFlag(vfDeleted) && !v->CheckFlag(vfModified))
            throw Exception(MyAnsiString(ClassName()) + ".CreateVar: variable with name '" + AVarName +
                            "' already exists");
    return AVarName;
}

// ------------------------------------------------------------------ service

TVariableService::TVariableService(TDevice& AOwner, TSLDictionary* AProfDict)
    : TDeviceService(AOwner, AProfDict), FVisibilityController(std::make_unique<TVisibilityController>()),
      FServiceProvider(std::make_unique<TServiceProvider>(this, "Variable Service")) {
    FServiceProvider->FOnUpdateDone = [this](TObject*) { ProviderUpdateDone(); };
    FServiceProvider->FOnExecuteJob = [this](TServiceJob& Job, bool& FreeJob) { ProviderExecuteJob(Job, FreeJob); };
    FInternalClient = std::make_unique<TServiceClient>();
    FInternalClient->FOnExecute = [this](TServiceClient& Client) { InternalClientExecute(Client); };
    FInternalClient->Connect(*FServiceProvider);

    FModel = &TModelItem::Create(AOwner.Owner().ModelManager(), this);
    MyAnsiString caption;
    bool visible = false;
    if (AProfDict) {
        if (AProfDict->NameExists("Caption"))
            caption = AProfDict->GetStrWithName("Caption");
        if (AProfDict->NameExists("Visible"))
            visible = AProfDict->GetBoolWithName("Visible");
    }
    FModel->SetCaption(caption);
    FModel->SetVisible(visible);
    FModel->SetImageIndex(ServiceImageIndex);
    FModel->SetView(VariableManager().DirModelView());
    AOwner.Model().AddChild(*FModel);
    FMinWritePermission = 3;
    FDataInterface = std::make_unique<TVariableDataInterface>(*this);
}

TDataInterface* TVariableService::GetDataInterface() { return FDataInterface.get(); }

TVariableService::~TVariableService() {
    FDataInterface.reset();
    FAlive.reset();
    if (FActor) {
        FActor->SetOnResponse(nullptr);
        FActor->OvraClient().ReleaseActor(*FActor);
        FActor = nullptr;
    }
    FInternalClient.reset();
    FDirList.clear();
    if (FModel) {
        FModel->SetData(nullptr);
        FModel->Release();
        FModel = nullptr;
    }
}

void TVariableService::StartUp(bool& Wait) {
    Wait = false;
    if (FServiceStatus == dsStopped) {
        FOvraService = FOwner->FindService<TBasicOvraService>("OvraService");
        FModuleService = FOwner->FindService<TModuleService>("ModuleService");
        FUnitService = FOwner->FindService<TUnitService>("UnitService");
        FParameterService = FOwner->FindService<TParameterService>("ParameterService");
        if (!FOvraService || !FModuleService || !FUnitService || !FParameterService) {
            LogError("couldn't start variable service: a required device service is missing");
            SetServiceStatus(dsError);
            return;
        }
        SetServiceStatus(dsStarting);
    }
    if (FServiceStatus != dsStarting)
        return;
    FShutDownRequest = false;
    if (FModuleService->ServiceStatus() != dsStarted)
        return;
    if (!FModuleService->IsServiceActive(Name(), true)) {
        FModel->Hide();
        SetServiceStatus(dsDisabled);
        return;
    }
    if (!GetHasReadPermission() && !GetHasWritePermission())
        FModel->Hide();
    if (FOvraService->ServiceStatus() != dsStarted || FUnitService->ServiceStatus() != dsStarted ||
        FParameterService->ServiceStatus() != dsStarted)
        return;
    try {
        LoadVariableFromTrees();
        FParameterService->ReplaceMasterUPID();
        ReplaceMasterUPID();
        SetServiceStatus(dsStarted);
    } catch (const std::exception& e) {
        SetServiceStatus(dsError);
        ShowMessage(e.what());
    }
}

void TVariableService::RemoveModel() {
    if (FModel && FModel->Parent())
        FModel->Parent()->RemoveChild(*FModel);
}

void TVariableService::ShutDown(bool& Wait) {
    if (FStatus != stVarReady || FUpdateRunning) {
        Wait = true;
        FShutDownRequest = true;
        return;
    }
    Wait = false;
    if (FInternalClient->RequestPending() && FServiceProvider->CurrentClient() != FInternalClient.get())
        FInternalClient->Release();
    RemoveModel();
    SetServiceStatus(dsStopped);
}

void TVariableService::Kill() { SetServiceStatus(dsStopped); }

// ------------------------------------------------------------------ batches

void TVariableService::PrepareValueRequest() {
    if (FUpdateRunning)
        throw Exception(MyAnsiString(ClassName()) + ".BeginUpdate: previous update not completed");
    ++FUpdateCounter;
}

void TVariableService::ExecuteValueRequest() {
    if (FUpdateCounter == 0)
        throw Exception(MyAnsiString(ClassName()) + ".EndOfUpdate: missing previous BeginUpdate");
    if (--FUpdateCounter > 0)
        return;
    FUpdateRequest = true;
    if (!FInternalClient->RequestPending())
        FInternalClient->Request();
}

void TVariableService::GlobalReadRequest() {
    if (FStatus == stVarReady && !FUpdateRunning)
        RunGlobalRead();
    else
        FGlobalReadRequest = true;
}

void TVariableService::RunGlobalRead() {
    const std::uint8_t mask = GetPermissionRead();
    PrepareValueRequest();
    for (const auto& dir : FDirList) {
        if (!(dir->Permission() & mask))
            continue;
        for (int i = 0; i < dir->GetCount(); ++i) dir->GetVarItem(i).RequestRead();
    }
    ExecuteValueRequest();
}

void TVariableService::InternalClientExecute(TServiceClient& Client) {
    if (FStatus == stUpdValResp) {
        FStatus = stVarReady;
        return;
    }
    if (FShutDownRequest) {
        FShutDownRequest = false;
        Client.Release();
        RemoveModel();
        SetServiceStatus(dsStopped);
        return;
    }
    if (FUpdateRequest) {
        if (FServiceStatus != dsStarted || !UpdateValues(Client))
            Client.Wait(HeldBatchPollMs);
        return;
    }
    if (FGlobalReadRequest) {
        if (FServiceStatus == dsStarted) {
            FGlobalReadRequest = false;
            RunGlobalRead();
        } else {
            Client.Wait(HeldBatchPollMs);
        }
        return;
    }
    Client.Release();
}

void TVariableService::ForEachRequested(const std::function<void(TVarItem&)>& Visit) const {
    for (const auto& dir : FDirList) {
        if (!dir->UpdateRequest())
            continue;
        for (int i = 0; i < dir->GetCount(); ++i) Visit(dir->GetVarItem(i));
    }
}

bool TVariableService::UpdateValues(TServiceClient& Client) {
    TOvraClient* ovraClient = OvraClient();
    if (!FOvraService || !FOvraService->DeviceOnline() || FServiceStatus != dsStarted || !ovraClient)
        return false;
    FUpdateRunning = true;
    FStatus = stUpdValResp;
    TOvraActor& actor = ovraClient->GetActor();
    FActor = &actor;
    actor.SetName("Variable Service Actor");
    actor.Clear();
    const TVarTelegramPatterns patterns = TVarTelegramPatterns::Of(*FOvraService);
    ForEachRequested([&](TVarItem& V) { V.SetActorData(actor, patterns); });
    std::weak_ptr<bool> alive = FAlive;
    actor.SetOnResponse([this, alive](TOvraActor& A) {
        if (!alive.expired())
            UpdateValuesResponse(A);
    });
    ++FBatchCount;
    Client.Wait(0x7FFFFFFF);
    actor.Execute();
    return true;
}

void TVariableService::UpdateValuesResponse(TOvraActor& AActor) {
    AActor.Reset();
    const TVarTelegramPatterns patterns =
        FOvraService ? TVarTelegramPatterns::Of(*FOvraService) : TVarTelegramPatterns();
    {
        TBracket bracket(*this);
        for (const auto& dir : FDirList) {
            if (!dir->UpdateRequest())
                continue;
            for (int i = 0; i < dir->GetCount(); ++i) {
                TVarItem& v = dir->GetVarItem(i);
                try {
                    v.GetActorData(AActor, patterns);
                } catch (const std::exception& e) {
                    v.ClearFlag(vfValid);
                    LogWarning(MyAnsiString(ClassName()) + ": '" + v.Caption() + "': " + e.what());
                }
            }
            dir->ClearUpdateRequest();
        }
    }
    AActor.SetOnResponse(nullptr);
    if (FActor) {
        FActor->OvraClient().ReleaseActor(*FActor);
        FActor = nullptr;
    }
    FUpdateRunning = false;
    FUpdateRequest = false;
    if (FServiceProvider->CurrentClient() == FInternalClient.get() && FServiceProvider->Status() == psWaitClient)
        FInternalClient->Continue();
}

void TVariableService::ProviderUpdateDone() {
    NotifyClients();
    for (std::size_t i = FDirList.size(); i-- > 0;)
        if (FDirList[i]->CheckFlag(dfDeleted)) {
            if (FSearchedVariable) {
                for (int k = 0; k < FDirList[i]->GetCount(); ++k)
                    if (&FDirList[i]->GetVarItem(k) == FSearchedVariable)
                        FSearchedVariable = nullptr;
            }
            FDirList.erase(FDirList.begin() + static_cast<std::ptrdiff_t>(i));
        }
    for (const auto& dir : FDirList) {
        if (FSearchedVariable)
            for (int k = 0; k < dir->GetCount(); ++k) {
                TVarItem& v = dir->GetVarItem(k);
                if (&v == FSearchedVariable && v.CheckFlag(vfDeleted))
                    FSearchedVariable = nullptr;
            }
        dir->UpdateDone();
    }
    FChangeInfo = 0;
}

void TVariableService::ProviderExecuteJob(TServiceJob& Job, bool&) {
    switch (Job.FInfoTag) {
    case 1: DeleteDir(Job.FInfoStr); break;
    case 2: CreateDir(Job.FInfoStr, Job.FInfoStr, JobDirPermission, true); break;
    default: LogWarning("undefined job info tag in TVariableService.ProviderExecuteJob"); break;
    }
}

void TVariableService::BeginUpdate() { FServiceProvider->BeginUpdate(); }
void TVariableService::EndOfUpdate() { FServiceProvider->EndOfUpdate(); }

TDeviceUnit* TVariableService::GetUnitWithUUID(std::int32_t AUUID) const {
    TUnitService* units = FUnitService ? FUnitService : FOwner->FindService<TUnitService>("UnitService");
    return units ? units->GetUnitWithUUID(AUUID) : nullptr;
}

// ------------------------------------------------------------------ permissions

std::uint8_t TVariableService::GetPermissionRead() const {
    switch (FOwner->GetUserPermission()) {
    case 1: return 0x40;
    case 3: return 0x41;
    case 7: return 0x45;
    case 15: return 0x55;
    default: return 0;
    }
}

std::uint8_t TVariableService::GetPermissionWrite() const {
    switch (FOwner->GetUserPermission()) {
    case 3: return 0x02;
    case 7: return 0x0A;
    case 15: return 0x2A;
    default: return 0;
    }
}

// ------------------------------------------------------------------ sections

TDirItem& TVariableService::CreateDir(const MyAnsiString& ADirName, const MyAnsiString& ADirCaption,
                                      std::uint8_t APermission, bool AUserDef) {
    if (DirExists(ADirName))
        throw Exception(MyAnsiString(ClassName()) + ".CreateDir: variable section with name '" + ADirName +
                        "' allready exists");
    TBracket bracket(*this);
    FDirList.push_back(std::make_unique<TDirItem>(*this, ADirName, ADirCaption, APermission, AUserDef));
    TDirItem& dir = *FDirList.back();
    dir.Model().SetVisible((GetPermissionRead() & APermission) != 0);
    FModel->AddChild(dir.Model());
    AddChangeInfo(vciDirChange);
    return dir;
}

void TVariableService::DeleteDir(const MyAnsiString& ADirName) {
    if (TDirItem* dir = FindDir(ADirName))
        dir->Delete();
}

TDirItem* TVariableService::FindDir(const MyAnsiString& ADirName) const {
    for (const auto& dir : FDirList)
        if (dir->Name() == ADirName)
            return dir.get();
    return nullptr;
}

TDirItem* TVariableService::FindDirWithCaption(const MyAnsiString& ADirCaption) const {
    for (const auto& dir : FDirList)
        if (dir->Caption() == ADirCaption)
            return dir.get();
    return nullptr;
}

TDirItem& TVariableService::GetDirItem(int ADirIndex) const {
    if (ADirIndex < 0 || ADirIndex >= DirCount())
        throw Exception(MyAnsiString(ClassName()) + ".GetDirItem: index (" + std::to_string(ADirIndex) +
                        ") out of bounds (" + std::to_string(DirCount()) + ")");
    return *FDirList[static_cast<std::size_t>(ADirIndex)];
}

// ------------------------------------------------------------------ look-ups

TVarItem* TVariableService::FindVariable(const MyAnsiString& AVarName) const {
    for (const auto& dir : FDirList)
        if (TVarItem* v = dir->FindVar(AVarName))
            return v;
    return nullptr;
}

TVarItem* TVariableService::FindVarWithDeviceUPID(std::int32_t AUPID) const {
    for (const auto& dir : FDirList)
        if (!dir->UserDefined())
            if (TVarItem* v = dir->FindVarWithDeviceUpid(AUPID))
                return v;
    return nullptr;
}

TVarItem* TVariableService::FindNextWithCaption(const TVarItem* VarItem, const MyAnsiString& ACaption) const {
    const MyAnsiString text = AsciiUpper(ACaption);
    auto matches = [&](const TVarItem& V) { return AsciiUpper(V.Caption()).find(text) != MyAnsiString::npos; };
    std::size_t d = 0;
    int from = 0;
    if (VarItem) {
        bool found = false;
        for (; d < FDirList.size() && !found; ++d)
            for (int i = 0; i < FDirList[d]->GetCount(); ++i)
                if (&FDirList[d]->GetVarItem(i) == VarItem) {
                    from = i + 1;
                    found = true;
                    break;
                }
        if (!found)
            return nullptr;
        --d;
    }
    for (; d < FDirList.size(); ++d, from = 0)
        for (int i = from; i < FDirList[d]->GetCount(); ++i)
            if (matches(FDirList[d]->GetVarItem(i)))
                return &FDirList[d]->GetVarItem(i);
    return nullptr;
}

TVarItem* TVariableService::FindPreviousWithCaption(const TVarItem* VarItem, const MyAnsiString& ACaption) const {
    const MyAnsiString text = AsciiUpper(ACaption);
    auto matches = [&](const TVarItem& V) { return AsciiUpper(V.Caption()).find(text) != MyAnsiString::npos; };
    int d = static_cast<int>(FDirList.size()) - 1;
    int from = -2; // -2: from the section's last variable
    if (VarItem) {
        bool found = false;
        for (; d >= 0 && !found; --d)
            for (int i = 0; i < FDirList[static_cast<std::size_t>(d)]->GetCount(); ++i)
                if (&FDirList[static_cast<std::size_t>(d)]->GetVarItem(i) == VarItem) {
                    from = i - 1;
                    found = true;
                    break;
                }
        if (!found)
            return nullptr;
        ++d;
    }
    for (; d >= 0; --d, from = -2) {
        const TDirItem& dir = *FDirList[static_cast<std::size_t>(d)];
        for (int i = from == -2 ? dir.GetCount() - 1 : from; i >= 0; --i)
            if (matches(dir.GetVarItem(i)))
                return &dir.GetVarItem(i);
    }
    return nullptr;
}

MyAnsiString TVariableService::ReplaceUPIDTags(const MyAnsiString& Text) const {
    static const MyAnsiString tag = "<UPID>";
    MyAnsiString text = Text;
    std::size_t from = 0;
    for (std::size_t at = text.find(tag, from); at != MyAnsiString::npos; at = text.find(tag, from)) {
        const MyAnsiString digits = text.substr(at + tag.size(), 5);
        bool number = digits.size() == 5;
        for (char c : digits) number = number && c >= '0' && c <= '9';
        if (!number) {
            text.erase(at, tag.size());
            from = at;
            continue;
        }
        const std::int32_t upid = std::stoi(digits);
        MyAnsiString replacement;
        if (TParameter* p = FParameterService ? FParameterService->FindParameter(upid) : nullptr)
            replacement = TParameter::UPIDText(p->UPID()) + " (" + p->Caption() + ")";
        else if (TVarItem* v = FindVariable(std::to_string(upid)))
            replacement = v->GetStrVarProp(14) + " (" + v->Caption() + ")";
        if (replacement.empty()) {
            text.erase(at, tag.size());
            from = at + digits.size();
        } else {
            text.replace(at, tag.size() + digits.size(), replacement);
            from = at + replacement.size();
        }
    }
    return text;
}

void TVariableService::ReplaceMasterUPID() {
    for (const auto& dir : FDirList)
        for (int i = 0; i < dir->GetCount(); ++i) {
            TPropertyList& props = dir->GetVarItem(i).PropList();
            for (int k = 0; k < props.GetNoOfInfoStr(); ++k) {
                const MyAnsiString language = props.GetLanguageWithIndex(k);
                const MyAnsiString old = props.GetInfoStr(language);
                const MyAnsiString text = ReplaceUPIDTags(old);
                if (text != old)
                    props.ReplaceInfoStr(language, text);
            }
        }
}

void TVariableService::LoadVariableFromTrees() {
    TDirItem* current = &CreateDir("User Defined", "User Defined", UserDirPermission, true);
    current->SetLevel(UserDirLevel);
    TEnumDirVarItem* enum8 = nullptr;
    TEnumDirVarItem* enum16 = nullptr;
    static const char* const sectionTypes[] = {"DIRECTORY", "CAPDIR", "RADIODIR16", "RADIODIRBIT"};
    static const char* const variableTypes[] = {"UINT8", "SINT8", "UINT16", "SINT16", "UINT32",
                                                "SINT32", "UINT48", "SINT48", "BOOL", "VELFLOAT",
                                                "FLOATIEEE754", "ENUMDIR8", "ENUMDIR16", "STRING"};
    auto isOneOf = [](const MyAnsiString& T, const auto& List) {
        return std::any_of(std::begin(List), std::end(List), [&](const char* S) { return T == S; });
    };
    for (int m = 0; m < FModuleService->GetModuleCount(); ++m) {
        TSLDictionary* data = FModuleService->GetModule(m).GetData();
        if (!data)
            continue;
        FVisibilityController->LoadFlags(*data);
        // A module without variables gives none; the later ones still do.
        if (!data->NameExists("VariableArray"))
            continue;
        auto* rows = dynamic_cast<TSLArray*>(data->GetObjWithName("VariableArray"));
        if (!rows)
            throw EInvalidCast();
        for (int r = 0; r < rows->GetCount(); ++r) {
            auto* row = dynamic_cast<TSLRecord*>(rows->GetObjAtIndex(r));
            if (!row)
                throw EInvalidCast();
            const MyAnsiString caption = row->GetStrWithName("Caption");
            const std::int64_t upid = row->GetIntWithName("UPID");
            const MyAnsiString typeName = row->GetTypeName();
            const MyAnsiString type = Cp1252UpperCase(typeName);
            if (isOneOf(type, sectionTypes)) {
                const std::int32_t level = static_cast<std::int32_t>(row->GetIntWithName("Level"));
                const auto permission = static_cast<std::uint8_t>(row->GetIntWithName("Permission") & 0xFF);
                MyAnsiString dirCaption = caption;
                for (std::size_t i = FDirList.size(); i-- > 0;)
                    if (FDirList[i]->Level() < level) {
                        dirCaption = FDirList[i]->Caption() + ":" + caption;
                        break;
                    }
                current = &CreateDir(std::to_string(upid), dirCaption, permission, false);
                current->SetInfoStrings(*row);
                current->SetLevel(level);
            } else if (isOneOf(type, variableTypes)) {
                TVarItem& v = current->CreateVar(std::to_string(upid), caption, typeName, -1, vstSystem);
                v.SetConfig(*row);
                v.SetInfoStrings(*row);
                if (type == "ENUMDIR8")
                    enum8 = dynamic_cast<TEnumDirVarItem*>(&v);
                else if (type == "ENUMDIR16")
                    enum16 = dynamic_cast<TEnumDirVarItem*>(&v);
            } else if (type == "ENUMCHILD8" || type == "ENUMCHILD16") {
                TEnumDirVarItem* parent = type == "ENUMCHILD8" ? enum8 : enum16;
                if (parent)
                    parent->AddChild(caption, static_cast<std::int32_t>(row->GetIntWithName("ChildValue")),
                                     static_cast<std::uint8_t>(row->GetIntWithName("Permission") & 0xFF));
            }
        }
    }
}

} // namespace vo
