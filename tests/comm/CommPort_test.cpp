#include "comm/CommPort.h"

#include "kernel/Debug.h"
#include "kernel/ThrdMan.h"
#include "platform/ComPorts.h"
#include "tests/support/ExpectError.h"
#include "tests/support/DeniedAccess.h"
#include "tests/support/Pty.h"
#include "tests/support/TtyInput.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using namespace vo;
using vo::test::ExceptionText;
using vo::test::Pty;
using vo::test::ScopedDeniedAccess;
using vo::test::TtyInputPending;
using vo::test::WaitForTtyInput;

namespace {

// Collects what the port hands to its receive event. The policy decides what
// the receiver asks for next and whether it stops.
struct Receiver {
    using Policy = std::function<void(const std::string& Piece, uint8_t& NextSize, bool& Stop)>;

    std::mutex Mutex;
    std::condition_variable Cond;
    std::vector<std::string> Pieces;
    std::vector<std::thread::id> Threads;
    Policy Decide;

    TRsRxEvent Event() {
        return [this](const MyAnsiString& Data, uint8_t& NextSize, bool& Stop) {
            if (Decide)
                Decide(Data, NextSize, Stop);
            std::lock_guard<std::mutex> l(Mutex);
            Pieces.push_back(Data);
            Threads.push_back(std::this_thread::get_id());
            Cond.notify_all();
        };
    }
    std::string Joined() {
        std::lock_guard<std::mutex> l(Mutex);
        std::string s;
        for (auto& p : Pieces)
            s += p;
        return s;
    }
    std::size_t Count() {
        std::lock_guard<std::mutex> l(Mutex);
        std::size_t n = 0;
        for (auto& p : Pieces)
            n += p.size();
        return n;
    }
    // Waits until at least n bytes were received.
    bool WaitFor(std::size_t n, std::chrono::milliseconds timeout = 5s) {
        std::unique_lock<std::mutex> l(Mutex);
        return Cond.wait_for(l, timeout, [&] {
            std::size_t got = 0;
            for (auto& p : Pieces)
                got += p.size();
            return got >= n;
        });
    }
};

class LogCapture {
public:
    LogCapture() {
        Manager.SetDebugingEnabled(true);
        Manager.SetDebugMemo(&Sink);
        SetDebugManager(&Manager);
    }
    ~LogCapture() {
        SetDebugManager(nullptr);
        Manager.SetDebugMemo(nullptr);
    }
    std::vector<MyAnsiString> Lines() { return Sink.Drain(); }
    TDebugLineSink Sink;
    TDebugManager Manager;
};

std::string AllByteValues() {
    std::string s;
    for (int i = 0; i < 256; ++i)
        s.push_back(static_cast<char>(i));
    return s;
}

class CommPortTest : public ::testing::Test {
protected:
    static constexpr const char* Name = "COM201";
    Pty pty;
    TThreadManager Manager;
    Receiver Rx;
    TCommPort Port;

    void SetUp() override {
        ComPortTable::Instance().Map(Name, pty.slavePath());
        Port.SetPortName(Name);
        Port.SetBaud(38400);
        Port.SetOnReceive(Rx.Event());
    }
    void TearDown() override {
        Port.ClosePort();
        ComPortTable::Instance().Unmap(Name);
    }
};

} // namespace

TEST_F(CommPortTest, BytesPassBothWaysUnchanged) {
    Port.OpenPort(Manager);
    ASSERT_TRUE(Port.IsOpen());
    EXPECT_EQ(Port.DevicePath(), pty.slavePath());

    const std::string all = AllByteValues();
    pty.write(all + all);
    ASSERT_TRUE(Rx.WaitFor(512));
    EXPECT_EQ(Rx.Joined(), all + all);

    Port.Send(all);
    Port.SendBuffer(all.data(), static_cast<int>(all.size()));
    EXPECT_EQ(pty.read(512), all + all);
}

