#include "parameters/PtEnum.h"

#include "comm/OvraClnt.h"
#include "kernel/Debug.h"
#include "kernel/ModTree.h"
#include "kernel/PropList.h"
#include "kernel/functions.h"
#include "parameters/ParSrv.h"
#include "parameters/PtInt.h"
#include "parameters/PtRadio.h"
#include "platform/Exception.h"
#include "storagelib/SL20Rec.h"

#include <cstdio>
#include <limits>
#include <string>
#include <type_traits>

namespace vo {

namespace {

// Value's bit pattern in upper-case hexadecimal, at least Digits digits,
// and "h".
template <class T>
MyAnsiString ChoiceHex(T Value, int Digits) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%0*llX", Digits,
                  static_cast<unsigned long long>(static_cast<std::make_unsigned_t<T>>(Value)));
    return MyAnsiString(buf) + "h";
}

template <class T>
MyAnsiString ChoiceText(T Value, const MyAnsiString& DisplayMode, int Digits, const MyAnsiString& Other) {
    if (DisplayMode == "HEX")
        return ChoiceHex(Value, Digits);
    if (DisplayMode == "DEC")
        return std::to_string(static_cast<std::int64_t>(Value));
    return Other;
}

} // namespace

// ------------------------------------------------------------------ children

template <class Base, class T>
TChoiceChildOf<Base, T>::TChoiceChildOf(TParameterService& AOwner, TSLRecord* ARecord, const TChoiceNames& ANames)
    : Base(AOwner, ARecord), FNames(ANames) {
    this->FTypeStr = ANames.TypeStr;
    if (ARecord)
        FChildValue = static_cast<T>(ARecord->GetIntWithName("ChildValue"));
    this->EnsurePropList().SetObjType(ANames.ObjType);
    this->AddStrProperty("Child Name", 1);
    this->AddStrProperty("Child Value", 4);
    this->AddStrProperty("Parent Name", 5);
    this->AddStrProperty("Parent UPID", 3);
}

template <class Base, class T>
void TChoiceChildOf<Base, T>::Update(TServiceClient& Client) {
    if (this->FParent)
        this->FParent->Update(Client);
}

template <class Base, class T>
void TChoiceChildOf<Base, T>::Modify(TServiceClient& Client) {
    if (this->FParent)
        this->FParent->Modify(Client);
}

template <class Base, class T>
void TChoiceChildOf<Base, T>::Invalidate(TServiceClient& Client) {
    if (this->FParent)
        this->FParent->Invalidate(Client);
}

template <class Base, class T>
MyAnsiString TChoiceChildOf<Base, T>::GetChildValueStr(const MyAnsiString& DisplayMode) const {
    return ChoiceText(FChildValue, DisplayMode, FNames.HexDigits, this->FCaption);
}

template <class Base, class T>
void TChoiceChildOf<Base, T>::Initialize(bool Online) {
    if (Online && this->GetAttrFlag(AttrVFlagSource) && this->FParent)
        this->FParent->SetAttrFlag(AttrVFlagSource);
}

template <class Base, class T>
bool TChoiceChildOf<Base, T>::GetValid() const {
    return this->FParent && this->FParent->GetValid();
}

// ------------------------------------------------------------------ directories

template <class Base, class T, class Child>
TChoiceDirOf<Base, T, Child>::TChoiceDirOf(TParameterService& AOwner, TSLRecord* ARecord, const TChoiceNames& ANames,
                                           bool ADefaultOptional, bool AEmptyTextIgnored)
    : Base(AOwner, ARecord), FNames(ANames), FEmptyTextIgnored(AEmptyTextIgnored) {
    this->FTypeStr = ANames.TypeStr;
    this->EnsurePropList().SetObjType(ANames.ObjType);
    this->AddStrProperty("Name", 1);
    this->AddStrProperty("UPID", 2);
    if (ARecord && (!ADefaultOptional || ARecord->NameExists("DefValue")))
        FDefaultValue = static_cast<T>(ARecord->GetIntWithName("DefValue"));
}

template <class Base, class T, class Child>
T TChoiceDirOf<Base, T, Child>::GetValue() const {
    if (!this->GetValid())
        throw Exception(ParameterNotValidText);
    return DataCache;
}

