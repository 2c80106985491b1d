#include "parameters/UniSrv.h"

#include "kernel/AnsiFormat.h"
#include "kernel/CsServices.h"
#include "platform/Exception.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Dic.h"
#include "storagelib/SL20Elm.h"

#include <cmath>

namespace vo {

// ------------------------------------------------------------------ device units

TDeviceUnit::TDeviceUnit(const TSLNamedCollection& ARecord)
    : FImperialCaption(ARecord.GetStrWithName("ImperialCaption")),
      FImperialOffset(GetNumberWithName(ARecord, "ImperialOffset")),
      FImperialScale(GetNumberWithName(ARecord, "ImperialScale")),
      FMetricCaption(ARecord.GetStrWithName("MetricCaption")),
      FMetricOffset(GetNumberWithName(ARecord, "MetricOffset")),
      FMetricScale(GetNumberWithName(ARecord, "MetricScale")),
      FSICaption(ARecord.GetStrWithName("SICaption")),
      FSIOffset(GetNumberWithName(ARecord, "SIOffset")),
      FSIScale(GetNumberWithName(ARecord, "SIScale")),
      FName(ARecord.GetStrWithName("UnitName")),
      FUUID(static_cast<std::int32_t>(ARecord.GetIntWithName("UUID"))) {}

TUnitInfo TDeviceUnit::GetUnitInfo(TUnitSystem US) const {
    switch (US) {
    case usSI: return {FSICaption, FSIOffset, FSIScale};
    case usMetric: return {FMetricCaption, FMetricOffset, FMetricScale};
    case usImperial: return {FImperialCaption, FImperialOffset, FImperialScale};
    case usEnglish: break;
    }
    return {};
}

MyAnsiString TDeviceUnit::GetUnitCaption(TUnitSystem US) const {
    return GetUnitInfo(US).Caption;
}

TUnitInfo TDeviceUnit::Column(TUnitSystem US, const char* Operation) const {
    TUnitInfo info = GetUnitInfo(US);
    if (info.Scale == 0.0)
        throw Exception(MyAnsiString(ClassName()) + "." + Operation + ": unit '" + FName + "' has scale 0 in unit system '" +
                        UnitSystemToStr(US) + "'");
    return info;
}

double TDeviceUnit::IntToVal(TUnitSystem US, std::int64_t Raw) const {
    const TUnitInfo info = Column(US, "IntToVal");
    return static_cast<double>(Raw) * info.Scale + info.Offset;
}

std::int64_t TDeviceUnit::ValToInt(TUnitSystem US, double Val) const {
    const TUnitInfo info = Column(US, "ValToInt");
    const double r = std::nearbyint((Val - info.Offset) / info.Scale); // ties to even
    // 2^63 is the first double beyond the signed 64-bit range.
    if (!(r >= -9223372036854775808.0 && r < 9223372036854775808.0))
        throw EConvertError("'" + FloatToStrGeneral(Val) + "' is out of the range of unit '" + FName + "'");
    return static_cast<std::int64_t>(r);
}

MyAnsiString TDeviceUnit::IntToValStr(TUnitSystem US, std::int64_t Raw) const {
    return FloatToStrGeneral(IntToVal(US, Raw), 15);
}

std::int64_t TDeviceUnit::ValStrToInt(const MyAnsiString& ValStr, TUnitSystem US) const {
    return ValToInt(US, SLStrToFloat(ValStr));
}

const TDeviceUnit& IdentityDeviceUnit() {
    static const TDeviceUnit identity;
    return identity;
}

// ------------------------------------------------------------------ unit service

TUnitService::TUnitService(TDevice& AOwner, TSLDictionary* AProfDict)
    : TDeviceService(AOwner, AProfDict),
      FServiceProvider(std::make_unique<TServiceProvider>(this, "UnitService")) {
    FModel = &TModelItem::Create(AOwner.Owner().ModelManager(), this);
    FModel->SetCaption("Units");
    FModel->SetVisible(false);
}

TUnitService::~TUnitService() {
    if (FModel)
        FModel->Release();
    FModel = nullptr;
}

void TUnitService::StartUp(bool& Wait) {
    Wait = false;
    if (FServiceStatus != dsStopped)
        return;
    if (FModel && !FModel->Parent())
        FOwner->Model().AddChild(*FModel);
    SetServiceStatus(dsStarted);
}

void TUnitService::ShutDown(bool& Wait) {
    Wait = false;
    if (FServiceStatus != dsStarted)
        return;
    if (FModel && FModel->Parent())
        FModel->Parent()->RemoveChild(*FModel);
    SetServiceStatus(dsStopped);
}

void TUnitService::Kill() {
    SetServiceStatus(dsStopped);
}

void TUnitService::Init(const TSLDictionary& Dict) {
    if (!Dict.NameExists("Units"))
        return;
    auto* units = dynamic_cast<TSLArray*>(Dict.GetObjWithName("Units"));
    if (!units)
        throw EInvalidCast();
    for (int i = 0; i < units->GetCount(); ++i) {
        auto* rec = dynamic_cast<TSLNamedCollection*>(units->GetObjAtIndex(i));
        if (!rec)
            throw EInvalidCast();
        const auto uuid = static_cast<std::int32_t>(rec->GetIntWithName("UUID"));
        if (FUnitsList.contains(uuid))
            continue;
        FUnitsList.emplace(uuid, std::make_unique<TDeviceUnit>(*rec));
    }
}

TDeviceUnit* TUnitService::GetUnitWithUUID(std::int32_t AUUID) const {
    auto it = FUnitsList.find(AUUID);
    return it == FUnitsList.end() ? nullptr : it->second.get();
}

} // namespace vo
