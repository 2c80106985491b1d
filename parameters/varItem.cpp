#include "parameters/varItem.h"

#include <bit>
#include <cfenv>
#include <cmath>
#include <functional>
#include <limits>
#include <map>

#include "kernel/AnsiFormat.h"
#include "kernel/PropItms.h"
#include "kernel/PropList.h"
#include "kernel/ShellServices.h"
#include "kernel/functions.h"
#include "parameters/UniMan.h"
#include "parameters/UniSrv.h"
#include "parameters/VelFloat.h"
#include "platform/Cp1252.h"
#include "platform/Exception.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"
#include "storagelib/SL20Rec.h"

namespace vo {

namespace {

constexpr const char* DataLengthTooBig = "Data length to big for this data type";

// Upper-case hexadecimal digits, zero-padded to at least Digits.
MyAnsiString Hex(std::uint64_t V, int Digits) {
    static const char digits[] = "0123456789ABCDEF";
    MyAnsiString r;
    do {
        r.insert(r.begin(), digits[V & 0xF]);
        V >>= 4;
    } while (V != 0);
    if (static_cast<int>(r.size()) < Digits) r.insert(0, static_cast<std::size_t>(Digits) - r.size(), '0');
    return r;
}

MyAnsiString Dec(std::int64_t V) { return std::to_string(V); }

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

MyAnsiString TrimBlanks(const MyAnsiString& S) {
    std::size_t b = 0, e = S.size();
    while (b < e && IsBlank(S[b])) ++b;
    while (e > b && IsBlank(S[e - 1])) --e;
    return S.substr(b, e - b);
}

MyAnsiString Upper(MyAnsiString S) {
    for (char& c : S)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return S;
}

// The first N bytes (fewer when S is shorter) as an unsigned little-endian value.
std::uint64_t LeValue(const MyAnsiString& S, int N) {
    std::uint64_t v = 0;
    const int n = std::min<int>(N, static_cast<int>(S.size()));
    for (int i = n - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(S[static_cast<std::size_t>(i)]);
    return v;
}

std::int64_t SignExtend(std::uint64_t V, int Bits) {
    if (Bits >= 64) return static_cast<std::int64_t>(V);
    const std::uint64_t sign = std::uint64_t{1} << (Bits - 1);
    const std::uint64_t mask = (std::uint64_t{1} << Bits) - 1;
    V &= mask;
    return static_cast<std::int64_t>((V ^ sign) - sign);
}

std::uint64_t WidthMask(int Bytes) {
    return Bytes >= 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * Bytes)) - 1;
}

// A hexadecimal entry: blanks and tabs around it dropped, an empty text
// refused, a last "h"/"H" dropped, read with a "$" in front.
std::int64_t ReadHexEntry(const MyAnsiString& S) {
    MyAnsiString t = TrimBlanks(S);
    if (t.empty()) throw EConvertError("Invalid Hexadecimal Value!");
    if (t.back() == 'h' || t.back() == 'H') t.pop_back();
    if (t.empty() || t.front() != '$') t.insert(0, "$");
    return StrToInt64(t);
}

[[noreturn]] void RangeError(int Bytes) {
    throw EConvertError("Value out of " + std::to_string(8 * Bytes) + " bit integer range!");
}

// Nearest integer, halves to even; a result outside 64 bits is refused.
std::int64_t RoundToInt64(double V) {
    const double r = std::nearbyint(V);
    if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
        throw EConvertError("'" + FloatToStrGeneral(V) + "' is not a valid integer value");
    return static_cast<std::int64_t>(r);
}

// Strict hexadecimal digits of an address text.
std::uint64_t ParseAddrHex(const MyAnsiString& S, std::uint64_t Max) {
    const auto bad = [&] { return EConvertError("'" + S + "' is not a valid integer value"); };
    if (S.empty() || S.size() > 16) throw bad();
    std::uint64_t v = 0;
    for (char c : S) {
        int d;
        if (c >= '0' && c <= '9')
            d = c - '0';
        else if (c >= 'A' && c <= 'F')
            d = c - 'A' + 10;
        else if (c >= 'a' && c <= 'f')
            d = c - 'a' + 10;
        else
            throw bad();
        v = (v << 4) | static_cast<std::uint64_t>(d);
    }
    if (v > Max) throw bad();
    return v;
}

bool Has(const TSLNamedCollection& Conf, const char* Name) { return Conf.GetIndexOfName(Name) >= 0; }

MyAnsiString ZeroBytes(int N) { return MyAnsiString(static_cast<std::size_t>(N), '\0'); }

} // namespace

// ================================================================== TVarItem

TVarItem::TVarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType)
    : FVarSourceType(ASourceType), FRecDef(MakeRef<TSLDictionary>()),
      FPropList(std::make_unique<TPropertyList>()), FOwner(&AOwner), FParent(AParent) {
    SetFlag(vfCreated);
    SetFlag(vfVisible);
    TSLDictionary& d = *FRecDef;
    const auto str = [&](const char* Name) { d.SetObjWithName(Name, MakeRef<TSLString>("").Get()); };
    const auto num = [&](const char* Name, std::int64_t V) { d.SetObjWithName(Name, MakeRef<TSLLongint>(V).Get()); };
    str("Name");
    str("Address");
    str("Caption");
    str("Data");
    str("VarType");
    str("DisplayMode");
    num("Permission", 0);
    num("AddrUsage", 0);
    num("UPID", -1);
    num("UUID", -1);
    num("MaxValue", 0);
    num("MinValue", 0);
    num("DefValue", 0);

    const bool user = FVarSourceType == vstUserDefined;
    AddStrProperty("Name", 2, user);
    if (user)
        AddStrProperty("Address (HEX)", 1, true);
    else
        AddStrProperty("UPID", 14, false);
}

TVarItem::~TVarItem() = default;

