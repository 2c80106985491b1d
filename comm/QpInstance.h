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
    uint8_t SubID = 0;  // the pattern object's OvraSubID
    int32_t Instance = 0;
    MyAnsiString Data;  // short string
};
using TInstanceRecord = TOvraRecord<TInstanceData>;

class TInstancePattern : public TOvraPattern {
public:
    using TData = TInstanceData;
    static TOvraPatternClass& Class();

    TInstancePattern(TOvraService* AOwner, uint8_t AOvraId, uint8_t AOvraSubID)
        : TOvraPattern(AOwner, AOvraId), OvraSubID(AOvraSubID)
    {
    }
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, int32_t Instance, int32_t User) const;
    // A record of another sub-command raises "<class>.Get: error in record
    // header" like one of another command.
    TData Get(TOvraActor& Actor) const;
    uint8_t GetSubID(TOvraActor& Actor) const { return Get(Actor).SubID; }
    int32_t GetInstance(TOvraActor& Actor) const { return Get(Actor).Instance; }
    MyAnsiString GetData(TOvraActor& Actor) const { return Get(Actor).Data; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);

    const int32_t OvraSubID;
};

} // namespace vo
