#include "parameters/PtBool.h"

#include "comm/OvraClnt.h"
#include "kernel/PropList.h"
#include "parameters/ParSrv.h"
#include "parameters/PtInt.h"
#include "platform/Exception.h"
#include "storagelib/SL20Rec.h"

namespace vo {

TBoolParameter::TBoolParameter(TParameterService& AOwner, TSLRecord* ARecord) : TGenericBoolParameter(AOwner, ARecord) {
    FTypeStr = "Bool";
    EnsurePropList().SetObjType("Bool Parameter");
    AddStrProperty("Name", 1);
    AddStrProperty("UPID", 2);
    if (ARecord)
        FDefaultValue = ARecord->GetIntWithName("DefValue") != 0;
}

bool TBoolParameter::GetBoolValue() const {
    if (!GetValid())
        throw Exception(ParameterNotValidText);
    return DataCache;
}

MyAnsiString TBoolParameter::GetTrueValueStr(const MyAnsiString& DisplayMode) const {
    if (DisplayMode == "SCALED")
        return "True";
    return DisplayMode == "HEX" ? "1h" : "1";
}

MyAnsiString TBoolParameter::GetFalseValueStr(const MyAnsiString& DisplayMode) const {
    if (DisplayMode == "SCALED")
        return "False";
    return DisplayMode == "HEX" ? "0h" : "0";
}

void TBoolParameter::GetDefaultStr(TValueRec& V, TUnitSystem, const MyAnsiString& DisplayMode) const {
    V.ValueStr = FDefaultValue ? GetTrueValueStr(DisplayMode) : GetFalseValueStr(DisplayMode);
    V.UnitStr.clear();
}

MyAnsiString TBoolParameter::GetRawDataStr(const MyAnsiString& DisplayMode) const {
    if (DisplayMode != "HEX" && DisplayMode != "DEC")
        return {};
    return GetBoolValue() ? GetTrueValueStr(DisplayMode) : GetFalseValueStr(DisplayMode);
}

void TBoolParameter::SetDefaultValue(TUnitSystem) {
    SetBoolValue(FDefaultValue);
    CopyTempToData();
}

void TBoolParameter::CopyTempToData() {
    if (TempCache == DataCache && GetValid())
        return;
    DataCache = TempCache;
    SetAttrFlag(AttrChanged | AttrValid);
}

MyAnsiString TBoolParameter::ValueToData(bool Value) {
    MyAnsiString bytes;
    ParAppendLE(bytes, Value ? 1 : 0, 2);
    return bytes;
}

std::uint16_t TBoolParameter::DataToValue(const MyAnsiString& Bytes) { return static_cast<std::uint16_t>(ParReadLE(Bytes, 2)); }

void TBoolParameter::RequestUpdate(TOvraActor&, TBasicOvraService&, TParameterResponse Response) {
    const int sub = ParReadSubCommand(FAddrUsage);
    if (sub >= 0)
        FOwner->GetRequest(ParUPIDRequest(sub, FUPID), std::move(Response));
}

void TBoolParameter::ProcessUpdate(TOvraActor& Actor, TBasicOvraService&) {
    if (ParReadSubCommand(FAddrUsage) < 0 || Actor.GetResult() != 0)
        return;
    TempCache = DataToValue(FOwner->GetResponse(Actor)) != 0;
    CopyTempToData();
}

void TBoolParameter::RequestModify(TOvraActor&, TBasicOvraService&, TParameterResponse Response) {
    const int sub = ParWriteSubCommand(FAddrUsage);
    if (sub >= 0)
        FOwner->SetRequest(ParUPIDRequest(sub, FUPID) + ValueToData(TempCache), std::move(Response));
}

void TBoolParameter::ProcessModify(TOvraActor& Actor, TBasicOvraService&, int Kind) {
    if ((Kind == 1 && ParWriteSubCommand(FAddrUsage) >= 0 && Actor.GetResult() == 0) || Kind == 2)
        CopyTempToData();
}

} // namespace vo
