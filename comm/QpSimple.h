#pragma once
// Simple telegram: the command byte alone, no answer fields.
// Commands 0x02 logout, 0x20 start, 0x21 stop, 0x22 reset, 0x27 erase all flash.
#include "comm/QpFrame.h"

namespace vo {

struct TSimpleData {};
using TSimpleRecord = TOvraRecord<TSimpleData>;

class TSimplePattern : public TOvraPattern {
public:
    using TData = TSimpleData;
    static TOvraPatternClass& Class();

    TSimplePattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
