// The device interface: every operation sends its one telegram to a drive
// (the simulator behind a pseudo-terminal) and delivers the answer through
// OnResponse; one operation at a time.
#include "devices/OvraImpl.h"

#include "comm/OvraServ.h"
#include "comm/QpRegister.h"
#include "comm/RsDrv.h"
#include "comm/ServActr.h"
#include "devices/QsBasic.h"
#include "kernel/PrgObjs.h"
#include "platform/ComPorts.h"
#include "platform/Time.h"
#include "storagelib/SL20Dec.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/ScriptedPrompt.h"
#include "tests/support/SimComLink.h"
#include "tests/support/TestShell.h"
#include "tools/drivesim/SimDriveFile.h"
#include "tools/drivesim/SimPty.h"
#include "tools/drivesim/SimRunner.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vo {
namespace {

using namespace std::chrono_literals;

constexpr const char* Profiles = "[D /Profiles [D /Drive [D /DeviceType 'Online' /Services [A [D /Name 'OvraService' "
                                 "/Profile 'Ovra' ] ] ] ] /Ovra [D /Name 'OvraService' /Caption 'Drive Connection' ] ]";

// A logged-in device on "COM7" with a simulated drive behind it.
class OvraInterfaceTest : public test::MainSchedulerFixture, protected test::SimComLink {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        MxEnsureMessaging();
        ASSERT_NO_FATAL_FAILURE(OpenLink());
        Registry = SLDecodeString(Profiles);
        auto* root = dynamic_cast<TSLDictionary*>(Registry.Get());
        Manager = std::make_unique<TDeviceManager>(
            DictionaryAtPath(root, ""), [root](const MyAnsiString& Path) { return DictionaryAtPath(root, Path); });
        Manager->RegisterServiceClass("OvraService", DeviceServiceClass<TBasicOvraService>());
        Factory = std::make_unique<TOvraInterfaceFactoryImplementation>(Manager.get());
    }
    void TearDown() override {
        Factory.reset();
        Manager.reset();
        CloseLink();
        MainSchedulerFixture::TearDown();
    }

    // Attaches the drive, creates the device "BOX1" and logs in.
    TBasicOvraService& Online(const char* File = "vx41.drive") {
        Attach(File);
        TDevice& d = Manager->CreateDevice("BOX1", "Drive");
        d.SetStrVar("PortName", "COM7");
        d.SetStrVar("UserName", "USER");
        d.SetStrVar("Password", "user");
        d.CreateServices();
        bool done = false;
        d.StartUpServices([&](TDevice&) { done = true; });
        EXPECT_TRUE(RunUntil([&] { return done; }, 10s));
        EXPECT_EQ(d.State(), dstStarted) << (Prompt.Texts().empty() ? "" : Prompt.Texts()[0]);
        Logins = Runner->Transcript().Frames(SimDirection::In).size();
        return *d.FindService<TBasicOvraService>("OvraService");
    }

    // Runs Op on the interface and waits for its answer; the frame the drive
    // received.
    MyAnsiString Call(TOvraInterface& I, const std::function<void(TOvraInterface&)>& Op) {
        int answers = 0;
        I.SetOnResponse([&](TOvraInterface&) { ++answers; });
        const size_t before = Runner->Transcript().Frames(SimDirection::In).size();
        Op(I);
        EXPECT_TRUE(RunUntil([&] { return answers > 0; }, 10s));
        EXPECT_EQ(answers, 1);
        const auto frames = Runner->Transcript().Frames(SimDirection::In);
        return frames.size() > before ? MyAnsiString(frames.back()) : MyAnsiString("(nothing sent)");
    }

    test::TestShell Shell;
    test::TScriptedPromptScope Prompt;
    TScopedTimeOverride OpenDelay{RsDriverOpenDelay, 0};
    TScopedTimeOverride AnswerTimeout{ServerActorAnswerTimeout, 150};
    TRef<TSLObject> Registry;
    std::unique_ptr<TDeviceManager> Manager;
    std::unique_ptr<TOvraInterfaceFactoryImplementation> Factory;
    size_t Logins = 0;
};

struct TOpCase {
    const char* Name;
    std::function<void(TOvraInterface&)> Op;
    const char* Frame; // what the drive receives
    uint8_t Error;
    std::function<void(TOvraInterface&)> Check; // the value stored
};

