#include "parameters/ParSrv.h"

#include "kernel/CsServices.h"
#include "kernel/ModTree.h"
#include "parameters/PtDir.h"
#include "parameters/PtRoot.h"
#include "parameters/UniSrv.h"
#include "parameters/VisCtrl.h"
#include "platform/Exception.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"

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
}

TParameterService::~TParameterService() {
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
    StartFailed("the parameter tree cannot be built yet");
}

void TParameterService::ShutDown(bool& Wait) {
    Wait = false;
    if (FServiceStatus != dsStarted)
        return;
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
