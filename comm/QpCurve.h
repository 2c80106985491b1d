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

class TCurvePattern : public TOvraPattern {
public:
    using TData = TCurveData;
    static TOvraPatternClass& Class();

    TCurvePattern(TOvraService* AOwner, uint8_t AOvraId, uint8_t AOvraSubID)
        : TOvraPattern(AOwner, AOvraId), OvraSubID(AOvraSubID)
    {
    }
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, int32_t User) const;
    // A record of another sub-command raises "<class>.Get: error in record
    // header" like one of another command.
    TData Get(TOvraActor& Actor) const;
    uint8_t GetSubID(TOvraActor& Actor) const { return Get(Actor).SubID; }
    MyAnsiString GetData(TOvraActor& Actor) const { return Get(Actor).Data; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);

    const int32_t OvraSubID;
};

} // namespace vo
