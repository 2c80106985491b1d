#pragma once
// SimUdpTransport: serves one simulated drive as UDP datagrams, as a drive on
// Ethernet does: each datagram is one frame, and the answer goes back to the
// address and port the request came from. The socket is bound to a loopback
// address of the test's choice (127.0.0.N), so several drives can listen on
// the same port side by side. Every sender is its own master.
#include "platform/UdpSocket.h"
#include "tools/drivesim/SimRunner.h"

#include <cstdint>
#include <string>

namespace vo {

class SimUdpTransport : public SimMedium {
public:
    // Binds Address:Port (Address as "127.0.0.5") and attaches to the runner;
    // throws vo::Exception when the socket cannot be had.
    SimUdpTransport(SimRunner& runner, const std::string& address, uint16_t port);
    ~SimUdpTransport() override;
    SimUdpTransport(const SimUdpTransport&) = delete;
    SimUdpTransport& operator=(const SimUdpTransport&) = delete;

    uint32_t Address() const { return address_; }
    uint16_t Port() const { return port_; }
    // A datagram the drive sends on its own to a master ("a.b.c.d:port").
    void SendUnsolicited(SimBytes frame, const std::string& master, int64_t delayMs = 0) {
        runner_.SendUnsolicited(*this, master, std::move(frame), delayMs);
    }

    std::string Name() const override { return "udp"; }
    void Write(std::string_view wire, const std::string& master) override;
    int PollFd() const override { return socket_.Handle(); }
    short PollEvents() const override;
    void OnPoll(short revents) override;

private:
    SimRunner& runner_;
    TUdpSocket socket_;
    uint32_t address_ = 0;
    uint16_t port_ = 0;
};

} // namespace vo
