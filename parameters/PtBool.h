#pragma once
// The Boolean parameter (record type "Bool"): a 16-bit drive word read and
// written as false (0) or true (1). Read answers count as true when the word
// is not 0 (a missing byte counts as 0).
//
// GUI thread only.
#include <cstdint>

#include "parameters/PtGen.h"

namespace vo {

class TBoolParameter : public TGenericBoolParameter {
public:
    // After the base ("SetVFlag"): "DefValue" (not 0 is true); type "Bool",
    // object type "Bool Parameter" with the properties "Name" and "UPID".
    TBoolParameter(TParameterService& AOwner, TSLRecord* ARecord);

    const char* ClassName() const override { return "TBoolParameter"; }

    // The committed value; raises "Parameter not valid" when not valid.
    bool GetBoolValue() const override;
    // The pending value.
    void SetBoolValue(bool Value) override { TempCache = Value; }
    // "SCALED": "True"/"False"; "HEX": "1h"/"0h"; other modes "1"/"0".
    void GetDefaultStr(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const override;
    MyAnsiString GetTrueValueStr(const MyAnsiString& DisplayMode) const;
    MyAnsiString GetFalseValueStr(const MyAnsiString& DisplayMode) const;
    // "HEX": "1h"/"0h"; "DEC": "1"/"0"; other modes "".
    MyAnsiString GetRawDataStr(const MyAnsiString& DisplayMode) const override;
    bool HasAddress() const override { return true; }
    std::int32_t GetAddress() const override { return FRamAddress; }
    std::int32_t GetBitAddr() const override { return FRamBitAddr; }
    void SetDefaultValue(TUnitSystem US) override;
    void CopyTempToData() override;
    void RequestUpdate(TOvraActor& Actor, TBasicOvraService& Service, TParameterResponse Response) override;
    void ProcessUpdate(TOvraActor& Actor, TBasicOvraService& Service) override;
    void RequestModify(TOvraActor& Actor, TBasicOvraService& Service, TParameterResponse Response) override;
    void ProcessModify(TOvraActor& Actor, TBasicOvraService& Service, int Kind) override;

    bool DefaultValue() const noexcept { return FDefaultValue; }
    bool PendingValue() const noexcept { return TempCache; }

    // Two bytes, low byte first.
    static MyAnsiString ValueToData(bool Value);
    // The first two bytes as a little-endian word.
    static std::uint16_t DataToValue(const MyAnsiString& Bytes);

private:
    bool FDefaultValue = false;
    std::int32_t FRomAddress = 0;
    std::int32_t FRomBitAddr = 0;
    std::int32_t FRamAddress = 0;
    std::int32_t FRamBitAddr = 0;
    bool TempCache = false;
    bool DataCache = false;
};

} // namespace vo
