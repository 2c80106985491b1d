#pragma once
// Firmware-instance operations: a sub-command fixed per pattern object and an
// instance number.
// Request: SubID (1), Instance (1). Answer: a length byte L, then L bytes of
// data.
// Commands 0x89 with sub 0x06 clear instance parameters (FClearInstancePar),
// 0x07 update the UPID list (FUpdateUPIDList), 0x08 set instance defaults
// (FSetInstanceDefPar), 0x09 clear instance (FClearInstanceAll); 0x88 with
// sub 0x10 read the instance's tree name (FGetInstanceTreeName).
#include "comm/QpFrame.h"

namespace vo {

struct TInstanceData {
    uint8_t SubID = 0; // the pattern object's OvraSubID
    int32_t Instance = 0;
    MyAnsiString Data; // short string
};
using TInstanceRecord = TOvraRecord<TInstanceData>;

class TInstancePattern : public TQpSubCmdPattern<TInstanceData> {
public:
    static TOvraPatternClass& Class();

    using TQpSubCmdPattern::TQpSubCmdPattern;
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, int32_t Instance, int32_t User) const;
    int32_t GetInstance(TOvraActor& Actor) const { return Get(Actor).Instance; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
};

} // namespace vo
