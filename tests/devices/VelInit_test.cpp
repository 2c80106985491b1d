// The composition root: port drivers in order, the serial baud rate, the
// developer start, the pattern classes, the service classes and managers at
// their steps, and the settings it cannot do without.
#include "devices/VelInit.h"

#include "comm/OvraClnt.h"
#include "comm/OvraServ.h"
#include "comm/PortDrv.h"
#include "comm/QpRegister.h"
#include "comm/RsDrv.h"
#include "devices/ComProbe.h"
#include "devices/OvraIntf.h"
#include "kernel/LanguageMan.h"
#include "kernel/PrgObjs.h"
#include "platform/ComPorts.h"
#include "platform/FileNames.h"
#include "storagelib/PrgParams.h"
#include "storagelib/PrgRegs.h"
#include "storagelib/SL20Arc.h"
#include "storagelib/SL20FileSto.h"
#include "storagelib/SL20Sto.h"
#include "storagelib/SL20Dec.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/Pty.h"
#include "tests/support/ScriptedPrompt.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include <unistd.h>

namespace vo {
namespace {

// A port driver that only names itself.
class TNamedDriver : public TPortDriver {
public:
    explicit TNamedDriver(const char* Type) : TPortDriver(1) { SetPortType(Type); }
    uint8_t Send(int32_t, const MyAnsiString&) override { return 0; }
};

// A program-wide registry entry for the test's lifetime.
class TScopedSetting {
public:
    TScopedSetting(TProgramRegistry& R, const char* Path, const char* Text) : FR(R), FPath(Path) {
        if (FR.GetRegData()->FindObjWithName(Path))
            FR.RemoveObject(Path);
        TRef<TSLObject> obj = SLDecodeString(Text);
        FR.AddObject(Path, obj.Get());
    }
    ~TScopedSetting() {
        if (FR.GetRegData()->FindObjWithName(FPath))
            FR.RemoveObject(FPath);
    }

private:
    TProgramRegistry& FR;
    std::string FPath;
};

int64_t TextOfInt(TSLObject* O) {
    auto* n = dynamic_cast<TSLNumber*>(O);
    return n ? n->GetLongintValue() : -1;
}

class VelInitTest : public test::MainSchedulerFixture {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        MxEnsureMessaging();
        std::filesystem::create_directories(EmptyDevDir);
        Previous = SetComProbeTable(&Ports);
        ReadProgramParameters(std::vector<std::string>{});
        SetOvraProgramType(0);
        Hooks.WorkDir = RealPathToStored(VO_SOURCE_DATA_DIR) + "\\";
    }
    void TearDown() override {
        SetComProbeTable(Previous);
        ReadProgramParameters(std::vector<std::string>{});
        MainSchedulerFixture::TearDown();
    }
    // The registered port names in order.
    static std::vector<MyAnsiString> PortNames(TOvraServer& S) {
        std::vector<MyAnsiString> out;
        for (int i = 0; i < S.GetPortCount(); ++i)
            out.push_back(S.GetPortName(i));
        return out;
    }
    void WithDrivers() {
        Hooks.CreateQp1Driver = [this](int32_t Port, uint32_t Baud) {
            Log.push_back("OQP COM" + std::to_string(Port) + " " + std::to_string(Baud));
            return std::make_shared<TNamedDriver>("OQP");
        };
        Hooks.CreateCANDriver = [this](TSLDictionary* Config) {
            Log.push_back(Config ? "CAN configured" : "CAN defaults");
            return std::make_shared<TNamedDriver>("CAN");
        };
        Hooks.CreateETHDriver = [] { return std::make_shared<TNamedDriver>("ETH"); };
    }

