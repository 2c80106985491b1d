#include "parameters/Parameter.h"

#include "kernel/Debug.h"
#include "kernel/PropItms.h"
#include "kernel/PropList.h"
#include "kernel/ShellServices.h"
#include "parameters/ParSrv.h"
#include "parameters/PtClass.h"
#include "parameters/PtGen.h"
#include "parameters/VisCtrl.h"
#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Rec.h"

#include <cstdio>
#include <string>

namespace vo {

TParameter::TParameter(TParameterService& AOwner, TSLRecord* ARecord) : FOwner(&AOwner) {
    // The tree being loaded is the last one added (none yet: 255).
    FTreeIndex = static_cast<std::uint8_t>(AOwner.GetTreeCount() - 1);
    if (!ARecord) {
        AOwner.AddToParameterList("_ROOT", *this);
        FListed = true;
        FPermission = PermReadBits;
        return;
    }
    FMasterUPID = static_cast<std::int32_t>(ARecord->GetIntWithName("UPID"));
    FUPID = ARecord->NameExists("DEVICE_UPID") ? static_cast<std::int32_t>(ARecord->GetIntWithName("DEVICE_UPID")) : FMasterUPID;
    FLevel = static_cast<std::uint8_t>(ARecord->GetIntWithName("Level"));
    FCaption = ARecord->GetStrWithName("Caption").substr(0, ParCaptionMax);
    FPermission = static_cast<std::uint8_t>(ARecord->GetIntWithName("Permission"));
    FAddrUsage = static_cast<std::uint16_t>(ARecord->GetIntWithName("AddrUsage"));
    if (ARecord->NameExists("DisplayMode"))
        FDisplayMode = ARecord->GetStrWithName("DisplayMode");
    const MyAnsiString flag = ARecord->GetStrWithName("UseVFlag");
    if (!flag.empty())
        FUseVFlag = &AOwner.VisibilityController().GetFlag(flag);
    if (ARecord->NameExists("WizardUPIDList")) {
        auto* list = dynamic_cast<TSLArray*>(ARecord->GetObjWithName("WizardUPIDList"));
        if (!list)
            throw EInvalidCast();
        if (list->GetCount() > 0) {
            FWizardUPIDList.emplace();
            for (int i = 0; i < list->GetCount(); ++i) FWizardUPIDList->push_back(std::to_string(list->GetIntAtIndex(i)));
        }
    }
    AOwner.AddToParameterList(std::to_string(FMasterUPID), *this);
    AOwner.AddToDevParameterList(std::to_string(FUPID), *this);
    FListed = true;
    FPropList = std::make_unique<TPropertyList>();
    FPropList->SetObjType("Parameter");
    SetInfoStrings(ARecord);
}

TParameter::~TParameter() {
    TParameter* c = FChild;
    FChild = nullptr;
    while (c) {
        TParameter* next = c->FNext;
        delete c;
        c = next;
    }
    if (FListed && !FOwner->Destroying())
        FOwner->ForgetParameter(*this);
}

// ------------------------------------------------------------------ passes

void TParameter::Update(TServiceClient& Client) { FOwner->ParameterUpdate(*this, Client); }
void TParameter::Modify(TServiceClient& Client) { FOwner->ParameterModify(*this, Client); }
void TParameter::Invalidate(TServiceClient& Client) { FOwner->ParameterInvalidate(*this, Client); }

// ------------------------------------------------------------------ abstract value operations

void TParameter::GetScaledValue(TValueRec&, TUnitSystem, const MyAnsiString&) const { throw EAbstractError(); }
void TParameter::SetScaledValue(const MyAnsiString&, TUnitSystem, const MyAnsiString&) { throw EAbstractError(); }
void TParameter::GetDefaultStr(TValueRec&, TUnitSystem, const MyAnsiString&) const { throw EAbstractError(); }
MyAnsiString TParameter::GetRawDataStr(const MyAnsiString&) const { throw EAbstractError(); }
MyAnsiString TParameter::GetChildValueStr(const MyAnsiString&) const { throw EAbstractError(); }
double TParameter::GetBaseScaledValue() const { throw EAbstractError(); }
bool TParameter::GetBoolValue() const { throw EAbstractError(); }
void TParameter::SetBoolValue(bool) { throw EAbstractError(); }
std::int64_t TParameter::GetIntValue() const { throw EAbstractError(); }
double TParameter::GetValue(TUnitSystem) const { throw EAbstractError(); }
MyAnsiString TParameter::GetStrValue() const { throw EAbstractError(); }
void TParameter::SetStrValue(const MyAnsiString&) { throw EAbstractError(); }
void TParameter::SetDefaultValue(TUnitSystem) { throw EAbstractError(); }
std::int32_t TParameter::GetAddress() const { throw EAbstractError(); }
std::int32_t TParameter::GetBitAddr() const { throw EAbstractError(); }
std::int32_t TParameter::GetChildValue() const { throw EAbstractError(); }
void TParameter::SetIntValue(TUnitSystem, std::int64_t) { throw EAbstractError(); }

void TParameter::GetUnit(double& Scale, MyAnsiString& Unit, TUnitSystem) const {
    Scale = 1.0;
    Unit.clear();
}

void TParameter::Initialize(bool) {}
void TParameter::CopyTempToData() {}
void TParameter::RequestUpdate(TOvraActor&, TBasicOvraService&, TParameterResponse) {}
void TParameter::ProcessUpdate(TOvraActor&, TBasicOvraService&) {}

void TParameter::RequestModify(TOvraActor&, TBasicOvraService&, TParameterResponse) {
    LogWarning(MyAnsiString(ClassName()) + ".RequestModify: '" + FCaption + "' holds no value to write");
}

void TParameter::ProcessModify(TOvraActor&, TBasicOvraService&, int) {
    LogWarning(MyAnsiString(ClassName()) + ".ProcessModify: '" + FCaption + "' holds no value to write");
}

// ------------------------------------------------------------------ tree

TParameter& TParameter::AddChild(std::unique_ptr<TParameter> P) {
    TParameter* p = P.release();
    p->FParent = this;
    p->FLevel = static_cast<std::uint8_t>(FLevel + 1);
    p->FNext = nullptr;
    if (!FChild) {
        FChild = p;
    } else {
        TParameter* last = FChild;
        while (last->FNext) last = last->FNext;
        last->FNext = p;
    }
    return *p;
}

void TParameter::ForEach(const TParameterCallBack& CallBack, bool IncludeRoot) {
    bool stop = false;
    if (IncludeRoot) {
        CallBack(*this, stop);
        if (stop)
            return;
    }
    TParameter* p = FChild;
    while (p && p != this && !stop) {
        CallBack(*p, stop);
        if (p->FChild) {
            p = p->FChild;
            continue;
        }
        while (p != this && !p->FNext) p = p->FParent;
        if (p != this)
            p = p->FNext;
    }
}

void TParameter::ForEachChild(const TParameterCallBack& CallBack) {
    bool stop = false;
    for (TParameter* p = FChild; p && !stop; p = p->FNext) CallBack(*p, stop);
}

bool TParameter::IsBoolean() const { return dynamic_cast<const TGenericBoolParameter*>(this) != nullptr; }
bool TParameter::IsInteger() const { return dynamic_cast<const TGenericIntParameter*>(this) != nullptr; }
bool TParameter::IsString() const { return dynamic_cast<const TGenericStrParameter*>(this) != nullptr; }
bool TParameter::IsDirectory() const { return dynamic_cast<const TGenericDirParameter*>(this) != nullptr; }

TClassDirParameter* TParameter::GetClassRoot() const {
    for (TParameter* p = FParent; p; p = p->FParent)
        if (auto* c = dynamic_cast<TClassDirParameter*>(p))
            return c;
    return nullptr;
}

MyAnsiString TParameter::GetPath() const {
    MyAnsiString path = FCaption;
    for (TParameter* p = FParent; p; p = p->FParent)
        if (!p->FCaption.empty())
            path = p->FCaption + "\\" + path;
    return path;
}

MyAnsiString TParameter::GetTree() const {
    return FOwner->GetTreeName(FTreeIndex);
}

std::int32_t TParameter::GetWizardUPID(int Index) const {
    if (!FWizardUPIDList || Index < 0 || Index >= static_cast<int>(FWizardUPIDList->size()))
        throw Exception("List index out of bounds (" + std::to_string(Index) + ")");
    return std::stoi((*FWizardUPIDList)[static_cast<std::size_t>(Index)]);
}

// ------------------------------------------------------------------ arrays

TParameter* TParameter::GetArrayFirst() const {
    if (FIndex < 0 || FIndex >= FOwner->GetParameterCount())
        return nullptr;
    return FOwner->FindParameterWithKey(FOwner->GetParameterEntry(FIndex).Key);
}

TParameter* TParameter::GetArrayNext() const {
    const int next = FIndex + 1;
    if (FIndex < 0 || next >= FOwner->GetParameterCount())
        return nullptr;
    const auto& entry = FOwner->GetParameterEntry(next);
    return entry.Key == FOwner->GetParameterEntry(FIndex).Key ? entry.Node : nullptr;
}

int TParameter::GetArrayCount() const {
    int count = 0;
    for (const TParameter* p = GetArrayFirst(); p; p = p->GetArrayNext()) ++count;
    return count;
}

// ------------------------------------------------------------------ properties

void TParameter::SetInfoStrings(const TSLRecord* ARecord) {
    if (!ARecord || !ARecord->NameExists("HelpTextDict"))
        return;
    auto* texts = dynamic_cast<TSLDictionary*>(ARecord->GetObjWithName("HelpTextDict"));
    if (!texts)
        throw EInvalidCast();
    TPropertyList& list = EnsurePropList();
    for (int i = 0; i < texts->GetCount(); ++i) {
        const MyAnsiString text = texts->GetStrAtIndex(i);
        if (!text.empty())
            list.AddInfoStringListItem(texts->GetNameAtIndex(i), text);
    }
}

MyAnsiString TParameter::UPIDText(std::int32_t UPID) {
    if (ShellServices().UPIDDispMode() == "HEX") {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%04X", static_cast<unsigned>(UPID));
        return MyAnsiString(buf) + "h";
    }
    return std::to_string(UPID);
}

MyAnsiString TParameter::GetStrVarProp(int Ident) const {
    switch (Ident) {
    case 1: return FCaption;
    case 2: return UPIDText(FUPID);
    case 3: return FParent ? UPIDText(FParent->FUPID) : MyAnsiString();
    case 4: return GetChildValueStr(ShellServices().RawDataDispMode());
    case 5: return FParent ? FParent->FCaption : MyAnsiString();
    default: return {};
    }
}

TPropertyList& TParameter::EnsurePropList() {
    if (!FPropList)
        FPropList = std::make_unique<TPropertyList>();
    return *FPropList;
}

void TParameter::AddStrProperty(const MyAnsiString& AName, int Ident) {
    EnsurePropList().Add<TStringProperty>(AName).Setup(
        [](TObject* AObj, int AId) {
            auto* p = dynamic_cast<TParameter*>(AObj);
            return p ? p->GetStrVarProp(AId) : MyAnsiString();
        },
        nullptr, Ident);
}

} // namespace vo
