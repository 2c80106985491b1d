// The simulator at work on its own thread, reached through the in-process
// link: answers at their due time, every fault rule end to end, the
// transcript. A manual clock stands in for seconds of waiting.
#include "tools/drivesim/SimRunner.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace vo {
namespace {

using namespace std::chrono_literals;

SimDrive TestDrive() {
    SimIdentity id;
    id.protocolVersion = 0x41;
    id.addrFieldSize = 4;
    id.dataFieldSize = 2;
    id.deviceString = "RUNNER";
    SimDrive d(id);
    d.AddRegion("RAM", SimRegionKind::Ram, 0, 0x1000);
    d.Poke(0x100, SimHex("34 12"));
    d.SetRequireLogin(false);
    return d;
}

// The master's end of an in-process link: collects what the drive sends.
class Master {
public:
    explicit Master(SimRunner& runner, std::string name = "inproc") : link_(runner, "inproc", std::move(name)) {
        // The sink runs on the simulator's thread.
        link_.SetSink([this](std::string_view frame) {
            std::lock_guard lock(mutex_);
            frames_.emplace_back(frame);
            cv_.notify_all();
        });
    }
    void Send(const char* hex) { link_.Send(SimHex(hex)); }
    // The next frame the drive sent, as hex; "" when none came in time.
    std::string Next(std::chrono::milliseconds timeout = 2s) {
        std::unique_lock lock(mutex_);
        if (!cv_.wait_for(lock, timeout, [&] { return !frames_.empty(); })) return "";
        std::string f = SimToHex(frames_.front());
        frames_.pop_front();
        return f;
    }
    bool Quiet(std::chrono::milliseconds time = 50ms) { return Next(time).empty(); }
    SimFrameLink& Link() { return link_; }

private:
    std::mutex mutex_;
    std::condition_variable cv_;
    std::deque<SimBytes> frames_;
    SimFrameLink link_; // last: it goes first, before what its sink uses
};

struct ManualRig {
    std::shared_ptr<SimManualClock> clock = std::make_shared<SimManualClock>();
    SimRunner runner{TestDrive(), clock};
    Master master{runner};
    ManualRig() { runner.Start(); }
    // Waits until the runner has taken the n-th request in.
    void Arrived(size_t n) {
        ASSERT_TRUE(runner.Transcript().WaitForFrames(SimDirection::In, n, 2s));
    }
};

TEST(SimRunner, AnswersThroughTheInProcessLinkAndRecordsBothWays) {
    SimRunner runner(TestDrive());
    Master m(runner);
    runner.Start();
    m.Send("10 00 01 00 00");
    EXPECT_EQ(m.Next(), "10 00 34 12");
    m.Send("02");
    EXPECT_EQ(m.Next(), "02 00");
    auto t = runner.Transcript().Entries();
    ASSERT_EQ(t.size(), 4u);
    EXPECT_EQ(t[0].direction, SimDirection::In);
    EXPECT_EQ(t[0].medium, "inproc");
    EXPECT_EQ(t[0].master, "inproc");
    EXPECT_EQ(t[0].frame, SimHex("10 00 01 00 00"));
    EXPECT_EQ(t[1].direction, SimDirection::Out);
    EXPECT_EQ(t[1].frame, SimHex("10 00 34 12"));
    EXPECT_LE(t[0].timeMs, t[1].timeMs);
    EXPECT_EQ(runner.Transcript().Frames(SimDirection::Out).back(), SimHex("02 00"));
    EXPECT_NE(t[1].Format().find("inproc <- 10 00 34 12"), std::string::npos);
}

TEST(SimRunner, DelayBeyondTheTimeOutWithoutWaitingForIt) {
    ManualRig rig;
    rig.runner.Faults().Add("cmd=10 delay=2500");
    rig.master.Send("10 00 01 00 00");
    rig.Arrived(1);
    rig.clock->Advance(1999);
    EXPECT_TRUE(rig.master.Quiet());
    rig.clock->Advance(501);
    EXPECT_EQ(rig.master.Next(), "10 00 34 12");
    auto out = rig.runner.Transcript().Entries().back();
    EXPECT_EQ(out.timeMs, 2500);
    EXPECT_EQ(out.note, "delay");
}

TEST(SimRunner, WaitLongerThenTheAnswer) {
    ManualRig rig;
    rig.runner.Faults().Add("cmd=10 waitlonger=5,every=4000");
    rig.runner.Faults().Add("cmd=10 from=2 waitlonger,every=26000");
    rig.master.Send("10 00 01 00 00");
    EXPECT_EQ(rig.master.Next(), "10 01 05");
    EXPECT_TRUE(rig.master.Quiet());
    rig.clock->Advance(4000);
    EXPECT_EQ(rig.master.Next(), "10 00 34 12");

    rig.master.Send("10 00 01 00 00"); // the second one: the short form
    EXPECT_EQ(rig.master.Next(), "10 01");
    rig.clock->Advance(25999);
    EXPECT_TRUE(rig.master.Quiet());
    rig.clock->Advance(1);
    EXPECT_EQ(rig.master.Next(), "10 00 34 12");
}

TEST(SimRunner, DroppedAnswerStillCarriesTheRequestOut) {
    ManualRig rig;
    rig.runner.Faults().Add("cmd=11 drop");
    rig.runner.Faults().Add("cmd=11 from=2 noexec drop");
    rig.master.Send("11 00 02 00 00 AA 55");
    rig.master.Send("11 00 03 00 00 AA 55");
    rig.master.Send("03 00");
    EXPECT_EQ(rig.master.Next().substr(0, 5), "03 00");
    EXPECT_TRUE(rig.master.Quiet());
    rig.runner.WithDrive([](SimDrive& d) {
        EXPECT_EQ(d.Peek(0x200, 2), SimHex("AA 55")); // the first write happened
        EXPECT_EQ(d.Peek(0x300, 2), SimHex("00 00")); // the second was never heard
    });
    auto t = rig.runner.Transcript().Entries();
    ASSERT_GE(t.size(), 2u);
    EXPECT_EQ(t[1].direction, SimDirection::Withheld);
    EXPECT_EQ(t[1].frame, SimHex("11 00"));
    EXPECT_NE(t[2].note.find("not executed"), std::string::npos);
}

TEST(SimRunner, DuplicatesUnsolicitedFramesEchoTruncationAndStatus) {
    ManualRig rig;
    auto& faults = rig.runner.Faults();
    faults.Add("cmd=10 duplicate=100");
    faults.Add("cmd=30 unsolicited=04:01:02,before");
    faults.Add("cmd=03 echo=13");
    faults.Add("cmd=05 truncate=1");
    faults.Add("cmd=11 status=B3");
    faults.Add("cmd=21 status=EC");
    rig.master.Send("10 00 01 00 00");
    EXPECT_EQ(rig.master.Next(), "10 00 34 12");
    rig.clock->Advance(100);
    EXPECT_EQ(rig.master.Next(), "10 00 34 12");
    rig.master.Send("30 00 01 00 00 02");
    EXPECT_EQ(rig.master.Next(), "04 01 02");
    EXPECT_EQ(rig.master.Next(), "30 00 34 12");
    rig.master.Send("03 00");
    EXPECT_EQ(rig.master.Next().substr(0, 5), "13 00");
    rig.master.Send("05 FF FF 01");
    EXPECT_EQ(rig.master.Next(), "05");
    rig.master.Send("11 00 01 00 00 00 00");
    EXPECT_EQ(rig.master.Next(), "11 B3");
    rig.master.Send("21");
    EXPECT_EQ(rig.master.Next(), "21 EC");
    rig.runner.WithDrive([](SimDrive& d) {
        EXPECT_EQ(d.Peek(0x100, 2), SimHex("34 12")); // the refused write did nothing
        EXPECT_EQ(d.EventCount("stop"), 0u);
    });
}

TEST(SimRunner, DriveSendsOnItsOwn) {
    ManualRig rig;
    rig.runner.SendUnsolicited(rig.master.Link(), "inproc", SimHex("04 00 01"), 300);
    EXPECT_TRUE(rig.master.Quiet());
    rig.clock->Advance(300);
    EXPECT_EQ(rig.master.Next(), "04 00 01");
    EXPECT_EQ(rig.runner.Transcript().Entries().back().note, "unsolicited");
}

TEST(SimRunner, AnswersInArrivalOrderAtEqualTimes) {
    ManualRig rig;
    rig.runner.Faults().Add("cmd=10 delay=10");
    rig.master.Send("10 00 01 00 00");
    rig.master.Send("03 00");
    rig.Arrived(2);
    // The status request came later but is answered at once; the delayed word
    // follows when its time comes.
    EXPECT_EQ(rig.master.Next().substr(0, 5), "03 00");
    rig.clock->Advance(10);
    EXPECT_EQ(rig.master.Next(), "10 00 34 12");
}

TEST(SimRunner, DetachedLinkGetsNothingMore) {
    auto clock = std::make_shared<SimManualClock>();
    SimRunner runner(TestDrive(), clock);
    runner.Start();
    Master stays(runner, "a");
    {
        Master leaves(runner, "b");
        runner.Faults().Add("delay=100 times=0");
        leaves.Send("03 00");
        ASSERT_TRUE(runner.Transcript().WaitForFrames(SimDirection::In, 1, 2s));
    } // the link goes before its answer is due
    stays.Send("03 00");
    ASSERT_TRUE(runner.Transcript().WaitForFrames(SimDirection::In, 2, 2s));
    clock->Advance(100);
    EXPECT_EQ(stays.Next().substr(0, 5), "03 00");
    EXPECT_TRUE(stays.Quiet());
    EXPECT_EQ(runner.Transcript().Frames(SimDirection::Out).size(), 1u);
}

TEST(SimRunner, DescriptionBringsItsDelaysAndFaults) {
    auto clock = std::make_shared<SimManualClock>();
    SimRunner runner(SimParseDrive(R"(
        [identity]
        require_login = no
        [delays]
        default = 5
        0x27 = 3000
        [faults]
        rule = cmd=03 status=EC
    )"),
                     clock);
    Master m(runner);
    runner.Start();
    m.Send("03 00");
    EXPECT_TRUE(m.Quiet());
    clock->Advance(5);
    EXPECT_EQ(m.Next(), "03 EC");
    m.Send("27");
    ASSERT_TRUE(runner.Transcript().WaitForFrames(SimDirection::In, 2, 2s));
    clock->Advance(2999);
    EXPECT_TRUE(m.Quiet());
    clock->Advance(1);
    EXPECT_EQ(m.Next(), "27 00");
}

TEST(SimTranscript, KeepsTheNewestEntriesWhenCapped) {
    SimTranscript t;
    t.SetCapacity(10);
    for (int i = 0; i < 100; ++i) t.Add(SimTranscriptEntry{i, "m", SimDirection::In, "x", SimBytes(1, char(i)), {}, {}});
    auto e = t.Entries();
    EXPECT_GE(e.size(), 10u);
    EXPECT_LE(e.size(), 12u);
    EXPECT_EQ(e.back().timeMs, 99);
    EXPECT_EQ(e.front().timeMs, 100 - int64_t(e.size()));
}

TEST(SimRunner, ManyMastersOnManyThreads) {
    // Each master logs in in turn; the drive serves one owner at a time, so
    // requests of the others are refused with 0xB3 and none is lost.
    SimDrive d = TestDrive();
    d.SetRequireLogin(true);
    SimRunner runner(std::move(d));
    runner.Start();
    constexpr int kThreads = 4, kRequests = 50;
    std::vector<std::unique_ptr<Master>> masters;
    for (int i = 0; i < kThreads; ++i) masters.push_back(std::make_unique<Master>(runner, "m" + std::to_string(i)));
    std::vector<int> answered(kThreads), refused(kThreads), ownerRefused(kThreads);
    std::vector<std::thread> threads;
    for (int i = 0; i < kThreads; ++i) {
        threads.emplace_back([&, i] {
            for (int k = 0; k < kRequests; ++k) {
                masters[size_t(i)]->Send("01");
                std::string login = masters[size_t(i)]->Next();
                masters[size_t(i)]->Send("10 00 01 00 00");
                std::string word = masters[size_t(i)]->Next();
                bool owner = login.substr(0, 5) == "01 00";
                if (word == "10 00 34 12")
                    ++answered[size_t(i)];
                else if (word == "10 B3" || word == "10 C5")
                    ++refused[size_t(i)];
                if (owner && word != "10 00 34 12") ++ownerRefused[size_t(i)];
                if (owner) {
                    masters[size_t(i)]->Send("02");
                    masters[size_t(i)]->Next();
                }
            }
        });
    }
    for (auto& t : threads) t.join();
    for (int i = 0; i < kThreads; ++i) {
        EXPECT_EQ(answered[size_t(i)] + refused[size_t(i)], kRequests) << i;
        EXPECT_EQ(ownerRefused[size_t(i)], 0) << i;
    }
    runner.Stop();
}

} // namespace
} // namespace vo
