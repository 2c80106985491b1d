#include "platform/SerialPort.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace vo {

std::string SystemErrorText(int err) {
    char buf[256];
    // GNU strerror_r returns the text (which may or may not be buf).
    const char* text = strerror_r(err, buf, sizeof buf);
    return text ? std::string(text) : std::string("error ") + std::to_string(err);
}

namespace {

struct BaudEntry {
    std::uint32_t Baud;
    speed_t Speed;
};

constexpr BaudEntry BaudTable[] = {
    {50, B50},
    {75, B75},
    {110, B110},
    {134, B134},
    {150, B150},
    {200, B200},
    {300, B300},
    {600, B600},
    {1200, B1200},
    {1800, B1800},
    {2400, B2400},
    {4800, B4800},
    {9600, B9600},
    {19200, B19200},
    {38400, B38400},
    {57600, B57600},
    {115200, B115200},
    {230400, B230400},
    {460800, B460800},
    {500000, B500000},
    {576000, B576000},
    {921600, B921600},
    {1000000, B1000000},
    {1152000, B1152000},
    {1500000, B1500000},
    {2000000, B2000000},
    {2500000, B2500000},
    {3000000, B3000000},
    {3500000, B3500000},
    {4000000, B4000000},
};

bool SpeedFor(std::uint32_t baud, speed_t& out) {
    for (const auto& e : BaudTable)
        if (e.Baud == baud) {
            out = e.Speed;
            return true;
        }
    return false;
}

// Builds the raw-mode termios for the settings on top of the device's current
// one. Returns 0 or the errno describing the refused value.
int BuildTermios(termios& t, const SerialLineSettings& s) {
    speed_t speed;
    if (!SpeedFor(s.Baud, speed))
        return EINVAL;
    if (s.DataBits < 5 || s.DataBits > 8)
        return EINVAL;
    if (s.Parity > 4)
        return EINVAL;
    if (s.StopBits > 2 || (s.StopBits == 1 && s.DataBits != 5))
        return EINVAL;

    cfmakeraw(&t);
    // Input: nothing translated, nothing stripped, no software flow control, no
    // parity marking (a byte with a parity error is delivered as received).
    t.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF |
                   IXANY | INPCK | IGNPAR | IUCLC | IMAXBEL);
    t.c_oflag &= ~(OPOST | ONLCR | OCRNL | ONOCR | ONLRET | OLCUC);
    t.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN | NOFLSH | TOSTOP);
    t.c_cflag &= ~(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS | CMSPAR);
    t.c_cflag |= CLOCAL | CREAD;
    switch (s.DataBits) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    default: t.c_cflag |= CS8; break;
    }
    switch (s.Parity) {
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: break;
    }
    if (s.StopBits != 0)
        t.c_cflag |= CSTOPB; // two, or one and a half with 5 data bits
    // A read returns at once with what has arrived.
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    return 0;
}

std::string LineText(const SerialLineSettings& s) {
    return std::to_string(s.Baud) + " baud, " + std::to_string(s.DataBits) + " data bits, parity " +
        std::to_string(s.Parity) + ", stop bits " + std::to_string(s.StopBits);
}

// How the failure texts name the port: "COM3 (/dev/ttyUSB0)", or the path alone.
std::string PortText(const std::string& path, std::string_view portName) {
    if (portName.empty() || portName == path)
        return path;
    return std::string(portName) + " (" + path + ")";
}

} // namespace

SerialPort::SerialPort() = default;

SerialPort::~SerialPort() { Close(); }

void SerialPort::Raise(const std::string& what, int err) const {
    throw SerialError(what + (err ? ": " + SystemErrorText(err) : std::string()), err);
}

