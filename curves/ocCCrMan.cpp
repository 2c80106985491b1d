#include "curves/ocCCrMan.h"

#include <algorithm>

#include "curves/CurWizar.h"
#include "kernel/Debug.h"
#include "kernel/UserPrompt.h"
#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Sto.h"

namespace vo {

namespace {

TCurveManager* TheManager = nullptr;
std::function<void()> TheLoader;

TRef<TSLObject> ReadStored(const MyAnsiString& FileName, const char* Who) {
    TStorageManager* m = StorageManager();
    if (!m) throw Exception(MyAnsiString("TCurveManager.") + Who + ": no storage manager");
    TRef<TSLStorageObject> o = m->GetObject(FileName, saRead);
    o->Read();
    return o->GetData();
}

MyAnsiString Str(const TSLDictionary* d, const char* Name) { return d ? d->GetStrWithName(Name) : MyAnsiString(); }
std::int32_t Int(const TSLDictionary* d, const char* Name) {
    return d ? static_cast<std::int32_t>(d->GetIntWithName(Name)) : 0;
}

} // namespace

TCurveManager::TCurveManager() = default;
TCurveManager::~TCurveManager() = default;

void TCurveManager::RegisterCurveWizard(std::unique_ptr<TCurveWizard> Wizard) {
    if (GetWizardWithName(Wizard->FWizardName))
        throw Exception(MyAnsiString(ClassName()) + ".RegisterCurveWizard: curve wizard already registered");
    CurveWizardList.push_back(std::move(Wizard));
}

void TCurveManager::RegisterCurveType(const MyAnsiString& FileName) {
    try {
        TRef<TSLObject> data = ReadStored(FileName, "RegisterCurveType");
        auto* d = dynamic_cast<TSLDictionary*>(data.Get());
        if (!d) throw EInvalidCast();
        auto* types = dynamic_cast<TSLArray*>(d->GetObjWithName("CurveTypeArray"));
        if (!types) throw EInvalidCast();
        SetCurveTypes(types);
    } catch (const std::exception& e) {
        CurveTypeArray.Reset();
        ShowMessage(e.what());
    }
}

void TCurveManager::Init(const MyAnsiString& FileName) {
    try {
        TRef<TSLObject> data = ReadStored(FileName, "Init");
        auto* d = dynamic_cast<TSLDictionary*>(data.Get());
        if (!d) throw EInvalidCast();
        SetCurveInfo(d);
    } catch (const std::exception& e) {
        ShowMessage(e.what());
    }
}

void TCurveManager::SetCurveTypes(TSLArray* Types) { CurveTypeArray = Types; }
void TCurveManager::SetCurveInfo(TSLDictionary* Info) { FCurveInfo = Info; }

std::int32_t TCurveManager::ActualVersion() const {
    if (!FCurveInfo) return -1;
    auto* n = dynamic_cast<TSLNumber*>(FCurveInfo->FindObjWithName("ActualVersion"));
    return n ? static_cast<std::int32_t>(n->GetLongintValue()) : -1;
}

TCurveWizard& TCurveManager::GetWizard(int Index) const {
    if (Index < 0 || Index >= GetWizardCount())
        throw Exception(MyAnsiString(ClassName()) + ".GetWizard: Index out of bound.");
    return *CurveWizardList[static_cast<std::size_t>(Index)];
}

TCurveWizard* TCurveManager::GetWizardWithName(const MyAnsiString& Name) const {
    for (const auto& w : CurveWizardList)
        if (SLSameName(w->FWizardName, Name)) return w.get();
    return nullptr;
}

TCurveWizard* TCurveManager::GetWizardOfType(std::int32_t WizardType) const {
    for (const auto& w : CurveWizardList)
        if (w->FWizardType == WizardType) return w.get();
    return nullptr;
}

MyAnsiString TCurveManager::GetWizardCaption(std::int32_t WizardType) const {
    MyAnsiString result = "Unknown";
    for (const auto& w : CurveWizardList) {
        if (w->FWizardType != WizardType) continue;
        if (w->FWizardCaption != "FromFile...") return w->FWizardCaption;
        result = w->FWizardCaption;
    }
    return result;
}

bool TCurveManager::WizardValidForCurve(const MyAnsiString& WizardName, int CurveIndex) const {
    const TSLDictionary* t = TypeAt(CurveIndex);
    if (!t) return false;
    auto* names = dynamic_cast<TSLArray*>(t->FindObjWithName("Wizards"));
    if (!names) return false;
    for (int i = 0; i < names->GetCount(); ++i) {
        auto* s = dynamic_cast<TSLString*>(names->GetObjAtIndex(i));
        if (s && s->GetStringValue() == WizardName) return true;
    }
    return false;
}

TSLDictionary* TCurveManager::TypeAt(int Index) const {
    if (!CurveTypeArray) return nullptr;
    if (Index < 0 || Index >= CurveTypeArray->GetCount())
        throw Exception(MyAnsiString(ClassName()) + ".GetCurveType: Index out of bound.");
    auto* d = dynamic_cast<TSLDictionary*>(CurveTypeArray->GetObjAtIndex(Index));
    if (!d) throw EInvalidCast();
    return d;
}

TSLDictionary* TCurveManager::TypeWithCode(std::int32_t CurveType) const {
    TSLDictionary* found = nullptr;
    for (int i = 0; i < GetCurveTypeCount(); ++i) {
        TSLDictionary* d = TypeAt(i);
        if (d->GetIntWithName("ID") == CurveType) found = d;
    }
    return found;
}

int TCurveManager::GetCurveTypeCount() const { return CurveTypeArray ? CurveTypeArray->GetCount() : 0; }
MyAnsiString TCurveManager::GetCurveTypeCaptionAtIndex(int Index) const { return Str(TypeAt(Index), "Caption"); }
MyAnsiString TCurveManager::GetCurveXDimCaptionAtIndex(int Index) const { return Str(TypeAt(Index), "XDimCaption"); }
MyAnsiString TCurveManager::GetCurveYDimCaptionAtIndex(int Index) const { return Str(TypeAt(Index), "YDimCaption"); }
MyAnsiString TCurveManager::GetCurveDefaultNameAtIndex(int Index) const {
    return Str(TypeAt(Index), "DefaultCurveName");
}
std::int32_t TCurveManager::GetCurveXYDimCodeAtIndex(int Index) const { return Int(TypeAt(Index), "ID"); }
std::int32_t TCurveManager::GetCurveXDimUUIDAtIndex(int Index) const { return Int(TypeAt(Index), "XDimUUID"); }
std::int32_t TCurveManager::GetCurveYDimUUIDAtIndex(int Index) const { return Int(TypeAt(Index), "YDimUUID"); }

std::int32_t TCurveManager::GetManualWizardTypeOfCurveAtIndex(int Index) const {
    const TCurveWizard* w = GetWizardWithName(Str(TypeAt(Index), "ManualWizard"));
    return w ? w->FWizardType : 0;
}

MyAnsiString TCurveManager::GetCurveTypeCaption(std::int32_t CurveType) const {
    const TSLDictionary* t = TypeWithCode(CurveType);
    return t ? t->GetStrWithName("Caption") : MyAnsiString("Unknown");
}
MyAnsiString TCurveManager::GetCurveXDimCaption(std::int32_t CurveType) const {
    return Str(TypeWithCode(CurveType), "XDimCaption");
}
MyAnsiString TCurveManager::GetCurveYDimCaption(std::int32_t CurveType) const {
    return Str(TypeWithCode(CurveType), "YDimCaption");
}
std::int32_t TCurveManager::GetManualWizardTypeOfCurve(std::int32_t CurveType) const {
    const TSLDictionary* t = TypeWithCode(CurveType);
    if (!t) return 0;
    const TCurveWizard* w = GetWizardWithName(t->GetStrWithName("ManualWizard"));
    return w ? w->FWizardType : 0;
}
std::int32_t TCurveManager::GetDataTypeSizeOfCurve(std::int32_t CurveType) const {
    return Int(TypeWithCode(CurveType), "DataTypeSize");
}

int TCurveManager::GetIndexOfCurveType(std::int32_t CurveType) const {
    for (int i = 0; i < GetCurveTypeCount(); ++i)
        if (TypeAt(i)->GetIntWithName("ID") == CurveType) return i;
    return -1;
}

TCurveDataView* TCurveManager::GetCurveDataView(TCurve* ACurve) {
    for (TCurveDataView* v : FCurveDataViews)
        if (v->Curve() == ACurve) return v;
    if (!FCreateDataView) return nullptr;
    TCurveDataView* v = FCreateDataView(ACurve);
    if (v) FCurveDataViews.push_back(v);
    return v;
}

void TCurveManager::RemoveCurveDataView(TCurveDataView* AForm) {
    std::erase(FCurveDataViews, AForm);
}

TCurveManager* CurveManager() noexcept {
    if (!TheManager && TheLoader) {
        // Taken first: the loader asks for the manager itself.
        const std::function<void()> load = std::move(TheLoader);
        TheLoader = nullptr;
        try {
            load();
        } catch (const std::exception& e) {
            LogError(MyAnsiString("the curve manager could not be made: ") + e.what());
        }
    }
    return TheManager;
}

void SetCurveManager(TCurveManager* Manager) noexcept {
    TheManager = Manager;
    if (Manager) TheLoader = nullptr;
}

void SetCurveManagerLoader(std::function<void()> Loader) { TheLoader = std::move(Loader); }

} // namespace vo