template <class Base, class T, class Child>
Child* TChoiceDirOf<Base, T, Child>::GetSelectedChild() const {
    for (TParameter* p = this->FChild; p; p = p->Next())
        if (auto* c = dynamic_cast<Child*>(p); c && static_cast<std::int64_t>(c->ChildValue()) == static_cast<std::int64_t>(GetValue()))
            return c;
    return nullptr;
}

template <class Base, class T, class Child>
Child* TChoiceDirOf<Base, T, Child>::GetDefaultChild() const {
    for (TParameter* p = this->FChild; p; p = p->Next())
        if (auto* c = dynamic_cast<Child*>(p); c && static_cast<std::int64_t>(c->ChildValue()) == static_cast<std::int64_t>(FDefaultValue))
            return c;
    return nullptr;
}

template <class Base, class T, class Child>
void TChoiceDirOf<Base, T, Child>::GetChildList(std::vector<Child*>& List) const {
    List.clear();
    for (TParameter* p = this->FChild; p; p = p->Next())
        if (auto* c = dynamic_cast<Child*>(p))
            List.push_back(c);
}

template <class Base, class T, class Child>
void TChoiceDirOf<Base, T, Child>::GetScaledValue(TValueRec& V, TUnitSystem, const MyAnsiString&) const {
    V.ValueStr = std::to_string(static_cast<std::int64_t>(GetValue()));
    V.UnitStr.clear();
}

template <class Base, class T, class Child>
void TChoiceDirOf<Base, T, Child>::SetScaledValue(const MyAnsiString& Text, TUnitSystem, const MyAnsiString&) {
    if (Text.empty() && FEmptyTextIgnored)
        return;
    const std::int64_t v = StrToInt(Text);
    // Either reading of the family's width: its signed or its unsigned range.
    using S = std::make_signed_t<T>;
    using U = std::make_unsigned_t<T>;
    if (v < static_cast<std::int64_t>(std::numeric_limits<S>::min()) ||
        v > static_cast<std::int64_t>(std::numeric_limits<U>::max()))
        throw Exception(MyAnsiString("Value out of range of ") + FNames.TypeStr + " type!");
    SetValue(static_cast<T>(v));
}

template <class Base, class T, class Child>
void TChoiceDirOf<Base, T, Child>::GetDefaultStr(TValueRec& V, TUnitSystem, const MyAnsiString&) const {
    V.ValueStr = std::to_string(static_cast<std::int64_t>(FDefaultValue));
    V.UnitStr.clear();
}

template <class Base, class T, class Child>
MyAnsiString TChoiceDirOf<Base, T, Child>::GetRawDataStr(const MyAnsiString& DisplayMode) const {
    if (DisplayMode != "HEX" && DisplayMode != "DEC")
        return {};
    return ChoiceText(GetValue(), DisplayMode, FNames.HexDigits, {});
}

template <class Base, class T, class Child>
void TChoiceDirOf<Base, T, Child>::SetIntValue(TUnitSystem, std::int64_t Value) {
    SetValue(static_cast<T>(Value));
}

template <class Base, class T, class Child>
void TChoiceDirOf<Base, T, Child>::SetDefaultValue(TUnitSystem) {
    SetValue(FDefaultValue);
    CopyTempToData();
}

template <class Base, class T, class Child>
void TChoiceDirOf<Base, T, Child>::CopyTempToData() {
    if (TempCache == DataCache && this->GetValid())
        return;
    DataCache = TempCache;
    this->SetAttrFlag(AttrChanged | AttrValid);
}

template <class Base, class T, class Child>
void TChoiceDirOf<Base, T, Child>::RequestUpdate(TOvraActor&, TBasicOvraService&, TParameterResponse Response) {
    const int sub = ParReadSubCommand(this->FAddrUsage);
    if (sub >= 0)
        this->FOwner->GetRequest(ParUPIDRequest(sub, this->FUPID), std::move(Response));
}

