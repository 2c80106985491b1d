#pragma once
// Erase memory: a sub-command fixed per pattern object.
// Request: SubID (1). Answer: a length byte L, then L bytes of data.
// Command 0x89 with sub 0x0A (FEraseMemory).
#include "comm/QpFrame.h"

namespace vo {

struct TEraseMemData {
    uint8_t SubID = 0; // the pattern object's OvraSubID
    MyAnsiString Data; // short string
};
using TEraseMemRecord = TOvraRecord<TEraseMemData>;

class TEraseMemPattern : public TQpSubCmdPattern<TEraseMemData> {
public:
    static TOvraPatternClass& Class();

    using TQpSubCmdPattern::TQpSubCmdPattern;
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, int32_t User) const { PutSub(Actor, {}, User); }
};

} // namespace vo
