#pragma once
// The text parameters: the string parameter (record type "String"), a drive
// text of limited length such as the device name, and the caption directory
// ("CapDir"), a directory of the tree whose value is a drive text handled
// the same way.
//
// Each keeps the record's default, the length of the text on the drive
// ("MaxSize"), a pending text (TempCache: entered or read, at most 64
// characters) and the committed one (DataCache). Texts travel by get/set
// telegram on protocol generations 0x2x and 0x3x and by block telegram on
// 0x4x; a text longer than the drive keeps is cut to "MaxSize" before it is
// sent. On any other generation the text types send nothing.
//
// The string parameter of master UPID 1000 is the device name: a read or
// accepted write of a text other than the device's caption renames the
// device.
//
// GUI thread only.
#include <cstdint>

#include "parameters/PtGen.h"

namespace vo {

// Longest text a text parameter keeps.
inline constexpr std::size_t ParTextMax = 64;

// The value of a text parameter.
struct TParameterText {
    MyAnsiString FDefaultValue;
    std::uint8_t FMaxSize = 0;
    MyAnsiString TempCache;
    MyAnsiString DataCache;
};

class TStringParameter : public TGenericStrParameter {
public:
    // After the base: "DefValue", "MaxSize"; type "String", object type
    // "String Parameter" with the properties "Name" and "UPID".
    TStringParameter(TParameterService& AOwner, TSLRecord* ARecord);

    const char* ClassName() const override { return "TStringParameter"; }

    // The committed text; raises "Parameter not valid" when not valid.
    MyAnsiString GetStrValue() const override;
    // The pending text := Value cut to 64 characters.
    void SetStrValue(const MyAnsiString& Value) override;
    // The default cut to 64 characters, no unit.
    void GetDefaultStr(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const override;
    // "" in every mode.
    MyAnsiString GetRawDataStr(const MyAnsiString&) const override { return {}; }
    std::int32_t GetAddress() const override { return FAddress.Ram; }
    void SetDefaultValue(TUnitSystem US) override;
    void CopyTempToData() override;
    void RequestUpdate(TOvraActor& Actor, TBasicOvraService& Service, TParameterResponse Response) override;
    void ProcessUpdate(TOvraActor& Actor, TBasicOvraService& Service) override;
    void RequestModify(TOvraActor& Actor, TBasicOvraService& Service, TParameterResponse Response) override;
    void ProcessModify(TOvraActor& Actor, TBasicOvraService& Service, int Kind) override;
    TParameterInfoKind InfoKind() const override { return TParameterInfoKind::pkString; }

    const TParameterText& Text() const noexcept { return FText; }
    std::uint8_t MaxSize() const noexcept { return FText.FMaxSize; }
    const MyAnsiString& PendingValue() const noexcept { return FText.TempCache; }

private:
    TParameterText FText;
};

class TCapDirParameter : public TGenericDirParameter {
public:
    // After the base: "DefValue" (cut to 64), "MaxSize"; type "CapDir",
    // object type "CapDir Parameter" with "Name" and "UPID"; image 21, the
    // caption may be edited in the tree.
    TCapDirParameter(TParameterService& AOwner, TSLRecord* ARecord);

    const char* ClassName() const override { return "TCapDirParameter"; }

    MyAnsiString GetStrValue() const override;
    void SetStrValue(const MyAnsiString& Value) override;
    // GetStrValue cut to 64 characters, no unit.
    void GetScaledValue(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const override;
    void SetScaledValue(const MyAnsiString& Text, TUnitSystem US, const MyAnsiString& DisplayMode) override;
    void GetDefaultStr(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const override;
    MyAnsiString GetRawDataStr(const MyAnsiString&) const override { return {}; }
    void SetDefaultValue(TUnitSystem US) override;
    void CopyTempToData() override;
    // The block read on 0x4x carries no size byte.
    void RequestUpdate(TOvraActor& Actor, TBasicOvraService& Service, TParameterResponse Response) override;
    void ProcessUpdate(TOvraActor& Actor, TBasicOvraService& Service) override;
    void RequestModify(TOvraActor& Actor, TBasicOvraService& Service, TParameterResponse Response) override;
    void ProcessModify(TOvraActor& Actor, TBasicOvraService& Service, int Kind) override;

    const TParameterText& Text() const noexcept { return FText; }
    std::uint8_t MaxSize() const noexcept { return FText.FMaxSize; }
    const MyAnsiString& PendingValue() const noexcept { return FText.TempCache; }

private:
    TParameterText FText;
};

} // namespace vo
