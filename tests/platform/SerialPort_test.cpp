#include "platform/SerialPort.h"

#include "tests/support/DeniedAccess.h"
#include "tests/support/Pty.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <poll.h>
#include <string>
#include <termios.h>
#include <thread>
#include <unistd.h>

using namespace std::chrono_literals;
using vo::SerialAccessDenied;
using vo::SerialError;
using vo::SerialInUse;
using vo::SerialLineSettings;
using vo::SerialNotCharDevice;
using vo::SerialNotFound;
using vo::SerialPort;
using vo::test::Pty;
using vo::test::ScopedDeniedAccess;

namespace {

std::string AllByteValues() {
    std::string s;
    for (int i = 0; i < 256; ++i)
        s.push_back(static_cast<char>(i));
    return s;
}

// Reads from the port until n bytes came or the time-out passed.
std::string ReadPort(SerialPort& port, std::size_t n, std::chrono::milliseconds timeout = 5s) {
    auto deadline = std::chrono::steady_clock::now() + timeout;
    std::string out;
    while (out.size() < n && std::chrono::steady_clock::now() < deadline) {
        std::string part = port.Read(n - out.size());
        if (part.empty()) {
            pollfd p{port.Fd(), POLLIN, 0};
            ::poll(&p, 1, 5);
        }
        out += part;
    }
    return out;
}

// Puts the slave into the usual interactive settings (echo, canonical input,
// CR/LF translation, XON/XOFF): the port must undo all of that when it opens.
void MakeCooked(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0);
    termios t{};
    ASSERT_EQ(::tcgetattr(fd, &t), 0);
    t.c_iflag |= ICRNL | IXON | IXOFF | ISTRIP | INLCR;
    t.c_oflag |= OPOST | ONLCR;
    t.c_lflag |= ECHO | ICANON | ISIG | IEXTEN;
    t.c_cflag |= CRTSCTS;
    ASSERT_EQ(::tcsetattr(fd, TCSANOW, &t), 0);
    ::close(fd);
}

speed_t Speed(std::uint32_t baud) {
    switch (baud) {
    case 1200: return B1200;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    default: return 0;
    }
}

struct SerialPortTest : ::testing::Test {
    Pty pty;
    SerialPort port;
    void SetUp() override {
        MakeCooked(pty.slavePath());
        port.Open(pty.slavePath());
    }
};

} // namespace

TEST_F(SerialPortTest, EveryByteValuePassesUnchangedBothWays) {
    const std::string all = AllByteValues();
    // Twice, so that a flow-control byte in the first round would stall the second.
    pty.write(all + all);
    EXPECT_EQ(ReadPort(port, 512), all + all);
    // Nothing echoed back to the other end.
    EXPECT_EQ(pty.readQuiet(50ms), "");

    port.Write(all + all);
    EXPECT_EQ(pty.read(512), all + all);
    EXPECT_TRUE(port.WaitWritten(1s));
}

