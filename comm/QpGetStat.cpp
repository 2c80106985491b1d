#include "comm/QpGetStat.h"

namespace vo {

TOvraPatternClass& TGetStatusPattern::Class() {
    static TQpPatternClass<TGetStatusPattern> cls("TGetStatusPattern");
    return cls;
}

void TGetStatusPattern::Put(TOvraActor& Actor, uint8_t Ident, int32_t User) const {
    TData d;
    d.Ident = Ident;
    TOvraPattern::Put(Actor, d, User);
}

void TGetStatusPattern::Encode(const TData& Data, const TOvraLoginFacts&, MyAnsiString& Frame) {
    FrmPutInt(Data.Ident, 1, Frame);
}

void TGetStatusPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData& Data) {
    int i = 0;
    const uint8_t res = FrmGetResult(Frame, i);
    TData d = Data;
    if (res == 0) {
        d.Status = static_cast<int32_t>(FrmGetInt(Frame, i, 2));
        d.SerNbrLow = static_cast<uint16_t>(FrmGetInt(Frame, i, 2));
        d.SerNbrHigh = static_cast<uint16_t>(FrmGetInt(Frame, i, 2));
        d.PartNbr = static_cast<uint16_t>(FrmGetInt(Frame, i, 2));
    }
    Result = res;
    Data = d;
}

} // namespace vo
