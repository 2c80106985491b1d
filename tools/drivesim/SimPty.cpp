#include "tools/drivesim/SimPty.h"

#include "platform/Exception.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vo {

namespace {

std::string Errno(const char* what) { return std::string(what) + ": " + std::strerror(errno); }

} // namespace

SimPtyTransport::SimPtyTransport(SimRunner& runner) : runner_(runner) {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (master_ < 0) throw Exception("SimPtyTransport.Create: " + Errno("posix_openpt"));
    char name[128];
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 || ::ptsname_r(master_, name, sizeof name) != 0) {
        std::string msg = "SimPtyTransport.Create: " + Errno("pseudo-terminal setup");
        ::close(master_);
        throw Exception(msg);
    }
    slavePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (slave_ < 0) {
        std::string msg = "SimPtyTransport.Create: " + Errno(name);
        ::close(master_);
        throw Exception(msg);
    }
    termios tio{};
    if (::tcgetattr(slave_, &tio) == 0) {
        ::cfmakeraw(&tio);
        tio.c_cc[VMIN] = 1;
        tio.c_cc[VTIME] = 0;
        ::tcsetattr(slave_, TCSANOW, &tio);
    }
    runner_.Attach(*this);
}

SimPtyTransport::~SimPtyTransport() {
    runner_.Detach(*this);
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
}

void SimPtyTransport::SetResyncGapMs(int64_t ms) { resyncGapMs_ = ms; }

void SimPtyTransport::HangUp() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
    slave_ = -1;
    master_ = -1;
    pending_.clear();
}

SimBytes SimPtyTransport::Encode(std::string_view frame, const SimWireEffects& effects) const {
    return SimRs232Frame(frame, effects);
}

void SimPtyTransport::Write(std::string_view wire, const std::string&) {
    pending_.append(wire);
    Flush();
}

void SimPtyTransport::Flush() {
    while (!pending_.empty()) {
        ssize_t n = ::write(master_, pending_.data(), pending_.size());
        if (n > 0) {
            pending_.erase(0, size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        return; // the line is full (EAGAIN) or gone: the rest waits for POLLOUT
    }
}

short SimPtyTransport::PollEvents() const { return short(POLLIN | (pending_.empty() ? 0 : POLLOUT)); }

void SimPtyTransport::OnPoll(short revents) {
    if (revents & POLLOUT) Flush();
    if (!(revents & POLLIN)) return;
    receiver_.SetGapMs(resyncGapMs_);
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(master_, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        for (auto& e : receiver_.Feed(std::string_view(buf, size_t(n)), runner_.NowMs())) {
            switch (e.kind) {
            case SimRs232Event::Frame: {
                std::string note = e.payload.empty() ? "empty frame" : "";
                runner_.FrameIn(*this, kMaster, std::move(e.payload), std::move(e.wire), std::move(note));
                break;
            }
            case SimRs232Event::ChecksumError:
                runner_.Reject(*this, kMaster, std::move(e.wire),
                               "check sum error " + std::to_string(e.receivedSum) + "(" +
                                   std::to_string(e.computedSum) + ")");
                break;
            case SimRs232Event::Garbage:
                runner_.Reject(*this, kMaster, std::move(e.wire), "garbage");
                break;
            case SimRs232Event::Resync:
                runner_.Reject(*this, kMaster, std::move(e.wire), "frame broken off");
                break;
            }
        }
    }
}

} // namespace vo
