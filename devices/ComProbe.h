#pragma once
// Which serial ports can be opened at this moment: the probe opens the
// device a port name maps to (platform/ComPorts.h), exclusively, and closes it
// again at once. A port that does not exist or that another program (or
// another part of this one) holds is not openable.
#include "platform/AnsiString.h"

namespace vo {

class ComPortTable;

// True when the port opens now (it is closed again before the return).
bool ComPortCanOpen(const MyAnsiString& PortName);

// The table the probe looks names up in: the program's table unless another
// is set (tests set their own; nullptr restores the program's). Returns the
// one before.
ComPortTable* SetComProbeTable(ComPortTable* Table) noexcept;

} // namespace vo