TEST_F(CommPortTest, ByteByByteOnTheManagerThreadInOrder) {
    // NextSize left at 1: each piece is one byte, in order, all on the one
    // thread of the manager.
    Port.OpenPort(Manager);
    std::string sent;
    for (int i = 0; i < 40; ++i) {
        std::string chunk = "chunk" + std::to_string(i) + ";";
        pty.write(chunk);
        sent += chunk;
    }
    ASSERT_TRUE(Rx.WaitFor(sent.size()));
    std::lock_guard<std::mutex> l(Rx.Mutex);
    std::string joined;
    for (auto& p : Rx.Pieces) {
        ASSERT_EQ(p.size(), 1u);
        joined += p;
    }
    EXPECT_EQ(joined, sent);
    for (auto id : Rx.Threads) {
        EXPECT_EQ(id, Rx.Threads.front());
        EXPECT_NE(id, std::this_thread::get_id());
    }
}

TEST_F(CommPortTest, ReceiverAsksForAWholePayload) {
    // A framing receiver: one length byte, then the payload in as few pieces
    // as the line allows, never more than asked for.
    std::size_t want = 0;
    int phase = 0; // 0 length byte, 1 payload, 2 trailing bytes
    Rx.Decide = [&](const std::string& piece, uint8_t& next, bool& stop) {
        if (phase == 0) {
            want = static_cast<uint8_t>(piece[0]);
            next = static_cast<uint8_t>(want);
            stop = true; // let the test fill the line before reading on
            phase = 1;
        } else if (phase == 1) {
            EXPECT_LE(piece.size(), want);
            want -= piece.size();
            if (want > 0)
                next = static_cast<uint8_t>(want);
            else
                phase = 2;
        }
    };
    Port.OpenPort(Manager);
    std::string payload;
    for (int i = 0; i < 200; ++i)
        payload.push_back(static_cast<char>(i * 7));
    pty.write(std::string(1, char(200)));
    ASSERT_TRUE(Rx.WaitFor(1));
    pty.write(payload + "tail");
    // Every byte is in the device, and stays there while the manager settles.
    ASSERT_TRUE(WaitForTtyInput(pty.slavePath(), 204));
    ASSERT_TRUE(Manager.WaitUntilSettled(2000));
    EXPECT_EQ(TtyInputPending(pty.slavePath()), 204u) << "read on while stopped";
    EXPECT_EQ(Rx.Count(), 1u) << "read on while stopped";
    Port.Start();
    ASSERT_TRUE(Rx.WaitFor(1 + 200 + 4));
    std::lock_guard<std::mutex> l(Rx.Mutex);
    ASSERT_GE(Rx.Pieces.size(), 3u);
    EXPECT_EQ(Rx.Pieces[1], payload) << "the 200 bytes were not read in one piece";
    // After the payload the receiver is back at one byte per piece.
    for (std::size_t i = 2; i < Rx.Pieces.size(); ++i)
        EXPECT_EQ(Rx.Pieces[i].size(), 1u);
}

