#include "comm/QpGetBlk.h"

namespace vo {

TOvraPatternClass& TGetBlockPattern::Class() {
    static TQpPatternClass<TGetBlockPattern> cls("TGetBlockPattern");
    return cls;
}

void TGetBlockPattern::Put(TOvraActor& Actor, int32_t Address, uint8_t Size, int32_t User) const {
    TOvraPattern::Put(Actor, TData{Address, {}, Size}, User);
}

int32_t TGetBlockPattern::GetMaxSize() const {
    const TOvraService* s = Owner();
    if (!s || !s->DeviceOnline())
        throw Exception(ClassName() + ".GetMaxSize: service is not online");
    return MaxSizeFor(s->LoginFacts());
}

int32_t TGetBlockPattern::MaxSizeFor(const TOvraLoginFacts& Facts) {
    const int32_t d = Facts.DataFieldSize;
    const int32_t room = static_cast<int32_t>(Facts.MaxBufferSize) - 2;
    if (d == 0 || room <= 0)
        return 0;
    return room / d * d;
}

void TGetBlockPattern::Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame) {
    FrmPutInt(static_cast<uint32_t>(Data.Address), Facts.AddrFieldSize, Frame);
    FrmPutInt(Data.Size, 1, Frame);
}

void TGetBlockPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData& Data) {
    int i = 0;
    const uint8_t res = FrmGetResult(Frame, i);
    TData d = Data;
    if (res == 0)
        d.Data = FrmGetBytes(Frame, i, Data.Size);
    Result = res;
    Data = std::move(d);
}

} // namespace vo
