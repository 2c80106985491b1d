#include "kernel/CsServices.h"

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/KernelFixtures.h"
#include "tests/support/ScriptedPrompt.h"

using namespace vo;
using namespace std::chrono_literals;

namespace {

using test::ExpectError;

class Services : public test::MainSchedulerFixture {
protected:
    // Runs scheduler steps until nothing is ready (bounded).
    void Settle() { Pump.RunPending(10000); }
    std::vector<std::string> Events;
};

struct CountingJob : TServiceJob {
    explicit CountingJob(bool& destroyed) : Destroyed(destroyed) {}
    ~CountingJob() override { Destroyed = true; }
    bool& Destroyed;
};

} // namespace

TEST_F(Services, ClientsTakeTurns) {
    TServiceProvider p(nullptr, "Parameter Service");
    EXPECT_EQ(p.Data(), &p);
    TServiceClient a, b;
    int aCalls = 0, bCalls = 0;
    a.FOnExecute = [&](TServiceClient& c) {
        ++aCalls;
        if (aCalls == 3) c.Release();
    };
    b.FOnExecute = [&](TServiceClient& c) {
        ++bCalls;
        EXPECT_EQ(aCalls, 3); // only after the first released
        c.Release();
    };
    a.Connect(p);
    b.Connect(p);
    EXPECT_EQ(p.GetClientCount(), 2);
    a.Request();
    b.Request();
    EXPECT_TRUE(a.RequestPending());
    ASSERT_TRUE(RunUntil([&] { return bCalls == 1; }));
    Settle();
    EXPECT_EQ(aCalls, 3); // called at every step while it neither waits nor releases
    EXPECT_EQ(bCalls, 1);
    EXPECT_FALSE(a.RequestPending());
    EXPECT_FALSE(b.RequestPending());
    EXPECT_EQ(p.Status(), psIdle);
    EXPECT_EQ(p.CurrentClient(), nullptr);
}

TEST_F(Services, CurrentClientIsCalledAtEveryStep) {
    TServiceProvider p(nullptr, "Status Service");
    TServiceClient a;
    int calls = 0;
    a.FOnExecute = [&](TServiceClient&) { ++calls; };
    a.Connect(p);
    a.Request();
    ASSERT_TRUE(RunUntil([&] { return calls == 1; }));
    for (int i = 0; i < 10; ++i) Pump.Step();
    EXPECT_EQ(calls, 11);
    a.Release();
    Settle();
    EXPECT_EQ(calls, 11);
}

TEST_F(Services, WaitTimesOutAndCallsAgain) {
    TServiceProvider p(nullptr, "Variable Service");
    TServiceClient a;
    std::vector<std::chrono::steady_clock::time_point> calls;
    a.FOnExecute = [&](TServiceClient& c) {
        calls.push_back(std::chrono::steady_clock::now());
        if (calls.size() == 1)
            c.Wait(100);
        else
            c.Release();
    };
    a.Connect(p);
    a.Request();
    ASSERT_TRUE(RunUntil([&] { return calls.size() == 1; }));
    Settle();
    EXPECT_EQ(p.Status(), psWaitClient);
    ASSERT_TRUE(RunUntil([&] { return calls.size() == 2; }, 5000ms));
    const auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(calls[1] - calls[0]);
    EXPECT_GE(waited.count(), 90);
    EXPECT_LT(waited.count(), 3000);
}

