#pragma once
// A UDP socket for IPv4: one datagram per send, one per receive, never
// blocking. Addresses are 32-bit values with the first octet in the most
// significant byte (10.0.0.5 is 0x0A000005). The socket has no broadcast
// permission, so a datagram to a broadcast address is refused by the system.
#include "platform/AnsiString.h"

#include <cstdint>

namespace vo {

class TUdpSocket {
public:
    TUdpSocket() = default;
    ~TUdpSocket(); // closes
    TUdpSocket(const TUdpSocket&) = delete;
    TUdpSocket& operator=(const TUdpSocket&) = delete;

    // Binds to Address:Port (0 and 0: any local address, a port of the
    // system's choice). Raises "TUdpSocket.Open: <reason>"; already open:
    // "TUdpSocket.Open: socket is already open".
    void Open(uint32_t Address = 0, uint16_t Port = 0);
    void Close();
    bool IsOpen() const { return FFd >= 0; }
    // The descriptor to poll for POLLIN (-1 while closed).
    int Handle() const { return FFd; }
    // The bound port (0 while closed).
    uint16_t LocalPort() const;

    // Sends Data as one datagram; raises "TUdpSocket.SendTo: <reason>".
    void SendTo(uint32_t Address, uint16_t Port, const MyAnsiString& Data);
    // Takes one waiting datagram; false when none waits (or closed).
    bool ReceiveFrom(MyAnsiString& Data, uint32_t& Address, uint16_t& Port);

private:
    int FFd = -1;
};

// The dotted text of an address and back (false for a text that is no
// dotted IPv4 address).
MyAnsiString UdpAddressText(uint32_t Address);
bool UdpParseAddress(const MyAnsiString& Text, uint32_t& Address);

} // namespace vo
