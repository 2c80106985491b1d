#include "tests/support/Pty.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace vo::test {

namespace {

using Clock = std::chrono::steady_clock;

int Remaining(Clock::time_point deadline) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

[[noreturn]] void Fail(const std::string& what) {
    throw std::runtime_error("Pty: " + what + ": " + std::strerror(errno));
}

} // namespace

Pty::Pty() {
    FMaster = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (FMaster < 0)
        Fail("posix_openpt");
    char name[128];
    if (::grantpt(FMaster) != 0 || ::unlockpt(FMaster) != 0 || ::ptsname_r(FMaster, name, sizeof name) != 0) {
        int err = errno;
        ::close(FMaster);
        errno = err;
        Fail("cannot prepare the slave");
    }
    FSlavePath = name;
    ::fcntl(FMaster, F_SETFL, ::fcntl(FMaster, F_GETFL) | O_NONBLOCK);

    // Raw slave from the start. The settings stay with the pair while the
    // master is open, also when this descriptor closes.
    int s = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s < 0) {
        int err = errno;
        ::close(FMaster);
        errno = err;
        Fail("cannot open the slave");
    }
    termios t{};
    ::tcgetattr(s, &t);
    ::cfmakeraw(&t);
    ::tcsetattr(s, TCSANOW, &t);
    ::close(s);
}

Pty::~Pty() { closeMaster(); }

void Pty::closeMaster() {
    if (FMaster >= 0)
        ::close(FMaster);
    FMaster = -1;
}

void Pty::write(std::string_view bytes, std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    while (!bytes.empty()) {
        ssize_t w = ::write(FMaster, bytes.data(), bytes.size());
        if (w > 0) {
            bytes.remove_prefix(static_cast<std::size_t>(w));
            continue;
        }
        if (w < 0 && errno != EAGAIN && errno != EINTR)
            Fail("write");
        if (Clock::now() >= deadline)
            throw std::runtime_error("Pty: write time-out");
        pollfd p{FMaster, POLLOUT, 0};
        ::poll(&p, 1, std::min(Remaining(deadline), 10));
    }
}

std::string Pty::read(std::size_t n, std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    std::string out;
    while (out.size() < n) {
        char buf[4096];
        ssize_t r = ::read(FMaster, buf, std::min(sizeof buf, n - out.size()));
        if (r > 0) {
            out.append(buf, static_cast<std::size_t>(r));
            continue;
        }
        // EAGAIN: nothing yet; EIO: no slave open at the moment.
        if (r < 0 && errno != EAGAIN && errno != EINTR && errno != EIO)
            Fail("read");
        int left = Remaining(deadline);
        if (left == 0)
            break;
        pollfd p{FMaster, POLLIN, 0};
        // POLLHUP while no slave is open would make poll return at once.
        ::poll(&p, 1, std::min(left, 5));
    }
    return out;
}

std::string Pty::readQuiet(std::chrono::milliseconds quiet, std::chrono::milliseconds timeout) {
    auto deadline = Clock::now() + timeout;
    std::string out;
    auto lastData = Clock::now();
    for (;;) {
        char buf[4096];
        ssize_t r = ::read(FMaster, buf, sizeof buf);
        if (r > 0) {
            out.append(buf, static_cast<std::size_t>(r));
            lastData = Clock::now();
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EINTR && errno != EIO)
            Fail("read");
        auto now = Clock::now();
        if (now >= deadline || now - lastData >= quiet)
            break;
        pollfd p{FMaster, POLLIN, 0};
        ::poll(&p, 1, 5);
    }
    return out;
}

void Pty::drain() {
    char buf[4096];
    while (::read(FMaster, buf, sizeof buf) > 0) {
    }
}

} // namespace vo::test
