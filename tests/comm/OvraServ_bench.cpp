// Records per second through the communication server to the in-process
// simulated drive: request messages of 10 get-word records, each client
// sending its next message when the reply to the last one is in.
//   Clients/1/Drives/1   one client actor, one drive
//   Clients/20/Drives/20 twenty client actors, each with its own drive
//   Clients/20/Drives/1  twenty client actors sharing one drive (serialised
//                        by the device's semaphore)
#include "comm/OvraServ.h"
#include "kernel/MsgTools.h"
#include "kernel/MxMLib20.h"
#include "tests/support/OvraServerFixture.h"
#include "tests/support/SimPortDriver.h"

#include <benchmark/benchmark.h>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

using namespace vo;
using namespace vo::test;

namespace {

constexpr int RecordsPerMessage = 10;

// A client's end: a dispatcher node whose replies wake the benchmark thread.
class TClient {
public:
    TClient() {
        Node.SetOnMsgEvent([this](TMxMessage* Msg) {
            std::lock_guard lock(FMutex);
            FReplies.push_back(Msg);
            FCond.notify_one();
        });
        Node.LogOn(*MxMessageDispatcher(), 0);
    }
    ~TClient() {
        Node.LogOff();
        for (auto* m : FReplies)
            TMxMessage::Free(m);
    }
    void Send(const MyAnsiString& Body) {
        TMxMessage* m = TMxMessage::Create();
        m->SetText(Body);
        m->SetReceiver(OvraServerIdent, OvraServerDomain, 0);
        Node.SendMessage(m);
    }
    // Waits for one reply and checks its records.
    bool Wait() {
        std::unique_lock lock(FMutex);
        if (!FCond.wait_for(lock, std::chrono::seconds(10), [&] { return !FReplies.empty(); }))
            return false;
        TMxMessage* m = FReplies.front();
        FReplies.pop_front();
        lock.unlock();
        TReply r = TGuiSide::Parse(*m);
        TMxMessage::Free(m);
        return r.Records.size() == RecordsPerMessage && r.Records.back().Result == 0;
    }

private:
    TMxMessageNode Node;
    std::mutex FMutex;
    std::condition_variable FCond;
    std::deque<TMxMessage*> FReplies;
};

void BM_RecordsThroughServer(benchmark::State& State) {
    const int clients = static_cast<int>(State.range(0));
    const int drives = static_cast<int>(State.range(1));
    MxEnsureMessaging();
    std::vector<std::unique_ptr<SimRunner>> runners;
    std::vector<std::shared_ptr<TSimPortDriver>> ports;
    for (int d = 0; d < drives; ++d) {
        runners.push_back(std::make_unique<SimRunner>(ServerTestDrive()));
        runners.back()->Transcript().SetCapacity(1000); // bounded over a long run
        runners.back()->Start();
        ports.push_back(std::make_shared<TSimPortDriver>(1, "SIM"));
        ports.back()->Connect(0, *runners.back());
    }
    {
        TOvraServer server;
        std::vector<int32_t> handles;
        for (int d = 0; d < drives; ++d) {
            const MyAnsiString name = "COM" + std::to_string(d + 1);
            server.AddPortDriver(name, ports[static_cast<size_t>(d)]);
            handles.push_back(server.OpenDevice(name, 0, 0, 0, 0, 5));
        }
        std::vector<std::unique_ptr<TClient>> cl;
        std::vector<MyAnsiString> bodies;
        for (int c = 0; c < clients; ++c) {
            cl.push_back(std::make_unique<TClient>());
            std::vector<TRequestRecord> recs;
            for (int i = 0; i < RecordsPerMessage; ++i)
                recs.push_back({2, handles[static_cast<size_t>(c % drives)], GetWordFrame(0x100 + i % 2)});
            bodies.push_back(TGuiSide::RequestBody(recs));
        }
        for (auto _ : State) {
            for (int c = 0; c < clients; ++c)
                cl[static_cast<size_t>(c)]->Send(bodies[static_cast<size_t>(c)]);
            for (auto& c : cl)
                if (!c->Wait()) {
                    State.SkipWithError("no or wrong reply");
                    break;
                }
        }
        State.SetItemsProcessed(State.iterations() * clients * RecordsPerMessage);
        State.counters["records/s"] =
            benchmark::Counter(static_cast<double>(State.iterations() * clients * RecordsPerMessage),
                               benchmark::Counter::kIsRate);
    }
    ports.clear();
    runners.clear();
}

} // namespace

BENCHMARK(BM_RecordsThroughServer)
    ->ArgNames({"Clients", "Drives"})
    ->Args({1, 1})
    ->Args({20, 20})
    ->Args({20, 1})
    ->UseRealTime()
    ->Unit(benchmark::kMicrosecond);

BENCHMARK_MAIN();
