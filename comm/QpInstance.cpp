#include "comm/QpInstance.h"

namespace vo {

TOvraPatternClass& TInstancePattern::Class() {
    static TQpPatternClass<TInstancePattern> cls("TInstancePattern");
    return cls;
}

void TInstancePattern::Put(TOvraActor& Actor, int32_t Instance, int32_t User) const {
    PutSub(Actor, TData{0, Instance, {}}, User);
}

void TInstancePattern::Encode(const TData& Data, const TOvraLoginFacts&, MyAnsiString& Frame) {
    EncodeSubID(Data, Frame);
    FrmPutInt(static_cast<uint32_t>(Data.Instance), 1, Frame);
}

} // namespace vo
