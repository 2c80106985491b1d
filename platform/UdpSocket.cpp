#include "platform/UdpSocket.h"

#include "platform/Exception.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace vo {

namespace {

sockaddr_in MakeAddr(uint32_t Address, uint16_t Port) {
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(Address);
    a.sin_port = htons(Port);
    return a;
}

} // namespace

TUdpSocket::~TUdpSocket() {
    Close();
}

void TUdpSocket::Open(uint32_t Address, uint16_t Port) {
    if (FFd >= 0)
        throw Exception("TUdpSocket.Open: socket is already open");
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        throw Exception(std::string("TUdpSocket.Open: ") + std::strerror(errno));
    const sockaddr_in a = MakeAddr(Address, Port);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&a), sizeof a) != 0) {
        const std::string msg = std::string("TUdpSocket.Open: ") + std::strerror(errno);
        ::close(fd);
        throw Exception(msg);
    }
    FFd = fd;
}

void TUdpSocket::Close() {
    if (FFd >= 0)
        ::close(FFd);
    FFd = -1;
}

uint16_t TUdpSocket::LocalPort() const {
    if (FFd < 0)
        return 0;
    sockaddr_in a{};
    socklen_t len = sizeof a;
    if (::getsockname(FFd, reinterpret_cast<sockaddr*>(&a), &len) != 0)
        return 0;
    return ntohs(a.sin_port);
}

void TUdpSocket::SendTo(uint32_t Address, uint16_t Port, const MyAnsiString& Data) {
    if (FFd < 0)
        throw Exception("TUdpSocket.SendTo: socket is closed");
    const sockaddr_in a = MakeAddr(Address, Port);
    for (;;) {
        const ssize_t n = ::sendto(FFd, Data.data(), Data.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&a), sizeof a);
        if (n >= 0)
            return;
        if (errno == EINTR)
            continue;
        throw Exception(std::string("TUdpSocket.SendTo: ") + std::strerror(errno));
    }
}

bool TUdpSocket::ReceiveFrom(MyAnsiString& Data, uint32_t& Address, uint16_t& Port) {
    if (FFd < 0)
        return false;
    char buf[65536];
    for (;;) {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        const ssize_t n = ::recvfrom(FFd, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&a), &len);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            // Nothing waits, or an error of an earlier send (ICMP): no datagram.
            if (errno == EAGAIN || errno == EWOULDBLOCK)
                return false;
            continue;
        }
        Data.assign(buf, static_cast<size_t>(n));
        Address = ntohl(a.sin_addr.s_addr);
        Port = ntohs(a.sin_port);
        return true;
    }
}

MyAnsiString UdpAddressText(uint32_t Address) {
    return std::to_string(Address >> 24) + "." + std::to_string((Address >> 16) & 0xFF) + "." +
        std::to_string((Address >> 8) & 0xFF) + "." + std::to_string(Address & 0xFF);
}

bool UdpParseAddress(const MyAnsiString& Text, uint32_t& Address) {
    in_addr a{};
    if (::inet_pton(AF_INET, Text.c_str(), &a) != 1)
        return false;
    Address = ntohl(a.s_addr);
    return true;
}

} // namespace vo
