// The connection service: a device created from the program's profiles opens
// its port through the communication server, logs in to a drive, identifies
// it, checks the user and starts; it logs out and closes at the end. End to
// end over a pseudo-terminal to the drive simulator (RS232 driver), and
// against a scripted server for the answers no drive gives.
#include "devices/OvraConn.h"

#include "comm/CANdrv.h"
#include "comm/ETHdrv.h"
#include "comm/OvraActr.h"
#include "comm/OvraServ.h"
#include "comm/QpRegister.h"
#include "comm/RsDrv.h"
#include "devices/LoadSrv.h"
#include "devices/ModulSrv.h"
#include "devices/QsBasic.h"
#include "devices/StatSrv.h"
#include "kernel/LanguageMan.h"
#include "kernel/functions.h"
#include "kernel/MD5Generator.h"
#include "platform/CanAdapter.h"
#include "platform/ComPorts.h"
#include "platform/FileNames.h"
#include "storagelib/SL20Arc.h"
#include "storagelib/SL20FileSto.h"
#include "storagelib/SL20Sto.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/ScriptedPrompt.h"
#include "tests/support/SimComLink.h"
#include "tests/support/TestShell.h"
#include "tools/drivesim/SimCan.h"
#include "tools/drivesim/SimDriveFile.h"
#include "tools/drivesim/SimPty.h"
#include "tools/drivesim/SimRunner.h"
#include "tools/drivesim/SimUdp.h"

#include "parameters/ParSrv.h"
#include "parameters/varService.h"
#include "parameters/UniSrv.h"

#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vo {
namespace {

using namespace std::chrono_literals;

// The developer password of the tests; the shell holds its digest.
constexpr const char* DeveloperPassword = "velkor-develop";

MyAnsiString Bytes(std::string_view Hex) {
    return SimHex(Hex);
}

// The program configuration as the program reads it: from the archive built
// out of data/ at build time.
TRef<TSLDictionary> LoadProgramConfig() {
    TRef<TSLDictionary> config;
    {
        TStorageManager m(RealPathToStored(VO_PROGRAM_DIR) + "\\");
        m.AnnounceStoragePlugin(std::make_unique<TFileStoragePlugin>(), true);
        m.AnnounceStoragePlugin(std::make_unique<TArchiveStoragePlugin>(), true);
        TSLStorageObject* o = m.GetObject("archive://Archives\\Config\\VelCmdr.ini");
        config = TRef<TSLDictionary>(dynamic_cast<TSLDictionary*>(o->GetData()));
    }
    PurgeAutoReleasePool();
    return config;
}

void LoadLanguageFileOnce() {
    static bool loaded = false;
    if (loaded)
        return;
    loaded = true;
    test::TScriptedPromptScope prompt;
    LanguageManager().InitWithFile(SimDataDir() + "/../LanguageDef/LanguageDef.csv");
    EXPECT_TRUE(prompt.Texts().empty());
}

// The device side: the program's profiles, the device manager with the
// connection service registered, a test shell, a scripted prompt and a trace.
class ConnectionTestBase : public test::MainSchedulerFixture {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        MxEnsureMessaging();
        LoadLanguageFileOnce();
        Shell.developerDigest = MD5Value(DeveloperPassword);
        Shell.productInfo["ProgramVersionCaption"] = "4.2";
        Shell.companyInfo["HomePage"] = "www.velkor.example";
        Config = LoadProgramConfig();
        ASSERT_TRUE(Config);
        TSLDictionary* root = Config.Get();
        Manager = std::make_unique<TDeviceManager>(DictionaryAtPath(root, "Devices"),
                                                   [root](const MyAnsiString& Path) { return DictionaryAtPath(root, Path); });
        Manager->RegisterServiceClass("OvraService", DeviceServiceClass<TBasicOvraService>());
    }
    void TearDown() override {
        Manager.reset();
        MainSchedulerFixture::TearDown();
    }

    TDevice& NewDevice(const char* Profile = "VelkorOnline", const char* User = "USER", const char* Password = "user",
                       const char* Port = "COM7") {
        TDevice& d = Manager->CreateDevice("BOX" + std::to_string(++DeviceCount), Profile);
        d.SetStrVar("PortName", Port);
        d.SetStrVar("UserName", User);
        d.SetStrVar("Password", Password);
        d.CreateServices();
        return d;
    }
    static TBasicOvraService& Ovra(TDevice& D) { return *D.FindService<TBasicOvraService>("OvraService"); }

    // Starts the device and runs until its response (Serve is called at
    // every turn).
    bool Start(TDevice& D) {
        Responses = 0;
        D.StartUpServices([this](TDevice&) { ++Responses; });
        return Run([&] { return Responses > 0; });
    }
    bool Stop(TDevice& D) {
        Responses = 0;
        D.ShutDownServices([this](TDevice&) { ++Responses; });
        return Run([&] { return Responses > 0; });
    }
    virtual void Serve() {}
    bool Run(const std::function<bool()>& Pred, std::chrono::milliseconds Timeout = 10s) {
        return RunUntil(
            [&] {
                Serve();
                return Pred();
            },
            Timeout);
    }
    void Settle(std::chrono::milliseconds For = 100ms) {
        Run([] { return false; }, For);
    }

    test::TestShell Shell;
    test::TScriptedPromptScope Prompt;
    test::CapturedTrace Trace;
    TRef<TSLDictionary> Config;
    std::unique_ptr<TDeviceManager> Manager;
    int Responses = 0;
    int DeviceCount = 0;
};

// ------------------------------------------------------------------ profiles

