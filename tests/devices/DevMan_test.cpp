// The device manager, devices and the device-service base: registries,
// creation from profiles, the work task's start, stop and offline passes,
// string variables, permissions and captions.
#include "devices/DevMan.h"

#include "kernel/CsServices.h"
#include "kernel/PropItms.h"
#include "storagelib/PrgRegs.h"
#include "storagelib/SL20Dec.h"
#include "storagelib/SL20Elm.h"
#include "tests/support/KernelFixtures.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <string>

namespace vo {
namespace {

using namespace std::chrono_literals;
using test::CapturedTrace;

// A service whose turns are scripted by the test. Without a script, StartUp
// starts it at once and ShutDown stops it at once.
class TFakeService : public TDeviceService {
public:
    using TTurn = std::function<void(TFakeService& Self, bool& Wait)>;

    TFakeService(TDevice& AOwner, TSLDictionary* AProfDict) : TDeviceService(AOwner, AProfDict) { ++Alive; }
    ~TFakeService() override { --Alive; }

    void StartUp(bool& Wait) override {
        ++StartCalls;
        if (OnStartUp)
            OnStartUp(*this, Wait);
        else
            SetServiceStatus(dsStarted);
    }
    void ShutDown(bool& Wait) override {
        ++ShutDownCalls;
        if (OnShutDown)
            OnShutDown(*this, Wait);
        else
            SetServiceStatus(dsStopped);
    }
    void Kill() override {}
    void ChangeToOffline(bool& Wait) override {
        ++OfflineCalls;
        if (OnOffline)
            OnOffline(*this, Wait);
    }
    void DoGetStrVar(const MyAnsiString& VarName, MyAnsiString& Value, bool& Found) override {
        if (VarName == "Own") {
            Value = "mine";
            Found = true;
        }
    }
    void SetMinRead(int32_t V) { FMinReadPermission = V; }
    void SetMinWrite(int32_t V) { FMinWritePermission = V; }

    TTurn OnStartUp, OnShutDown, OnOffline;
    int StartCalls = 0, ShutDownCalls = 0, OfflineCalls = 0;
    static inline int Alive = 0;
};

// The program registry of the tests: device profiles under
// "Devices\Profiles", service profiles under "Services".
constexpr const char* Registry = R"(
[D /Devices [D /Profiles [D
    /Online [D /DeviceType 'Online' /DevVars [D /PortName 'COM1' /UserName 'user' ]
               /HelpTextDict [D /English 'A drive' /Deutsch '' ]
               /Services [A [D /Name 'OvraService' /Profile 'Services\Fake' ]
                            [D /Name 'ModuleService' /Profile 'Services\Fake' ]
                            [D /Name 'UnitService' /Profile 'Services\Fake' ]
                            [D /Name 'ParameterService' /Profile 'Services\Fake' ] ] ]
    /Offline [D /DeviceType 'Offline' ]
    /Archive [D /DeviceType 'Archive' ]
    /Odd [D /DeviceType 'online' ]
    /Empty [D ]
    /Broken [D /DeviceType 'Online'
               /Services [A [D /Name 'First' /Profile 'Services\Fake' ]
                            [D /Name 'Unknown' /Profile 'Services\Nobody' ]
                            [D /Name 'NoProfile' /Profile 'Services\Missing' ]
                            [D /Name 'first' /Profile 'Services\Fake' ]
                            42
                            [D /Name 'Last' /Profile 'Services\Fake' ] ] ]
] ]
  /Services [D /Fake [D /Name 'FakeService' /Caption 'Fake service' /HelpTextDict [D /English 'Fakes a service' ] ]
               /Nobody [D /Name 'NotRegistered' ] ]
]
)";

class DevManTest : public test::MainSchedulerFixture {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        Root = SLDecodeString(Registry);
        auto* root = dynamic_cast<TSLDictionary*>(Root.Get());
        ASSERT_NE(root, nullptr);
        Manager = std::make_unique<TDeviceManager>(DictionaryAtPath(root, "Devices"),
                                                   [root](const MyAnsiString& Path) { return DictionaryAtPath(root, Path); });
        Manager->RegisterServiceClass("FakeService", DeviceServiceClass<TFakeService>());
    }
    void TearDown() override {
        Manager.reset();
        MainSchedulerFixture::TearDown();
    }

