#include "comm/QpSimple.h"

namespace vo {

TOvraPatternClass& TSimplePattern::Class() {
    static TQpPatternClass<TSimplePattern> cls("TSimplePattern");
    return cls;
}

void TSimplePattern::Put(TOvraActor& Actor, int32_t User) const {
    TOvraPattern::Put(Actor, TData{}, User);
}

void TSimplePattern::Encode(const TData&, const TOvraLoginFacts&, MyAnsiString&) {}

void TSimplePattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData&) {
    int i = 0;
    Result = FrmGetResult(Frame, i);
}

} // namespace vo
