#pragma once
// The integer parameters: unsigned and signed values of 8, 16 and 32 bits
// (record types "UInt8", "SInt8", "UInt16", "SInt16", "UInt32", "SInt32").
//
// Each keeps its default and limits from the record ("DefValue", "MinValue",
// "MaxValue", stored cut to the width), a pending value (TempCache: entered,
// read or defaulted, not yet committed) and the committed value (DataCache,
// the one every getter returns). An entry is parsed by display mode, checked
// against the type's range and the limits, and kept pending; the service
// later sends it (RequestModify) and commits it on the drive's answer
// (ProcessModify). A read (RequestUpdate / ProcessUpdate) commits the answer.
// Whatever raises leaves both caches and the attributes as they were.
//
// GUI thread only.
#include <cstdint>

#include "parameters/PtGen.h"
#include "platform/Exception.h"

namespace vo {

// An entered or set value below the minimum / above the maximum.
class EParameterMinValueError : public Exception {
public:
    using Exception::Exception;
};
class EParameterMaxValueError : public Exception {
public:
    using Exception::Exception;
};

// The text of the exception raised by a value getter of a node that holds no
// valid value.
inline constexpr const char* ParameterNotValidText = "Parameter not valid";

// The members differ only in T (the stored type) and the texts given to the
// constructor.
template <class T>
class TIntParameterOf : public TGenericIntParameter {
public:
    const char* ClassName() const override { return FClassName; }

    // "SCALED": the physical value in US; "DEC"/"HEX": an integer ("$" or
    // "0x" for hexadecimal); "BIN": one character per bit, "1" counts;
    // "ASCII" (32-bit unsigned only): up to four characters, big-endian.
    void SetScaledValue(const MyAnsiString& Text, TUnitSystem US, const MyAnsiString& DisplayMode) override;
    void GetDefaultStr(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const override;
    std::int64_t GetIntValue() const override;
    double GetValue(TUnitSystem US) const override;
    void SetDefaultValue(TUnitSystem US) override;
    bool HasAddress() const override { return true; }
    std::int32_t GetAddress() const override { return FAddress.Ram; }
    void CopyTempToData() override;
    void RequestUpdate(TOvraActor& Actor, TBasicOvraService& Service, TParameterResponse Response) override;
    void ProcessUpdate(TOvraActor& Actor, TBasicOvraService& Service) override;
    void RequestModify(TOvraActor& Actor, TBasicOvraService& Service, TParameterResponse Response) override;
    void ProcessModify(TOvraActor& Actor, TBasicOvraService& Service, int Kind) override;
    // Limit check, then the low bytes of Value become the pending value.
    void SetIntValue(TUnitSystem US, std::int64_t Value) override;
    void GetMinValueStr(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const override;
    void GetMaxValueStr(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const override;
    double GetDefaultValueDouble(TUnitSystem US) const override;
    double GetMinValueDouble(TUnitSystem US) const override;
    double GetMaxValueDouble(TUnitSystem US) const override;
    std::int64_t GetMinValueInt() const override;
    std::int64_t GetMaxValueInt() const override;
    std::int64_t GetDefaultValue() const override { return FDefaultValue; }

    // The pending value (widened).
    std::int64_t PendingValue() const noexcept { return TempCache; }

protected:
    // After the generic integer: "MinValue", "MaxValue", "DefValue" (all
    // required), the properties "Name" and "UPID".
    TIntParameterOf(TParameterService& AOwner, TSLRecord* ARecord, const char* AClassName, const char* ATypeStr);

    void CheckValid() const;
    void LimitText(TValueRec& V, T Value, TUnitSystem US, const MyAnsiString& DisplayMode) const;
    // The integer of a "DEC"/"HEX" entry.
    std::int64_t ParseInteger(const MyAnsiString& Text) const;

    T FDefaultValue{};
    T FMinValue{};
    T FMaxValue{};
    T TempCache{};
    T DataCache{};

private:
    const char* FClassName;
};

extern template class TIntParameterOf<std::uint8_t>;
extern template class TIntParameterOf<std::int8_t>;
extern template class TIntParameterOf<std::uint16_t>;
extern template class TIntParameterOf<std::int16_t>;
extern template class TIntParameterOf<std::uint32_t>;
extern template class TIntParameterOf<std::int32_t>;

class TUInt8Parameter : public TIntParameterOf<std::uint8_t> {
public:
    TUInt8Parameter(TParameterService& AOwner, TSLRecord* ARecord);
};
class TSInt8Parameter : public TIntParameterOf<std::int8_t> {
public:
    TSInt8Parameter(TParameterService& AOwner, TSLRecord* ARecord);
};
class TUInt16Parameter : public TIntParameterOf<std::uint16_t> {
public:
    TUInt16Parameter(TParameterService& AOwner, TSLRecord* ARecord);
};
class TSInt16Parameter : public TIntParameterOf<std::int16_t> {
public:
    TSInt16Parameter(TParameterService& AOwner, TSLRecord* ARecord);
};
class TUInt32Parameter : public TIntParameterOf<std::uint32_t> {
public:
    TUInt32Parameter(TParameterService& AOwner, TSLRecord* ARecord);
};
class TSInt32Parameter : public TIntParameterOf<std::int32_t> {
public:
    TSInt32Parameter(TParameterService& AOwner, TSLRecord* ARecord);
};

} // namespace vo
