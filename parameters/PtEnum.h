#pragma once
// The enumerator parameters: a directory node that holds the number of one
// UPID, and below it one child per allowed value whose caption names the
// value. Three families: "EnumDir16"/"EnumChild16", "EnumDir8"/"EnumChild8"
// and "EnumDir32"/"EnumChild32" (the last one is 16 bits wide as well: its
// values and telegrams carry two bytes).
//
// The value mechanics (TChoiceDirOf, TChoiceChildOf) are shared with the
// radio parameters (PtRadio.h): the directory keeps a default, a pending
// value (TempCache) and the committed one (DataCache), reads and writes
// them by UPID in the family's width and commits on the drive's answer. The
// children send nothing of their own: whatever they are asked to do
// (Update, Modify, Invalidate, validity) reaches their directory.
//
// GUI thread only.
#include <cstdint>
#include <vector>

#include "parameters/PtGen.h"

namespace vo {

// The names of a family member.
struct TChoiceNames {
    const char* ClassName;
    const char* TypeStr;
    const char* ObjType;
    int HexDigits; // at least this many hexadecimal digits in "HEX" texts
};

// A child of a choice directory: it stands for FChildValue ("ChildValue").
template <class Base, class T>
class TChoiceChildOf : public Base {
public:
    const char* ClassName() const override { return FNames.ClassName; }

    // Passed on to the directory.
    void Update(TServiceClient& Client) override;
    void Modify(TServiceClient& Client) override;
    void Invalidate(TServiceClient& Client) override;
    // "HEX": the child value with at least the family's digits and "h";
    // "DEC": decimal; any other mode: the caption.
    MyAnsiString GetChildValueStr(const MyAnsiString& DisplayMode) const override;
    // Nothing: the directory holds the value.
    void SetDefaultValue(TUnitSystem) override {}
    // Online, a child that sets visibility flags makes its directory one too.
    void Initialize(bool Online) override;
    // The directory's validity.
    bool GetValid() const override;
    std::int32_t GetChildValue() const override { return static_cast<std::int32_t>(FChildValue); }

    T ChildValue() const noexcept { return FChildValue; }

protected:
    // After the base: "ChildValue" (required); the properties "Child Name",
    // "Child Value", "Parent Name", "Parent UPID".
    TChoiceChildOf(TParameterService& AOwner, TSLRecord* ARecord, const TChoiceNames& ANames);

    T FChildValue{};
    TChoiceNames FNames;
};

// A choice directory holding a value of type T (sizeof(T) bytes on the wire)
// with children of class Child.
template <class Base, class T, class Child>
class TChoiceDirOf : public Base {
public:
    using TValue = T;

    const char* ClassName() const override { return FNames.ClassName; }

    // The committed value; raises "Parameter not valid" when not valid.
    T GetValue() const;
    // (The value in a unit system is not one of a choice: it raises.)
    using Base::GetValue;
    // The pending value; no check, no commit, no telegram.
    void SetValue(T Value) noexcept { TempCache = Value; }
    // The first child (in tree order) of class Child whose value equals
    // GetValue (FDefaultValue); nullptr when none. Children of another class
    // are skipped.
    Child* GetSelectedChild() const;
    Child* GetDefaultChild() const;
    // Every child of class Child in tree order (the list is cleared first).
    void GetChildList(std::vector<Child*>& List) const;

    // The value in decimal in every mode; no unit.
    void GetScaledValue(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const override;
    // An empty text does nothing (unless the family refuses it); otherwise a
    // decimal (or "$" hexadecimal) integer within the family's signed or
    // unsigned range, stored as its bit pattern.
    void SetScaledValue(const MyAnsiString& Text, TUnitSystem US, const MyAnsiString& DisplayMode) override;
    void GetDefaultStr(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const override;
    // "HEX": the value with at least the family's digits and "h" (a negative
    // value as its two's complement); "DEC": decimal; other modes "".
    MyAnsiString GetRawDataStr(const MyAnsiString& DisplayMode) const override;
    std::int64_t GetIntValue() const override { return GetValue(); }
    // The low bits of Value become the pending value.
    void SetIntValue(TUnitSystem US, std::int64_t Value) override;
    void SetDefaultValue(TUnitSystem US) override;
    void CopyTempToData() override;
    void RequestUpdate(TOvraActor& Actor, TBasicOvraService& Service, TParameterResponse Response) override;
    // An answer shorter than the value is a failed read: value and validity
    // stay.
    void ProcessUpdate(TOvraActor& Actor, TBasicOvraService& Service) override;
    void RequestModify(TOvraActor& Actor, TBasicOvraService& Service, TParameterResponse Response) override;
    void ProcessModify(TOvraActor& Actor, TBasicOvraService& Service, int Kind) override;

    T DefaultValue() const noexcept { return FDefaultValue; }
    T PendingValue() const noexcept { return TempCache; }

protected:
    // After the base: "DefValue" (required unless ADefaultOptional: 0), the
    // properties "Name" and "UPID".
    TChoiceDirOf(TParameterService& AOwner, TSLRecord* ARecord, const TChoiceNames& ANames, bool ADefaultOptional,
                 bool AEmptyTextIgnored);

    T FDefaultValue{};
    T TempCache{};
    T DataCache{};
    TChoiceNames FNames;
    bool FEmptyTextIgnored;
};

// ------------------------------------------------------------------ enumerators

class TEnumChild16Parameter : public TChoiceChildOf<TParameter, std::uint16_t> {
public:
    TEnumChild16Parameter(TParameterService& AOwner, TSLRecord* ARecord);
};
class TEnumChild8Parameter : public TChoiceChildOf<TParameter, std::uint8_t> {
public:
    TEnumChild8Parameter(TParameterService& AOwner, TSLRecord* ARecord);
};
class TEnumChild32Parameter : public TChoiceChildOf<TParameter, std::uint16_t> {
public:
    TEnumChild32Parameter(TParameterService& AOwner, TSLRecord* ARecord);
};

class TEnumDir16Parameter : public TChoiceDirOf<TParameter, std::uint16_t, TEnumChild16Parameter> {
public:
    TEnumDir16Parameter(TParameterService& AOwner, TSLRecord* ARecord);
    // What the device info view sees: a 16-bit enumeration and the caption
    // of its selected child ("" when none or not valid).
    TParameterInfoKind InfoKind() const override { return TParameterInfoKind::pkEnumDir16; }
    MyAnsiString SelectedEntryCaption() const override;
};
class TEnumDir8Parameter : public TChoiceDirOf<TParameter, std::uint8_t, TEnumChild8Parameter> {
public:
    TEnumDir8Parameter(TParameterService& AOwner, TSLRecord* ARecord);
};
class TEnumDir32Parameter : public TChoiceDirOf<TParameter, std::uint16_t, TEnumChild32Parameter> {
public:
    // "DefValue" is optional here.
    TEnumDir32Parameter(TParameterService& AOwner, TSLRecord* ARecord);
};

extern template class TChoiceChildOf<TParameter, std::uint16_t>;
extern template class TChoiceChildOf<TParameter, std::uint8_t>;
extern template class TChoiceDirOf<TParameter, std::uint16_t, TEnumChild16Parameter>;
extern template class TChoiceDirOf<TParameter, std::uint8_t, TEnumChild8Parameter>;
extern template class TChoiceDirOf<TParameter, std::uint16_t, TEnumChild32Parameter>;

} // namespace vo
