#include "motorwizard/MotWizParameter.h"

#include "kernel/LanguageMan.h"
#include "kernel/ShellServices.h"
#include "motorwizard/WizTree.h"
#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"

namespace vo {

namespace {

TRef<TSLArray> CopyArrayWithName(const TSLDictionary& Dict, const char* Name) {
    if (!Dict.GetNameExists(Name))
        return {};
    const TSLArray* a = SLCast<TSLArray>(Dict.GetObjWithName(Name));
    return TRef<TSLArray>(a->CopyRef());
}

bool BoolOr(const TSLDictionary& Dict, const char* Name, bool Default) {
    return Dict.GetNameExists(Name) ? Dict.GetBoolWithName(Name) : Default;
}

// The drive parameter of a class the item needs; a node of another class is
// a failed type conversion.
TWizTreePar* BoundParameter(TWizTree* Tree, std::int32_t UPID) { return Tree ? Tree->FindParameter(UPID) : nullptr; }

void RequireKind(const TWizTreePar& P, bool Ok) {
    if (!Ok)
        throw EInvalidCast();
    (void)P;
}

} // namespace

TWizardParameter::TWizardParameter(const TSLDictionary& Dict, TWizTree* Tree) {
    FName = Dict.GetStrWithName("Name");
    FTreeUPID = static_cast<std::int32_t>(Dict.GetIntWithName("TreeUPID"));
    if (Dict.GetNameExists("Caption")) {
        FCaption = Dict.GetStrWithName("Caption");
    } else if (Dict.GetNameExists("CaptionKeyWord")) {
        FCaptionKeyWord = Dict.GetStrWithName("CaptionKeyWord");
        LanguageDependentCaption = true;
    } else if (TWizTreePar* p = BoundParameter(Tree, FTreeUPID)) {
        FCaption = p->Caption();
    }
    FAutoDetected = BoolOr(Dict, "AutoDetected", false);
    FStartWithTreeValue = BoolOr(Dict, "StartWithTreeValue", false);
    FReadOnlyPar = BoolOr(Dict, "ReadOnlyPar", false);
    FOnChangeArray = CopyArrayWithName(Dict, "OnChange");
}

TWizardParameter::~TWizardParameter() = default;

MyAnsiString TWizardParameter::GetCaption() const {
    return LanguageDependentCaption ? LangText(FCaptionKeyWord) : FCaption;
}

TWizParDouble::TWizParDouble(const TSLDictionary& Dict, TWizTree* Tree) : TWizardParameter(Dict, Tree) {
    const bool def = Dict.GetNameExists("DefValue"), lo = Dict.GetNameExists("MinValue"),
               hi = Dict.GetNameExists("MaxValue");
    if (TWizTreePar* p = BoundParameter(Tree, FTreeUPID)) {
        RequireKind(*p, p->Kind() == TWizTreeKind::tkInteger);
        FUUID = p->UnitUUID();
        FDefaultValue = def ? Dict.GetFloatWithName("DefValue") : p->DefaultSI();
        FMinValue = lo ? Dict.GetFloatWithName("MinValue") : p->MinSI();
        FMaxValue = hi ? Dict.GetFloatWithName("MaxValue") : p->MaxSI();
    } else {
        FDefaultValue = def ? Dict.GetFloatWithName("DefValue") : 0.0;
        FMinValue = lo ? Dict.GetFloatWithName("MinValue") : 0.0;
        FMaxValue = hi ? Dict.GetFloatWithName("MaxValue") : 0.0;
    }
}

TWizParString::TWizParString(const TSLDictionary& Dict, TWizTree* Tree) : TWizardParameter(Dict, Tree) {
    if (Dict.GetNameExists("DefValue")) {
        FDefaultValue = Dict.GetStrWithName("DefValue");
    } else if (TWizTreePar* p = BoundParameter(Tree, FTreeUPID)) {
        RequireKind(*p, p->Kind() == TWizTreeKind::tkString);
        FDefaultValue = p->DefaultStr();
    }
}

TWizParBoolean::TWizParBoolean(const TSLDictionary& Dict, TWizTree* Tree) : TWizardParameter(Dict, Tree) {
    if (Dict.GetNameExists("DefValue")) {
        FDefaultValue = Dict.GetBoolWithName("DefValue");
    } else if (TWizTreePar* p = BoundParameter(Tree, FTreeUPID)) {
        RequireKind(*p, p->Kind() == TWizTreeKind::tkBoolean);
        FDefaultValue = p->DefaultBool();
    }
}

TWizParEnum::TWizParEnum(const TSLDictionary& Dict, TWizTree* Tree) : TWizardParameter(Dict, Tree) {
    TWizTreePar* p = BoundParameter(Tree, FTreeUPID);
    const bool radio = p && (p->Kind() == TWizTreeKind::tkRadio16 || p->Kind() == TWizTreeKind::tkRadio32 || p->Kind() == TWizTreeKind::tkRadioBit);
    if (p && Dict.GetNameExists("DefValue"))
        FDefaultValue = Dict.GetIntWithName("DefValue");
    else if (!p && Dict.GetNameExists("DefValueIfNotInTree"))
        FDefaultValue = Dict.GetIntWithName("DefValueIfNotInTree");
    else if (p && (radio || p->Kind() == TWizTreeKind::tkInteger))
        FDefaultValue = p->DefaultInt();
    ENumDefArray = CopyArrayWithName(Dict, "ENumDef");
    if (!radio || !ENumDefArray)
        return;
    for (int i = 0; i < ENumDefArray->GetCount(); ++i) {
        TSLDictionary* e = SLCast<TSLDictionary>(ENumDefArray->GetObjAtIndex(i));
        if (e->GetNameExists("Hide") && e->GetBoolWithName("Hide"))
            continue;
        const std::int64_t v = e->GetIntWithName("Value");
        int match = -1;
        for (int k = 0; k < p->ChildCount() && match < 0; ++k)
            if (static_cast<std::int32_t>(p->ChildValue(k)) == static_cast<std::int32_t>(v))
                match = k;
        if (match >= 0) {
            if (!e->GetNameExists("Caption") && !e->GetNameExists("CaptionKeyWord"))
                e->SetStrWithName("Caption", p->ChildCaption(match));
            continue;
        }
        e->SetBoolWithName("Hide", true);
        if (p->Kind() == TWizTreeKind::tkRadio16 && v == FDefaultValue && Dict.GetNameExists("DefValueIfNotInTree"))
            FDefaultValue = Dict.GetIntWithName("DefValueIfNotInTree");
    }
}

TWizParEnum::~TWizParEnum() = default;

const TSLDictionary* TWizParEnum::Entry(int Index) const {
    if (!ENumDefArray || Index < 0 || Index >= ENumDefArray->GetCount())
        return nullptr;
    return SLCast<TSLDictionary>(ENumDefArray->GetObjAtIndex(Index));
}

int TWizParEnum::GetENumDefCount() const { return ENumDefArray ? ENumDefArray->GetCount() : 0; }

std::int64_t TWizParEnum::GetValueAt(int Index) const {
    const TSLDictionary* e = Entry(Index);
    return e ? e->GetIntWithName("Value") : 0;
}

int TWizParEnum::GetItemIndex(std::int64_t Value) const {
    for (int i = 0; i < GetENumDefCount(); ++i)
        if (GetValueAt(i) == Value)
            return i;
    return -1;
}

MyAnsiString TWizParEnum::GetCaptionAt(int Index) const {
    const TSLDictionary* e = Entry(Index);
    if (!e)
        return {};
    if (e->GetNameExists("CaptionKeyWord"))
        return LangText(e->GetStrWithName("CaptionKeyWord"));
    if (e->GetNameExists("Caption"))
        return e->GetStrWithName("Caption");
    return {};
}

MyAnsiString TWizParEnum::GetChildDescription(int Index) const {
    const TSLDictionary* e = Entry(Index);
    if (!e)
        return {};
    if (e->GetNameExists("DescriptionKeyWord"))
        return LangText(e->GetStrWithName("DescriptionKeyWord"));
    if (e->GetNameExists("Description"))
        return e->GetStrWithName("Description");
    return {};
}

bool TWizParEnum::GetHide(int Index) const {
    const TSLDictionary* e = Entry(Index);
    return e && e->GetNameExists("Hide") && e->GetBoolWithName("Hide");
}

MyAnsiString TWizParEnum::GetPrefix(int Index) const {
    const TSLDictionary* e = Entry(Index);
    if (e && e->GetNameExists("ShowWithCompanyPrefix") && e->GetBoolWithName("ShowWithCompanyPrefix"))
        return ShellServices().GetCompanyInfoStr("CompanyPrefix");
    return {};
}

MyAnsiString TWizParEnum::GetSuffix(int Index) const {
    const TSLDictionary* e = Entry(Index);
    if (e && e->GetNameExists("CaptionSuffix"))
        return ShellServices().GetCompanyInfoStr("CaptionSuffix");
    return {};
}

MyAnsiString TWizParEnum::GetShownText(int Index) const {
    return GetPrefix(Index) + GetCaptionAt(Index) + GetSuffix(Index);
}

int TWizParEnum::GetIndexOf(const MyAnsiString& DefName) const {
    for (int i = 0; i < GetENumDefCount(); ++i)
        if (!GetHide(i) && GetShownText(i) == DefName)
            return i;
    return -1;
}

TSLArray* TWizParEnum::GetOnSelectArrayAt(int Index) const {
    const TSLDictionary* e = Entry(Index);
    if (!e)
        throw Exception("TWizParEnum.GetOnSelectArrayAt: no entry " + std::to_string(Index));
    return SLCast<TSLArray>(e->GetObjWithName("OnSelect"));
}

TSLArray* TWizParEnum::GetOnSelectCaseIntDictAt(int Index) const {
    const TSLDictionary* e = Entry(Index);
    if (!e || !e->GetNameExists("OnSelectCaseInt"))
        return nullptr;
    return SLCast<TSLArray>(e->GetObjWithName("OnSelectCaseInt"));
}

} // namespace vo
