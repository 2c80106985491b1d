// Every telegram pattern end to end: records put by the patterns go through
// the client's actors on the main scheduler, the communication server and a
// port to the drive simulator, and come back decoded. Run on two drives
// (A = 4 with a 255-byte buffer, A = 3 with a 64-byte buffer), each over the
// in-process transport and over the RS232 link on a pseudo-terminal. Blocks
// of several hundred bytes are written and read back split into records of
// GetMaxSize, byte-exact.
#include "comm/OvraActr.h"
#include "comm/OvraClnt.h"
#include "comm/OvraServ.h"
#include "comm/QpBytePar.h"
#include "comm/QpCopyBlock.h"
#include "comm/QpCurve.h"
#include "comm/QpCustom.h"
#include "comm/QpEraseMem.h"
#include "comm/QpFndInf.h"
#include "comm/QpGetBlk.h"
#include "comm/QpGetFirstEmpty.h"
#include "comm/QpGetStat.h"
#include "comm/QpGetStr.h"
#include "comm/QpGetWrd.h"
#include "comm/QpInstance.h"
#include "comm/QpLogin.h"
#include "comm/QpOneAdr.h"
#include "comm/QpRegister.h"
#include "comm/QpSetBit.h"
#include "comm/QpSetBlk.h"
#include "comm/QpSetStr.h"
#include "comm/QpSetWrd.h"
#include "comm/QpSimple.h"
#include "comm/RsDrv.h"
#include "platform/ComPorts.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/OvraServerFixture.h"
#include "tests/support/SimPortDriver.h"
#include "tools/drivesim/SimDriveFile.h"
#include "tools/drivesim/SimPty.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

using namespace vo;
using namespace vo::test;
using namespace std::chrono_literals;