    TFakeService& Fake(TDevice& D, const char* Name) { return *D.FindService<TFakeService>(Name); }

    // Runs the start and waits for its response.
    bool Start(TDevice& D) {
        Responses = 0;
        D.StartUpServices([this](TDevice&) { ++Responses; });
        return RunUntil([&] { return Responses > 0; }, 2s);
    }
    bool Stop(TDevice& D) {
        Responses = 0;
        D.ShutDownServices([this](TDevice&) { ++Responses; });
        return RunUntil([&] { return Responses > 0; }, 2s);
    }
    // Lets the scheduler run a few turns with nothing to wait for.
    void Settle() {
        Pump.RunUntil([] { return false; }, 50ms);
    }

    TRef<TSLObject> Root;
    std::unique_ptr<TDeviceManager> Manager;
    int Responses = 0;
};

// ------------------------------------------------------------------ registries

TEST_F(DevManTest, ServiceClassesAreRegisteredOnceByName) {
    test::ExpectError([&] { Manager->RegisterServiceClass("fakeservice", DeviceServiceClass<TFakeService>()); }, "TDeviceManager.RegisterDeviceService: service with name 'fakeservice' already registered");
    EXPECT_TRUE(Manager->ServiceClassExists("FAKESERVICE"));
    test::ExpectError([&] { Manager->GetServiceClass("StatusService"); }, "TDeviceManager.GetServiceClass: a service with name 'StatusService' ist not registered");
}

TEST_F(DevManTest, CreateDeviceRefusesDuplicatesAndUnknownProfiles) {
    TDevice& d = Manager->CreateDevice("BOX1", "Online");
    EXPECT_EQ(d.ProfileName(), "Online");
    EXPECT_EQ(d.DeviceType(), dtOnline);
    EXPECT_EQ(d.State(), dstStopped);
    // No services, not in the tree.
    EXPECT_EQ(d.GetServiceCount(), 0);
    EXPECT_EQ(Manager->ModelManager().Root().GetChildCount(), 0);
    EXPECT_EQ(d.Model().Caption(), "BOX1");
    EXPECT_EQ(d.Model().ImageIndex(), 87);

    struct Case {
        const char* Name;
        const char* Profile;
        const char* Error;
    } cases[] = {
        {"box1", "Online", "TDeviceManager.CreateDevice: device with name 'box1' already exists"},
        {"BOX2", "Nope", "TDeviceManager.CreateDevice: profile with name 'Nope' doesn't exist"},
    };
    for (const auto& c : cases) {
        test::ExpectError([&] { Manager->CreateDevice(c.Name, c.Profile); }, c.Error);
    }
    EXPECT_EQ(Manager->GetDeviceCount(), 1);

    TRef<TSLObject> noProfiles = SLDecodeString("[D /Other [D ] ]");
    TDeviceManager bare(dynamic_cast<TSLDictionary*>(noProfiles.Get()));
    test::ExpectError([&] { bare.CreateDevice("X", "Online"); }, "TDeviceManager.CreateDevice: no device profiles defined in registry");
}

TEST_F(DevManTest, DeviceTypeFromTheProfileIsComparedExactly) {
    const std::pair<const char*, TDeviceType> cases[] = {
        {"Online", dtOnline}, {"Offline", dtOffline}, {"Archive", dtArchive}, {"Odd", dtUnknown}, {"Empty", dtUnknown}};
    for (const auto& [profile, type] : cases)
        EXPECT_EQ(Manager->CreateDevice(profile, profile).DeviceType(), type) << profile;
    EXPECT_EQ(Manager->GetDevice("online").PropList().ObjType(), "Drive (Online)");
    EXPECT_EQ(Manager->GetDevice("offline").PropList().ObjType(), "Offline Drive Configuration");
    EXPECT_TRUE(Manager->GetDeviceOnlineExists());
}