TEST_F(ConnectionTestBase, TheProgramArchiveHoldsTheDeviceProfiles) {
    const struct {
        const char* Profile;
        TDeviceType Type;
    } cases[] = {{"VelkorOnline", dtOnline}, {"VelkorInstallETH", dtOnline}, {"VelkorOffline", dtOffline}, {"VelkorArchive", dtArchive}};
    Manager->RegisterServiceClass("ModuleService", DeviceServiceClass<TModuleService>());
    Manager->RegisterServiceClass("StatusService", DeviceServiceClass<TStatusService>());
    Manager->RegisterServiceClass("LoaderService", DeviceServiceClass<TLoaderService>());
    Manager->RegisterServiceClass("UnitService", DeviceServiceClass<TUnitService>());
    Manager->RegisterServiceClass("ParameterService", DeviceServiceClass<TParameterService>());
    Manager->RegisterServiceClass("VariableService", DeviceServiceClass<TVariableService>());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Profile);
        TDevice& d = NewDevice(c.Profile);
        EXPECT_EQ(d.DeviceType(), c.Type);
        // Online profiles carry the loader; all but the installation profile
        // carry the units and parameters.
        const bool loader = c.Type == dtOnline;
        const bool parameters = MyAnsiString(c.Profile) != "VelkorInstallETH";
        // The online and offline profiles carry the variables last.
        const bool variables = MyAnsiString(c.Profile) == "VelkorOnline" || MyAnsiString(c.Profile) == "VelkorOffline";
        ASSERT_EQ(d.GetServiceCount(), 3 + (loader ? 1 : 0) + (parameters ? 2 : 0) + (variables ? 1 : 0));
        int next = 3;
        if (loader) {
            EXPECT_EQ(d.GetServiceWithIndex(next++).Name(), "LoaderService");
        }
        if (parameters) {
            EXPECT_EQ(d.GetServiceWithIndex(next).Name(), "UnitService");
            EXPECT_EQ(d.GetServiceWithIndex(next + 1).Name(), "ParameterService");
            EXPECT_EQ(d.GetServiceWithIndex(next + 1).Caption(), "Parameters");
        }
        if (variables) {
            EXPECT_EQ(d.GetServiceWithIndex(d.GetServiceCount() - 1).Name(), "VariableService");
            EXPECT_EQ(d.GetServiceWithIndex(d.GetServiceCount() - 1).Caption(), "Variables");
        }
        EXPECT_EQ(d.GetServiceWithIndex(1).Name(), "ModuleService");
        EXPECT_EQ(d.GetServiceWithIndex(2).Name(), "StatusService");
        EXPECT_EQ(d.GetServiceWithIndex(0).Name(), "OvraService");
        EXPECT_EQ(d.GetServiceWithIndex(0).Caption(), "Drive Connection");
        EXPECT_NE(dynamic_cast<TBasicOvraService*>(&d.GetServiceWithIndex(0)), nullptr);
        EXPECT_FALSE(d.PropList().GetInfoStr("English").empty());
    }
    EXPECT_TRUE(Trace.Lines().empty() || !Trace.Contains("***ERROR"));
    EXPECT_NE(Config->FindObjWithName("COMMUNICATION"), nullptr);
}

TEST_F(ConnectionTestBase, OfflineAndArchiveDevicesStartWithoutATelegram) {
    // No server at all: a message to it would fail.
    for (const char* profile : {"VelkorOffline", "VelkorArchive"}) {
        SCOPED_TRACE(profile);
        TDevice& d = NewDevice(profile);
        ASSERT_TRUE(Start(d));
        EXPECT_EQ(d.State(), dstStarted);
        EXPECT_EQ(Ovra(d).ServiceStatus(), dsStarted);
        EXPECT_FALSE(Ovra(d).PortOpenSuccess());
        ASSERT_TRUE(Stop(d));
        EXPECT_EQ(d.State(), dstStopped);
        EXPECT_EQ(Ovra(d).ServiceStatus(), dsStopped);
    }
    EXPECT_TRUE(Prompt.Texts().empty());
}

// ------------------------------------------------------------------ over RS232 to the simulator

// The server with an RS232 driver for "COM7"; Attach puts a simulated drive
// behind it on a pseudo-terminal.
class PtyConnectionTest : public ConnectionTestBase, protected test::SimComLink {
protected:
    void SetUp() override {
        ConnectionTestBase::SetUp();
        ASSERT_NO_FATAL_FAILURE(OpenLink());
    }
    void TearDown() override {
        Manager.reset();
        CloseLink();
        ConnectionTestBase::TearDown();
    }


    std::vector<MyAnsiString> FramesIn() const {
        std::vector<MyAnsiString> out;
        for (const auto& f : Runner->Transcript().Frames(SimDirection::In))
            out.push_back(f);
        return out;
    }
    bool PortClosed() {
        return Run([&] { return Server->GetDeviceHandle("COM7") < 0; }, 5s);
    }

    TScopedTimeOverride OpenDelay{RsDriverOpenDelay, 0};
    // A prompt answer stays in time on a loaded machine: the tests count the
    // telegrams the drive saw.
    TScopedTimeOverride AnswerTimeout{ServerActorAnswerTimeout, 1000};
};

struct TGenerationCase {
    const char* File;
    const char* User;
    const char* Password;
    uint8_t Protocol;
    uint8_t A;
    uint8_t MaxBuffer;
    const char* ReleaseRead;
    const char* PasswordRead;
    const char* ReleaseText;
    const char* DeviceString;
    bool BlockUPID;
};

class GenerationTest : public PtyConnectionTest, public ::testing::WithParamInterface<TGenerationCase> {};

TEST_P(GenerationTest, LogsInIdentifiesChecksTheUserAndLogsOut) {
    const TGenerationCase& c = GetParam();
    Attach(c.File);
    TDevice& d = NewDevice("VelkorOnline", c.User, c.Password);
    TBasicOvraService& ovra = Ovra(d);
    ASSERT_TRUE(Start(d));
    ASSERT_EQ(d.State(), dstStarted) << (Prompt.Texts().empty() ? "" : Prompt.Texts()[0]);
    EXPECT_EQ(ovra.ServiceStatus(), dsStarted);
    EXPECT_TRUE(Prompt.Texts().empty());

    // Login, release text, password of the user's level.
    EXPECT_EQ(FramesIn(), (std::vector<MyAnsiString>{Bytes("01"), Bytes(c.ReleaseRead), Bytes(c.PasswordRead)}));
    EXPECT_TRUE(ovra.DeviceOnline());
    EXPECT_GE(ovra.PortHandle(), 0);
    EXPECT_EQ(ovra.ProtocolVersion(), c.Protocol);
    EXPECT_EQ(ovra.AddrFieldSize(), c.A);
    EXPECT_EQ(ovra.DataFieldSize(), 2);
    EXPECT_EQ(ovra.MaxBufferSize(), c.MaxBuffer);
    EXPECT_EQ(ovra.DeviceString(), c.DeviceString);
    EXPECT_EQ(ovra.ReleaseInfo(), c.ReleaseText);
    EXPECT_EQ(ovra.GetStrVar("OvraVersion"), std::to_string(c.Protocol));
    EXPECT_EQ(ovra.GetStrVar("MaxBufferSize"), std::to_string(c.MaxBuffer));
    // The drive's command table.
    EXPECT_EQ(ovra.GetBlockUPID() != nullptr, c.BlockUPID);
    EXPECT_EQ(ovra.SetFlashWord()->OvraId(), 0x12);

    // The patterns shape telegrams with the drive's facts.
    TOvraActorLease actor(*Client);
    ovra.GetMemoryWord()->Put(*actor, 0x100, 7);
    bool answered = false;
    actor->SetOnResponse([&](TOvraActor&) { answered = true; });
    actor->Execute();
    ASSERT_TRUE(Run([&] { return answered; }));
    EXPECT_EQ(actor->GetResult(), 0);
    EXPECT_EQ(ovra.GetMemoryWord()->GetData(*actor), 0x1234);

    ASSERT_TRUE(Stop(d));
    EXPECT_EQ(d.State(), dstStopped);
    EXPECT_EQ(ovra.ServiceStatus(), dsStopped);
    EXPECT_FALSE(ovra.DeviceOnline());
    EXPECT_EQ(FramesIn().back(), Bytes("02"));
    EXPECT_TRUE(PortClosed());
    Runner->WithDrive([](SimDrive& drive) { EXPECT_FALSE(drive.Owner().has_value()); });
}

