#pragma once
// The rules of the device login dialog without its widgets: which controls
// the chosen interface shows, what the stored "LoginConfig" settings restore,
// the check before the dialog closes with OK, and the list of serial ports
// (ports added since start are registered with the communication server).
// The form is devices/gui/CmdStart.h.
#include "devices/DevMan.h"
#include "platform/AnsiString.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vo {

class TOvraServer;

// What the chosen interface shows (no choice counts as RS232); the "Scan"
// button works for CAN and Ethernet, "Blink" for Ethernet.
struct TLoginVisibility {
    bool Port = false;
    bool MACID = false;
    bool IPAddress = false;
    bool Offline = false;
    bool ScanEnabled = false;
    bool BlinkEnabled = false;
    bool operator==(const TLoginVisibility&) const = default;
};
TLoginVisibility LoginVisibility(std::optional<TInterfaceType> Interface);

// What the "LoginConfig" section restores (each only when stored).
struct TLoginRestore {
    std::optional<TInterfaceType> Interface;
    int PortIndex = -1; // RS232: the stored port in Ports, else 0 (the first)
    std::optional<int> DevMACID; // only an index of the list 0..255
    std::optional<int32_t> IPAddress;
    std::optional<MyAnsiString> UserName;
    std::optional<bool> ShowObjectInspector; // true exactly for "TRUE"
};
// LoginConfig may be nullptr (nothing is restored).
TLoginRestore ReadLoginConfig(TSLDictionary* LoginConfig, const std::vector<MyAnsiString>& Ports);

enum class TLoginField : uint8_t { lfNone,
                                   lfUserName,
                                   lfPassword };

// The close check for OK. Message is shown in an error box when not empty;
// Focus names the field to select.
struct TLoginCheck {
    bool Accept = false;
    MyAnsiString Message;
    TLoginField Focus = TLoginField::lfNone;
};
// The login ID in upper case: "GUEST", "USER", "SERVICE" pass; "DEVELOPER"
// needs the password whose digest the shell holds ("Wrong password!");
// anything else is "Unknown login ID!". Then Ethernet needs an address other
// than 0 ("Invalid IP address: 0.0.0.0").
TLoginCheck LoginCloseCheck(const MyAnsiString& LoginID, const MyAnsiString& Password,
                            std::optional<TInterfaceType> Interface, int32_t IPAddress);
// "Invalid IP address: " and the dotted address.
MyAnsiString InvalidIPText(int32_t IPAddress);

// The serial ports for the dialog: first registers a driver for every
// COM1..COM256 the server does not list and that opens now (at the serial
// baud rate), then every "RS" port of the server that can be opened at this
// moment, in the server's order.
std::vector<MyAnsiString> RefreshLoginPorts(TOvraServer& Server);

} // namespace vo