TEST_F(DevManTest, LookupsByNameAndIndex) {
    Manager->CreateDevice("A", "Offline");
    TDevice& b = Manager->CreateDevice("B", "Online");
    b.CreateServices();
    EXPECT_EQ(&Manager->GetDeviceAtIndex(1), &b);
    EXPECT_EQ(&Manager->GetService("b", "unitservice"), &b.GetService("UnitService"));
    EXPECT_TRUE(Manager->ServiceExists("B", "ModuleService"));
    EXPECT_FALSE(Manager->ServiceExists("C", "ModuleService"));
    EXPECT_FALSE(Manager->ServiceExists("B", "CurveService"));

    const std::pair<std::function<void()>, const char*> errors[] = {
        {[&] { Manager->GetDevice("C"); }, "TDeviceManager.GetDevice: device with name 'C' not found"},
        {[&] { Manager->GetDeviceAtIndex(2); }, "TDeviceManager.GetDeviceAtIndex: index out of bounds"},
        {[&] { Manager->GetDeviceAtIndex(-1); }, "TDeviceManager.GetDeviceAtIndex: index out of bounds"},
        {[&] { Manager->GetService("B", "CurveService"); }, "TDevice.GetService: service with name 'CurveService' not found"},
        {[&] { Manager->GetService("C", "X"); }, "TDeviceManager.GetDevice: device with name 'C' not found"},
        {[&] { b.CreateService("unitSERVICE", nullptr); },
         "TDevice.CreateService: device 'B' has already a service with name 'unitSERVICE'"},
    };
    for (const auto& [call, text] : errors) {
        test::ExpectError([&] { call(); }, text);
    }
}

TEST_F(DevManTest, ServicesAreCreatedInProfileOrderAndBadEntriesLeftOut) {
    CapturedTrace trace;
    TDevice& d = Manager->CreateDevice("BOX", "Broken");
    d.CreateServices();
    ASSERT_EQ(d.GetServiceCount(), 2);
    EXPECT_EQ(d.GetServiceWithIndex(0).Name(), "First");
    EXPECT_EQ(d.GetServiceWithIndex(1).Name(), "Last");
    EXPECT_EQ(d.GetServiceWithIndex(0).Caption(), "Fake service");
    EXPECT_EQ(d.GetServiceWithIndex(0).ServiceStatus(), dsStopped);
    EXPECT_TRUE(trace.Contains("a service with name 'NotRegistered' ist not registered"));
    EXPECT_TRUE(trace.Contains("no service profile at 'Services\\Missing'"));
    EXPECT_TRUE(trace.Contains("device 'BOX' has already a service with name 'first'"));
    EXPECT_TRUE(trace.Contains("is no dictionary"));
}

TEST_F(DevManTest, ServiceProfilesComeFromTheProgramRegistryByDefault) {
    CapturedTrace trace;
    TDeviceManager bare(Manager->ProfDict());
    bare.RegisterServiceClass("FakeService", DeviceServiceClass<TFakeService>());
    TDevice& none = bare.CreateDevice("NONE", "Online");
    none.CreateServices(); // the registry has no "Services" yet
    EXPECT_EQ(none.GetServiceCount(), 0);
    EXPECT_TRUE(trace.Contains("Services\\Fake"));

    TRef<TSLObject> services = SLDecodeString("[D /Fake [D /Name 'FakeService' /Caption 'From the registry' ] ]");
    ProgramRegistry().AddObject("Services", services.Get());
    TDevice& d = bare.CreateDevice("BOX", "Online");
    d.CreateServices();
    ProgramRegistry().RemoveObject("Services");
    ASSERT_EQ(d.GetServiceCount(), 4);
    EXPECT_EQ(d.GetServiceWithIndex(0).Caption(), "From the registry");
}

// ------------------------------------------------------------------ starting

TEST_F(DevManTest, ADeviceWithoutServicesStarts) {
    TDevice& d = Manager->CreateDevice("BOX", "Offline");
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstStarted);
    Settle();
    EXPECT_EQ(Responses, 1);
}

TEST_F(DevManTest, ServicesStartInOrderAndTheResponseComesOnce) {
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    d.CreateServices();
    std::vector<std::string> order;
    for (int i = 0; i < d.GetServiceCount(); ++i) {
        auto& s = dynamic_cast<TFakeService&>(d.GetServiceWithIndex(i));
        s.OnStartUp = [&order](TFakeService& self, bool&) {
            order.push_back(self.Name());
            self.SetServiceStatus(dsStarted);
        };
    }
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstStarted);
    EXPECT_EQ(order, (std::vector<std::string>{"OvraService", "ModuleService", "UnitService", "ParameterService"}));
    Settle();
    EXPECT_EQ(Responses, 1);
    EXPECT_EQ(d.GetStrVar("DeviceStatus"), "Started");
    test::ExpectError([&] { d.StartUpServices(nullptr); }, "TDevice.StartupServices: device not ready");
}