void TVarItem::InitType(const char* AVarType, int ALength, int ADataDefault, const char* AObjType) {
    FVarType = AVarType;
    FRecDef->SetIdent(AVarType);
    SetDataLength(ALength);
    if (ADataDefault > 0) FRecDef->SetStrWithName("Data", ZeroBytes(ADataDefault));
    FPropList->SetObjType(AObjType);
}

void TVarItem::AddScaleFields() {
    FRecDef->SetObjWithName("Offset", MakeRef<TSLDouble>(0.0).Get());
    FRecDef->SetObjWithName("Scale", MakeRef<TSLDouble>(1.0).Get());
    FRecDef->SetObjWithName("UnitStr", MakeRef<TSLString>("").Get());
    if (FVarSourceType != vstUserDefined) return;
    AddDblProperty("Offset", 5, true);
    AddDblProperty("Scale", 4, true);
    AddStrProperty("UnitStr", 6, true);
    AddStrProperty("DisplayMode", 13, true);
    TPropertyItem& mode = FPropList->GetItemWithName("DisplayMode");
    mode.SetViewer("COMBO");
    mode.SetComboListStr("SCALED,DEC,HEX,BIN");
}

void TVarItem::AddStrProperty(const MyAnsiString& AName, int AIdent, bool AWritable) {
    TSetString set;
    if (AWritable)
        set = [](TObject* O, int Id, const MyAnsiString& V) { static_cast<TVarItem*>(O)->SetStrVarProp(Id, V); };
    FPropList->Add<TStringProperty>(AName).Setup(
        [](TObject* O, int Id) { return static_cast<TVarItem*>(O)->GetStrVarProp(Id); }, std::move(set), AIdent);
}

void TVarItem::AddDblProperty(const MyAnsiString& AName, int AIdent, bool AWritable) {
    TSetDouble set;
    if (AWritable) set = [](TObject* O, int Id, double V) { static_cast<TVarItem*>(O)->SetDblVarProp(Id, V); };
    FPropList->Add<TDoubleProperty>(AName).Setup(
        [](TObject* O, int Id) { return static_cast<TVarItem*>(O)->GetDblVarProp(Id); }, std::move(set), AIdent);
}

void TVarItem::AddIntProperty(const MyAnsiString& AName, int AIdent, bool AWritable) {
    TSetLongint set;
    if (AWritable)
        set = [](TObject* O, int Id, std::int32_t V) { static_cast<TVarItem*>(O)->SetIntVarProp(Id, V); };
    FPropList->Add<TLongintProperty>(AName).Setup(
        [](TObject* O, int Id) { return static_cast<TVarItem*>(O)->GetIntVarProp(Id); }, std::move(set), AIdent);
}

MyAnsiString TVarItem::GetValueStr() const { return CheckFlag(vfValid) ? BinToDisp(FData) : MyAnsiString(); }

void TVarItem::SetValueStr(const MyAnsiString& Value) { SetDataCache(DispToBin(Value)); }

MyAnsiString TVarItem::BinToDisp(const MyAnsiString&) const { throw EAbstractError(); }
MyAnsiString TVarItem::DispToBin(const MyAnsiString&) const { throw EAbstractError(); }
std::int64_t TVarItem::BinToInt(const MyAnsiString&) const { throw EAbstractError(); }
MyAnsiString TVarItem::GetRawDataStr(const MyAnsiString&) const { return {}; }

void TVarItem::SetRawDataCache(const MyAnsiString& S) {
    TUpdate update(*FOwner);
    FData = S;
    SetFlag(vfChanged);
    SetFlag(vfValid);
}

void TVarItem::SetDataCache(const MyAnsiString& S) {
    // The cache keeps the data length: longer bytes are cut, shorter ones
    // (a value in fewer little-endian bytes) are zero-extended, so that one
    // short answer cannot shrink the variable for good.
    MyAnsiString data = S.substr(0, FSize);
    data.resize(FSize, '\0');
    if (data == FData && CheckFlag(vfValid)) return;
    SetRawDataCache(data);
}

void TVarItem::SetDataLength(int ALength) {
    FSize = static_cast<std::uint8_t>(ALength);
    FData.resize(static_cast<std::size_t>(std::max(ALength, 0)), '\0');
}

int TVarItem::GetDataSize() const {
    if (Cp1252UpperCase(FVarType) == "STRING") return FMaxSize & 0xFF;
    return static_cast<int>(FData.size());
}

void TVarItem::SetFlag(int AFlag) noexcept {
    if (AFlag >= 0 && AFlag <= 15) FFlagSet = static_cast<std::uint16_t>(FFlagSet | (1u << AFlag));
}

void TVarItem::ClearFlag(int AFlag) noexcept {
    if (AFlag >= 0 && AFlag <= 15) FFlagSet = static_cast<std::uint16_t>(FFlagSet & ~(1u << AFlag));
}

bool TVarItem::CheckFlag(int AFlag) const noexcept {
    return AFlag >= 0 && AFlag <= 15 && (FFlagSet & (1u << AFlag)) != 0;
}

void TVarItem::SetCaption(const MyAnsiString& Value) {
    TUpdate update(*FOwner);
    FCaption = Value;
    SetFlag(vfModified);
    FOwner->AddChangeInfo(vciModified);
}

void TVarItem::SetAddress(std::uint32_t Value) {
    TUpdate update(*FOwner);
    FAddress = Value;
    SetFlag(vfModified);
    FOwner->AddChangeInfo(vciModified);
}

void TVarItem::SetBitAddr(std::uint8_t Value) {
    TUpdate update(*FOwner);
    FBitAddr = Value;
    SetFlag(vfModified);
    FOwner->AddChangeInfo(vciModified);
}

MyAnsiString TVarItem::GetAddrStr() const {
    MyAnsiString r = Hex(FAddress & 0xFFFF, 4);
    if (FAddress > 0xFFFF) r = Hex(FAddress >> 16, 4) + ":" + r;
    if (Cp1252UpperCase(FVarType) == "BOOL16") r += "." + Hex(FBitAddr, 1);
    return r;
}

