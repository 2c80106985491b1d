#pragma once
// What the device info view needs of a device's parameters, declared here so
// that the parameter subsystem (above this folder) can provide it: the
// parameter service implements TParameterInfoService and its parameters
// TParameterInfo. The device info view finds the service as the device's
// "ParameterService" and lists its identification parameters.
#include "kernel/Object.h"
#include "platform/AnsiString.h"

#include <array>
#include <cstdint>
#include <vector>

namespace vo {

class TDevice;
class TPropertyList;
class TServiceProvider;

enum class TParameterInfoKind : uint8_t {
    pkString, // a text parameter (TStringParameter)
    pkEnumDir16, // a 16-bit enumeration whose entries are child parameters
    pkOther
};

class TParameterInfo {
public:
    virtual ~TParameterInfo() = default;
    virtual TParameterInfoKind InfoKind() const = 0;
    virtual MyAnsiString GetCaption() const = 0;
    // The captions of the ancestors that have one, root first, then the
    // parameter's own, joined by "\".
    virtual MyAnsiString GetPath() const = 0;
    // The value as display text; a text parameter that is not valid yet
    // raises "Parameter not valid".
    virtual MyAnsiString GetStrValue() const = 0;
    // An enumeration: the caption of the entry that matches the value, or ""
    // when none does.
    virtual MyAnsiString SelectedEntryCaption() const = 0;
    // The object and property list the object inspector shows for it (the
    // property list may be nullptr).
    virtual TObject* InspectedObject() = 0;
    virtual TPropertyList* ParPropList() = 0;
};

class TParameterInfoService {
public:
    virtual ~TParameterInfoService() = default;
    // The parameter with that master UPID, nullptr when the device has none.
    virtual TParameterInfo* FindInfoParameter(int32_t UPID) = 0;
    // The provider whose update passes tell of new values.
    virtual TServiceProvider& InfoProvider() = 0;
};

// The identification parameters the device info view lists, in order.
inline constexpr std::array<int32_t, 9> DeviceInfoUPIDs = {1020, 1000, 1010, 1040, 1050, 1060, 1120, 1180, 1240};

struct TDeviceInfoRow {
    MyAnsiString Caption;
    MyAnsiString Value;
    TParameterInfo* Parameter = nullptr;
};

// The device's parameter service, nullptr when it has none (or one that does
// not describe its parameters).
TParameterInfoService* DeviceParameterInfo(TDevice& Device);
// One row per identification parameter the device has that is a text or a
// 16-bit enumeration, in the order of DeviceInfoUPIDs. A text that is not
// valid yet shows empty.
std::vector<TDeviceInfoRow> DeviceInfoRows(TParameterInfoService& Service);
// The tree path of a parameter of the device:
// "Project:\\<device caption>\Parameters\<parameter path>".
MyAnsiString DeviceParameterPath(const TDevice& Device, const TParameterInfo& Parameter);

} // namespace vo