TEST_F(DevManTest, AServiceThatNeverStartsGetsOneTurnPerPassThenError) {
    CapturedTrace trace;
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    d.CreateServices();
    Fake(d, "UnitService").OnStartUp = [](TFakeService&, bool&) {};
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstStarted);
    // Four services: 4 + 2 passes.
    EXPECT_EQ(Fake(d, "UnitService").StartCalls, 6);
    EXPECT_EQ(Fake(d, "OvraService").StartCalls, 1);
    EXPECT_EQ(Fake(d, "UnitService").ServiceStatus(), dsError);
    EXPECT_EQ(Fake(d, "ModuleService").ServiceStatus(), dsStarted);
    EXPECT_TRUE(trace.Contains("***ERROR: Service UnitService not started!"));
}

TEST_F(DevManTest, AServiceThatNeedsALaterOneStartsInTheNextPass) {
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    d.CreateServices();
    // The module service waits for the unit service, which comes after it.
    TFakeService& unit = Fake(d, "UnitService");
    Fake(d, "ModuleService").OnStartUp = [&unit](TFakeService& self, bool&) {
        if (unit.ServiceStatus() == dsStarted)
            self.SetServiceStatus(dsStarted);
    };
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstStarted);
    EXPECT_EQ(Fake(d, "ModuleService").StartCalls, 2);
    EXPECT_EQ(Fake(d, "ModuleService").ServiceStatus(), dsStarted);
}

TEST_F(DevManTest, AWaitingServiceHoldsTheStartUntilItsStatusChanges) {
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    d.CreateServices();
    TFakeService& ovra = Fake(d, "OvraService");
    ovra.OnStartUp = [](TFakeService& self, bool& Wait) {
        self.SetServiceStatus(dsStarting);
        Wait = true;
    };
    d.StartUpServices([this](TDevice&) { ++Responses; });
    ASSERT_TRUE(RunUntil([&] { return ovra.StartCalls == 1; }, 2s));
    Settle();
    EXPECT_EQ(d.State(), dstStarting);
    EXPECT_EQ(ovra.StartCalls, 1);
    EXPECT_EQ(Fake(d, "ModuleService").StartCalls, 0);
    // A status change of another service does not wake the device.
    Fake(d, "UnitService").SetServiceStatus(dsStopped);
    Settle();
    EXPECT_EQ(Fake(d, "ModuleService").StartCalls, 0);
    ovra.SetServiceStatus(dsStarted);
    ASSERT_TRUE(RunUntil([&] { return Responses == 1; }, 2s));
    EXPECT_EQ(d.State(), dstStarted);
    EXPECT_EQ(ovra.StartCalls, 1);
}

TEST_F(DevManTest, OnlyTheConnectionModuleAndParameterServicesStopTheStart) {
    const char* order[] = {"OvraService", "ModuleService", "UnitService", "ParameterService"};
    for (int failing = 0; failing < 4; ++failing) {
        SCOPED_TRACE(order[failing]);
        TDevice& d = Manager->CreateDevice(order[failing], "Online");
        d.CreateServices();
        // The service fails while the device waits for it (a telegram answer).
        TFakeService& bad = Fake(d, order[failing]);
        bad.OnStartUp = [](TFakeService& self, bool& Wait) {
            self.SetServiceStatus(dsStarting);
            Wait = true;
        };
        Responses = 0;
        d.StartUpServices([this](TDevice&) { ++Responses; });
        ASSERT_TRUE(RunUntil([&] { return bad.StartCalls == 1; }, 2s));
        Settle();
        bad.SetServiceStatus(dsError);
        ASSERT_TRUE(RunUntil([&] { return Responses > 0; }, 2s));
        const bool critical = failing != 2;
        EXPECT_EQ(d.State(), critical ? dstError : dstStarted);
        EXPECT_EQ(d.GetStrVar("DeviceStatus"), critical ? "Error" : "Started");
        // Services after a critical failure get no turn; after another one they do.
        for (int later = failing + 1; later < 4; ++later)
            EXPECT_EQ(Fake(d, order[later]).StartCalls, critical ? 0 : 1) << order[later];
        Settle();
        EXPECT_EQ(Responses, 1);
    }
}