void TVarItem::SetAddrStr(const MyAnsiString& Value) {
    MyAnsiString t = Value;
    if (const auto colon = t.find(':'); colon != MyAnsiString::npos) t.erase(colon, 1);
    std::uint8_t bit = 0;
    if (const auto dot = t.find('.'); dot != MyAnsiString::npos) {
        bit = static_cast<std::uint8_t>(ParseAddrHex(t.substr(dot + 1), 0xFF));
        t.erase(dot);
    }
    const auto address = t.empty() ? 0u : static_cast<std::uint32_t>(ParseAddrHex(t, 0xFFFFFFFF));
    TUpdate update(*FOwner);
    SetBitAddr(bit);
    SetAddress(address);
}

MyAnsiString TVarItem::GetVarName() const {
    if (FVarSourceType == vstUserDefined) return FCaption + "_" + Dec(FAddress) + "_" + Dec(FBitAddr);
    return FName;
}

TDeviceUnit* TVarItem::GetDevUnit() const {
    return FVarSourceType == vstSystem ? FOwner->GetUnitWithUUID(FUUID) : nullptr;
}

double TVarItem::GetScale() const {
    if (FVarSourceType != vstSystem) return FScale;
    const TDeviceUnit* unit = GetDevUnit();
    return unit ? unit->GetUnitInfo(UnitManager().GetUnitSystem()).Scale : 1.0;
}

double TVarItem::GetOffset() const {
    if (FVarSourceType != vstSystem) return FOffset;
    const TDeviceUnit* unit = GetDevUnit();
    return unit ? unit->GetUnitInfo(UnitManager().GetUnitSystem()).Offset : 0.0;
}

MyAnsiString TVarItem::GetUnitStr() const {
    if (FVarSourceType != vstSystem) return FUnitStr;
    const TDeviceUnit* unit = GetDevUnit();
    return unit ? unit->GetUnitCaption(UnitManager().GetUnitSystem()).substr(0, UnitStrMax) : MyAnsiString();
}

void TVarItem::RequestRead() {
    if (FOwner->GetUpdateRunning()) throw Exception("internal error");
    FOwner->SetUpdateRequest();
    if (FParent) FParent->SetUpdateRequest();
    SetFlag(vfReadReq);
}

void TVarItem::RequestWrite() {
    if (FOwner->GetUpdateRunning()) throw Exception("internal error");
    FOwner->SetUpdateRequest();
    if (FParent) FParent->SetUpdateRequest();
    SetFlag(vfWriteReq);
}

void TVarItem::Delete() {
    TUpdate update(*FOwner);
    SetFlag(vfDeleted);
    FOwner->AddChangeInfo(vciDeleted);
}

void TVarItem::ClearConfig() {
    SetCaption("");
    SetAddress(0);
    SetBitAddr(0);
    FUUID = -1;
    FDeviceUPID = -1;
    ClearFlag(vfValid);
    ClearFlag(vfBoolean);
}

TRef<TSLRecord> TVarItem::GetConfig() const { return nullptr; }

void TVarItem::SetConfig(const TSLNamedCollection&) { throw EAbstractError(); }

TRef<TSLRecord> TVarItem::NewConfig() const {
    TRef<TSLRecord> r = MakeRef<TSLRecord>(FRecDef.Get());
    r->SetStrWithName("VarType", FVarType);
    r->SetStrWithName("Caption", FCaption);
    r->SetIntWithName("Permission", FPermission);
    r->SetStrWithName("Data", FData);
    if (FVarSourceType == vstUserDefined)
        r->SetStrWithName("Address", GetAddrStr());
    else
        r->SetIntWithName("UPID", FDeviceUPID);
    return r;
}

void TVarItem::ReadCommonConfig(const TSLNamedCollection& Conf, bool ADisplayMode, bool AData) {
    if (Has(Conf, "Caption")) SetCaption(Conf.GetStrWithName("Caption"));
    if (ADisplayMode && Has(Conf, "DisplayMode")) FDisplayMode = Conf.GetStrWithName("DisplayMode");
    if (Has(Conf, "AddrUsage")) FAddrUsage = static_cast<std::uint16_t>(Conf.GetIntWithName("AddrUsage"));
    if (Has(Conf, "Permission")) FPermission = static_cast<std::uint8_t>(Conf.GetIntWithName("Permission"));
    if (AData && Has(Conf, "Data")) SetDataCache(Conf.GetStrWithName("Data"));
    if (Has(Conf, "VarType")) FVarType = Conf.GetStrWithName("VarType");
}

void TVarItem::ReadAddressConfig(const TSLNamedCollection& Conf) {
    if (FVarSourceType == vstUserDefined) {
        if (Has(Conf, "Address")) SetAddrStr(Conf.GetStrWithName("Address"));
        return;
    }
    const auto upid = static_cast<std::int32_t>(Conf.GetIntWithName("UPID"));
    FDeviceUPID =
        Has(Conf, "DEVICE_UPID") ? static_cast<std::int32_t>(Conf.GetIntWithName("DEVICE_UPID")) : upid;
    FMasterUPID = upid;
}

void TVarItem::SetInfoStrings(const TSLNamedCollection& Conf) {
    if (!Has(Conf, "HelpTextDict")) return;
    const auto* texts = dynamic_cast<const TSLNamedCollection*>(Conf.GetObjWithName("HelpTextDict"));
    if (!texts) return;
    for (int i = 0; i < texts->GetCount(); ++i) {
        const MyAnsiString text = texts->GetStrAtIndex(i);
        if (!text.empty()) FPropList->AddInfoStringListItem(texts->GetNameAtIndex(i), text);
    }
}

