#include "parameters/PtRadio.h"

#include "kernel/ModTree.h"
#include "parameters/PtInt.h"
#include "platform/Exception.h"

namespace vo {

namespace {

constexpr int RadioImageIndex = 23;

} // namespace

template <class T>
TRadioChildOf<T>::TRadioChildOf(TParameterService& AOwner, TSLRecord* ARecord, const TChoiceNames& ANames,
                                bool AOnlySelectedText)
    : TChoiceChildOf<TGenericBoolParameter, T>(AOwner, ARecord, ANames), FOnlySelectedText(AOnlySelectedText) {}

template <class T>
bool TRadioChildOf<T>::GetBoolValue() const {
    if (!this->FParent)
        throw Exception(ParameterNotValidText);
    return this->FParent->GetIntValue() == static_cast<std::int64_t>(this->FChildValue);
}

template <class T>
void TRadioChildOf<T>::SetBoolValue(bool Value) {
    if (Value && this->FParent)
        this->FParent->SetIntValue(usSI, this->FChildValue);
}

template <class T>
void TRadioChildOf<T>::GetScaledValue(TValueRec& V, TUnitSystem, const MyAnsiString& DisplayMode) const {
    V.ValueStr = !FOnlySelectedText || GetBoolValue() ? this->GetChildValueStr(DisplayMode) : MyAnsiString();
    V.UnitStr.clear();
}

template class TRadioChildOf<std::uint16_t>;
template class TRadioChildOf<std::int32_t>;
template class TRadioChildOf<std::uint8_t>;

TRadioChildParameter::TRadioChildParameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TRadioChildOf(AOwner, ARecord, {"TRadioChildParameter", "UInt16", "UInt16 RadioChild", 4}, false) {}
TRadioChild32Parameter::TRadioChild32Parameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TRadioChildOf(AOwner, ARecord, {"TRadioChild32Parameter", "UInt32", "UInt32 RadioChild", 4}, false) {}
TRadioChildBitParameter::TRadioChildBitParameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TRadioChildOf(AOwner, ARecord, {"TRadioChildBitParameter", "Bit", "Bit RadioChild", 1}, true) {}

TRadioDir16Parameter::TRadioDir16Parameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TChoiceDirOf(AOwner, ARecord, {"TRadioDir16Parameter", "UInt16", "UInt16 RadioDir Parameter", 4}, false, true) {
    FModel->SetImageIndex(RadioImageIndex);
}
TRadioDir32Parameter::TRadioDir32Parameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TChoiceDirOf(AOwner, ARecord, {"TRadioDir32Parameter", "UInt32", "UInt32 RadioDir Parameter", 4}, false, true) {
    FModel->SetImageIndex(RadioImageIndex);
}
TRadioDirBitParameter::TRadioDirBitParameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TChoiceDirOf(AOwner, ARecord, {"TRadioDirBitParameter", "Bit", "Bit RadioDir Parameter", 1}, false, false) {
    FModel->SetImageIndex(RadioImageIndex);
}

namespace {

MyAnsiString BitValueStr(const TRadioDirBitParameter& Dir, std::uint8_t Value, const MyAnsiString& DisplayMode) {
    if (DisplayMode == "HEX")
        return std::to_string(Value) + "h";
    if (DisplayMode != "SCALED")
        return std::to_string(Value);
    std::vector<TRadioChildBitParameter*> children;
    Dir.GetChildList(children);
    MyAnsiString caption = "Bit Cleared";
    for (const TRadioChildBitParameter* c : children)
        if (c->ChildValue() == Value)
            caption = c->Caption();
    return caption;
}

} // namespace

MyAnsiString TRadioDirBitParameter::GetBitSetValueStr(const MyAnsiString& DisplayMode) const {
    return BitValueStr(*this, 1, DisplayMode);
}

MyAnsiString TRadioDirBitParameter::GetBitClearedValueStr(const MyAnsiString& DisplayMode) const {
    return BitValueStr(*this, 0, DisplayMode);
}

} // namespace vo
