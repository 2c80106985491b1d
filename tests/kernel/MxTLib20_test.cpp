// Task kernel: scheduling order, waits on signals and semaphores, the task
// state machine and its errors, timers, and races with the timer thread.
#include "kernel/MxTLib20.h"
#include "platform/Exception.h"
#include "tests/support/KernelFixtures.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

using namespace vo;
using namespace std::chrono_literals;

namespace {

// A task that records each step's execute info and runs a script of actions,
// one per step.
struct ScriptedTask {
    ScriptedTask(TMxScheduler& s, const char* caption) : Task(s, caption) {
        Task.SetOnExecute([this](TMxTask& t) {
            Infos.push_back(t.ExecuteInfo());
            if (Steps.size() > Step)
                Steps[Step++](t);
        });
    }
    TMxTask Task;
    std::vector<std::function<void(TMxTask&)>> Steps;
    size_t Step = 0;
    std::vector<TMxExecuteInfo> Infos;
};

class MainScheduler : public vo::test::MainSchedulerFixture {};

// ------------------------------------------------------------ scheduling

TEST_F(MainScheduler, EqualPriorityTasksAlternateAndPriorityZeroStarvesThem) {
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

TEST_F(MainScheduler, WakeUpIsPostedOnlyWhenTheReadyCountLeavesZero) {
    TMxTask a(*Scheduler, "A"), b(*Scheduler, "B");
    a.SetOnExecute([](TMxTask& t) { t.Terminate(); });
    b.SetOnExecute([](TMxTask& t) { t.Terminate(); });
    const auto before = Pump.WakeUpCount();
    a.Start();
    b.Start();
    EXPECT_EQ(Pump.WakeUpCount(), before + 1);
    EXPECT_FALSE(Pump.Step()); // b still ready
    EXPECT_TRUE(Pump.Step()); // none ready: the loop may sleep
    a.Start();
    EXPECT_EQ(Pump.WakeUpCount(), before + 2);
    Pump.RunPending();
}

TEST_F(MainScheduler, NestedIdleCallDuringAStepDoesNothing) {
    int steps = 0, nested = 0;
    TMxTask a(*Scheduler, "A"), b(*Scheduler, "B");
    a.SetOnExecute([&](TMxTask&) {
        ++steps;
        bool done = false;
        Scheduler->AppIdleExecute(done); // as a message box would pump
        EXPECT_FALSE(done);
    });
    b.SetOnExecute([&](TMxTask&) { ++nested; });
    a.Start();
    b.Start();
    Pump.Step();
    EXPECT_EQ(steps, 1);
    EXPECT_EQ(nested, 0);
}

TEST_F(MainScheduler, CreateMainUsesTheMainSchedulerAndASecondOneIsRefused) {
    auto t = TMxTask::CreateMain("Main");
    EXPECT_EQ(&t->Scheduler(), Scheduler);
    EXPECT_EQ(test::ExceptionText([&] { MxCreateMainScheduler(Pump); }),
              "MxCreateMainScheduler: main scheduler already created");
}

TEST(MainSchedulerMissing, CreateMainRaises) {
    ASSERT_EQ(MxScheduler(), nullptr);
    EXPECT_EQ(test::ExceptionText([] { TMxTask t("x"); }), "Main Scheduler not created!");
}

// ------------------------------------------------------------ state machine and errors

TEST_F(MainScheduler, StateErrorsCarryTheirTexts) {
    vo::test::CapturedTrace trace;
    TMxTask t(*Scheduler, "Worker");
    EXPECT_EQ(t.State(), tsCreated);
    EXPECT_EQ(t.Priority(), 2);
    EXPECT_EQ(test::ExceptionText([&] { t.Terminate(); }), "Task Terminate Error: Actual State = Created");
    EXPECT_EQ(test::ExceptionText([&] { t.SetPriority(5); }), "Invalid Priority Value");
    EXPECT_EQ(test::ExceptionText([&] { t.Sleep(10); }), "Task Sleep Error");
    EXPECT_TRUE(trace.Contains("[0000] ***INFO: Task Sleep Error"));
    t.Kill(); // created: unchanged
    EXPECT_EQ(t.State(), tsCreated);

    t.Start();
    EXPECT_EQ(test::ExceptionText([&] { t.Start(); }), "Can not start task");
    EXPECT_EQ(test::ExceptionText([&] { t.SetPriority(1); }), "Task Set Priority Error");
    t.Terminate();
    EXPECT_EQ(t.State(), tsTerminated);
    EXPECT_EQ(test::ExceptionText([&] { t.Terminate(); }), "Task Terminate Error: Actual State = Terminated");
    t.Kill(); // terminated: unchanged
    t.SetPriority(4);
    t.Start(); // a terminated task starts again
    EXPECT_TRUE(t.IsReady());
    EXPECT_EQ(Scheduler->TaskCount(), 1);
}

TEST_F(MainScheduler, WaitingOnASecondControlWhileSuspendedIsRefused) {
    TMxSignal s1, s2;
    TMxTask t(*Scheduler, "Twice");
    t.Start();
    t.WaitFor(s1, MxInfinite);
    EXPECT_EQ(test::ExceptionText([&] { t.WaitFor(s2, MxInfinite); }), "Task Suspend Error! Actual State = Suspended Twice");
    EXPECT_EQ(s1.WaitingCount(), 1);
    EXPECT_EQ(s2.WaitingCount(), 0);
}

TEST_F(MainScheduler, StepExceptionsAreLoggedWithTheCaptionAndTheSchedulerGoesOn) {
    vo::test::CapturedTrace trace;
    int other = 0;
    TMxTask bad(*Scheduler, "Bad"), worse(*Scheduler, "Worse"), good(*Scheduler, "Good");
    bad.SetOnExecute([](TMxTask&) { throw Exception("it failed"); });
    worse.SetOnExecute([](TMxTask&) { throw std::logic_error("not ours"); });
    good.SetOnExecute([&](TMxTask&) { ++other; });
    bad.Start();
    worse.Start();
    good.Start();
    for (int i = 0; i < 6; ++i)
        Pump.Step();
    EXPECT_EQ(other, 2);
    EXPECT_TRUE(bad.IsReady()); // stays in whatever state its handler left it
    EXPECT_FALSE(bad.IsActive());
    EXPECT_TRUE(trace.Contains("[0000] ***INFO: it failed - Bad"));
    EXPECT_TRUE(trace.Contains("[0002] ***ERROR: not ours - Worse"));
}

TEST_F(MainScheduler, SignalsAreHandedToOnSignalBeforeTheStep) {
    std::string log;
    TMxTask t(*Scheduler, "Sig");
    t.SetOnSignal([&](TMxTask& s) { log += "signal(" + std::to_string(s.Signal.count()) + ")"; });
    t.SetOnExecute([&](TMxTask&) { log += "step"; });
    t.Signal.set(7);
    t.Signal.set(255);
    t.Start();
    Pump.Step();
    Pump.Step();
    EXPECT_EQ(log, "signal(2)stepstep");
}

// ------------------------------------------------------------ signals

TEST_F(MainScheduler, SignalWaitsDecideAtOnceOrSuspend) {
    TMxSignal signal;
    ScriptedTask t(*Scheduler, "T");
    t.Steps = {
        [&](TMxTask& x) { x.WaitFor(signal, MxNoWait); },
        [&](TMxTask& x) { x.WaitFor(signal, MxInfinite); },
        [&](TMxTask& x) { x.Terminate(); },
    };
    t.Task.Start();
    Pump.Step();
    EXPECT_TRUE(t.Task.IsReady());
    EXPECT_EQ(t.Task.ExecuteInfo(), eiUnavailable);
    Pump.Step();
    EXPECT_EQ(t.Task.State(), tsSuspended);
    EXPECT_EQ(t.Task.Suspender(), &signal);
    EXPECT_FALSE(t.Task.Timer().Pending()); // no time limit, no timer
    EXPECT_TRUE(Pump.Step()); // nothing ready
    signal.SetReady(true);
    Pump.RunPending();
    ASSERT_EQ(t.Infos.size(), 3u);
    EXPECT_EQ(t.Infos[2], eiSuccess);
}

TEST_F(MainScheduler, SetReadyResumesAllWaitersInOrderAndStaysReady) {
    TMxSignal signal;
    std::string order;
    std::vector<std::unique_ptr<TMxTask>> tasks;
    for (char c : std::string("xyz")) {
        auto t = std::make_unique<TMxTask>(*Scheduler, std::string(1, c));
        t->SetOnExecute([&signal, &order, c, first = true](TMxTask& self) mutable {
            if (first) {
                first = false;
                self.WaitFor(signal, MxInfinite);
                return;
            }
            order += c;
            order += self.ExecuteInfo() == eiSuccess ? "+" : "-";
            self.Terminate();
        });
        tasks.push_back(std::move(t));
    }
    for (auto& t : tasks)
        t->Start();
    Pump.RunPending();
    EXPECT_EQ(signal.WaitingCount(), 3);
    signal.SetReady(true);
    Pump.RunPending();
    EXPECT_EQ(order, "x+y+z+");

    // A fourth waiter continues at once until the signal is cleared.
    TMxTask fourth(*Scheduler, "w");
    fourth.Start();
    fourth.WaitFor(signal, 1000);
    EXPECT_TRUE(fourth.IsReady());
    EXPECT_EQ(fourth.ExecuteInfo(), eiSuccess);
    signal.SetReady(false);
    fourth.WaitFor(signal, MxInfinite);
    EXPECT_EQ(fourth.State(), tsSuspended);
}

TEST_F(MainScheduler, DestroyedOrResetSignalResumesWaitersWithReset) {
    auto signal = std::make_unique<TMxSignal>();
    TMxTask a(*Scheduler, "A"), b(*Scheduler, "B");
    a.Start();
    b.Start();
    a.WaitFor(*signal, 100000);
    b.WaitFor(*signal, MxInfinite);
    signal.reset();
    EXPECT_TRUE(a.IsReady());
    EXPECT_TRUE(b.IsReady());
    EXPECT_EQ(a.ExecuteInfo(), eiReset);
    EXPECT_EQ(b.ExecuteInfo(), eiReset);
    EXPECT_FALSE(a.Timer().Pending());

    TMxSignal other;
    a.WaitFor(other, MxInfinite);
    other.Reset();
    EXPECT_EQ(a.ExecuteInfo(), eiReset);
    EXPECT_EQ(other.WaitingCount(), 0);
}

TEST_F(MainScheduler, ReleaseTaskAbortsTheWaitAndRefusesATaskThatDoesNotWait) {
    TMxSignal signal;
    TMxTask t(*Scheduler, "T");
    t.Start();
    EXPECT_EQ(test::ExceptionText([&] { signal.ReleaseTask(t); }), "Release Task Error");
    t.WaitFor(signal, MxInfinite);
    signal.ReleaseTask(t);
    EXPECT_TRUE(t.IsReady());
    EXPECT_EQ(t.ExecuteInfo(), eiAbort);
}

TEST_F(MainScheduler, WaitTimesOutWithTimeoutAndCallsTheHook) {
    TMxSignal signal;
    std::atomic<int> timeouts{0};
    ScriptedTask t(*Scheduler, "T");
    t.Task.SetOnTimeout([&](TMxTask&) { ++timeouts; });
    t.Steps = {
        [&](TMxTask& x) { x.WaitFor(signal, 20); },
        [&](TMxTask& x) { x.WaitFor(signal, 0); }, // 0 ms: times out at once
        [&](TMxTask& x) { x.Terminate(); },
    };
    t.Task.Start();
    ASSERT_TRUE(RunUntil([&] { return t.Task.State() == tsTerminated; }));
    ASSERT_EQ(t.Infos.size(), 3u);
    EXPECT_EQ(t.Infos[1], eiTimeout);
    EXPECT_EQ(t.Infos[2], eiTimeout);
    EXPECT_EQ(timeouts.load(), 2);
    EXPECT_EQ(signal.WaitingCount(), 0);
}

TEST_F(MainScheduler, TimeoutArgumentUsesTheLowThirtyTwoBits) {
    EXPECT_EQ(MxWaitInterval(MxInfinite), 0x7FFFFFFF);
    EXPECT_EQ(MxWaitInterval(0x100000014LL), 20); // low 32 bits
    EXPECT_EQ(MxWaitInterval(-5), 0); // a negative time limit is due at once
    TMxSignal signal;
    TMxTask t(*Scheduler, "T");
    t.Start();
    t.WaitFor(signal, 0x17FFFFFFFLL); // low 32 bits = 0x7FFFFFFF: no limit
    EXPECT_EQ(t.State(), tsSuspended);
    EXPECT_FALSE(t.Timer().Pending());
}

// ------------------------------------------------------------ semaphores

TEST_F(MainScheduler, SemaphoreOwnershipPassesToTheNextWaiter) {
    vo::test::CapturedTrace trace;
    TMxSemaphore sem;
    TMxTask a(*Scheduler, "A"), b(*Scheduler, "B"), c(*Scheduler, "C");
    a.Start();
    b.Start();
    c.Start();
    a.WaitFor(sem, MxInfinite);
    EXPECT_TRUE(a.IsReady());
    EXPECT_EQ(a.ExecuteInfo(), eiSuccess);
    EXPECT_TRUE(sem.IsOwner(a));
    b.WaitFor(sem, MxNoWait);
    EXPECT_EQ(b.ExecuteInfo(), eiUnavailable);
    b.WaitFor(sem, MxInfinite);
    c.WaitFor(sem, MxInfinite);
    EXPECT_EQ(b.State(), tsSuspended);

    EXPECT_EQ(test::ExceptionText([&] { sem.Release(c); }), "Semaphore Release Error");
    EXPECT_TRUE(trace.Contains("***INFO: Semaphore Release Error"));
    EXPECT_TRUE(sem.IsOwner(a));

    sem.Release(a);
    EXPECT_TRUE(sem.IsOwner(b));
    EXPECT_TRUE(b.IsReady());
    EXPECT_EQ(b.ExecuteInfo(), eiSuccess);
    EXPECT_EQ(c.State(), tsSuspended);
    sem.Release(b);
    EXPECT_TRUE(sem.IsOwner(c));
    sem.Release(c);
    EXPECT_EQ(sem.Owner(), nullptr);
}

TEST_F(MainScheduler, SemaphoreWaiterThatTimesOutDoesNotOwnIt) {
    TMxSemaphore sem;
    TMxTask a(*Scheduler, "A"), b(*Scheduler, "B");
    a.Start();
    b.Start();
    a.WaitFor(sem, MxInfinite);
    b.WaitFor(sem, 10);
    ASSERT_TRUE(RunUntil([&] { return b.IsReady(); }));
    EXPECT_EQ(b.ExecuteInfo(), eiTimeout);
    sem.Release(a);
    EXPECT_EQ(sem.Owner(), nullptr);
}

// ------------------------------------------------------------ sleeping, killing, terminating

TEST_F(MainScheduler, SleepResumesWithSuccessAfterTheTime) {
    ScriptedTask t(*Scheduler, "Sleeper");
    int64_t slept = 0, start = 0;
    t.Steps = {
        [&](TMxTask& x) { start = MyGetTickCount(); x.Sleep(30); },
        [&](TMxTask& x) { slept = MyGetTickCount() - start; x.Terminate(); },
    };
    t.Task.Start();
    Pump.Step();
    EXPECT_EQ(t.Task.State(), tsSuspended);
    EXPECT_EQ(t.Task.Suspender(), nullptr);
    ASSERT_TRUE(RunUntil([&] { return t.Task.State() == tsTerminated; }));
    EXPECT_EQ(t.Infos.back(), eiSuccess);
    EXPECT_GE(slept, 29);
}

TEST_F(MainScheduler, TerminateOrKillOfAWaitingTaskLeavesTheControl) {
    TMxSignal signal;
    TMxTask a(*Scheduler, "A"), b(*Scheduler, "B"), c(*Scheduler, "C");
    for (auto* t : {&a, &b, &c}) {
        t->Start();
        t->WaitFor(signal, 60000);
    }
    b.Terminate();
    EXPECT_EQ(b.State(), tsTerminated);
    EXPECT_FALSE(b.Timer().Pending());
    c.Kill();
    EXPECT_EQ(c.State(), tsTerminated);
    EXPECT_EQ(c.ExecuteInfo(), eiAbort);
    EXPECT_EQ(signal.WaitingCount(), 1);
    signal.SetReady(true);
    EXPECT_TRUE(a.IsReady());
    EXPECT_EQ(b.State(), tsTerminated); // not resumed by the signal
    EXPECT_EQ(c.State(), tsTerminated);
    EXPECT_EQ(Scheduler->TaskCount(), 1);
}

TEST_F(MainScheduler, KilledOrTerminatedSleeperStaysTerminatedAfterItsTimeWouldHaveEnded) {
    TMxTask a(*Scheduler, "A"), b(*Scheduler, "B");
    a.Start();
    b.Start();
    a.Sleep(10);
    b.Sleep(10);
    a.Kill();
    b.Terminate();
    EXPECT_EQ(a.State(), tsTerminated);
    EXPECT_EQ(b.State(), tsTerminated);
    EXPECT_FALSE(a.Timer().Pending());
    // A probe that sleeps longer: once it has run, the times of A and B are
    // past and any wake-up of theirs has been handled.
    auto sleepPast = [&](int32_t Ms) {
        bool ran = false;
        TMxTask probe(*Scheduler, "Probe");
        probe.SetOnExecute([&](TMxTask& t) {
            ran = true;
            t.Terminate();
        });
        probe.Start();
        probe.Sleep(Ms);
        ASSERT_TRUE(RunUntil([&] { return ran; }));
        Pump.RunPending();
    };
    sleepPast(40);
    EXPECT_EQ(a.State(), tsTerminated);
    EXPECT_EQ(b.State(), tsTerminated);
    EXPECT_EQ(Scheduler->TaskCount(), 0);

    // Destroying a sleeping task is safe as well.
    {
        TMxTask c(*Scheduler, "C");
        c.Start();
        c.Sleep(5);
    }
    sleepPast(20);
    EXPECT_EQ(Scheduler->TaskCount(), 0);
}

TEST_F(MainScheduler, DestroyingAWaitingTaskUnlinksIt) {
    TMxSignal signal;
    TMxTask a(*Scheduler, "A");
    a.Start();
    a.WaitFor(signal, MxInfinite);
    {
        TMxTask b(*Scheduler, "B");
        b.Start();
        b.WaitFor(signal, 5);
    }
    EXPECT_EQ(signal.WaitingCount(), 1);
    signal.SetReady(true);
    EXPECT_TRUE(a.IsReady());
}

TEST_F(MainScheduler, ATaskMayFreeItselfFromItsOwnStep) {
    auto owned = std::make_unique<TMxTask>(*Scheduler, "AutoFree");
    TMxTask other(*Scheduler, "Other");
    int otherSteps = 0;
    other.SetOnExecute([&](TMxTask&) { ++otherSteps; });
    owned->SetOnExecute([&](TMxTask&) { owned.reset(); });
    owned->Start();
    other.Start();
    Pump.Step();
    EXPECT_EQ(owned, nullptr);
    Pump.Step();
    Pump.Step();
    EXPECT_EQ(otherSteps, 2);
    EXPECT_EQ(Scheduler->TaskCount(), 1);
}

// ------------------------------------------------------------ threaded scheduler

TEST(ThreadedScheduler, DestroyingATaskOnAnotherThreadWaitsForItsRunningStep) {
    auto sched = TMxScheduler::CreateThreaded("Destroy");
    std::atomic<bool> inside{false}, finished{false};
    auto task = std::make_unique<TMxTask>(*sched, "Busy");
    task->SetOnExecute([&](TMxTask& t) {
        inside = true;
        std::this_thread::sleep_for(30ms);
        finished = true; // the task was killed meanwhile: the step still ends normally
        EXPECT_EQ(t.State(), tsTerminated);
    });
    task->Start();
    while (!inside)
        std::this_thread::sleep_for(1ms);
    task.reset();
    EXPECT_TRUE(finished);
}

struct WaitOnce {
    std::atomic<int> Phase{0};
    std::atomic<TMxExecuteInfo> Info{eiAbort};
    void Attach(TMxTask& task, TMxTaskControl& control, int64_t timeout) {
        task.SetOnExecute([this, &control, timeout](TMxTask& t) {
            if (Phase == 0) {
                Phase = 1;
                t.WaitFor(control, timeout);
            } else if (Phase == 1) {
                Info = t.ExecuteInfo();
                Phase = 2;
                t.Terminate();
            }
        });
    }
    bool WaitDone() {
        for (int i = 0; i < 5000 && Phase != 2; ++i)
            std::this_thread::sleep_for(1ms);
        return Phase == 2;
    }
};

TEST(ThreadedScheduler, WaitResultsAcrossThreads) {
    auto sched = TMxScheduler::CreateThreaded("TestSched");
    EXPECT_TRUE(sched->IsThreaded());

    // Set from another thread: eiSuccess.
    {
        TMxSignal signal;
        WaitOnce w;
        TMxTask task(*sched, "Waiter");
        w.Attach(task, signal, MxInfinite);
        task.Start();
        while (signal.WaitingCount() == 0)
            std::this_thread::sleep_for(1ms);
        std::thread([&] { signal.SetReady(true); }).join();
        ASSERT_TRUE(w.WaitDone());
        EXPECT_EQ(w.Info.load(), eiSuccess);
    }
    // Not ready, no wait: eiUnavailable.
    {
        TMxSignal signal;
        WaitOnce w;
        TMxTask task(*sched, "NoWait");
        w.Attach(task, signal, MxNoWait);
        task.Start();
        ASSERT_TRUE(w.WaitDone());
        EXPECT_EQ(w.Info.load(), eiUnavailable);
    }
    // Destroyed while waited on: eiReset.
    {
        auto signal = std::make_unique<TMxSignal>();
        WaitOnce w;
        TMxTask task(*sched, "Reset");
        w.Attach(task, *signal, MxInfinite);
        task.Start();
        while (signal->WaitingCount() == 0)
            std::this_thread::sleep_for(1ms);
        signal.reset();
        ASSERT_TRUE(w.WaitDone());
        EXPECT_EQ(w.Info.load(), eiReset);
    }
}

TEST(ThreadedScheduler, TheThreadSleepsWhileNothingIsReady) {
    auto sched = TMxScheduler::CreateThreaded();
    std::atomic<int> steps{0};
    TMxTask t(*sched, "Once");
    t.SetOnExecute([&](TMxTask& x) {
        ++steps;
        x.Sleep(MxInfinite);
    });
    t.Start();
    while (steps == 0)
        std::this_thread::sleep_for(1ms);
    // A probe on the same thread that sleeps 30 ms: once it ran, the thread
    // has been through its waits for that long.
    std::atomic<bool> probed{false};
    {
        TMxTask probe(*sched, "Probe");
        int probeSteps = 0;
        probe.SetOnExecute([&](TMxTask& x) {
            if (++probeSteps == 1) {
                x.Sleep(30);
                return;
            }
            probed = true;
            x.Sleep(MxInfinite);
        });
        probe.Start();
        for (int i = 0; i < 5000 && !probed; ++i)
            std::this_thread::sleep_for(1ms);
        ASSERT_TRUE(probed);
    }
    EXPECT_EQ(steps.load(), 1);
    EXPECT_EQ(sched->TaskCount(), 0);
}

// Many short waits whose time-outs race with the releases from another
// thread: every wait must end exactly once and the timer thread must live on.
TEST(ThreadedScheduler, LateTimeoutsNeverResumeTwice) {
    auto sched = TMxScheduler::CreateThreaded("Race");
    TMxSignal signal;
    std::atomic<int> waits{0}, resumes{0}, timeouts{0};
    std::atomic<bool> stop{false};
    TMxTask t(*sched, "Racer");
    bool waiting = false;
    t.SetOnExecute([&](TMxTask& x) {
        if (waiting) {
            ++resumes;
            if (x.ExecuteInfo() == eiTimeout)
                ++timeouts;
        }
        if (stop) {
            waiting = false;
            x.Terminate();
            return;
        }
        ++waits;
        waiting = true;
        x.WaitFor(signal, 1);
    });
    t.Start();
    std::thread releaser([&] {
        while (!stop) {
            signal.SetReady(true);
            signal.SetReady(false);
            std::this_thread::yield();
        }
    });
    std::this_thread::sleep_for(300ms);
    stop = true;
    releaser.join();
    signal.SetReady(true);
    for (int i = 0; i < 5000 && t.State() != tsTerminated; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_EQ(t.State(), tsTerminated);
    EXPECT_EQ(waits.load(), resumes.load());
    EXPECT_GT(waits.load(), 10);

    // The timer thread is still serving.
    std::atomic<bool> fired{false};
    TMxTimer probe;
    probe.SetOnExpiration([&] { fired = true; });
    probe.Initialize(1, false, true);
    for (int i = 0; i < 5000 && !fired; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(fired);
}

// Sleepers killed from another thread around the moment their sleep ends.
TEST(ThreadedScheduler, KillRacingWithTheWakeUp) {
    auto sched = TMxScheduler::CreateThreaded("KillRace");
    for (int round = 0; round < 200; ++round) {
        std::atomic<int> steps{0};
        TMxTask t(*sched, "Sleeper");
        t.SetOnExecute([&](TMxTask& x) {
            if (++steps == 1)
                x.Sleep(round % 3);
        });
        t.Start();
        while (steps == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(50));
        std::this_thread::sleep_for(std::chrono::microseconds(round * 7 % 1500));
        t.Kill();
        ASSERT_EQ(t.State(), tsTerminated);
        while (t.IsActive()) // a step already running on the scheduler thread ends normally
            std::this_thread::yield();
        const int seen = steps;
        std::this_thread::sleep_for(std::chrono::microseconds(300));
        EXPECT_EQ(t.State(), tsTerminated);
        EXPECT_EQ(steps.load(), seen);
    }
    EXPECT_EQ(sched->TaskCount(), 0);
}

// ------------------------------------------------------------ timers

TEST(Timers, EqualExpiryFiresInInsertionOrderEarlierFirst) {
    TMxTimerQueue queue("TestTimers");
    std::mutex m;
    std::vector<int> fired;
    std::vector<std::unique_ptr<TMxTimer>> timers;
    for (int i = 0; i < 20; ++i) {
        auto t = std::make_unique<TMxTimer>(&queue);
        t->SetOnExpiration([&, i] {
            std::lock_guard<std::mutex> l(m);
            fired.push_back(i);
        });
        timers.push_back(std::move(t));
    }
    auto early = std::make_unique<TMxTimer>(&queue);
    early->SetOnExpiration([&] {
        std::lock_guard<std::mutex> l(m);
        fired.push_back(-1);
    });
    for (auto& t : timers)
        t->Initialize(40, false, true);
    early->Initialize(10, false, true);
    int equal = 0;
    for (size_t i = 1; i < timers.size(); ++i)
        equal += timers[i]->ExpirationTime() == timers[i - 1]->ExpirationTime();
    EXPECT_GT(equal, 0) << "no two timers got the same expiration time";
    for (int i = 0; i < 5000; ++i) {
        {
            std::lock_guard<std::mutex> l(m);
            if (fired.size() == 21)
                break;
        }
        std::this_thread::sleep_for(1ms);
    }
    std::lock_guard<std::mutex> l(m);
    ASSERT_EQ(fired.size(), 21u);
    EXPECT_EQ(fired[0], -1);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(fired[static_cast<size_t>(i) + 1], i);
}

TEST(Timers, CyclicPeriodIsIntervalPlusHandlerTime) {
    TMxTimerQueue queue("Cyclic");
    std::mutex m;
    std::vector<int64_t> at;
    TMxTimer timer(&queue);
    timer.SetOnExpiration([&] {
        {
            std::lock_guard<std::mutex> l(m);
            at.push_back(MyGetTickCount());
        }
        std::this_thread::sleep_for(30ms);
    });
    timer.Initialize(100, true, true);
    EXPECT_TRUE(timer.Cyclic());
    for (int i = 0; i < 300; ++i) {
        {
            std::lock_guard<std::mutex> l(m);
            if (at.size() >= 5)
                break;
        }
        std::this_thread::sleep_for(10ms);
    }
    timer.StopAndWait();
    std::lock_guard<std::mutex> l(m);
    ASSERT_GE(at.size(), 5u);
    const double mean = double(at[4] - at[0]) / 4.0;
    EXPECT_GT(mean, 120.0);
    EXPECT_LT(mean, 250.0); // loose: a busy machine only adds delay
}

TEST(Timers, StopRemainingAndRestart) {
    TMxTimerQueue queue("Stop");
    std::atomic<int> fired{0};
    TMxTimer timer(&queue);
    timer.SetOnExpiration([&] { ++fired; });
    timer.Initialize(10000, false, false);
    EXPECT_FALSE(timer.Pending());
    timer.Start();
    EXPECT_TRUE(timer.Pending());
    EXPECT_GT(timer.Remaining(), 9000);
    EXPECT_EQ(queue.Count(), 1u);
    timer.Stop();
    EXPECT_FALSE(timer.Pending());
    EXPECT_EQ(queue.Count(), 0u);
    timer.Initialize(1, false, true);
    for (int i = 0; i < 5000 && fired == 0; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(fired.load(), 1);
    EXPECT_EQ(timer.Remaining(), 0);
}

TEST(Timers, HandlerFailuresStopsAndSelfDestructionKeepTheThreadAlive) {
    vo::test::CapturedTrace trace;
    TMxTimerQueue queue("Robust");
    std::atomic<int> cyclicFires{0};
    std::atomic<bool> after{false};

    TMxTimer thrower(&queue);
    thrower.SetOnExpiration([] { throw std::runtime_error("handler broke"); });
    thrower.Initialize(1, false, true);

    TMxTimer selfStopper(&queue);
    selfStopper.SetOnExpiration([&] {
        ++cyclicFires;
        selfStopper.Stop(); // a cyclic timer stopped by its own handler stays stopped
    });
    selfStopper.Initialize(2, true, true);

    auto* selfDestroyer = new TMxTimer(&queue);
    selfDestroyer->SetOnExpiration([selfDestroyer] { delete selfDestroyer; });
    selfDestroyer->Initialize(3, false, true);

    TMxTimer last(&queue);
    last.SetOnExpiration([&] { after = true; });
    last.Initialize(20, false, true);
    for (int i = 0; i < 5000 && !after; ++i)
        std::this_thread::sleep_for(1ms);
    EXPECT_TRUE(after);
    // Ten more periods of the stopped cyclic timer, seen through a probe.
    std::atomic<bool> probed{false};
    TMxTimer probe(&queue);
    probe.SetOnExpiration([&] { probed = true; });
    probe.Initialize(20, false, true);
    for (int i = 0; i < 5000 && !probed; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(probed);
    EXPECT_EQ(cyclicFires.load(), 1);
    EXPECT_FALSE(selfStopper.Pending());
    EXPECT_TRUE(trace.Contains("***ERROR: MxTimerQueue: timer expiration failed: handler broke"));
}

TEST(Timers, DestroyingATimerWaitsForItsRunningExpiration) {
    TMxTimerQueue queue("Wait");
    std::atomic<bool> inside{false}, finished{false};
    auto timer = std::make_unique<TMxTimer>(&queue);
    timer->SetOnExpiration([&] {
        inside = true;
        std::this_thread::sleep_for(30ms);
        finished = true;
    });
    timer->Initialize(1, false, true);
    while (!inside)
        std::this_thread::sleep_for(1ms);
    timer.reset();
    EXPECT_TRUE(finished);
}

TEST(Timers, TheProgramTimerQueueThreadIsNamed) {
    EXPECT_EQ(MxTimerQueue().ThreadName(), "MxTimerQueue");
    std::string name;
    std::atomic<bool> done{false};
    TMxTimer t;
    t.SetOnExpiration([&] {
        name = GetCurrentThreadName();
        done = true;
    });
    t.Initialize(0, false, true);
    for (int i = 0; i < 5000 && !done; ++i)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(done);
    EXPECT_EQ(name, "MxTimerQueue");
}

} // namespace

namespace {

class MainSchedulerWakeUp : public vo::test::MainSchedulerFixture {};

// A main-scheduler task resumed from another thread wakes the sleeping loop.
TEST_F(MainSchedulerWakeUp, SignalFromAnotherThreadWakesTheHeadlessLoop) {
    TMxSignal signal;
    ScriptedTask t(*Scheduler, "GuiSide");
    t.Steps = {
        [&](TMxTask& x) { x.WaitFor(signal, MxInfinite); },
        [&](TMxTask& x) { x.Terminate(); },
    };
    t.Task.Start();
    Pump.RunPending();
    ASSERT_EQ(t.Task.State(), tsSuspended);
    const auto before = Pump.WakeUpCount();
    std::thread server([&] { signal.SetReady(true); });
    ASSERT_TRUE(Pump.WaitForWakeUp(5000ms));
    server.join();
    EXPECT_EQ(Pump.WakeUpCount(), before + 1);
    ASSERT_TRUE(RunUntil([&] { return t.Task.State() == tsTerminated; }));
    EXPECT_EQ(t.Infos.back(), eiSuccess);
}

} // namespace
