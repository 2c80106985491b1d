#pragma once
// Setting up the parameter model for the program: the parameter classes by
// record type name, the device-service class "UnitService", the base-unit
// catalogue and the list settings of the parameter views. The composition
// root calls InitParameters once at start-up.
#include "platform/AnsiString.h"

namespace vo {

class TDeviceManager;
class TParameterManager;
class TSLDictionary;
class TUnitManager;

// Where the base-unit catalogue is stored.
inline constexpr const char* UnitsFileName = "archive://Archives\\UnitService\\Units.stx";

// Registers the parameter classes of the program.
void RegisterParameterClasses(TParameterManager& AManager);

// Registers "UnitService" and "ParameterService" at the device manager
// (unless registered already), loads the units from
// UnitsFileName (errors are shown to the user), registers the parameter
// classes and reads the section "Parameter" of the program settings (when
// present; an error there is logged and the defaults stay).
void InitParameters(TDeviceManager& ADeviceManager, const TSLDictionary* AProgramSettings,
                    TParameterManager& AParameterManager, TUnitManager& AUnitManager);
// The same with the program-wide managers.
void InitParameters(TDeviceManager& ADeviceManager, const TSLDictionary* AProgramSettings);

} // namespace vo
