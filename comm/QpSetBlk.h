#pragma once
// Set block: writes a block of drive memory, flash or encrypted flash.
// Request: Address (A), the bytes of Data. No answer fields.
// Commands 0x31 memory (FSetMemoryBlock), 0x32 flash (FSetFlashBlock),
// 0x37 encrypted flash (FSetEncFlashBlock; the bytes go unchanged).
#include "comm/QpFrame.h"

namespace vo {

struct TSetBlockData {
    int32_t Address = 0;
    MyAnsiString Data; // short string
    uint16_t Size = 0; // the length of Data
};
using TSetBlockRecord = TOvraRecord<TSetBlockData>;

class TSetBlockPattern : public TOvraPattern {
public:
    using TData = TSetBlockData;
    static TOvraPatternClass& Class();

    TSetBlockPattern(TOvraService* AOwner, uint8_t AOvraId) : TOvraPattern(AOwner, AOvraId) {}
    const TOvraPatternClass& PatternClass() const override { return Class(); }

    // Data of more than 255 bytes raises "<class>.Put: data of <n> bytes is
    // longer than 255 bytes" (nothing is cut off).
    void Put(TOvraActor& Actor, int32_t Address, const MyAnsiString& Data, int32_t User) const;
    TData Get(TOvraActor& Actor) const { return TOvraPattern::Get<TData>(Actor).RecDat; }
    int32_t GetAddress(TOvraActor& Actor) const { return Get(Actor).Address; }
    MyAnsiString GetData(TOvraActor& Actor) const { return Get(Actor).Data; }
    uint16_t GetSize(TOvraActor& Actor) const { return Get(Actor).Size; }

    // The largest block of one record: the largest multiple of D that fits
    // into the drive's buffer beside the command byte and the address,
    // ((MaxBufferSize - 1 - A) div D) * D; 0 for D = 0 or a buffer too small
    // for the address. Raises "<class>.GetMaxSize: service is not online"
    // unless the owning service is logged in.
    int32_t GetMaxSize() const;
    static int32_t MaxSizeFor(const TOvraLoginFacts& Facts);

    static void Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame);
    static void Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data);
};

} // namespace vo