// The usual turn of a view: wait without limit for an operation, which ends
// with NotifyCurrentClient; the view continues, asks for an update and releases.
TEST_F(Services, TypicalTurnWithNotify) {
    TServiceProvider p(nullptr, "Parameter Service");
    TServiceClient view;
    int step = 0, updates = 0;
    TObject operation;
    view.FOnExecute = [&](TServiceClient& c) {
        if (step++ == 0) {
            c.Wait(0x7FFFFFFF);
            Events.push_back("started");
        } else {
            Events.push_back("finished");
            c.RequestUpdate();
            c.Release();
        }
    };
    view.FOnNotify = [&](TObject* sender) {
        EXPECT_EQ(sender, &operation);
        Events.push_back("notified");
        view.Continue();
    };
    view.FOnUpdate = [&](TServiceClient&) { ++updates; };
    view.Connect(p);
    view.Request();
    ASSERT_TRUE(RunUntil([&] { return step == 1; }));
    Settle();
    EXPECT_EQ(step, 1); // the wait does not end by itself within this test
    p.NotifyCurrentClient(&operation);
    ASSERT_TRUE(RunUntil([&] { return updates == 1; }));
    EXPECT_EQ(Events, (std::vector<std::string>{"started", "notified", "finished"}));
    p.NotifyCurrentClient(&operation); // no current client: nothing
    EXPECT_EQ(Events.size(), 3u);
}

TEST_F(Services, NestedUpdateBracketsGiveOnePass) {
    test::CapturedTrace trace;
    TServiceProvider p(nullptr, "Curve Service");
    TServiceClient a, b, c;
    for (auto [cl, name] : {std::pair<TServiceClient*, const char*>{&a, "a"}, {&b, "b"}, {&c, "c"}}) {
        cl->FOnUpdate = [this, n = std::string(name)](TServiceClient&) { Events.push_back("update " + n); };
        cl->Connect(p);
    }
    int done = 0;
    p.FOnUpdateDone = [&](TObject* sender) {
        EXPECT_EQ(sender, &p);
        ++done;
        Events.push_back("done");
    };
    p.BeginUpdate();
    p.BeginUpdate();
    p.EndOfUpdate();
    Settle();
    EXPECT_TRUE(Events.empty());
    EXPECT_EQ(p.UpdateLockCounter(), 1);
    p.EndOfUpdate();
    Settle();
    EXPECT_EQ(Events, (std::vector<std::string>{"update c", "update b", "update a", "done"}));
    EXPECT_FALSE(p.UpdateRequested());

    // Without a matching BeginUpdate: a log line with the counter 0, and a pass all the same.
    Events.clear();
    p.EndOfUpdate();
    Settle();
    EXPECT_EQ(done, 2);
    EXPECT_TRUE(trace.Contains("***INFO: Curve Service: 0 End of Update"));

    // Brackets opened by update handlers during a pass do not count and raise no second pass.
    a.FOnUpdate = [&](TServiceClient&) {
        p.BeginUpdate();
        p.EndOfUpdate();
    };
    p.BeginUpdate();
    p.EndOfUpdate();
    Settle();
    EXPECT_EQ(done, 3);
    EXPECT_EQ(p.UpdateLockCounter(), 0);
    EXPECT_TRUE(trace.Contains("***INFO: Curve Service: 0 Begin of Update"));
}

// An update pass asked for by the current client, or by brackets closed during
// its turn, runs after the turn and before the next queued request.
TEST_F(Services, UpdatePassComesBeforeQueuedRequests) {
    TServiceProvider p(nullptr, "Oscilloscope Service");
    TServiceClient a, b, other;
    a.FOnExecute = [&](TServiceClient& c) {
        Events.push_back("a");
        b.Request();
        p.BeginUpdate();
        p.BeginUpdate();
        p.EndOfUpdate();
        p.EndOfUpdate();
        c.RequestUpdate();
        c.Release();
    };
    b.FOnExecute = [&](TServiceClient& c) {
        Events.push_back("b");
        c.Release();
    };
    a.FOnUpdate = [&](TServiceClient&) { Events.push_back("update a"); };
    b.FOnUpdate = [&](TServiceClient&) { Events.push_back("update b"); };
    other.FOnUpdate = [&](TServiceClient&) { Events.push_back("update other"); };
    a.Connect(p);
    b.Connect(p);
    other.Connect(p);
    a.Request();
    ASSERT_TRUE(RunUntil([&] { return Events.size() == 5; }));
    Settle();
    EXPECT_EQ(Events, (std::vector<std::string>{"a", "update other", "update b", "update a", "b"}));
}

