#include "comm/QpSetBit.h"

namespace vo {

TOvraPatternClass& TSetBitPattern::Class() {
    static TQpPatternClass<TSetBitPattern> cls("TSetBitPattern");
    return cls;
}

void TSetBitPattern::Put(TOvraActor& Actor, int32_t Address, int32_t Data, int32_t Mask, int32_t User) const {
    TOvraPattern::Put(Actor, TData{Address, Data, Mask}, User);
}

void TSetBitPattern::Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame) {
    FrmPutInt(static_cast<uint32_t>(Data.Address), Facts.AddrFieldSize, Frame);
    FrmPutInt(static_cast<uint32_t>(Data.Mask), Facts.DataFieldSize, Frame);
    FrmPutInt(static_cast<uint32_t>(Data.Data), Facts.DataFieldSize, Frame);
}

void TSetBitPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData&) {
    int i = 0;
    Result = FrmGetResult(Frame, i);
}

} // namespace vo