TEST_F(CommPortTest, StopHoldsBytesUntilStart) {
    Rx.Decide = [](const std::string& piece, uint8_t&, bool& stop) { stop = piece == "S"; };
    Port.OpenPort(Manager);
    Port.Start(); // not stopped: nothing happens
    pty.write("abS");
    ASSERT_TRUE(Rx.WaitFor(3));
    pty.write("cdS");
    ASSERT_TRUE(WaitForTtyInput(pty.slavePath(), 3));
    ASSERT_TRUE(Manager.WaitUntilSettled(2000));
    EXPECT_EQ(TtyInputPending(pty.slavePath()), 3u);
    EXPECT_EQ(Rx.Joined(), "abS");

    // Start from another thread; the waiting bytes come in order, and the
    // receiver may stop again at once.
    std::thread([&] { Port.Start(); }).join();
    ASSERT_TRUE(Rx.WaitFor(6));
    EXPECT_EQ(Rx.Joined(), "abScdS");
    pty.write("ef");
    ASSERT_TRUE(WaitForTtyInput(pty.slavePath(), 2));
    ASSERT_TRUE(Manager.WaitUntilSettled(2000));
    EXPECT_EQ(TtyInputPending(pty.slavePath()), 2u);
    EXPECT_EQ(Rx.Joined(), "abScdS");
    Port.Start();
    ASSERT_TRUE(Rx.WaitFor(8));
    EXPECT_EQ(Rx.Joined(), "abScdSef");

    // Many stop/start rounds racing with new bytes lose and reorder nothing.
    Rx.Decide = [](const std::string&, uint8_t&, bool& stop) { stop = true; };
    std::string sent;
    std::atomic<bool> done{false};
    std::thread starter([&] {
        while (!done) {
            Port.Start();
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 300; ++i) {
        std::string b(1, static_cast<char>('A' + i % 26));
        pty.write(b);
        sent += b;
    }
    bool all = Rx.WaitFor(8 + sent.size(), 10s);
    done = true;
    starter.join();
    ASSERT_TRUE(all);
    EXPECT_EQ(Rx.Joined(), "abScdSef" + sent);
}

TEST_F(CommPortTest, AStartWhileTheReceiverRunsCancelsItsStop) {
    // The consumer gets the data inside the receiver and starts the port at
    // once, before the stop the receiver asks for has taken effect.
    Rx.Decide = [&](const std::string& piece, uint8_t&, bool& stop) {
        if (piece == "S") {
            stop = true;
            std::thread([&] { Port.Start(); }).join();
        }
    };
    Port.OpenPort(Manager);
    pty.write("aSb");
    ASSERT_TRUE(Rx.WaitFor(3)) << Rx.Joined() << ": the Start was lost";
    EXPECT_EQ(Rx.Joined(), "aSb");
}

TEST_F(CommPortTest, OpeningFailures) {
    Port.OpenPort(Manager);
    EXPECT_EQ(ExceptionText([&] { Port.OpenPort(Manager); }), "TCommPort.OpenPort: port COM201 is already open");
    EXPECT_TRUE(Port.IsOpen());

    // The same device for a second port: busy.
    TCommPort second;
    second.SetPortName("COM202");
    ComPortTable::Instance().Map("COM202", pty.slavePath());
    EXPECT_EQ(ExceptionText([&] { second.OpenPort(Manager); }),
              "Port COM202 could not be opened! COM202 (" + pty.slavePath() + ") is in use by another program");
    EXPECT_FALSE(second.IsOpen());

    // A COM name that maps to nothing, and a missing device.
    ComPortTable::Instance().Unmap("COM202");
    TCommPort none;
    none.SetPortName("COM256");
    if (!ComPortTable::Instance().DevicePath("COM256")) {
        EXPECT_EQ(ExceptionText([&] { none.OpenPort(Manager); }), "Port COM256 could not be opened!");
        EXPECT_FALSE(none.IsOpen());
    }
    ComPortTable::Instance().Map("COM202", "/dev/no-such-serial-device");
    EXPECT_EQ(ExceptionText([&] { second.OpenPort(Manager); }),
              "Port COM202 could not be opened! COM202 (/dev/no-such-serial-device) does not exist - is the "
              "adapter plugged in?");

    // Not a serial device.
    char file[] = "/tmp/vo_commport_fileXXXXXX";
    int fd = ::mkstemp(file);
    ASSERT_GE(fd, 0);
    ::close(fd);
    ComPortTable::Instance().Map("COM202", file);
    EXPECT_EQ(ExceptionText([&] { second.OpenPort(Manager); }), "TRsPort.OpenPort: port type error");
    EXPECT_FALSE(second.IsOpen());
    ::unlink(file);

    // Line settings the device refuses.
    Pty other;
    ComPortTable::Instance().Map("COM202", other.slavePath());
    second.SetBaud(12345);
    EXPECT_EQ(ExceptionText([&] { second.OpenPort(Manager); }),
              "TRsPort.OpenPort: problem with port settings. Error Code: 22");
    EXPECT_FALSE(second.IsOpen());
    second.SetBaud(38400);
    second.SetStopBits(1);
    EXPECT_NE(ExceptionText([&] { second.OpenPort(Manager); }).find("problem with port settings"), std::string::npos);
    second.SetStopBits(0);
    // With good settings the same port opens.
    EXPECT_NO_THROW(second.OpenPort(Manager));
    second.ClosePort();
    ComPortTable::Instance().Unmap("COM202");
}

TEST_F(CommPortTest, PermissionDeniedSaysHowToGetAccess) {
    {
        ScopedDeniedAccess denied(pty.slavePath());
        if (!denied.Active())
            GTEST_SKIP() << "access to " << pty.slavePath() << " cannot be taken away here";
        EXPECT_EQ(ExceptionText([&] { Port.OpenPort(Manager); }),
                  "Port COM201 could not be opened! COM201 (" + pty.slavePath() +
                      "): permission denied - add your user to the 'dialout' group and log in again");
        EXPECT_FALSE(Port.IsOpen());
    }
    EXPECT_NO_THROW(Port.OpenPort(Manager));
}

TEST_F(CommPortTest, FullThreadManagerLeavesThePortClosed) {
    TThreadManager full;
    std::vector<TThreadClient*> clients;
    for (unsigned i = 0; i < TThreadManager::MaxClients; ++i)
        clients.push_back(full.NewThreadClient());
    EXPECT_EQ(ExceptionText([&] { Port.OpenPort(full); }), "TThreadManager.NewThreadClient: maximum of clients reached");
    EXPECT_FALSE(Port.IsOpen());
    // The device was let go: it opens on another manager.
    Port.OpenPort(Manager);
    pty.write("x");
    EXPECT_TRUE(Rx.WaitFor(1));
    for (auto* c : clients)
        c->Release();
}

TEST_F(CommPortTest, SendErrors) {
    EXPECT_EQ(ExceptionText([&] { Port.Send("abc"); }), "TRsPort.Send: an error occured!");
    EXPECT_EQ(ExceptionText([&] { Port.SendBuffer("abc", 3); }), "TRsPort.SendBuffer: an error occured!");
    Port.OpenPort(Manager);
    EXPECT_EQ(ExceptionText([&] { Port.SendBuffer(nullptr, 3); }), "TRsPort.SendBuffer: an error occured!");
    EXPECT_EQ(ExceptionText([&] { Port.SendBuffer("abc", -1); }), "TRsPort.SendBuffer: an error occured!");
    // A pseudo-terminal has no break condition its other side could see (its
    // driver ignores it): the line carries bytes again after the break.
    EXPECT_NO_THROW(Port.SendBreak(true));
    EXPECT_NO_THROW(Port.SendBreak(false));
    Port.Send("after");
    EXPECT_EQ(pty.read(5), "after");
    // The other end gone: the write fails, now or at the next send.
    pty.closeMaster();
    EXPECT_EQ(ExceptionText([&] {
                  Port.Send("x");
                  // The hang-up may show only at a later send: keep sending
                  // (a generous while) until it does.
                  const auto until = std::chrono::steady_clock::now() + 10s;
                  while (std::chrono::steady_clock::now() < until) {
                      std::this_thread::sleep_for(10ms);
                      Port.Send("y");
                  }
              }),
              "TRsPort.Send: an error occured!");
}

TEST_F(CommPortTest, SendLogsWithExtendedDebugInfo) {
    LogCapture log;
    Port.OpenPort(Manager);
    Port.Send("abc");
    EXPECT_TRUE(log.Lines().empty());
    log.Manager.ExtendedDebugInfo = true;
    Port.Send("abcd");
    Port.SendBuffer("ab", 2);
    auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].rfind("[0000] ***INFO: TCommPort.Send: DataLength: 4 - Time: ", 0), 0u) << lines[0];
    EXPECT_EQ(lines[1].rfind("[0000] ***INFO: TCommPort.SendBuffer: DataLength: 2 - Time: ", 0), 0u) << lines[1];
}