INSTANTIATE_TEST_SUITE_P(
    Drives, GenerationTest,
    ::testing::Values(
        TGenerationCase{"vx41.drive", "USER", "user", 0x41, 4, 255, "30 30 08 30 00 20", "15 00 44 70 10",
                        "VX41 R1.02 2024-05-01", "VX41-SIM", true},
        TGenerationCase{"vx41.drive", "service", "service", 0x41, 4, 255, "30 30 08 30 00 20", "15 00 48 70 10",
                        "VX41 R1.02 2024-05-01", "VX41-SIM", true},
        TGenerationCase{"vx31.drive", "USER", "user", 0x31, 3, 128, "30 48 1F 00 20", "88 00 C0 0C", "VX31 R2.05",
                        "VX31-SIM", false},
        TGenerationCase{"vx20.drive", "SERVICE", "service", 0x20, 3, 64, "30 48 07 20 20", "88 00 C5 0C", "VX20 R1.07",
                        "VX20-SIM", false}),
    [](const ::testing::TestParamInfo<TGenerationCase>& i) {
        return std::string(i.param.File).substr(0, 4) + "_" + UpperCaseText(i.param.User);
    });

TEST_F(PtyConnectionTest, GuestAndDeveloperSendNoPasswordTelegram) {
    Attach("vx41.drive");
    for (const auto& [user, password] : {std::pair{"GUEST", ""}, std::pair{"", "x"}, std::pair{"DEVELOPER", DeveloperPassword}}) {
        SCOPED_TRACE(user);
        TDevice& d = NewDevice("VelkorOnline", user, password);
        ASSERT_TRUE(Start(d));
        EXPECT_EQ(d.State(), dstStarted);
        ASSERT_TRUE(Stop(d));
        EXPECT_TRUE(PortClosed());
    }
    std::vector<MyAnsiString> oneLogin = {Bytes("01"), Bytes("30 30 08 30 00 20"), Bytes("02")};
    std::vector<MyAnsiString> expected;
    for (int i = 0; i < 3; ++i)
        expected.insert(expected.end(), oneLogin.begin(), oneLogin.end());
    EXPECT_EQ(FramesIn(), expected);
    EXPECT_TRUE(Trace.Contains("***INFO: Logout Device")); // for the developer
    EXPECT_TRUE(Prompt.Texts().empty());
}

TEST_F(PtyConnectionTest, AnUnknownUserIsRefusedBeforeAnyTelegram) {
    Attach("vx41.drive");
    TDevice& d = NewDevice("VelkorOnline", "Admin", "x");
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstError);
    EXPECT_EQ(Prompt.Texts(), std::vector<MyAnsiString>{"Unknown user name 'ADMIN'!"});
    Settle();
    EXPECT_TRUE(FramesIn().empty());
    EXPECT_EQ(Ovra(d).ServiceStatus(), dsError);
    EXPECT_FALSE(Ovra(d).PortOpenSuccess());
}

struct TRefusalCase {
    const char* Name;
    std::function<void(SimDriveDescription&)> Prepare;
    const char* User;
    const char* Password;
    std::function<MyAnsiString()> Text;
};

class RefusalTest : public PtyConnectionTest, public ::testing::WithParamInterface<TRefusalCase> {};

TEST_P(RefusalTest, LeavesThePortClosedAndTheDeviceInError) {
    const TRefusalCase& c = GetParam();
    SimDriveDescription drive = SimLoadDrive(SimDataDir() + "/vx41.drive");
    c.Prepare(drive);
    Attach(std::move(drive));
    TDevice& d = NewDevice("VelkorOnline", c.User, c.Password);
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstError);
    const MyAnsiString text = c.Text();
    EXPECT_FALSE(text.empty());
    EXPECT_TRUE(PortClosed());
    ASSERT_TRUE(Run([&] { return Ovra(d).ServiceStatus() == dsStopped; }));
    EXPECT_EQ(Prompt.Texts(), std::vector<MyAnsiString>{text});
    EXPECT_EQ(Ovra(d).WorkErrMsg(), text);
    EXPECT_TRUE(Trace.Contains("***ERROR: " + text.substr(0, 20)));
    // The device can be stopped and freed afterwards.
    ASSERT_TRUE(Stop(d));
    EXPECT_EQ(d.State(), dstStopped);
    Manager->DestroyDevice(d);
}

void SetIdentity(SimDriveDescription& D, const std::function<void(SimIdentity&)>& Change) {
    SimIdentity id = D.drive.Identity();
    Change(id);
    D.drive.SetIdentity(id);
}

INSTANTIATE_TEST_SUITE_P(
    Drives, RefusalTest,
    ::testing::Values(
        TRefusalCase{"AnotherMaster", [](SimDriveDescription& D) { D.drive.SetOwner("other"); }, "USER", "user",
                     [] { return MyAnsiString("Login aborted! Another instance is already logged into this drive!"); }},
        TRefusalCase{"Protocol43",
                     [](SimDriveDescription& D) { SetIdentity(D, [](SimIdentity& id) { id.protocolVersion = 0x43; }); },
                     "USER", "user", [] { return MyAnsiString("0x43: Unknown ovra protocol version!"); }},
        TRefusalCase{"WrongPassword", [](SimDriveDescription&) {}, "USER", "resu",
                     [] { return MyAnsiString("Wrong password!"); }},
        TRefusalCase{"WrongDeveloperPassword", [](SimDriveDescription&) {}, "DEVELOPER", "user",
                     [] { return MyAnsiString("Wrong password!"); }},
        TRefusalCase{"NoAnswer", [](SimDriveDescription& D) { D.faults.push_back(SimFaultRule::Parse("cmd=01 times=0 drop")); },
                     "USER", "user", [] { return LangText("DeviceTimeOutStrRS"); }},
        TRefusalCase{"ShortAnswer",
                     [](SimDriveDescription& D) { D.faults.push_back(SimFaultRule::Parse("cmd=01 times=0 truncate=12")); },
                     "USER", "user", [] { return MyAnsiString("Invalid login answer: frame of 12 bytes is too short!"); }},
        TRefusalCase{"DataSize0",
                     [](SimDriveDescription& D) { SetIdentity(D, [](SimIdentity& id) { id.dataFieldSize = 0; }); }, "USER",
                     "user", [] { return MyAnsiString("Invalid login answer: data field size 0 (1 to 4 expected)!"); }},
        TRefusalCase{"AddressSize2",
                     [](SimDriveDescription& D) { SetIdentity(D, [](SimIdentity& id) { id.addrFieldSize = 2; }); }, "USER",
                     "user", [] { return MyAnsiString("Invalid login answer: address field size 2 (3 or 4 expected)!"); }},
        TRefusalCase{"UnknownPasswordParameter",
                     [](SimDriveDescription& D) { D.faults.push_back(SimFaultRule::Parse("cmd=15 status=C0")); }, "USER",
                     "user", [] { return MyAnsiString("Velkor-Ovra 4.2 does not support the firmware of this drive "
                                                      "(VX41 R1.02 2024-05-01).\rPlease update the program: www.velkor.example"); }}),
    [](const ::testing::TestParamInfo<TRefusalCase>& i) { return std::string(i.param.Name); });

