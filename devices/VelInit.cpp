#include "devices/VelInit.h"

#include "comm/OvraServ.h"
#include "comm/QpRegister.h"
#include "comm/RsDrv.h"
#include "devices/ComProbe.h"
#include "devices/OvraImpl.h"
#include "devices/QsBasic.h"
#include "kernel/Debug.h"
#include "kernel/LanguageMan.h"
#include "kernel/PrgObjs.h"
#include "kernel/PropItms.h"
#include "storagelib/PrgParams.h"
#include "storagelib/PrgRegs.h"
#include "storagelib/SL20Arr.h"
#include "storagelib/SL20Elm.h"

namespace vo {

namespace {
uint8_t GProgramType = 0;

constexpr const char* SettingsFile = "VelCmdr.ini";

// The dictionary at Path of Registry, nullptr when there is none.
TSLDictionary* OptionalDict(TProgramRegistry& Registry, const char* Path) {
    TSLDictionary* root = Registry.GetRegData();
    return root ? DictionaryAtPath(root, Path) : nullptr;
}

MyAnsiString TextOf(TSLObject* Obj) {
    if (auto* s = dynamic_cast<TSLString*>(Obj))
        return s->GetStringValue();
    if (auto* n = dynamic_cast<TSLNumber*>(Obj))
        return n->GetStringValue();
    return {};
}

bool IsDeveloperStart() {
    TSLArray* args = ProgParamArray();
    if (!args || args->GetCount() == 0)
        return false;
    return UpperCaseText(TextOf(args->GetObjAtIndex(0))) == "DEVELOP";
}

void Guarded(const std::function<void()>& Step) {
    try {
        Step();
    } catch (...) {
    }
}

void Call(const std::function<void()>& Hook) {
    if (Hook)
        Hook();
}
} // namespace

TVelInitHooks& VelInitHooks() {
    static TVelInitHooks hooks;
    return hooks;
}

uint8_t OvraProgramType() noexcept {
    return GProgramType;
}
void SetOvraProgramType(uint8_t Value) noexcept {
    GProgramType = Value;
}

uint32_t SerialBaudRate(bool Warn) {
    uint32_t baud = 38400;
    if (TSLDictionary* params = ProgParamDict())
        if (TSLObject* value = params->FindObjWithName("QP2BAUD"))
            baud = static_cast<uint32_t>(PropStrToInt(TextOf(value)));
    TSLDictionary* communication = OptionalDict(ProgramRegistry(), "COMMUNICATION");
    if (!communication) {
        if (Warn)
            LogWarning(MyAnsiString("the settings (") + SettingsFile + ") hold no \"COMMUNICATION\": serial ports at " +
                       std::to_string(baud) + " baud");
        return baud;
    }
    if (TSLObject* value = communication->FindObjWithName("QP2BAUD")) {
        auto* n = dynamic_cast<TSLNumber*>(value);
        baud = static_cast<uint32_t>(n ? n->GetLongintValue() : PropStrToInt(TextOf(value)));
    }
    return baud;
}

std::vector<MyAnsiString> RegisterNewComPorts(TOvraServer& Server, uint32_t BaudRate) {
    std::vector<MyAnsiString> added;
    for (int n = 1; n <= 256; ++n) {
        const MyAnsiString name = "COM" + std::to_string(n);
        if (!Server.GetPortType(name).empty() || !ComPortCanOpen(name))
            continue;
        if (Server.AddPortDriver(name, std::make_shared<TRsDriver>(Server.GetPortCount() + 1, BaudRate, name)))
            added.push_back(name);
    }
    return added;
}

// ------------------------------------------------------------------ composition

TVelkorCommander::TVelkorCommander(const TVelInitHooks& Hooks) {
    try {
        Build(Hooks);
    } catch (...) {
        Clear();
        throw;
    }
}

TVelkorCommander::~TVelkorCommander() {
    Clear();
}

void TVelkorCommander::Clear() noexcept {
    if (DeviceManager() == FDeviceManager.get())
        SetDeviceManager(nullptr);
    FDeviceManager.reset();
    if (OvraClient() == FClient.get())
        SetOvraClient(nullptr);
    FClient.reset();
    if (OvraServer() == FServer.get())
        SetOvraServer(nullptr);
    FServer.reset();
}

void TVelkorCommander::Build(const TVelInitHooks& Hooks) {
    // 1, 2
    if (IsDeveloperStart())
        SetOvraProgramType(1);
    FBaudRate = SerialBaudRate();

    // 3: the server logs its queues on first.
    FServer = std::make_unique<TOvraServer>();
    SetOvraServer(FServer.get());

    // 4 .. 7: the port drivers.
    RegisterNewComPorts(*FServer, FBaudRate);
    if (Hooks.CreateQp1Driver) {
        FServer->AddPortDriver("OQP1", Hooks.CreateQp1Driver(1, 9600));
        FServer->AddPortDriver("OQP2", Hooks.CreateQp1Driver(2, 9600));
    }
    if (Hooks.CreateCANDriver) {
        TSLDictionary* config = OptionalDict(CANDriverConfigRegistry(), "CANDriverConfig");
        if (!config)
            LogWarning("the view settings (ViewConfig.ini) hold no \"CANDriverConfig\": CAN with its defaults");
        FServer->AddPortDriver("CAN", Hooks.CreateCANDriver(config));
    }
    if (Hooks.CreateETHDriver)
        FServer->AddPortDriver("ETH", Hooks.CreateETHDriver());

    // 8
    FClient = std::make_unique<TOvraClient>();
    RegisterOvraPatterns(*FClient);
    SetOvraClient(FClient.get());

    // 9
    TSLDictionary* devices = OptionalDict(ProgramRegistry(), "Devices");
    if (!devices)
        throw Exception(MyAnsiString("InitVelkorCommander: the settings file ") + SettingsFile +
                        " holds no \"Devices\"; the installation is incomplete");
    FDeviceManager = std::make_unique<TDeviceManager>(devices);
    SetDeviceManager(FDeviceManager.get());
    if (Hooks.InitDeviceViews)
        Hooks.InitDeviceViews(*FDeviceManager);

    // 10
    auto service = [&](const char* Name) {
        auto it = Hooks.ServiceClasses.find(Name);
        if (it != Hooks.ServiceClasses.end() && it->second)
            FDeviceManager->RegisterServiceClass(Name, it->second);
    };
    service("ModuleService");
    FDeviceManager->RegisterServiceClass("OvraService", DeviceServiceClass<TBasicOvraService>());
    if (!ObjectRegistryManager().ObjectExists("OvraInterfaceFactory"))
        InitOvraInterfaceServer();
    service("StatusService");
    service("ParameterService");
    service("OsciService");
    if (Hooks.InitOsciManager)
        Hooks.InitOsciManager(Hooks.OscilloscopeSettings);
    service("LoaderService");
    service("VariableService");
    if (Hooks.InitVariableManager)
        Guarded([&] { Hooks.InitVariableManager(OptionalDict(ProgramRegistry(), "Variable")); });
    Call(Hooks.InitDataObjectManagers);
    service("UnitService");
    Call(Hooks.InitUnitManager);
    service("MessagesService");
    Call(Hooks.InitMessagesManager);
    service("ErrorsService");
    Call(Hooks.InitErrorsManager);
    service("ControlPanelService");
    Call(Hooks.InitControlPanelManager);
    service("CommandTableService");
    Call(Hooks.InitCommandTableManager);
    service("CurveService");
    Call(Hooks.InitCurveManager);

    // 11, 12, 13
    Call(Hooks.InitMotWizardManager);
    LanguageManager().InitWithFile(Hooks.WorkDir + "LanguageDef\\LanguageDef.csv");
    Call(Hooks.CreateParameterManager);
    if (Hooks.InitParameterManager)
        Guarded([&] {
            if (TSLDictionary* parameter = OptionalDict(ProgramRegistry(), "Parameter"))
                Hooks.InitParameterManager(parameter);
        });
}

void InitVelkorCommander() {
    // Never freed: the server's thread and the devices stay until the process
    // ends, past the destruction of the other program-wide objects.
    static TVelkorCommander* commander = nullptr;
    if (commander)
        throw Exception("InitVelkorCommander: the program is composed already");
    commander = new TVelkorCommander(VelInitHooks());
}

} // namespace vo
