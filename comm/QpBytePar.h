#pragma once
// Byte action: the command byte and one option byte, no answer fields.
// Request: Option (1).
// Command 0x22 reboot with an option (FRebootDevice).
#include "comm/QpFrame.h"

namespace vo {

struct TByteActionData {
    uint8_t Option = 0;
};
using TByteActionRecord = TOvraRecord<TByteActionData>;

class TByteActionPattern : public TOvraPattern {
public:
    using TData = TByteActionData;
    static TOvraPatternClass& Class();

    TByteActionPattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, uint8_t AOption, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }
    uint8_t GetOption(TOvraActor& Actor) const { return Get(Actor).Option; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
