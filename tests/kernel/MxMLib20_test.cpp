#include "kernel/MxMLib20.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/KernelFixtures.h"

using namespace vo;
using namespace std::chrono_literals;

namespace {

using test::ExpectError;

class Messages : public test::MainSchedulerFixture {
protected:
    static void SetUpTestSuite() { MxEnsureMessaging(); }
    TMxMessagePool& Pool() { return *MxMessagePool(); }

    TMxMessage* Make(std::uint8_t info, const MyAnsiString& body) {
        TMxMessage* m = TMxMessage::Create();
        m->Info = info;
        m->SetText(body);
        return m;
    }
};

// A main-scheduler task that collects every message of its queue.
struct Collector {
    TMxQueue Queue;
    std::vector<MyAnsiString> Bodies;
    std::vector<std::uint8_t> Infos;
    std::vector<TMxMsgAddr> Receivers;
    TMxTask Task{"Collector"};

    Collector() {
        Task.SetOnExecute([this](TMxTask& t) {
            while (TMxMessage* m = Queue.GetMessage()) {
                Bodies.push_back(m->GetText());
                Infos.push_back(m->Info);
                Receivers.push_back(m->Receiver);
                TMxMessage::Free(m);
            }
            t.WaitFor(Queue, MxInfinite);
        });
        Task.Start();
    }
};

} // namespace

TEST_F(Messages, PoolHandsOutAndTakesBack) {
    TMxMessage* a = TMxMessage::Create();
    const int total = Pool().CountTotalMessages();
    const int free0 = Pool().CountFreeMessages();
    a->SetText("abc");
    a->SetReceiver(7, 0, 0x42);
    TMxMessage::Free(a);
    EXPECT_EQ(Pool().CountFreeMessages(), free0 + 1);

    // The same message comes back, body cleared, addresses kept.
    TMxMessage* b = TMxMessage::Create();
    EXPECT_EQ(b, a);
    EXPECT_EQ(b->GetSize(), 0);
    EXPECT_EQ(b->Receiver.Ident, 7);
    EXPECT_EQ(b->Info, 0x42);
    EXPECT_EQ(b->Next, nullptr);
    EXPECT_EQ(Pool().CountTotalMessages(), total);

    // Giving it back twice would hand it out twice: refused.
    TMxMessage::Free(b);
    ExpectError([&] { TMxMessage::Free(b); }, "TMxMessagePool.PutMessage: Message is already free");
    TMxMessage::Free(nullptr); // allowed

    TMxMessage* c = Pool().GetMessage();
    Pool().PutMessage(c);
    EXPECT_EQ(c, nullptr);
}

TEST_F(Messages, BodyTextAndReplyAddress) {
    TMxMessage* m = TMxMessage::Create();
    std::string body(300, '\0');
    for (std::size_t i = 0; i < body.size(); ++i) body[i] = static_cast<char>(i);
    m->SetText(body);
    EXPECT_EQ(m->GetSize(), 300);
    EXPECT_EQ(m->GetText(), body);
    m->AddByte(0xFF);
    EXPECT_EQ(m->GetText(), body + "\xFF");
    m->SetText("x");
    EXPECT_EQ(m->GetText(), "x");
    m->Clear();
    EXPECT_EQ(m->GetSize(), 0);

    m->Sender = {12, 3};
    m->Info = 9;
    TMxMessage* r = TMxMessage::Create();
    r->SetReceiverFromSender(*m);
    EXPECT_EQ(r->Receiver, (TMxMsgAddr{12, 3}));
    EXPECT_EQ(r->Info, 9);
    TMxMessage::Free(m);
    TMxMessage::Free(r);
}

TEST_F(Messages, IdentsAreGivenOutLowestFirst) {
    TMxMessageDispatcher d;
    TMxQueue q0, q1, q2, q3;
    q0.LogOn(d, 0);
    q1.LogOn(d, 0);
    q2.LogOn(d, 0);
    EXPECT_EQ(q0.GetQueueIdent(), 0);
    EXPECT_EQ(q1.GetQueueIdent(), 1);
    EXPECT_EQ(q2.GetQueueIdent(), 2);
    EXPECT_EQ(d.NodeCount(), 3);
    q1.LogOff();
    EXPECT_EQ(d.NodeCount(), 2);
    q3.LogOn(d, 0);
    EXPECT_EQ(q3.GetQueueIdent(), 1);
    q1.LogOn(d, 0);
    EXPECT_EQ(q1.GetQueueIdent(), 3);
    {
        TMxQueue q4;
        q4.LogOn(d, 0);
        EXPECT_EQ(q4.GetQueueIdent(), 4);
    } // the destructor logs off
    EXPECT_EQ(d.NodeCount(), 4);
    TMxQueue q5;
    q5.LogOn(d, 0);
    EXPECT_EQ(q5.GetQueueIdent(), 4);
}