namespace {

// One pattern object per drive operation, bound as a drive of protocol
// generation 0x4x binds them.
struct TDrivePatterns {
    explicit TDrivePatterns(TOvraService* S) : Srv(S) {}
    TOvraService* Srv;
    TLoginPattern FDeviceLogin{Srv, 0x01};
    TSimplePattern FDeviceLogout{Srv, 0x02};
    TGetStatusPattern FGetStatus{Srv, 0x03};
    TGetWordPattern FGetMemoryWord{Srv, 0x10};
    TSetWordPattern FSetMemoryWord{Srv, 0x11};
    TSetWordPattern FSetFlashWord{Srv, 0x12};
    TSimplePattern FStartProgram{Srv, 0x20};
    TSimplePattern FStopProgram{Srv, 0x21};
    TAddrActionPattern FOldStartProgram{Srv, 0x20};
    TCustomPattern FBlinkDevice{Srv, 0x05};
    TSimplePattern FResetDevice{Srv, 0x22};
    TByteActionPattern FRebootDevice{Srv, 0x22};
    TAddrActionPattern FEraseFlash{Srv, 0x23};
    TSimplePattern FEraseFlashAll{Srv, 0x27};
    TFindInfoPattern FFindInfoNode{Srv, 0x25};
    TGetBlockPattern FGetMemoryBlock{Srv, 0x30};
    TGetBlockPattern FGetFlashMemoryBlock{Srv, 0x36};
    TSetBlockPattern FSetMemoryBlock{Srv, 0x31};
    TSetBlockPattern FSetFlashBlock{Srv, 0x32};
    TSetBlockPattern FSetEncFlashBlock{Srv, 0x37};
    TGetStringPattern FGetMemoryString{Srv, 0x34};
    TSetStringPattern FSetMemoryString{Srv, 0x35};
    TSetBitPattern FMaskMemoryWord{Srv, 0x13};
    TCopyBlockPattern FCopyRamToFlash{Srv, 0x33};
    TGetFirstEmptyPattern FGetFirstEmptyAddr{Srv, 0x26};
    TCustomPattern FSetParWithUPID{Srv, 0x89};
    TCustomPattern FGetParWithUPID{Srv, 0x88};
    TInstancePattern FClearInstancePar{Srv, 0x89, 0x06};
    TInstancePattern FClearInstanceAll{Srv, 0x89, 0x09};
    TInstancePattern FSetInstanceDefPar{Srv, 0x89, 0x08};
    TInstancePattern FGetInstanceTreeName{Srv, 0x88, 0x10};
    TInstancePattern FUpdateUPIDList{Srv, 0x89, 0x07};
    TEraseMemPattern FEraseMemory{Srv, 0x89, 0x0A};
    TCurvePattern FCurveSaveRamToFlash{Srv, 0x90, 0x0D};
    TCurvePattern FCTSaveRamToFlash{Srv, 0x94, 0x08};
};

struct TRoute {
    const char* Drive; // sample drive file
    bool Pty; // RS232 link over a pseudo-terminal, else in process
    const char* Name;
};

MyAnsiString Pattern(size_t Size, unsigned Seed) {
    MyAnsiString out;
    unsigned x = Seed;
    for (size_t i = 0; i < Size; ++i) {
        x = x * 1103515245u + 12345u;
        out.push_back(static_cast<char>(x >> 16));
    }
    return out;
}

class PatternsEndToEndTest : public MainSchedulerFixture, public ::testing::WithParamInterface<TRoute> {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        MxEnsureMessaging();
        Runner = std::make_unique<SimRunner>(SimLoadDrive(SimDataDir() + "/" + GetParam().Drive));
        Identity = Runner->WithDrive([](SimDrive& d) { return d.Identity(); });
        Server = std::make_unique<TOvraServer>();
        if (GetParam().Pty) {
            Line = std::make_unique<SimPtyTransport>(*Runner);
            ComPortTable::Instance().Map("COM9", Line->SlavePath());
            ASSERT_TRUE(Server->AddPortDriver("COM9", std::make_shared<TRsDriver>(1, 115200, "COM9")));
        } else {
            Port = std::make_shared<TSimPortDriver>(1, "SIM");
            Port->Connect(0, *Runner);
            ASSERT_TRUE(Server->AddPortDriver("COM9", Port));
        }
        Runner->Start();
        Gui = std::make_unique<TGuiSide>();
        Drive.SetPortHandle(Gui->Open("COM9"));
        ASSERT_EQ(Drive.PortHandle(), 0) << (Gui->LastReply.size() > 2 ? Gui->LastReply[2] : "");
        Client = std::make_unique<TOvraClient>();
        RegisterOvraPatterns(*Client);
        Actor = std::make_unique<TOvraActorLease>(*Client);
        Login();
    }
    void TearDown() override {
        Actor.reset();
        Client.reset();
        Server.reset();
        Gui.reset();
        Port.reset();
        Line.reset();
        Runner.reset();
        if (GetParam().Pty)
            ComPortTable::Instance().Unmap("COM9");
        MainSchedulerFixture::TearDown();
    }

    // Executes the actor's records as one request; true when the response came.
    bool Run() {
        bool done = false;
        (*Actor)->SetOnResponse([&](TOvraActor&) { done = true; });
        (*Actor)->Execute();
        return RunUntil([&] { return done; }, 20s);
    }

    void Login() {
        TOvraActor& a = **Actor;
        a.Clear();
        P.FDeviceLogin.Put(a, "", 0);
        ASSERT_TRUE(Run());
        ASSERT_EQ(a.GetResult(), 0);
        Drive.SetLoginFacts(TLoginPattern::ToLoginFacts(P.FDeviceLogin.Get(a)));
        Drive.SetDeviceOnline(true);
    }

    uint32_t Span(size_t Bytes) const { return static_cast<uint32_t>(Bytes / Drive.DataFieldSize() * Drive.AddrIncrement()); }

