#include "comm/QpOneAdr.h"

namespace vo {

TOvraPatternClass& TAddrActionPattern::Class() {
    static TQpPatternClass<TAddrActionPattern> cls("TAddrActionPattern");
    return cls;
}

void TAddrActionPattern::Put(TOvraActor& Actor, int32_t Address, int32_t User) const {
    TOvraPattern::Put(Actor, TData{Address}, User);
}

void TAddrActionPattern::Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame) {
    FrmPutInt(static_cast<uint32_t>(Data.Address), Facts.AddrFieldSize, Frame);
}

void TAddrActionPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData&) {
    int i = 0;
    Result = FrmGetResult(Frame, i);
}

} // namespace vo