TEST_F(PtyConnectionTest, AConnectionLostDeviceIsClosedWithoutLogout) {
    Attach("vx41.drive");
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    d.ChangeToConnectionLost(nullptr);
    ASSERT_TRUE(Stop(d));
    EXPECT_EQ(d.State(), dstStopped);
    EXPECT_TRUE(PortClosed());
    for (const auto& f : FramesIn())
        EXPECT_NE(f, Bytes("02"));
}

TEST_F(PtyConnectionTest, GoingOfflineLogsOutOnRequestAndKeepsTheFacts) {
    Attach("vx41.drive");
    for (bool logout : {true, false}) {
        SCOPED_TRACE(logout);
        Runner->Transcript().Clear();
        TDevice& d = NewDevice();
        d.SetCaption("Axis");
        ASSERT_TRUE(Start(d));
        Responses = 0;
        d.ChangeToOffline([this](TDevice&) { ++Responses; }, logout);
        ASSERT_TRUE(Run([&] { return Responses > 0; }));
        EXPECT_EQ(d.State(), dstStarted);
        EXPECT_EQ(d.DeviceType(), dtOffline);
        EXPECT_EQ(d.Model().Caption(), "Axis offline (USER)");
        EXPECT_EQ(Ovra(d).ServiceStatus(), dsStarted);
        EXPECT_FALSE(Ovra(d).DeviceOnline());
        EXPECT_EQ(Ovra(d).ProtocolVersion(), 0x41);
        EXPECT_TRUE(PortClosed());
        const std::vector<MyAnsiString> frames = FramesIn();
        EXPECT_EQ(frames.back() == Bytes("02"), logout);
        // Offline now: stopping sends nothing.
        const size_t before = frames.size();
        ASSERT_TRUE(Stop(d));
        EXPECT_EQ(FramesIn().size(), before);
        if (!logout) // the drive still counts us as its master
            Runner->WithDrive([](SimDrive& drive) { drive.SetOwner(std::nullopt); });
        Manager->DestroyDevice(d);
    }
}

TEST_F(PtyConnectionTest, UnsolicitedFramesReachTheListenersOfTheirCommand) {
    Attach("vx41.drive");
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    std::vector<MyAnsiString> got, other;
    TOvraListener listener(0x77, 5);
    listener.SetOnMessage([&](const MyAnsiString& Data, int32_t Info) {
        EXPECT_EQ(Info, 5);
        got.push_back(Data);
    });
    TOvraListener stranger(0x78);
    stranger.SetOnMessage([&](const MyAnsiString& Data, int32_t) { other.push_back(Data); });
    listener.Connect(Ovra(d));
    stranger.Connect(Ovra(d));
    Line->SendUnsolicited(Bytes("77 01 02 03"));
    ASSERT_TRUE(Run([&] { return !got.empty(); }));
    EXPECT_EQ(got, std::vector<MyAnsiString>{Bytes("77 01 02 03")});
    EXPECT_TRUE(other.empty());
    ASSERT_TRUE(Stop(d));
}

TEST_F(PtyConnectionTest, AGoneDeviceClosesItsPortAndItsTasksEnd) {
    Attach("vx41.drive");
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    ASSERT_GE(Server->GetDeviceHandle("COM7"), 0);
    Manager->DestroyDevice(d); // without a shutdown
    EXPECT_TRUE(PortClosed());
    Settle();
}

TEST_F(PtyConnectionTest, AGoneDeviceDuringItsLoginLeavesNothingOpen) {
    SimDriveDescription drive = SimLoadDrive(SimDataDir() + "/vx41.drive");
    drive.faults.push_back(SimFaultRule::Parse("cmd=01 delay=300"));
    Attach(std::move(drive));
    TDevice& d = NewDevice();
    d.StartUpServices(nullptr);
    ASSERT_TRUE(Run([&] { return Ovra(d).WorkState() == TOvraWorkState::stWaitForLogin; }));
    Manager->DestroyDevice(d);
    EXPECT_TRUE(PortClosed());
    Settle(500ms); // the late answer finds no service
}

TEST_F(PtyConnectionTest, ALoginAgainReplacesThePatterns) {
    Attach("vx41.drive");
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    const TOvraPattern* first = Ovra(d).GetMemoryWord();
    ASSERT_TRUE(Stop(d));
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstStarted);
    EXPECT_NE(Ovra(d).GetMemoryWord(), first);
    ASSERT_TRUE(Stop(d));
    size_t logins = 0;
    for (const auto& f : FramesIn())
        logins += f == Bytes("01");
    EXPECT_EQ(logins, 2u);
}

TEST_F(PtyConnectionTest, LoginDataStandsInForTheLoginTelegram) {
    Attach("vx41.drive");
    TDevice& d = Manager->CreateDevice("BOX", "VelkorOnline");
    d.SetStrVar("PortName", "COM7");
    d.SetStrVar("UserName", "GUEST");
    d.SetStrVar("LoginData", "040201FF");
    d.CreateServices();
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstStarted);
    TBasicOvraService& ovra = Ovra(d);
    EXPECT_EQ(ovra.ProtocolVersion(), 0x20);
    EXPECT_EQ(ovra.AddrFieldSize(), 4);
    EXPECT_EQ(ovra.DataFieldSize(), 2);
    EXPECT_EQ(ovra.AddrIncrement(), 1);
    EXPECT_EQ(ovra.MaxBufferSize(), 255);
    EXPECT_TRUE(ovra.DeviceOnline());
    EXPECT_EQ(ovra.GetBlockUPID(), nullptr); // the table of the new service stays
    EXPECT_TRUE(FramesIn().empty());
    ASSERT_GE(Server->GetDeviceHandle("COM7"), 0);
    ASSERT_TRUE(Stop(d));
    EXPECT_TRUE(PortClosed());
}

TEST_F(PtyConnectionTest, LoginDataThatIsNoHexadecimalIsAnError) {
    Attach("vx41.drive");
    for (const char* data : {"04xx01FF", "0402", "02020140", "04000140"}) {
        SCOPED_TRACE(data);
        Prompt.Clear();
        TDevice& d = NewDevice("VelkorOnline", "GUEST", "");
        d.SetStrVar("LoginData", data);
        ASSERT_TRUE(Start(d));
        EXPECT_EQ(d.State(), dstError);
        ASSERT_EQ(Prompt.Texts().size(), 1u);
        EXPECT_EQ(Prompt.Texts()[0].rfind("Invalid LoginData", 0), 0u) << Prompt.Texts()[0];
        EXPECT_TRUE(PortClosed());
    }
}

// ------------------------------------------------------------------ against a scripted server

// Queues at the server's nodes; every message is answered by Answer (an
// empty body: no answer).
class TScriptedServer {
public:
    struct TSeen {
        uint8_t Info = 0;
        std::vector<MyAnsiString> Fields; // command first
        MyAnsiString Frame; // of a request record
    };

