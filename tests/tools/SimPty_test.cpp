// The simulator served over a real pseudo-terminal: the test opens the slave
// side like the program opens its serial port and speaks RS232 frames.
#include "tools/drivesim/SimPty.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <deque>
#include <thread>

namespace vo {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

SimDrive Drive() {
    SimIdentity id;
    id.protocolVersion = 0x31;
    id.addrFieldSize = 3;
    id.dataFieldSize = 2;
    id.maxBufferSize = 255;
    id.deviceString = "PTY";
    SimDrive d(id);
    d.AddRegion("RAM", SimRegionKind::Ram, 0x001000, 0x1000);
    d.Poke(0x001234, SimHex("CD AB"));
    return d;
}

// The program's end of the line.
class Port {
public:
    explicit Port(const std::string& path) {
        fd_ = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd_ < 0) throw std::runtime_error("cannot open " + path);
        termios tio{};
        ::tcgetattr(fd_, &tio);
        ::cfmakeraw(&tio);
        ::tcsetattr(fd_, TCSANOW, &tio);
    }
    ~Port() { ::close(fd_); }

    void Write(std::string_view bytes) {
        while (!bytes.empty()) {
            ssize_t n = ::write(fd_, bytes.data(), bytes.size());
            if (n > 0) {
                bytes.remove_prefix(size_t(n));
            } else {
                pollfd p{fd_, POLLOUT, 0};
                ::poll(&p, 1, 100);
            }
        }
    }
    void WriteHex(const char* hex) { Write(SimHex(hex)); }
    // Writes the bytes in pieces of `piece` bytes with a pause between them.
    void WriteInPieces(std::string_view bytes, size_t piece, std::chrono::milliseconds pause) {
        for (size_t i = 0; i < bytes.size(); i += piece) {
            Write(bytes.substr(i, piece));
            std::this_thread::sleep_for(pause);
        }
    }
    // Bytes until `n` came or the time-out passed.
    SimBytes Read(size_t n, std::chrono::milliseconds timeout = 3s) {
        SimBytes out;
        auto end = Clock::now() + timeout;
        while (out.size() < n) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - Clock::now()).count();
            if (left <= 0) break;
            pollfd p{fd_, POLLIN, 0};
            if (::poll(&p, 1, int(left)) <= 0) continue;
            char buf[4096];
            ssize_t got = ::read(fd_, buf, std::min(sizeof buf, n - out.size()));
            if (got > 0) out.append(buf, size_t(got));
        }
        return out;
    }
    // Whatever the line holds (waiting up to `timeout` for the first byte).
    SimBytes ReadSome(std::chrono::milliseconds timeout) {
        pollfd p{fd_, POLLIN, 0};
        if (::poll(&p, 1, int(timeout.count())) <= 0) return {};
        char buf[4096];
        ssize_t got = ::read(fd_, buf, sizeof buf);
        return got > 0 ? SimBytes(buf, size_t(got)) : SimBytes();
    }
    // The next `count` frames the drive sent (their payloads), or fewer.
    std::vector<SimRs232Event> Frames(size_t count, std::chrono::milliseconds timeout = 3s) {
        auto end = Clock::now() + timeout;
        while (events_.size() < count && Clock::now() < end) {
            for (auto& e : rx_.Feed(ReadSome(50ms), 0)) {
                // Garbage read in several pieces is one run of garbage.
                if (e.kind == SimRs232Event::Garbage && !events_.empty() &&
                    events_.back().kind == SimRs232Event::Garbage)
                    events_.back().wire += e.wire;
                else
                    events_.push_back(std::move(e));
            }
        }
        size_t n = std::min(count, events_.size());
        std::vector<SimRs232Event> out(events_.begin(), events_.begin() + std::ptrdiff_t(n));
        events_.erase(events_.begin(), events_.begin() + std::ptrdiff_t(n));
        return out;
    }
    SimBytes Answer() {
        auto f = Frames(1);
        if (f.empty()) return "(no answer)";
        EXPECT_EQ(f[0].kind, SimRs232Event::Frame);
        return f[0].payload;
    }
    bool Quiet(std::chrono::milliseconds time = 150ms) { return Read(1, time).empty(); }

