#include "tools/drivesim/SimQp1.h"

#include "platform/Exception.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vo {

namespace {

uint8_t Sum(std::string_view bytes) {
    uint8_t s = 0;
    for (char c : bytes)
        s = uint8_t(s + uint8_t(c));
    return s;
}

} // namespace

SimQp1Drive::SimQp1Drive(SimDriveDescription description) : drive_(std::move(description.drive)) {
    if (description.gatewayBlockMax > 0)
        blockMax_ = description.gatewayBlockMax;
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0)
        throw Exception(std::string("SimQp1Drive.Create: posix_openpt: ") + std::strerror(errno));
    char name[128];
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0) {
        ::close(master_);
        throw Exception("SimQp1Drive.Create: pseudo-terminal setup failed");
    }
    slavePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0) {
        ::close(master_);
        throw Exception("SimQp1Drive.Create: " + slavePath_ + ": " + std::strerror(errno));
    }
    termios tio{};
    if (::tcgetattr(slave_, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(slave_, TCSANOW, &tio);
    }
    wake_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    thread_ = std::thread([this] { Loop(); });
}

SimQp1Drive::~SimQp1Drive() {
    stop_ = true;
    uint64_t one = 1;
    (void)!::write(wake_, &one, sizeof one);
    if (thread_.joinable())
        thread_.join();
    ::close(wake_);
    ::close(slave_);
    ::close(master_);
}

void SimQp1Drive::FailChecksums(int n) {
    std::lock_guard lock(mutex_);
    failChecksums_ = n;
}

void SimQp1Drive::Silence(int n) {
    std::lock_guard lock(mutex_);
    silence_ = n;
}

SimBytes SimQp1Drive::Received() const {
    std::lock_guard lock(mutex_);
    return received_;
}

SimBytes SimQp1Drive::Sent() const {
    std::lock_guard lock(mutex_);
    return sent_;
}

std::vector<uint8_t> SimQp1Drive::Functions() const {
    std::lock_guard lock(mutex_);
    return functions_;
}

bool SimQp1Drive::WaitReceived(size_t count, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return received_.size() >= count; });
}

void SimQp1Drive::Loop() {
    char buf[512];
    while (!stop_) {
        pollfd p[2] = {{master_, POLLIN, 0}, {wake_, POLLIN, 0}};
        if (::poll(p, 2, 200) <= 0)
            continue;
        if (p[0].revents & POLLIN) {
            const ssize_t n = ::read(master_, buf, sizeof buf);
            if (n <= 0)
                continue;
            std::lock_guard lock(mutex_);
            for (ssize_t i = 0; i < n; ++i)
                Feed(uint8_t(buf[i]));
            changed_.notify_all();
        }
    }
}

void SimQp1Drive::Write(const SimBytes& bytes) {
    sent_ += bytes;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(master_, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += size_t(n);
        else if (n < 0 && errno != EINTR && errno != EAGAIN)
            return;
    }
}

uint16_t SimQp1Drive::Execute(uint8_t f, uint32_t address, uint16_t data) {
    functions_.push_back(f);
    auto word = [&](uint32_t a) -> uint16_t {
        try {
            const SimBytes b = drive_.Peek(a, 2);
            return uint16_t(uint8_t(b[0]) | uint8_t(b[1]) << 8);
        } catch (const std::exception&) {
            return 0xFFFF;
        }
    };
    switch (f) {
    case 0x00: return word(address);
    case 0x04:
    case 0x06: {
        const char bytes[2] = {char(data & 0xFF), char(data >> 8)};
        try {
            drive_.Poke(address, std::string_view(bytes, 2));
        } catch (const std::exception&) {
        }
        return 0;
    }
    case 0x08: drive_.Record("erase", 0, address); return 0;
    case 0x09: drive_.Record("stop", 0); return 0;
    case 0x0C: drive_.Record("start", 0, address); return 0;
    case 0xFF: drive_.Record("reset", 0); return 0;
    case 0x14:
    case 0x16: blockAddress_ = address; return uint16_t(blockMax_);
    default: return 0xFFFF;
    }
}

void SimQp1Drive::Feed(uint8_t b) {
    received_ += char(b);
    switch (state_) {
    case State::Idle:
        if (b == ':') {
            transfer_.clear();
            state_ = State::Transfer;
        }
        break;
    case State::Transfer:
        transfer_ += char(b);
        if (transfer_.size() < 6)
            break;
        if (silence_ > 0) {
            --silence_;
            state_ = State::Idle;
            break;
        }
        {
            uint8_t c1 = Sum(transfer_);
            if (failChecksums_ > 0) {
                --failChecksums_;
                c1 = uint8_t(c1 + 1);
            }
            Write(SimBytes(1, char(c1)));
        }
        state_ = State::AwaitBang;
        break;
    case State::AwaitBang: {
        state_ = State::Idle;
        if (b != '!')
            break;
        const auto t = [&](size_t i) { return uint8_t(transfer_[i]); };
        const uint8_t f = t(0);
        const uint32_t address = uint32_t(t(1)) << 16 | uint32_t(t(2)) << 8 | t(3);
        const uint16_t result = Execute(f, address, uint16_t(t(4) << 8 | t(5)));
        const uint8_t rh = uint8_t(result >> 8), rl = uint8_t(result);
        Write(SimBytes{char(rh), char(rl), char(uint8_t(rh + rl))});
        if (f == 0x14 || f == 0x16)
            state_ = State::Block;
        break;
    }
    case State::Block:
        if (b == '!') {
            state_ = State::BlockLength;
        } else if (b == 0x99) {
            Write(SimBytes(1, '\0'));
            state_ = State::Idle;
        } else {
            state_ = State::Idle;
        }
        break;
    case State::BlockLength:
        chunkLength_ = b;
        chunk_.clear();
        state_ = chunkLength_ == 0 ? State::Block : State::BlockData;
        if (chunkLength_ == 0)
            Write(SimBytes{'\0', '\0'});
        break;
    case State::BlockData:
        chunk_ += char(b);
        if (chunk_.size() < chunkLength_)
            break;
        try {
            drive_.Poke(blockAddress_, chunk_);
        } catch (const std::exception&) {
        }
        blockAddress_ += uint32_t(chunk_.size());
        Write(SimBytes{'\0', char(Sum(chunk_))});
        state_ = State::Block;
        break;
    }
}

} // namespace vo