TEST_F(Messages, WellKnownIdentsAreTakenExplicitly) {
    TMxMessageDispatcher d;
    TMxQueue server, other, late;
    server.LogOnAt(d, 1);
    EXPECT_EQ(server.GetQueueIdent(), 1);
    other.LogOn(d, 0); // the free ident below it is handed out first
    EXPECT_EQ(other.GetQueueIdent(), 0);
    late.LogOn(d, 0);
    EXPECT_EQ(late.GetQueueIdent(), 2);
    TMxQueue clash;
    test::ExpectError([&] { clash.LogOnAt(d, 1); }, "MessageDispatcher: node ident 1 is taken");
    EXPECT_FALSE(clash.LoggedOn());
    EXPECT_EQ(d.NodeCount(), 3);
    server.LogOff();
    clash.LogOnAt(d, 1);
    EXPECT_EQ(clash.GetQueueIdent(), 1);
}

TEST_F(Messages, DomainsAndMisuse) {
    TMxMessageDispatcher d;
    TMxQueue a, b, idle;
    a.LogOn(d, 5);
    EXPECT_EQ(a.GetQueueIdent(), 0);
    EXPECT_EQ(a.MessageNode()->Domain(), 5);
    ExpectError([&] { b.LogOn(d, 5); }, "RegisterDomain: domain ID conflict");
    EXPECT_FALSE(b.LoggedOn());
    b.LogOn(d, 6);

    TMxMessageNode loose;
    ExpectError([&] { d.LogOffNode(loose); }, "MessageDispatcher: node log off failed");

    TMxMessage* m = TMxMessage::Create();
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] { a.LogOn(d, 7); }, "TMxQueue.LogOn: Queue is already logged on"},
        {[&] { idle.LogOff(); }, "TMxQueue.LogOff: Queue is not logged on"},
        {[&] { idle.SendMessage(m); }, "TMxQueue.SendMessage: Queue is not logged on"},
        {[&] { idle.GetQueueIdent(); }, "TMxQueue.QueueId: Queue is not logged on"},
        {[&] { loose.LogOff(); }, "TMxMessageNode.LogOff: node is not logged on"},
        {[&] { loose.SendMessage(m); }, "TMxMessageNode.SendMessage: node is not logged on"},
        {[&] { a.MessageNode()->LogOn(d, 9); }, "TMxMessageNode.LogOn: node is already logged on"},
    };
    for (const auto& [op, text] : cases) ExpectError(op, text);
    TMxMessage::Free(m); // the caller kept it

    a.LogOff();
    TMxQueue c;
    c.LogOn(d, 5); // the domain is free again
}

TEST_F(Messages, UndeliverableMessagesReturnToPool) {
    TMxMessageDispatcher d;
    TMxQueue q;
    q.LogOn(d, 0);
    TMxQueue gone;
    gone.LogOn(d, 0);
    const std::uint16_t goneIdent = gone.GetQueueIdent();
    gone.LogOff();

    struct Case {
        std::uint16_t ident;
        std::uint8_t domain;
        const char* text;
    };
    const Case cases[] = {
        {goneIdent, 0, "Message receiver node doesn't exist"},
        {999, 0, "Message receiver node doesn't exist"},
        {0, 17, "Message receiver domain doesn't exist"},
    };
    for (const auto& c : cases) {
        TMxMessage* m = TMxMessage::Create();
        m->SetReceiver(c.ident, c.domain, 1);
        const int free0 = Pool().CountFreeMessages();
        ExpectError([&] { q.SendMessage(m); }, c.text);
        EXPECT_EQ(Pool().CountFreeMessages(), free0 + 1) << c.text;
    }

    // A node without handler does not take the message either.
    TMxMessageNode bare;
    bare.LogOn(d, 0);
    TMxMessage* m = TMxMessage::Create();
    m->SetReceiver(bare.Ident(), 0, 1);
    const int free0 = Pool().CountFreeMessages();
    ExpectError([&] { q.SendMessage(m); }, "TMxMessageNode: OnMsgEvent not assigned");
    EXPECT_EQ(Pool().CountFreeMessages(), free0 + 1);
}

