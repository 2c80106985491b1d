#include "comm/QpCustom.h"

namespace vo {

TOvraPatternClass& TCustomPattern::Class() {
    static TQpPatternClass<TCustomPattern> cls("TCustomPattern");
    return cls;
}

void TCustomPattern::Put(TOvraActor& Actor, const MyAnsiString& Request, int32_t User) const {
    CheckShortString(ClassName(), "request", Request);
    TOvraPattern::Put(Actor, TData{Request, {}}, User);
}

void TCustomPattern::Encode(const TData& Data, const TOvraLoginFacts&, MyAnsiString& Frame) {
    Frame += Data.Request;
}

void TCustomPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData& Data) {
    int i = 0;
    const uint8_t res = FrmGetResult(Frame, i);
    if ((res & 0x80) == 0 || res == 0xA4)
        Data.Response = Frame.substr(static_cast<size_t>(i) - 1);
    Result = res;
}

} // namespace vo
