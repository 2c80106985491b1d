#pragma once
// The radio parameters: a directory of the tree (with its own model item)
// whose value selects one of its children, each a Boolean that is true when
// the directory's value equals the child's value; setting a child true sets
// the directory's pending value. Three families: "RadioDir16"/"RadioChild"
// (16 bits), "RadioDir32"/"RadioChild32" (signed 32 bits) and
// "RadioDirBit"/"RadioChildBit" (the whole 16-bit word; a child matches when
// the word equals its value, no bit is masked).
//
// Reading, writing and committing are those of the enumerators (PtEnum.h).
//
// GUI thread only.
#include "parameters/PtEnum.h"

namespace vo {

// A radio child: a Boolean over its directory's value.
template <class T>
class TRadioChildOf : public TChoiceChildOf<TGenericBoolParameter, T> {
public:
    // The directory's value equals the child value (raises "Parameter not
    // valid" through the directory).
    bool GetBoolValue() const override;
    // True: the child value becomes the directory's pending value; false:
    // nothing (a choice is left only by choosing another).
    void SetBoolValue(bool Value) override;
    // The child value text in the mode (the bit child: only while selected,
    // else ""); no unit.
    void GetScaledValue(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const override;

protected:
    TRadioChildOf(TParameterService& AOwner, TSLRecord* ARecord, const TChoiceNames& ANames, bool AOnlySelectedText);

    bool FOnlySelectedText;
};

class TRadioChildParameter : public TRadioChildOf<std::uint16_t> {
public:
    TRadioChildParameter(TParameterService& AOwner, TSLRecord* ARecord);
};
class TRadioChild32Parameter : public TRadioChildOf<std::int32_t> {
public:
    TRadioChild32Parameter(TParameterService& AOwner, TSLRecord* ARecord);
};
class TRadioChildBitParameter : public TRadioChildOf<std::uint8_t> {
public:
    TRadioChildBitParameter(TParameterService& AOwner, TSLRecord* ARecord);
};

class TRadioDir16Parameter : public TChoiceDirOf<TGenericDirParameter, std::uint16_t, TRadioChildParameter> {
public:
    TRadioDir16Parameter(TParameterService& AOwner, TSLRecord* ARecord);
};
class TRadioDir32Parameter : public TChoiceDirOf<TGenericDirParameter, std::int32_t, TRadioChild32Parameter> {
public:
    TRadioDir32Parameter(TParameterService& AOwner, TSLRecord* ARecord);
};
class TRadioDirBitParameter : public TChoiceDirOf<TGenericDirParameter, std::uint16_t, TRadioChildBitParameter> {
public:
    // An empty text is refused here like any other non-number.
    TRadioDirBitParameter(TParameterService& AOwner, TSLRecord* ARecord);

    // "SCALED": the caption of the last child of value 1 (0), "Bit Cleared"
    // when there is none; "HEX": "1h" ("0h"); other modes "1" ("0").
    MyAnsiString GetBitSetValueStr(const MyAnsiString& DisplayMode) const;
    MyAnsiString GetBitClearedValueStr(const MyAnsiString& DisplayMode) const;
};

extern template class TChoiceChildOf<TGenericBoolParameter, std::uint16_t>;
extern template class TChoiceChildOf<TGenericBoolParameter, std::int32_t>;
extern template class TChoiceChildOf<TGenericBoolParameter, std::uint8_t>;
extern template class TRadioChildOf<std::uint16_t>;
extern template class TRadioChildOf<std::int32_t>;
extern template class TRadioChildOf<std::uint8_t>;
extern template class TChoiceDirOf<TGenericDirParameter, std::uint16_t, TRadioChildParameter>;
extern template class TChoiceDirOf<TGenericDirParameter, std::int32_t, TRadioChild32Parameter>;
extern template class TChoiceDirOf<TGenericDirParameter, std::uint16_t, TRadioChildBitParameter>;

} // namespace vo
