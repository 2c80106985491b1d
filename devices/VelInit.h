#pragma once
// The composition root: builds the object skeleton below the kernel once at
// start-up, in this order:
//   1. developer start (first command-line argument "DEVELOP", any case)
//   2. the serial baud rate (38400; the switch -QP2BAUD; "COMMUNICATION"
//      "QP2BAUD" of the program settings, which wins)
//   3. the communication server
//   4. one RS232 driver "COMn" for every serial port COM1..COM256 that opens
//   5. the older-protocol gateway drivers "OQP1" (COM1) and "OQP2" (COM2),
//      9600 baud
//   6. the CAN driver "CAN" from "CANDriverConfig" and the CAN manager
//   7. the Ethernet driver "ETH"
//   8. the communication client with the 19 telegram pattern classes
//   9. the device manager with the "Devices" settings
//  10. the device-service classes and the program-wide managers, interleaved
//  11. the motor-wizard manager
//  12. the language texts (WorkDir + "LanguageDef\LanguageDef.csv")
//  13. the parameter manager
//
// This folder builds what belongs to it (server, RS232 drivers, client,
// device manager, "OvraService", the device-interface factory, language
// texts). The drivers, service classes and managers of the other subsystems
// join through the hooks of TVelInitHooks at their step; the program fills
// them in one place before the composition runs, and an empty hook is
// skipped. Everything created lives until the process ends.
//
// Failures: the variable-manager block (10.6) and the parameter manager's
// settings (13) are guarded (their exceptions are swallowed). A missing
// "COMMUNICATION" or "CANDriverConfig" (a first start has no ViewConfig.ini)
// gives the defaults and a warning. Anything else ends the composition and
// propagates, among them a missing "Devices" (a broken installation) and a
// -QP2BAUD value that is no integer.
#include "devices/DevMan.h"
#include "platform/AnsiString.h"

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

namespace vo {

class TOvraClient;
class TOvraServer;
class TPortDriver;

struct TVelInitHooks {
    // Inputs the main form sets.
    MyAnsiString WorkDir; // the program folder, with a trailing "\"
    TSLDictionary* OscilloscopeSettings = nullptr; // the view settings' section, or nullptr

    // 5: a gateway driver on a serial port (1 or 2) at a baud rate.
    std::function<std::shared_ptr<TPortDriver>(int32_t ComPort, uint32_t BaudRate)> CreateQp1Driver;
    // 6: the CAN driver initialised from "CANDriverConfig" (nullptr: the
    // defaults); the hook also creates the CAN manager and hands it the driver.
    std::function<std::shared_ptr<TPortDriver>(TSLDictionary* CANDriverConfig)> CreateCANDriver;
    // 7: the Ethernet driver.
    std::function<std::shared_ptr<TPortDriver>()> CreateETHDriver;

    // 9: gives the new device manager its view factories (device info and
    // project info views, devices/gui/DevInfoForm.h).
    std::function<void(TDeviceManager& Manager)> InitDeviceViews;

    // 10: device-service classes by registered name ("ModuleService",
    // "StatusService", "ParameterService", "OsciService", "LoaderService",
    // "VariableService", "UnitService", "MessagesService", "ErrorsService",
    // "ControlPanelService", "CommandTableService", "CurveService"); each is
    // registered at its place in the order. "OvraService" is this folder's.
    std::map<MyAnsiString, TDeviceServiceClass> ServiceClasses;
    // 10.4: creates the oscilloscope manager (with the settings, when given).
    std::function<void(TSLDictionary* OscilloscopeSettings)> InitOsciManager;
    // 10.6 (guarded): the variable manager with "Variable" (nullptr when the
    // settings have none) and its 15 variable classes.
    std::function<void(TSLDictionary* Variable)> InitVariableManager;
    // 10.7: the data-object managers (ObjCntManager, ObjLoaderManager,
    // ZezDataTypeList).
    std::function<void()> InitDataObjectManagers;
    // 10.8: the unit manager.
    std::function<void()> InitUnitManager;
    // 10.9, 10.10, 10.11: each after its service class.
    std::function<void()> InitMessagesManager;
    std::function<void()> InitErrorsManager;
    std::function<void()> InitControlPanelManager;
    std::function<void()> InitCommandTableManager;
    std::function<void()> InitCurveManager;
    // 11: the motor-wizard manager with its value and parameter classes.
    std::function<void()> InitMotWizardManager;
    // 13: the parameter manager with its view factory and its 23 parameter
    // classes; then (guarded) its settings "Parameter", when there are any.
    std::function<void()> CreateParameterManager;
    std::function<void(TSLDictionary* Parameter)> InitParameterManager;
};

// The program's hooks (filled by the program before InitVelkorCommander).
TVelInitHooks& VelInitHooks();

// 0 normal start, 1 developer start.
uint8_t OvraProgramType() noexcept;
void SetOvraProgramType(uint8_t Value) noexcept;

// The baud rate of serial ports: 38400; the switch -QP2BAUD (decimal, any
// other text raises "'<text>' is not a valid integer value"); then
// "COMMUNICATION" "QP2BAUD" of the program settings. A missing
// "COMMUNICATION" logs a warning (when Warn) and keeps the rate so far. The
// login dialog opens ports found later at the same rate.
uint32_t SerialBaudRate(bool Warn = true);

// Registers an RS232 driver with Server for every port COM1..COM256 the
// server does not list yet and that opens now: port number = the server's
// port count + 1, default baud rate BaudRate. Returns the names added.
std::vector<MyAnsiString> RegisterNewComPorts(TOvraServer& Server, uint32_t BaudRate);

// The objects of one composition (the program keeps one for its whole run;
// tests build and free their own). The program-wide accessors (OvraServer(),
// OvraClient(), DeviceManager()) point at them while they live.
class TVelkorCommander {
public:
    // Runs the composition with Hooks. Raises as said above; what was built
    // before the failure is freed again.
    explicit TVelkorCommander(const TVelInitHooks& Hooks);
    ~TVelkorCommander();
    TVelkorCommander(const TVelkorCommander&) = delete;
    TVelkorCommander& operator=(const TVelkorCommander&) = delete;

    TOvraServer& Server() const { return *FServer; }
    TOvraClient& Client() const { return *FClient; }
    TDeviceManager& Devices() const { return *FDeviceManager; }
    uint32_t BaudRate() const { return FBaudRate; }

private:
    void Build(const TVelInitHooks& Hooks);
    void Clear() noexcept;

    uint32_t FBaudRate = 38400;
    std::unique_ptr<TOvraServer> FServer;
    std::unique_ptr<TOvraClient> FClient;
    std::unique_ptr<TDeviceManager> FDeviceManager;
};

// Builds the program's composition from VelInitHooks() once; it lives until
// the process ends. A second call raises.
void InitVelkorCommander();

} // namespace vo
