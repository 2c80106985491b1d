#pragma once
// Get word: reads one data word of drive memory.
// Request: Address (A). Answer: Data (D).
// Command 0x10 (FGetMemoryWord).
#include "comm/QpFrame.h"

namespace vo {

struct TGetWordData {
    int32_t Address = 0;
    int32_t Data = 0;
};
using TGetWordRecord = TOvraRecord<TGetWordData>;

class TGetWordPattern : public TOvraPattern {
public:
    using TData = TGetWordData;
    static TOvraPatternClass& Class();

    TGetWordPattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, int32_t Address, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }
    int32_t GetAddress(TOvraActor& Actor) const { return Get(Actor).Address; }
    int32_t GetData(TOvraActor& Actor) const { return Get(Actor).Data; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
