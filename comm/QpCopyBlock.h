#pragma once
// Copy block: copies a block of drive memory into flash.
// Request: RamAddr (A), FlashAddr (A), Size (2). No answer fields.
// Command 0x33 (FCopyRamToFlash).
#include "comm/QpFrame.h"

namespace vo {

struct TCopyBlockData {
    int32_t RamAddr = 0;
    int32_t FlashAddr = 0;
    int32_t Size = 0;
};
using TCopyBlockRecord = TOvraRecord<TCopyBlockData>;

class TCopyBlockPattern : public TOvraPattern {
public:
    using TData = TCopyBlockData;
    static TOvraPatternClass& Class();

    TCopyBlockPattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    // A size outside 0 .. 65535 raises "<class>.Put: size <n> does not fit
    // the telegram" (its two bytes would copy another amount).
    void Put(TOvraActor& Actor, int32_t RamAddr, int32_t FlashAddr, int32_t Size, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }
    int32_t GetRamAddr(TOvraActor& Actor) const { return Get(Actor).RamAddr; }
    int32_t GetFlashAddr(TOvraActor& Actor) const { return Get(Actor).FlashAddr; }
    int32_t GetSize(TOvraActor& Actor) const { return Get(Actor).Size; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