    TScriptedServer() {
        Requests.LogOnAt(OvraServerIdent);
        Commands.LogOnAt(OvraServerCommandIdent);
    }
    ~TScriptedServer() {
        for (TMxQueue* q : {&Requests, &Commands})
            while (TMxMessage* m = q->GetMessage())
                TMxMessage::Free(m);
    }

    void Serve() {
        for (TMxQueue* q : {&Requests, &Commands}) {
            while (TMxMessage* raw = q->GetMessage()) {
                TMxMessagePtr m(raw);
                TSeen seen;
                seen.Info = m->Info;
                TMessageReader r;
                r.SetItem(m.get());
                seen.Fields.push_back(r.GetCommand());
                if (q == &Requests) {
                    seen.Fields.push_back(MsgIntToText(MsgGetInt(r)));
                    seen.Frame = MsgGetStr(r);
                } else {
                    for (MyAnsiString p = r.GetParameter(); !p.empty(); p = r.GetParameter())
                        seen.Fields.push_back(p);
                }
                r.SetItem(nullptr);
                Seen.push_back(seen);
                const MyAnsiString body = Answer ? Answer(seen) : MyAnsiString();
                if (body.empty())
                    continue;
                TMxMessage* reply = TMxMessage::Create();
                reply->SetText(body);
                reply->SetReceiverFromSender(*m);
                q->SendMessage(reply);
            }
        }
    }

    size_t Count(const MyAnsiString& Command) const {
        size_t n = 0;
        for (const auto& s : Seen)
            n += s.Fields[0] == Command;
        return n;
    }

    static MyAnsiString Body(const std::vector<MyAnsiString>& Fields) {
        TMessageWriter w;
        w.CreateMessage();
        w.PutCommand(Fields.at(0));
        for (size_t i = 1; i < Fields.size(); ++i)
            w.PutParameter(Fields[i]);
        TMxMessagePtr m(w.GetItem());
        return m->GetText();
    }
    // The reply record of a raw telegram: the result and, with it, the frame.
    static MyAnsiString Raw(uint8_t Result, const MyAnsiString& Frame = {}) {
        TMessageWriter w;
        w.CreateMessage();
        w.PutCommand("FF");
        MsgPutInt(w, Result);
        if (Result < 0x80 || Result == 0xA4)
            MsgPutStr(w, Frame);
        TMxMessagePtr m(w.GetItem());
        return m->GetText();
    }

    std::function<MyAnsiString(const TSeen&)> Answer;
    std::vector<TSeen> Seen;

private:
    TMxQueue Requests;
    TMxQueue Commands;
};

// A login answer: protocol, A = 4, D = 2, increment 1, buffer 255, types,
// flash base, device string.
MyAnsiString LoginAnswer(uint8_t Protocol = 0x41) {
    MyAnsiString f = Bytes("01 00");
    f.push_back(static_cast<char>(Protocol));
    f += Bytes("04 02 01 FF 21 00 10 04 02 01 03 00 00 00 00 01");
    MyAnsiString name = "FAKE";
    name.resize(16, '\0');
    return f + name;
}

MyAnsiString Padded(const MyAnsiString& Head, size_t Size, char Fill) {
    MyAnsiString s = Head;
    s.resize(Size, Fill);
    return s;
}

class ScriptedConnectionTest : public ConnectionTestBase {
protected:
    void SetUp() override {
        ConnectionTestBase::SetUp();
        Fake = std::make_unique<TScriptedServer>();
        // A drive that answers everything well, unless a test says otherwise.
        Fake->Answer = [this](const TScriptedServer::TSeen& s) -> MyAnsiString {
            if (auto it = Override.find(s.Info); it != Override.end())
                return it->second(s);
            switch (s.Info) {
            case OvraMsgInfo::OpenDevice: return TScriptedServer::Body({"OpenDevice", "OK", "3"});
            case OvraMsgInfo::CloseDevice: return TScriptedServer::Body({"CloseDevice", "OK"});
            case OvraMsgInfo::LoginDevice: return TScriptedServer::Raw(0, LoginAnswer());
            case OvraMsgInfo::LogoutDevice: return TScriptedServer::Raw(0, Bytes("02 00"));
            case OvraMsgInfo::ReadReleaseInfo: return TScriptedServer::Raw(0, Padded(Bytes("30 00") + "REL1", 34, ' '));
            case OvraMsgInfo::ReadPassword: return TScriptedServer::Raw(0, Padded(Bytes("15 00") + "user", 18, '\0'));
            default: return {};
            }
        };
    }
    void TearDown() override {
        Manager.reset();
        Fake->Serve();
        Fake.reset();
        ConnectionTestBase::TearDown();
    }
    void Serve() override { Fake->Serve(); }

    std::unique_ptr<TScriptedServer> Fake;
    std::map<uint8_t, std::function<MyAnsiString(const TScriptedServer::TSeen&)>> Override;
};

TEST_F(ScriptedConnectionTest, TheMessagesOfAStartAndAStop) {
    TDevice& d = NewDevice();
    d.SetDeviceMACID(9);
    d.SetDeviceIP(0x0A000001);
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstStarted);
    EXPECT_EQ(Ovra(d).PortHandle(), 3);
    ASSERT_TRUE(Stop(d));
    ASSERT_EQ(Fake->Seen.size(), 6u);
    const auto& s = Fake->Seen;
    EXPECT_EQ(s[0].Fields, (std::vector<MyAnsiString>{"OpenDevice", "COM7", "9", "A000001", "5"}));
    EXPECT_EQ(s[0].Info, 1);
    const std::pair<uint8_t, const char*> requests[] = {{3, "01"}, {7, "30 30 08 30 00 20"}, {6, "15 00 44 70 10"}, {4, "02"}};
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(s[i + 1].Info, requests[i].first);
        EXPECT_EQ(s[i + 1].Fields, (std::vector<MyAnsiString>{"FF", "3"}));
        EXPECT_EQ(s[i + 1].Frame, Bytes(requests[i].second));
    }
    EXPECT_EQ(s[5].Fields, (std::vector<MyAnsiString>{"CloseDevice", "3"}));
    EXPECT_EQ(Ovra(d).ReleaseInfo(), "REL1");
    EXPECT_EQ(Ovra(d).Password(), "user");
    EXPECT_EQ(Ovra(d).GetStrVar("FlashBaseAddr"), std::to_string(0x01000000));
    EXPECT_EQ(Ovra(d).GetStrVar("DeviceType"), std::to_string(0x0410));
    EXPECT_EQ(Ovra(d).GetStrVar("OvraVersion"), "65");
    EXPECT_EQ(Ovra(d).DeviceString(), "FAKE");
}

TEST_F(ScriptedConnectionTest, ReleaseTextAndPasswordAreCutAsTheDriveSendsThem) {
    Override[OvraMsgInfo::ReadReleaseInfo] = [](const auto&) {
        MyAnsiString text = "ABCD   ";
        text += std::string(10, '\xFF');
        text += "  ";
        return TScriptedServer::Raw(0, Padded(Bytes("30 00") + text, 34, ' '));
    };
    Override[OvraMsgInfo::ReadPassword] = [](const auto&) {
        return TScriptedServer::Raw(0, Padded(Bytes("15 00") + "abc", 18, '\0'));
    };
    TDevice& d = NewDevice("VelkorOnline", "USER", "abc");
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstStarted);
    EXPECT_EQ(Ovra(d).ReleaseInfo(), "ABCD");
    EXPECT_EQ(Ovra(d).Password(), "abc");
}

