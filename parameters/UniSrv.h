#pragma once
// Device units and the device's unit service.
//
// A drive's module descriptions list the units its raw integer values are
// shown in: each has a UUID, a name, and for SI, Metric and Imperial a
// caption, a scale and an offset (physical = raw * scale + offset). The
// English system shows raw values unconverted and without a caption.
// TUnitService, registered as "UnitService", keeps a device's units by UUID;
// integer parameters and variables find theirs by the UUID of their record.
//
// A column whose scale is 0 cannot convert: conversions in that unit system
// raise "TDeviceUnit.<operation>: unit '<name>' has scale 0 in unit system
// '<system>'"; the other systems convert as usual.
//
// GUI thread only.
#include <cstdint>
#include <map>
#include <memory>

#include "devices/DevMan.h"
#include "parameters/DatTypes.h"

namespace vo {

class TSLNamedCollection;
class TServiceProvider;

class TDeviceUnit {
public:
    // An empty unit: captions empty, scales 1, offsets 0 (the identity).
    TDeviceUnit() = default;
    // Reads "UUID", "UnitName" and the nine column keys "SICaption",
    // "SIOffset", "SIScale", "MetricCaption" .. "ImperialScale" (all required).
    explicit TDeviceUnit(const TSLNamedCollection& ARecord);

    static const char* ClassName() noexcept { return "TDeviceUnit"; }

    TUnitInfo GetUnitInfo(TUnitSystem US) const;
    MyAnsiString GetUnitCaption(TUnitSystem US) const;
    // Raw * scale + offset.
    double IntToVal(TUnitSystem US, std::int64_t Raw) const;
    // (Val - offset) / scale, rounded to the nearest integer (a half to the
    // even neighbour). A result outside the 64-bit range raises EConvertError.
    std::int64_t ValToInt(TUnitSystem US, double Val) const;
    // IntToVal in the general format, 15 significant digits, "." as separator.
    MyAnsiString IntToValStr(TUnitSystem US, std::int64_t Raw) const;
    // The text as a number, then ValToInt; no number raises EConvertError.
    std::int64_t ValStrToInt(const MyAnsiString& ValStr, TUnitSystem US) const;

    const MyAnsiString& Name() const noexcept { return FName; }
    std::int32_t UUID() const noexcept { return FUUID; }

private:
    // The column's facts; raises for a column with scale 0.
    TUnitInfo Column(TUnitSystem US, const char* Operation) const;

    MyAnsiString FImperialCaption;
    double FImperialOffset = 0.0;
    double FImperialScale = 1.0;
    MyAnsiString FMetricCaption;
    double FMetricOffset = 0.0;
    double FMetricScale = 1.0;
    MyAnsiString FSICaption;
    double FSIOffset = 0.0;
    double FSIScale = 1.0;
    MyAnsiString FName;
    std::int32_t FUUID = 0;
};

// The identity unit (scale 1, offset 0, empty caption in every system): the
// unit of a value whose record names no unit of the device.
const TDeviceUnit& IdentityDeviceUnit();

class TUnitService : public TDeviceService {
public:
    // The unit list, the invisible model item "Units" and the provider
    // "UnitService".
    TUnitService(TDevice& AOwner, TSLDictionary* AProfDict);
    ~TUnitService() override;

    const char* ClassName() const override { return "TUnitService"; }

    // dsStopped: the model item goes under the device's item; dsStarted.
    void StartUp(bool& Wait) override;
    // dsStarted: the model item is taken out; dsStopped.
    void ShutDown(bool& Wait) override;
    void Kill() override;

    // Adds the units of one module's "Units" array (records); a UUID listed
    // already keeps its first unit, also across modules.
    void Init(const TSLDictionary& Dict);
    int GetNumberOfUnits() const noexcept { return static_cast<int>(FUnitsList.size()); }
    // nullptr when the device has no unit with that UUID.
    TDeviceUnit* GetUnitWithUUID(std::int32_t AUUID) const;

    TServiceProvider& Provider() { return *FServiceProvider; }

private:
    std::map<std::int32_t, std::unique_ptr<TDeviceUnit>> FUnitsList;
    std::unique_ptr<TServiceProvider> FServiceProvider;
};

} // namespace vo
