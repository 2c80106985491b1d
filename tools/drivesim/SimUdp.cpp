#include "tools/drivesim/SimUdp.h"

#include "platform/Exception.h"

#include <poll.h>

namespace vo {

SimUdpTransport::SimUdpTransport(SimRunner& runner, const std::string& address, uint16_t port) : runner_(runner) {
    if (!UdpParseAddress(address, address_))
        throw Exception("SimUdpTransport.Create: no IPv4 address: " + address);
    socket_.Open(address_, port);
    port_ = socket_.LocalPort();
    runner_.Attach(*this);
}

SimUdpTransport::~SimUdpTransport() {
    runner_.Detach(*this);
}

short SimUdpTransport::PollEvents() const {
    return POLLIN;
}

void SimUdpTransport::Write(std::string_view wire, const std::string& master) {
    const auto colon = master.rfind(':');
    uint32_t address = 0;
    if (colon == std::string::npos || !UdpParseAddress(master.substr(0, colon), address))
        return;
    try {
        socket_.SendTo(address, static_cast<uint16_t>(std::stoul(master.substr(colon + 1))), SimBytes(wire));
    } catch (const std::exception&) {
        // The master is gone: the datagram is lost, as on a real network.
    }
}

void SimUdpTransport::OnPoll(short revents) {
    if (!(revents & POLLIN))
        return;
    SimBytes data;
    uint32_t address = 0;
    uint16_t port = 0;
    while (socket_.ReceiveFrom(data, address, port))
        runner_.FrameIn(*this, UdpAddressText(address) + ":" + std::to_string(port), data, data);
}

} // namespace vo