MyAnsiString TVarItem::GetStrVarProp(int Ident) const {
    switch (Ident) {
    case 1: return GetAddrStr();
    case 2: return FCaption;
    case 3: return GetValueStr();
    case 4: return PropFloatToStr(GetScale());
    case 5: return PropFloatToStr(GetOffset());
    case 6: return GetUnitStr();
    case 10: return Dec(FMaxSize);
    case 13: return FDisplayMode;
    case 14:
        if (ShellServices().UPIDDispMode() == "HEX")
            return Hex(static_cast<std::uint32_t>(FDeviceUPID), 4) + "h";
        return Dec(FDeviceUPID);
    default: return {};
    }
}

void TVarItem::SetStrVarProp(int Ident, const MyAnsiString& Value) {
    TUpdate update(*FOwner);
    switch (Ident) {
    case 1: SetAddrStr(Value); break;
    case 2: SetCaption(Value); break;
    case 3: SetValueStr(Value); break;
    case 4: FScale = PropStrToFloat(Value); break;
    case 5: FOffset = PropStrToFloat(Value); break;
    case 6: FUnitStr = Value.substr(0, UnitStrMax); break;
    case 10: FMaxSize = PropStrToInt(Value); break;
    case 13: FDisplayMode = Value; break;
    default: break;
    }
}

double TVarItem::GetDblVarProp(int Ident) const {
    switch (Ident) {
    case 4: return GetScale();
    case 5: return GetOffset();
    case 10: return FMaxSize;
    default: return 0.0;
    }
}

void TVarItem::SetDblVarProp(int Ident, double Value) {
    TUpdate update(*FOwner);
    switch (Ident) {
    case 4: FScale = Value; break;
    case 5: FOffset = Value; break;
    case 10: FMaxSize = static_cast<std::int32_t>(RoundToInt64(Value)); break;
    default: break;
    }
}

std::int32_t TVarItem::GetIntVarProp(int Ident) const {
    switch (Ident) {
    case 4: return static_cast<std::int32_t>(RoundToInt64(FScale));
    case 5: return static_cast<std::int32_t>(RoundToInt64(FOffset));
    case 10: return FMaxSize;
    default: return 0;
    }
}

void TVarItem::SetIntVarProp(int Ident, std::int32_t Value) {
    TUpdate update(*FOwner);
    switch (Ident) {
    case 4: FScale = Value; break;
    case 5: FOffset = Value; break;
    case 10: FMaxSize = Value; break;
    default: break;
    }
}

// ================================================================== TIntVarItem

TIntVarItem::TIntVarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType)
    : TVarItem(AOwner, AParent, ASourceType) {
    AddScaleFields();
}

MyAnsiString TIntVarItem::ScaledText(std::int64_t V) const {
    MyAnsiString text;
    if (FVarSourceType == vstSystem) {
        const TDeviceUnit* unit = GetDevUnit();
        if (!unit) return {};
        text = unit->IntToValStr(UnitManager().GetUnitSystem(), V);
    } else {
        text = FloatToStrGeneral(FScale * static_cast<double>(V) + FOffset);
    }
    const MyAnsiString unitText = GetUnitStr();
    if (!unitText.empty()) text += " " + unitText;
    return text;
}

std::int64_t TIntVarItem::ScaledToInt(const MyAnsiString& S, bool WholeText) const {
    const auto split = [](const MyAnsiString& T, MyAnsiString& Rest) {
        std::size_t i = 0;
        while (i < T.size() && (T[i] == '-' || T[i] == '.' || (T[i] >= '0' && T[i] <= '9'))) ++i;
        Rest = T.substr(i);
        return T.substr(0, i);
    };
    MyAnsiString rest;
    if (FVarSourceType != vstSystem) {
        const MyAnsiString number = WholeText ? S : split(S, rest);
        return RoundToInt64((PropStrToFloat(number) - FOffset) / FScale);
    }
    const TDeviceUnit* unit = GetDevUnit();
    if (!unit) throw EConvertError("Unit not found!");
    const TUnitSystem us = UnitManager().GetUnitSystem();
    if (WholeText) return unit->ValToInt(us, PropStrToFloat(S));
    MyAnsiString t = S;
    t.erase(0, t.find_first_not_of(" \t") == MyAnsiString::npos ? t.size() : t.find_first_not_of(" \t"));
    const MyAnsiString number = split(t, rest);
    rest = TrimBlanks(rest);
    const MyAnsiString caption = GetUnitStr();
    if (!rest.empty() && rest != caption)
        throw EConvertError("Wrong Unit! Unit '" + caption + "' expected, but '" + rest + "' found!");
    return unit->ValStrToInt(number, us);
}

MyAnsiString TIntVarItem::BinToDisp(const MyAnsiString& S) const {
    const std::int64_t v = BinToInt(S);
    if (FDisplayMode == "SCALED") return ScaledText(v);
    if (FDisplayMode == "HEX") return Hex(static_cast<std::uint64_t>(v) & WidthMask(FSize), 2 * FSize) + "h";
    if (FDisplayMode == "DEC") return Dec(v);
    if (FDisplayMode == "BIN") return IntToBinary(v, FSize);
    return {};
}

MyAnsiString TIntVarItem::DispToBin(const MyAnsiString& S) const {
    std::int64_t r = 0;
    if (FDisplayMode == "SCALED") {
        r = ScaledToInt(S, false);
    } else if (FDisplayMode == "DEC") {
        r = StrToInt64(S);
    } else if (FDisplayMode == "HEX") {
        r = ReadHexEntry(S);
        const std::uint64_t mask = WidthMask(FSize);
        if (r < 0 || static_cast<std::uint64_t>(r) > mask) RangeError(FSize);
        if (IsSigned()) r = SignExtend(static_cast<std::uint64_t>(r), 8 * FSize);
    } else if (FDisplayMode == "BIN") {
        r = BinaryToInt(S);
    }
    if (r > GetMaxValue())
        throw EConvertError("Value is too big! The maximum is " + BinToDisp(ValueToData(GetMaxValue(), FSize)));
    if (r < GetMinValue())
        throw EConvertError("Value is too small The minimum is " + BinToDisp(ValueToData(GetMinValue(), FSize)));
    return ValueToData(r, FSize);
}