TEST_F(SerialPortTest, AvailableReadAndReadiness) {
    pollfd p{port.Fd(), POLLIN, 0};
    EXPECT_EQ(::poll(&p, 1, 0), 0) << "readable before anything arrived";
    EXPECT_EQ(port.Read(10), "");

    pty.write("0123456789");
    EXPECT_EQ(::poll(&p, 1, 2000), 1);
    auto deadline = std::chrono::steady_clock::now() + 2s;
    while (port.Available() < 10 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    EXPECT_EQ(port.Available(), 10u);
    EXPECT_EQ(port.Read(4), "0123");
    EXPECT_EQ(port.Available(), 6u);
    EXPECT_EQ(port.Read(100), "456789");
    EXPECT_EQ(port.Available(), 0u);
}

TEST_F(SerialPortTest, WritesNeverBlockAndKeepTheirOrder) {
    // Far more than the pseudo-terminal buffers while nobody reads.
    std::string big;
    for (int i = 0; big.size() < 300000; ++i)
        big += std::to_string(i) + ',';
    auto t0 = std::chrono::steady_clock::now();
    port.Write(big.substr(0, 100000));
    port.Write(big.substr(100000));
    EXPECT_LT(std::chrono::steady_clock::now() - t0, 2s);
    EXPECT_GT(port.Queued(), 0u);
    EXPECT_FALSE(port.WaitWritten(10ms));

    EXPECT_EQ(pty.read(big.size()), big);
    EXPECT_TRUE(port.WaitWritten(2s));
    EXPECT_EQ(port.Queued(), 0u);
}

TEST_F(SerialPortTest, WritesFromSeveralThreadsStayWhole) {
    // Each write is one 8-byte record; records of two threads may alternate but
    // never mix inside a record, and each thread's records keep their order.
    constexpr int N = 3000;
    auto writer = [&](char tag) {
        for (int i = 0; i < N; ++i) {
            char rec[16];
            std::snprintf(rec, sizeof rec, "%c%06d;", tag, i);
            port.Write(rec, 8);
        }
    };
    std::string got;
    std::thread reader([&] { got = pty.read(2 * N * 8, 20s); });
    std::thread a(writer, 'a'), b(writer, 'b');
    a.join();
    b.join();
    reader.join();
    ASSERT_EQ(got.size(), 2u * N * 8);
    int next[2] = {0, 0};
    for (std::size_t i = 0; i < got.size(); i += 8) {
        std::string rec = got.substr(i, 8);
        ASSERT_TRUE((rec[0] == 'a' || rec[0] == 'b') && rec[7] == ';') << rec;
        int& n = next[rec[0] - 'a'];
        ASSERT_EQ(std::stoi(rec.substr(1, 6)), n) << rec;
        ++n;
    }
}

TEST_F(SerialPortTest, FullQueueRaisesInsteadOfGrowing) {
    port.SetMaxQueued(4096);
    std::string chunk(1024, 'x');
    bool raised = false;
    for (int i = 0; i < 1000 && !raised; ++i) {
        try {
            port.Write(chunk);
        } catch (const SerialError& e) {
            raised = true;
            EXPECT_EQ(e.Code(), ENOBUFS);
        }
    }
    EXPECT_TRUE(raised);
    EXPECT_LE(port.Queued(), 4096u);
}

TEST_F(SerialPortTest, PurgeDropsBothDirections) {
    pty.write("stale input");
    auto deadline = std::chrono::steady_clock::now() + 2s;
    while (port.Available() < 11 && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(1ms);
    port.Write(std::string(200000, 'q'));
    ASSERT_GT(port.Queued(), 0u);

    port.Purge(true, true);
    EXPECT_EQ(port.Available(), 0u);
    EXPECT_EQ(port.Queued(), 0u);
    pty.drain();

    port.Write("fresh");
    EXPECT_EQ(pty.read(5), "fresh");
    pty.write("new");
    EXPECT_EQ(ReadPort(port, 3), "new");
}

TEST_F(SerialPortTest, HangUpOfTheOtherEnd) {
    EXPECT_FALSE(port.HungUp());
    pty.closeMaster();
    EXPECT_TRUE(port.HungUp());
    EXPECT_EQ(port.Read(10), "");
    EXPECT_THROW(
        {
            port.Write("x");
            port.WaitWritten(1s);
        },
        SerialError);
}

TEST_F(SerialPortTest, BreakOnAndOff) {
    EXPECT_NO_THROW(port.SetBreak(true));
    EXPECT_NO_THROW(port.SetBreak(false));
    port.Close();
    EXPECT_THROW(port.SetBreak(true), SerialError);
}

TEST(SerialPortOpen, FailuresLeaveThePortClosed) {
    SerialPort port;
    try {
        port.Open("/dev/does-not-exist-ttyS99", "COM3");
        FAIL() << "opened a missing device";
    } catch (const SerialNotFound& e) {
        EXPECT_EQ(e.Code(), ENOENT);
        EXPECT_STREQ(e.what(), "COM3 (/dev/does-not-exist-ttyS99) does not exist - is the adapter plugged in?");
    }
    EXPECT_FALSE(port.IsOpen());
    EXPECT_EQ(port.Fd(), -1);

    char file[] = "/tmp/vo_serial_fileXXXXXX";
    int fd = ::mkstemp(file);
    ASSERT_GE(fd, 0);
    ::close(fd);
    EXPECT_THROW(port.Open(file), SerialNotCharDevice);
    EXPECT_FALSE(port.IsOpen());
    ::unlink(file);

    // A character device that is no terminal.
    EXPECT_THROW(port.Open("/dev/null"), SerialNotCharDevice);
    EXPECT_FALSE(port.IsOpen());
    EXPECT_THROW(port.Open("/tmp"), SerialNotCharDevice);
}

TEST(SerialPortOpen, HeldExclusivelyUntilClosed) {
    Pty pty;
    SerialPort a, b;
    a.Open(pty.slavePath());
    EXPECT_THROW(a.Open(pty.slavePath()), SerialError);
    try {
        b.Open(pty.slavePath(), "COM4");
        FAIL() << "second holder admitted";
    } catch (const SerialInUse& e) {
        EXPECT_EQ(e.Code(), EBUSY);
        EXPECT_EQ(e.what(), "COM4 (" + pty.slavePath() + ") is in use by another program");
    }
    // Without a port name the path alone names the device.
    try {
        b.Open(pty.slavePath());
        FAIL() << "second holder admitted";
    } catch (const SerialInUse& e) {
        EXPECT_EQ(e.what(), pty.slavePath() + " is in use by another program");
    }
    EXPECT_FALSE(b.IsOpen());
    a.Close();
    EXPECT_FALSE(a.IsOpen());
    EXPECT_NO_THROW(b.Open(pty.slavePath()));
    // Close and reopen of the same object.
    b.Close();
    b.Open(pty.slavePath());
    pty.write("ok");
    EXPECT_EQ(ReadPort(b, 2), "ok");
}

TEST(SerialPortOpen, PermissionDeniedSaysHowToGetAccess) {
    Pty pty;
    SerialPort port;
    {
        ScopedDeniedAccess denied(pty.slavePath());
        if (!denied.Active())
            GTEST_SKIP() << "access to " << pty.slavePath() << " cannot be taken away here";
        try {
            port.Open(pty.slavePath(), "COM2");
            FAIL() << "opened a device without rights to it";
        } catch (const SerialAccessDenied& e) {
            EXPECT_EQ(e.Code(), EACCES);
            EXPECT_EQ(e.what(), "COM2 (" + pty.slavePath() + "): permission denied - add your user to the 'dialout' group and log in again");
        }
        EXPECT_FALSE(port.IsOpen());
    }
    // With the rights back the same object opens the device.
    EXPECT_NO_THROW(port.Open(pty.slavePath(), "COM2"));
}

TEST(SerialPortLine, SettingsAreAppliedAndRefusedValuesKeepTheOld) {
    Pty pty;
    SerialPort port;
    const SerialLineSettings good[] = {
        {9600, 8, 0, 0},
        {38400, 8, 2, 0},
        {115200, 7, 1, 2},
        {57600, 8, 3, 0},
        {19200, 8, 4, 2},
        {1200, 5, 0, 1},
    };
    port.Open(pty.slavePath());
    for (const auto& s : good) {
        SCOPED_TRACE(s.Baud);
        port.SetLine(s);
        EXPECT_EQ(port.Line(), s);
        // A pseudo-terminal keeps speed and stop bits (it forces 8 data bits
        // without parity, so those are not visible here).
        termios t{};
        ASSERT_EQ(::tcgetattr(port.Fd(), &t), 0);
        EXPECT_EQ(cfgetospeed(&t), Speed(s.Baud));
        EXPECT_EQ((t.c_cflag & CSTOPB) != 0, s.StopBits != 0);
        EXPECT_EQ(t.c_iflag & (IXON | IXOFF | ICRNL), 0u);
        EXPECT_EQ(t.c_cflag & CRTSCTS, 0u);
    }
    const SerialLineSettings before{38400, 8, 0, 0};
    port.SetLine(before);
    const SerialLineSettings bad[] = {
        {12345, 8, 0, 0}, {0, 8, 0, 0}, {9600, 9, 0, 0}, {9600, 4, 0, 0}, {9600, 8, 5, 0}, {9600, 8, 0, 3}, {9600, 8, 0, 1}, // one and a half stop bits need 5 data bits
    };
    for (const auto& s : bad) {
        SCOPED_TRACE(std::to_string(s.Baud) + "/" + std::to_string(s.DataBits) + "/" + std::to_string(s.Parity) +
                     "/" + std::to_string(s.StopBits));
        EXPECT_THROW(port.SetLine(s), vo::SerialLineError);
        EXPECT_EQ(port.Line(), before);
    }

    // Settings made while closed are used by the next open.
    port.Close();
    port.SetLine({57600, 7, 2, 2});
    port.Open(pty.slavePath());
    EXPECT_EQ(port.Line(), (SerialLineSettings{57600, 7, 2, 2}));
    termios t{};
    ASSERT_EQ(::tcgetattr(port.Fd(), &t), 0);
    EXPECT_EQ(cfgetospeed(&t), B57600);

    // Refused while closed, too.
    port.Close();
    EXPECT_THROW(port.SetLine({9600, 9, 0, 0}), SerialError);
    EXPECT_EQ(port.Line(), (SerialLineSettings{57600, 7, 2, 2}));
}
