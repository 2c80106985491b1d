// The status service against a simulated drive (RS232 over a
// pseudo-terminal, poll interval lowered): the status word and the node's
// image, a drive that stops answering and comes back, a swapped drive, the
// start, stop and blink requests, setup scripts, and a status answer the
// drive ends with 0xEC.
#include "devices/StatSrv.h"

#include "kernel/ModTree.h"
#include "tests/support/DeviceFixture.h"

#include <gtest/gtest.h>

namespace vo {
namespace {

using namespace std::chrono_literals;

class StatusServiceTest : public test::DeviceTestBase {
protected:
    TDevice& Online(SimDriveDescription Drive) {
        Attach(std::move(Drive));
        TDevice& d = NewDevice();
        EXPECT_TRUE(Start(d));
        EXPECT_EQ(d.State(), dstStarted);
        return d;
    }
    TDevice& Online() { return Online(SimLoadDrive(SimDataDir() + "/vx41.drive")); }
    bool Until(const std::function<bool()>& Pred) { return RunUntil(Pred, 10s); }

    TScopedTimeOverride Poll{StatusServicePollInterval, 100};
};

TEST_F(StatusServiceTest, ASilentDriveIsLostAndRecovered) {
    TDevice& d = Online();
    TStatusService& s = Status(d);
    EXPECT_EQ(s.MainState(), 0x8018);
    EXPECT_TRUE(s.GetOnline());
    EXPECT_TRUE(s.GetInstancePresent(0));
    EXPECT_TRUE(s.GetInstancePresent(1));
    EXPECT_FALSE(s.GetInstancePresent(2));
    EXPECT_FALSE(s.GetInstancePresent(3));
    EXPECT_EQ(d.Model().ImageIndex(), ImageStopped);

    Runner->Faults().Add("cmd=03 times=3 drop");
    ASSERT_TRUE(Until([&] { return d.DeviceType() == dtConnectionLost; }));
    EXPECT_FALSE(s.GetOnline());
    EXPECT_TRUE(s.GetCommWarning());
    EXPECT_FALSE(s.GetCommError());
    EXPECT_EQ(d.Model().ImageIndex(), ImageNoConnection);

    ASSERT_TRUE(Until([&] { return d.DeviceType() == dtOnline; }));
    EXPECT_EQ(s.MainState(), 0x8018);
    EXPECT_EQ(d.Model().ImageIndex(), ImageStopped);
    ASSERT_TRUE(Stop(d));
    EXPECT_EQ(d.State(), dstStopped);
}

TEST_F(StatusServiceTest, ASwappedDriveAsksToReconnect) {
    TDevice& d = Online();
    TStatusService& s = Status(d);
    Shell.connectionLostAnswer = TConnectionLostAnswer::Retry;
    Runner->Faults().Add("cmd=03 from=2 times=0 swapid");
    ASSERT_TRUE(Until([&] { return Shell.connectionLostMessages.size() >= 2; }));
    EXPECT_EQ(Shell.connectionLostMessages[0], "COM7: Device has changed! Please reconnect the original device.");
    EXPECT_TRUE(Trace.Contains(ansi::Fmt("%u %u %u", 0xFFFF ^ 0x3039, 0xFFFF ^ 0x0001, 0xFFFF ^ 0x1041)));
    EXPECT_EQ(d.State(), dstStarted);

    // Going offline without logout.
    Shell.connectionLostAnswer = TConnectionLostAnswer::GoOffline;
    ASSERT_TRUE(Until([&] { return s.MainState() == 0 && s.WorkState() == TStatusService::TWorkState::wsReady &&
                                !Ovra(d).DeviceOnline(); }));
    Settle(100ms);
    EXPECT_EQ(CountFrames("02"), 0u);
    EXPECT_EQ(d.Model().ImageIndex(), ImageOffline);
    // The device, now offline, still stops.
    ASSERT_TRUE(Stop(d));
    EXPECT_EQ(d.State(), dstStopped);
    EXPECT_EQ(s.ServiceStatus(), dsStopped);
}

TEST_F(StatusServiceTest, StartStopAndBlink) {
    TDevice& d = Online();
    TStatusService& s = Status(d);
    std::vector<int> images;
    s.StartDevice();
    ASSERT_TRUE(Until([&] {
        if (images.empty() || images.back() != d.Model().ImageIndex())
            images.push_back(d.Model().ImageIndex());
        return s.GetRunning();
    }));
    EXPECT_EQ(CountFrames("20"), 1u);
    EXPECT_EQ(images, (std::vector<int>{ImageStopped, ImageStarting, ImageRunning}));

    // The stop answer clears the running bit before the next status answer.
    s.StopDevice();
    ASSERT_TRUE(Until([&] { return !s.GetRunning(); }));
    EXPECT_EQ(FramesIn().back(), "21");

    s.BlinkDevice();
    ASSERT_TRUE(Until([&] { return CountFrames("05 FF FF 01") == 1; }));
    Settle(300ms);
    EXPECT_EQ(CountFrames("05 FF FF 01"), 1u);
    Runner->WithDrive([](SimDrive& drive) { EXPECT_EQ(drive.EventCount("blink"), 1u); });
}

TEST_F(StatusServiceTest, NoStartWithoutExecutableFirmware) {
    SimDriveDescription drive = SimLoadDrive(SimDataDir() + "/vx41.drive");
    for (auto& i : drive.drive.Instances())
        i.present = false;
    SimNodeFields f; // the program node becomes a node of another kind
    f.fileType = 9;
    drive.drive.Poke(0x8000, SimBuildInfoNode(f, 0x41, 2));
    TDevice& d = Online(std::move(drive));
    EXPECT_EQ(Modules(d).GetStrVar("ProgramStartAddr"), "");
    Status(d).StartDevice();
    ASSERT_TRUE(Until([&] { return Prompt.Count() == 1; }));
    EXPECT_EQ(Prompt.Texts()[0], LangText("StatusSrv_No_Firmware"));
    EXPECT_TRUE(Trace.Contains("There is not executable firmware on the drive!"));
    Settle(300ms);
    EXPECT_EQ(CountFrames("20"), 0u);
    EXPECT_EQ(Prompt.Count(), 1u);
}

TEST_F(StatusServiceTest, SetupRunsTheLoadScriptAndRefusesOtherFiles) {
    TDevice& d = Online();
    TStatusService& s = Status(d);
    s.SetupDevice("Firmware\\x.gr3", false);
    ASSERT_TRUE(Until([&] { return !s.SetupRequest() && Trace.Contains("Load on device: " + d.Name()); }));
    EXPECT_TRUE(Trace.Contains("Load: Firmware\\x.gr3"));

    s.SetupDevice("x.txt", false);
    const size_t polls = CountFrames("03 00");
    ASSERT_TRUE(Until([&] { return CountFrames("03 00") > polls + 2; }));
    EXPECT_FALSE(s.SetupRequest());
    size_t refusals = 0;
    for (const auto& l : Trace.Lines())
        refusals += l.find("TStatusService.Setup: unknown file extension .TXT") != std::string::npos;
    EXPECT_EQ(refusals, 1u);
}

TEST_F(StatusServiceTest, AStopWhileARequestIsOutWaitsForItsAnswer) {
    TDevice& d = Online();
    TStatusService& s = Status(d);
    Runner->Faults().Add("cmd=03 times=1 delay=300");
    ASSERT_TRUE(Until([&] { return s.WorkState() == TStatusService::TWorkState::wsWait; }));
    ASSERT_TRUE(Stop(d));
    EXPECT_EQ(d.State(), dstStopped);
    EXPECT_EQ(s.ServiceStatus(), dsStopped);
}

TEST_F(StatusServiceTest, AnAnswerEndedWithECKeepsThePollingGoing) {
    TDevice& d = Online();
    TStatusService& s = Status(d);
    Runner->Faults().Add("cmd=03 times=1 status=EC");
    const size_t polls = CountFrames("03 00");
    ASSERT_TRUE(Until([&] { return CountFrames("03 00") > polls + 2; }));
    EXPECT_EQ(d.DeviceType(), dtOnline);
    EXPECT_EQ(s.MainState(), 0x8018);
    ASSERT_TRUE(Stop(d));
    EXPECT_EQ(d.State(), dstStopped);
    EXPECT_EQ(s.ServiceStatus(), dsStopped);
}

} // namespace
} // namespace vo