template <class Base, class T, class Child>
void TChoiceDirOf<Base, T, Child>::ProcessUpdate(TOvraActor& Actor, TBasicOvraService&) {
    if (ParReadSubCommand(this->FAddrUsage) < 0 || Actor.GetResult() != 0)
        return;
    const MyAnsiString answer = this->FOwner->GetResponse(Actor);
    std::uint64_t value = 0;
    if (!ParValueFromAnswer(answer, sizeof(T), value)) {
        LogWarning(MyAnsiString(ClassName()) + ".ProcessUpdate: answer of " + std::to_string(answer.size()) +
                   " bytes for UPID " + TParameter::UPIDText(this->FUPID) + " is shorter than " + std::to_string(sizeof(T)));
        return;
    }
    TempCache = static_cast<T>(value);
    CopyTempToData();
}

template <class Base, class T, class Child>
void TChoiceDirOf<Base, T, Child>::RequestModify(TOvraActor&, TBasicOvraService&, TParameterResponse Response) {
    const int sub = ParWriteSubCommand(this->FAddrUsage);
    if (sub < 0)
        return;
    MyAnsiString bytes = ParUPIDRequest(sub, this->FUPID);
    ParAppendLE(bytes, static_cast<std::make_unsigned_t<T>>(TempCache), sizeof(T));
    this->FOwner->SetRequest(bytes, std::move(Response));
}

template <class Base, class T, class Child>
void TChoiceDirOf<Base, T, Child>::ProcessModify(TOvraActor& Actor, TBasicOvraService&, int Kind) {
    if ((Kind == 1 && ParWriteSubCommand(this->FAddrUsage) >= 0 && Actor.GetResult() == 0) || Kind == 2)
        CopyTempToData();
}

template class TChoiceChildOf<TParameter, std::uint16_t>;
template class TChoiceChildOf<TParameter, std::uint8_t>;
template class TChoiceChildOf<TGenericBoolParameter, std::uint16_t>;
template class TChoiceChildOf<TGenericBoolParameter, std::int32_t>;
template class TChoiceChildOf<TGenericBoolParameter, std::uint8_t>;
template class TChoiceDirOf<TParameter, std::uint16_t, TEnumChild16Parameter>;
template class TChoiceDirOf<TParameter, std::uint8_t, TEnumChild8Parameter>;
template class TChoiceDirOf<TParameter, std::uint16_t, TEnumChild32Parameter>;
template class TChoiceDirOf<TGenericDirParameter, std::uint16_t, TRadioChildParameter>;
template class TChoiceDirOf<TGenericDirParameter, std::int32_t, TRadioChild32Parameter>;
template class TChoiceDirOf<TGenericDirParameter, std::uint16_t, TRadioChildBitParameter>;

// ------------------------------------------------------------------ enumerators

TEnumChild16Parameter::TEnumChild16Parameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TChoiceChildOf(AOwner, ARecord, {"TEnumChild16Parameter", "UInt16", "EnumChild16", 4}) {}
TEnumChild8Parameter::TEnumChild8Parameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TChoiceChildOf(AOwner, ARecord, {"TEnumChild8Parameter", "UInt8", "UInt8 EnumChild", 2}) {}
TEnumChild32Parameter::TEnumChild32Parameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TChoiceChildOf(AOwner, ARecord, {"TEnumChild32Parameter", "UInt32", "EnumChild32", 4}) {}

TEnumDir16Parameter::TEnumDir16Parameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TChoiceDirOf(AOwner, ARecord, {"TEnumDir16Parameter", "UInt16 Enumerator", "UInt16 Enumerator Parameter", 4}, false, true) {}
TEnumDir8Parameter::TEnumDir8Parameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TChoiceDirOf(AOwner, ARecord, {"TEnumDir8Parameter", "UInt8 Enumerator", "UInt8 Enumerator Parameter", 2}, false, true) {}
TEnumDir32Parameter::TEnumDir32Parameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TChoiceDirOf(AOwner, ARecord, {"TEnumDir32Parameter", "UInt32 Enumerator", "UInt32 Enumerator Parameter", 4}, true, true) {}

MyAnsiString TEnumDir16Parameter::SelectedEntryCaption() const {
    if (!GetValid())
        return {};
    const TEnumChild16Parameter* child = GetSelectedChild();
    return child ? child->Caption() : MyAnsiString();
}

} // namespace vo
