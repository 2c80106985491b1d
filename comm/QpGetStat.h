#pragma once
// Get status: the drive's status word and identity.
// Request: Ident (1). Answer: Status (2), SerNbrLow (2), SerNbrHigh (2),
// PartNbr (2).
// Command 0x03 (FGetStatus).
#include "comm/QpFrame.h"

namespace vo {

struct TGetStatusData {
    uint8_t Ident = 0;
    int32_t Status = 0;
    uint16_t SerNbrLow = 0;
    uint16_t SerNbrHigh = 0;
    uint16_t PartNbr = 0;
};
using TGetStatusRecord = TOvraRecord<TGetStatusData>;

class TGetStatusPattern : public TOvraPattern {
public:
    using TData = TGetStatusData;
    static TOvraPatternClass& Class();

    TGetStatusPattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, uint8_t Ident, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }
    uint8_t GetIdent(TOvraActor& Actor) const { return Get(Actor).Ident; }
    int32_t GetStatus(TOvraActor& Actor) const { return Get(Actor).Status; }
    uint16_t GetSerNbrLow(TOvraActor& Actor) const { return Get(Actor).SerNbrLow; }
    uint16_t GetSerNbrHigh(TOvraActor& Actor) const { return Get(Actor).SerNbrHigh; }
    uint16_t GetPartNbr(TOvraActor& Actor) const { return Get(Actor).PartNbr; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
