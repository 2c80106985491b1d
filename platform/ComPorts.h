#pragma once
// ComPortTable: the one table that turns the program's serial port names
// "COM1" .. "COM256" into device paths.
//
// By default COMn is the n-th serial device of the machine, in the order an
// engineer at the bench expects: first the USB adapters (/dev/ttyUSB*), then
// the USB modem-class devices (/dev/ttyACM*), then the built-in UARTs
// (/dev/ttyS*); each family in the order of its number (ttyS2 before ttyS10).
// The kernel creates ttyS0 .. ttyS31 whether or not a UART is there; a ttySn
// whose port type in sysfs (<sys>/ttySn/type) is 0 ("unknown") has nothing
// behind it and is left out. A ttySn whose type cannot be read counts as
// present.
//
// A mapping (a setting, or the command-line switch that hands its text to
// ApplyMapping) points any COMn at any path and takes precedence over the
// default. The path is kept as given, so a mapping to a stable name such as
// /dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0 keeps COMn
// the same adapter across re-plugging and reboots. Tests point COM names at
// pseudo-terminals the same way.
//
// The devices are looked up once; Rescan() looks again (after an adapter was
// plugged in). Mapped names never move; default ones follow the devices found.
//
// Port names compare without regard to case ("com3" is "COM3"). A name that is
// not a COM name but contains a '/' is taken as a device path as it stands.
#include "platform/Exception.h"

#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vo {

class ComPortTable {
public:
    static constexpr int MaxPort = 256;

    // The program's table.
    static ComPortTable& Instance();

    // A table of its own (tests): devDir is where the default devices are
    // looked for, sysTtyDir where the kernel describes them (the folder of
    // one entry per tty, each with its "type").
    explicit ComPortTable(std::string devDir = "/dev", std::string sysTtyDir = "/sys/class/tty");

    // 1..256 for "COM1".."COM256" (any case, no leading zeros, nothing after the
    // number); nullopt for anything else.
    static std::optional<int> PortNumber(std::string_view name);

    // The device path for a port name; nullopt when the name maps to nothing
    // (not a COM name and no path, or COMn beyond the devices found).
    std::optional<std::string> DevicePath(std::string_view name) const;

    // Points COMn at path. Raises vo::Exception for a name that is not
    // "COM1".."COM256" or an empty path.
    void Map(std::string_view name, std::string path);
    // Removes a mapping; COMn falls back to the default.
    void Unmap(std::string_view name);
    void ClearMappings();
    std::map<int, std::string> Mappings() const;

    // Reads a mapping text: entries "COMn=path" separated by ';' or line breaks,
    // blanks around entries ignored; "COMn=" (empty path) removes a mapping.
    // Raises vo::Exception naming the first bad entry; then nothing is applied.
    void ApplyMapping(std::string_view text);

    // The default devices, COM1 first (looked up once, again after Rescan()).
    std::vector<std::string> DefaultDevices() const;
    void Rescan();

private:
    std::vector<std::string> Scan() const;
    bool HasUart(const std::string& ttyName) const;

    std::string FDevDir;
    std::string FSysTtyDir;
    mutable std::mutex FMutex;
    std::map<int, std::string> FMappings;
    mutable std::optional<std::vector<std::string>> FDefaults;
};

} // namespace vo