    // Puts set-block records of at most GetMaxSize bytes for Data from Address.
    void PutWrite(const TSetBlockPattern& Pattern, uint32_t Address, const MyAnsiString& Data) {
        const size_t max = static_cast<size_t>(Pattern.GetMaxSize());
        for (size_t at = 0; at < Data.size(); at += max) {
            const MyAnsiString piece = Data.substr(at, max);
            Pattern.Put(**Actor, static_cast<int32_t>(Address), piece, static_cast<int32_t>(at));
            Address += Span(piece.size());
        }
    }
    void PutRead(const TGetBlockPattern& Pattern, uint32_t Address, size_t Size) {
        const size_t max = static_cast<size_t>(Pattern.GetMaxSize());
        for (size_t at = 0; at < Size; at += max) {
            const size_t n = std::min(max, Size - at);
            Pattern.Put(**Actor, static_cast<int32_t>(Address), static_cast<uint8_t>(n), static_cast<int32_t>(at));
            Address += Span(n);
        }
    }
    // Every record's result must be 0; the data of the get-block records
    // joined in order.
    MyAnsiString Results(const TGetBlockPattern* Reader = nullptr) {
        TOvraActor& a = **Actor;
        MyAnsiString data;
        a.Reset();
        for (int i = 0; i < a.GetCount(); ++i, a.Next()) {
            EXPECT_EQ(a.GetResult(), 0) << "record " << i << " command " << int(a.GetService());
            if (Reader && a.GetService() == Reader->OvraId())
                data += Reader->GetData(a);
        }
        return data;
    }

    SimBytes Peek(uint32_t Address, size_t Count) {
        return Runner->WithDrive([&](SimDrive& d) { return d.Peek(Address, Count); });
    }
    // The device name parameter (UPID 1000, 32 bytes).
    SimBytes DeviceName() {
        return Runner->WithDrive([](SimDrive& d) { return d.FindParameter(0x03E8)->ram; });
    }
    size_t Events(const char* Name) {
        return Runner->WithDrive([&](SimDrive& d) { return d.EventCount(Name); });
    }

    TScopedTimeOverride OpenDelay{RsDriverOpenDelay, 0};
    TScopedTimeOverride AnswerTimeout{ServerActorAnswerTimeout, 1000};
    std::unique_ptr<SimRunner> Runner;
    SimIdentity Identity;
    std::unique_ptr<SimPtyTransport> Line;
    std::shared_ptr<TSimPortDriver> Port;
    std::unique_ptr<TOvraServer> Server;
    std::unique_ptr<TGuiSide> Gui;
    std::unique_ptr<TOvraClient> Client;
    TOvraService Drive;
    TDrivePatterns P{&Drive};
    std::unique_ptr<TOvraActorLease> Actor;
};

TEST_P(PatternsEndToEndTest, LoginAnswerGivesTheDrivesFacts) {
    EXPECT_EQ(Drive.ProtocolVersion(), Identity.protocolVersion);
    EXPECT_EQ(Drive.AddrFieldSize(), Identity.addrFieldSize);
    EXPECT_EQ(Drive.DataFieldSize(), Identity.dataFieldSize);
    EXPECT_EQ(Drive.AddrIncrement(), Identity.addrIncrement);
    EXPECT_EQ(Drive.MaxBufferSize(), Identity.maxBufferSize);
    EXPECT_EQ(Drive.DeviceType(), Identity.deviceType);
    EXPECT_EQ(static_cast<uint32_t>(Drive.FlashBaseAddr()), Identity.flashBaseAddr);
    SimBytes name = Identity.deviceString;
    name.resize(16, '\0');
    EXPECT_EQ(Drive.LoginFacts().DeviceString, name);
    const bool small = Identity.maxBufferSize == 64;
    EXPECT_EQ(P.FGetMemoryBlock.GetMaxSize(), small ? 62 : 252);
    EXPECT_EQ(P.FSetMemoryBlock.GetMaxSize(), small ? 60 : 250);
}

