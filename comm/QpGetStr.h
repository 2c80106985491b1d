#pragma once
// Get string: reads a text of drive memory.
// Request: Address (A), one 0x00 byte, MaxSize (1). Answer: MaxSize bytes,
// taken as they come (no cut at a 0x00 byte: the caller trims).
// Command 0x34 (FGetMemoryString).
#include "comm/QpFrame.h"

namespace vo {

struct TGetStringData {
    int32_t Address = 0;
    MyAnsiString Data; // short string
    uint8_t MaxSize = 0;
};
using TGetStringRecord = TOvraRecord<TGetStringData>;

class TGetStringPattern : public TOvraPattern {
public:
    using TData = TGetStringData;
    static TOvraPatternClass& Class();

    TGetStringPattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, int32_t Address, uint8_t MaxSize, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }
    int32_t GetAddress(TOvraActor& Actor) const { return Get(Actor).Address; }
    MyAnsiString GetData(TOvraActor& Actor) const { return Get(Actor).Data; }
    // The stored MaxSize of the record.
    uint8_t GetMaxSize(TOvraActor& Actor) const { return Get(Actor).MaxSize; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
