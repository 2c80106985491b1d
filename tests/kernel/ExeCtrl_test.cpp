#include "kernel/ExeCtrl.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "kernel/MsgTools.h"
#include "kernel/MxMLib20.h"
#include "tests/support/KernelFixtures.h"

using namespace vo;
using namespace std::chrono_literals;

namespace {

using test::ExpectError;

class ExecuteControl : public test::MainSchedulerFixture {
protected:
    static void SetUpTestSuite() { MxEnsureMessaging(); }
    void Settle() { Pump.RunPending(10000); }
};

} // namespace

TEST_F(ExecuteControl, IdleHandlerParksWithItsOwner) {
    TObject owner;
    TExecuteControl ctrl;
    int idles = 0;
    ctrl.FOnIdle = [&](TExecuteControl& c) {
        if (++idles == 3) c.Wait(&owner);
    };
    ASSERT_TRUE(RunUntil([&] { return idles == 3; }));
    Settle();
    EXPECT_EQ(idles, 3); // parked
    EXPECT_EQ(ctrl.WaitingObject(), &owner);

    TObject stranger;
    ExpectError([&] { ctrl.Continue(&stranger); }, "TExecuteControl.Continue: waiting object missmatch");
    EXPECT_TRUE(ctrl.Waiting());
    Settle();
    EXPECT_EQ(idles, 3);

    ctrl.Continue(&owner);
    ASSERT_TRUE(RunUntil([&] { return idles == 4; }));
}

TEST_F(ExecuteControl, StartsWaitingForItsObject) {
    TObject owner;
    TExecuteControl ctrl(&owner);
    int idles = 0;
    ctrl.FOnIdle = [&](TExecuteControl& c) {
        ++idles;
        c.Wait(&owner);
    };
    Settle();
    EXPECT_EQ(idles, 0);
    EXPECT_EQ(ctrl.WaitingObject(), &owner);
    ctrl.Continue(&owner);
    ASSERT_TRUE(RunUntil([&] { return idles == 1; }));
    Settle();
    EXPECT_EQ(idles, 1);
}

TEST_F(ExecuteControl, ExecuteWhileWaitingContinuesAndRunsOnce) {
    TObject owner;
    TExecuteControl ctrl(&owner);
    int idles = 0, runs = 0;
    ctrl.FOnIdle = [&](TExecuteControl& c) {
        ++idles;
        c.Wait(&owner);
    };
    ctrl.FOnExecute = [&](TExecuteControl& c) {
        ++runs;
        EXPECT_EQ(c.FCommand, 7);
        EXPECT_EQ(c.FData, &owner);
    };
    ctrl.FCommand = 7;
    ctrl.FData = &owner;
    ctrl.Execute(&owner); // continues the wait and starts in the same call
    EXPECT_FALSE(ctrl.Waiting());
    EXPECT_EQ(ctrl.WorkState(), wsExec);
    ExpectError([&] { ctrl.Execute(&owner); }, "TExecuteControl.Execute: not in idle state");
    ASSERT_TRUE(RunUntil([&] { return idles == 1; }));
    Settle();
    EXPECT_EQ(runs, 1); // FStatus left at 0: exactly once
    EXPECT_EQ(ctrl.WorkState(), wsIdle);

    // Execute while waiting for another object fails like Continue.
    TObject other;
    ExpectError([&] { ctrl.Execute(&other); }, "TExecuteControl.Continue: waiting object missmatch");
    EXPECT_EQ(ctrl.WorkState(), wsIdle);
}

TEST_F(ExecuteControl, WaitMisuse) {
    TObject a, b;
    TExecuteControl ctrl(&a);
    ExpectError([&] { ctrl.Wait(&b); }, "TExecuteControl.Wait: already in wait state");
    ctrl.Continue(&a);
    ExpectError([&] { ctrl.Continue(&a); }, "TExecuteControl.Continue: not in wait state");
    ExpectError([&] { ctrl.Wait(nullptr); }, "TExecuteControl.Wait: need a valid object reference");
    std::vector<MyAnsiString> messages;
    ctrl.LogMessage("silent"); // no handler: nothing
    ctrl.FOnMessage = [&](const MyAnsiString& m) { messages.push_back(m); };
    ctrl.LogMessage("Exporting");
    EXPECT_EQ(messages, (std::vector<MyAnsiString>{"Exporting"}));
    ctrl.FOnIdle = [&](TExecuteControl& c) { c.Wait(&a); };
    Settle();
}