TEST_F(Messages, DomainDeliveryAndReplies) {
    TMxMessageDispatcher d;
    TMxQueue client, server;
    client.LogOn(d, 0);
    server.LogOn(d, 3);

    TMxMessage* m = Make(0x21, "request");
    m->SetReceiver(0x1234, 3, 0x21); // the ident is the domain owner's to use
    client.SendMessage(m);
    ASSERT_EQ(server.MessageCount(), 1);
    TMxMessage* got = server.GetMessage();
    EXPECT_EQ(got->Receiver, (TMxMsgAddr{0x1234, 0}));
    EXPECT_EQ(got->Sender, (TMxMsgAddr{client.GetQueueIdent(), 0}));
    EXPECT_EQ(got->GetText(), "request");

    // The server answers through its own queue: the sender address is its domain.
    got->SetReceiverFromSender(*got);
    got->Sender.Ident = 0x77; // a domain owner picks its own ident
    got->SetText("reply");
    server.SendMessage(got);
    TMxMessage* reply = client.GetMessage();
    ASSERT_NE(reply, nullptr);
    EXPECT_EQ(reply->Info, 0x21);
    EXPECT_EQ(reply->GetText(), "reply");
    EXPECT_EQ(reply->Sender.Domain, 3);
    // A domain node stamps only its domain; the ident stays the sender's choice.
    EXPECT_EQ(reply->Sender.Ident, 0x77);
    TMxMessage::Free(reply);
}

TEST_F(Messages, QueueIsFifoAndGuardsLinks) {
    TMxQueue q;
    TMxMessage* a = Make(1, "a");
    TMxMessage* b = Make(2, "b");
    TMxMessage* c = Make(3, "c");
    q.PutMessage(a);
    q.PutMessage(b);
    q.PutMessage(c);
    EXPECT_EQ(q.MessageCount(), 3);

    // Linked messages can be neither freed nor queued again, the tail included.
    ExpectError([&] { TMxMessage::Free(a); }, "TMxMessagePool.PutMessage: Message is in use");
    ExpectError([&] { TMxMessage::Free(c); }, "TMxMessagePool.PutMessage: Message is in use");
    ExpectError([&] { q.PutMessage(b); }, "PutMessage Error");
    TMxQueue other;
    ExpectError([&] { other.PutMessage(c); }, "PutMessage Error");
    EXPECT_EQ(q.MessageCount(), 3);

    for (const char* want : {"a", "b", "c"}) {
        TMxMessage* m = q.GetMessage();
        ASSERT_NE(m, nullptr);
        EXPECT_EQ(m->GetText(), want);
        EXPECT_EQ(m->Next, nullptr);
        TMxMessage::Free(m);
    }
    EXPECT_EQ(q.GetMessage(), nullptr);
    EXPECT_EQ(q.MessageCount(), 0);

    TMxMessage* freed = Make(4, "d");
    TMxMessage::Free(freed);
    ExpectError([&] { q.PutMessage(freed); }, "PutMessage Error");
}

TEST_F(Messages, DestroyedQueueReturnsMessagesAndResetsWaiters) {
    auto q = std::make_unique<TMxQueue>();
    q->PutMessage(Make(1, "left over"));
    q->PutMessage(Make(2, "left over"));
    const int free0 = Pool().CountFreeMessages();
    q.reset();
    EXPECT_EQ(Pool().CountFreeMessages(), free0 + 2);

    q = std::make_unique<TMxQueue>();
    std::vector<TMxExecuteInfo> infos;
    TMxTask t("Waiter");
    bool waiting = false;
    t.SetOnExecute([&](TMxTask& x) {
        if (waiting) {
            infos.push_back(x.ExecuteInfo());
            x.Terminate();
            return;
        }
        waiting = true;
        x.WaitFor(*q, MxInfinite);
    });
    t.Start();
    ASSERT_TRUE(RunUntil([&] { return q->WaitingCount() == 1; }));
    q.reset();
    ASSERT_TRUE(RunUntil([&] { return !infos.empty(); }));
    EXPECT_EQ(infos[0], eiReset);
}