MyAnsiString TIntVarItem::GetRawDataStr(const MyAnsiString& ADisplayMode) const {
    if (!CheckFlag(vfValid)) return "---";
    if (ADisplayMode == "HEX")
        return Hex(static_cast<std::uint64_t>(BinToInt(FData)) & WidthMask(FSize), 2 * FSize) + "h";
    if (ADisplayMode == "DEC") return Dec(BinToInt(FData));
    return {};
}

std::int64_t TIntVarItem::GetMaxValue() const { throw EAbstractError(); }
std::int64_t TIntVarItem::GetMinValue() const { throw EAbstractError(); }

double TIntVarItem::PhysicalValue(TUnitSystem US) const {
    if (!CheckFlag(vfValid)) return 0.0;
    const std::int64_t v = BinToInt(FData);
    if (FVarSourceType != vstSystem) return FScale * static_cast<double>(v) + FOffset;
    const TDeviceUnit* unit = GetDevUnit();
    return unit ? unit->IntToVal(US, v) : 0.0;
}

double TIntVarItem::GetFloatValue() const { return PhysicalValue(UnitManager().GetUnitSystem()); }
double TIntVarItem::GetSIValue() const { return PhysicalValue(usSI); }

TRef<TSLRecord> TIntVarItem::GetConfig() const {
    TRef<TSLRecord> r = NewConfig();
    r->SetStrWithName("DisplayMode", FDisplayMode);
    r->SetIntWithName("AddrUsage", FAddrUsage);
    r->SetFloatWithName("Scale", FScale);
    r->SetFloatWithName("Offset", FOffset);
    r->SetStrWithName("UnitStr", FUnitStr);
    if (FVarSourceType != vstUserDefined) {
        r->SetIntWithName("UUID", FUUID);
        r->SetIntWithName("MinValue", FMinValue);
        r->SetIntWithName("MaxValue", FMaxValue);
        r->SetIntWithName("DefValue", FDefaultValue);
    }
    return r;
}

void TIntVarItem::SetConfig(const TSLNamedCollection& Conf) {
    TUpdate update(*FOwner);
    ClearConfig();
    ReadCommonConfig(Conf, true, true);
    FIsUPIDScaled = false;
    if (Has(Conf, "AdditionalFunction")) {
        const MyAnsiString function = Conf.GetStrWithName("AdditionalFunction");
        static const MyAnsiString prefix = "UPIDSCALE:";
        if (Upper(function).starts_with(prefix)) {
            FUPIDScaleUPID = StrToInt(function.substr(prefix.size()));
            FIsUPIDScaled = true;
        }
    }
    ReadAddressConfig(Conf);
    if (FVarSourceType == vstSystem) {
        const auto get = [&](const char* Name, std::int32_t& Field) {
            if (Has(Conf, Name)) Field = static_cast<std::int32_t>(Conf.GetIntWithName(Name));
        };
        get("DefValue", FDefaultValue);
        get("MinValue", FMinValue);
        get("MaxValue", FMaxValue);
        get("UUID", FUUID);
    } else if (FVarSourceType == vstUserDefined) {
        if (Has(Conf, "Scale")) FScale = GetNumberWithName(Conf, "Scale");
        if (Has(Conf, "Offset")) FOffset = GetNumberWithName(Conf, "Offset");
        if (Has(Conf, "UnitStr")) FUnitStr = Conf.GetStrWithName("UnitStr").substr(0, UnitStrMax);
    }
}

// ------------------------------------------------------------------ fixed widths

template <int Bytes, bool Signed>
TFixedIntVarItem<Bytes, Signed>::TFixedIntVarItem(TVarItemOwner& AOwner, TVarItemParent* AParent,
                                                  TVarSourceType ASourceType)
    : TIntVarItem(AOwner, AParent, ASourceType) {
    static const char* const names[2][5] = {{"", "UInt8", "UInt16", "", "UInt32"}, {"", "SInt8", "SInt16", "", "SInt32"}};
    const char* name = names[Signed ? 1 : 0][Bytes];
    InitType(name, Bytes, Bytes == 4 ? 4 : 0, (MyAnsiString(name) + " Variable").c_str());
}

template <int Bytes, bool Signed>
std::int64_t TFixedIntVarItem<Bytes, Signed>::BinToInt(const MyAnsiString& S) const {
    const std::uint64_t v = LeValue(S, Bytes);
    return Signed ? SignExtend(v, 8 * Bytes) : static_cast<std::int64_t>(v);
}

template <int Bytes, bool Signed>
std::int64_t TFixedIntVarItem<Bytes, Signed>::GetMaxValue() const {
    return Signed ? (std::int64_t{1} << (8 * Bytes - 1)) - 1 : (std::int64_t{1} << (8 * Bytes)) - 1;
}

template <int Bytes, bool Signed>
std::int64_t TFixedIntVarItem<Bytes, Signed>::GetMinValue() const {
    return Signed ? -(std::int64_t{1} << (8 * Bytes - 1)) : 0;
}

template class TFixedIntVarItem<1, false>;
template class TFixedIntVarItem<1, true>;
template class TFixedIntVarItem<2, false>;
template class TFixedIntVarItem<2, true>;
template class TFixedIntVarItem<4, false>;
template class TFixedIntVarItem<4, true>;

// ------------------------------------------------------------------ 48 bits

T48BitVarItem::T48BitVarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType)
    : TIntVarItem(AOwner, AParent, ASourceType) {}

std::int64_t T48BitVarItem::BinToInt(const MyAnsiString& S) const {
    const std::uint64_t v = LeValue(S, 6);
    return IsSigned() ? SignExtend(v, 48) : static_cast<std::int64_t>(v);
}

