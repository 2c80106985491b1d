#include "devices/ComProbe.h"

#include "platform/ComPorts.h"
#include "platform/SerialPort.h"

namespace vo {

namespace {
ComPortTable* GTable = nullptr;

// The only calls into the port table and the serial port.
ComPortTable& Table() {
    return GTable ? *GTable : ComPortTable::Instance();
}
} // namespace

ComPortTable* SetComProbeTable(ComPortTable* Table) noexcept {
    ComPortTable* before = GTable;
    GTable = Table;
    return before;
}

bool ComPortCanOpen(const MyAnsiString& PortName) {
    const auto path = Table().DevicePath(PortName);
    if (!path)
        return false;
    try {
        SerialPort port;
        port.Open(*path);
        port.Close();
        return true;
    } catch (const Exception&) {
        return false;
    }
}

} // namespace vo
