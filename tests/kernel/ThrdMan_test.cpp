// Thread managers: client limit, handlers on the manager thread, releases,
// outside descriptors.
#include "kernel/ThrdMan.h"
#include "platform/Exception.h"
#include "tests/support/ExpectError.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <thread>
#include <vector>

using namespace vo;
using namespace std::chrono_literals;

namespace {

template <class Pred>
bool Eventually(Pred p, int ms = 5000) {
    for (int i = 0; i < ms; ++i) {
        if (p())
            return true;
        std::this_thread::sleep_for(1ms);
    }
    return p();
}

TEST(ThreadManager, SeventeenthClientIsRefusedUntilOneIsReleased) {
    TThreadManager manager;
    std::vector<TThreadClient*> clients;
    for (int i = 0; i < 16; ++i)
        clients.push_back(manager.NewThreadClient());
    test::ExpectError([&] { manager.NewThreadClient(); }, "TThreadManager.NewThreadClient: maximum of clients reached");
    ASSERT_TRUE(manager.WaitUntilSettled(5000));
    EXPECT_EQ(manager.ClientCount(), 16u);

    clients[3]->Release();
    TThreadClient* again = manager.NewThreadClient();
    ASSERT_NE(again, nullptr);
    ASSERT_TRUE(manager.WaitUntilSettled(5000));
    EXPECT_EQ(manager.ClientCount(), 16u);
    EXPECT_EQ(manager.ListedClients(), 16u);
}

TEST(ThreadManager, HandlersRunOnTheNamedManagerThreadOncePerEvent) {
    TThreadManager manager;
    manager.SetThreadName("OvraServer");
    std::mutex m;
    std::vector<std::string> seen;
    std::atomic<int> calls{0};
    TThreadClient* c = manager.NewThreadClient();
    c->SetOnEvent([&](TThreadClient& sender) {
        EXPECT_EQ(&sender, c);
        std::lock_guard<std::mutex> l(m);
        seen.push_back(GetCurrentThreadName());
        ++calls;
    });
    // Set at once after creation: the manager rebuilds its array first and
    // then sees the event.
    c->SetEvent();
    ASSERT_TRUE(Eventually([&] { return calls == 1; }));
    c->SetEvent();
    ASSERT_TRUE(Eventually([&] { return calls == 2; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(calls.load(), 2); // an auto-reset event fires once per set
    std::lock_guard<std::mutex> l(m);
    EXPECT_EQ(seen[0], "OvraServer");
}

TEST(ThreadManager, ReleasedClientsHandlerIsNotCalledAgain) {
    TThreadManager manager;
    std::atomic<int> released{0}, kept{0};
    TThreadClient* a = manager.NewThreadClient();
    TThreadClient* b = manager.NewThreadClient();
    a->SetOnEvent([&](TThreadClient&) { ++released; });
    b->SetOnEvent([&](TThreadClient&) { ++kept; });
    a->SetEvent();
    ASSERT_TRUE(Eventually([&] { return released == 1; }));
    TFdEvent& aEvent = a->EventHandle();
    (void)aEvent;
    a->Release(); // a may be freed from here on
    ASSERT_TRUE(manager.WaitUntilSettled(5000));
    EXPECT_EQ(manager.ClientCount(), 1u);
    b->SetEvent();
    ASSERT_TRUE(Eventually([&] { return kept == 1; }));
    EXPECT_EQ(released.load(), 1);
}

TEST(ThreadManager, ClientsSignalledTogetherAreServedLowestFirst) {
    TThreadManager manager;
    std::mutex m;
    std::string order;
    std::atomic<bool> gate{false};
    TThreadClient* blocker = manager.NewThreadClient();
    blocker->SetOnEvent([&](TThreadClient&) {
        while (!gate)
            std::this_thread::sleep_for(1ms);
    });
    std::vector<TThreadClient*> cs;
    for (char ch : std::string("abc")) {
        TThreadClient* c = manager.NewThreadClient();
        c->SetOnEvent([&, ch](TThreadClient&) {
            std::lock_guard<std::mutex> l(m);
            order += ch;
        });
        cs.push_back(c);
    }
    ASSERT_TRUE(manager.WaitUntilSettled(5000));
    blocker->SetEvent();
    std::this_thread::sleep_for(10ms); // the manager is inside the blocker's handler
    cs[2]->SetEvent();
    cs[0]->SetEvent();
    cs[1]->SetEvent();
    gate = true;
    ASSERT_TRUE(Eventually([&] {
        std::lock_guard<std::mutex> l(m);
        return order.size() == 3;
    }));
    std::lock_guard<std::mutex> l(m);
    EXPECT_EQ(order, "abc");
}

TEST(ThreadManager, OutsideDescriptorStandsForTheClientsEvent) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    std::atomic<int> bytes{0};
    {
        TThreadManager manager;
        TThreadClient* port = manager.NewThreadClient();
        port->SetOnEvent([&](TThreadClient&) {
            char buf[64];
            ssize_t n = ::read(fds[0], buf, sizeof buf); // the handler consumes the readiness
            if (n > 0)
                bytes += static_cast<int>(n);
        });
        port->AttachWaitHandle(fds[0]);
        ASSERT_TRUE(manager.WaitUntilSettled(5000));
        ASSERT_EQ(::write(fds[1], "\xA5\x03\x01", 3), 3);
        ASSERT_TRUE(Eventually([&] { return bytes == 3; }));
    } // the manager stops with a client still attached
    ::close(fds[0]);
    ::close(fds[1]);
}

TEST(ThreadManager, ClosedOutsideDescriptorFallsBackToTheOwnEvent) {
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    TThreadManager manager;
    std::atomic<int> calls{0};
    TThreadClient* c = manager.NewThreadClient();
    c->SetOnEvent([&](TThreadClient&) { ++calls; });
    c->AttachWaitHandle(fds[0]);
    ASSERT_TRUE(manager.WaitUntilSettled(5000));
    ::close(fds[0]);
    ::close(fds[1]);
    manager.Wake();
    std::this_thread::sleep_for(30ms);
    EXPECT_EQ(calls.load(), 0);
    c->SetEvent();
    ASSERT_TRUE(Eventually([&] { return calls == 1; }));
}

TEST(ThreadManager, HandlerExceptionsDoNotEndTheThread) {
    TThreadManager manager;
    std::atomic<int> calls{0};
    TThreadClient* c = manager.NewThreadClient();
    c->SetOnEvent([&](TThreadClient&) {
        ++calls;
        throw Exception("handler failed");
    });
    c->SetEvent();
    ASSERT_TRUE(Eventually([&] { return calls == 1; }));
    c->SetEvent();
    ASSERT_TRUE(Eventually([&] { return calls == 2; }));
    EXPECT_FALSE(manager.Finished());
}

} // namespace
