#include "comm/QpGetWrd.h"

namespace vo {

TOvraPatternClass& TGetWordPattern::Class() {
    static TQpPatternClass<TGetWordPattern> cls("TGetWordPattern");
    return cls;
}

void TGetWordPattern::Put(TOvraActor& Actor, int32_t Address, int32_t User) const {
    TOvraPattern::Put(Actor, TData{Address, 0}, User);
}

void TGetWordPattern::Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame) {
    FrmPutInt(static_cast<uint32_t>(Data.Address), Facts.AddrFieldSize, Frame);
}

void TGetWordPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data) {
    int i = 0;
    const uint8_t res = FrmGetResult(Frame, i);
    TData d = Data;
    if (res == 0)
        d.Data = static_cast<int32_t>(FrmGetInt(Frame, i, Facts.DataFieldSize));
    Result = res;
    Data = d;
}

} // namespace vo
