#include "comm/QpGetFirstEmpty.h"

namespace vo {

TOvraPatternClass& TGetFirstEmptyPattern::Class() {
    static TQpPatternClass<TGetFirstEmptyPattern> cls("TGetFirstEmptyPattern");
    return cls;
}

void TGetFirstEmptyPattern::Put(TOvraActor& Actor, int32_t StartAddr, int32_t EndAddr, int32_t User) const {
    TOvraPattern::Put(Actor, TData{StartAddr, EndAddr, 0}, User);
}

void TGetFirstEmptyPattern::Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame) {
    FrmPutInt(static_cast<uint32_t>(Data.StartAddr), Facts.AddrFieldSize, Frame);
    FrmPutInt(static_cast<uint32_t>(Data.EndAddr), Facts.AddrFieldSize, Frame);
}

void TGetFirstEmptyPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result,
                                   TData& Data) {
    int i = 0;
    const uint8_t res = FrmGetResult(Frame, i);
    TData d = Data;
    if (res == 0)
        d.Data = static_cast<int32_t>(FrmGetInt(Frame, i, Facts.AddrFieldSize));
    Result = res;
    Data = d;
}

} // namespace vo
