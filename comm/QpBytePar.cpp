#include "comm/QpBytePar.h"

namespace vo {

TOvraPatternClass& TByteActionPattern::Class() {
    static TQpPatternClass<TByteActionPattern> cls("TByteActionPattern");
    return cls;
}

void TByteActionPattern::Put(TOvraActor& Actor, uint8_t AOption, int32_t User) const {
    TOvraPattern::Put(Actor, TData{AOption}, User);
}

void TByteActionPattern::Encode(const TData& Data, const TOvraLoginFacts&, MyAnsiString& Frame) {
    FrmPutInt(Data.Option, 1, Frame);
}

void TByteActionPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData&) {
    int i = 0;
    Result = FrmGetResult(Frame, i);
}

} // namespace vo
