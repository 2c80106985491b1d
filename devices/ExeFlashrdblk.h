#pragma once
// Flash block reader: the block reader with the flash get-block telegram
// (0x36) and its own actor name.
#include "devices/ExeRdBlk.h"

namespace vo {

class TFlashBlockReader : public TBlockReader {
public:
    TFlashBlockReader();
    explicit TFlashBlockReader(TOvraClient& Client);
};

} // namespace vo
