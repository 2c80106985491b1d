#include "devices/ExeFlashrdblk.h"

#include "comm/OvraClnt.h"

namespace vo {

TFlashBlockReader::TFlashBlockReader() : TFlashBlockReader(*OvraClient()) {}

TFlashBlockReader::TFlashBlockReader(TOvraClient& Client)
    : TBlockReader(Client, "TFlashBlockReader", "Flash Block Reader Actor", true) {}

} // namespace vo