TEST_F(Services, PooledClientsAreReused) {
    TServiceProvider p(nullptr, "Module Service");
    int calls = 0;
    TServiceClient* first = p.RequestClient([&](TServiceClient& c) {
        ++calls;
        c.Release();
    });
    EXPECT_EQ(first->ClientPool(), &ServiceClientPool());
    EXPECT_TRUE(first->GetConnected());
    first->FOnUpdate = [](TServiceClient&) {};
    first->FOnNotify = [](TObject*) {};
    ASSERT_TRUE(RunUntil([&] { return calls == 1; }));
    // Back in the pool: disconnected, handlers cleared.
    EXPECT_FALSE(first->GetConnected());
    EXPECT_EQ(first->ClientPool(), nullptr);
    EXPECT_FALSE(first->FOnExecute);
    EXPECT_FALSE(first->FOnUpdate);
    EXPECT_FALSE(first->FOnNotify);
    EXPECT_EQ(p.GetClientCount(), 0);

    TServiceClient* second = p.RequestClient([&](TServiceClient& c) {
        calls += 10;
        c.Release();
    });
    EXPECT_EQ(second, first);
    ASSERT_TRUE(RunUntil([&] { return calls == 11; }));

    TServiceClientPool otherPool;
    TServiceClient* foreign = otherPool.GetServiceClient();
    ExpectError([&] { ServiceClientPool().PutServiceClient(*foreign); },
                "TServiceClientPool.PutServiceClient: client not from this pool");
    TServiceClient own;
    ExpectError([&] { otherPool.PutServiceClient(own); }, "TServiceClientPool.PutServiceClient: client not from this pool");
    otherPool.PutServiceClient(*foreign);
    // A second return would put it into the pool twice.
    ExpectError([&] { otherPool.PutServiceClient(*foreign); },
                "TServiceClientPool.PutServiceClient: client not from this pool");
    EXPECT_EQ(otherPool.FreeCount(), 1u);
}

TEST_F(Services, Jobs) {
    TServiceProvider p(nullptr, "Command Table Service");

    // The provider handler takes the job: the job's own handler is not called.
    bool destroyed1 = false, ownCalled = false;
    auto job1 = std::make_unique<CountingJob>(destroyed1);
    job1->FOnExecute = [&](TServiceJob&, bool&) { ownCalled = true; };
    job1->FInfoTag = 1;
    p.FOnExecuteJob = [&](TServiceJob& j, bool& freeJob) {
        Events.push_back("provider " + std::to_string(j.FInfoTag));
        if (j.FInfoTag == 1) freeJob = true;
    };
    TServiceJob::Announce(std::move(job1), p);
    Settle();
    EXPECT_TRUE(destroyed1);
    EXPECT_FALSE(ownCalled);

    // Otherwise the job's handler runs too and may keep the job by clearing FreeJob.
    bool destroyed2 = false;
    auto job2 = std::make_unique<CountingJob>(destroyed2);
    job2->FInfoTag = 2;
    int runs = 0;
    job2->FOnExecute = [&](TServiceJob&, bool& freeJob) {
        ++runs;
        freeJob = runs >= 2;
    };
    TServiceJob& kept = TServiceJob::Announce(std::move(job2), p);
    ExpectError([&] { kept.Announce(p); }, "TServiceProvider.JobExecute: request already pending");
    Settle();
    EXPECT_EQ(runs, 1);
    EXPECT_FALSE(destroyed2);
    EXPECT_FALSE(kept.RequestPending());
    kept.Announce(p); // announced again
    Settle();
    EXPECT_EQ(runs, 2);
    EXPECT_TRUE(destroyed2);

    // A job owned by its caller is never freed by the provider, and withdraws when destroyed.
    p.FOnExecuteJob = nullptr;
    TServiceJob local;
    int localRuns = 0;
    local.FOnExecute = [&](TServiceJob&, bool&) { ++localRuns; };
    local.Announce(p);
    Settle();
    EXPECT_EQ(localRuns, 1);
    {
        TServiceJob gone;
        gone.FOnExecute = [&](TServiceJob&, bool&) { ADD_FAILURE() << "withdrawn job ran"; };
        gone.Announce(p);
        EXPECT_EQ(p.RequestCount(), 1u);
    }
    EXPECT_EQ(p.RequestCount(), 0u);
    Settle();
    EXPECT_EQ(Events, (std::vector<std::string>{"provider 1", "provider 2", "provider 2"}));
}