void SerialPort::Open(const std::string& path, std::string_view portName) {
    if (IsOpen())
        throw SerialError("SerialPort.Open: " + FPath + " is already open", EBUSY);

    int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        switch (err) {
        case EISDIR: throw SerialNotCharDevice("SerialPort.Open: " + path + " is not a serial device", err);
        case EACCES:
        case EPERM:
            throw SerialAccessDenied(PortText(path, portName) +
                                         ": permission denied - add your user to the 'dialout' group and log in again",
                                     err);
        case EBUSY: // held exclusively (TIOCEXCL) by another program
            throw SerialInUse(PortText(path, portName) + " is in use by another program", err);
        case ENOENT:
            throw SerialNotFound(PortText(path, portName) + " does not exist - is the adapter plugged in?", err);
        default: Raise("SerialPort.Open: cannot open " + path, err);
        }
    }
    auto fail = [&](auto&& makeError) {
        ::close(fd);
        throw makeError;
    };

    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        int err = errno;
        fail(SerialError("SerialPort.Open: cannot examine " + path + ": " + SystemErrorText(err), err));
    }
    if (!S_ISCHR(st.st_mode) || !::isatty(fd))
        fail(SerialNotCharDevice("SerialPort.Open: " + path + " is not a serial device", ENOTTY));

    // Not shared: one holder per device, also against a second open in this
    // process (flock is per open file description; TIOCEXCL keeps other
    // programs out, root excepted).
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK)
            fail(SerialInUse(PortText(path, portName) + " is in use by another program", EBUSY));
        int err = errno;
        fail(SerialError("SerialPort.Open: cannot lock " + path + ": " + SystemErrorText(err), err));
    }
    ::ioctl(fd, TIOCEXCL);

    {
        std::lock_guard lk(FLineMutex);
        termios t{};
        if (::tcgetattr(fd, &t) != 0) {
            int err = errno;
            fail(SerialError("SerialPort.Open: cannot read the line settings of " + path + ": " +
                                 SystemErrorText(err),
                             err));
        }
        int err = BuildTermios(t, FLine);
        if (err == 0 && ::tcsetattr(fd, TCSANOW, &t) != 0)
            err = errno;
        if (err != 0)
            fail(SerialLineError("SerialPort.Open: " + path + " refuses the line settings (" + LineText(FLine) +
                                     "): " + SystemErrorText(err),
                                 err));
    }
    ::tcflush(fd, TCIOFLUSH);

    std::lock_guard lk(FQueueMutex);
    FFd = fd;
    FPath = path;
    FQueue.clear();
    FWriteError = 0;
}

void SerialPort::Close() noexcept {
    if (!IsOpen())
        return;
    StopWriter();
    std::lock_guard lk(FQueueMutex);
    FQueue.clear();
    ::tcflush(FFd, TCIOFLUSH);
    ::ioctl(FFd, TIOCNXCL);
    ::flock(FFd, LOCK_UN);
    ::close(FFd);
    FFd = -1;
    FPath.clear();
    FWriteError = 0;
    FQueueCv.notify_all();
}

void SerialPort::SetLine(const SerialLineSettings& s) {
    std::lock_guard lk(FLineMutex);
    if (IsOpen()) {
        termios t{};
        int err = ::tcgetattr(FFd, &t) != 0 ? errno : BuildTermios(t, s);
        if (err == 0 && ::tcsetattr(FFd, TCSANOW, &t) != 0)
            err = errno;
        if (err != 0)
            throw SerialLineError("SerialPort.SetLine: " + FPath + " refuses the line settings (" + LineText(s) +
                                      "): " + SystemErrorText(err),
                                  err);
    } else {
        termios t{};
        if (int err = BuildTermios(t, s); err != 0)
            throw SerialLineError("SerialPort.SetLine: invalid line settings (" + LineText(s) +
                                      "): " + SystemErrorText(err),
                                  err);
    }
    FLine = s;
}

SerialLineSettings SerialPort::Line() const {
    std::lock_guard lk(FLineMutex);
    return FLine;
}

std::size_t SerialPort::Available() const {
    if (!IsOpen())
        throw SerialError("SerialPort.Available: port not open", EBADF);
    int n = 0;
    if (::ioctl(FFd, FIONREAD, &n) != 0)
        Raise("SerialPort.Available: " + FPath, errno);
    return n > 0 ? static_cast<std::size_t>(n) : 0;
}

std::size_t SerialPort::Read(void* buf, std::size_t max) {
    if (!IsOpen())
        throw SerialError("SerialPort.Read: port not open", EBADF);
    if (max == 0)
        return 0;
    for (;;) {
        ssize_t r = ::read(FFd, buf, max);
        if (r >= 0)
            return static_cast<std::size_t>(r);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        if (errno == EIO) // the other end hung up; HungUp() tells
            return 0;
        Raise("SerialPort.Read: " + FPath, errno);
    }
}

std::string SerialPort::Read(std::size_t max) {
    std::string s(max, '\0');
    s.resize(Read(s.data(), max));
    return s;
}

