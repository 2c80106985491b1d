// The RS232 link: framing, the receiving state machine (garbage, check sums,
// empty frames, frames in pieces, a frame broken off by a pause), the driver
// on a pseudo-terminal, and the whole way from a main-scheduler actor through
// the client, the server and the pseudo-terminal to the simulated drive and
// back, with the drive's wire faults.
#include "comm/RsDrv.h"

#include "comm/OvraActr.h"
#include "comm/OvraServ.h"
#include "platform/ComPorts.h"
#include "tests/support/KernelFixtures.h"
#include "tests/support/OvraServerFixture.h"
#include "tests/support/Pty.h"
#include "tools/drivesim/SimPty.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <termios.h>

using namespace vo;
using namespace vo::test;
using namespace std::chrono_literals;

namespace {

// ------------------------------------------------------------------ framing

TEST(RsFraming, HeaderLengthAndSumCoverThePayload) {
    EXPECT_EQ(RsFrame(SimHex("10 01 00")), SimHex("A5 03 11 10 01 00"));
    EXPECT_EQ(RsFrame(""), SimHex("A5 00 00"));
    EXPECT_EQ(RsFrame(MyAnsiString(255, '\xFF')), SimHex("A5 FF 01") + MyAnsiString(255, '\xFF'));
    EXPECT_EQ(TRsDriver::Checksum(SimHex("30 05")), 0x35);
    // The length byte cannot announce 256 bytes: no frame with a cut length.
    EXPECT_EQ(ExceptionText([] { RsFrame(MyAnsiString(256, 'x')); }),
              "RsFrame: payload of 256 bytes is longer than 255");
}

// ------------------------------------------------------------------ receiver

struct TPiece {
    int64_t At;
    const char* Hex;
};

// What the receiver reported, as text: "F:<payload>", "S:<received>(<computed>)"
// or "B:<bytes dropped>".
std::vector<std::string> Feed(int64_t Gap, const std::vector<TPiece>& Pieces) {
    std::vector<std::string> events;
    TRsReceiver rx;
    rx.SetGap(Gap);
    rx.SetOnFrame([&](const MyAnsiString& P) { events.push_back("F:" + SimToHex(P)); });
    rx.SetOnChecksumError([&](uint8_t R, uint8_t C) {
        events.push_back("S:" + std::to_string(R) + "(" + std::to_string(C) + ")");
    });
    rx.SetOnBroken([&](size_t N) { events.push_back("B:" + std::to_string(N)); });
    for (const auto& p : Pieces)
        rx.Receive(SimHex(p.Hex), p.At);
    return events;
}

TEST(RsReceiver, FramesOutOfTheByteStream) {
    using V = std::vector<std::string>;
    struct Case {
        const char* What;
        int64_t Gap;
        std::vector<TPiece> Pieces;
        V Events;
    };
    const std::vector<Case> cases = {
        {"a byte before the frame start is dropped", 0, {{0, "00 A5 02 35 30 05"}}, V{"F:30 05"}},
        {"a wrong sum drops the frame", 0, {{0, "A5 02 FF 30 05"}}, V{"S:255(53)"}},
        {"frames back to back", 0, {{0, "A5 01 10 10 A5 01 11 11"}}, V{"F:10", "F:11"}},
        {"a frame in pieces", 0, {{0, "A5"}, {1, "03"}, {2, "01"}, {3, "00 01"}, {4, "00"}}, V{"F:00 01 00"}},
        {"an empty frame does not swallow the next byte", 0, {{0, "A5 00 00 A5 01 10 10"}}, V{"F:", "F:10"}},
        {"an empty frame with a wrong sum", 0, {{0, "A5 00 07"}}, V{"S:7(0)"}},
        {"a pause inside a frame breaks it off", 100, {{0, "A5 05 0F 01 02"}, {400, "A5 02 35 30 05"}}, V{"B:5", "F:30 05"}},
        {"a pause after the header", 100, {{0, "A5 02"}, {400, "A5 01 10 10"}}, V{"B:2", "F:10"}},
        {"a short pause keeps the frame", 100, {{0, "A5 02 35 30"}, {90, "05"}}, V{"F:30 05"}},
        {"a pause between frames costs nothing", 100, {{0, "00"}, {400, "A5 01 10 10"}, {900, "A5 01 11 11"}}, V{"F:10", "F:11"}},
        // Without the resync the lost byte costs the next frame as well: its
        // first bytes complete the broken one.
        {"no resync without a gap", 0, {{0, "A5 05 0F 01 02"}, {400, "A5 02 35 30 05"}}, V{"S:15(223)"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Feed(c.Gap, c.Pieces), c.Events) << c.What;
}

TEST(RsReceiver, AsksForTheWholePayloadAtOnce) {
    MyAnsiString payload;
    for (int i = 0; i < 200; ++i)
        payload.push_back(static_cast<char>(i));
    const MyAnsiString wire = RsFrame(payload);
    int frames = 0;
    MyAnsiString got;
    TRsReceiver rx;
    rx.SetOnFrame([&](const MyAnsiString& P) {
        ++frames;
        got = P;
    });
    EXPECT_EQ(rx.Receive(wire.substr(0, 1), 0), 1);
    EXPECT_EQ(rx.Receive(wire.substr(1, 1), 0), 1);
    EXPECT_EQ(rx.Receive(wire.substr(2, 1), 0), 200); // after the header: the whole payload
    EXPECT_EQ(rx.Receive(wire.substr(3, 50), 0), 150);
    EXPECT_EQ(frames, 0);
    EXPECT_EQ(rx.Receive(wire.substr(53), 0), 1);
    EXPECT_EQ(frames, 1);
    EXPECT_EQ(got, payload);
    EXPECT_EQ(rx.State(), TRsReceiver::stWaitForHeader1);
}

// ------------------------------------------------------------------ the driver on a pseudo-terminal

// Runs functions in a step of a task on a scheduler's thread and waits for
// them: the drivers are opened and closed on the server's thread, whose
// receive tasks they create and free.
class TOnScheduler {
public:
    explicit TOnScheduler(TMxScheduler& Scheduler) : FTask(Scheduler, "RsDrvTest") {
        FTask.SetOnExecute([this](TMxTask& Sender) {
            // Not ready before the job is taken: a job handed in after this
            // makes the signal ready again and the wait below ends at once.
            FSignal.SetReady(false);
            std::function<void()> job;
            std::promise<MyAnsiString>* done;
            {
                std::lock_guard l(FMutex);
                job = std::move(FJob);
                FJob = nullptr;
                done = FDone;
            }
            Sender.WaitFor(FSignal, MxInfinite);
            if (!job)
                return;
            MyAnsiString error;
            try {
                job();
            } catch (const std::exception& e) {
                error = e.what();
            }
            done->set_value(error);
        });
        FTask.Start();
    }
    void Run(std::function<void()> F) {
        std::promise<MyAnsiString> done;
        {
            std::lock_guard l(FMutex);
            FJob = std::move(F);
            FDone = &done;
        }
        FSignal.SetReady(true);
        // The error passes as text: no exception object is shared between threads.
        const MyAnsiString error = done.get_future().get();
        if (!error.empty())
            throw Exception(error);
    }

private:
    std::mutex FMutex;
    std::function<void()> FJob;
    std::promise<MyAnsiString>* FDone = nullptr;
    TMxSignal FSignal;
    TMxTask FTask; // last: destroyed first
};

// Frames delivered to device index 0, collected across threads.
class TInbox {
public:
    TInpEvent Event() {
        return [this](int32_t Index, const MyAnsiString& Frame) {
            std::lock_guard l(FMutex);
            FFrames.push_back(std::to_string(Index) + ":" + SimToHex(Frame));
            FCond.notify_all();
        };
    }
    bool WaitFor(size_t Count, std::chrono::milliseconds Timeout = 5s) {
        std::unique_lock l(FMutex);
        return FCond.wait_for(l, Timeout, [&] { return FFrames.size() >= Count; });
    }
    std::vector<std::string> Frames() {
        std::lock_guard l(FMutex);
        return FFrames;
    }

private:
    std::mutex FMutex;
    std::condition_variable FCond;
    std::vector<std::string> FFrames;
};

class RsDriverTest : public ::testing::Test {
protected:
    static constexpr const char* Name = "COM7";

    void SetUp() override {
        MxEnsureMessaging();
        ComPortTable::Instance().Map(Name, pty.slavePath());
        Scheduler = TMxScheduler::CreateThreaded("OvraScheduler");
        ServerThread = std::make_unique<TOnScheduler>(*Scheduler);
        Driver = std::make_unique<TRsDriver>(1, 38400, Name);
    }
    void TearDown() override {
        Close(*Driver);
        Driver.reset();
        ServerThread.reset();
        Scheduler.reset();
        ComPortTable::Instance().Unmap(Name);
    }
    void Open(TRsDriver& D) {
        ServerThread->Run([&] { D.Open(*Scheduler, Manager); });
    }
    void Close(TRsDriver& D) {
        ServerThread->Run([&] { D.Close(); });
    }
    void Open() {
        Open(*Driver);
        ASSERT_TRUE(Driver->PortIsOpen());
        ASSERT_EQ(Driver->Assign(0, Inbox.Event(), nullptr), 0);
    }
    speed_t LineSpeed() {
        termios t{};
        ::tcgetattr(pty.masterFd(), &t);
        return ::cfgetospeed(&t);
    }

    TScopedTimeOverride OpenDelay{RsDriverOpenDelay, 0};
    Pty pty;
    TThreadManager Manager;
    std::unique_ptr<TMxScheduler> Scheduler;
    std::unique_ptr<TOnScheduler> ServerThread;
    std::unique_ptr<TRsDriver> Driver;
    TInbox Inbox;
};

TEST_F(RsDriverTest, SendsOneFramePerPayload) {
    EXPECT_EQ(Driver->Output(0, SimHex("10 01 00")), OvraResPortNotOpen);
    EXPECT_EQ(Driver->Send(0, SimHex("10 01 00")), OvraResSendFailed); // no port yet
    Open();
    EXPECT_EQ(Driver->PortType(), "RS");
    EXPECT_EQ(Driver->PortCount(), 1);
    EXPECT_EQ(Driver->Output(1, SimHex("10")), OvraResIndexOutOfRange);
    EXPECT_EQ(Driver->Output(0, SimHex("10 01 00")), 0);
    EXPECT_EQ(pty.read(6, 2s), SimHex("A5 03 11 10 01 00"));
    // Bytes that a terminal would take for flow control or line ends pass.
    EXPECT_EQ(Driver->Output(0, SimHex("11 13 0D 0A")), 0);
    EXPECT_EQ(pty.read(7, 2s), SimHex("A5 04 3B 11 13 0D 0A"));

    // Too long for the length byte: refused, nothing on the line.
    CapturedTrace trace;
    EXPECT_EQ(Driver->Output(0, MyAnsiString(256, '\x10')), OvraResSendFailed);
    EXPECT_EQ(Driver->Output(0, MyAnsiString(255, '\x10')), 0);
    const std::string line = pty.read(258, 2s);
    ASSERT_EQ(line.size(), 258u);
    EXPECT_EQ(line.substr(0, 2), SimHex("A5 FF"));
    EXPECT_EQ(pty.readQuiet(100ms, 300ms), "");
    EXPECT_TRUE(trace.Contains("COM7: frame of 256 bytes is too long for the RS232 link"));
}

TEST_F(RsDriverTest, ReceivedFramesReachIndexZero) {
    CapturedTrace trace;
    Open();
    pty.write(SimHex("00 A5 02 35 30 05"));
    ASSERT_TRUE(Inbox.WaitFor(1));
    pty.write(SimHex("A5 02 FF 30 05")); // wrong sum
    pty.write(SimHex("A5 00 00") + SimHex("A5 01 10 10")); // an empty frame, then one byte
    pty.write(SimHex("A5 01 7F 7F")); // the last frame: whatever else came, came before it
    ASSERT_TRUE(Inbox.WaitFor(4));
    EXPECT_EQ(Inbox.Frames(), (std::vector<std::string>{"0:30 05", "0:", "0:10", "0:7F"}));
    EXPECT_TRUE(trace.Contains("***INFO: COM7: Check sum error! 255(53)"));
    EXPECT_EQ(Driver->ChecksumErrors(), 1u);
    EXPECT_EQ(Driver->FramesReceived(), 4u);
}

TEST_F(RsDriverTest, ALongPayloadInPiecesIsDeliveredOnce) {
    Open();
    MyAnsiString payload;
    for (int i = 0; i < 200; ++i)
        payload.push_back(static_cast<char>(255 - i));
    const MyAnsiString wire = RsFrame(payload);
    for (size_t at = 0; at < wire.size(); at += 37) {
        pty.write(wire.substr(at, 37));
        std::this_thread::sleep_for(5ms);
    }
    pty.write(SimHex("A5 01 7F 7F")); // the last frame: whatever else came, came before it
    ASSERT_TRUE(Inbox.WaitFor(2));
    ASSERT_EQ(Inbox.Frames().size(), 2u);
    EXPECT_EQ(Inbox.Frames()[0], "0:" + SimToHex(payload));
    EXPECT_EQ(Inbox.Frames()[1], "0:7F");
}

TEST_F(RsDriverTest, APauseInsideAFrameResynchronises) {
    TScopedTimeOverride gap(RsDriverResyncGap, 100);
    CapturedTrace trace;
    Open();
    pty.write(SimHex("A5 05 0F 01 02")); // three bytes of the payload never come
    std::this_thread::sleep_for(400ms);
    pty.write(SimHex("A5 02 35 30 05"));
    ASSERT_TRUE(Inbox.WaitFor(1));
    EXPECT_EQ(Inbox.Frames(), (std::vector<std::string>{"0:30 05"}));
    EXPECT_EQ(Driver->BrokenFrames(), 1u);
    EXPECT_TRUE(trace.Contains("COM7: incomplete frame dropped after a pause (5 bytes)"));
}

TEST_F(RsDriverTest, BaudRateForTheNextOpeningOnly) {
    ASSERT_TRUE(Driver->SetBaudRate(9600));
    Open();
    EXPECT_EQ(LineSpeed(), B9600);
    Close(*Driver);
    EXPECT_FALSE(Driver->PortIsOpen());
    EXPECT_EQ(Driver->BaudRate(), 38400u);
    Open(*Driver);
    EXPECT_EQ(LineSpeed(), B38400);
    EXPECT_EQ(Driver->DefaultBaudRate(), 38400u);

    // Close and open again: frames still arrive, once.
    ASSERT_EQ(Driver->Assign(0, Inbox.Event(), nullptr), 0);
    pty.write(SimHex("A5 01 10 10"));
    ASSERT_TRUE(Inbox.WaitFor(1));
    EXPECT_EQ(Inbox.Frames(), (std::vector<std::string>{"0:10"}));
}

TEST_F(RsDriverTest, APortThatDoesNotOpenLeavesTheDriverClosed) {
    TRsDriver missing(2, 38400, "COM250");
    EXPECT_EQ(ExceptionText([&] { Open(missing); }), "Port COM250 could not be opened!");
    EXPECT_FALSE(missing.PortIsOpen());
    EXPECT_EQ(missing.Output(0, SimHex("10")), OvraResPortNotOpen);
    // Opening one port twice: the second opening finds it open and does nothing.
    Open();
    Open(*Driver);
    EXPECT_TRUE(Driver->PortIsOpen());
}

TEST_F(RsDriverTest, ClosingWithFramesInFlight) {
    Open();
    for (int i = 0; i < 50; ++i)
        pty.write(SimHex("A5 01 10 10"));
    Close(*Driver);
    Open(*Driver);
    Close(*Driver);
    EXPECT_FALSE(Driver->PortIsOpen());
}

TEST_F(RsDriverTest, EachOpeningStartsOutsideAFrame) {
    Open();
    pty.write(SimHex("A5 05 0F 01")); // a frame broken off by the closing
    ASSERT_TRUE(pty.readQuiet(50ms, 200ms).empty());
    Close(*Driver);
    pty.drain();
    Open();
    pty.write(SimHex("A5 01 10 10"));
    ASSERT_TRUE(Inbox.WaitFor(1));
    EXPECT_EQ(Inbox.Frames(), (std::vector<std::string>{"0:10"}));
}

// ------------------------------------------------------------------ end to end

// A drive with A = 3 and D = 2 behind a pseudo-terminal, the server with an
// RS232 driver for "COM7" on it, and the client on the main scheduler.
class RsEndToEndTest : public MainSchedulerFixture {
protected:
    void SetUp() override {
        MainSchedulerFixture::SetUp();
        MxEnsureMessaging();
        SimIdentity id;
        id.protocolVersion = 0x31;
        id.addrFieldSize = 3;
        id.dataFieldSize = 2;
        SimDrive drive(id);
        drive.AddRegion("RAM", SimRegionKind::Ram, 0, 0x2000);
        drive.Poke(0x1234, SimHex("78 56"));
        drive.SetRequireLogin(false);
        Runner = std::make_unique<SimRunner>(std::move(drive));
        Line = std::make_unique<SimPtyTransport>(*Runner);
        Runner->Start();
        ComPortTable::Instance().Map("COM7", Line->SlavePath());

        Server = std::make_unique<TOvraServer>();
        SetOvraServer(Server.get());
        // Opened under the name the server lists at its position.
        ASSERT_TRUE(Server->AddPortDriver("COM7", std::make_shared<TRsDriver>(1, 38400)));
        Gui = std::make_unique<TGuiSide>();
        Drive.SetPortHandle(Gui->Open("COM7"));
        ASSERT_EQ(Drive.PortHandle(), 0) << (Gui->LastReply.size() > 2 ? Gui->LastReply[2] : "");
        Client = std::make_unique<TOvraClient>();
    }
    void TearDown() override {
        Client.reset();
        // Closed through the server, so that the port is closed on its thread.
        EXPECT_EQ(Gui->Command({"CloseDevice", "0"}), (std::vector<MyAnsiString>{"CloseDevice", "OK"}));
        SetOvraServer(nullptr);
        Server.reset();
        Gui.reset();
        Line.reset();
        Runner.reset();
        ComPortTable::Instance().Unmap("COM7");
        MainSchedulerFixture::TearDown();
    }

    // Executes one raw record and waits for its response on the main scheduler.
    bool Exchange(TOvraActor& Actor, const MyAnsiString& Frame) {
        TRawFramePattern raw(&Drive);
        Actor.Clear();
        raw.Put(Actor, Frame, 0);
        bool done = false;
        Actor.SetOnResponse([&](TOvraActor&) {
            done = std::this_thread::get_id() == FGuiThread;
        });
        Actor.Execute();
        return RunUntil([&] { return done; }, 10s);
    }

    size_t Sent(uint8_t Command) {
        size_t n = 0;
        for (const auto& f : Runner->Transcript().Frames(SimDirection::In))
            if (!f.empty() && static_cast<uint8_t>(f[0]) == Command)
                ++n;
        return n;
    }

    TScopedTimeOverride OpenDelay{RsDriverOpenDelay, 0};
    TScopedTimeOverride AnswerTimeout{ServerActorAnswerTimeout, 300};
    std::thread::id FGuiThread = std::this_thread::get_id();
    std::unique_ptr<SimRunner> Runner;
    std::unique_ptr<SimPtyTransport> Line;
    std::unique_ptr<TOvraServer> Server;
    std::unique_ptr<TGuiSide> Gui;
    std::unique_ptr<TOvraClient> Client;
    TOvraService Drive;
};

TEST_F(RsEndToEndTest, ARawRecordReachesTheDriveAndItsAnswerComesBack) {
    TOvraActorLease actor(*Client);
    ASSERT_TRUE(Exchange(*actor, SimHex("10 34 12 00")));
    EXPECT_EQ(actor->GetResult(), 0);
    EXPECT_EQ(TRawFramePattern(&Drive).GetResponse(*actor), SimHex("10 00 78 56"));

    const auto entries = Runner->Transcript().Entries();
    ASSERT_GE(entries.size(), 2u);
    EXPECT_EQ(entries[0].direction, SimDirection::In);
    EXPECT_EQ(entries[0].frame, SimHex("10 34 12 00"));
    EXPECT_EQ(entries[0].wire, SimHex("A5 04 56 10 34 12 00"));
    EXPECT_EQ(entries[1].direction, SimDirection::Out);
    EXPECT_EQ(entries[1].wire, SimHex("A5 04 DE 10 00 78 56"));
}

TEST_F(RsEndToEndTest, ACheckSumErrorIsLoggedAndTheResendAnswered) {
    CapturedTrace trace;
    Runner->Faults().Add("cmd=10 badsum");
    TOvraActorLease actor(*Client);
    ASSERT_TRUE(Exchange(*actor, SimHex("10 34 12 00")));
    EXPECT_EQ(actor->GetResult(), 0);
    EXPECT_EQ(TRawFramePattern(&Drive).GetResponse(*actor), SimHex("10 00 78 56"));
    EXPECT_EQ(Sent(0x10), 2u);

    // "COM7: Check sum error! <received>(<computed>)", the computed sum
    // being that of the answer 10 00 78 56.
    bool logged = false;
    for (const auto& l : trace.Lines()) {
        const auto at = l.find("COM7: Check sum error! ");
        if (at == std::string::npos)
            continue;
        EXPECT_EQ(l.substr(l.size() - 5), "(222)") << l;
        EXPECT_NE(l.substr(at + 23, 4), "222(") << l;
        logged = true;
    }
    EXPECT_TRUE(logged);
}

TEST_F(RsEndToEndTest, WireFaultsOfTheDriveAreAnsweredAtTheFirstSend) {
    const char* faults[] = {"cmd=10 garbage=00135AFF", "cmd=10 emptyframe", "cmd=10 bytewise=3"};
    TOvraActorLease actor(*Client);
    for (const char* f : faults) {
        SCOPED_TRACE(f);
        Runner->Faults().Clear();
        Runner->Transcript().Clear();
        Runner->Faults().Add(f);
        ASSERT_TRUE(Exchange(*actor, SimHex("10 34 12 00")));
        EXPECT_EQ(actor->GetResult(), 0);
        EXPECT_EQ(TRawFramePattern(&Drive).GetResponse(*actor), SimHex("10 00 78 56"));
        EXPECT_EQ(Sent(0x10), 1u);
    }
}

TEST_F(RsEndToEndTest, RecordsOfABatchOneAfterTheOther) {
    TRawFramePattern raw(&Drive);
    TOvraActorLease actor(*Client);
    for (uint32_t a = 0x1230; a < 0x1240; ++a)
        raw.Put(*actor, SimHex("10") + SimLE(a, 3), static_cast<int32_t>(a));
    raw.Put(*actor, SimHex("31") + SimLE(0x1000, 3) + MyAnsiString(200, '\x5A'), 1); // a long request
    raw.Put(*actor, SimHex("30") + SimLE(0x1000, 3) + SimHex("C8"), 2); // and a long answer
    bool done = false;
    actor->SetOnResponse([&](TOvraActor&) { done = true; });
    actor->Execute();
    ASSERT_TRUE(RunUntil([&] { return done; }, 20s));
    actor->Reset();
    for (int i = 0; i < 16; ++i) {
        EXPECT_EQ(actor->GetResult(), 0);
        EXPECT_EQ(raw.GetResponse(*actor).size(), 4u);
        actor->Next();
    }
    EXPECT_EQ(actor->GetResult(), 0);
    actor->Next();
    EXPECT_EQ(actor->GetResult(), 0);
    EXPECT_EQ(raw.GetResponse(*actor), SimHex("30 00") + MyAnsiString(200, '\x5A'));
}

TEST(RsEndToEnd, APortThatDoesNotOpenAnswersTheOpenWithItsError) {
    TScopedTimeOverride openDelay(RsDriverOpenDelay, 0);
    MxEnsureMessaging();
    TOvraServer server;
    ASSERT_TRUE(server.AddPortDriver("COM250", std::make_shared<TRsDriver>(1, 38400, "COM250")));
    TGuiSide gui;
    EXPECT_EQ(gui.Open("COM250"), -1);
    EXPECT_EQ(gui.LastReply, (std::vector<MyAnsiString>{"OpenDevice", "ERROR", "Port COM250 could not be opened!"}));

    // A device another program holds: the reply says so.
    Pty pty;
    SerialPort other;
    other.Open(pty.slavePath());
    ComPortTable::Instance().Map("COM249", pty.slavePath());
    ASSERT_TRUE(server.AddPortDriver("COM249", std::make_shared<TRsDriver>(2, 38400, "COM249")));
    EXPECT_EQ(gui.Open("COM249"), -1);
    ComPortTable::Instance().Unmap("COM249");
    EXPECT_EQ(gui.LastReply,
              (std::vector<MyAnsiString>{"OpenDevice", "ERROR",
                                         "Port COM249 could not be opened! COM249 (" + pty.slavePath() +
                                             ") is in use by another program"}));
}

} // namespace
