#include "comm/QpSetBlk.h"

namespace vo {

TOvraPatternClass& TSetBlockPattern::Class() {
    static TQpPatternClass<TSetBlockPattern> cls("TSetBlockPattern");
    return cls;
}

void TSetBlockPattern::Put(TOvraActor& Actor, int32_t Address, const MyAnsiString& Data, int32_t User) const {
    CheckShortString(ClassName(), "data", Data);
    TOvraPattern::Put(Actor, TData{Address, Data, static_cast<uint16_t>(Data.size())}, User);
}

int32_t TSetBlockPattern::GetMaxSize() const {
    const TOvraService* s = Owner();
    if (!s || !s->DeviceOnline())
        throw Exception(ClassName() + ".GetMaxSize: service is not online");
    return MaxSizeFor(s->LoginFacts());
}

int32_t TSetBlockPattern::MaxSizeFor(const TOvraLoginFacts& Facts) {
    const int32_t d = Facts.DataFieldSize;
    const int32_t room = static_cast<int32_t>(Facts.MaxBufferSize) - 1 - static_cast<int32_t>(Facts.AddrFieldSize);
    if (d == 0 || room <= 0)
        return 0;
    return room / d * d;
}

void TSetBlockPattern::Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame) {
    FrmPutInt(static_cast<uint32_t>(Data.Address), Facts.AddrFieldSize, Frame);
    Frame += Data.Data;
}

void TSetBlockPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData&) {
    int i = 0;
    Result = FrmGetResult(Frame, i);
}

} // namespace vo
