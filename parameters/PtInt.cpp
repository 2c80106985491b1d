#include "parameters/PtInt.h"

#include "comm/OvraClnt.h"
#include "kernel/Debug.h"
#include "kernel/PropList.h"
#include "kernel/functions.h"
#include "parameters/ParSrv.h"
#include "parameters/UniSrv.h"
#include "storagelib/SL20Rec.h"

#include <limits>
#include <string>
#include <type_traits>

namespace vo {

namespace {

// "$…" or "0x…" (after blanks and a sign): a hexadecimal text.
bool IsHexText(const MyAnsiString& Text) {
    std::size_t i = 0;
    while (i < Text.size() && Text[i] == ' ') ++i;
    if (i < Text.size() && (Text[i] == '+' || Text[i] == '-'))
        ++i;
    if (i < Text.size() && Text[i] == '$')
        return true;
    return i + 1 < Text.size() && Text[i] == '0' && (Text[i + 1] == 'x' || Text[i + 1] == 'X');
}

MyAnsiString RangeMessage(const char* TypeStr) {
    return MyAnsiString("Value out of range of ") + TypeStr + " type!";
}

} // namespace

template <class T>
TIntParameterOf<T>::TIntParameterOf(TParameterService& AOwner, TSLRecord* ARecord, const char* AClassName,
                                    const char* ATypeStr)
    : TGenericIntParameter(AOwner, ARecord), FClassName(AClassName) {
    FSize = static_cast<std::int32_t>(sizeof(T));
    FTypeStr = ATypeStr;
    EnsurePropList().SetObjType(MyAnsiString(ATypeStr) + " Parameter");
    AddStrProperty("Name", 1);
    AddStrProperty("UPID", 2);
    if (!ARecord)
        return;
    // Stored cut to the width: the low bytes are kept.
    FMinValue = static_cast<T>(ARecord->GetIntWithName("MinValue"));
    FMaxValue = static_cast<T>(ARecord->GetIntWithName("MaxValue"));
    FDefaultValue = static_cast<T>(ARecord->GetIntWithName("DefValue"));
}

template <class T>
void TIntParameterOf<T>::CheckValid() const {
    if (!GetValid())
        throw Exception(ParameterNotValidText);
}

template <class T>
std::int64_t TIntParameterOf<T>::GetIntValue() const {
    CheckValid();
    return DataCache;
}

template <class T>
double TIntParameterOf<T>::GetValue(TUnitSystem US) const {
    CheckValid();
    return Unit().IntToVal(US, DataCache);
}

template <class T>
double TIntParameterOf<T>::GetDefaultValueDouble(TUnitSystem US) const {
    CheckValid();
    return Unit().IntToVal(US, FDefaultValue);
}

template <class T>
double TIntParameterOf<T>::GetMinValueDouble(TUnitSystem US) const {
    CheckValid();
    return Unit().IntToVal(US, FMinValue);
}

template <class T>
double TIntParameterOf<T>::GetMaxValueDouble(TUnitSystem US) const {
    CheckValid();
    return Unit().IntToVal(US, FMaxValue);
}

template <class T>
std::int64_t TIntParameterOf<T>::GetMinValueInt() const {
    CheckValid();
    return FMinValue;
}

template <class T>
std::int64_t TIntParameterOf<T>::GetMaxValueInt() const {
    CheckValid();
    return FMaxValue;
}

template <class T>
void TIntParameterOf<T>::SetIntValue(TUnitSystem US, std::int64_t Value) {
    const TDeviceUnit& unit = Unit();
    if (Value < static_cast<std::int64_t>(FMinValue))
        throw EParameterMinValueError("Value is too small. The minimum is " + unit.IntToValStr(US, FMinValue) + " " +
                                      unit.GetUnitCaption(US));
    if (Value > static_cast<std::int64_t>(FMaxValue))
        throw EParameterMaxValueError("Value is too big. The maximum is " + unit.IntToValStr(US, FMaxValue) + " " +
                                      unit.GetUnitCaption(US));
    TempCache = static_cast<T>(Value);
}

template <class T>
std::int64_t TIntParameterOf<T>::ParseInteger(const MyAnsiString& Text) const {
    if constexpr (std::is_same_v<T, std::uint32_t>) {
        return StrToInt64(Text);
    } else if constexpr (std::is_signed_v<T> && sizeof(T) < 4) {
        const std::int32_t v = StrToInt(Text);
        // A hexadecimal text is the value's bit pattern: $FF enters -1. A
        // decimal text must already lie in the type's range.
        if (IsHexText(Text))
            return static_cast<T>(v);
        return v;
    } else {
        return StrToInt(Text);
    }
}

template <class T>
void TIntParameterOf<T>::SetScaledValue(const MyAnsiString& Text, TUnitSystem US, const MyAnsiString& DisplayMode) {
    std::int64_t raw = 0;
    if (DisplayMode == "SCALED") {
        raw = Unit().ValStrToInt(Text, US);
    } else if (DisplayMode == "DEC" || DisplayMode == "HEX") {
        raw = ParseInteger(Text);
    } else if (DisplayMode == "BIN") {
        raw = BinaryToInt(Text);
    } else if (DisplayMode == "ASCII" && std::is_same_v<T, std::uint32_t>) {
        if (Text.size() > static_cast<std::size_t>(FSize))
            throw Exception("String too long! Maximal MyAnsiString length is " + std::to_string(FSize));
        for (std::size_t i = 0; i < Text.size(); ++i)
            raw += static_cast<std::int64_t>(static_cast<unsigned char>(Text[i])) << ((FSize - 1 - static_cast<int>(i)) * 8);
    } else {
        throw Exception(MyAnsiString(FTypeStr) + " parameters take no entry in display mode '" + DisplayMode + "'");
    }
    if (raw < static_cast<std::int64_t>(std::numeric_limits<T>::min()) ||
        raw > static_cast<std::int64_t>(std::numeric_limits<T>::max()))
        throw Exception(RangeMessage(FTypeStr.c_str()));
    SetIntValue(US, raw);
}

template <class T>
void TIntParameterOf<T>::LimitText(TValueRec& V, T Value, TUnitSystem US, const MyAnsiString& DisplayMode) const {
    V.UnitStr.clear();
    if (DisplayMode == "SCALED") {
        V.ValueStr = Unit().IntToValStr(US, Value).substr(0, ValueStrMax);
        V.UnitStr = Unit().GetUnitCaption(US).substr(0, UnitStrMax);
    } else if (DisplayMode == "HEX") {
        V.ValueStr = HexText(Value, FSize);
    } else if (DisplayMode == "DEC") {
        V.ValueStr = std::to_string(static_cast<std::int64_t>(Value));
    } else if (DisplayMode == "BIN") {
        V.ValueStr = IntToBinary(Value, FSize);
    }
}

template <class T>
void TIntParameterOf<T>::GetDefaultStr(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const {
    LimitText(V, FDefaultValue, US, DisplayMode);
}

template <class T>
void TIntParameterOf<T>::GetMinValueStr(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const {
    LimitText(V, FMinValue, US, DisplayMode);
}

template <class T>
void TIntParameterOf<T>::GetMaxValueStr(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const {
    LimitText(V, FMaxValue, US, DisplayMode);
}

template <class T>
void TIntParameterOf<T>::SetDefaultValue(TUnitSystem US) {
    SetIntValue(US, FDefaultValue);
    CopyTempToData();
}

template <class T>
void TIntParameterOf<T>::CopyTempToData() {
    if (TempCache == DataCache && GetValid())
        return;
    DataCache = TempCache;
    SetAttrFlag(AttrChanged | AttrValid);
}

template <class T>
void TIntParameterOf<T>::RequestUpdate(TOvraActor&, TBasicOvraService&, TParameterResponse Response) {
    const int sub = ParReadSubCommand(FAddrUsage);
    if (sub < 0)
        return;
    FOwner->GetRequest(ParUPIDRequest(sub, FUPID), std::move(Response));
}

template <class T>
void TIntParameterOf<T>::ProcessUpdate(TOvraActor& Actor, TBasicOvraService&) {
    if (!(FAddrUsage & (AddrRomRead | AddrRamRead)) || Actor.GetResult() != 0)
        return;
    const MyAnsiString answer = FOwner->GetResponse(Actor);
    std::uint64_t value = 0;
    if (!ParValueFromAnswer(answer, sizeof(T), value)) {
        // A short answer carries no value: the old one and its validity stay.
        LogWarning(MyAnsiString(ClassName()) + ".ProcessUpdate: answer of " + std::to_string(answer.size()) +
                   " bytes for UPID " + UPIDText(FUPID) + " is shorter than " + std::to_string(sizeof(T)));
        return;
    }
    TempCache = static_cast<T>(value);
    CopyTempToData();
}

template <class T>
void TIntParameterOf<T>::RequestModify(TOvraActor&, TBasicOvraService&, TParameterResponse Response) {
    const int sub = ParWriteSubCommand(FAddrUsage);
    if (sub < 0)
        return;
    MyAnsiString bytes = ParUPIDRequest(sub, FUPID);
    ParAppendLE(bytes, static_cast<std::make_unsigned_t<T>>(TempCache), sizeof(T));
    FOwner->SetRequest(bytes, std::move(Response));
}

template <class T>
void TIntParameterOf<T>::ProcessModify(TOvraActor& Actor, TBasicOvraService&, int Kind) {
    if (Kind == 1) {
        if ((FAddrUsage & (AddrRomWrite | AddrRamWrite)) && Actor.GetResult() == 0)
            CopyTempToData();
    } else if (Kind == 2) {
        CopyTempToData();
    }
}

template class TIntParameterOf<std::uint8_t>;
template class TIntParameterOf<std::int8_t>;
template class TIntParameterOf<std::uint16_t>;
template class TIntParameterOf<std::int16_t>;
template class TIntParameterOf<std::uint32_t>;
template class TIntParameterOf<std::int32_t>;

TUInt8Parameter::TUInt8Parameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TIntParameterOf(AOwner, ARecord, "TUInt8Parameter", "UInt8") {}
TSInt8Parameter::TSInt8Parameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TIntParameterOf(AOwner, ARecord, "TSInt8Parameter", "SInt8") {}
TUInt16Parameter::TUInt16Parameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TIntParameterOf(AOwner, ARecord, "TUInt16Parameter", "UInt16") {}
TSInt16Parameter::TSInt16Parameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TIntParameterOf(AOwner, ARecord, "TSInt16Parameter", "SInt16") {}
TUInt32Parameter::TUInt32Parameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TIntParameterOf(AOwner, ARecord, "TUInt32Parameter", "UInt32") {}
TSInt32Parameter::TSInt32Parameter(TParameterService& AOwner, TSLRecord* ARecord)
    : TIntParameterOf(AOwner, ARecord, "TSInt32Parameter", "SInt32") {}

} // namespace vo