bool SerialPort::HungUp() const {
    if (!IsOpen())
        return false;
    pollfd p{FFd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0)
        return false;
    return (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

void SerialPort::DrainLocked() {
    while (!FQueue.empty() && FWriteError == 0) {
        // Hand on the longest contiguous run of the queue in one write.
        char chunk[4096];
        std::size_t n = std::min(FQueue.size(), sizeof chunk);
        std::copy_n(FQueue.begin(), n, chunk);
        ssize_t w = ::write(FFd, chunk, n);
        if (w > 0) {
            FQueue.erase(FQueue.begin(), FQueue.begin() + w);
            continue;
        }
        if (w < 0 && errno == EINTR)
            continue;
        if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return; // the device is full; the writer thread goes on later
        FWriteError = w < 0 ? errno : EIO;
        FQueue.clear();
    }
    if (FQueue.empty())
        FQueueCv.notify_all();
}

void SerialPort::Write(const void* data, std::size_t n) {
    std::unique_lock lk(FQueueMutex);
    if (!IsOpen())
        throw SerialError("SerialPort.Write: port not open", EBADF);
    if (FWriteError != 0) {
        int err = FWriteError;
        FWriteError = 0;
        Raise("SerialPort.Write: " + FPath, err);
    }
    if (FQueue.size() + n > FMaxQueued)
        throw SerialError("SerialPort.Write: " + FPath + ": write queue full (" + std::to_string(FQueue.size()) +
                              " bytes not sent)",
                          ENOBUFS);
    const char* p = static_cast<const char*>(data);
    if (FQueue.empty()) {
        // Fast path: nothing ahead of these bytes, try to hand them on at once.
        while (n > 0) {
            ssize_t w = ::write(FFd, p, n);
            if (w > 0) {
                p += w;
                n -= static_cast<std::size_t>(w);
                continue;
            }
            if (w < 0 && errno == EINTR)
                continue;
            if (w < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
                break;
            Raise("SerialPort.Write: " + FPath, w < 0 ? errno : EIO);
        }
        if (n == 0)
            return;
    }
    FQueue.insert(FQueue.end(), p, p + n);
    lk.unlock();
    StartWriter();
    FQueueCv.notify_all();
}

std::size_t SerialPort::Queued() const {
    std::lock_guard lk(FQueueMutex);
    return FQueue.size();
}

bool SerialPort::WaitWritten(std::chrono::milliseconds timeout) {
    std::unique_lock lk(FQueueMutex);
    bool done = FQueueCv.wait_for(lk, timeout, [&] { return FQueue.empty() || FWriteError != 0; });
    if (FWriteError != 0) {
        int err = FWriteError;
        FWriteError = 0;
        Raise("SerialPort.Write: " + FPath, err);
    }
    return done;
}

void SerialPort::SetMaxQueued(std::size_t bytes) {
    std::lock_guard lk(FQueueMutex);
    FMaxQueued = bytes;
}

void SerialPort::StartWriter() {
    std::lock_guard lk(FQueueMutex);
    if (FWriter.joinable() || !IsOpen())
        return;
    FWriter = std::jthread([this](std::stop_token st) { WriterLoop(st); });
}

void SerialPort::StopWriter() noexcept {
    std::jthread w;
    {
        std::lock_guard lk(FQueueMutex);
        w = std::move(FWriter);
    }
    if (w.joinable()) {
        w.request_stop();
        FQueueCv.notify_all();
        w.join();
    }
}

void SerialPort::WriterLoop(std::stop_token st) {
    for (;;) {
        int fd;
        {
            std::unique_lock lk(FQueueMutex);
            if (!FQueueCv.wait(lk, st, [&] { return !FQueue.empty() && FWriteError == 0; }))
                return; // stop requested
            DrainLocked();
            if (FQueue.empty() || FWriteError != 0)
                continue;
            fd = FFd;
        }
        // The device is full: wait until it takes bytes again (short slices so
        // that closing never waits long for this thread).
        pollfd p{fd, POLLOUT, 0};
        ::poll(&p, 1, 20);
        if (st.stop_requested())
            return;
    }
}

void SerialPort::SetBreak(bool on) {
    if (!IsOpen())
        throw SerialError("SerialPort.SetBreak: port not open", EBADF);
    if (::ioctl(FFd, on ? TIOCSBRK : TIOCCBRK) != 0)
        Raise(std::string("SerialPort.SetBreak: ") + FPath, errno);
}

void SerialPort::Purge(bool rx, bool tx) {
    if (!IsOpen())
        throw SerialError("SerialPort.Purge: port not open", EBADF);
    if (tx) {
        std::lock_guard lk(FQueueMutex);
        FQueue.clear();
        FQueueCv.notify_all();
    }
    int what = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH
        : tx                             ? TCOFLUSH
                                         : -1;
    if (what >= 0 && ::tcflush(FFd, what) != 0)
        Raise("SerialPort.Purge: " + FPath, errno);
}

} // namespace vo
