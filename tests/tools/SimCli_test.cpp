// The drivesim program: serves a drive on a pseudo-terminal until it is told
// to stop, and checks drive descriptions.
#include "tools/drivesim/SimDriveFile.h"
#include "tools/drivesim/SimRs232.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>

namespace vo {
namespace {

using namespace std::chrono_literals;

struct Child {
    pid_t pid = -1;
    int out = -1; // the program's standard output
    int err = -1; // and its standard error
};

Child Spawn(std::vector<std::string> args) {
    int outPipe[2], errPipe[2];
    if (::pipe(outPipe) != 0 || ::pipe(errPipe) != 0) throw std::runtime_error("pipe");
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(outPipe[1], 1);
        ::dup2(errPipe[1], 2);
        ::close(outPipe[0]);
        ::close(errPipe[0]);
        std::vector<char*> argv;
        std::string exe = DRIVESIM_EXE;
        argv.push_back(exe.data());
        for (auto& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        ::execv(exe.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(outPipe[1]);
    ::close(errPipe[1]);
    return Child{pid, outPipe[0], errPipe[0]};
}

std::string ReadLine(int fd, std::chrono::milliseconds timeout) {
    std::string line;
    auto end = std::chrono::steady_clock::now() + timeout;
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        char c;
        if (::read(fd, &c, 1) != 1) break;
        if (c == '\n') return line;
        line.push_back(c);
    }
    return line;
}

std::string ReadAll(int fd) {
    std::string s;
    char buf[1024];
    ssize_t n;
    while ((n = ::read(fd, buf, sizeof buf)) > 0) s.append(buf, size_t(n));
    return s;
}

int Wait(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

SimBytes Exchange(int fd, const SimBytes& payload) {
    SimBytes wire = SimRs232Frame(payload);
    EXPECT_EQ(::write(fd, wire.data(), wire.size()), ssize_t(wire.size()));
    SimRs232Receiver rx;
    auto end = std::chrono::steady_clock::now() + 3s;
    while (std::chrono::steady_clock::now() < end) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0) continue;
        char buf[512];
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0) continue;
        for (auto& e : rx.Feed(std::string_view(buf, size_t(n)), 0))
            if (e.kind == SimRs232Event::Frame) return e.payload;
    }
    return "(no answer)";
}

TEST(SimCli, ServesOnAPseudoTerminalUntilTerminated) {
    std::string link = ::testing::TempDir() + "drivesim-link-" + std::to_string(::getpid());
    Child c = Spawn({"--pty", "--drive", SimDataDir() + "/vx31.drive", "--fault", "cmd=03 status=EC", "--link",
                     link});
    std::string slave = ReadLine(c.out, 5s);
    ASSERT_EQ(slave.rfind("/dev/pts/", 0), 0u) << slave;
    char target[256] = {};
    ASSERT_GT(::readlink(link.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(slave, target);

    int fd = ::open(link.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(fd, TCSANOW, &tio);
    SimBytes login = Exchange(fd, SimHex("01"));
    ASSERT_GE(login.size(), 3u);
    EXPECT_EQ(SimToHex(login.substr(0, 4)), "01 00 31 03");
    EXPECT_EQ(SimToHex(Exchange(fd, SimHex("10 00 01 00"))), "10 00 34 12");
    EXPECT_EQ(SimToHex(Exchange(fd, SimHex("03 00"))), "03 EC");
    ::close(fd);

    ::kill(c.pid, SIGTERM);
    EXPECT_EQ(Wait(c.pid), 0);
    std::string log = ReadAll(c.err);
    EXPECT_NE(log.find("rs232 -> 10 00 01 00"), std::string::npos) << log;
    EXPECT_NE(log.find("rs232 <- 03 EC"), std::string::npos) << log;
    EXPECT_NE(::access(link.c_str(), F_OK), 0); // the link is gone with the program
    ::close(c.out);
    ::close(c.err);
}

TEST(SimCli, ChecksDescriptions) {
    Child good = Spawn({"--check", SimDataDir() + "/vx41.drive"});
    std::string out = ReadAll(good.out);
    EXPECT_EQ(Wait(good.pid), 0);
    EXPECT_NE(out.find("protocol 0x41, A = 4, D = 2"), std::string::npos) << out;
    ::close(good.out);
    ::close(good.err);

    std::string bad = ::testing::TempDir() + "drivesim-bad-" + std::to_string(::getpid()) + ".drive";
    std::ofstream(bad) << "[identity]\naddress_size = 9\n";
    Child c = Spawn({"--check", bad});
    std::string err = ReadAll(c.err);
    EXPECT_EQ(Wait(c.pid), 2);
    EXPECT_NE(err.find("address field size must be 3 or 4"), std::string::npos) << err;
    ::close(c.out);
    ::close(c.err);
    std::remove(bad.c_str());

    Child unknown = Spawn({"--wobble"});
    EXPECT_EQ(Wait(unknown.pid), 2);
    ::close(unknown.out);
    ::close(unknown.err);
}

} // namespace
} // namespace vo