TEST_F(DevManTest, AServiceThatRaisesInStartUpFailsAndIsLogged) {
    CapturedTrace trace;
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    d.CreateServices();
    Fake(d, "UnitService").OnStartUp = [](TFakeService&, bool&) { throw Exception("no unit file"); };
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstStarted);
    EXPECT_EQ(Fake(d, "UnitService").ServiceStatus(), dsError);
    EXPECT_TRUE(trace.Contains("***ERROR: couldn't start UnitService: no unit file"));
}

TEST_F(DevManTest, AWrongServiceStateIsReportedWithoutSpinning) {
    CapturedTrace trace;
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    d.CreateServices();
    TFakeService& unit = Fake(d, "UnitService");
    unit.OnStartUp = [](TFakeService& self, bool&) { self.SetServiceStatus(dsStopping); };
    d.StartUpServices([this](TDevice&) { ++Responses; });
    ASSERT_TRUE(RunUntil([&] { return trace.Contains("TDevice.Work: wrong service state - DeviceManager"); }, 2s));
    Settle();
    int reports = 0;
    for (const auto& l : trace.Lines())
        reports += l.find("wrong service state") != std::string::npos;
    EXPECT_EQ(reports, 1);
    EXPECT_EQ(d.State(), dstStarting);
    // The device goes on once the service's status changes.
    unit.SetServiceStatus(dsStarted);
    ASSERT_TRUE(RunUntil([&] { return Responses == 1; }, 2s));
    EXPECT_EQ(d.State(), dstStarted);
}

TEST_F(DevManTest, DeveloperStartsAreLogged) {
    CapturedTrace trace;
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    d.SetStrVar("UserName", "developer");
    d.CreateServices();
    ASSERT_TRUE(Start(d));
    EXPECT_TRUE(trace.Contains("***INFO: Starting Fake service"));
    ASSERT_TRUE(Stop(d));
    EXPECT_TRUE(trace.Contains("Started"));
    EXPECT_TRUE(trace.Contains("***INFO: Stopping Fake service"));
}

// ------------------------------------------------------------------ stopping and offline

TEST_F(DevManTest, ServicesStopLastFirstUntilBelowStarted) {
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    d.CreateServices();
    test::ExpectError([&] { d.ShutDownServices(nullptr); }, "TDevice.ShutDownServices: device not ready");
    ASSERT_TRUE(Start(d));
    std::vector<std::string> order;
    for (int i = 0; i < d.GetServiceCount(); ++i)
        dynamic_cast<TFakeService&>(d.GetServiceWithIndex(i)).OnShutDown = [&order](TFakeService& self, bool& Wait) {
            order.push_back(self.Name());
            if (self.Name() == "ModuleService" && self.ShutDownCalls == 1) {
                self.SetServiceStatus(dsStopping); // asks to wait, stops on the next turn
                Wait = true;
                return;
            }
            if (self.Name() == "ModuleService" && self.ShutDownCalls == 2) {
                self.SetServiceStatus(dsStopping); // does not finish: next pass
                return;
            }
            self.SetServiceStatus(dsStopped);
        };
    Responses = 0;
    d.ShutDownServices([this](TDevice&) { ++Responses; });
    ASSERT_TRUE(RunUntil([&] { return Fake(d, "ModuleService").ShutDownCalls == 1; }, 2s));
    Settle();
    EXPECT_EQ(d.State(), dstStopping);
    Fake(d, "ModuleService").SetServiceStatus(dsStopping); // the awaited event
    ASSERT_TRUE(RunUntil([&] { return Responses == 1; }, 2s));
    EXPECT_EQ(d.State(), dstStopped);
    EXPECT_EQ(order, (std::vector<std::string>{"ParameterService", "UnitService", "ModuleService", "ModuleService", "OvraService", "ModuleService"}));
    for (int i = 0; i < d.GetServiceCount(); ++i)
        EXPECT_EQ(d.GetServiceWithIndex(i).ServiceStatus(), dsStopped);
    // A stopped device starts again.
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(d.State(), dstStarted);
}

TEST_F(DevManTest, AServiceThatNeverStopsEndsAfterTheLastPass) {
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    d.CreateServices();
    ASSERT_TRUE(Start(d));
    Fake(d, "UnitService").OnShutDown = [](TFakeService&, bool&) {};
    ASSERT_TRUE(Stop(d));
    EXPECT_EQ(d.State(), dstStopped);
    EXPECT_EQ(Fake(d, "UnitService").ShutDownCalls, 6);
    EXPECT_EQ(Fake(d, "UnitService").ServiceStatus(), dsStarted);
}