TEST_P(PatternsEndToEndTest, BlocksOfSeveralHundredBytesAreWrittenAndReadByteExact) {
    const MyAnsiString data = Pattern(700, 7);
    const uint32_t ram = 0x1000;
    TOvraActor& a = **Actor;
    a.Clear();
    PutWrite(P.FSetMemoryBlock, ram, data);
    const int writes = a.GetCount();
    EXPECT_EQ(writes, Identity.maxBufferSize == 64 ? 12 : 3);
    PutRead(P.FGetMemoryBlock, ram, data.size());
    ASSERT_TRUE(Run());
    EXPECT_EQ(Results(&P.FGetMemoryBlock), data);
    EXPECT_EQ(Peek(ram, data.size()), data);
    // Over RS232 every frame travelled with its header; the largest ones fill
    // the drive's buffer.
    size_t largest = 0;
    for (const auto& e : Runner->Transcript().Entries()) {
        if (GetParam().Pty) {
            ASSERT_EQ(e.wire.size(), e.frame.size() + 3);
            EXPECT_EQ(static_cast<uint8_t>(e.wire[0]), RsFrameStart);
        }
        largest = std::max(largest, e.frame.size());
    }
    EXPECT_EQ(largest, Identity.maxBufferSize);
    // The words around the block are untouched.
    EXPECT_EQ(Peek(ram - 1, 2), SimBytes(2, '\0'));
    EXPECT_EQ(Peek(ram + Span(data.size()), 2), SimBytes(2, '\0'));

    // Flash: erase a sector, program it block by block, read it back with
    // the flash block telegram; programming it again is refused.
    const uint32_t flash = Identity.flashBaseAddr;
    const MyAnsiString image = Pattern(500, 11);
    a.Clear();
    P.FEraseFlash.Put(a, static_cast<int32_t>(flash), 0);
    PutWrite(P.FSetFlashBlock, flash, image);
    PutRead(P.FGetFlashMemoryBlock, flash, image.size());
    P.FGetFirstEmptyAddr.Put(a, static_cast<int32_t>(flash), static_cast<int32_t>(flash + 0x200), 0);
    ASSERT_TRUE(Run());
    EXPECT_EQ(Results(&P.FGetFlashMemoryBlock), image);
    a.Reset();
    while (a.GetService() != 0x26)
        a.Next();
    EXPECT_EQ(static_cast<uint32_t>(P.FGetFirstEmptyAddr.GetData(a)), flash + Span(image.size()));

    a.Clear();
    P.FSetFlashBlock.Put(a, static_cast<int32_t>(flash), "\x01\x02", 0);
    P.FGetFlashMemoryBlock.Put(a, static_cast<int32_t>(ram), 2, 0); // RAM is no flash
    ASSERT_TRUE(Run());
    a.Reset();
    EXPECT_EQ(a.GetResult(), 0xC4); // not erased
    a.Next();
    EXPECT_EQ(a.GetResult(), 0xC3);
    EXPECT_EQ(P.FGetFlashMemoryBlock.GetData(a), "");
}

