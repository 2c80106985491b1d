#pragma once
// Get block: reads a block of drive memory (or flash).
// Request: Address (A), Size (1). Answer: Size bytes of data.
// Commands 0x30 memory (FGetMemoryBlock), 0x36 flash (FGetFlashMemoryBlock).
//
// A block answer with fewer bytes than asked is an error result
// (OvraResBadReply), never a shorter block: block readers count on every
// record bringing its whole size.
#include "comm/QpFrame.h"

namespace vo {

struct TGetBlockData {
    int32_t Address = 0;
    MyAnsiString Data; // short string
    uint8_t Size = 0;
};
using TGetBlockRecord = TOvraRecord<TGetBlockData>;

class TGetBlockPattern : public TOvraPattern {
public:
    using TData = TGetBlockData;
    static TOvraPatternClass& Class();

    TGetBlockPattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    void Put(TOvraActor& Actor, int32_t Address, uint8_t Size, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }
    int32_t GetAddress(TOvraActor& Actor) const { return Get(Actor).Address; }
    MyAnsiString GetData(TOvraActor& Actor) const { return Get(Actor).Data; }
    uint8_t GetSize(TOvraActor& Actor) const { return Get(Actor).Size; }

    // The largest block of one record: the largest multiple of D that fits
    // into the drive's buffer beside the echo and the result byte,
    // ((MaxBufferSize - 2) div D) * D; 0 for D = 0 or a buffer of less than
    // 2 bytes. Raises "<class>.GetMaxSize: service is not online" unless the
    // owning service is logged in.
    int32_t GetMaxSize() const;
    static int32_t MaxSizeFor(const TOvraLoginFacts& Facts);

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