private:
    int fd_ = -1;
    SimRs232Receiver rx_;
    std::deque<SimRs232Event> events_; // read but not yet asked for
};

struct Rig {
    SimRunner runner{Drive()};
    SimPtyTransport pty{runner};
    Port port{pty.SlavePath()};
    Rig() {
        runner.Start();
        port.Write(SimRs232Frame(SimHex("01")));
        SimBytes login = port.Answer();
        EXPECT_EQ(login.substr(0, 2), SimHex("01 00"));
    }
    // Transcript entries whose note holds the text (of one direction, when given).
    std::vector<SimTranscriptEntry> Notes(const std::string& text, std::optional<SimDirection> dir = {}) {
        std::vector<SimTranscriptEntry> out;
        for (auto& e : runner.Transcript().Entries())
            if (e.note.find(text) != std::string::npos && (!dir || e.direction == *dir)) out.push_back(e);
        return out;
    }
};

TEST(SimPty, WordReadOverThePseudoTerminal) {
    Rig rig;
    EXPECT_EQ(rig.pty.SlavePath().rfind("/dev/pts/", 0), 0u);
    rig.port.WriteHex("A5 04 56 10 34 12 00");
    EXPECT_EQ(SimToHex(rig.port.Answer()), "10 00 CD AB");
    auto in = rig.runner.Transcript().Entries();
    ASSERT_GE(in.size(), 4u);
    EXPECT_EQ(in[2].medium, "rs232");
    EXPECT_EQ(SimToHex(in[2].wire), "A5 04 56 10 34 12 00");
    EXPECT_EQ(SimToHex(in[3].wire), "A5 04 88 10 00 CD AB");
}

TEST(SimPty, FrameWrittenInPiecesIsAnsweredOnce) {
    Rig rig;
    rig.port.WriteInPieces(SimHex("A5 04 56 10 34 12 00"), 1, 3ms);
    EXPECT_EQ(SimToHex(rig.port.Answer()), "10 00 CD AB");
    rig.port.WriteInPieces(SimHex("A5 04 56 10 34 12 00 A5 02 03 03 00"), 5, 10ms);
    EXPECT_EQ(SimToHex(rig.port.Answer()), "10 00 CD AB");
    EXPECT_EQ(SimToHex(rig.port.Answer().substr(0, 2)), "03 00");
    EXPECT_TRUE(rig.port.Quiet());
}

TEST(SimPty, GarbageAndChecksumErrorGoUnansweredTheResendIsServed) {
    Rig rig;
    rig.port.WriteHex("00 13 A5 04 00 10 34 12 00");
    EXPECT_TRUE(rig.port.Quiet());
    rig.port.WriteHex("A5 04 56 10 34 12 00");
    EXPECT_EQ(SimToHex(rig.port.Answer()), "10 00 CD AB");
    auto garbage = rig.Notes("garbage");
    ASSERT_EQ(garbage.size(), 1u);
    EXPECT_EQ(garbage[0].wire, SimHex("00 13"));
    auto sum = rig.Notes("check sum error");
    ASSERT_EQ(sum.size(), 1u);
    EXPECT_EQ(sum[0].note, "check sum error 0(86)");
    EXPECT_EQ(rig.runner.Transcript().Frames(SimDirection::Out).size(), 2u); // login and the resend
}

TEST(SimPty, EmptyFrameIsNotAnswered) {
    Rig rig;
    rig.port.WriteHex("A5 00 00 A5 04 56 10 34 12 00");
    EXPECT_EQ(SimToHex(rig.port.Answer()), "10 00 CD AB");
    EXPECT_TRUE(rig.port.Quiet());
    EXPECT_EQ(rig.Notes("empty frame").size(), 1u);
}

TEST(SimPty, LostByteCostsOneFrameWithAResyncGap) {
    Rig rig;
    rig.pty.SetResyncGapMs(50);
    rig.port.WriteHex("A5 04 56 10 34 12"); // the last byte is lost
    std::this_thread::sleep_for(150ms);
    rig.port.WriteHex("A5 04 56 10 34 12 00");
    EXPECT_EQ(SimToHex(rig.port.Answer()), "10 00 CD AB");
    EXPECT_EQ(rig.Notes("broken off").size(), 1u);
}

