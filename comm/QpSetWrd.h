#pragma once
// Set word: writes one data word of drive memory or flash.
// Request: Address (A), Data (D). No answer fields.
// Commands 0x11 memory (FSetMemoryWord), 0x12 flash (FSetFlashWord).
#include "comm/QpFrame.h"

namespace vo {

struct TSetWordData {
    int32_t Address = 0;
    int32_t Data = 0;
};
using TSetWordRecord = TOvraRecord<TSetWordData>;

class TSetWordPattern : public TOvraPattern {
public:
    using TData = TSetWordData;
    static TOvraPatternClass& Class();

    TSetWordPattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, int32_t Address, int32_t Data, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }
    int32_t GetAddress(TOvraActor& Actor) const { return Get(Actor).Address; }
    int32_t GetData(TOvraActor& Actor) const { return Get(Actor).Data; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