MyAnsiString T48BitVarItem::DispToBin(const MyAnsiString& S) const {
    std::int64_t r = 0;
    if (FDisplayMode == "SCALED") {
        r = ScaledToInt(S, true);
    } else if (FDisplayMode == "HEX") {
        if (S.size() > 13) throw EConvertError(DataLengthTooBig);
        r = StrToInt64(S);
    } else if (FDisplayMode == "DEC") {
        r = StrToInt64(S);
    } else if (FDisplayMode == "BIN") {
        if (S.size() > 48) throw EConvertError(DataLengthTooBig);
        r = BinaryToInt(S);
    }
    constexpr std::int64_t two48 = std::int64_t{1} << 48;
    if (IsSigned()) {
        if (r >= two48) throw EConvertError("Value to big for this data type");
        if (r >= two48 / 2) r -= two48;
    }
    if (r > GetMaxValue()) throw EConvertError(MyAnsiString(ClassName()) + ".DefaultDispStrToInt: value too big");
    if (r < GetMinValue()) throw EConvertError(MyAnsiString(ClassName()) + ".DefaultDispStrToInt: value too small");
    return ValueToData(r, 6);
}

TUInt48VarItem::TUInt48VarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType)
    : T48BitVarItem(AOwner, AParent, ASourceType) {
    InitType("UInt48", 6, 6, "UInt48 Variable");
}

TSInt48VarItem::TSInt48VarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType)
    : T48BitVarItem(AOwner, AParent, ASourceType) {
    InitType("SInt48", 6, 6, "SInt48 Variable");
}

// ================================================================== floats

TFloatVarItemBase::TFloatVarItemBase(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType)
    : TIntVarItem(AOwner, AParent, ASourceType) {}

std::int64_t TFloatVarItemBase::BinToInt(const MyAnsiString& S) const { return SignExtend(LeValue(S, 4), 32); }

std::int64_t TFloatVarItemBase::GetMaxValue() const { return std::numeric_limits<std::int64_t>::max(); }
std::int64_t TFloatVarItemBase::GetMinValue() const { return std::numeric_limits<std::int64_t>::min(); }

MyAnsiString TFloatVarItemBase::GetRawDataStr(const MyAnsiString& ADisplayMode) const {
    if (!CheckFlag(vfValid)) return "---";
    const std::uint64_t w = LeValue(FData, 4);
    if (ADisplayMode == "HEX") return Hex(w, 8) + "h";
    if (ADisplayMode == "DEC") return Dec(static_cast<std::int64_t>(w));
    return {};
}

MyAnsiString TFloatVarItemBase::RawText(const MyAnsiString& S) const {
    const std::int64_t w = BinToInt(S);
    if (FDisplayMode == "HEX") return Hex(static_cast<std::uint32_t>(w), 8) + "h";
    if (FDisplayMode == "DEC") return Dec(w);
    if (FDisplayMode == "BIN") return IntToBinary(w, 4);
    return {};
}

MyAnsiString TFloatVarItemBase::RawEntry(const MyAnsiString& S, bool AIEEE) const {
    std::int64_t r = 0;
    // A hexadecimal pattern may use all 32 bits; a decimal or binary one of a
    // float shown signed may also be entered signed.
    std::int64_t max = 0xFFFFFFFF;
    if (FDisplayMode == "HEX") {
        if (S.size() > 9) throw EConvertError(DataLengthTooBig);
        r = AIEEE ? ReadHexEntry(S) : StrToInt64(S);
    } else if (FDisplayMode == "DEC") {
        r = StrToInt64(S);
        if (AIEEE) max = 2147483647;
    } else if (FDisplayMode == "BIN") {
        if (S.size() > 32) throw EConvertError(DataLengthTooBig);
        r = BinaryToInt(S);
        if (AIEEE) max = 2147483647;
    }
    if (r > max) throw EConvertError(MyAnsiString(ClassName()) + ".DefaultDispStrToInt: value too big");
    if (r < -2147483648LL) throw EConvertError(MyAnsiString(ClassName()) + ".DefaultDispStrToInt: value too small");
    return ValueToData(r, 4);
}

TVelFloat32VarItem::TVelFloat32VarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType)
    : TFloatVarItemBase(AOwner, AParent, ASourceType) {
    InitType("VelFloat", 4, 4, "VelFloat Variable");
}

MyAnsiString TVelFloat32VarItem::BinToDisp(const MyAnsiString& S) const {
    if (FDisplayMode != "SCALED") return RawText(S);
    const auto w = static_cast<std::uint32_t>(LeValue(S, 4));
    if ((w & 0x8000u) == 0) return "0.0";
    return FloatToStrGeneral(VelFloatToDouble(w));
}

MyAnsiString TVelFloat32VarItem::DispToBin(const MyAnsiString& S) const {
    if (FDisplayMode != "SCALED") return RawEntry(S, false);
    return ValueToData(DoubleToVelFloat(PropStrToFloat(S)), 4);
}

double TVelFloat32VarItem::GetFloatValue() const {
    return VelFloatToDouble(static_cast<std::uint32_t>(LeValue(FData, 4)));
}

TFloat32VarItem::TFloat32VarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType)
    : TFloatVarItemBase(AOwner, AParent, ASourceType) {
    InitType("FloatIEEE754", 4, 4, "Float_IEEE_754 Variable");
}

MyAnsiString TFloat32VarItem::BinToDisp(const MyAnsiString& S) const {
    if (FDisplayMode != "SCALED") return RawText(S);
    const float x = std::bit_cast<float>(static_cast<std::uint32_t>(LeValue(S, 4)));
    MyAnsiString text = FloatToStrGeneral(static_cast<double>(x) * GetScale() + GetOffset());
    const MyAnsiString unit = GetUnitStr();
    if (!unit.empty()) text += " " + unit;
    return text;
}

