#include "comm/QpInstance.h"

namespace vo {

TOvraPatternClass& TInstancePattern::Class()
{
    static TQpPatternClass<TInstancePattern> cls("TInstancePattern");
    return cls;
}

void TInstancePattern::Put(TOvraActor& Actor, int32_t Instance, int32_t User) const
{
    TOvraPattern::Put(Actor, TData{static_cast<uint8_t>(OvraSubID), Instance, {}}, User);
}

TInstanceData TInstancePattern::Get(TOvraActor& Actor) const
{
    TData d = TOvraPattern::Get<TData>(Actor).RecDat;
    if (d.SubID != static_cast<uint8_t>(OvraSubID))
        throw Exception(ClassName() + ".Get: error in record header");
    return d;
}

void TInstancePattern::Encode(const TData& Data, const TOvraLoginFacts&, MyAnsiString& Frame)
{
    FrmPutInt(Data.SubID, 1, Frame);
    FrmPutInt(static_cast<uint32_t>(Data.Instance), 1, Frame);
}

void TInstancePattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts&, uint8_t& Result, TData& Data)
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