TEST_F(ScriptedConnectionTest, OldProtocolsAndTheGatewayNeedNoReleaseText) {
    struct Case {
        uint8_t Protocol;
        const char* Port;
    } cases[] = {{0x02, "COM7"}, {0x41, "OQP1"}, {0x30, "oqp2"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Port);
        Fake->Seen.clear();
        Override[OvraMsgInfo::LoginDevice] = [&c](const auto&) { return TScriptedServer::Raw(0, LoginAnswer(c.Protocol)); };
        TDevice& d = NewDevice("VelkorOnline", "USER", "user", c.Port);
        ASSERT_TRUE(Start(d));
        EXPECT_EQ(d.State(), dstStarted);
        EXPECT_EQ(Fake->Seen.size(), 2u); // open and login
        ASSERT_TRUE(Stop(d));
    }
}

TEST_F(ScriptedConnectionTest, TheInstallationProfileTakesOnlyServiceAndDeveloperOverEthernet) {
    struct Case {
        const char* Profile;
        const char* Port;
        const char* User;
        const char* Password;
        bool Started;
    } cases[] = {
        {"VelkorInstallETH", "ETH", "USER", "user", false},
        {"VelkorInstallETH", "eth", "GUEST", "", false},
        {"VelkorInstallETH", "ETH", "SERVICE", "user", true},
        {"VelkorInstallETH", "ETH", "DEVELOPER", DeveloperPassword, true},
        {"VelkorInstallETH", "COM7", "USER", "user", true},
        {"VelkorOnline", "ETH", "USER", "user", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.Profile) + " " + c.Port + " " + c.User);
        Prompt.Clear();
        TDevice& d = NewDevice(c.Profile, c.User, c.Password, c.Port);
        ASSERT_TRUE(Start(d));
        EXPECT_EQ(d.State(), c.Started ? dstStarted : dstError);
        if (!c.Started) {
            EXPECT_EQ(Prompt.Texts(), std::vector<MyAnsiString>{"Wrong user name!"});
        }
        ASSERT_TRUE(Run([&] { return Ovra(d).WorkState() == TOvraWorkState::stReady; }));
    }
}

TEST_F(ScriptedConnectionTest, ErrorTextsOfFailedTelegramsByPortAndResult) {
    struct Case {
        uint8_t Info;
        uint8_t Result;
        const char* Port;
        std::function<MyAnsiString()> Text;
    } cases[] = {
        {OvraMsgInfo::LoginDevice, 0xB2, "COM7", [] { return LangText("DeviceTimeOutStrRS"); }},
        {OvraMsgInfo::LoginDevice, 0xB2, "CAN", [] { return LangText("DeviceTimeOutStrCAN"); }},
        {OvraMsgInfo::LoginDevice, 0xB2, "ETH", [] { return LangText("DeviceTimeOutStrETH"); }},
        {OvraMsgInfo::LoginDevice, 0xB3, "ETH",
         [] { return MyAnsiString("Login aborted! Another instance is already logged into this drive!"); }},
        {OvraMsgInfo::LoginDevice, 0xC5, "COM7", [] { return MyAnsiString("Device error: C5!\r"); }},
        {OvraMsgInfo::LoginDevice, 0xC0, "COM7", [] { return MyAnsiString("Device error: C0!\r"); }},
        {OvraMsgInfo::ReadReleaseInfo, 0x8F, "CAN", [] { return "Device error: 8F!\r" + LangText("CANDeviceError"); }},
        {OvraMsgInfo::ReadPassword, 0xC0, "COM7",
         [] {
             return MyAnsiString("Velkor-Ovra 4.2 does not support the firmware of this drive (REL1).\r"
                                 "Please update the program: www.velkor.example");
         }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.Info) + " " + std::to_string(c.Result) + " " + c.Port);
        Override.clear();
        Override[c.Info] = [&c](const auto&) { return TScriptedServer::Raw(c.Result); };
        Prompt.Clear();
        Fake->Seen.clear();
        TDevice& d = NewDevice("VelkorOnline", "USER", "user", c.Port);
        ASSERT_TRUE(Start(d));
        EXPECT_EQ(d.State(), dstError);
        ASSERT_TRUE(Run([&] { return Ovra(d).ServiceStatus() == dsStopped; }));
        EXPECT_EQ(Prompt.Texts(), std::vector<MyAnsiString>{c.Text()});
        EXPECT_EQ(Fake->Count("CloseDevice"), 1u);
    }
    EXPECT_TRUE(Trace.Contains("***INFO: Error in OvraService.Work"));
}

TEST_F(ScriptedConnectionTest, APortTheServerCannotOpenIsNotClosed) {
    Override[OvraMsgInfo::OpenDevice] = [](const auto&) {
        return TScriptedServer::Body({"OpenDevice", "ERROR", "COM7: port not found"});
    };
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstError);
    Settle();
    EXPECT_EQ(Prompt.Texts(), std::vector<MyAnsiString>{"COM7: port not found"});
    EXPECT_EQ(Fake->Count("CloseDevice"), 0u);
    EXPECT_EQ(Ovra(d).ServiceStatus(), dsError);
}

TEST_F(ScriptedConnectionTest, MalformedRepliesAreErrorsNotCrashes) {
    struct Case {
        const char* Name;
        std::function<MyAnsiString(const TScriptedServer::TSeen&)> Reply;
        const char* Text;
    } cases[] = {
        {"ServerError", [](const auto&) { return TScriptedServer::Body({"ERROR", "bad record"}); },
         "Communication server error: bad record"},
        {"NoFrame", [](const auto&) { return TScriptedServer::Body({"FF", "0"}); }, nullptr},
        {"EmptyFrame", [](const auto&) { return TScriptedServer::Raw(0, ""); },
         "Invalid login answer: frame of 0 bytes is too short!"},
        {"NoDeviceString", [](const auto&) { return TScriptedServer::Raw(0, LoginAnswer().substr(0, 25)); },
         "Invalid login answer: frame of 25 bytes is too short!"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        Override[OvraMsgInfo::LoginDevice] = c.Reply;
        Prompt.Clear();
        TDevice& d = NewDevice();
        ASSERT_TRUE(Start(d));
        EXPECT_EQ(d.State(), dstError);
        ASSERT_TRUE(Run([&] { return Ovra(d).ServiceStatus() == dsStopped; }));
        ASSERT_EQ(Prompt.Texts().size(), 1u);
        if (c.Text) {
            EXPECT_EQ(Prompt.Texts()[0], c.Text);
        }
        EXPECT_FALSE(Ovra(d).DeviceOnline());
    }
}

TEST_F(ScriptedConnectionTest, ShortPasswordAndReleaseAnswersAreRefused) {
    Override[OvraMsgInfo::ReadPassword] = [](const auto&) { return TScriptedServer::Raw(0, Bytes("15 00") + "user"); };
    TDevice& d = NewDevice("VelkorOnline", "USER", "user");
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstError);
    EXPECT_EQ(Prompt.Texts(), std::vector<MyAnsiString>{"Invalid password answer: frame of 6 bytes is too short!"});

    Override.clear();
    Override[OvraMsgInfo::ReadReleaseInfo] = [](const auto&) { return TScriptedServer::Raw(0, Bytes("30 00") + "R"); };
    Prompt.Clear();
    TDevice& e = NewDevice("VelkorOnline", "GUEST", "");
    ASSERT_TRUE(Start(e));
    EXPECT_EQ(e.State(), dstError);
    EXPECT_EQ(Prompt.Texts(), std::vector<MyAnsiString>{"Invalid release information: frame of 3 bytes is too short!"});
}

