#include "parameters/ParInit.h"

#include "devices/DevMan.h"
#include "kernel/Debug.h"
#include "parameters/ParMan.h"
#include "parameters/ParSrv.h"
#include "parameters/PtClass.h"
#include "parameters/PtDir.h"
#include "parameters/PtInt.h"
#include "parameters/UniMan.h"
#include "parameters/UniSrv.h"
#include "parameters/varService.h"
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
    // Enumerator types: "EnumDir32", "EnumDir16", "EnumDir8", "EnumChild32",
    // "EnumChild16", "EnumChild8".
    // Radio types: "RadioDir32", "RadioDir16", "RadioDirBit", "RadioChild32",
    // "RadioChild", "RadioChildBit".
    AManager.RegisterParameterClass(ParameterClass<TDirectoryParameter>(), "Directory");
    // "Bool", "String" (Boolean and string types)
    AManager.RegisterParameterClass(ParameterClass<TClassDirParameter>(), "ClassDir");
    // "CapDir" (caption directory)
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
    // Variables: the service class, the "Variable" settings, the variable classes.
    InitVariables(ADeviceManager, AProgramSettings, VariableManager());
}

void InitParameters(TDeviceManager& ADeviceManager, const TSLDictionary* AProgramSettings) {
    InitParameters(ADeviceManager, AProgramSettings, ParameterManager(), UnitManager());
}

} // namespace vo
