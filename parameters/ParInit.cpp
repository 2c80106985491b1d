#include "parameters/ParInit.h"

#include "devices/DevMan.h"
#include "kernel/Debug.h"
#include "parameters/ParMan.h"
#include "parameters/ParSrv.h"
#include "parameters/PtBool.h"
#include "parameters/PtClass.h"
#include "parameters/PtDir.h"
#include "parameters/PtInt.h"
#include "parameters/PtRadio.h"
#include "parameters/PtStr.h"
#include "parameters/UniMan.h"
#include "parameters/UniSrv.h"
#include "storagelib/SL20Dic.h"

#include <exception>

namespace vo {

void RegisterParameterClasses(TParameterManager& AManager) {
    AManager.RegisterParameterClass(ParameterClass<TUInt8Parameter>(), "UInt8");
    AManager.RegisterParameterClass(ParameterClass<TSInt8Parameter>(), "SInt8");
    AManager.RegisterParameterClass(ParameterClass<TUInt16Parameter>(), "UInt16");
    AManager.RegisterParameterClass(ParameterClass<TSInt16Parameter>(), "SInt16");
    AManager.RegisterParameterClass(ParameterClass<TUInt32Parameter>(), "UInt32");
    AManager.RegisterParameterClass(ParameterClass<TSInt32Parameter>(), "SInt32");
    AManager.RegisterParameterClass(ParameterClass<TEnumDir32Parameter>(), "EnumDir32");
    AManager.RegisterParameterClass(ParameterClass<TEnumDir16Parameter>(), "EnumDir16");
    AManager.RegisterParameterClass(ParameterClass<TEnumDir8Parameter>(), "EnumDir8");
    AManager.RegisterParameterClass(ParameterClass<TEnumChild32Parameter>(), "EnumChild32");
    AManager.RegisterParameterClass(ParameterClass<TEnumChild16Parameter>(), "EnumChild16");
    AManager.RegisterParameterClass(ParameterClass<TEnumChild8Parameter>(), "EnumChild8");
    AManager.RegisterParameterClass(ParameterClass<TRadioDir32Parameter>(), "RadioDir32");
    AManager.RegisterParameterClass(ParameterClass<TRadioDir16Parameter>(), "RadioDir16");
    AManager.RegisterParameterClass(ParameterClass<TRadioDirBitParameter>(), "RadioDirBit");
    AManager.RegisterParameterClass(ParameterClass<TRadioChild32Parameter>(), "RadioChild32");
    AManager.RegisterParameterClass(ParameterClass<TRadioChildParameter>(), "RadioChild");
    AManager.RegisterParameterClass(ParameterClass<TRadioChildBitParameter>(), "RadioChildBit");
    AManager.RegisterParameterClass(ParameterClass<TDirectoryParameter>(), "Directory");
    AManager.RegisterParameterClass(ParameterClass<TBoolParameter>(), "Bool");
    AManager.RegisterParameterClass(ParameterClass<TStringParameter>(), "String");
    AManager.RegisterParameterClass(ParameterClass<TClassDirParameter>(), "ClassDir");
    AManager.RegisterParameterClass(ParameterClass<TCapDirParameter>(), "CapDir");
}

void InitParameters(TDeviceManager& ADeviceManager, const TSLDictionary* AProgramSettings,
                    TParameterManager& AParameterManager, TUnitManager& AUnitManager) {
    // The composition root may have registered them through its hooks.
    if (!ADeviceManager.ServiceClassExists("UnitService"))
        ADeviceManager.RegisterServiceClass("UnitService", DeviceServiceClass<TUnitService>());
    if (!ADeviceManager.ServiceClassExists("ParameterService"))
        ADeviceManager.RegisterServiceClass("ParameterService", DeviceServiceClass<TParameterService>());
    AUnitManager.Initialize(UnitsFileName);
    if (AProgramSettings && AProgramSettings->NameExists("Parameter")) {
        try {
            auto* section = dynamic_cast<TSLDictionary*>(AProgramSettings->GetObjWithName("Parameter"));
            if (section)
                AParameterManager.Initialize(*section);
        } catch (const std::exception& e) {
            LogWarning(MyAnsiString("InitParameters: settings \"Parameter\": ") + e.what());
        }
    }
    RegisterParameterClasses(AParameterManager);
}

void InitParameters(TDeviceManager& ADeviceManager, const TSLDictionary* AProgramSettings) {
    InitParameters(ADeviceManager, AProgramSettings, ParameterManager(), UnitManager());
}

} // namespace vo
