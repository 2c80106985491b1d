#include "parameters/ParInit.h"

#include "devices/DevMan.h"
#include "kernel/Debug.h"
#include "parameters/ParMan.h"
#include "parameters/PtClass.h"
#include "parameters/PtDir.h"
#include "parameters/UniMan.h"
#include "parameters/UniSrv.h"
#include "storagelib/SL20Dic.h"

#include <exception>

namespace vo {

void RegisterParameterClasses(TParameterManager& AManager) {
    // Registration order: "UInt8", "SInt8", "UInt16", "SInt16", "UInt32",
    // "SInt32", "EnumDir32", "EnumDir16", "EnumDir8", "EnumChild32",
    // "EnumChild16", "EnumChild8", "RadioDir32", "RadioDir16", "RadioDirBit",
    // "RadioChild32", "RadioChild", "RadioChildBit" (integer, enumerator and
    // radio types), then:
    AManager.RegisterParameterClass(ParameterClass<TDirectoryParameter>(), "Directory");
    // "Bool", "String" (Boolean and string types)
    AManager.RegisterParameterClass(ParameterClass<TClassDirParameter>(), "ClassDir");
    // "CapDir" (caption directory)
}

void InitParameters(TDeviceManager& ADeviceManager, const TSLDictionary* AProgramSettings,
                    TParameterManager& AParameterManager, TUnitManager& AUnitManager) {
    ADeviceManager.RegisterServiceClass("UnitService", DeviceServiceClass<TUnitService>());
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
