#include "comm/QpEraseMem.h"

namespace vo {

TOvraPatternClass& TEraseMemPattern::Class()
{
    static TQpPatternClass<TEraseMemPattern> cls("TEraseMemPattern");
    return cls;
}

void TEraseMemPattern::Put(TOvraActor& Actor, int32_t User) const
{
    TOvraPattern::Put(Actor, TData{static_cast<uint8_t>(OvraSubID), {}}, User);
}

TEraseMemData TEraseMemPattern::Get(TOvraActor& Actor) const
{
    TData d = TOvraPattern::Get<TData>(Actor).RecDat;
    if (d.SubID != static_cast<uint8_t>(OvraSubID))
        throw Exception(ClassName() + ".Get: error in record header");
    return d;
}

void TEraseMemPattern::Encode(const TData& Data, const TOvraLoginFacts&, MyAnsiString& Frame)
{
    FrmPutInt(Data.SubID, 1, Frame);
}

void TEraseMemPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData& Data)
{
    int i = 0;
    const uint8_t res = FrmGetResult(Frame, i);
    TData d = Data;
    if (res == 0)
        d.Data = FrmGetCounted(Frame, i);
    Result = res;
    Data = std::move(d);
}

} // namespace vo
