#pragma once
// First empty flash address between two addresses.
// Request: StartAddr (A), EndAddr (A). Answer: Data (A), the first address
// from which the flash is erased up to EndAddr.
// Command 0x26 (FGetFirstEmptyAddr).
#include "comm/QpFrame.h"

namespace vo {

struct TGetFirstEmptyData {
    int32_t StartAddr = 0;
    int32_t EndAddr = 0;
    int32_t Data = 0;
};
using TGetFirstEmptyRecord = TOvraRecord<TGetFirstEmptyData>;

class TGetFirstEmptyPattern : public TOvraPattern {
public:
    using TData = TGetFirstEmptyData;
    static TOvraPatternClass& Class();

    TGetFirstEmptyPattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, int32_t StartAddr, int32_t EndAddr, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }
    int32_t GetStartAddr(TOvraActor& Actor) const { return Get(Actor).StartAddr; }
    int32_t GetEndAddr(TOvraActor& Actor) const { return Get(Actor).EndAddr; }
    int32_t GetData(TOvraActor& Actor) const { return Get(Actor).Data; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
