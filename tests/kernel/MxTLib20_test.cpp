// Task kernel: scheduling order, waits on signals and semaphores, timers.
#include "kernel/MxTLib20.h"
#include "platform/Exception.h"
#include "tests/support/KernelFixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

using namespace vo;
using namespace std::chrono_literals;

namespace {

class MainScheduler : public vo::test::MainSchedulerFixture {};

TEST_F(MainScheduler, EqualPriorityTasksAlternateAndPriorityZeroStarvesThem)
{
    std::string order;
    TMxTask a(*Scheduler, "A"), b(*Scheduler, "B");
    a.SetOnExecute([&](TMxTask&) { order += 'a'; });
    b.SetOnExecute([&](TMxTask&) { order += 'b'; });
    a.Start();
    b.Start();
    for (int i = 0; i < 6; ++i)
        Pump.Step();
    EXPECT_EQ(order, "ababab");

    TMxTask hog(*Scheduler, "Hog");
    int hogSteps = 0;
    hog.SetOnExecute([&](TMxTask&) { ++hogSteps; });
    hog.SetPriority(0);
    hog.Start();
    order.clear();
    for (int i = 0; i < 20; ++i)
        Pump.Step();
    EXPECT_EQ(hogSteps, 20);
    EXPECT_EQ(order, "");

    hog.Terminate();
    Pump.Step();
    Pump.Step();
    EXPECT_EQ(order, "ab");
}

TEST_F(MainScheduler, WakeUpIsPostedOnlyWhenTheReadyCountLeavesZero)
{
    TMxTask a(*Scheduler, "A"), b(*Scheduler, "B");
    const auto before = Pump.WakeUpCount();
    a.Start();
    b.Start();
    EXPECT_EQ(Pump.WakeUpCount(), before + 1);
    bool done = false;
    Scheduler->AppIdleExecute(done);
    EXPECT_FALSE(done);
}

TEST_F(MainScheduler, CreateMainNeedsTheMainScheduler)
{
    auto t = TMxTask::CreateMain("Main");
    EXPECT_EQ(&t->Scheduler(), Scheduler);
}

TEST(MainSchedulerMissing, CreateMainRaises)
{
    ASSERT_EQ(MxScheduler(), nullptr);
    try {
        TMxTask t("x");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_STREQ(e.what(), "Main Scheduler not created!");
    }
}

TEST(ThreadedScheduler, SignalSetFromAnotherThreadResumesWithSuccess)
{
    auto sched = TMxScheduler::CreateThreaded("TestSched");
    TMxSignal signal;
    std::atomic<int> phase{0};
    std::atomic<TMxExecuteInfo> info{eiAbort};
    TMxTask task(*sched, "Waiter");
    task.SetOnExecute([&](TMxTask& t) {
        if (phase == 0) {
            phase = 1;
            t.WaitFor(signal, MxInfinite);
        } else if (phase == 1) {
            info = t.ExecuteInfo();
            phase = 2;
            t.Terminate();
        }
    });
    task.Start();
    while (signal.WaitingCount() == 0)
        std::this_thread::sleep_for(1ms);
    std::thread setter([&] { signal.SetReady(true); });
    setter.join();
    for (int i = 0; i < 5000 && phase != 2; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(phase.load(), 2);
    EXPECT_EQ(info.load(), eiSuccess);
}

} // namespace