TEST_F(Services, HandlerExceptionsAreShownAndTheProviderGoesOn) {
    test::TScriptedPromptScope prompt;
    TServiceProvider p(nullptr, "Error Service");
    TServiceClient a, b;
    int aCalls = 0;
    a.FOnExecute = [&](TServiceClient& c) {
        if (++aCalls == 1) throw Exception("execute failed");
        c.Release();
    };
    a.FOnUpdate = [](TServiceClient&) { throw Exception("update failed"); };
    bool bUpdated = false;
    b.FOnUpdate = [&](TServiceClient&) { bUpdated = true; };
    p.FOnUpdateDone = [](TObject*) { throw std::runtime_error("done failed"); };
    b.Connect(p);
    a.Connect(p);
    a.Request();
    ASSERT_TRUE(RunUntil([&] { return aCalls == 2; }));
    p.BeginUpdate();
    p.EndOfUpdate();
    TServiceJob job;
    job.FOnExecute = [](TServiceJob&, bool&) { throw Exception("job failed"); };
    job.Announce(p);
    p.FOnExecuteJob = [](TServiceJob&, bool&) { throw Exception("provider job failed"); };
    Settle();
    EXPECT_TRUE(bUpdated); // the pass went on after a's failure
    EXPECT_EQ(prompt.Texts(), (std::vector<MyAnsiString>{"execute failed", "update failed", "done failed", "provider job failed", "job failed"}));
    for (const auto& r : prompt.Requests()) EXPECT_EQ(r.Kind, TMsgDlgType::mtError);
    EXPECT_EQ(p.Status(), psIdle);
    EXPECT_FALSE(job.RequestPending());
}

TEST_F(Services, Misuse) {
    TServiceProvider p(nullptr, "Unit Service"), q(nullptr, "Other");
    TServiceClient a, b, loose;
    a.Connect(p);
    b.Connect(p);
    const std::pair<std::function<void()>, std::string> notConnected[] = {
        {[&] { loose.Request(); }, "TServiceClient.Request: client isn't connected"},
        {[&] { loose.Wait(1); }, "TServiceClient.Wait: client isn't connected"},
        {[&] { loose.Continue(); }, "TServiceClient.Continue: client isn't connected"},
        {[&] { loose.Release(); }, "TServiceClient.Release: client isn't connected"},
        {[&] { loose.RequestUpdate(); }, "TServiceClient.RequestUpdate: client isn't connected"},
        {[&] { a.Connect(q); }, "TServiceClient.Connect: client already connected"},
        {[&] { p.ClientConnect(a); }, "TServiceProvider.ClientConnect: client already connected"},
        {[&] { a.Wait(1); }, "TServiceProvider.ClientWait: client isn't current client"},
        {[&] { a.Continue(); }, "TServiceProvider.ClientContinue: client isn't current client"},
        {[&] { a.RequestUpdate(); }, "TServiceProvider.ClientUpdateRequest: client isn't current client"},
    };
    for (const auto& [op, text] : notConnected) ExpectError(op, text);
    loose.Disconnect(); // nothing

    bool tried = false;
    a.FOnExecute = [&](TServiceClient& c) {
        if (tried) return;
        tried = true;
        ExpectError([&] { c.Continue(); }, "TServiceProvider.ClientContinue: wrong state for this operation");
        ExpectError([&] { c.Request(); }, "TServiceProvider.ClientRequest: request already pending");
        c.Wait(0x7FFFFFFF);
        ExpectError([&] { c.Wait(5); }, "TServiceProvider.ClientWait: wrong state for this operation");
    };
    a.Request();
    b.Request();
    ExpectError([&] { b.Request(); }, "TServiceProvider.ClientRequest: request already pending");
    ASSERT_TRUE(RunUntil([&] { return tried; }));
    Settle();
    EXPECT_EQ(p.Status(), psWaitClient);

    // Releasing the queued one withdraws it; disconnecting the waiting one ends its turn.
    b.Release();
    EXPECT_FALSE(b.RequestPending());
    a.Disconnect();
    EXPECT_FALSE(a.GetConnected());
    EXPECT_EQ(p.Status(), psIdle);
    EXPECT_EQ(p.GetClientCount(), 1);
    Settle();
}

