#include "comm/QpFndInf.h"

namespace vo {

TOvraPatternClass& TFindInfoPattern::Class() {
    static TQpPatternClass<TFindInfoPattern> cls("TFindInfoPattern");
    return cls;
}

void TFindInfoPattern::Put(TOvraActor& Actor, int32_t Address, uint8_t NodeType, int32_t User) const {
    TOvraPattern::Put(Actor, TData{Address, NodeType, 0}, User);
}

void TFindInfoPattern::Encode(const TData& Data, const TOvraLoginFacts& Facts, MyAnsiString& Frame) {
    FrmPutInt(static_cast<uint32_t>(Data.NodeAddr), Facts.AddrFieldSize, Frame);
    FrmPutInt(Data.NodeType, 1, Frame);
}

void TFindInfoPattern::Decode(const MyAnsiString& Frame, const TOvraLoginFacts& Facts, uint8_t& Result, TData& Data) {
    int i = 0;
    const uint8_t res = FrmGetResult(Frame, i);
    TData d = Data;
    if (res == 0) {
        d.NodeAddr = static_cast<int32_t>(FrmGetInt(Frame, i, Facts.AddrFieldSize));
        d.NodeType = static_cast<uint8_t>(FrmGetInt(Frame, i, 1));
        d.NodeSize = static_cast<uint16_t>(FrmGetInt(Frame, i, 2));
    }
    Result = res;
    Data = d;
}

} // namespace vo
