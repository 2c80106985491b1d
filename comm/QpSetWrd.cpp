#include "comm/QpSetWrd.h"

namespace vo {

TOvraPatternClass& TSetWordPattern::Class() {
    static TQpPatternClass<TSetWordPattern> cls("TSetWordPattern");
    return cls;
}

void TSetWordPattern::Put(TOvraActor& Actor, int32_t Address, int32_t Data, int32_t User) const {
    TOvraPattern::Put(Actor, TData{Address, Data}, User);
}

void TSetWordPattern::Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame) {
    FrmPutInt(static_cast<uint32_t>(Data.Address), Facts.AddrFieldSize, Frame);
    FrmPutInt(static_cast<uint32_t>(Data.Data), Facts.DataFieldSize, Frame);
}

void TSetWordPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData&) {
    int i = 0;
    Result = FrmGetResult(Frame, i);
}

} // namespace vo