TEST_F(DevManTest, GoingOfflineWalksTheServicesBackToStarted) {
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    d.SetCaption("Axis");
    d.CreateServices();
    test::ExpectError([&] { d.ChangeToOffline(nullptr, true); }, "TDevice.ChangeToOffline: device not ready");
    ASSERT_TRUE(Start(d));
    TFakeService& ovra = Fake(d, "OvraService");
    // Logs out first (asks to wait), then has nothing more to do.
    ovra.OnOffline = [](TFakeService& self, bool& Wait) {
        if (self.OfflineCalls == 1) {
            self.SetServiceStatus(dsGoingOffline);
            Wait = true;
        }
    };
    Responses = 0;
    d.ChangeToOffline([this](TDevice&) { ++Responses; }, true);
    EXPECT_TRUE(d.SendLogout());
    EXPECT_EQ(d.DeviceType(), dtOffline);
    EXPECT_EQ(d.Model().Caption(), "Axis offline (USER)");
    ASSERT_TRUE(RunUntil([&] { return Fake(d, "UnitService").OfflineCalls == 1; }, 2s));
    Settle();
    EXPECT_EQ(d.State(), dstGoingOffline);
    EXPECT_EQ(Fake(d, "UnitService").OfflineCalls, 1);
    ovra.SetServiceStatus(dsStarted);
    ASSERT_TRUE(RunUntil([&] { return Responses == 1; }, 2s));
    EXPECT_EQ(d.State(), dstStarted);
    EXPECT_EQ(ovra.OfflineCalls, 2);
}

TEST_F(DevManTest, ConnectionLostAndRecoveredOnlyFromStartedOrError) {
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    test::ExpectError([&] { d.ChangeToConnectionLost(nullptr); }, "TDevice.ChangeToConnectionLost: device not ready (Stopped)");
    test::ExpectError([&] { d.ChangeToConnectionRecovered(nullptr); }, "TDevice.ChangeToConnectionRecovered: device not ready");
    ASSERT_TRUE(Start(d));
    d.ChangeToConnectionLost(nullptr);
    EXPECT_EQ(d.DeviceType(), dtConnectionLost);
    EXPECT_EQ(d.GetStrVar("DeviceType"), "Connection Lost");
    d.ChangeToConnectionRecovered(nullptr);
    EXPECT_EQ(d.DeviceType(), dtOnline);
    EXPECT_EQ(d.State(), dstStarted);
}

// ------------------------------------------------------------------ destruction

TEST_F(DevManTest, ADeviceDestroyedInItsResponseTakesItsServicesAndNodeAlong) {
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    d.CreateServices();
    Manager->ModelManager().Root().AddChild(d.Model());
    ASSERT_TRUE(Start(d));
    EXPECT_EQ(TFakeService::Alive, 4);
    bool destroyed = false;
    d.ShutDownServices([&](TDevice& Device) {
        Manager->DestroyDevice(Device);
        destroyed = true;
    });
    ASSERT_TRUE(RunUntil([&] { return destroyed; }, 2s));
    EXPECT_EQ(TFakeService::Alive, 0);
    EXPECT_EQ(Manager->GetDeviceCount(), 0);
    EXPECT_TRUE(Manager->UpdateRequest);
    EXPECT_EQ(Manager->ModelManager().Root().GetChildCount(), 0);
    Settle(); // the released node is freed by the next refresh
}

// A service with its own task, like the connection service: the task must
// end with the service.
class TTaskService : public TDeviceService {
public:
    TTaskService(TDevice& AOwner, TSLDictionary* AProfDict) : TDeviceService(AOwner, AProfDict) {
        Task = std::make_unique<TMxTask>("TaskService");
        Task->SetOnExecute([this](TMxTask& Sender) {
            ++*Steps;
            Sender.Sleep(1);
        });
        Task->Start();
    }
    void StartUp(bool&) override { SetServiceStatus(dsStarted); }
    void ShutDown(bool&) override { SetServiceStatus(dsStopped); }
    void Kill() override {}
    std::shared_ptr<int> Steps = std::make_shared<int>(0);
    std::unique_ptr<TMxTask> Task;
};

