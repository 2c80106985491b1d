// Platform threads, events, thread names, time constants, eventfd events and
// the headless main loop.
#include "platform/FdEvent.h"
#include "platform/MainLoop.h"
#include "platform/Thread.h"
#include "platform/Time.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

using namespace vo;
using namespace std::chrono_literals;

namespace {

TEST(Event, AutoResetLetsOneWaiterThroughManualResetStaysSet) {
    TEvent autoEv(false, true);
    EXPECT_TRUE(autoEv.WaitFor(0));
    EXPECT_FALSE(autoEv.WaitFor(0)); // reset by the first wait
    TEvent manual(true, false);
    EXPECT_FALSE(manual.WaitFor(10));
    manual.SetEvent();
    EXPECT_TRUE(manual.WaitFor(0));
    EXPECT_TRUE(manual.WaitFor(0));
    manual.ResetEvent();
    EXPECT_FALSE(manual.IsSet());
}

TEST(Event, SetFromAnotherThreadWakesAnInfiniteWait) {
    TEvent ev(false, false);
    std::thread t([&] {
        std::this_thread::sleep_for(10ms);
        ev.SetEvent();
    });
    EXPECT_TRUE(ev.WaitFor(TEvent::Infinite));
    t.join();
}

class NamedThread : public TThread {
public:
    ~NamedThread() override { WaitFor(); }
    std::string Seen;
    std::atomic<bool> SawTerminate{false};

protected:
    void Execute() override {
        SetCurrentThreadName("AVeryLongThreadNameIndeed");
        Seen = GetCurrentThreadName();
        while (!Terminated())
            std::this_thread::sleep_for(1ms);
        SawTerminate = true;
    }
};

TEST(Thread, RunsAfterStartIsNamedAndEndsOnTerminate) {
    NamedThread t;
    EXPECT_FALSE(t.Started());
    t.Start();
    t.Terminate();
    t.WaitFor();
    EXPECT_TRUE(t.Finished());
    EXPECT_TRUE(t.SawTerminate);
    EXPECT_EQ(t.Seen, "AVeryLongThread"); // the system keeps 15 bytes
}

class Throwing : public TThread {
public:
    ~Throwing() override { WaitFor(); }

protected:
    void Execute() override { throw std::runtime_error("boom"); }
};

TEST(Thread, AnEscapingExceptionEndsOnlyThatThread) {
    Throwing t;
    t.Start();
    t.WaitFor();
    ASSERT_TRUE(t.FatalException());
    EXPECT_THROW(std::rethrow_exception(t.FatalException()), std::runtime_error);
}

TEST(FdEvent, SetResetAndPoll) {
    TFdEvent ev;
    EXPECT_FALSE(ev.WaitFor(0));
    ev.SetEvent();
    ev.SetEvent();
    EXPECT_TRUE(ev.WaitFor(0));
    EXPECT_TRUE(ev.ResetEvent());
    EXPECT_FALSE(ev.ResetEvent()); // two sets count as one
    EXPECT_FALSE(ev.WaitFor(0));
}

TEST(TimeConstant, OverrideIsScopedAndFoundByName) {
    static TTimeConstant replyTimeout("Test.ReplyTimeout", 5000);
    EXPECT_EQ(replyTimeout.Milliseconds(), 5000);
    {
        TScopedTimeOverride fast(replyTimeout, 20);
        EXPECT_EQ(replyTimeout.Milliseconds(), 20);
        EXPECT_EQ(TTimeConstant::Find("Test.ReplyTimeout"), &replyTimeout);
    }
    EXPECT_EQ(replyTimeout.Milliseconds(), 5000);
    replyTimeout.Override(1);
    TTimeConstant::RestoreAll();
    EXPECT_EQ(replyTimeout.Milliseconds(), 5000);
    EXPECT_EQ(TTimeConstant::Find("no such constant"), nullptr);
}

TEST(SteadyTime, MillisecondsAdvance) {
    const int64_t a = SteadyMilliseconds();
    std::this_thread::sleep_for(20ms);
    const int64_t b = SteadyMilliseconds();
    EXPECT_GE(b - a, 19);
    EXPECT_LT(b - a, 5000);
}

TEST(HeadlessPump, StepsRunTheIdleHandlerAndWakeUpsEndTheSleep) {
    THeadlessPump pump;
    EXPECT_TRUE(pump.Step()); // no handler: nothing to do
    int calls = 0;
    pump.SetIdleHandler([&](bool& done) { done = ++calls >= 3; });
    EXPECT_EQ(pump.RunPending(), 3u);

    std::atomic<bool> flag{false};
    std::thread t([&] {
        std::this_thread::sleep_for(10ms);
        flag = true;
        pump.PostWakeUp();
    });
    EXPECT_TRUE(pump.RunUntil([&] { return flag.load(); }, 5000ms));
    t.join();
    EXPECT_EQ(pump.WakeUpCount(), 1u);
    EXPECT_FALSE(pump.RunUntil([] { return false; }, 10ms));
}

} // namespace