// An execution sends a request to a device that answers on another thread;
// the answer arrives at a main-scheduler task, which continues the control.
TEST_F(ExecuteControl, JobWaitsForDeviceAnswer) {
    auto sched = TMxScheduler::CreateThreaded("OvraScheduler");
    TObject owner, device;

    // The device: doubles the number it gets.
    TMxQueue deviceQueue;
    deviceQueue.LogOn(0);
    TMxTask deviceTask(*sched, "Device");
    deviceTask.SetOnExecute([&](TMxTask& t) {
        while (TMxMessage* m = deviceQueue.GetMessage()) {
            TMessageReader r;
            r.SetItem(m);
            r.GetCommand();
            const std::int32_t v = MsgGetInt(r);
            std::this_thread::sleep_for(5ms);
            TMessageWriter w;
            w.SetItem(m);
            w.PutCommand("ANSWER");
            MsgPutInt(w, v * 2);
            m->SetReceiverFromSender(*m);
            deviceQueue.SendMessage(m);
        }
        t.WaitFor(deviceQueue, MxInfinite);
    });
    deviceTask.Start();

    TExecuteControl ctrl(&owner);
    ctrl.FOnIdle = [&](TExecuteControl& c) { c.Wait(&owner); };

    // The reply path: a main-scheduler task that hands answers to the control.
    TMxQueue replyQueue;
    replyQueue.LogOn(0);
    std::vector<std::int32_t> answers;
    TMxTask replyTask("Actor");
    replyTask.SetOnExecute([&](TMxTask& t) {
        while (TMxMessage* m = replyQueue.GetMessage()) {
            TMessageReader r;
            r.SetItem(m);
            r.GetCommand();
            answers.push_back(MsgGetInt(r));
            r.DestroyMessage();
            ctrl.Continue(&device);
        }
        t.WaitFor(replyQueue, MxInfinite);
    });
    replyTask.Start();

    std::vector<std::string> trace;
    ctrl.FOnExecute = [&](TExecuteControl& c) {
        switch (c.FStatus) {
        case 0:
        case 1: {
            const std::int32_t value = c.FStatus == 0 ? c.FCommand : answers.back();
            trace.push_back("request " + std::to_string(value));
            TMessageWriter w;
            w.CreateMessage();
            w.PutCommand("GET");
            MsgPutInt(w, value);
            w.GetItem()->SetReceiver(deviceQueue.GetQueueIdent(), 0, 1);
            replyQueue.SendMessage(w.GetItem());
            c.FStatus = c.FStatus + 1;
            c.Wait(&device);
            c.LogMessage("waiting for the drive");
            break;
        }
        default:
            trace.push_back("done " + std::to_string(answers.back()));
            c.FStatus = 0;
            c.Wait(&owner);
        }
    };
    std::vector<MyAnsiString> progress;
    ctrl.FOnMessage = [&](const MyAnsiString& m) { progress.push_back(m); };
    ctrl.FCommand = 3;
    ctrl.Execute(&owner);

    ASSERT_TRUE(RunUntil([&] { return ctrl.WorkState() == wsIdle && ctrl.WaitingObject() == &owner; }));
    EXPECT_EQ(trace, (std::vector<std::string>{"request 3", "request 6", "done 12"}));
    EXPECT_EQ(answers, (std::vector<std::int32_t>{6, 12}));
    EXPECT_EQ(progress.size(), 2u);
    while (deviceQueue.WaitingCount() == 0) std::this_thread::sleep_for(1ms);
}

TEST_F(ExecuteControl, FailingExecutionEndsAndIsLogged) {
    test::CapturedTrace trace;
    TObject owner;
    TExecuteControl ctrl(&owner);
    ctrl.FOnIdle = [&](TExecuteControl& c) { c.Wait(&owner); };
    int runs = 0;
    ctrl.FOnExecute = [&](TExecuteControl& c) {
        ++runs;
        c.FStatus = 5;
        throw Exception("export failed");
    };
    ctrl.Execute(&owner);
    ASSERT_TRUE(RunUntil([&] { return ctrl.WorkState() == wsIdle && ctrl.Waiting(); }));
    Settle();
    EXPECT_EQ(runs, 1);
    EXPECT_TRUE(trace.Contains("***INFO: export failed - ExecuteControl"));
}