TEST_F(DevManTest, TheTasksOfAServiceEndWithItsDevice) {
    Manager->RegisterServiceClass("TaskService", DeviceServiceClass<TTaskService>());
    TDevice& d = Manager->CreateDevice("BOX", "Empty");
    TRef<TSLDictionary> profile = MakeRef<TSLDictionary>();
    profile->AddObject("Name", MakeRef<TSLString>("TaskService").Get());
    auto& service = dynamic_cast<TTaskService&>(d.CreateService("Tasks", profile.Get()));
    std::shared_ptr<int> steps = service.Steps;
    ASSERT_TRUE(RunUntil([&] { return *steps > 2; }, 2s));
    Manager->DestroyDevice(d);
    const int after = *steps;
    Settle();
    EXPECT_EQ(*steps, after);
}

TEST_F(DevManTest, DestroyingAnUnknownDeviceIsIgnored) {
    TDevice& d = Manager->CreateDevice("BOX", "Offline");
    TDeviceManager other(Manager->ProfDict());
    other.DestroyDevice(d);
    EXPECT_EQ(Manager->GetDeviceCount(), 1);
    EXPECT_FALSE(other.UpdateRequest);
}

// ------------------------------------------------------------------ variables, permissions, captions

TEST_F(DevManTest, StringVariablesAndWhatTheDeviceAnswersItself) {
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    EXPECT_EQ(d.GetStrVar("PortName"), "COM1");
    EXPECT_EQ(d.GetStrVar("UserName"), "USER"); // kept in upper case
    EXPECT_EQ(d.GetStrVar("DeviceName"), "BOX");
    EXPECT_EQ(d.GetStrVar("DeviceStatus"), "Stopped");
    EXPECT_EQ(d.GetStrVar("DeviceType"), "Online");
    EXPECT_EQ(d.GetStrVar("ConfigFile"), "");
    d.SetStrVar("DeviceName", "Axis 1");
    d.SetStrVar("devicetype", "Mine");
    d.SetStrVar("Password", "Secret");
    d.SetStrVar("PASSWORD", "Secret2");
    EXPECT_EQ(d.GetStrVar("DeviceName"), "Axis 1");
    EXPECT_EQ(d.GetStrVar("DeviceType"), "Mine");
    EXPECT_EQ(d.GetStrVar("password"), "Secret2"); // passwords keep their case
    EXPECT_EQ(d.Model().GetStrVar("DeviceName"), "Axis 1");

    TDevice& offline = Manager->CreateDevice("OFF", "Empty");
    EXPECT_EQ(offline.GetStrVar("DeviceType"), "Unknown");

    d.CreateServices();
    TDeviceService& s = d.GetService("UnitService");
    EXPECT_EQ(s.GetStrVar("ServiceStatus"), "Stopped");
    EXPECT_EQ(s.GetStrVar("ServiceName"), "UnitService");
    EXPECT_EQ(s.GetStrVar("DeviceName"), "BOX");
    EXPECT_EQ(s.GetStrVar("Own"), "mine");
    EXPECT_EQ(s.GetStrVar("Other"), "");
    const std::pair<TDeviceServiceStatus, const char*> states[] = {
        {dsStarting, "Starting"}, {dsStarted, "Started"}, {dsStopping, "Stopping"}, {dsError, "Error"}, {dsDisabled, "Unknown"}, {dsGoingOffline, "Unknown"}};
    for (const auto& [status, text] : states) {
        s.SetServiceStatus(status);
        EXPECT_EQ(s.GetStrVar("ServiceStatus"), text);
    }
}

TEST_F(DevManTest, PermissionsFollowTheUserName) {
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    d.CreateServices();
    TFakeService& s = Fake(d, "UnitService");
    s.SetMinRead(3);
    s.SetMinWrite(7);
    const struct {
        const char* User;
        int32_t Permission;
        bool Read, Write;
    } cases[] = {
        {"GUEST", 1, false, false},
        {"User", 3, true, false},
        {"Service", 7, true, true},
        {"DEVELOPER", 15, true, true},
        {"", 0, false, false},
        {"ADMIN", 0, false, false},
        {" USER", 0, false, false},
    };
    for (const auto& c : cases) {
        d.SetStrVar("UserName", c.User);
        EXPECT_EQ(d.GetUserPermission(), c.Permission) << c.User;
        EXPECT_EQ(s.GetHasReadPermission(), c.Read) << c.User;
        EXPECT_EQ(s.GetHasWritePermission(), c.Write) << c.User;
    }
}