TEST_P(PatternsEndToEndTest, EveryPatternAgainstTheDrive) {
    const uint32_t flash = Identity.flashBaseAddr;
    const bool gen4 = (Identity.protocolVersion >> 4) == 4;
    const SimBytes DeviceName0 = DeviceName();
    TOvraActor& a = **Actor;
    a.Clear();
    P.FGetStatus.Put(a, 0, 1);
    P.FGetMemoryWord.Put(a, 0x100, 2);
    P.FSetMemoryWord.Put(a, 0x102, 0xBEEF, 3);
    P.FMaskMemoryWord.Put(a, 0x102, 0x0001, 0x000F, 4);
    P.FGetMemoryWord.Put(a, 0x102, 5);
    P.FSetMemoryString.Put(a, 0x200, 5, "hello, drive", 6);
    P.FGetMemoryString.Put(a, 0x200, 8, 7);
    P.FGetParWithUPID.Put(a, SimHex("01 E8 03"), 8);
    P.FSetParWithUPID.Put(a, MyAnsiString("\x01\xE8\x03", 3) + "renamed", 9);
    P.FGetParWithUPID.Put(a, SimHex("01 E8 03"), 10);
    P.FFindInfoNode.Put(a, gen4 ? 0x8001 : 0x1000, 0, 11);
    P.FGetInstanceTreeName.Put(a, 0, 12);
    P.FClearInstancePar.Put(a, 1, 13);
    P.FUpdateUPIDList.Put(a, 1, 14);
    P.FSetInstanceDefPar.Put(a, 0, 15);
    P.FClearInstanceAll.Put(a, 2, 16);
    P.FEraseMemory.Put(a, 17);
    P.FCurveSaveRamToFlash.Put(a, 18);
    P.FCTSaveRamToFlash.Put(a, 19);
    P.FBlinkDevice.Put(a, SimHex("FF FF 01"), 20);
    P.FEraseFlashAll.Put(a, 21);
    P.FSetFlashWord.Put(a, static_cast<int32_t>(flash + 0x10), 0x5AA5, 22);
    P.FCopyRamToFlash.Put(a, 0x100, static_cast<int32_t>(flash + 0x20), 8, 23);
    P.FSetEncFlashBlock.Put(a, static_cast<int32_t>(flash + 0x30), "\x11\x22\x33\x44", 24);
    P.FGetFirstEmptyAddr.Put(a, static_cast<int32_t>(flash), static_cast<int32_t>(flash + 0x100), 25);
    P.FStartProgram.Put(a, 26);
    P.FStopProgram.Put(a, 27);
    P.FOldStartProgram.Put(a, 0x1234, 28);
    P.FResetDevice.Put(a, 29);
    P.FRebootDevice.Put(a, 3, 30);
    ASSERT_TRUE(Run());
    ASSERT_EQ(a.GetCount(), 30);
    Results();

    a.Reset();
    auto at = [&](int User) {
        a.Reset();
        while (a.GetUser() != User)
            a.Next();
    };
    at(1);
    EXPECT_EQ(P.FGetStatus.GetStatus(a) & 0x8000, 0x8000);
    EXPECT_EQ(P.FGetStatus.GetSerNbrLow(a), Identity.serNbrLow);
    EXPECT_EQ(P.FGetStatus.GetPartNbr(a), Identity.partNbr);
    at(2);
    EXPECT_EQ(P.FGetMemoryWord.GetData(a), 0x1234);
    at(5);
    EXPECT_EQ(P.FGetMemoryWord.GetData(a), 0xBEE1);
    EXPECT_EQ(Peek(0x102, 2), SimHex("E1 BE"));
    at(7);
    EXPECT_EQ(P.FGetMemoryString.GetData(a), MyAnsiString("hello\0\0\0", 8)); // the text, its 0x00, RAM behind
    at(8);
    EXPECT_EQ(P.FGetParWithUPID.GetResponse(a), DeviceName0);
    EXPECT_EQ(DeviceName0.size(), 32u);
    at(10);
    EXPECT_EQ(P.FGetParWithUPID.GetResponse(a).substr(0, 8), MyAnsiString("renamed\0", 8));
    at(11);
    EXPECT_EQ(P.FFindInfoNode.GetNodeAddr(a), gen4 ? 0x8080 : 0x2000);
    EXPECT_EQ(P.FFindInfoNode.GetNodeType(a), 0);
    EXPECT_GE(P.FFindInfoNode.GetNodeSize(a), 34);
    at(12);
    EXPECT_EQ(P.FGetInstanceTreeName.GetData(a), gen4 ? "VxMotion_Std_V1S2" : "VxMotion_Old_V1S7");
    at(25);
    EXPECT_EQ(static_cast<uint32_t>(P.FGetFirstEmptyAddr.GetData(a)), flash + 0x32);
    EXPECT_EQ(Peek(flash + 0x10, 2), SimHex("A5 5A"));
    EXPECT_EQ(Peek(flash + 0x20, 8), SimHex("34 12 78 56") + Peek(0x102, 2) + Peek(0x103, 2));
    EXPECT_EQ(Peek(flash + 0x30, 4), SimHex("11 22 33 44"));

    for (const char* e : {"clear instance parameters", "update upid list", "set instance defaults", "clear instance",
                          "erase memory", "curve save", "table save", "blink", "erase all", "stop", "reset"})
        EXPECT_EQ(Events(e), 1u) << e;
    EXPECT_EQ(Events("start"), 2u);
    Runner->WithDrive([](SimDrive& d) {
        for (const auto& e : d.Events()) {
            if (e.name == "reboot") {
                EXPECT_EQ(e.arg, 3u);
            }
            if (e.name == "clear instance") {
                EXPECT_EQ(e.arg, 2u);
            }
        }
        EXPECT_EQ(d.Events().back().name, "reboot");
    });

    // Logout last: afterwards the drive wants a login again.
    a.Clear();
    P.FDeviceLogout.Put(a, 0);
    P.FGetMemoryWord.Put(a, 0x100, 0);
    ASSERT_TRUE(Run());
    a.Reset();
    EXPECT_EQ(a.GetResult(), 0);
    a.Next();
    EXPECT_EQ(a.GetResult(), 0xC5);
}