TEST_F(Messages, WaitResults) {
    TMxQueue q;
    std::vector<TMxExecuteInfo> infos;
    std::vector<std::int64_t> timeouts{MxNoWait, 20, MxInfinite};
    std::size_t next = 0;
    bool waited = false;
    TMxTask t("Waiter");
    t.SetOnExecute([&](TMxTask& x) {
        if (waited) infos.push_back(x.ExecuteInfo());
        waited = false;
        if (next == timeouts.size()) {
            x.Terminate();
            return;
        }
        waited = true;
        x.WaitFor(q, timeouts[next++]);
    });
    t.Start();
    // -1 on an empty queue: unavailable at once; 20 ms: time-out; infinite: the message.
    ASSERT_TRUE(RunUntil([&] { return infos.size() == 2; }));
    EXPECT_EQ(infos[0], eiUnavailable);
    EXPECT_EQ(infos[1], eiTimeout);
    ASSERT_TRUE(RunUntil([&] { return q.WaitingCount() == 1; }));
    q.PutMessage(Make(1, "x"));
    ASSERT_TRUE(RunUntil([&] { return infos.size() == 3; }));
    EXPECT_EQ(infos[2], eiSuccess);
    TMxMessage::Free(q.GetMessage());

    // A queued message lets the wait continue at once, even with -1.
    q.PutMessage(Make(1, "y"));
    TMxTask u("Immediate");
    TMxExecuteInfo seen = eiAbort;
    int steps = 0;
    u.SetOnExecute([&](TMxTask& x) {
        if (++steps == 1) {
            x.WaitFor(q, MxNoWait);
            seen = x.ExecuteInfo();
        } else {
            x.Terminate();
        }
    });
    u.Start();
    ASSERT_TRUE(RunUntil([&] { return steps == 2; }));
    EXPECT_EQ(seen, eiSuccess);
    TMxMessage::Free(q.GetMessage());
}

TEST_F(Messages, OneMessageResumesTheFirstWaiterOnly) {
    TMxQueue q;
    std::vector<std::string> resumed;
    auto make = [&](const char* name) {
        auto t = std::make_unique<TMxTask>(name);
        auto waiting = std::make_shared<bool>(false);
        t->SetOnExecute([&, name, waiting](TMxTask& x) {
            if (*waiting) {
                resumed.push_back(name);
                x.Terminate();
                return;
            }
            *waiting = true;
            x.WaitFor(q, MxInfinite);
        });
        return t;
    };
    auto first = make("first");
    auto second = make("second");
    first->Start();
    ASSERT_TRUE(RunUntil([&] { return q.WaitingCount() == 1; }));
    second->Start();
    ASSERT_TRUE(RunUntil([&] { return q.WaitingCount() == 2; }));

    q.PutMessage(Make(1, "one"));
    Pump.RunPending(100);
    EXPECT_EQ(resumed, (std::vector<std::string>{"first"}));
    EXPECT_EQ(q.WaitingCount(), 1);
    q.PutMessage(Make(1, "two"));
    Pump.RunPending(100);
    EXPECT_EQ(resumed, (std::vector<std::string>{"first", "second"}));
    TMxMessage::Free(q.GetMessage());
    TMxMessage::Free(q.GetMessage());
}

// Messages sent from other threads wake the main-scheduler task that waits.
TEST_F(Messages, CrossThreadDeliveryWakesMainTask) {
    Collector c;
    c.Queue.LogOn(0);
    TMxQueue sender;
    sender.LogOn(0);
    const std::uint16_t to = c.Queue.GetQueueIdent();
    ASSERT_TRUE(RunUntil([&] { return c.Queue.WaitingCount() == 1; }));

    std::thread th([&] {
        for (int i = 0; i < 50; ++i) {
            TMxMessage* m = TMxMessage::Create();
            m->SetReceiver(to, 0, static_cast<std::uint8_t>(i));
            m->SetText(std::to_string(i));
            sender.SendMessage(m);
        }
    });
    ASSERT_TRUE(RunUntil([&] { return c.Bodies.size() == 50; }));
    th.join();
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(c.Bodies[static_cast<std::size_t>(i)], std::to_string(i));
        EXPECT_EQ(c.Infos[static_cast<std::size_t>(i)], i);
    }
}

