#pragma once
// Set bits: a masked write of one data word (bits set in Mask take the value
// of Data, the others keep theirs).
// Request: Address (A), Mask (D), Data (D). No answer fields.
// Command 0x13 (FMaskMemoryWord).
#include "comm/QpFrame.h"

namespace vo {

struct TSetBitData {
    int32_t Address = 0;
    int32_t Data = 0;
    int32_t Mask = 0;
};
using TSetBitRecord = TOvraRecord<TSetBitData>;

class TSetBitPattern : public TOvraPattern {
public:
    using TData = TSetBitData;
    static TOvraPatternClass& Class();

    TSetBitPattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, int32_t Address, int32_t Data, int32_t Mask, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }
    int32_t GetAddress(TOvraActor& Actor) const { return Get(Actor).Address; }
    int32_t GetData(TOvraActor& Actor) const { return Get(Actor).Data; }
    int32_t GetMask(TOvraActor& Actor) const { return Get(Actor).Mask; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
