#pragma once
// Find info node: the next info node of a type at or after an address.
// Request: Address (A), NodeType (1). Answer: NodeAddr (A), NodeType (1),
// NodeSize (2).
// Command 0x25 (FFindInfoNode).
#include "comm/QpFrame.h"

namespace vo {

struct TFindInfoData {
    int32_t NodeAddr = 0; // the address asked for; the node's address after the answer
    uint8_t NodeType = 0;
    uint16_t NodeSize = 0;
};
using TFindInfoRecord = TOvraRecord<TFindInfoData>;

class TFindInfoPattern : public TOvraPattern {
public:
    using TData = TFindInfoData;
    static TOvraPatternClass& Class();

    TFindInfoPattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, int32_t Address, uint8_t NodeType, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }
    int32_t GetNodeAddr(TOvraActor& Actor) const { return Get(Actor).NodeAddr; }
    uint8_t GetNodeType(TOvraActor& Actor) const { return Get(Actor).NodeType; }
    uint16_t GetNodeSize(TOvraActor& Actor) const { return Get(Actor).NodeSize; }

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
