#include "comm/QpGetStr.h"

namespace vo {

TOvraPatternClass& TGetStringPattern::Class() {
    static TQpPatternClass<TGetStringPattern> cls("TGetStringPattern");
    return cls;
}

void TGetStringPattern::Put(TOvraActor& Actor, int32_t Address, uint8_t MaxSize, int32_t User) const {
    TOvraPattern::Put(Actor, TData{Address, {}, MaxSize}, User);
}

void TGetStringPattern::Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame) {
    FrmPutInt(static_cast<uint32_t>(Data.Address), Facts.AddrFieldSize, Frame);
    Frame.push_back('\0');
    FrmPutInt(Data.MaxSize, 1, Frame);
}

void TGetStringPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData& Data) {
    int i = 0;
    const uint8_t res = FrmGetResult(Frame, i);
    TData d = Data;
    if (res == 0)
        d.Data = FrmGetBytes(Frame, i, Data.MaxSize);
    Result = res;
    Data = std::move(d);
}

} // namespace vo
