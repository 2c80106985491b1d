// The parameter service end to end: the login read of the sample drive over a
// pseudo-terminal, writes by UPID, refused and failed telegrams, the stop
// prompt for a running drive, and the offline start from defaults.
#include "tests/parameters/ParLoginFixture.h"

#include "parameters/PtDir.h"
#include "parameters/PtInt.h"
#include "parameters/PtRadio.h"

#include <gtest/gtest.h>

namespace vo {
namespace {

class ParLoginTest : public test::ParLoginTestBase {};

// The read frame the service sends for a node.
std::string ReadFrame(const TParameter& P) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "88 %02X %02X %02X", (P.AddrUsage() & AddrRomRead) ? 0 : 1, P.UPID() & 0xFF,
                  (P.UPID() >> 8) & 0xFF);
    return buf;
}

TEST_F(ParLoginTest, TheLoginReadsEveryValueOnceInTreeOrder) {
    Attach("vx41.drive");
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    ASSERT_EQ(d.State(), dstStarted) << (Prompt.Texts().empty() ? "" : Prompt.Texts()[0]);
    TParameterService& s = Params(d);
    EXPECT_EQ(s.ServiceStatus(), dsStarted);
    ASSERT_EQ(s.GetTreeCount(), 2);

    // One read per node below 0xFFFF with a read bit, pre-order, sub-command
    // 00 with ROM read, else 01; nothing for directories and radio children.
    // (Texts are read by block telegrams on this drive.)
    std::vector<std::string> expected;
    int values = 0;
    s.ForEachParameter([&](TParameter& P, bool&) {
        if (P.UPID() < 0xFFFF && (P.AddrUsage() & (AddrRomRead | AddrRamRead)) && P.TypeStr() != "String" &&
            P.TypeStr() != "CapDir" && !dynamic_cast<TRadioChildParameter*>(&P)) {
            expected.push_back(ReadFrame(P));
            ++values;
        }
    });
    EXPECT_EQ(ParameterFrames(), expected);
    EXPECT_GE(values, 10);
    EXPECT_EQ(CountFrames("88 00 00 10"), 1u); // Max Current: ROM read
    EXPECT_EQ(CountFrames("88 01 03 10"), 1u); // Current Offset: RAM only

    // Values from the drive's table (the descriptions' defaults unless the
    // drive file overrides them).
    EXPECT_EQ(s.FindParameterWithDeviceUPID(0x1000)->GetIntValue(), 16);
    EXPECT_EQ(s.FindParameterWithDeviceUPID(0x1001)->GetIntValue(), 1000000);
    EXPECT_EQ(s.FindParameterWithDeviceUPID(0x1004)->GetIntValue(), -2);
    EXPECT_TRUE(s.FindParameterWithDeviceUPID(0x1234)->GetValid());
    EXPECT_EQ(s.GetClassList().size(), 1u);
    EXPECT_NE(s.FindClassRoot("Motor"), nullptr);

    // The login window: a blank line, "Read parameter values", then one line
    // per tree with a dot per 16 values.
    auto& lines = LoginInfo.Lines;
    auto at = std::find(lines.begin(), lines.end(), " Read parameter values");
    ASSERT_NE(at, lines.end());
    ASSERT_GE(lines.end() - at, 3);
    EXPECT_EQ(at[1], "Tree name: VxMotion_Std_V1S2 .");
    EXPECT_EQ(at[2], "Tree name: VxIntf_Std_V1S1");
    EXPECT_TRUE(Prompt.Texts().empty());
}

TEST_F(ParLoginTest, WritesCarryTheSubCommandOfTheAddressUsage) {
    Attach("vx41.drive");
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    TParameterService& s = Params(d);
    const size_t before = ParameterFrames().size();

    // 0x1234: RAM and ROM write (sub 02); 0x1235: RAM write (01); 0x1236: ROM write (00).
    ASSERT_TRUE(Write(s, 0x1234, "$0102"));
    ASSERT_TRUE(Write(s, 0x1235, "$0304"));
    ASSERT_TRUE(Write(s, 0x1236, "$0506"));
    const std::vector<std::string> all = ParameterFrames();
    const std::vector<std::string> frames(all.begin() + static_cast<std::ptrdiff_t>(before), all.end());
    EXPECT_EQ(frames, (std::vector<std::string>{"89 02 34 12 02 01", "89 01 35 12 04 03", "89 00 36 12 06 05"}));
    EXPECT_EQ(s.FindParameterWithDeviceUPID(0x1234)->GetIntValue(), 0x0102);
    EXPECT_TRUE(s.WriteFailures().empty());
    Runner->WithDrive([](SimDrive& D) {
        EXPECT_EQ(SimToHex(D.FindParameter(0x1234)->ram), "02 01");
        EXPECT_EQ(SimToHex(D.FindParameter(0x1235)->ram), "04 03");
        EXPECT_EQ(SimToHex(D.FindParameter(0x1236)->rom), "06 05");
        return 0;
    });
    EXPECT_EQ(s.State(), TParameterServiceState::stReady);
}

TEST_F(ParLoginTest, ARefusedWriteKeepsTheOldValueAndIsReported) {
    Attach("vx41.drive");
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    TParameterService& s = Params(d);
    Runner->Faults().Add("cmd=89 upid=1234 status=C8");
    ASSERT_TRUE(Write(s, 0x1234, "$0102"));
    TParameter& p = *s.FindParameterWithDeviceUPID(0x1234);
    EXPECT_EQ(p.GetIntValue(), 0);
    ASSERT_EQ(s.WriteFailures().size(), 1u);
    EXPECT_EQ(s.WriteFailures()[0].Node, &p);
    EXPECT_EQ(s.WriteFailures()[0].Result, 0xC8);
    EXPECT_FALSE(p.GetAttrFlag(AttrWriteQueued));
    // The next write goes through.
    ASSERT_TRUE(Write(s, 0x1234, "$0102"));
    EXPECT_EQ(p.GetIntValue(), 0x0102);
    EXPECT_TRUE(s.WriteFailures().empty());
}