MyAnsiString TFloat32VarItem::DispToBin(const MyAnsiString& S) const {
    if (FDisplayMode != "SCALED") return RawEntry(S, true);
    const float v = static_cast<float>(PropStrToFloat(S));
    const float raw = static_cast<float>((static_cast<double>(v) - GetOffset()) / GetScale());
    return ValueToData(std::bit_cast<std::uint32_t>(raw), 4);
}

double TFloat32VarItem::GetFloatValue() const {
    return static_cast<double>(std::bit_cast<float>(static_cast<std::uint32_t>(LeValue(FData, 4))));
}

// ================================================================== enumerators

TEnumChildVarItem::TEnumChildVarItem(TEnumDirVarItem& AParent, const MyAnsiString& AName, std::int32_t AChildValue,
                                     std::uint8_t APermission)
    : FEnumParent(&AParent), FChildName(AName), FChildValue(AChildValue), FPermission(APermission) {}

MyAnsiString TEnumChildVarItem::GetChildValueStr(const MyAnsiString& ADisplayMode) const {
    if (ADisplayMode == "HEX") return Hex(static_cast<std::uint32_t>(FChildValue), 2 * FEnumParent->Bytes()) + "h";
    if (ADisplayMode == "DEC") return Dec(FChildValue);
    return FChildName;
}

TEnumDirVarItem::TEnumDirVarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType,
                                 int ABytes)
    : TVarItem(AOwner, AParent, ASourceType), FBytes(ABytes) {}

TEnumDirVarItem::~TEnumDirVarItem() = default;

TEnumChildVarItem& TEnumDirVarItem::AddChild(const MyAnsiString& AName, std::int32_t AChildValue,
                                             std::uint8_t APermission) {
    FChildren.push_back(std::make_unique<TEnumChildVarItem>(*this, AName, AChildValue, APermission));
    return *FChildren.back();
}

std::int64_t TEnumDirVarItem::BinToInt(const MyAnsiString& S) const {
    return static_cast<std::int64_t>(LeValue(S, FBytes));
}

MyAnsiString TEnumDirVarItem::BinToDisp(const MyAnsiString& S) const {
    const std::int64_t v = BinToInt(S);
    if (FDisplayMode == "SCALED") {
        for (const auto& child : FChildren)
            if (child->ChildValue() == v) return child->ChildName();
        return Dec(v);
    }
    if (FDisplayMode == "HEX") return Hex(static_cast<std::uint64_t>(v), 2 * FBytes) + "h";
    if (FDisplayMode == "DEC") return Dec(v);
    if (FDisplayMode == "BIN") return IntToBinary(v, FBytes);
    return {};
}

MyAnsiString TEnumDirVarItem::DispToBin(const MyAnsiString& S) const {
    if (FChildren.empty()) throw EConvertError("No Child Found!");
    MyAnsiString text;
    if (FDisplayMode == "SCALED") {
        text = S;
    } else if (FDisplayMode == "DEC") {
        text = Dec(StrToInt64(S));
    } else if (FDisplayMode == "HEX") {
        const std::int64_t v = ReadHexEntry(S);
        if (v < 0 || static_cast<std::uint64_t>(v) > WidthMask(FBytes)) RangeError(FBytes);
        text = Hex(static_cast<std::uint64_t>(v), 2 * FBytes) + "h";
    }
    const MyAnsiString wanted = Upper(text);
    for (const auto& child : FChildren)
        if (Upper(child->GetChildValueStr(FDisplayMode)) == wanted) return ValueToData(child->ChildValue(), FBytes);
    throw EConvertError("No Valid Child Found!");
}

MyAnsiString TEnumDirVarItem::GetRawDataStr(const MyAnsiString& ADisplayMode) const {
    if (!CheckFlag(vfValid)) return "---";
    const std::int64_t v = BinToInt(FData);
    if (ADisplayMode == "HEX") return Hex(static_cast<std::uint64_t>(v), 2 * FBytes) + "h";
    if (ADisplayMode == "DEC") return Dec(v);
    return {};
}

TRef<TSLRecord> TEnumDirVarItem::GetConfig() const {
    TRef<TSLRecord> r = NewConfig();
    r->SetStrWithName("DisplayMode", FDisplayMode);
    r->SetIntWithName("AddrUsage", FAddrUsage);
    return r;
}

void TEnumDirVarItem::SetConfig(const TSLNamedCollection& Conf) {
    TUpdate update(*FOwner);
    ClearConfig();
    ReadCommonConfig(Conf, true, FVarSourceType == vstUserDefined);
    ReadAddressConfig(Conf);
    if (FVarSourceType == vstSystem && Has(Conf, "DefValue"))
        FDefaultValue = static_cast<std::int32_t>(Conf.GetIntWithName("DefValue"));
}

TEnumDir16VarItem::TEnumDir16VarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType)
    : TEnumDirVarItem(AOwner, AParent, ASourceType, 2) {
    InitType("EnumDir16", 2, 0, "EnumDir16 Variable");
}

TEnumDir8VarItem::TEnumDir8VarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType)
    : TEnumDirVarItem(AOwner, AParent, ASourceType, 1) {
    InitType("EnumDir8", 1, 0, "EnumDir8 Variable");
}

// ================================================================== booleans

TBoolVarItem::TBoolVarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType)
    : TVarItem(AOwner, AParent, ASourceType) {
    InitType("Bool", 2, 2, "Boolean Variable");
}

bool TBoolVarItem::BitSet(const MyAnsiString& S) const {
    return FBitAddr < 8 && !S.empty() && ((static_cast<unsigned char>(S[0]) >> FBitAddr) & 1u) != 0;
}

MyAnsiString TBoolVarItem::BinToDisp(const MyAnsiString& S) const { return BitSet(S) ? "TRUE" : "FALSE"; }