TEST_F(ScriptedConnectionTest, ACloseThatKeepsFailingIsNotRepeatedForever) {
    Override[OvraMsgInfo::LoginDevice] = [](const auto&) { return TScriptedServer::Raw(0xB2); };
    Override[OvraMsgInfo::CloseDevice] = [](const auto&) {
        return TScriptedServer::Body({"CloseDevice", "ERROR", "port is stuck"});
    };
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstError);
    Settle(300ms);
    // The login error, then one close and its error: nothing more.
    EXPECT_EQ(Fake->Count("CloseDevice"), 1u);
    EXPECT_EQ(Prompt.Texts(), (std::vector<MyAnsiString>{LangText("DeviceTimeOutStrRS"), "CloseDevice: port is stuck"}));
    EXPECT_EQ(Ovra(d).WorkState(), TOvraWorkState::stReady);
    EXPECT_EQ(Ovra(d).ServiceStatus(), dsError);
    // The stop does not try again.
    ASSERT_TRUE(Stop(d));
    EXPECT_EQ(d.State(), dstStopped);
    EXPECT_EQ(Ovra(d).ServiceStatus(), dsStopped);
    EXPECT_EQ(Fake->Count("CloseDevice"), 1u);
    EXPECT_EQ(Prompt.Texts().size(), 2u);
}

TEST_F(ScriptedConnectionTest, ACloseThatFailsAtTheStopEndsTheStop) {
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    Override[OvraMsgInfo::CloseDevice] = [](const auto&) {
        return TScriptedServer::Body({"CloseDevice", "ERROR", "port is stuck"});
    };
    ASSERT_TRUE(Stop(d));
    EXPECT_EQ(d.State(), dstStopped);
    EXPECT_EQ(Ovra(d).ServiceStatus(), dsStopped);
    EXPECT_EQ(Fake->Count("CloseDevice"), 1u);
    EXPECT_EQ(Prompt.Texts(), std::vector<MyAnsiString>{"CloseDevice: port is stuck"});
}

TEST_F(ScriptedConnectionTest, StoppingWhileTheCloseAfterAnErrorIsUnderWay) {
    // The close after the error gets no answer until the test gives it.
    Override[OvraMsgInfo::LoginDevice] = [](const auto&) { return TScriptedServer::Raw(0xB3); };
    Override[OvraMsgInfo::CloseDevice] = [](const auto&) { return MyAnsiString(); };
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstError);
    ASSERT_TRUE(Run([&] { return Fake->Count("CloseDevice") == 1; }));
    Responses = 0;
    d.ShutDownServices([this](TDevice&) { ++Responses; });
    Settle();
    EXPECT_EQ(Responses, 0);
    EXPECT_EQ(Ovra(d).ServiceStatus(), dsStopping);
    // The answer to the pending close ends the stop.
    TMxQueue hand;
    hand.LogOn(0);
    TMxMessage* m = TMxMessage::Create();
    m->SetText(TScriptedServer::Body({"CloseDevice", "OK"}));
    m->SetReceiver(Ovra(d).QueueIdent(), 0, OvraMsgInfo::CloseDevice);
    hand.SendMessage(m);
    ASSERT_TRUE(Run([&] { return Responses > 0; }));
    EXPECT_EQ(d.State(), dstStopped);
    EXPECT_EQ(Ovra(d).ServiceStatus(), dsStopped);
    // No logout on a port that was being closed, and no second close.
    for (const auto& s : Fake->Seen)
        EXPECT_NE(s.Frame, Bytes("02"));
    EXPECT_EQ(Fake->Count("CloseDevice"), 1u);
}

TEST_F(ScriptedConnectionTest, KillIsNotImplemented) {
    TDevice& d = NewDevice();
    test::ExpectError([&] { Ovra(d).Kill(); }, "kill not implemented");
}

// ------------------------------------------------------------------ helpers

// ------------------------------------------------------------------ over Ethernet and CAN to the simulator

// The server with the "ETH" and "CAN" drivers; VX-41 drives on UDP at
// 127.0.0.5 and 127.0.0.6 (a port of the test's own) and on a virtual CAN bus
// at MAC-ID 3.
class NetworkConnectionTest : public ConnectionTestBase {
protected:
    void SetUp() override {
        ConnectionTestBase::SetUp();
        for (auto* r : {&Runner5, &Runner6, &RunnerCan})
            *r = std::make_unique<SimRunner>(SimLoadDrive(SimDataDir() + "/vx41.drive"));
        Udp5 = std::make_unique<SimUdpTransport>(*Runner5, "127.0.0.5", 0);
        Udp6 = std::make_unique<SimUdpTransport>(*Runner6, "127.0.0.6", Udp5->Port());
        CanMapLibrary("canusb.dll", "virtual:devices-test");
        Can = std::make_unique<SimCanTransport>(*RunnerCan, "devices-test");
        for (auto* r : {&Runner5, &Runner6, &RunnerCan})
            (*r)->Start();
        DrivePort = std::make_unique<TScopedEthDrivePort>(Udp5->Port());
        Server = std::make_unique<TOvraServer>();
        SetOvraServer(Server.get());
        Eth = std::make_shared<TETHDriver>();
        ASSERT_TRUE(Server->AddPortDriver("ETH", Eth));
        ASSERT_TRUE(Server->AddPortDriver("CAN", std::make_shared<TCANDriver>()));
        Client = std::make_unique<TOvraClient>();
        RegisterOvraPatterns(*Client);
        SetOvraClient(Client.get());
    }
    void TearDown() override {
        Manager.reset();
        SetOvraClient(nullptr);
        Client.reset();
        SetOvraServer(nullptr);
        Server.reset();
        Eth.reset();
        Udp5.reset();
        Udp6.reset();
        Can.reset();
        Runner5.reset();
        Runner6.reset();
        RunnerCan.reset();
        CanMapLibrary("canusb.dll", "");
        ConnectionTestBase::TearDown();
    }
    uint16_t ReadWord(TDevice& D, uint32_t Address) {
        TOvraActorLease actor(*Client);
        Ovra(D).GetMemoryWord()->Put(*actor, Address, 7);
        bool answered = false;
        actor->SetOnResponse([&](TOvraActor&) { answered = true; });
        actor->Execute();
        EXPECT_TRUE(Run([&] { return answered; }));
        EXPECT_EQ(actor->GetResult(), 0);
        return static_cast<uint16_t>(Ovra(D).GetMemoryWord()->GetData(*actor));
    }

