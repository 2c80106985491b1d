#pragma once
// Curve and command-table commands: a sub-command fixed per pattern object.
// Request: SubID (1). Answer: a length byte L, then L bytes of data.
// Commands 0x90 with sub 0x0D save the curves from RAM to flash
// (FCurveSaveRamToFlash), 0x94 with sub 0x08 save the command table
// (FCTSaveRamToFlash).
#include "comm/QpFrame.h"

namespace vo {

struct TCurveData {
    uint8_t SubID = 0; // the pattern object's OvraSubID
    MyAnsiString Data; // short string
};
using TCurveRecord = TOvraRecord<TCurveData>;

class TCurvePattern : public TQpSubCmdPattern<TCurveData> {
public:
    static TOvraPatternClass& Class();

    using TQpSubCmdPattern::TQpSubCmdPattern;
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, int32_t User) const { PutSub(Actor, {}, User); }
};

} // namespace vo