TEST_F(CommPortTest, CloseStopsReceptionAndFreesTheClient) {
    Port.OpenPort(Manager);
    ASSERT_TRUE(Manager.WaitUntilSettled(2000));
    EXPECT_EQ(Manager.ClientCount(), 1u);
    pty.write("a");
    ASSERT_TRUE(Rx.WaitFor(1));

    Port.ClosePort();
    EXPECT_FALSE(Port.IsOpen());
    Port.ClosePort(); // twice is harmless
    ASSERT_TRUE(Manager.WaitUntilSettled(2000));
    EXPECT_EQ(Manager.ClientCount(), 0u);
    EXPECT_EQ(Port.DevicePath(), "");

    // Reopen: fresh state, bytes sent while closed are gone.
    pty.write("lost");
    Port.OpenPort(Manager);
    pty.write("b");
    // Bytes kept from before the reopening would come before "b".
    ASSERT_TRUE(Rx.WaitFor(2));
    EXPECT_EQ(Rx.Joined(), "ab");
}

TEST_F(CommPortTest, CloseWaitsForAReceptionInProgress) {
    std::atomic<bool> inside{false}, finished{false};
    Rx.Decide = [&](const std::string&, uint8_t&, bool&) {
        inside = true;
        std::this_thread::sleep_for(100ms);
        finished = true;
    };
    Port.OpenPort(Manager);
    pty.write("z");
    while (!inside)
        std::this_thread::sleep_for(1ms);
    Port.ClosePort();
    EXPECT_TRUE(finished) << "closed while the receiver was running";
}