TEST(SimPty, WireFaultsOnTheAnswer) {
    Rig rig;
    auto& faults = rig.runner.Faults();
    faults.Add("cmd=10 badsum");
    faults.Add("cmd=10 from=2 garbage=00FF13");
    faults.Add("cmd=10 from=3 emptyframe");
    faults.Add("cmd=10 from=4 bytewise=5");
    const char* request = "A5 04 56 10 34 12 00";

    rig.port.WriteHex(request);
    auto bad = rig.port.Frames(1);
    ASSERT_EQ(bad.size(), 1u);
    EXPECT_EQ(bad[0].kind, SimRs232Event::ChecksumError);
    EXPECT_EQ(bad[0].payload, SimHex("10 00 CD AB"));

    rig.port.WriteHex(request);
    auto garbage = rig.port.Frames(2);
    ASSERT_EQ(garbage.size(), 2u);
    EXPECT_EQ(garbage[0].kind, SimRs232Event::Garbage);
    EXPECT_EQ(garbage[0].wire, SimHex("00 FF 13"));
    EXPECT_EQ(garbage[1].payload, SimHex("10 00 CD AB"));

    rig.port.WriteHex(request);
    auto empty = rig.port.Frames(2);
    ASSERT_EQ(empty.size(), 2u);
    EXPECT_EQ(empty[0].kind, SimRs232Event::Frame);
    EXPECT_TRUE(empty[0].payload.empty());
    EXPECT_EQ(empty[1].payload, SimHex("10 00 CD AB"));

    auto start = Clock::now();
    rig.port.WriteHex(request);
    EXPECT_EQ(SimToHex(rig.port.Answer()), "10 00 CD AB");
    EXPECT_GE(Clock::now() - start, 20ms); // 7 bytes, 5 ms apart (30 ms, loosely)
    auto bytewise = rig.Notes("bytewise", SimDirection::Out);
    ASSERT_EQ(bytewise.size(), 1u);
    EXPECT_EQ(SimToHex(bytewise[0].wire), "A5 04 88 10 00 CD AB");
}

TEST(SimPty, AnswersWaitWhileTheLineIsFull) {
    // Forty answers of 252 bytes are far more than the line buffers; the
    // simulator keeps what the line does not take and loses nothing.
    Rig rig;
    SimBytes block;
    for (int i = 0; i < 250; ++i) block.push_back(char(i));
    rig.runner.WithDrive([&](SimDrive& d) { d.Poke(0x001000, block); });
    constexpr int kCount = 40;
    for (int i = 0; i < kCount; ++i) rig.port.Write(SimRs232Frame(SimHex("30 00 10 00 FA")));
    std::this_thread::sleep_for(100ms);
    auto frames = rig.port.Frames(kCount, 10s);
    ASSERT_EQ(frames.size(), size_t(kCount));
    for (const auto& f : frames) {
        EXPECT_EQ(f.kind, SimRs232Event::Frame);
        EXPECT_EQ(f.payload, SimHex("30 00") + block);
    }
}

TEST(SimPty, PortClosedAndOpenedAgain) {
    SimRunner runner(Drive());
    SimPtyTransport pty(runner);
    runner.Start();
    {
        Port first(pty.SlavePath());
        first.Write(SimRs232Frame(SimHex("01")));
        EXPECT_EQ(first.Answer().substr(0, 2), SimHex("01 00"));
    }
    std::this_thread::sleep_for(50ms);
    Port second(pty.SlavePath());
    second.WriteHex("A5 04 56 10 34 12 00");
    EXPECT_EQ(SimToHex(second.Answer()), "10 00 CD AB");
}

TEST(SimPty, UnsolicitedFrame) {
    Rig rig;
    rig.pty.SendUnsolicited(SimHex("04 00 07"));
    EXPECT_EQ(SimToHex(rig.port.Answer()), "04 00 07");
}

} // namespace
} // namespace vo
