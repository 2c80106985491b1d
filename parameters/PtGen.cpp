#include "parameters/PtGen.h"

#include "kernel/ModTree.h"
#include "kernel/ShellServices.h"
#include "kernel/functions.h"
#include "parameters/ParMan.h"
#include "parameters/ParSrv.h"
#include "parameters/UniSrv.h"
#include "parameters/VisCtrl.h"
#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Rec.h"

#include <cstdio>
#include <string>

namespace vo {

namespace {

MyAnsiString AsciiUpper(MyAnsiString S) {
    for (char& c : S)
        if (c >= 'a' && c <= 'z')
            c = static_cast<char>(c - 'a' + 'A');
    return S;
}

} // namespace

// ------------------------------------------------------------------ telegram bytes

int ParReadSubCommand(std::uint16_t AddrUsage) noexcept {
    if (AddrUsage & AddrRomRead)
        return 0x00;
    if (AddrUsage & AddrRamRead)
        return 0x01;
    return -1;
}

int ParWriteSubCommand(std::uint16_t AddrUsage) noexcept {
    const bool rom = AddrUsage & AddrRomWrite;
    const bool ram = AddrUsage & AddrRamWrite;
    if (rom && ram)
        return 0x02;
    if (rom)
        return 0x00;
    if (ram)
        return 0x01;
    return -1;
}

MyAnsiString ParUPIDRequest(int SubCommand, std::int32_t UPID) {
    MyAnsiString bytes;
    bytes += static_cast<char>(SubCommand & 0xFF);
    ParAppendLE(bytes, static_cast<std::uint32_t>(UPID), 2);
    return bytes;
}

void ParAppendLE(MyAnsiString& Bytes, std::uint64_t Value, std::size_t Count) {
    for (std::size_t i = 0; i < Count; ++i) Bytes += static_cast<char>((Value >> (8 * i)) & 0xFF);
}

std::uint64_t ParReadLE(const MyAnsiString& Bytes, std::size_t Count) noexcept {
    std::uint64_t v = 0;
    for (std::size_t i = 0; i < Count && i < Bytes.size(); ++i)
        v |= static_cast<std::uint64_t>(static_cast<unsigned char>(Bytes[i])) << (8 * i);
    return v;
}

bool ParValueFromAnswer(const MyAnsiString& Answer, std::size_t Width, std::uint64_t& Value) noexcept {
    if (Answer.size() < Width)
        return false;
    Value = ParReadLE(Answer, Width);
    return true;
}

MyAnsiString ParTextFromAnswer(const MyAnsiString& Answer) {
    const MyAnsiString text = Answer.substr(0, 64);
    return text.substr(0, text.find('\0'));
}

// ------------------------------------------------------------------ integers

TGenericIntParameter::TGenericIntParameter(TParameterService& AOwner, TSLRecord* ARecord) : TParameter(AOwner, ARecord) {
    if (!ARecord)
        return;
    if (ARecord->NameExists("AdditionalFunction")) {
        const MyAnsiString function = AsciiUpper(ARecord->GetStrWithName("AdditionalFunction"));
        FIsUPID = function == "UPID" || function == "RAMWRITEUPID";
        FIsRamWriteUPID = function == "RAMWRITEUPID";
        static const MyAnsiString scaled = "UPIDSCALE:";
        FIsUPIDScaled = function.compare(0, scaled.size(), scaled) == 0;
        if (FIsUPIDScaled)
            FUPIDScaleUPID = StrToInt(function.substr(scaled.size()));
    }
    FUUID = static_cast<std::int32_t>(ARecord->GetIntWithName("UUID"));
    if (TUnitService* units = AOwner.UnitService())
        FDeviceUnit = units->GetUnitWithUUID(FUUID);
}

const TDeviceUnit& TGenericIntParameter::Unit() const {
    return FDeviceUnit ? *FDeviceUnit : IdentityDeviceUnit();
}

MyAnsiString TGenericIntParameter::HexText(std::int64_t Value, int Width) {
    auto b = static_cast<std::uint32_t>(Value);
    if (Value < 0) {
        if (Width == 1)
            b += 0x100u;
        else if (Width == 2)
            b += 0x10000u;
    }
    char buf[24];
    std::snprintf(buf, sizeof buf, "%0*X", 2 * Width, b);
    return MyAnsiString(buf) + "h";
}

void TGenericIntParameter::GetScaledValue(TValueRec& V, TUnitSystem US, const MyAnsiString& DisplayMode) const {
    V.UnitStr.clear();
    if (DisplayMode == "SCALED") {
        V.ValueStr = Unit().IntToValStr(US, GetIntValue()).substr(0, ValueStrMax);
        V.UnitStr = Unit().GetUnitCaption(US).substr(0, UnitStrMax);
    } else if (DisplayMode == "HEX") {
        V.ValueStr = HexText(GetIntValue(), FSize);
    } else if (DisplayMode == "DEC") {
        V.ValueStr = std::to_string(GetIntValue());
    } else if (DisplayMode == "BIN") {
        V.ValueStr = IntToBinary(GetIntValue(), FSize);
    } else if (DisplayMode == "ASCII") {
        const std::int64_t v = GetIntValue();
        const int bytes = FSize == 1 || FSize == 2 ? FSize : 4;
        MyAnsiString text;
        for (int i = bytes - 1; i >= 0; --i) text += static_cast<char>((v >> (8 * i)) & 0xFF);
        V.ValueStr = text;
    }
}

MyAnsiString TGenericIntParameter::GetRawDataStr(const MyAnsiString& DisplayMode) const {
    if (DisplayMode == "HEX")
        return HexText(GetIntValue(), FSize);
    if (DisplayMode == "DEC")
        return std::to_string(GetIntValue());
    return {};
}

double TGenericIntParameter::GetBaseScaledValue() const {
    return Unit().IntToVal(usSI, GetIntValue());
}

void TGenericIntParameter::GetUnit(double& Scale, MyAnsiString& AUnit, TUnitSystem US) const {
    const TUnitInfo info = Unit().GetUnitInfo(US);
    Scale = info.Scale;
    AUnit = info.Caption.substr(0, UnitStrMax);
}

MyAnsiString TGenericIntParameter::GetDisplayModeStr() const {
    return FIsUPID ? ShellServices().UPIDDispMode() : FDisplayMode;
}

void TGenericIntParameter::GetMinValueStr(TValueRec&, TUnitSystem, const MyAnsiString&) const { throw EAbstractError(); }
void TGenericIntParameter::GetMaxValueStr(TValueRec&, TUnitSystem, const MyAnsiString&) const { throw EAbstractError(); }
double TGenericIntParameter::GetDefaultValueDouble(TUnitSystem) const { throw EAbstractError(); }
double TGenericIntParameter::GetMinValueDouble(TUnitSystem) const { throw EAbstractError(); }
double TGenericIntParameter::GetMaxValueDouble(TUnitSystem) const { throw EAbstractError(); }
std::int64_t TGenericIntParameter::GetMinValueInt() const { throw EAbstractError(); }
std::int64_t TGenericIntParameter::GetMaxValueInt() const { throw EAbstractError(); }
std::int64_t TGenericIntParameter::GetDefaultValue() const { throw EAbstractError(); }

// ------------------------------------------------------------------ Booleans

TGenericBoolParameter::TGenericBoolParameter(TParameterService& AOwner, TSLRecord* ARecord) : TParameter(AOwner, ARecord) {
    if (!ARecord)
        return;
    auto* flags = dynamic_cast<TSLArray*>(ARecord->GetObjWithName("SetVFlag"));
    if (!flags)
        throw EInvalidCast();
    for (int i = 0; i < flags->GetCount(); ++i)
        FSetVFlagList.push_back(&AOwner.VisibilityController().GetFlag(flags->GetStrAtIndex(i)));
    if (!FSetVFlagList.empty())
        SetAttrFlag(AttrVFlagSource);
}

void TGenericBoolParameter::GetScaledValue(TValueRec& V, TUnitSystem, const MyAnsiString&) const {
    V.ValueStr = GetBoolValue() ? "True" : "False";
    V.UnitStr.clear();
}

void TGenericBoolParameter::SetScaledValue(const MyAnsiString& Text, TUnitSystem, const MyAnsiString&) {
    const MyAnsiString upper = AsciiUpper(Text);
    if (upper == "TRUE" || upper == "1" || upper == "ON")
        SetBoolValue(true);
    else if (upper == "FALSE" || upper == "0" || upper == "OFF")
        SetBoolValue(false);
    else
        throw Exception("invalid boolean parameter" + upper);
}

void TGenericBoolParameter::UpdateSetVFlags() {
    if (FSetVFlagList.empty() || !GetValid() || !GetBoolValue())
        return;
    for (TVisibilityFlag* f : FSetVFlagList) f->SetValue(true);
}

// ------------------------------------------------------------------ strings

void TGenericStrParameter::GetScaledValue(TValueRec& V, TUnitSystem, const MyAnsiString&) const {
    V.ValueStr = GetStrValue().substr(0, ValueStrMax);
    V.UnitStr.clear();
}

void TGenericStrParameter::SetScaledValue(const MyAnsiString& Text, TUnitSystem, const MyAnsiString&) {
    SetStrValue(Text);
}

// ------------------------------------------------------------------ directories

TGenericDirParameter::TGenericDirParameter(TParameterService& AOwner, TSLRecord* ARecord) : TParameter(AOwner, ARecord) {
    FModel = &TModelItem::Create(AOwner.ModelManager(), this);
    FModel->SetCaption(FCaption);
    FModel->SetView(ParameterManager().ModelView());
    ChangePermission();
}

TGenericDirParameter::~TGenericDirParameter() {
    if (FModel) {
        FModel->SetData(nullptr);
        FModel->Release();
    }
}

TParameter& TGenericDirParameter::AddChild(std::unique_ptr<TParameter> P) {
    TParameter& child = TParameter::AddChild(std::move(P));
    if (auto* dir = dynamic_cast<TGenericDirParameter*>(&child)) {
        dir->FModel->Hide();
        FModel->AddChild(*dir->FModel);
    }
    return child;
}

void TGenericDirParameter::ChangePermission() {
    const MyAnsiString user = AsciiUpper(FOwner->Owner().GetStrVar("UserName"));
    FModel->SetUserType(user == "DEVELOPER" ? TUserTypeSet{utDevelop} : TUserTypeSet{utService});
    TUserTypeSet read, write;
    if (CanRead(0x01))
        read = read + TUserTypeSet{utRead1, utRead2, utUser1, utUser2};
    if (CanRead(0x04))
        read.Include(utService);
    if (CanRead(0x10))
        read.Include(utDevelop);
    if (CanWrite(0x02))
        write = write + TUserTypeSet{utRead1, utRead2, utUser1, utUser2};
    if (CanWrite(0x08))
        write.Include(utService);
    if (CanWrite(0x20))
        write.Include(utDevelop);
    FModel->SetPermission(ptRead, read);
    FModel->SetPermission(ptWrite, write);
}

} // namespace vo