    std::string EmptyDevDir = ::testing::TempDir() + "/velinit-dev";
    ComPortTable Ports{EmptyDevDir};
    ComPortTable* Previous = nullptr;
    TVelInitHooks Hooks;
    std::vector<std::string> Log;
    test::TScriptedPromptScope Prompt;
    TScopedSetting Devices{ProgramRegistry(), "Devices", "[D /Profiles [D ] ]"};
    TScopedSetting Communication{ProgramRegistry(), "COMMUNICATION", "[D ]"};
};

TEST_F(VelInitTest, PortDriversInTheirOrder) {
    WithDrivers();
    TScopedSetting can{CANDriverConfigRegistry(), "CANDriverConfig", "[D /BaudRate 500 ]"};
    {
        TVelkorCommander c(Hooks);
        EXPECT_EQ(PortNames(c.Server()), (std::vector<MyAnsiString>{"OQP1", "OQP2", "CAN", "ETH"}));
        EXPECT_EQ(OvraServer(), &c.Server());
    }
    EXPECT_EQ(OvraServer(), nullptr);
    test::Pty com3, com7;
    Ports.Map("COM3", com3.slavePath());
    Ports.Map("COM7", com7.slavePath());
    Ports.Map("COM9", EmptyDevDir + "/gone");
    TVelkorCommander c(Hooks);
    EXPECT_EQ(PortNames(c.Server()), (std::vector<MyAnsiString>{"COM3", "COM7", "OQP1", "OQP2", "CAN", "ETH"}));
    for (const auto& [name, nr] : {std::pair{"COM3", 1}, std::pair{"COM7", 2}}) {
        auto rs = std::dynamic_pointer_cast<TRsDriver>(c.Server().GetPortDriver(name));
        ASSERT_TRUE(rs) << name;
        EXPECT_EQ(rs->PortNr(), nr);
        EXPECT_EQ(rs->DefaultBaudRate(), 38400u);
    }
    EXPECT_EQ(c.Server().GetPortType("COM7"), "RS");
    EXPECT_EQ(Log, (std::vector<std::string>{"OQP COM1 9600", "OQP COM2 9600", "CAN configured", "OQP COM1 9600", "OQP COM2 9600", "CAN configured"}));
}

TEST_F(VelInitTest, TheSettingsWinOverTheSwitch) {
    struct TCase {
        const char* Switch;
        const char* Communication;
        uint32_t Baud;
    } cases[] = {
        {"-QP2BAUD:115200", "[D /QP2BAUD 57600 ]", 57600},
        {"-QP2BAUD:115200", "[D ]", 115200},
        {nullptr, "[D ]", 38400},
        {nullptr, "[D /QP2BAUD 19200 ]", 19200},
    };
    for (const TCase& t : cases) {
        SCOPED_TRACE(t.Communication);
        ReadProgramParameters(t.Switch ? std::vector<std::string>{t.Switch} : std::vector<std::string>{});
        TScopedSetting communication{ProgramRegistry(), "COMMUNICATION", t.Communication};
        TVelkorCommander c(Hooks);
        EXPECT_EQ(c.BaudRate(), t.Baud);
    }
    ReadProgramParameters(std::vector<std::string>{"-QP2BAUD:fast"});
    test::ExpectError([&] { TVelkorCommander c(Hooks); }, "'fast' is not a valid integer value");
    EXPECT_EQ(OvraServer(), nullptr);
}

TEST_F(VelInitTest, DeveloperStartAndPatternClasses) {
    for (const char* arg : {"develop", "DEVELOP"}) {
        SetOvraProgramType(0);
        ReadProgramParameters(std::vector<std::string>{arg, "-QP2BAUD:9600"});
        TVelkorCommander c(Hooks);
        EXPECT_EQ(OvraProgramType(), 1) << arg;
    }
    SetOvraProgramType(0);
    ReadProgramParameters(std::vector<std::string>{"-NoLogin", "Axis.vkc"});
    TVelkorCommander c(Hooks);
    EXPECT_EQ(OvraProgramType(), 0);
    ASSERT_EQ(c.Client().PatternCount(), 19);
    const auto classes = OvraPatternClasses();
    for (uint8_t id = 1; id <= 19; ++id)
        EXPECT_EQ(&c.Client().GetOvraPattern(id), classes[id - 1]);
    EXPECT_EQ(OvraClient(), &c.Client());
    EXPECT_EQ(DeviceManager(), &c.Devices());
    TObjectRegistryItem& item = ObjectRegistryManager().GetObject("OvraInterfaceFactory");
    EXPECT_EQ(item.Version(), 1);
    EXPECT_EQ(item.Revision(), 0);
    EXPECT_EQ(item.Item<TOvraInterfaceFactory>(), OvraInterfaceFactory());
    EXPECT_FALSE(LangText("Login_Password").empty());
}

TEST_F(VelInitTest, ServiceClassesAndManagersJoinAtTheirSteps) {
    const char* services[] = {"ModuleService", "StatusService", "ParameterService", "OsciService",
                              "LoaderService", "VariableService", "UnitService", "MessagesService",
                              "ErrorsService", "ControlPanelService", "CommandTableService", "CurveService"};
    for (const char* s : services)
        Hooks.ServiceClasses[s] = [](TDevice&, TSLDictionary*) -> std::unique_ptr<TDeviceService> { return nullptr; };
    auto step = [this](const char* Name) {
        return [this, Name] {
            const int registered = DeviceManager() ? static_cast<int>(DeviceManager()->ServiceClassExists("CurveService")) +
                    static_cast<int>(DeviceManager()->ServiceClassExists("UnitService"))
                                                   : -1;
            Log.push_back(std::string(Name) + " " + std::to_string(registered));
        };
    };
    TScopedSetting osci{ProgramRegistry(), "OsciDummy", "[D ]"};
    Hooks.OscilloscopeSettings = DictionaryAtPath(ProgramRegistry().GetRegData(), "OsciDummy");
    Hooks.InitOsciManager = [this](TSLDictionary* Settings) { Log.push_back(Settings ? "Osci settings" : "Osci"); };
    Hooks.InitVariableManager = [this](TSLDictionary* Variable) {
        Log.push_back(Variable ? "Variable settings" : "Variable");
        throw Exception("broken variable settings"); // swallowed
    };
    Hooks.InitDeviceViews = [this](TDeviceManager& M) {
        Log.push_back(std::string("Views ") + (DeviceManager() == &M ? "1" : "0"));
    };
    Hooks.InitDataObjectManagers = step("DataObjects");
    Hooks.InitUnitManager = step("Units");
    Hooks.InitCurveManager = step("Curves");
    Hooks.InitMotWizardManager = step("MotWizard");
    Hooks.CreateParameterManager = step("Parameters");
    Hooks.InitParameterManager = [this](TSLDictionary*) {
        Log.push_back("Parameter settings");
        throw Exception("broken parameter settings"); // swallowed
    };
    TScopedSetting parameter{ProgramRegistry(), "Parameter", "[D ]"};
    TVelkorCommander c(Hooks);
    for (const char* s : services)
        EXPECT_TRUE(c.Devices().ServiceClassExists(s)) << s;
    EXPECT_TRUE(c.Devices().ServiceClassExists("OvraService"));
    EXPECT_EQ(Log, (std::vector<std::string>{"Views 1", "Osci settings", "Variable", "DataObjects 0", "Units 1", "Curves 2", "MotWizard 2", "Parameters 2", "Parameter settings"}));
}

TEST_F(VelInitTest, MissingSettings) {
    WithDrivers();
    test::CapturedTrace trace;
    {
        // A first start: no view settings, no "COMMUNICATION".
        ProgramRegistry().RemoveObject("COMMUNICATION");
        TVelkorCommander c(Hooks);
        EXPECT_EQ(c.BaudRate(), 38400u);
    }
    EXPECT_EQ(Log, (std::vector<std::string>{"OQP COM1 9600", "OQP COM2 9600", "CAN defaults"}));
    EXPECT_TRUE(trace.Contains("***WARNING: the view settings (ViewConfig.ini) hold no \"CANDriverConfig\""));
    EXPECT_TRUE(trace.Contains("***WARNING: the settings (VelCmdr.ini) hold no \"COMMUNICATION\""));

    ProgramRegistry().RemoveObject("Devices");
    test::ExpectError([&] { TVelkorCommander c(Hooks); },
                      "InitVelkorCommander: the settings file VelCmdr.ini holds no \"Devices\"; the installation is "
                      "incomplete");
    EXPECT_EQ(OvraServer(), nullptr);
    EXPECT_EQ(OvraClient(), nullptr);
}

// The program as it starts: its folder built from data/ (the program archive,
// the language texts) with a user's ViewConfig.ini.
TEST_F(VelInitTest, AProgramFolderBuiltFromData) {
    namespace fs = std::filesystem;
    // Its own folder: copies of this program may run at the same time.
    const fs::path dir = fs::path(::testing::TempDir()) / ("velinit-program-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "LanguageDef");
    fs::copy_file(fs::path(VO_PROGRAM_DIR) / "Archives.sla", dir / "Archives.sla");
    fs::copy_file(fs::path(VO_SOURCE_DATA_DIR) / "LanguageDef" / "LanguageDef.csv", dir / "LanguageDef" / "LanguageDef.csv");
    std::ofstream(dir / "ViewConfig.ini") << "[D /LoginConfig [D /PortName 'ETH' /UserName 'SERVICE' ] "
                                             "/CANDriverConfig [D /BaudRate 500 ] ]";
    WithDrivers();
    TSLDictionary* canConfig = nullptr;
    Hooks.CreateCANDriver = [&](TSLDictionary* Config) {
        canConfig = Config;
        return std::make_shared<TNamedDriver>("CAN");
    };
    test::CapturedTrace trace;
    {
        TStorageManager storage(RealPathToStored(dir.string()) + "\\");
        storage.AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
        storage.AnnounceStoragePlugin(std::make_unique<TArchiveStoragePlugin>(), true);
        ProgramRegistry().ReadFromFile("archive://Archives\\Config\\VelCmdr.ini");
        CANDriverConfigRegistry().ReadFromFile("ViewConfig.ini");
        LoginConfigRegistry().ReadFromFile("ViewConfig.ini");
        Hooks.WorkDir = RealPathToStored(dir.string()) + "\\";
        TVelkorCommander c(Hooks);
        ASSERT_NE(canConfig, nullptr);
        EXPECT_EQ(TextOfInt(canConfig->FindObjWithName("BaudRate")), 500);
        EXPECT_EQ(c.BaudRate(), 38400u);
        EXPECT_NE(DictionaryAtPath(c.Devices().ProfDict(), "Profiles\\VelkorOnline"), nullptr);
        EXPECT_NE(DictionaryAtPath(ProgramRegistry().GetRegData(), "Login"), nullptr);
        EXPECT_EQ(LoginConfigRegistry().GetStrKey("LoginConfig\\PortName"), "ETH");
        EXPECT_EQ(LangText("Login_Password"), "Password");
    }
    PurgeAutoReleasePool();
    EXPECT_FALSE(trace.Contains("***WARNING"));
    CANDriverConfigRegistry().RemoveObject("CANDriverConfig");
    fs::remove_all(dir);
}

} // namespace
} // namespace vo