TEST_F(OvraInterfaceTest, EveryOperationSendsItsTelegramAndDeliversTheAnswer) {
    TBasicOvraService& ovra = Online();
    TOvraInterface& i = Factory->CreateOvraInterface("BOX1");
    const std::vector<TOpCase> cases = {
        {"ReadMemory", [](auto& I) { I.ReadMemory(0x100); }, "10 00 01 00 00", 0,
         [](auto& I) {
             EXPECT_EQ(I.Data(), 0x1234);
             EXPECT_EQ(I.Address(), 0x100);
         }},
        {"WriteMemory", [](auto& I) { I.WriteMemory(0x200, 0x55AA); }, "11 00 02 00 00 AA 55", 0,
         [](auto& I) {
             EXPECT_EQ(I.Address(), 0x200);
             EXPECT_EQ(I.Data(), 0x55AA);
         }},
        {"WriteFlash", [](auto& I) { I.WriteFlash(0x01000010, 0x1234); }, "12 10 00 00 01 34 12", 0,
         [](auto& I) { EXPECT_EQ(I.Address(), 0x01000010); }},
        {"StartProgram", [](auto& I) { I.StartProgram(); }, "20", 0, {}},
        {"StopProgram", [](auto& I) { I.StopProgram(); }, "21", 0, {}},
        {"OldStartProgram", [](auto& I) { I.OldStartProgram(0x01000100); }, "20 00 01 00 01", 0,
         [](auto& I) { EXPECT_EQ(I.Address(), 0x01000010); }}, // unchanged since WriteFlash
        {"EraseFlash", [](auto& I) { I.EraseFlash(0x01001000); }, "23 00 10 00 01", 0,
         [](auto& I) { EXPECT_EQ(I.Address(), 0x01001000); }},
        {"EraseFlashAll", [](auto& I) { I.EraseFlashAll(); }, "27", 0, {}},
        {"ResetDevice", [](auto& I) { I.ResetDevice(); }, "22", 0, {}},
        {"RebootDevice", [](auto& I) { I.RebootDevice(1); }, "22 01", 0, {}},
        {"CopyRamToFlash", [](auto& I) { I.CopyRamToFlash(0x100, 0x01000100, 4); }, "33 00 01 00 00 00 01 00 01 04 00", 0, {}},
        {"GetFirstEmptyAddr", [](auto& I) { I.GetFirstEmptyAddr(0x01000000, 0x01001000); },
         "26 00 00 00 01 00 10 00 01", 0, [](auto& I) { EXPECT_EQ(I.Data(), 0x01000102); }},
        {"BlinkDevice", [](auto& I) { I.BlinkDevice(SimHex("01 00 01")); }, "05 01 00 01", 0, {}},
        {"SetParWithUPID", [](auto& I) { I.SetParWithUPID(SimHex("01 00 10 22 11")); }, "89 01 00 10 22 11", 0, {}},
        {"GetParWithUPID", [](auto& I) { I.GetParWithUPID(SimHex("01 00 10")); }, "88 01 00 10", 0,
         [](auto& I) { EXPECT_EQ(I.DataStr(), SimHex("22 11")); }},
        {"SetBlockUPID", [](auto& I) { I.SetBlockUPID(SimHex("01 00 10 33 44")); }, "16 01 00 10 33 44", 0, {}},
        {"GetBlockUPID", [](auto& I) { I.GetBlockUPID(SimHex("01 00 10")); }, "15 01 00 10", 0,
         [](auto& I) { EXPECT_EQ(I.DataStr(), SimHex("22 11")); }}, // left from GetParWithUPID
        {"ClearInstancePar", [](auto& I) { I.ClearInstancePar(1); }, "89 06 01", 0, {}},
        {"ClearInstanceAll", [](auto& I) { I.ClearInstanceAll(1); }, "89 09 01", 0, {}},
        {"SetInstanceDefPar", [](auto& I) { I.SetInstanceDefPar(0); }, "89 08 00", 0, {}},
        {"GetInstanceTreeName", [](auto& I) { I.GetInstanceTreeName(1); }, "88 10 01", 0,
         [](auto& I) { EXPECT_EQ(I.DataStr(), "VxIntf_Std_V1S1"); }},
        {"UpdateUPIDList", [](auto& I) { I.UpdateUPIDList(); }, "89 07 00", 0, {}},
        {"EraseMemory", [](auto& I) { I.EraseMemory(); }, "89 0A", 0, {}},
        {"CurveSaveRamToFlash", [](auto& I) { I.CurveSaveRamToFlash(); }, "90 0D", 0, {}},
        {"CTSaveRamToFlash", [](auto& I) { I.CTSaveRamToFlash(); }, "94 08", 0, {}},
        {"DeviceLogin", [](auto& I) { I.DeviceLogin("pw"); }, "01 70 77", 0, {}},
        {"DeviceLogout", [](auto& I) { I.DeviceLogout(); }, "02", 0, {}},
    };
    ASSERT_EQ(cases.size(), 27u);
    for (const TOpCase& c : cases) {
        SCOPED_TRACE(c.Name);
        EXPECT_EQ(StrToHexStr(Call(i, c.Op)), StrToHexStr(SimHex(c.Frame)));
        EXPECT_EQ(i.Error(), c.Error);
        EXPECT_EQ(dynamic_cast<TOvraInterfaceImplementation&>(i).State(), TOvraInterfaceState::stIdle);
        if (c.Check)
            c.Check(i);
    }
    (void)ovra;
    Factory->ReleaseOvraInterface(i);
    EXPECT_EQ(Factory->InterfaceCount(), 0u);
}