TEST_P(PatternsEndToEndTest, StatusesA4AndShortAnswersFromTheDrive) {
    TOvraActor& a = **Actor;
    Runner->Faults().Add("cmd=10 times=1 status=05");
    Runner->Faults().Add("cmd=88 times=1 status=A4,keepdata exec");
    Runner->Faults().Add("cmd=30 times=1 truncate=5");
    Runner->Faults().Add("cmd=25 times=1 truncate=4");
    a.Clear();
    P.FGetMemoryWord.Put(a, 0x100, 1);
    P.FGetParWithUPID.Put(a, SimHex("01 E8 03"), 2);
    P.FGetMemoryBlock.Put(a, 0x100, 8, 3);
    P.FFindInfoNode.Put(a, 0, 0, 4);
    P.FGetMemoryWord.Put(a, 0x100, 5);
    P.FGetMemoryBlock.Put(a, 0x100, 8, 6);
    ASSERT_TRUE(Run());
    a.Reset();
    EXPECT_EQ(a.GetResult(), 0x05);
    EXPECT_EQ(P.FGetMemoryWord.GetData(a), 0); // a status: the word is not taken
    a.Next();
    EXPECT_EQ(a.GetResult(), 0xA4);
    EXPECT_EQ(P.FGetParWithUPID.GetResponse(a), DeviceName()); // 0xA4 comes with its data
    a.Next();
    EXPECT_EQ(a.GetResult(), OvraResBadReply); // 3 of 8 bytes
    EXPECT_EQ(P.FGetMemoryBlock.GetData(a), "");
    a.Next();
    EXPECT_EQ(a.GetResult(), OvraResBadReply);
    EXPECT_EQ(P.FFindInfoNode.GetNodeAddr(a), 0);
    a.Next();
    EXPECT_EQ(a.GetResult(), 0);
    EXPECT_EQ(P.FGetMemoryWord.GetData(a), 0x1234);
    a.Next();
    EXPECT_EQ(a.GetResult(), 0);
    EXPECT_EQ(P.FGetMemoryBlock.GetData(a), SimHex("34 12 78 56") + Peek(0x102, 4));
}

INSTANTIATE_TEST_SUITE_P(Drives, PatternsEndToEndTest,
                         ::testing::Values(TRoute{"vx41.drive", false, "A4InProcess"},
                                           TRoute{"vx20.drive", false, "A3InProcess"},
                                           TRoute{"vx41.drive", true, "A4Rs232"},
                                           TRoute{"vx20.drive", true, "A3Rs232"}),
                         [](const ::testing::TestParamInfo<TRoute>& Info) { return std::string(Info.param.Name); });

} // namespace