    TScopedTimeOverride CloseDelay{EthDriverCloseDelay, 0};
    TScopedTimeOverride AnswerTimeout{ServerActorAnswerTimeout, 1000};
    std::unique_ptr<SimRunner> Runner5, Runner6, RunnerCan;
    std::unique_ptr<SimUdpTransport> Udp5, Udp6;
    std::unique_ptr<SimCanTransport> Can;
    std::unique_ptr<TScopedEthDrivePort> DrivePort;
    std::unique_ptr<TOvraServer> Server;
    std::shared_ptr<TETHDriver> Eth;
    std::unique_ptr<TOvraClient> Client;
};

TEST_F(NetworkConnectionTest, TwoDrivesOverEthernetAndTheirPositions) {
    TDevice& first = NewDevice("VelkorOnline", "USER", "user", "ETH");
    first.SetDeviceIP(IPStrToInt("127.0.0.5"));
    TDevice& second = NewDevice("VelkorOnline", "USER", "user", "ETH");
    second.SetDeviceIP(IPStrToInt("127.0.0.6"));
    ASSERT_TRUE(Start(first));
    ASSERT_EQ(first.State(), dstStarted) << (Prompt.Texts().empty() ? "" : Prompt.Texts()[0]);
    ASSERT_TRUE(Start(second));
    ASSERT_EQ(second.State(), dstStarted);
    EXPECT_EQ(Eth->GetSlaveIndex(IPStrToInt("127.0.0.5")), 0);
    EXPECT_EQ(Eth->GetSlaveIndex(IPStrToInt("127.0.0.6")), 1);
    EXPECT_EQ(Ovra(second).DeviceString(), "VX41-SIM");
    Runner6->WithDrive([](SimDrive& d) { d.Poke(0x100, SimHex("66 55")); });

    ASSERT_TRUE(Stop(first));
    EXPECT_EQ(first.State(), dstStopped);
    ASSERT_TRUE(Run([&] { return Eth->GetSlaveIndex(IPStrToInt("127.0.0.5")) < 0; }, 5s));
    EXPECT_EQ(Eth->GetSlaveIndex(IPStrToInt("127.0.0.6")), 0);
    EXPECT_TRUE(Eth->PortIsOpen());
    EXPECT_EQ(ReadWord(second, 0x100), 0x5566);

    ASSERT_TRUE(Stop(second));
    ASSERT_TRUE(Run([&] { return !Eth->PortIsOpen(); }, 5s));
    EXPECT_EQ(Eth->LocalPort(), 0);
    EXPECT_TRUE(Prompt.Texts().empty());
}

TEST_F(NetworkConnectionTest, ADriveOverCanAtMacId3) {
    TDevice& d = NewDevice("VelkorOnline", "SERVICE", "service", "CAN");
    d.SetDeviceMACID(3);
    ASSERT_TRUE(Start(d));
    ASSERT_EQ(d.State(), dstStarted) << (Prompt.Texts().empty() ? "" : Prompt.Texts()[0]);
    EXPECT_EQ(Ovra(d).ProtocolVersion(), 0x41);
    EXPECT_EQ(Ovra(d).MaxBufferSize(), 255);
    RunnerCan->WithDrive([](SimDrive& drive) { EXPECT_EQ(drive.Owner(), std::optional<std::string>("can:255")); });
    EXPECT_EQ(ReadWord(d, 0x0000), 0);
    ASSERT_TRUE(Stop(d));
    EXPECT_EQ(d.State(), dstStopped);
}

TEST(OvraConnFrames, PasswordAndReleaseReadsByGeneration) {
    EXPECT_EQ(OvraPasswordFrame("USER", 0x20), Bytes("88 00 C0 0C"));
    EXPECT_EQ(OvraPasswordFrame("SERVICE", 0x31), Bytes("88 00 C5 0C"));
    EXPECT_EQ(OvraPasswordFrame("USER", 0x42), Bytes("15 00 44 70 10"));
    EXPECT_EQ(OvraPasswordFrame("SERVICE", 0x40), Bytes("15 00 48 70 10"));
    EXPECT_EQ(OvraPasswordFrame("GUEST", 0x41), "");
    test::ExpectError([&] { OvraPasswordFrame("USER", 0x02); }, "0x02: unknown protocol version!");
    EXPECT_EQ(OvraReleaseInfoFrame(0x41, 4), Bytes("30 30 08 30 00 20"));
    EXPECT_EQ(OvraReleaseInfoFrame(0x31, 4), Bytes("30 48 1F 00 A2 20"));
    EXPECT_EQ(OvraReleaseInfoFrame(0x31, 3), Bytes("30 48 1F 00 20"));
    EXPECT_EQ(OvraReleaseInfoFrame(0x02, 3), Bytes("30 48 07 20 20"));
    EXPECT_EQ(OvraReleaseInfoFrame(0x41, 2), "");
    for (int v : {0x02, 0x20, 0x21, 0x30, 0x31, 0x40, 0x41, 0x42})
        EXPECT_TRUE(OvraProtocolAccepted(static_cast<uint8_t>(v))) << v;
    for (int v : {0x00, 0x01, 0x22, 0x32, 0x43, 0x50})
        EXPECT_FALSE(OvraProtocolAccepted(static_cast<uint8_t>(v))) << v;
}

TEST(OvraConnFrames, LoginAnswersWithEitherAddressSize) {
    TOvraLoginFacts f = OvraDecodeLoginAnswer(LoginAnswer());
    EXPECT_EQ(f.ProtocolVersion, 0x41);
    EXPECT_EQ(f.AddrFieldSize, 4);
    EXPECT_EQ(f.DataFieldSize, 2);
    EXPECT_EQ(f.AddrIncrement, 1);
    EXPECT_EQ(f.MaxBufferSize, 255);
    EXPECT_EQ(f.ProcessorType, 0x21);
    EXPECT_EQ(f.DeviceType, 0x0410);
    EXPECT_EQ(f.DeviceVersion, 0x0102);
    EXPECT_EQ(f.FlashType, 3);
    EXPECT_EQ(f.FlashBaseAddr, 0x01000000);
    EXPECT_EQ(f.DeviceString, "FAKE");
    // With three address bytes the device string starts one byte earlier.
    MyAnsiString three = Bytes("01 00 31 03 02 01 80 11 00 10 03 05 02 02 00 00 00 08") + Padded("VX31", 16, '\0');
    f = OvraDecodeLoginAnswer(three);
    EXPECT_EQ(f.FlashBaseAddr, 0x080000);
    EXPECT_EQ(f.DeviceString, "VX31");
    EXPECT_THROW(OvraDecodeLoginAnswer(three.substr(0, three.size() - 1)), EOvraLoginAnswer);
}

} // namespace
} // namespace vo