TEST_F(OvraInterfaceTest, OneOperationAtATime) {
    Online();
    TOvraInterface& i = Factory->CreateOvraInterface("BOX1");
    int answers = 0;
    i.SetOnResponse([&](TOvraInterface&) { ++answers; });
    i.ReadMemory(0x100);
    test::ExpectError([&] { i.WriteMemory(0x100, 1); }, "OvraInterface.WriteMemory: interface not ready");
    test::ExpectError([&] { i.DeviceLogin("x"); }, "OvraInterface.LoginDevice: interface not ready");
    test::ExpectError([&] { i.CTSaveRamToFlash(); }, "OvraInterface.CTSaveRamToFlash: interface not ready");
    ASSERT_TRUE(RunUntil([&] { return answers == 1; }));
    EXPECT_EQ(i.Data(), 0x1234);
    // Nothing of the refused operations reached the drive.
    EXPECT_EQ(Runner->Transcript().Frames(SimDirection::In).size(), Logins + 1);
    i.WriteMemory(0x100, 7); // idle again
    ASSERT_TRUE(RunUntil([&] { return answers == 2; }));
    EXPECT_EQ(i.Error(), 0);
}

TEST_F(OvraInterfaceTest, ASilentDriveEndsWithTheTimeOutResult) {
    Online();
    Runner->Faults().Add("cmd=10 drop times=3");
    TOvraInterface& i = Factory->CreateOvraInterface("BOX1");
    Call(i, [](TOvraInterface& I) { I.ReadMemory(0x100); });
    EXPECT_EQ(i.Error(), 0xB2);
    EXPECT_EQ(dynamic_cast<TOvraInterfaceImplementation&>(i).State(), TOvraInterfaceState::stIdle);
    Call(i, [](TOvraInterface& I) { I.WriteMemory(0x100, 1); });
    EXPECT_EQ(i.Error(), 0);
}

TEST_F(OvraInterfaceTest, LoginFactsChangeOnlyOnSuccess) {
    TBasicOvraService& ovra = Online();
    TOvraLoginFacts facts = ovra.LoginFacts();
    facts.AddrFieldSize = 3;
    facts.MaxBufferSize = 77;
    facts.FlashBaseAddr = 0;
    ovra.SetLoginFacts(facts);
    TOvraInterface& i = Factory->CreateOvraInterface("BOX1");
    Call(i, [](TOvraInterface& I) { I.DeviceLogin("pw"); });
    ASSERT_EQ(i.Error(), 0);
    EXPECT_EQ(ovra.AddrFieldSize(), 4);
    EXPECT_EQ(ovra.FlashBaseAddr(), 0x01000000);
    EXPECT_EQ(ovra.MaxBufferSize(), 77); // not taken from the answer

    Runner->Faults().Add("cmd=01 status=B3");
    facts = ovra.LoginFacts();
    facts.AddrFieldSize = 3;
    ovra.SetLoginFacts(facts);
    Call(i, [](TOvraInterface& I) { I.DeviceLogin("pw"); });
    EXPECT_EQ(i.Error(), 0xB3);
    EXPECT_EQ(ovra.AddrFieldSize(), 3);
}

TEST_F(OvraInterfaceTest, BlockTransfersByUPIDEndWithAnErrorOnOlderDrives) {
    Online("vx31.drive");
    TOvraInterface& i = Factory->CreateOvraInterface("BOX1");
    for (const auto& op : std::vector<std::function<void(TOvraInterface&)>>{
             [](TOvraInterface& I) { I.GetBlockUPID(SimHex("01 00 10")); },
             [](TOvraInterface& I) { I.SetBlockUPID(SimHex("01 00 10 01 00")); }}) {
        EXPECT_EQ(Call(i, op), "(nothing sent)");
        EXPECT_EQ(i.Error(), OvraResNotSupported);
        EXPECT_EQ(dynamic_cast<TOvraInterfaceImplementation&>(i).State(), TOvraInterfaceState::stIdle);
    }
    Call(i, [](TOvraInterface& I) { I.ReadMemory(0x100); });
    EXPECT_EQ(i.Error(), 0);
}

TEST_F(OvraInterfaceTest, TheFactoryWantsADeviceWithAConnectionService) {
    test::ExpectError([&] { Factory->CreateOvraInterface("NOBOX"); },
                      "TDeviceManager.GetDevice: device with name 'NOBOX' not found");
    EXPECT_EQ(Factory->InterfaceCount(), 0u);
}

TEST(OvraInterfaceServer, RegistersTheFactory) {
    InitOvraInterfaceServer();
    TObjectRegistryItem& item = ObjectRegistryManager().GetObject("OvraInterfaceFactory");
    EXPECT_EQ(item.Type(), "OvraInterfaceFactory");
    EXPECT_EQ(item.Version(), 1);
    EXPECT_EQ(item.Revision(), 0);
    EXPECT_EQ(item.Item<TOvraInterfaceFactory>(), OvraInterfaceFactory());
    EXPECT_NE(OvraInterfaceFactory(), nullptr);
}

} // namespace
} // namespace vo
