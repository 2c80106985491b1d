#include "comm/QpSetStr.h"

namespace vo {

TOvraPatternClass& TSetStringPattern::Class() {
    static TQpPatternClass<TSetStringPattern> cls("TSetStringPattern");
    return cls;
}

void TSetStringPattern::Put(TOvraActor& Actor, int32_t Address, uint8_t MaxSize, const MyAnsiString& Data,
                            int32_t User) const {
    TOvraPattern::Put(Actor, TData{Address, Data.substr(0, MaxSize), MaxSize}, User);
}

void TSetStringPattern::Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame) {
    FrmPutInt(static_cast<uint32_t>(Data.Address), Facts.AddrFieldSize, Frame);
    Frame += Data.Data;
    Frame.push_back('\0');
}

void TSetStringPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData&) {
    int i = 0;
    Result = FrmGetResult(Frame, i);
}

} // namespace vo