// Many messages between a threaded-scheduler task and main-scheduler tasks,
// and from plain threads: every one arrives exactly once, in order per sender.
TEST_F(Messages, StressNoneLostOrDuplicated) {
    constexpr int PerSender = 2000;
    constexpr int Threads = 3;
    auto sched = TMxScheduler::CreateThreaded("StressServer");

    // Server on the threaded scheduler: answers every request with its body.
    TMxQueue serverQueue;
    serverQueue.LogOn(0);
    std::atomic<int> served{0};
    TMxTask server(*sched, "Server");
    server.SetOnExecute([&](TMxTask& t) {
        while (TMxMessage* m = serverQueue.GetMessage()) {
            m->SetReceiverFromSender(*m);
            ++served; // counted before the reply can reach the client
            serverQueue.SendMessage(m);
        }
        t.WaitFor(serverQueue, MxInfinite);
    });
    server.Start();

    // Client on the main scheduler: keeps up to 8 requests in flight.
    TMxQueue clientQueue;
    clientQueue.LogOn(0);
    int sent = 0;
    std::vector<int> replies;
    std::vector<int> replyInfos;
    TMxTask client("Client");
    client.SetOnExecute([&](TMxTask& t) {
        while (TMxMessage* m = clientQueue.GetMessage()) {
            replies.push_back(std::stoi(m->GetText()));
            replyInfos.push_back(m->Info);
            TMxMessage::Free(m);
        }
        while (sent < PerSender && sent - static_cast<int>(replies.size()) < 8) {
            TMxMessage* m = TMxMessage::Create();
            m->SetReceiver(serverQueue.GetQueueIdent(), 0, static_cast<std::uint8_t>(sent & 0xFF));
            m->SetText(std::to_string(sent));
            clientQueue.SendMessage(m);
            ++sent;
        }
        t.WaitFor(clientQueue, MxInfinite);
    });
    client.Start();

    // Plain threads flood a collector on the main scheduler at the same time.
    TMxQueue sink;
    sink.LogOn(0);
    std::vector<std::vector<int>> perThread(Threads);
    TMxTask collector("Sink");
    int collected = 0;
    collector.SetOnExecute([&](TMxTask& t) {
        while (TMxMessage* m = sink.GetMessage()) {
            perThread[m->Info].push_back(std::stoi(m->GetText()));
            ++collected;
            TMxMessage::Free(m);
        }
        t.WaitFor(sink, MxInfinite);
    });
    collector.Start();
    std::vector<std::thread> threads;
    for (int k = 0; k < Threads; ++k)
        threads.emplace_back([&, k] {
            TMxQueue own;
            own.LogOn(0);
            for (int i = 0; i < PerSender; ++i) {
                TMxMessage* m = TMxMessage::Create();
                m->SetReceiver(sink.GetQueueIdent(), 0, static_cast<std::uint8_t>(k));
                m->SetText(std::to_string(i));
                own.SendMessage(m);
            }
        });

    const bool done = RunUntil(
        [&] { return replies.size() == static_cast<std::size_t>(PerSender) && collected == Threads * PerSender; },
        60s);
    for (auto& th : threads) th.join();
    ASSERT_TRUE(done) << replies.size() << " replies, " << collected << " collected";

    for (int i = 0; i < PerSender; ++i) {
        ASSERT_EQ(replies[static_cast<std::size_t>(i)], i);
        ASSERT_EQ(replyInfos[static_cast<std::size_t>(i)], i & 0xFF);
    }
    for (int k = 0; k < Threads; ++k) {
        ASSERT_EQ(perThread[static_cast<std::size_t>(k)].size(), static_cast<std::size_t>(PerSender));
        for (int i = 0; i < PerSender; ++i) ASSERT_EQ(perThread[static_cast<std::size_t>(k)][static_cast<std::size_t>(i)], i);
    }
    EXPECT_EQ(served.load(), PerSender);
    Pump.RunPending(100);
    EXPECT_EQ(clientQueue.MessageCount(), 0);
    EXPECT_EQ(sink.MessageCount(), 0);
    // The server waits on its queue again before its task goes away.
    while (serverQueue.WaitingCount() == 0) std::this_thread::sleep_for(1ms);
}

// The dispatcher keeps a node alive while a message is being delivered to it.
TEST_F(Messages, LogOffWaitsForDeliveryInProgress) {
    TMxMessageDispatcher d;
    TMxQueue sender;
    sender.LogOn(d, 0);
    auto node = std::make_unique<TMxMessageNode>();
    std::atomic<bool> inHandler{false}, release{false};
    std::atomic<int> delivered{0};
    node->SetOnMsgEvent([&](TMxMessage* m) {
        inHandler = true;
        while (!release) std::this_thread::sleep_for(1ms);
        ++delivered;
        TMxMessage::Free(m);
    });
    node->LogOn(d, 0);
    const std::uint16_t ident = node->Ident();
    std::thread th([&] {
        TMxMessage* m = TMxMessage::Create();
        m->SetReceiver(ident, 0, 0);
        sender.SendMessage(m);
    });
    while (!inHandler) std::this_thread::sleep_for(1ms);
    std::atomic<bool> loggedOff{false};
    std::thread off([&] {
        node->LogOff();
        loggedOff = true;
    });
    std::this_thread::sleep_for(20ms);
    EXPECT_FALSE(loggedOff.load());
    release = true;
    th.join();
    off.join();
    EXPECT_TRUE(loggedOff.load());
    EXPECT_EQ(delivered.load(), 1);
}