MyAnsiString TBoolVarItem::DispToBin(const MyAnsiString& S) const {
    const bool set = Upper(S) == "TRUE" && FBitAddr < 16;
    return ValueToData(set ? std::int64_t{1} << FBitAddr : 0, 2);
}

MyAnsiString TBoolVarItem::GetRawDataStr(const MyAnsiString& ADisplayMode) const {
    if (!CheckFlag(vfValid)) return "---";
    const bool set = LeValue(FData, 2) != 0;
    if (ADisplayMode == "HEX") return set ? "1h" : "0h";
    if (ADisplayMode == "DEC") return set ? "1" : "0";
    return {};
}

TRef<TSLRecord> TBoolVarItem::GetConfig() const {
    TRef<TSLRecord> r = NewConfig();
    r->SetIntWithName("AddrUsage", FAddrUsage);
    return r;
}

void TBoolVarItem::SetConfig(const TSLNamedCollection& Conf) {
    TUpdate update(*FOwner);
    ClearConfig();
    ReadCommonConfig(Conf, false, FVarSourceType == vstUserDefined);
    SetFlag(vfBoolean);
    ReadAddressConfig(Conf);
}

TBool16VarItem::TBool16VarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType)
    : TBoolVarItem(AOwner, AParent, ASourceType) {
    InitType("Bool16", 2, 2, "Boolean Variable");
}

bool TBool16VarItem::BitSet(const MyAnsiString& S) const {
    return FBitAddr < 16 && ((LeValue(S, 2) >> FBitAddr) & 1u) != 0;
}

MyAnsiString TBool16VarItem::GetRawDataStr(const MyAnsiString&) const { return {}; }

TRef<TSLRecord> TBool16VarItem::GetConfig() const { return NewConfig(); }

void TBool16VarItem::SetConfig(const TSLNamedCollection& Conf) {
    TUpdate update(*FOwner);
    ClearConfig();
    ReadCommonConfig(Conf, false, true);
    SetFlag(vfBoolean);
    ReadAddressConfig(Conf);
}

// ================================================================== strings

TStringVarItem::TStringVarItem(TVarItemOwner& AOwner, TVarItemParent* AParent, TVarSourceType ASourceType)
    : TVarItem(AOwner, AParent, ASourceType) {
    InitType("String", 0, 8, "String Variable");
    FRecDef->SetObjWithName("MaxSize", MakeRef<TSLLongint>(8).Get());
    AddIntProperty("MaxSize", 10, FVarSourceType == vstUserDefined);
}

MyAnsiString TStringVarItem::BinToDisp(const MyAnsiString&) const {
    MyAnsiString r = FData.substr(0, FData.find('\0'));
    return r.substr(0, static_cast<std::size_t>(std::max(FMaxSize, 0)));
}

MyAnsiString TStringVarItem::DispToBin(const MyAnsiString& S) const {
    const auto n = static_cast<std::size_t>(std::max(FMaxSize, 0));
    MyAnsiString r = S.substr(0, n);
    r.resize(n, '\0');
    return r;
}

void TStringVarItem::SetDataCache(const MyAnsiString& S) {
    if (static_cast<std::int64_t>(S.size()) > FMaxSize) throw Exception("internal error: data size error");
    if (S == FData && CheckFlag(vfValid)) return;
    SetRawDataCache(S);
}

TRef<TSLRecord> TStringVarItem::GetConfig() const {
    TRef<TSLRecord> r = NewConfig();
    r->SetIntWithName("MaxSize", FMaxSize);
    return r;
}

void TStringVarItem::SetConfig(const TSLNamedCollection& Conf) {
    const std::int64_t maxSize = Conf.GetIntWithName("MaxSize");
    if (maxSize < 0 || maxSize > 255)
        throw EConvertError("TStringVarItem.SetConfig: MaxSize " + Dec(maxSize) + " is not within 0 to 255");
    TUpdate update(*FOwner);
    FMaxSize = static_cast<std::int32_t>(maxSize);
    SetDataLength(FMaxSize);
    ClearConfig();
    ReadCommonConfig(Conf, false, true);
    ReadAddressConfig(Conf);
}

// ================================================================== registry

std::unique_ptr<TVarItem> CreateVarItem(const MyAnsiString& ATypeName, TVarItemOwner& AOwner,
                                        TVarItemParent* AParent, TVarSourceType ASourceType) {
    using TCreate = std::function<std::unique_ptr<TVarItem>(TVarItemOwner&, TVarItemParent*, TVarSourceType)>;
    const auto make = []<class T>() -> TCreate {
        return [](TVarItemOwner& O, TVarItemParent* P, TVarSourceType S) { return std::make_unique<T>(O, P, S); };
    };
    static const std::map<MyAnsiString, TCreate> classes = {
        {"EnumDir16", make.operator()<TEnumDir16VarItem>()},
        {"EnumDir8", make.operator()<TEnumDir8VarItem>()},
        {"UInt8", make.operator()<TUInt8VarItem>()},
        {"SInt8", make.operator()<TSInt8VarItem>()},
        {"UInt16", make.operator()<TUInt16VarItem>()},
        {"SInt16", make.operator()<TSInt16VarItem>()},
        {"UInt32", make.operator()<TUInt32VarItem>()},
        {"SInt32", make.operator()<TSInt32VarItem>()},
        {"UInt48", make.operator()<TUInt48VarItem>()},
        {"SInt48", make.operator()<TSInt48VarItem>()},
        {"VelFloat", make.operator()<TVelFloat32VarItem>()},
        {"FloatIEEE754", make.operator()<TFloat32VarItem>()},
        {"Bool", make.operator()<TBoolVarItem>()},
        {"Bool16", make.operator()<TBool16VarItem>()},
        {"String", make.operator()<TStringVarItem>()},
    };
    const auto it = classes.find(ATypeName);
    if (it == classes.end()) return nullptr;
    return it->second(AOwner, AParent, ASourceType);
}

} // namespace vo