// A wait timer that expires after the client continued (and waits again) must
// not end the new wait.
TEST_F(Services, LateWaitTimerChangesNothing) {
    TServiceProvider p(nullptr, "Device Manager");
    TServiceClient a;
    int calls = 0;
    a.FOnExecute = [&](TServiceClient& c) {
        ++calls;
        if (calls == 1) {
            c.Wait(30);
            c.Continue(); // at once: the 30 ms timer is stale
        } else if (calls == 2) {
            c.Wait(0x7FFFFFFF);
        }
    };
    a.Connect(p);
    a.Request();
    ASSERT_TRUE(RunUntil([&] { return calls == 2; }));
    RunUntil([] { return false; }, 150ms);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(p.Status(), psWaitClient);

    // Released while waiting: the timer does not bring the provider back to a client.
    a.Release();
    a.FOnExecute = [&](TServiceClient& c) {
        ++calls;
        c.Wait(20);
        c.Release();
    };
    a.Request();
    ASSERT_TRUE(RunUntil([&] { return calls == 3; }));
    RunUntil([] { return false; }, 100ms);
    EXPECT_EQ(calls, 3);
    EXPECT_EQ(p.Status(), psIdle);
    EXPECT_EQ(p.CurrentClient(), nullptr);
}

// Waits whose timers race with Continue from the GUI side: every turn ends,
// and the provider never runs a client step without a current client.
TEST_F(Services, WaitTimerRacesWithContinue) {
    TServiceProvider p(nullptr, "Race");
    TServiceClient a;
    int turns = 0, calls = 0;
    bool waiting = false;
    a.FOnExecute = [&](TServiceClient& c) {
        ++calls;
        if (waiting) {
            waiting = false;
            ++turns;
            c.Release();
            c.Request();
            return;
        }
        waiting = true;
        c.Wait(1);
    };
    a.FOnNotify = [&](TObject*) {
        if (p.Status() == psWaitClient) a.Continue();
    };
    a.Connect(p);
    a.Request();
    while (turns < 300) {
        ASSERT_TRUE(RunUntil([&] { return p.Status() == psWaitClient || turns >= 300; }, 5000ms)) << turns;
        if (turns % 2) p.NotifyCurrentClient(nullptr);
        Pump.Step();
    }
    a.Release();
    Settle();
    EXPECT_GE(calls, 600);
}

TEST_F(Services, DestroyedProviderLeavesClientsUnconnected) {
    TServiceClient a;
    TServiceJob job;
    {
        TServiceProvider p(nullptr, "Gone");
        a.Connect(p);
        a.FOnExecute = [](TServiceClient& c) { c.Wait(0x7FFFFFFF); };
        a.Request();
        ASSERT_TRUE(RunUntil([&] { return p.Status() == psWaitClient; }));
        job.Announce(p);
    }
    EXPECT_FALSE(a.GetConnected());
    EXPECT_FALSE(a.RequestPending());
    EXPECT_FALSE(job.RequestPending());
    EXPECT_EQ(job.ServiceProvider(), nullptr);
    Settle();
}