TEST_F(ParLoginTest, AnUnknownUPIDAtLoginAsksAbortOrIgnore) {
    struct Case {
        TModalResult answer;
        TDeviceState state;
    };
    for (const Case& c : {Case{mrAbort, dstError}, Case{mrIgnore, dstStarted}}) {
        SCOPED_TRACE(c.answer);
        SimDriveDescription drive = SimLoadDrive(SimDataDir() + "/vx41.drive");
        Attach(std::move(drive));
        Runner->Faults().Add("cmd=88 upid=1234 status=C0");
        Prompt.Clear();
        Prompt.Answer(c.answer);
        TDevice& d = NewDevice();
        ASSERT_TRUE(Start(d));
        EXPECT_EQ(d.State(), c.state);
        ASSERT_FALSE(Prompt.Texts().empty());
        EXPECT_EQ(Prompt.Texts()[0], "UPID = 1234h does not exist!");
        if (c.state == dstStarted) {
            EXPECT_FALSE(Params(d).FindParameterWithDeviceUPID(0x1234)->GetValid());
            EXPECT_TRUE(Params(d).FindParameterWithDeviceUPID(0x1235)->GetValid());
        } else {
            EXPECT_EQ(Params(d).ServiceStatus(), dsError);
        }
        Manager->DestroyDevice(d);
        Line.reset();
        Runner.reset();
    }
}

TEST_F(ParLoginTest, ALoginReadIsTriedThreeTimes) {
    for (int failures : {2, 3}) {
        SCOPED_TRACE(failures);
        Attach("vx41.drive");
        Runner->Faults().Add("cmd=88 upid=1000 times=" + std::to_string(failures) + " status=C2");
        TDevice& d = NewDevice();
        ASSERT_TRUE(Start(d));
        EXPECT_EQ(CountFrames("88 00 00 10"), 3u);
        if (failures == 2) {
            EXPECT_EQ(d.State(), dstStarted);
            EXPECT_EQ(Params(d).FindParameterWithDeviceUPID(0x1000)->GetIntValue(), 16);
        } else {
            EXPECT_EQ(d.State(), dstError);
            EXPECT_EQ(Params(d).ServiceStatus(), dsError);
        }
        Manager->DestroyDevice(d);
        Line.reset();
        Runner.reset();
    }
}

TEST_F(ParLoginTest, ARunningDriveIsStoppedBeforeANonLiveWrite) {
    Attach("vx41.drive");
    TDevice& d = NewDevice();
    ASSERT_TRUE(Start(d));
    TParameterService& s = Params(d);
    Runner->WithDrive([](SimDrive& D) {
        D.SetRunning(true);
        return 0;
    });
    ASSERT_TRUE(RunUntil([&] { return Status(d).GetRunning(); }, std::chrono::seconds(5)));

    // A live node (Current Offset, 0x0103) is written at once.
    ASSERT_TRUE(Write(s, 0x1003, "5", "DEC"));
    EXPECT_EQ(CountFrames("89 01 03 10 05 00"), 1u);
    EXPECT_EQ(Prompt.Count(), 0u);

    // Cancel: nothing is sent, the write mark is gone, a later change queues again.
    Prompt.Answer(mrCancel);
    ASSERT_TRUE(Write(s, 0x1000, "$20"));
    ASSERT_EQ(Prompt.Count(), 1u);
    EXPECT_EQ(CountFrames("21"), 0u);
    EXPECT_EQ(CountFrames("89 02 00 10 20 00"), 0u);
    TParameter& p = *s.FindParameterWithDeviceUPID(0x1000);
    EXPECT_FALSE(p.GetAttrFlag(AttrWriteQueued));
    EXPECT_EQ(p.GetIntValue(), 16);

    // Yes: the drive is stopped, then the value is written.
    Prompt.Answer(mrYes);
    ASSERT_TRUE(Write(s, 0x1000, "$20"));
    EXPECT_EQ(CountFrames("21"), 1u);
    EXPECT_EQ(CountFrames("89 02 00 10 20 00"), 1u);
    EXPECT_EQ(p.GetIntValue(), 0x20);
    EXPECT_FALSE(Status(d).GetRunning());
}

TEST_F(ParLoginTest, OfflineNodesTakeTheirDefaultsWithoutTelegrams) {
    TDevice& d = NewDevice("VelkorOffline");
    d.SetStrVar("ConfigFile", RealPathToStored(DataPath("Configs/VX41-Sample.vkc")));
    ASSERT_TRUE(Start(d));
    ASSERT_EQ(d.State(), dstStarted) << (Prompt.Texts().empty() ? "" : Prompt.Texts()[0]);
    TParameterService& s = Params(d);
    EXPECT_EQ(s.FindParameterWithDeviceUPID(0x1000)->GetIntValue(), 16);
    EXPECT_EQ(s.FindParameterWithDeviceUPID(0x1004)->GetIntValue(), -2);
    EXPECT_EQ(s.FindParameterWithDeviceUPID(0x1235)->GetIntValue(), 255);
    // A write commits at once.
    ASSERT_TRUE(Write(s, 0x1000, "$30"));
    EXPECT_EQ(s.FindParameterWithDeviceUPID(0x1000)->GetIntValue(), 0x30);
}

} // namespace
} // namespace vo
