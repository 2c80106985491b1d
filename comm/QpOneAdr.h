#pragma once
// Address action: the command byte and one address, no answer fields.
// Request: Address (A).
// Commands 0x23 erase one flash sector (FEraseFlash), 0x20 start at an
// address (FOldStartProgram).
#include "comm/QpFrame.h"

namespace vo {

struct TAddrActionData {
    int32_t Address = 0;
};
using TAddrActionRecord = TOvraRecord<TAddrActionData>;

class TAddrActionPattern : public TOvraPattern {
public:
    using TData = TAddrActionData;
    static TOvraPatternClass& Class();

    TAddrActionPattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, int32_t Address, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }
    int32_t GetAddress(TOvraActor& Actor) const { return Get(Actor).Address; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