TEST_F(DevManTest, ModelCaptionsByTypeAndInterface) {
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    d.SetStrVar("UserName", "service");
    Manager->SetDeviceCaption("box", "Axis");
    EXPECT_EQ(d.Caption(), "Axis");
    EXPECT_EQ(d.Model().Caption(), "Axis on COM1 (SERVICE)");
    d.SetInterfaceType(ifCAN);
    d.SetDeviceMACID(12);
    d.SetStrVar("PortName", "CAN");
    EXPECT_EQ(d.GetModelCaption(), "Axis, ID 12 on CAN (SERVICE)");
    d.SetInterfaceType(ifEthernet);
    d.SetDeviceIP(static_cast<int32_t>(0xC0A8010A));
    EXPECT_EQ(d.GetModelCaption(), "Axis, IP: 192.168.1.10 (SERVICE)");
    d.SetInterfaceType(ifOffline);
    EXPECT_EQ(d.GetModelCaption(), "");
    d.SetDeviceType(dtArchive);
    EXPECT_EQ(d.GetModelCaption(), "");
    test::ExpectError([&] { Manager->SetDeviceCaption("NOBOX", "x"); }, "TDeviceManager.ChangeDeviceName: device with name 'NOBOX' not found");
    // The property "Name" shows the caption.
    EXPECT_EQ(d.PropList().GetItemWithName("Name").GetValue(&d), "Axis");
    EXPECT_TRUE(d.PropList().GetItemWithName("Name").GetReadOnly());
    EXPECT_EQ(d.PropList().GetInfoStr("English"), "A drive");
    EXPECT_EQ(d.PropList().GetNoOfInfoStr(), 1); // the empty German text is skipped
}

TEST_F(DevManTest, OfflineCaptionsAreMadeUnique) {
    TDevice& a = Manager->CreateDevice("A", "Offline");
    TDevice& b = Manager->CreateDevice("B", "Offline");
    TDevice& c = Manager->CreateDevice("C", "Offline");
    TDevice& online = Manager->CreateDevice("D", "Online");
    Manager->SetDeviceCaption("A", "Axis");
    Manager->SetDeviceCaption("D", "Axis");
    EXPECT_EQ(online.Caption(), "Axis"); // online devices keep theirs
    Manager->SetDeviceCaption("C", "Axis(1)");
    // B: "Axis" is taken by A, then "Axis(1)" by C, which stands later.
    Manager->SetDeviceCaption("B", "Axis");
    EXPECT_EQ(a.Caption(), "Axis");
    EXPECT_EQ(b.Caption(), "Axis(1)(1)");
    EXPECT_EQ(c.Caption(), "Axis(1)");
    EXPECT_EQ(b.Model().Caption(), "Axis(1)(1) offline ()");
}

TEST_F(DevManTest, ClientsOfDevicesAndServices) {
    TDevice& d = Manager->CreateDevice("BOX", "Online");
    TDeviceClient& client = d.GetDeviceClient();
    TDevice other(*Manager, "OTHER", nullptr);
    test::ExpectError([&] { other.ClientRequest(client); }, "TDevice.ClientRequest: sender isn't client of this device");
    client.Release();
    EXPECT_TRUE(d.ClientReleaseRequest());
    EXPECT_EQ(client.Device(), nullptr);
    client.Release(); // forgotten: nothing happens

    d.CreateServices();
    TDeviceService& s = d.GetService("UnitService");
    int notified = 0;
    TDeviceServiceClient& c1 = s.CreateServiceClient();
    TDeviceServiceClient& c2 = s.CreateServiceClient();
    c1.FOnNotify = [&](TDeviceService& Service) {
        EXPECT_EQ(&Service, &s);
        ++notified;
        c2.Release(); // releasing another client from a handler is safe
    };
    c2.FOnNotify = [&](TDeviceService&) { ++notified; };
    s.NotifyClients();
    EXPECT_EQ(notified, 1);
    EXPECT_EQ(s.GetClientCount(), 1);
    c1.Release();
    EXPECT_EQ(s.GetClientCount(), 0);
}

} // namespace
} // namespace vo
