#pragma once
// Set string: writes a text into drive memory.
// Request: Address (A), the bytes of Data, one 0x00 byte (MaxSize itself is
// not sent). No answer fields.
// Command 0x35 (FSetMemoryString).
#include "comm/QpFrame.h"

namespace vo {

struct TSetStringData {
    int32_t Address = 0;
    MyAnsiString Data; // short string, at most MaxSize bytes
    uint8_t MaxSize = 0;
};
using TSetStringRecord = TOvraRecord<TSetStringData>;

class TSetStringPattern : public TOvraPattern {
public:
    using TData = TSetStringData;
    static TOvraPatternClass& Class();

    TSetStringPattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    // Keeps the first MaxSize bytes of Data: the drive's text field holds no more.
    void Put(TOvraActor& Actor, int32_t Address, uint8_t MaxSize, const MyAnsiString& Data, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }
    int32_t GetAddress(TOvraActor& Actor) const { return Get(Actor).Address; }
    MyAnsiString GetData(TOvraActor& Actor) const { return Get(Actor).Data; }
    uint8_t GetMaxSize(TOvraActor& Actor) const { return Get(Actor).MaxSize; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
