#include "parameters/PtStr.h"

#include "comm/OvraClnt.h"
#include "devices/QsBasic.h"
#include "kernel/ModTree.h"
#include "kernel/PropList.h"
#include "parameters/ParSrv.h"
#include "parameters/PtInt.h"
#include "platform/Exception.h"
#include "storagelib/SL20Rec.h"

#include <algorithm>

namespace vo {

namespace {

// The device name is the string of this master UPID.
constexpr std::int32_t DeviceNameUPID = 1000;

void ReadText(TParameterText& T, TSLRecord* ARecord, bool CutDefault) {
    if (!ARecord)
        return;
    T.FDefaultValue = ARecord->GetStrWithName("DefValue");
    if (CutDefault)
        T.FDefaultValue = T.FDefaultValue.substr(0, ParTextMax);
    T.FMaxSize = static_cast<std::uint8_t>(ARecord->GetIntWithName("MaxSize"));
}

const MyAnsiString& CommittedText(const TParameter& P, const TParameterText& T) {
    if (!P.GetValid())
        throw Exception(ParameterNotValidText);
    return T.DataCache;
}

void DefaultText(const TParameterText& T, TValueRec& V) {
    V.ValueStr = T.FDefaultValue.substr(0, ParTextMax);
    V.UnitStr.clear();
}

void CommitText(TParameter& P, TParameterText& T) {
    if (T.TempCache == T.DataCache && P.GetValid())
        return;
    T.DataCache = T.TempCache;
    P.SetAttrFlag(AttrChanged | AttrValid);
}

// The protocol generation (high nibble) of the drive; 0 when text
// telegrams have no form on it.
int TextGeneration(const TBasicOvraService& Service) {
    const int generation = Service.ProtocolVersion() >> 4;
    return generation >= 2 && generation <= 4 ? generation : 0;
}

void RequestText(TParameter& P, const TParameterText& T, TBasicOvraService& Service, bool SizeByte,
                 TParameterResponse Response) {
    const int sub = ParReadSubCommand(P.AddrUsage());
    const int generation = TextGeneration(Service);
    if (sub < 0 || generation == 0)
        return;
    MyAnsiString bytes = ParUPIDRequest(sub, P.UPID());
    if (generation == 4) {
        if (SizeByte)
            bytes += static_cast<char>(T.FMaxSize);
        P.Owner().ReadBlockUPID(bytes, std::move(Response));
    } else {
        P.Owner().GetRequest(bytes, std::move(Response));
    }
}

void WriteText(TParameter& P, const TParameterText& T, TBasicOvraService& Service, TParameterResponse Response) {
    const int sub = ParWriteSubCommand(P.AddrUsage());
    const int generation = TextGeneration(Service);
    if (sub < 0 || generation == 0)
        return;
    // Never more than the drive keeps.
    const MyAnsiString text = T.TempCache.substr(0, std::min<std::size_t>(ParTextMax, T.FMaxSize));
    MyAnsiString bytes = ParUPIDRequest(sub, P.UPID()) + text;
    if (generation == 4) {
        if (text.size() < T.FMaxSize)
            bytes += '\0';
        P.Owner().WriteBlockUPID(bytes, std::move(Response));
    } else {
        P.Owner().SetRequest(bytes, std::move(Response));
    }
}

// The device-name string renames its device when the text differs from the
// device's caption.
void RenameDevice(const TParameter& P, const MyAnsiString& Text) {
    if (P.MasterUPID() != DeviceNameUPID || !dynamic_cast<const TStringParameter*>(&P))
        return;
    TDevice& device = P.Owner().Owner();
    if (device.Caption() != Text)
        device.Owner().SetDeviceCaption(device.Name(), Text);
}

void TextAnswer(TParameter& P, TParameterText& T, TOvraActor& Actor) {
    if (!(P.AddrUsage() & (AddrRomRead | AddrRamRead)) || Actor.GetResult() != 0)
        return;
    const MyAnsiString text = ParTextFromAnswer(P.Owner().GetResponse(Actor));
    T.TempCache = text;
    RenameDevice(P, text);
    CommitText(P, T);
}

void TextWritten(TParameter& P, TParameterText& T, TOvraActor& Actor, int Kind) {
    const bool accepted =
        (Kind == 1 && (P.AddrUsage() & (AddrRomWrite | AddrRamWrite)) && Actor.GetResult() == 0) || Kind == 2;
    if (!accepted)
        return;
    RenameDevice(P, T.TempCache);
    CommitText(P, T);
}

} // namespace

// ------------------------------------------------------------------ string

TStringParameter::TStringParameter(TParameterService& AOwner, TSLRecord* ARecord) : TGenericStrParameter(AOwner, ARecord) {
    FTypeStr = "String";
    EnsurePropList().SetObjType("String Parameter");
    AddStrProperty("Name", 1);
    AddStrProperty("UPID", 2);
    ReadText(FText, ARecord, false);
}

MyAnsiString TStringParameter::GetStrValue() const { return CommittedText(*this, FText); }

void TStringParameter::SetStrValue(const MyAnsiString& Value) { FText.TempCache = Value.substr(0, ParTextMax); }

void TStringParameter::GetDefaultStr(TValueRec& V, TUnitSystem, const MyAnsiString&) const { DefaultText(FText, V); }

void TStringParameter::SetDefaultValue(TUnitSystem) {
    SetStrValue(FText.FDefaultValue);
    CopyTempToData();
}

void TStringParameter::CopyTempToData() { CommitText(*this, FText); }

void TStringParameter::RequestUpdate(TOvraActor&, TBasicOvraService& Service, TParameterResponse Response) {
    RequestText(*this, FText, Service, true, std::move(Response));
}

void TStringParameter::ProcessUpdate(TOvraActor& Actor, TBasicOvraService&) { TextAnswer(*this, FText, Actor); }

void TStringParameter::RequestModify(TOvraActor&, TBasicOvraService& Service, TParameterResponse Response) {
    WriteText(*this, FText, Service, std::move(Response));
}

void TStringParameter::ProcessModify(TOvraActor& Actor, TBasicOvraService&, int Kind) {
    TextWritten(*this, FText, Actor, Kind);
}

// ------------------------------------------------------------------ caption directory

TCapDirParameter::TCapDirParameter(TParameterService& AOwner, TSLRecord* ARecord) : TGenericDirParameter(AOwner, ARecord) {
    FTypeStr = "CapDir";
    EnsurePropList().SetObjType("CapDir Parameter");
    AddStrProperty("Name", 1);
    AddStrProperty("UPID", 2);
    FModel->SetImageIndex(21);
    FModel->SetFlag(mfAllowEdit, true);
    ReadText(FText, ARecord, true);
}

MyAnsiString TCapDirParameter::GetStrValue() const { return CommittedText(*this, FText); }

void TCapDirParameter::SetStrValue(const MyAnsiString& Value) { FText.TempCache = Value.substr(0, ParTextMax); }

void TCapDirParameter::GetScaledValue(TValueRec& V, TUnitSystem, const MyAnsiString&) const {
    V.ValueStr = GetStrValue().substr(0, ParTextMax);
    V.UnitStr.clear();
}

void TCapDirParameter::SetScaledValue(const MyAnsiString& Text, TUnitSystem, const MyAnsiString&) { SetStrValue(Text); }

void TCapDirParameter::GetDefaultStr(TValueRec& V, TUnitSystem, const MyAnsiString&) const { DefaultText(FText, V); }

void TCapDirParameter::SetDefaultValue(TUnitSystem) {
    SetStrValue(FText.FDefaultValue);
    CopyTempToData();
}

void TCapDirParameter::CopyTempToData() { CommitText(*this, FText); }

void TCapDirParameter::RequestUpdate(TOvraActor&, TBasicOvraService& Service, TParameterResponse Response) {
    RequestText(*this, FText, Service, false, std::move(Response));
}

void TCapDirParameter::ProcessUpdate(TOvraActor& Actor, TBasicOvraService&) { TextAnswer(*this, FText, Actor); }

void TCapDirParameter::RequestModify(TOvraActor&, TBasicOvraService& Service, TParameterResponse Response) {
    WriteText(*this, FText, Service, std::move(Response));
}

void TCapDirParameter::ProcessModify(TOvraActor& Actor, TBasicOvraService&, int Kind) {
    TextWritten(*this, FText, Actor, Kind);
}

} // namespace vo
