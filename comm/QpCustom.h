#pragma once
// Custom telegram: request bytes given by the caller, the answer kept whole.
// Request: the Request bytes unchanged. Answer: when the result has bit 7
// clear (success or a drive status) or is 0xA4, Response = every byte after
// the result byte; after an error result the response stays empty.
// Commands 0x05 blink, 0x88/0x89 read/write parameters by UPID, 0x15/0x16
// read/write a block of parameters by UPID.
#include "comm/QpFrame.h"

namespace vo {

struct TCustomData {
    MyAnsiString Request; // short string
    MyAnsiString Response; // short string
};
using TCustomRecord = TOvraRecord<TCustomData>;

class TCustomPattern : public TOvraPattern {
public:
    using TData = TCustomData;
    static TOvraPatternClass& Class();

    TCustomPattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    // A request of more than 255 bytes raises "<class>.Put: request of <n>
    // bytes is longer than 255 bytes" (a cut request would reach the drive
    // as another telegram).
    void Put(TOvraActor& Actor, const MyAnsiString& Request, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }
    MyAnsiString GetRequest(TOvraActor& Actor) const { return Get(Actor).Request; }
    MyAnsiString GetResponse(TOvraActor& Actor) const { return Get(Actor).Response; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