TEST_F(CommPortTest, ReceiverMayCloseThePort) {
    Rx.Decide = [&](const std::string& piece, uint8_t&, bool&) {
        if (piece == "Q")
            Port.ClosePort();
    };
    Port.OpenPort(Manager);
    pty.write("abQcd");
    ASSERT_TRUE(Rx.WaitFor(3));
    // Once the manager let the port's client go, nothing more can be read.
    ASSERT_TRUE(Manager.WaitUntilSettled(2000));
    EXPECT_EQ(Manager.ClientCount(), 0u);
    EXPECT_FALSE(Port.IsOpen());
    EXPECT_EQ(Rx.Joined(), "abQ");
}

TEST_F(CommPortTest, FailingReceiverIsLoggedAndReadingGoesOn) {
    LogCapture log;
    Rx.Decide = [](const std::string& piece, uint8_t&, bool&) {
        if (piece == "!")
            throw Exception("bad byte");
    };
    Port.OpenPort(Manager);
    pty.write("a!b");
    pty.write("c"); // comes after everything the failing byte could cause
    ASSERT_TRUE(Rx.WaitFor(3)); // the failing call is not recorded
    EXPECT_EQ(Rx.Joined(), "abc");
    auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "[0002] ***ERROR: COM201: receive event failed: bad byte");
}

TEST_F(CommPortTest, HangUpIsReportedOnceAndDoesNotSpin) {
    LogCapture log;
    Port.OpenPort(Manager);
    pty.write("a");
    ASSERT_TRUE(Rx.WaitFor(1));
    pty.closeMaster();
    ASSERT_TRUE(log.Sink.WaitForLines(1, 2000));

    // The manager thread is not busy with the dead port: another client of the
    // same manager is served promptly.
    TThreadClient* other = Manager.NewThreadClient();
    std::atomic<int> calls{0};
    other->SetOnEvent([&](TThreadClient&) { ++calls; });
    other->SetEvent();
    for (int i = 0; i < 200 && calls == 0; ++i)
        std::this_thread::sleep_for(5ms);
    EXPECT_EQ(calls, 1);
    // The manager went round its loop after the hang-up: reported once.
    auto lines = log.Lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0], "[0002] ***ERROR: COM201: connection lost");
    other->Release();
    Port.ClosePort();
}
